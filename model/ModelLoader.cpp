#include "model/Model.h"

#include "model/HostPath.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>
#include <new>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#if !defined(_WIN32)
#include <sys/types.h>
#endif

namespace orvex {
namespace {

// The file gives array sizes in 32-bit bytes, so it cannot describe more.
constexpr std::uint32_t kMaxVertexCount = std::numeric_limits<std::uint32_t>::max() / sizeof(ModelVertex);
constexpr std::uint32_t kMaxIndexCount = std::numeric_limits<std::uint32_t>::max() / sizeof(std::uint16_t);

constexpr std::string_view kContentDirectory = "\\content\\";

#if defined(_WIN32)
using FileOffset = std::int64_t;
int seekFile(std::FILE* file, FileOffset offset, int origin) {
    return _fseeki64(file, offset, origin);
}
FileOffset tellFile(std::FILE* file) {
    return _ftelli64(file);
}
#else
using FileOffset = off_t;
static_assert(sizeof(FileOffset) == 8,
              "files past 2 GiB need 64-bit positions: build with _FILE_OFFSET_BITS=64");
int seekFile(std::FILE* file, FileOffset offset, int origin) {
    return fseeko(file, offset, origin);
}
FileOffset tellFile(std::FILE* file) {
    return ftello(file);
}
#endif

// The model file, open for one load and closed on every path out of it.
class InputFile {
public:
    explicit InputFile(const std::string& path) : file_(openForReading(path)) {}
    ~InputFile() {
        if (file_ != nullptr) std::fclose(file_);
    }
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;

    bool isOpen() const { return file_ != nullptr; }

    // Leaves the position at byte 0.
    bool findSize(std::uint64_t& size) {
        if (seekFile(file_, 0, SEEK_END) != 0) return false;
        const FileOffset end = tellFile(file_);
        if (end < 0 || seekFile(file_, 0, SEEK_SET) != 0) return false;
        size = static_cast<std::uint64_t>(end);
        return true;
    }

    bool seek(std::uint64_t position) {
        return seekFile(file_, static_cast<FileOffset>(position), SEEK_SET) == 0;
    }

    // `byteCount` fits in std::size_t: callers read headers or arrays whose
    // byte size fits in 32 bits.
    bool read(void* destination, std::uint64_t byteCount) {
        const auto count = static_cast<std::size_t>(byteCount);
        return std::fread(destination, 1, count, file_) == count;
    }

private:
    std::FILE* file_;
};

// std::vector reports a count past max_size() as std::length_error; to the
// loader's callers it is memory this build cannot give, like any other. Only
// a 32-bit build reading a file of gigabytes gets there.
template <typename T>
FileArray<T> allocateArray(std::uint32_t count) {
    FileArray<T> array;
    if (count > array.max_size()) throw std::bad_alloc();
    array.resize(count);
    return array;
}

// One walk over one file. Reads that fail end the walk: every read function
// returns false once the walk is over, having noted why.
class ModelReader {
public:
    ModelReader(InputFile& file, std::uint64_t fileSize, Model& model)
        : file_(file),
          fileSize_(fileSize),
          headerBudget_{"headers", fileSize},
          arrayBudget_{"arrays", fileSize},
          model_(model) {}

    void walk();

private:
    void readChunks();
    bool readChunk(std::uint32_t& size);
    bool readMeshList(std::uint64_t chunkOffset, std::uint32_t chunkSize);
    bool readSubChunk(std::uint32_t& size);
    bool readNames(std::uint64_t offset, std::uint32_t size);
    bool readVertices(std::uint64_t offset, std::uint32_t size);
    bool readIndices(std::uint64_t offset, std::uint32_t size);
    void takeNames(ModelMesh& mesh);

    struct Budget {
        const char* what;
        std::uint64_t left;
    };

    // Headers, and the counts before the vertex and index arrays.
    bool readPair(std::uint32_t& first, std::uint32_t& second);
    bool readWord(std::uint32_t& value);
    bool claim(std::uint64_t byteCount, Budget& budget);
    bool readClaimed(void* destination, std::uint64_t byteCount);
    bool seekTo(std::uint64_t position);
    void note(LoadNote::Kind kind, std::uint64_t offset, std::string detail);
    void finalNote(LoadNote::Kind kind, std::uint64_t offset, std::string detail);
    [[noreturn]] void tooLarge(std::uint64_t countOffset, std::string detail);

