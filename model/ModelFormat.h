#ifndef ORVEX_MODEL_MODELFORMAT_H
#define ORVEX_MODEL_MODELFORMAT_H

// The bytes of a ".model" file: chunked and little-endian, with no header
// or magic number. A file is a sequence of top-level chunks (id, size,
// payload). Chunk 9 holds children (tag, size, sub-chunks); each sub-chunk
// is (type, size, payload).

#include <cstdint>

namespace orvex {

enum class ModelChunkId : std::uint32_t {
    MeshList = 9,
};

enum class MeshSubChunkType : std::uint32_t {
    Names = 2,
    Vertices = 3,
    Indices = 4,
};

constexpr std::uint32_t kHeaderSize = 8;          // id or type, then size
constexpr std::uint32_t kVerticesPrefixSize = 8;  // a word not interpreted, then the vertex count
constexpr std::uint32_t kIndicesPrefixSize = 4;   // the index count

// One vertex record, held in memory with the file's layout so that a mesh's
// whole vertex array is filled by one read.
struct ModelVertex {
    float x;
    float y;
    float z;
    std::uint32_t extra0;
    // Bits 16-23 x, bits 8-15 y, bits 0-7 z, each an unsigned byte; bits
    // 24-31 unused.
    std::uint32_t normal;
    std::uint32_t extra1;
    float u;
    float v;
};

static_assert(sizeof(ModelVertex) == 32, "a vertex record is 32 bytes on disk and in memory");

}  // namespace orvex

#endif
