// The whole import of any bytes, through the translator's read operation
// into a new stand-in scene: every mesh it leaves there must be well formed,
// and the status must say whether any mesh was made. The sample's textures
// sit in the input's content folder, so that inputs naming them find them.

#include "fuzz/FuzzSupport.h"
#include "fuzz/SampleTextures.h"
#include "fuzz/SceneOfOneRun.h"
#include "host/OrvexModelImport.h"

#include <maya/MFileObject.h>
#include <standin/Scene.h>

#include <cstddef>
#include <filesystem>
#include <numeric>
#include <vector>

namespace {

using orvex::fuzz::require;

bool indicesWithin(const std::vector<int>& indices, std::size_t size) {
    for (int index : indices)
        if (index < 0 || static_cast<std::size_t>(index) >= size) return false;
    return true;
}

bool allPositive(const std::vector<int>& counts) {
    for (int count : counts)
        if (count <= 0) return false;
    return true;
}

long long sum(const std::vector<int>& counts) {
    return std::accumulate(counts.begin(), counts.end(), 0LL);
}

void checkMesh(const standin::MeshData& mesh) {
    const std::size_t points = mesh.points.size();
    require(allPositive(mesh.polygonCounts), "every polygon has corners");
    require(sum(mesh.polygonCounts) == static_cast<long long>(mesh.polygonConnects.size()),
            "the polygon counts add up to the connects");
    require(indicesWithin(mesh.polygonConnects, points), "connects name points of the mesh");
    for (const standin::UVSet& set : mesh.uvSets) {
        require(set.u.size() == set.v.size(), "a UV set has as many u as v");
        const std::vector<int>& uvCounts = standin::uvCountsOf(mesh, set);
        const std::vector<int>& uvIds = standin::uvIdsOf(mesh, set);
        if (uvCounts.empty()) {
            require(uvIds.empty(), "UV ids come with UV counts");
            continue;
        }
        require(uvCounts == mesh.polygonCounts, "UVs are assigned to every corner of every polygon");
        require(uvIds.size() == mesh.polygonConnects.size(), "one UV id per corner");
        require(indicesWithin(uvIds, set.u.size()), "UV ids name UVs of the set");
    }
    require(mesh.vertexNormals.empty() || mesh.vertexNormals.size() == points, "one normal per vertex");
    require(mesh.normalLocked.empty() || mesh.normalLocked.size() == points, "one normal lock per vertex");
}

const orvex::fuzz::InputFile input;

const bool texturesWritten = [] {
    orvex::fuzz::writeSampleTextures(std::filesystem::path(input.path()).parent_path() / "textures");
    return true;
}();

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const orvex::fuzz::SceneOfOneRun scene;
    MFileObject file;
    file.setRawFullName(input.write(data, size).c_str());
    const MStatus status = orvex::OrvexModelImport().reader(file, "", MPxFileTranslator::kImportAccessMode);
    std::size_t meshes = 0;
    for (const standin::Node& node : standin::currentScene().nodes()) {
        if (node.type != "mesh") continue;
        checkMesh(node.mesh);
        ++meshes;
    }
    require((status == MStatus::kSuccess) == (meshes > 0), "the import succeeds when it made a mesh");
    return 0;
}
