#ifndef ORVEX_MODELGEN_MODELBUILDER_H
#define ORVEX_MODELGEN_MODELBUILDER_H

#include "model/ModelFormat.h"

#include <cstdint>
#include <cstring>
#include <fstream>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace orvex::modelgen {

using Bytes = std::vector<std::uint8_t>;
using Size = std::optional<std::uint32_t>;

// Writes the bytes of a ".model" file front to back. Every size is worked
// out from what is written (a chunk's or child's when it ends) unless it is
// given, which lets fixtures lie about sizes and counts. Owns its bytes;
// throws std::logic_error when ends do not match begins. Trusts its caller:
// it writes what it is told.
class ModelBuilder {
public:
    ModelBuilder& beginMeshList(Size size = std::nullopt) {
        return begin(static_cast<std::uint32_t>(ModelChunkId::MeshList), size);
    }
    ModelBuilder& endMeshList() { return end(); }
    ModelBuilder& beginChild(Size size = std::nullopt, std::uint32_t tag = 0) { return begin(tag, size); }
    ModelBuilder& endChild() { return end(); }

    // A top-level chunk or a sub-chunk with any id or type and payload.
    ModelBuilder& chunk(std::uint32_t id, std::string_view payload = {}, Size size = std::nullopt) {
        return block(id, payload, size);
    }
    ModelBuilder& subChunk(std::uint32_t type, std::string_view payload = {}, Size size = std::nullopt) {
        return block(type, payload, size);
    }

    ModelBuilder& names(std::string_view blob, Size size = std::nullopt) {
        return block(static_cast<std::uint32_t>(MeshSubChunkType::Names), blob, size);
    }

    ModelBuilder& vertices(const std::vector<ModelVertex>& records, Size count = std::nullopt,
                           Size size = std::nullopt) {
        const auto byteCount = static_cast<std::uint32_t>(records.size() * sizeof(ModelVertex));
        word(static_cast<std::uint32_t>(MeshSubChunkType::Vertices));
        word(size.value_or(kVerticesPrefixSize + byteCount));
        word(0);
        word(count.value_or(static_cast<std::uint32_t>(records.size())));
        for (const ModelVertex& record : records) {
            real(record.x).real(record.y).real(record.z).word(record.extra0).word(record.normal);
            word(record.extra1).real(record.u).real(record.v);
        }
        return *this;
    }

    ModelBuilder& indices(const std::vector<std::uint16_t>& values, Size count = std::nullopt,
                          Size size = std::nullopt) {
        const auto byteCount = static_cast<std::uint32_t>(values.size() * sizeof(std::uint16_t));
        word(static_cast<std::uint32_t>(MeshSubChunkType::Indices));
        word(size.value_or(kIndicesPrefixSize + byteCount));
        word(count.value_or(static_cast<std::uint32_t>(values.size())));
        for (std::uint16_t value : values) {
            bytes_.push_back(static_cast<std::uint8_t>(value));
            bytes_.push_back(static_cast<std::uint8_t>(value >> 8));
        }
        return *this;
    }

    // One child holding a whole mesh, its names first.
    ModelBuilder& mesh(std::string_view namesBlob, const std::vector<ModelVertex>& records,
                       const std::vector<std::uint16_t>& values) {
        return beginChild().names(namesBlob).vertices(records).indices(values).endChild();
    }

    // A little-endian u32 anywhere, for layouts the other writers cannot make.
    ModelBuilder& word(std::uint32_t value) {
        for (int shift = 0; shift < 32; shift += 8)
            bytes_.push_back(static_cast<std::uint8_t>(value >> shift));
        return *this;
    }

    std::size_t size() const { return bytes_.size(); }
    const Bytes& bytes() const { return bytes_; }

private:
    ModelBuilder& real(float value) {
        std::uint32_t bits = 0;
        std::memcpy(&bits, &value, sizeof bits);
        return word(bits);
    }

    ModelBuilder& block(std::uint32_t first, std::string_view payload, Size size) {
        word(first).word(size.value_or(static_cast<std::uint32_t>(payload.size())));
        bytes_.insert(bytes_.end(), payload.begin(), payload.end());
        return *this;
    }

    ModelBuilder& begin(std::uint32_t first, Size size) {
        word(first);
        open_.push_back(Open{bytes_.size(), !size});
        return word(size.value_or(0));
    }

    ModelBuilder& end() {
        if (open_.empty()) throw std::logic_error("ModelBuilder: end without begin");
        const Open open = open_.back();
        open_.pop_back();
        if (open.patch) {
            const auto size = static_cast<std::uint32_t>(bytes_.size() - open.sizeOffset - 4);
            for (int i = 0; i < 4; ++i)
                bytes_[open.sizeOffset + i] = static_cast<std::uint8_t>(size >> (8 * i));
        }
        return *this;
    }

    struct Open {
        std::size_t sizeOffset;
        bool patch;
    };

    Bytes bytes_;
    std::vector<Open> open_;
};

// Throws std::runtime_error when the file cannot be written whole.
inline void writeFile(const std::string& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) throw std::runtime_error("cannot write " + path);
}

}  // namespace orvex::modelgen

#endif
