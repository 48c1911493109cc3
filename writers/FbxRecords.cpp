#include "writers/FbxRecords.h"

#include <zlib.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <limits>
#include <new>
#include <stdexcept>

namespace orvex::writers {

namespace {

constexpr char kHeaderMagic[] = "Kaydara FBX Binary  ";  // with its NUL, then 0x1A 0x00
constexpr std::size_t kNullRecordSize = 13;
constexpr std::array<std::uint8_t, 16> kFooterCode = {0xfa, 0xbc, 0xab, 0x09, 0xd0, 0xc8, 0xd4, 0x66,
                                                      0xb1, 0x76, 0xfb, 0x83, 0x1c, 0xf7, 0x26, 0x7e};
constexpr std::array<std::uint8_t, 16> kFooterMagic = {0xf8, 0x5a, 0x8c, 0x6a, 0xde, 0xf5, 0xd9, 0x7e,
                                                       0xec, 0xe9, 0x0c, 0xe3, 0x75, 0x8f, 0x29, 0x0b};
constexpr std::size_t kFooterZeros = 120;
// Arrays are mostly floating-point numbers, which deflate shrinks little
// at any level; the fastest one costs least on large meshes.
constexpr int kDeflateLevel = Z_BEST_SPEED;
constexpr std::uint32_t kStored = 0;
constexpr std::uint32_t kDeflated = 1;
constexpr std::size_t kU32Max = std::numeric_limits<std::uint32_t>::max();

void putU32(char* at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) at[i] = char((value >> (8 * i)) & 0xFF);
}

void appendU64(std::string& bytes, std::uint64_t value) {
    for (int i = 0; i < 8; ++i) bytes += char((value >> (8 * i)) & 0xFF);
}

}  // namespace

FbxRecordWriter::FbxRecordWriter() {
    fBytes.append(kHeaderMagic, sizeof kHeaderMagic);
    fBytes += '\x1A';
    fBytes += '\0';
    appendU32(kFbxVersion);
    fOpen.emplace_back();  // the top level, which has no header of its own
    fOpen.back().propertiesClosed = true;
}

void FbxRecordWriter::appendU32(std::size_t value) {
    if (value > kU32Max) throw FbxTooLarge();
    char bytes[4];
    putU32(bytes, std::uint32_t(value));
    fBytes.append(bytes, 4);
}

void FbxRecordWriter::patchU32(std::size_t offset, std::size_t value) {
    if (value > kU32Max) throw FbxTooLarge();
    putU32(&fBytes[offset], std::uint32_t(value));
}

void FbxRecordWriter::closeProperties(Open& record) {
    if (record.propertiesClosed) return;
    patchU32(record.start + 4, record.properties);
    patchU32(record.start + 8, fBytes.size() - record.propertiesStart);
    record.propertiesClosed = true;
}

void FbxRecordWriter::begin(std::string_view name) {
    // A name's length is one byte; ours are fixed words of the format.
    if (name.size() > 255) throw std::length_error("FBX record name too long");
    Open& parent = fOpen.back();
    closeProperties(parent);
    parent.hasChildren = true;
    Open record;
    record.start = fBytes.size();
    if (record.start > kU32Max) throw FbxTooLarge();
    fBytes.append(12, '\0');  // end offset, property count and size, patched later
    fBytes += char(name.size());
    fBytes.append(name);
    record.propertiesStart = fBytes.size();
    fOpen.push_back(record);
}

void FbxRecordWriter::closeList(Open& record) {
    if (record.hasChildren) {
        if (record.lastChildBare) {
            fBytes.resize(fBytes.size() - kNullRecordSize);
            patchU32(record.lastChildStart, fBytes.size());
        }
        fBytes.append(kNullRecordSize, '\0');
    } else if (record.properties == 0) {
        fBytes.append(kNullRecordSize, '\0');
    }
}

void FbxRecordWriter::end() {
    Open record = fOpen.back();
    fOpen.pop_back();
    closeProperties(record);
    closeList(record);
    patchU32(record.start, fBytes.size());
    Open& parent = fOpen.back();
    parent.lastChildBare = !record.hasChildren && record.properties == 0;
    parent.lastChildStart = record.start;
}

void FbxRecordWriter::beginProperty(char type) {
    Open& record = fOpen.back();
    ++record.properties;
    fBytes += type;
}

void FbxRecordWriter::addBool(bool value) {
    beginProperty('C');
    fBytes += char(value ? 1 : 0);
}

void FbxRecordWriter::addInt32(std::int32_t value) {
    beginProperty('I');
    appendU32(std::uint32_t(value));
}

void FbxRecordWriter::addInt64(std::int64_t value) {
    beginProperty('L');
    appendU64(fBytes, std::uint64_t(value));
}

void FbxRecordWriter::addDouble(double value) {
    static_assert(sizeof(double) == 8 && std::numeric_limits<double>::is_iec559,
                  "doubles are IEEE 754 binary64");
    std::uint64_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    beginProperty('D');
    appendU64(fBytes, bits);
}

