// The loader on any bytes: the model it leaves must hold together, and the
// load must stay within the memory that the file's size allows.

#include "fuzz/AllocationPeak.h"
#include "fuzz/FuzzSupport.h"
#include "model/Model.h"
#include "tests/model/LoadAllocationBound.h"

#include <algorithm>
#include <new>

namespace {

using orvex::fuzz::require;

bool hasNoNul(const std::string& name) {
    return name.find('\0') == std::string::npos;
}

void checkModel(const orvex::Model& model, std::string path, bool threw) {
    for (const orvex::ModelMesh& mesh : model.meshes) {
        require(mesh.vertices.size() == mesh.vertexCount, "a mesh's vertex count is its array's size");
        require(mesh.indices.size() == mesh.indexCount, "a mesh's index count is its array's size");
        require(std::all_of(mesh.names.begin(), mesh.names.end(), hasNoNul), "names are split at NULs");
    }
    if (model.currentMesh) {
        const orvex::ModelMesh& mesh = *model.currentMesh;
        require(mesh.vertices.size() == mesh.vertexCount,
                "the current mesh's vertex count is its array's size");
        require(mesh.indexCount == 0 && mesh.indices.empty(), "the current mesh has no indices yet");
    }
    require(model.namesBlob != nullptr || model.namesBlobSize == 0, "no pending names have no size");
    require(model.notes.size() <= orvex::kMaxHeaderNotes + 4, "notes are capped");
    std::replace(path.begin(), path.end(), '/', '\\');
    const std::string& root = model.contentRoot;
    // The input's directory is named content, so only an exception leaves the root empty.
    require(root.empty() == threw, "the content root is derived after every load that returns");
    require(path.compare(0, root.size(), root) == 0, "the content root is a prefix of the path");
}

const orvex::fuzz::InputFile input;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    orvex::fuzz::AllocationPeak::installHooks();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string& path = input.write(data, size);
    orvex::Model model;
    bool threw = false;
    orvex::fuzz::AllocationPeak peak;
    try {
        require(orvex::loadModel(path, model), "a file that exists opens");
    } catch (const std::bad_alloc&) {
        threw = true;  // a byte size past 32 bits
    }
    require(peak.bytes() <= orvex::loadAllocationBound(size, model.meshes.size()), "the load's memory bound");
    require(orvex::loadedArrayBytes(model) <= size, "arrays come from the file's bytes");
    checkModel(model, path, threw);
    return 0;
}
