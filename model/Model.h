#ifndef ORVEX_MODEL_MODEL_H
#define ORVEX_MODEL_MODEL_H

#include "model/ModelFormat.h"

#include <maya/MObject.h>

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace orvex {

// File texture nodes made during one import, by resolved texture path
// compared byte for byte.
using TextureNodeCache = std::map<std::string, MObject>;

struct ModelMesh {
    std::uint32_t vertexCount = 0;
    std::uint32_t indexCount = 0;
    std::vector<ModelVertex> vertices;
    std::vector<std::uint16_t> indices;  // a triangle list
    // The texture name, then two more names that nothing else uses.
    std::array<std::string, 3> names;
};

// Something the loader skipped, dropped or stopped at, kept for people
// reading about the file; the importer never acts on it.
struct LoadNote {
    enum class Kind {
        Truncated,            // a read the file could not supply; the walk stopped there
        MeshDropped,          // a mesh started and never completed
        NamesDropped,         // names that no completed mesh took
        IndicesWithoutMesh,   // an Indices sub-chunk with no mesh started
        UnknownChunk,         // a top-level chunk skipped by its size
        UnknownSubChunk,      // a sub-chunk of unknown type skipped by its size
        SizeMismatch,         // a declared size that disagrees with the content
    };
    Kind kind;
    std::uint64_t offset;  // of the header or read concerned
    std::string detail;
};

const char* describe(LoadNote::Kind kind);

struct Model {
    std::vector<ModelMesh> meshes;             // completed meshes, in file order
    std::unique_ptr<ModelMesh> currentMesh;    // started and not yet completed
    std::unique_ptr<std::uint8_t[]> namesBlob; // pending names, as read
    std::uint32_t namesBlobSize = 0;
    std::string contentRoot;
    TextureNodeCache textureNodeCache;
    std::vector<LoadNote> notes;
};

// Reads the whole file at `path` into `model`, then derives the content root
// from `path`. Untrusted input: any bytes are safe. Returns false only when
// the file cannot be opened. The walk stops at the first read that the file
// cannot supply and keeps the meshes completed before it. A vertex count of
// 2^27 or more, or an index count of 2^31 or more, throws std::bad_alloc,
// as the file's 32-bit byte sizes cannot hold them; the model keeps what it
// had read.
bool loadModel(const std::string& path, Model& model);

}  // namespace orvex

#endif