    InputFile& file_;
    const std::uint64_t fileSize_;
    std::uint64_t position_ = 0;
    // A walk that follows honest sizes reads each byte at most once, so
    // neither its headers nor its arrays add up to more than the file. Lying
    // sizes can send it over the same bytes again and again; these budgets
    // keep its time and the meshes it keeps linear in the file size.
    Budget headerBudget_;
    Budget arrayBudget_;
    Model& model_;
    std::uint64_t currentMeshOffset_ = 0;
    std::uint64_t namesOffset_ = 0;
};

void ModelReader::walk() {
    readChunks();
    if (model_.currentMesh) finalNote(LoadNote::Kind::MeshDropped, currentMeshOffset_, "never completed");
    if (model_.namesBlob) finalNote(LoadNote::Kind::NamesDropped, namesOffset_, "no mesh took them");
}

void ModelReader::readChunks() {
    std::uint64_t total = 0;
    std::uint64_t chunkOffset = 0;
    // Bounded: each chunk reads its header from the header budget, and adds
    // at least 8 to `total`, which no size can wrap.
    while (total < fileSize_) {
        chunkOffset = total;
        std::uint32_t size = 0;
        if (!readChunk(size)) return;
        total += kHeaderSize + std::uint64_t{size};
    }
    if (total > fileSize_) {
        finalNote(LoadNote::Kind::Truncated, chunkOffset,
                  "the chunk ends at " + std::to_string(total) + ", past the end of the file");
    }
}

bool ModelReader::readChunk(std::uint32_t& size) {
    const std::uint64_t offset = position_;
    std::uint32_t id = 0;
    if (!readPair(id, size)) return false;
    const std::uint64_t payloadStart = position_;
    if (id == static_cast<std::uint32_t>(ModelChunkId::MeshList)) {
        if (!readMeshList(offset, size)) return false;
    } else {
        note(LoadNote::Kind::UnknownChunk, offset, "id " + std::to_string(id));
    }
    return seekTo(payloadStart + size);
}

bool ModelReader::readMeshList(std::uint64_t chunkOffset, std::uint32_t chunkSize) {
    std::uint64_t chunkTotal = 0;
    // Bounded: each child reads its header from the header budget.
    while (chunkTotal < chunkSize) {
        const std::uint64_t childOffset = position_;
        std::uint32_t tag = 0;
        std::uint32_t childSize = 0;
        if (!readPair(tag, childSize)) return false;
        std::uint64_t childTotal = 0;
        // Bounded: each sub-chunk reads its header from the header budget.
        // The next child starts where the last sub-chunk ended, wherever the
        // child's size says it ends.
        while (childTotal < childSize) {
            std::uint32_t size = 0;
            if (!readSubChunk(size)) return false;
            childTotal += kHeaderSize + std::uint64_t{size};
        }
        if (childTotal > childSize) {
            note(LoadNote::Kind::SizeMismatch, childOffset,
                 "sub-chunks end " + std::to_string(childTotal - childSize) + " bytes past the child");
        }
        chunkTotal += kHeaderSize + std::uint64_t{childSize};
    }
    if (chunkTotal > chunkSize) {
        note(LoadNote::Kind::SizeMismatch, chunkOffset,
             "children end " + std::to_string(chunkTotal - chunkSize) + " bytes past the chunk");
    }
    return true;
}

bool ModelReader::readSubChunk(std::uint32_t& size) {
    const std::uint64_t offset = position_;
    std::uint32_t type = 0;
    if (!readPair(type, size)) return false;
    const std::uint64_t payloadStart = position_;
    bool read = true;
    switch (static_cast<MeshSubChunkType>(type)) {
        case MeshSubChunkType::Names:
            read = readNames(offset, size);
            break;
        case MeshSubChunkType::Vertices:
            read = readVertices(offset, size);
            break;
        case MeshSubChunkType::Indices:
            if (model_.currentMesh) {
                read = readIndices(offset, size);
            } else {
                note(LoadNote::Kind::IndicesWithoutMesh, offset, "skipped");
            }
            break;
        default:
            note(LoadNote::Kind::UnknownSubChunk, offset, "type " + std::to_string(type));
            break;
    }
    return read && seekTo(payloadStart + size);
}

bool ModelReader::readNames(std::uint64_t offset, std::uint32_t size) {
    if (!claim(size, arrayBudget_)) return false;
    std::unique_ptr<std::uint8_t[]> blob(new std::uint8_t[size]);
    if (!readClaimed(blob.get(), size)) return false;
    if (model_.namesBlob) {
        note(LoadNote::Kind::NamesDropped, namesOffset_,
             "replaced by the names at " + std::to_string(offset));
    }
    model_.namesBlob = std::move(blob);
    model_.namesBlobSize = size;
    namesOffset_ = offset;
    return true;
}

bool ModelReader::readVertices(std::uint64_t offset, std::uint32_t size) {
    auto mesh = std::make_unique<ModelMesh>();
    std::uint32_t ignored = 0;
    std::uint32_t count = 0;
    if (!readPair(ignored, count)) return false;
    if (count > kMaxVertexCount) tooLarge(position_ - sizeof count, "vertex count " + std::to_string(count));
    const std::uint64_t byteCount = std::uint64_t{count} * sizeof(ModelVertex);
    if (!claim(byteCount, arrayBudget_)) return false;
    mesh->vertexCount = count;
    mesh->vertices = allocateArray<ModelVertex>(count);
    if (!readClaimed(mesh->vertices.data(), byteCount)) return false;
    if (size != kVerticesPrefixSize + byteCount) {
        note(LoadNote::Kind::SizeMismatch, offset,
             "declares " + std::to_string(size) + " bytes, holds " +
                 std::to_string(kVerticesPrefixSize + byteCount));
    }
    if (model_.currentMesh) {
        note(LoadNote::Kind::MeshDropped, currentMeshOffset_,
             "replaced by the mesh at " + std::to_string(offset));
    }
    model_.currentMesh = std::move(mesh);
    currentMeshOffset_ = offset;
    return true;
}

bool ModelReader::readIndices(std::uint64_t offset, std::uint32_t size) {
    std::uint32_t count = 0;
    if (!readWord(count)) return false;
    if (count > kMaxIndexCount) tooLarge(position_ - sizeof count, "index count " + std::to_string(count));
    const std::uint64_t byteCount = std::uint64_t{count} * sizeof(std::uint16_t);
    if (!claim(byteCount, arrayBudget_)) return false;
    FileArray<std::uint16_t> indices = allocateArray<std::uint16_t>(count);
    if (!readClaimed(indices.data(), byteCount)) return false;
    if (size != kIndicesPrefixSize + byteCount) {
        note(LoadNote::Kind::SizeMismatch, offset,
             "declares " + std::to_string(size) + " bytes, holds " +
                 std::to_string(kIndicesPrefixSize + byteCount));
    }
    ModelMesh& current = *model_.currentMesh;
    current.indexCount = count;
    current.indices = std::move(indices);
    model_.meshes.push_back(std::move(current));
    takeNames(model_.meshes.back());
    model_.currentMesh.reset();
    return true;
}

void ModelReader::takeNames(ModelMesh& mesh) {
    if (model_.namesBlob) {
        const char* next = reinterpret_cast<const char*>(model_.namesBlob.get());
        const char* const end = next + model_.namesBlobSize;
        // Each name is copied whole, so that its string holds no more than
        // the name: the blob and its names are both held for a moment. Bytes
        // after the third NUL are ignored.
        for (std::string& name : mesh.names) {
            const char* const nul = std::find(next, end, '\0');
            name.assign(next, nul);
            if (nul == end) break;
            next = nul + 1;
        }
    }
    model_.namesBlob.reset();
    model_.namesBlobSize = 0;
}

bool ModelReader::readPair(std::uint32_t& first, std::uint32_t& second) {
    std::uint8_t bytes[8];
    if (!claim(sizeof bytes, headerBudget_) || !readClaimed(bytes, sizeof bytes)) return false;
    std::memcpy(&first, bytes, 4);
    std::memcpy(&second, bytes + 4, 4);
    return true;
}

bool ModelReader::readWord(std::uint32_t& value) {
    std::uint8_t bytes[4];
    if (!claim(sizeof bytes, headerBudget_) || !readClaimed(bytes, sizeof bytes)) return false;
    std::memcpy(&value, bytes, 4);
    return true;
}

// Checked before anything is allocated for the bytes, so that a count the
// file cannot hold costs nothing.
bool ModelReader::claim(std::uint64_t byteCount, Budget& budget) {
    const std::uint64_t remaining = position_ < fileSize_ ? fileSize_ - position_ : 0;
    if (byteCount > remaining) {
        finalNote(LoadNote::Kind::Truncated, position_,
                  "needs " + std::to_string(byteCount) + " bytes, " + std::to_string(remaining) + " remain");
        return false;
    }
    if (byteCount > budget.left) {
        finalNote(LoadNote::Kind::Overlap, position_,
                  std::string(budget.what) + " read would exceed the file size");
        return false;
    }
    budget.left -= byteCount;
    return true;
}

bool ModelReader::readClaimed(void* destination, std::uint64_t byteCount) {
    // fread wants a valid destination even for no bytes, and an empty vector has none.
    if (byteCount == 0) return true;
    if (!file_.read(destination, byteCount)) {
        finalNote(LoadNote::Kind::Truncated, position_, "the read failed");
        return false;
    }
    position_ += byteCount;
    return true;
}

bool ModelReader::seekTo(std::uint64_t position) {
    // Within the file, the stream stands where position_ says. Chunks that
    // follow one another need no seek, and every seek costs a call to the
    // system, even one within the stream's buffer.
    if (position == position_ && position <= fileSize_) return true;
    position_ = position;
    // Past the end nothing can be read, which claim() tells without the file;
    // not seeking there also keeps the position within FileOffset.
    if (position > fileSize_) return true;
    if (!file_.seek(position)) {
        finalNote(LoadNote::Kind::Truncated, position, "the seek failed");
        return false;
    }
    return true;
}

void ModelReader::note(LoadNote::Kind kind, std::uint64_t offset, std::string detail) {
    if (model_.notes.size() < kMaxHeaderNotes) {
        model_.notes.push_back(LoadNote{kind, offset, std::move(detail)});
    } else if (model_.notes.size() == kMaxHeaderNotes) {
        model_.notes.push_back(LoadNote{LoadNote::Kind::NotesOmitted, offset, "from here on"});
    }
}

// Each ends the walk or comes after it, so there are at most three.
void ModelReader::finalNote(LoadNote::Kind kind, std::uint64_t offset, std::string detail) {
    model_.notes.push_back(LoadNote{kind, offset, std::move(detail)});
}

// Such a count is no damage to read past but an import that cannot be done,
// so it ends the load the way memory running out does; the note tells a
// reader of the model where.
void ModelReader::tooLarge(std::uint64_t countOffset, std::string detail) {
    finalNote(LoadNote::Kind::TooLarge, countOffset, std::move(detail));
    throw std::bad_alloc();
}

bool readFile(const std::string& path, Model& model) {
    InputFile file(path);
    std::uint64_t fileSize = 0;
    if (!file.isOpen() || !file.findSize(fileSize)) return false;
    ModelReader(file, fileSize, model).walk();
    return true;
}

}  // namespace

bool loadModel(const std::string& path, Model& model) {
    if (!readFile(path, model)) return false;
    model.contentRoot = deriveContentRoot(path);
    return true;
}

std::string deriveContentRoot(const std::string& path) {
    std::string root = path;
    std::replace(root.begin(), root.end(), '/', '\\');
    const std::size_t found = root.rfind(kContentDirectory);
    if (found == std::string::npos) return std::string();
    root.resize(found + kContentDirectory.size());
    return root;
}

const char* describe(LoadNote::Kind kind) {
    switch (kind) {
        case LoadNote::Kind::Truncated:
            return "truncated";
        case LoadNote::Kind::MeshDropped:
            return "mesh dropped";
        case LoadNote::Kind::NamesDropped:
            return "names dropped";
        case LoadNote::Kind::IndicesWithoutMesh:
            return "indices without vertices";
        case LoadNote::Kind::UnknownChunk:
            return "unknown chunk";
        case LoadNote::Kind::UnknownSubChunk:
            return "unknown sub-chunk";
        case LoadNote::Kind::SizeMismatch:
            return "size disagrees with contents";
        case LoadNote::Kind::Overlap:
            return "data read twice";
        case LoadNote::Kind::NotesOmitted:
            return "further notes omitted";
        case LoadNote::Kind::TooLarge:
            return "the file declares more data than memory can hold";
    }
    return "unknown note";
}

}  // namespace orvex
