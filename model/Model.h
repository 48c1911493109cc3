#ifndef ORVEX_MODEL_MODEL_H
#define ORVEX_MODEL_MODEL_H

#include "model/ModelFormat.h"

#include <maya/MObject.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace orvex {

// File texture nodes made during one import, by resolved texture path
// compared byte for byte.
using TextureNodeCache = std::map<std::string, MObject>;

// Construction with no value default-initialises rather than zero-fills:
// the loader sizes each vertex and index array and then fills it with one
// read, and zeroing it first would be a second pass over fresh memory. A
// failed read discards the array, so no model keeps an unread element.
template <typename T>
class DefaultInitAllocator : public std::allocator<T> {
public:
    template <typename U>
    struct rebind {
        using other = DefaultInitAllocator<U>;
    };

    using std::allocator<T>::allocator;

    template <typename U>
    void construct(U* place) {
        ::new (static_cast<void*>(place)) U;
    }
    template <typename U, typename... Args>
    void construct(U* place, Args&&... args) {
        ::new (static_cast<void*>(place)) U(std::forward<Args>(args)...);
    }
};

template <typename T>
using FileArray = std::vector<T, DefaultInitAllocator<T>>;

struct ModelMesh {
    std::uint32_t vertexCount = 0;
    std::uint32_t indexCount = 0;
    FileArray<ModelVertex> vertices;
    FileArray<std::uint16_t> indices;  // a triangle list
    // The texture name, then two more names that nothing else uses.
    std::array<std::string, 3> names;
};

// Something the loader skipped, dropped or stopped at, kept for people
// reading about the file; the importer never acts on it.
struct LoadNote {
    enum class Kind {
        Truncated,           // a read the file could not supply; the walk stopped there
        MeshDropped,         // a mesh started and never completed
        NamesDropped,        // names that no completed mesh took
        IndicesWithoutMesh,  // an Indices sub-chunk with no mesh started
        UnknownChunk,        // a top-level chunk skipped by its size
        UnknownSubChunk,     // a sub-chunk of unknown type skipped by its size
        SizeMismatch,        // a declared size that disagrees with the content
        Overlap,             // bytes that the walk would read twice; it stopped there
        NotesOmitted,        // the notes kept on single headers reached kMaxHeaderNotes
        TooLarge,            // a count that memory cannot hold; the load threw there
    };
    Kind kind;
    std::uint64_t offset;  // of the header or read concerned
    std::string detail;
};

const char* describe(LoadNote::Kind kind);

// Notes on single headers cost memory for every few bytes of a hostile file,
// so a load keeps no more than this many of them; the notes on where the walk
// stopped and what it dropped at the end are kept as well.
constexpr std::size_t kMaxHeaderNotes = 64;

struct Model {
    std::vector<ModelMesh> meshes;              // completed meshes, in file order
    std::unique_ptr<ModelMesh> currentMesh;     // started and not yet completed
    std::unique_ptr<std::uint8_t[]> namesBlob;  // pending names, as read
    std::uint32_t namesBlobSize = 0;
    std::string contentRoot;
    TextureNodeCache textureNodeCache;
    std::vector<LoadNote> notes;
};

// Reads the whole file at `path` into `model`, which is as constructed, then
// derives its content root from `path`. The file is open only during the
// call and closed on every path out of it; everything read belongs to
// `model`.
//
// Untrusted input: yes, any bytes are safe. Returns false only when the file
// cannot be opened (or its size cannot be found), leaving `model` as it was;
// true otherwise, whatever the file held. The walk stops at the first read
// that the file cannot supply, and at the first that would take headers, or
// array contents, past the file's size in total (only lying sizes make a walk
// read bytes twice); the model keeps the meshes completed before it, and the
// notes say where and why. A vertex count of 2^27 or more, or an index count
// of 2^31 or more, throws std::bad_alloc, as the file's 32-bit byte sizes
// cannot describe such arrays; so does exhausted memory. The model then keeps
// what it had read, with a TooLarge note at such a count, and its content
// root stays empty.
//
// Memory, whatever the sizes and counts claim: the vertex, index and names
// arrays read in one load take no more bytes in total than the file holds.
// Names are copied out of their blob, so at its peak a load holds at most the
// file's size plus its largest names blob in such bytes, plus three ModelMesh
// records per completed mesh (the growth of `meshes`) and a few KiB (open
// file, notes, content root).
bool loadModel(const std::string& path, Model& model);

// `path` with every "/" turned into "\", cut after the last "\content\"
// (case-sensitive), or empty when there is none. Owns nothing; any string.
std::string deriveContentRoot(const std::string& path);

}  // namespace orvex

#endif
