#ifndef ORVEX_TESTS_MODEL_LOADALLOCATIONBOUND_H
#define ORVEX_TESTS_MODEL_LOADALLOCATIONBOUND_H

#include "model/Model.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace orvex {

// The most that one loadModel call may hold allocated at its peak, as its
// header promises: the file's size twice over (its arrays, and for a moment
// the largest names blob beside the names copied out of it), three mesh
// records per completed mesh, and the open file's buffer, the notes and the
// content root.
inline std::uint64_t loadAllocationBound(std::uint64_t fileSize, std::size_t meshCount) {
    constexpr std::uint64_t kFixed = 32 * 1024;
    return 2 * fileSize + 3 * std::uint64_t{sizeof(ModelMesh)} * meshCount + kFixed;
}

// The bytes of the arrays and names that a load kept, all of which came from
// the file, so they can be no more than its size.
inline std::uint64_t loadedArrayBytes(const Model& model) {
    std::uint64_t bytes = model.namesBlobSize;
    for (const ModelMesh& mesh : model.meshes) {
        bytes += mesh.vertices.size() * sizeof(ModelVertex) + mesh.indices.size() * sizeof(std::uint16_t);
        for (const std::string& name : mesh.names) bytes += name.size();
    }
    if (model.currentMesh) bytes += model.currentMesh->vertices.size() * sizeof(ModelVertex);
    return bytes;
}

}  // namespace orvex

#endif
