#ifndef ORVEX_TESTS_CLI_HOSTCORNERS_H
#define ORVEX_TESTS_CLI_HOSTCORNERS_H

// The triangle corners Blender made of a host mesh, as the tests' Blender
// scripts write them (position, normal, u, v: eight values a corner),
// against that mesh in the program's scene JSON.

#include <nlohmann/json.hpp>

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstddef>

namespace orvex::testing {

// A host position or direction in the axes Blender's data holds it in.
using BlenderAxes = std::array<double, 3> (*)(double x, double y, double z);

// How far Blender's normals and v may stray; positions and u must match.
struct CornerTolerances {
    double normal;
    double v;
};

// The corner values further from the host's than their tolerance; the
// first of them is reported as a failure.
inline std::size_t countCornersUnlikeTheHost(const nlohmann::json& hostMesh, const nlohmann::json& corners,
                                             BlenderAxes toBlender, CornerTolerances tolerances) {
    const nlohmann::json& connects = hostMesh["polygonConnects"];
    const nlohmann::json& set = hostMesh["uvSets"][0];
    std::size_t wrong = 0;
    for (std::size_t i = 0; i < connects.size(); ++i) {
        const std::size_t vertex = connects[i];
        const std::size_t uv = set["uvIds"][i];
        const nlohmann::json& point = hostMesh["points"][vertex];
        const nlohmann::json& given = hostMesh["vertexNormals"][vertex];
        const double length = std::hypot(double(given[0]), double(given[1]), double(given[2]));
        const std::array<double, 3> position = toBlender(point[0], point[1], point[2]);
        const std::array<double, 3> normal =
            toBlender(double(given[0]) / length, double(given[1]) / length, double(given[2]) / length);
        const double expected[] = {position[0], position[1], position[2], normal[0],
                                   normal[1],   normal[2],   set["u"][uv], set["v"][uv]};
        for (std::size_t c = 0; c < 8; ++c) {
            const double tolerance = c == 7 ? tolerances.v : c >= 3 && c < 6 ? tolerances.normal : 0.0;
            const double actual = corners[i][c];
            // Blender's floats against the scene's floats, both widened.
            if (std::abs(actual - double(float(expected[c]))) > tolerance && wrong++ == 0) {
                ADD_FAILURE() << "corner " << i << " value " << c << ": Blender " << actual << ", host "
                              << expected[c];
            }
        }
    }
    return wrong;
}

}  // namespace orvex::testing

#endif