void FbxRecordWriter::addString(std::string_view value) {
    beginProperty('S');
    appendU32(value.size());
    fBytes.append(value);
}

void FbxRecordWriter::addRaw(std::string_view bytes) {
    beginProperty('R');
    appendU32(bytes.size());
    fBytes.append(bytes);
}

// The values go in as they lie in memory: FBX is little-endian, as every
// platform we build for is.
void FbxRecordWriter::appendArray(char type, std::size_t count, std::size_t elementSize,
                                  const Source& values) {
    if (count > kU32Max / elementSize) throw FbxTooLarge();
    const std::size_t size = count * elementSize;
    beginProperty(type);
    appendU32(count);
    if (size <= kStoredArrayLimit) {
        appendU32(kStored);
        appendU32(size);
        alignas(std::max_align_t) unsigned char stored[kStoredArrayLimit];
        if (count > 0) values(0, count, stored);
        fBytes.append(reinterpret_cast<const char*>(stored), size);
        return;
    }
    appendU32(kDeflated);
    const std::size_t lengthAt = fBytes.size();
    appendU32(0);
    const std::size_t dataAt = fBytes.size();
    appendDeflated(count, elementSize, values);
    patchU32(lengthAt, fBytes.size() - dataAt);
}

namespace {

class DeflateStream {
public:
    DeflateStream() {
        if (deflateInit(&fStream, kDeflateLevel) != Z_OK) throw std::bad_alloc();
    }
    ~DeflateStream() { deflateEnd(&fStream); }
    DeflateStream(const DeflateStream&) = delete;
    DeflateStream& operator=(const DeflateStream&) = delete;

    z_stream* get() { return &fStream; }
    z_stream* operator->() { return &fStream; }

private:
    z_stream fStream{};
};

}  // namespace

// The array goes through deflate in pieces of a fixed size, so that the
// bytes depend on the values alone.
void FbxRecordWriter::appendDeflated(std::size_t count, std::size_t elementSize, const Source& values) {
    constexpr std::size_t kPieceBytes = 64 * 1024;
    fPiece.resize(kPieceBytes);
    fDeflated.resize(kPieceBytes);
    const std::size_t perPiece = kPieceBytes / elementSize;
    DeflateStream stream;
    for (std::size_t first = 0; first < count;) {
        const std::size_t taken = std::min(perPiece, count - first);
        values(first, taken, fPiece.data());
        first += taken;
        stream->next_in = fPiece.data();
        stream->avail_in = uInt(taken * elementSize);
        const int flush = first == count ? Z_FINISH : Z_NO_FLUSH;
        // Until deflate leaves room in its output: then it has taken the
        // whole piece, or, finishing, ended the stream.
        do {
            stream->next_out = fDeflated.data();
            stream->avail_out = uInt(fDeflated.size());
            if (deflate(stream.get(), flush) == Z_STREAM_ERROR) throw std::logic_error("deflate state");
            fBytes.append(reinterpret_cast<const char*>(fDeflated.data()),
                          fDeflated.size() - stream->avail_out);
            if (fBytes.size() > kU32Max) throw FbxTooLarge();
        } while (stream->avail_out == 0);
    }
}

void FbxRecordWriter::addInt32Array(const std::vector<std::int32_t>& values) {
    appendArray('i', values.size(), sizeof(std::int32_t),
                [&](std::size_t first, std::size_t count, void* out) {
                    std::memcpy(out, values.data() + first, count * sizeof(std::int32_t));
                });
}

void FbxRecordWriter::addDoubleArray(const std::vector<double>& values) {
    appendArray('d', values.size(), sizeof(double), [&](std::size_t first, std::size_t count, void* out) {
        std::memcpy(out, values.data() + first, count * sizeof(double));
    });
}

void FbxRecordWriter::addDoubleArray(std::size_t count, const DoubleSource& values) {
    appendArray('d', count, sizeof(double), [&](std::size_t first, std::size_t taken, void* out) {
        values(first, taken, static_cast<double*>(out));
    });
}

std::string FbxRecordWriter::finish() {
    if (fOpen.size() != 1) throw std::logic_error("FBX records left open");
    closeList(fOpen.back());
    fBytes.append(reinterpret_cast<const char*>(kFooterCode.data()), kFooterCode.size());
    fBytes.append(4, '\0');
    // The version that follows starts on a 16-byte boundary, after 1 to 16
    // bytes of padding.
    fBytes.append(16 - fBytes.size() % 16, '\0');
    appendU32(kFbxVersion);
    fBytes.append(kFooterZeros, '\0');
    fBytes.append(reinterpret_cast<const char*>(kFooterMagic.data()), kFooterMagic.size());
    if (fBytes.size() > kU32Max) throw FbxTooLarge();
    return std::move(fBytes);
}

}  // namespace orvex::writers
