#ifndef ORVEX_TESTS_WRITERS_FBXREADER_H
#define ORVEX_TESTS_WRITERS_FBXREADER_H

// A reader of binary FBX 7.x records for the tests, written from the format's
// description and apart from the writer, so that the two do not share a
// mistake. It is strict where readers through the FBX SDK are: every
// record's end offset must be where its properties and nested records end,
// every list of nested records must end in a null record, and the footer
// must be whole.

#include <zlib.h>

#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace orvex::writers::testing {

struct FbxProperty {
    char type = 0;
    std::int64_t integer = 0;            // C, Y, I, L
    double real = 0;                     // F, D
    std::string bytes;                   // S, R
    std::vector<std::int64_t> integers;  // b, i, l
    std::vector<double> reals;           // f, d
    std::uint32_t encoding = 0;          // of an array
};

struct FbxNode {
    std::string name;
    std::vector<FbxProperty> properties;
    std::vector<FbxNode> children;

    const FbxNode* child(std::string_view childName) const {
        for (const FbxNode& node : children) {
            if (node.name == childName) return &node;
        }
        return nullptr;
    }
    std::vector<const FbxNode*> all(std::string_view childName) const {
        std::vector<const FbxNode*> nodes;
        for (const FbxNode& node : children) {
            if (node.name == childName) nodes.push_back(&node);
        }
        return nodes;
    }
};

struct FbxFile {
    std::uint32_t version = 0;
    FbxNode root;  // the top-level records are its children
};

class FbxParser {
public:
    explicit FbxParser(std::string_view bytes) : fBytes(bytes) {}

    // Throws std::runtime_error with the offset of the first fault.
    FbxFile parse() {
        static const char kMagic[] = "Kaydara FBX Binary  \0\x1a";
        FbxFile file;
        if (fBytes.size() < 27 || std::memcmp(fBytes.data(), kMagic, 23) != 0)
            fail(0, "not a binary FBX header");
        file.version = u32(23);
        if (file.version >= 7500) fail(23, "64-bit offsets");
        std::size_t at = 27;
        file.root.children = list(at, fBytes.size());
        footer(at, file.version);
        return file;
    }

private:
    [[noreturn]] static void fail(std::size_t at, const std::string& what) {
        throw std::runtime_error("byte " + std::to_string(at) + ": " + what);
    }

    std::uint32_t u32(std::size_t at) const {
        if (at > fBytes.size() || fBytes.size() - at < 4) fail(at, "past the end");
        std::uint32_t value = 0;
        for (int i = 3; i >= 0; --i) value = (value << 8) | std::uint8_t(fBytes[at + std::size_t(i)]);
        return value;
    }

    std::uint64_t u64(std::size_t at) const { return u32(at) | (std::uint64_t(u32(at + 4)) << 32); }

    bool isNullRecord(std::size_t at) const {
        return fBytes.size() - at >= 13 &&
               fBytes.substr(at, 13) == std::string_view("\0\0\0\0\0\0\0\0\0\0\0\0\0", 13);
    }

    // Records until the null record that ends the list, which must lie
    // before `limit`.
    std::vector<FbxNode> list(std::size_t& at, std::size_t limit) {
        std::vector<FbxNode> nodes;
        while (!isNullRecord(at)) {
            if (at >= limit) fail(at, "list without its null record");
            nodes.push_back(record(at, limit));
        }
        at += 13;
        if (at > limit) fail(at, "null record past the end of its parent");
        return nodes;
    }

    FbxNode record(std::size_t& at, std::size_t limit) {
        const std::size_t start = at;
        const std::uint32_t end = u32(at);
        const std::uint32_t count = u32(at + 4);
        const std::uint32_t propertyBytes = u32(at + 8);
        if (end <= start || end > limit) fail(start, "end offset outside its parent");
        if (at + 13 > end) fail(start, "header past the record's end");
        FbxNode node;
        const std::size_t nameLength = std::uint8_t(fBytes[at + 12]);
        at += 13;
        if (at + nameLength > end) fail(start, "name past the record's end");
        node.name = std::string(fBytes.substr(at, nameLength));
        at += nameLength;
        const std::size_t propertiesStart = at;
        for (std::uint32_t i = 0; i < count; ++i) node.properties.push_back(property(at, end));
        if (at - propertiesStart != propertyBytes) fail(start, node.name + ": property list size is wrong");
        if (at < end) node.children = list(at, end);
        if (at != end)
            fail(start, node.name + ": end offset " + std::to_string(end) + ", but it ends at " +
                            std::to_string(at));
        return node;
    }

