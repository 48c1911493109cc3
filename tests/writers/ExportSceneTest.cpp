#include "writers/ExportScene.h"

#include <maya/MFloatArray.h>
#include <maya/MFloatPointArray.h>
#include <maya/MFnMesh.h>
#include <maya/MIntArray.h>
#include <maya/MVectorArray.h>
#include <standin/Scene.h>

#include <gtest/gtest.h>

#include <functional>
#include <limits>

namespace orvex::writers {
namespace {

using Vec2 = std::array<float, 2>;
using Vec3 = std::array<float, 3>;

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInfinity = std::numeric_limits<float>::infinity();

// A unit square of two triangles, vertex k with UV kUvs[k] and normal +Z.
const std::vector<Vec3> kPoints = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}};
const std::vector<int> kCounts = {3, 3};
const std::vector<int> kConnects = {0, 1, 2, 0, 2, 3};
const std::vector<Vec2> kUvs = {{0.0f, 0.5f}, {0.25f, 0.75f}, {0.5f, 1.0f}, {0.75f, 0.25f}};
constexpr Vec3 kUp = {0, 0, 1};

// The square's geometry as written when nothing needs making good.
MeshGeometry squareGeometry() {
    return {kPoints, {kUp, kUp, kUp, kUp}, kUvs, {0, 1, 2, 0, 2, 3}};
}

// Builds the square through the host API, as the importer does, in a new
// scene; `change`, if any, then turns its arrays into what the stand-in's
// API would refuse but the writers must still make good.
void addSquare(const std::function<void(standin::MeshData&)>& change) {
    standin::newScene();
    MFloatPointArray points(unsigned(kPoints.size()));
    MFloatArray u(unsigned(kUvs.size()));
    MFloatArray v(unsigned(kUvs.size()));
    for (unsigned int k = 0; k < kPoints.size(); ++k) {
        points.set(k, kPoints[k][0], kPoints[k][1], kPoints[k][2]);
        u[k] = kUvs[k][0];
        v[k] = kUvs[k][1];
    }
    const MIntArray counts(kCounts.data(), unsigned(kCounts.size()));
    MIntArray connects(kConnects.data(), unsigned(kConnects.size()));
    MFnMesh mesh;
    MStatus status;
    const MObject transform = mesh.create(int(kPoints.size()), int(kCounts.size()), points, counts, connects,
                                          u, v, MObject::kNullObj, &status);
    ASSERT_EQ(status, MStatus::kSuccess);
    const MString map1("map1");
    ASSERT_EQ(mesh.assignUVs(counts, connects, &map1), MStatus::kSuccess);
    const int ids[] = {0, 1, 2, 3};
    const float up[][3] = {{0, 0, 1}, {0, 0, 1}, {0, 0, 1}, {0, 0, 1}};
    MIntArray vertexList(ids, 4);
    MVectorArray normals(up, 4);
    ASSERT_EQ(mesh.setVertexNormals(normals, vertexList, MSpace::kWorld), MStatus::kSuccess);
    const standin::Scene& scene = standin::currentScene();
    const standin::NodeId shape = scene.children(scene.find(transform)->id).front();
    // The scene's nodes are not const; only its interface is.
    if (change) change(const_cast<standin::Node*>(scene.find(shape))->mesh);
}

struct Case {
    const char* name;
    std::function<void(standin::MeshData&)> change;
    std::vector<std::string> warnings;          // what each warning says after the mesh's name
    std::function<void(MeshGeometry&)> expect;  // turns the square's geometry into the one expected
};

// One geometry serves every case, as the glTF writer keeps one from mesh to
// mesh, so that what a mesh leaves behind shows up in the next.
void expectCases(const std::vector<Case>& cases) {
    MeshGeometry geometry;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        addSquare(c.change);
        std::vector<std::string> warnings;
        const ExportScene scene = collectScene(standin::currentScene(), nullptr, warnings);
        ASSERT_EQ(scene.meshes.size(), 1u);
        const ExportMesh& mesh = scene.meshes[0];
        ASSERT_EQ(warnings.size(), c.warnings.size());
        for (std::size_t i = 0; i < warnings.size(); ++i) {
            EXPECT_EQ(warnings[i], "mesh " + mesh.meshName + ": " + c.warnings[i]);
        }
        MeshGeometry expected = squareGeometry();
        if (c.expect) c.expect(expected);
        geometryOf(mesh, geometry);
        EXPECT_EQ(geometry.indices, expected.indices);
        EXPECT_EQ(geometry.positions, expected.positions);
        EXPECT_EQ(geometry.uvs, expected.uvs);
        EXPECT_EQ(geometry.normals, expected.normals);
        EXPECT_EQ(mesh.vertexCount, expected.positions.size());
        EXPECT_EQ(mesh.indexCount, expected.indices.size());
        EXPECT_EQ(mesh.hasNormals, !expected.normals.empty());
        EXPECT_EQ(mesh.hasUvs, !expected.uvs.empty());
        EXPECT_EQ(mesh.minimum, (Vec3{0, 0, 0}));
        EXPECT_EQ(mesh.maximum, (Vec3{1, 1, 0}));
    }
}