    FbxProperty property(std::size_t& at, std::size_t end) {
        FbxProperty p;
        if (at >= end) fail(at, "property past the record's end");
        p.type = fBytes[at++];
        auto need = [&](std::size_t size) {
            if (size > end - at) fail(at, std::string("property ") + p.type + " past the record's end");
        };
        switch (p.type) {
            case 'C':
                need(1);
                p.integer = std::uint8_t(fBytes[at]);
                at += 1;
                break;
            case 'Y':
                need(2);
                p.integer = std::int16_t(u32(at) & 0xFFFF);
                at += 2;
                break;
            case 'I':
                need(4);
                p.integer = std::int32_t(u32(at));
                at += 4;
                break;
            case 'L':
                need(8);
                p.integer = std::int64_t(u64(at));
                at += 8;
                break;
            case 'F': {
                need(4);
                const std::uint32_t bits = u32(at);
                float f;
                std::memcpy(&f, &bits, 4);
                p.real = f;
                at += 4;
                break;
            }
            case 'D': {
                need(8);
                const std::uint64_t bits = u64(at);
                std::memcpy(&p.real, &bits, 8);
                at += 8;
                break;
            }
            case 'S':
            case 'R': {
                need(4);
                const std::uint32_t size = u32(at);
                at += 4;
                need(size);
                p.bytes = std::string(fBytes.substr(at, size));
                at += size;
                break;
            }
            case 'b':
            case 'i':
            case 'l':
            case 'f':
            case 'd':
                array(p, at, end);
                break;
            default:
                fail(at - 1, std::string("unknown property type '") + p.type + "'");
        }
        return p;
    }

    void array(FbxProperty& p, std::size_t& at, std::size_t end) {
        if (end - at < 12) fail(at, "array header past the record's end");
        const std::uint32_t count = u32(at);
        p.encoding = u32(at + 4);
        const std::uint32_t size = u32(at + 8);
        at += 12;
        if (size > end - at) fail(at, "array past the record's end");
        const std::size_t element = p.type == 'b' ? 1 : (p.type == 'i' || p.type == 'f') ? 4 : 8;
        std::string data;
        if (p.encoding == 0) {
            data = std::string(fBytes.substr(at, size));
        } else if (p.encoding == 1) {
            data.resize(std::size_t(count) * element);
            uLongf length = uLongf(data.size());
            if (uncompress(reinterpret_cast<Bytef*>(data.data()), &length,
                           reinterpret_cast<const Bytef*>(fBytes.data() + at), uLong(size)) != Z_OK)
                fail(at, "array does not inflate");
            data.resize(length);
        } else {
            fail(at - 8, "unknown array encoding");
        }
        if (data.size() != std::size_t(count) * element) fail(at, "array holds the wrong number of bytes");
        at += size;
        for (std::size_t i = 0; i < count; ++i) {
            std::uint64_t bits = 0;
            for (std::size_t b = element; b-- > 0;) bits = (bits << 8) | std::uint8_t(data[i * element + b]);
            if (p.type == 'd') {
                double value;
                std::memcpy(&value, &bits, 8);
                p.reals.push_back(value);
            } else if (p.type == 'f') {
                const auto narrow = std::uint32_t(bits);
                float value;
                std::memcpy(&value, &narrow, 4);
                p.reals.push_back(value);
            } else if (p.type == 'i') {
                p.integers.push_back(std::int32_t(std::uint32_t(bits)));
            } else {
                p.integers.push_back(std::int64_t(bits));
            }
        }
    }

    // The footer code, 4 zero bytes, zeros up to the next 16-byte boundary,
    // the version, 120 zero bytes and the closing magic, and nothing after.
    void footer(std::size_t at, std::uint32_t version) const {
        static const std::uint8_t kClosing[16] = {0xf8, 0x5a, 0x8c, 0x6a, 0xde, 0xf5, 0xd9, 0x7e,
                                                  0xec, 0xe9, 0x0c, 0xe3, 0x75, 0x8f, 0x29, 0x0b};
        at += 16;
        const std::size_t versionAt = (at + 4) + (16 - (at + 4) % 16);
        if (fBytes.size() != versionAt + 4 + 120 + 16) fail(at, "footer of the wrong size");
        for (std::size_t i = at; i < versionAt; ++i) {
            if (fBytes[i] != '\0') fail(i, "footer padding is not zero");
        }
        if (u32(versionAt) != version) fail(versionAt, "footer version differs");
        if (std::memcmp(fBytes.data() + versionAt + 4 + 120, kClosing, 16) != 0)
            fail(versionAt, "footer magic");
    }

    std::string_view fBytes;
};

inline FbxFile parseFbx(std::string_view bytes) {
    return FbxParser(bytes).parse();
}

}  // namespace orvex::writers::testing

#endif