const std::string kDropped =
    "1 polygons or triangles refer to corners or vertices that do not exist; left out";
const std::string kNormalsMadeGood =
    " vertex normals are not unit vectors; normalised, or taken from the faces where they have no direction";

TEST(ExportScene, TrianglesOfMissingCornersOrVerticesAreLeftOutAndCounted) {
    auto indices = [](std::vector<std::uint32_t> values) {
        return [values](MeshGeometry& g) { g.indices = values; };
    };
    expectCases({
        {"triangles as built", nullptr, {}, nullptr},
        {"vertex past the end", [](auto& m) { m.polygonConnects[5] = 4; }, {kDropped}, indices({0, 1, 2})},
        {"negative vertex", [](auto& m) { m.polygonConnects[1] = -1; }, {kDropped}, indices({0, 2, 3})},
        {"polygon past the connects", [](auto& m) { m.polygonCounts.push_back(3); }, {kDropped}, nullptr},
        {"negative count",
         [](auto& m) {
             m.polygonCounts = {3, -1};
         },
         {kDropped},
         indices({0, 1, 2})},
        {"quad",
         [](auto& m) {
             m.polygonCounts = {4}, m.polygonConnects = {0, 1, 2, 3};
         },
         {},
         nullptr},
        {"quad with a vertex past the end",
         [](auto& m) {
             m.polygonCounts = {4}, m.polygonConnects = {0, 1, 2, 9};
         },
         {kDropped},
         indices({0, 1, 2})},
        {"polygons of fewer than three corners",
         [](auto& m) {
             m.polygonCounts = {2, 3, 1, 0}, m.polygonConnects = {0, 1, 0, 2, 3, 2};
         },
         {},
         indices({0, 2, 3})},
        {"as many corners as two triangles, not in triangles",
         [](auto& m) {
             m.polygonCounts = {2, 4}, m.polygonConnects = {1, 3, 0, 1, 2, 3};
         },
         {},
         nullptr},
    });
}

TEST(ExportScene, VertexAttributesAreMadeGoodAndCounted) {
    auto otherUvIds = [](std::vector<int> counts, std::vector<int> ids) {
        return [counts, ids](standin::MeshData& m) {
            standin::UVSet& set = m.uvSets.at(0);
            set.idsAreConnects = false;
            set.uvCounts = counts;
            set.uvIds = ids;
        };
    };
    expectCases({
        {"UV ids other than the connects",
         otherUvIds(kCounts, {3, 2, 1, 3, 1, 0}),
         {},
         [](auto& g) {
             g.uvs = {kUvs[3], kUvs[2], kUvs[1], kUvs[0]};
         }},
        {"UV ids a copy of the connects", otherUvIds(kCounts, kConnects), {}, nullptr},
        {"UV ids of fewer corners", otherUvIds({3}, {3, 2, 1}), {}, nullptr},
        {"UV id past the UVs",
         otherUvIds(kCounts, {9, 1, 2, 0, 2, 3}),
         {"1 vertices have no UV in map1; given (0, 0)"},
         [](auto& g) {
             g.uvs[0] = {0, 0};
         }},
        {"fewer UVs than vertices",
         [](auto& m) { m.uvSets[0].u.resize(2), m.uvSets[0].v.resize(3); },
         {"2 vertices have no UV in map1; given (0, 0)"},
         [](auto& g) {
             g.uvs[2] = g.uvs[3] = {0, 0};
         }},
        {"no UVs", [](auto& m) { m.uvSets[0].u.clear(); }, {}, [](auto& g) { g.uvs.clear(); }},
        {"coordinates not finite",
         [](auto& m) { m.points[1].x = kNaN, m.points[2].y = kInfinity, m.uvSets[0].u[3] = -kInfinity; },
         {"3 point or UV coordinates are not finite numbers; written as 0"},
         [](auto& g) {
             g.positions[1] = {0, 0, 0}, g.positions[2] = {1, 0, 0}, g.uvs[3][0] = 0;
         }},
        {"normals not of unit length",
         [](auto& m) {
             m.vertexNormals[0] = {0, 0, 2}, m.vertexNormals[3] = {3, 0, 4};
         },
         {"2" + kNormalsMadeGood},
         [](auto& g) {
             g.normals[3] = {0.6f, 0, 0.8f};
         }},
        {"normals without direction",
         [](auto& m) {
             m.vertexNormals[1] = {0, 0, 0}, m.vertexNormals[2] = {kNaN, 0, 0};
         },
         {"2" + kNormalsMadeGood},
         nullptr},
        {"normal without direction on a vertex of no triangle",
         [](auto& m) {
             m.polygonCounts = {3}, m.polygonConnects = {0, 1, 2}, m.vertexNormals[3] = {0, 0, 0};
         },
         {"1" + kNormalsMadeGood},
         [](auto& g) {
             g.indices = {0, 1, 2}, g.normals[3] = {0, 1, 0};
         }},
        {"normals of some vertices only",
         [](auto& m) { m.vertexNormals.resize(3); },
         {},
         [](auto& g) { g.normals.clear(); }},
    });
}

}  // namespace
}  // namespace orvex::writers
