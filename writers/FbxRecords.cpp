#include "writers/FbxRecords.h"

#include "writers/Parallel.h"

#include <libdeflate.h>

#include <algorithm>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <mutex>
#include <numeric>
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
// Measured on the benchmarks' meshes (bench/README.md): level 1 is the
// fastest; the arrays are mostly floating-point numbers, which higher levels
// shrink by a few per cent at twice the time or more.
constexpr int kDeflateLevel = 1;
// Arrays wait for deflate until this many of their bytes are held, so that
// each round keeps every thread busy while memory stays bounded.
constexpr std::size_t kPendingLimit = 8u << 20;
constexpr std::uint32_t kStored = 0;
constexpr std::uint32_t kDeflated = 1;
constexpr std::size_t kU32Max = std::numeric_limits<std::uint32_t>::max();

void putU32(char* at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) at[i] = char((value >> (8 * i)) & 0xFF);
}

std::uint32_t u32Of(const char* at) {
    std::uint32_t value = 0;
    for (int i = 3; i >= 0; --i) value = value << 8 | std::uint8_t(at[i]);
    return value;
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

void FbxRecordWriter::patchOffset(std::size_t at, std::size_t offset) {
    putU32(&fBytes[at], std::uint32_t(offset));
    fOffsets.push_back({at, false, 0});
}

void FbxRecordWriter::patchSpan(std::size_t at, std::size_t spanStart) {
    putU32(&fBytes[at], std::uint32_t(fBytes.size() - spanStart));
    fOffsets.push_back({at, true, spanStart});
}

void FbxRecordWriter::closeProperties(Open& record) {
    if (record.propertiesClosed) return;
    putU32(&fBytes[record.start + 4], record.properties);
    patchSpan(record.start + 8, record.propertiesStart);
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
            // Its end offset, already among fOffsets, now falls earlier.
            fBytes.resize(fBytes.size() - kNullRecordSize);
            putU32(&fBytes[record.lastChildStart], std::uint32_t(fBytes.size()));
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
    if (fBytes.size() > kU32Max) throw FbxTooLarge();
    patchOffset(record.start, fBytes.size());
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
    appendU32(0);  // the deflated length, once known
    Deflated array;
    array.at = fBytes.size();
    array.values = takeBuffer(size);
    array.valueBytes = size;
    values(0, count, array.values.data.get());
    fArrays.push_back(std::move(array));
    fPendingBytes += size;
    if (fPendingBytes >= kPendingLimit) deflatePending();
}

void FbxRecordWriter::FreeDeleter::operator()(unsigned char* bytes) const {
    std::free(bytes);
}

// The smallest free buffer that holds `size` bytes, else the largest grown
// to it, else a new one: the values of each round go into memory that the
// round before touched.
FbxRecordWriter::Buffer FbxRecordWriter::takeBuffer(std::size_t size) {
    auto chosen = fFreeBuffers.end();
    for (auto buffer = fFreeBuffers.begin(); buffer != fFreeBuffers.end(); ++buffer) {
        const bool fits = buffer->capacity >= size;
        if (chosen == fFreeBuffers.end() || (fits && (chosen->capacity < size || buffer->capacity < chosen->capacity)) ||
            (!fits && chosen->capacity < size && buffer->capacity > chosen->capacity)) {
            chosen = buffer;
        }
    }
    Buffer buffer;
    if (chosen != fFreeBuffers.end()) {
        buffer = std::move(*chosen);
        fFreeBuffers.erase(chosen);
    }
    if (buffer.capacity < size) {
        buffer.data.reset(new unsigned char[size]);
        buffer.capacity = size;
    }
    return buffer;
}

namespace {

struct CompressorDeleter {
    void operator()(libdeflate_compressor* compressor) const { libdeflate_free_compressor(compressor); }
};
using Compressor = std::unique_ptr<libdeflate_compressor, CompressorDeleter>;

// Compressors for the threads of one round, each taken by one thread at a
// time and made when none is free.
class Compressors {
public:
    Compressor take() {
        {
            const std::lock_guard<std::mutex> lock(fLock);
            if (!fFree.empty()) {
                Compressor compressor = std::move(fFree.back());
                fFree.pop_back();
                return compressor;
            }
        }
        Compressor compressor(libdeflate_alloc_compressor(kDeflateLevel));
        if (!compressor) throw std::bad_alloc();
        return compressor;
    }
    void give(Compressor compressor) {
        const std::lock_guard<std::mutex> lock(fLock);
        fFree.push_back(std::move(compressor));
    }

private:
    std::mutex fLock;
    std::vector<Compressor> fFree;
};

}  // namespace

// Each array is one zlib stream, made whole by one thread: its bytes depend
// on its values alone, whichever thread made them and when. Each is
// deflated into room for the most it could take and then shrunk to what it
// took, which the allocator does in place: the room past it is never
// touched.
void FbxRecordWriter::deflatePending() {
    std::vector<std::size_t> order(fArrays.size() - fFirstPending);
    std::iota(order.begin(), order.end(), fFirstPending);
    // The largest first, so that no thread is left with a large one at the end.
    std::stable_sort(order.begin(), order.end(),
                     [&](std::size_t a, std::size_t b) { return fArrays[a].valueBytes > fArrays[b].valueBytes; });
    Compressors compressors;
    forEachIndex(order.size(), [&](std::size_t i) {
        Deflated& array = fArrays[order[i]];
        Compressor compressor = compressors.take();
        const std::size_t bound = libdeflate_zlib_compress_bound(compressor.get(), array.valueBytes);
        array.bytes.reset(static_cast<unsigned char*>(std::malloc(bound)));
        if (!array.bytes) throw std::bad_alloc();
        array.size = libdeflate_zlib_compress(compressor.get(), array.values.data.get(), array.valueBytes,
                                              array.bytes.get(), bound);
        // The bound is one that the compressor promises to keep.
        if (array.size == 0) throw std::logic_error("deflate exceeded its bound");
        if (void* shrunk = std::realloc(array.bytes.get(), array.size)) {
            array.bytes.release();
            array.bytes.reset(static_cast<unsigned char*>(shrunk));
        }
        compressors.give(std::move(compressor));
    });
    std::size_t total = fBytes.size();
    for (std::size_t k = 0; k < fArrays.size(); ++k) {
        total += fArrays[k].size;
        if (k >= fFirstPending) fFreeBuffers.push_back(std::move(fArrays[k].values));
    }
    if (total > kU32Max) throw FbxTooLarge();
    fFirstPending = fArrays.size();
    fPendingBytes = 0;
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

// The file is fBytes with every array in its place, and every offset and
// span length grown by the arrays before it or within it; what lies at an
// array's place in fBytes comes after the array. The offsets are made good
// in fBytes, which then goes out between the arrays.
void FbxRecordWriter::finish(const Sink& write) {
    if (fOpen.size() != 1) throw std::logic_error("FBX records left open");
    closeList(fOpen.back());
    deflatePending();
    fFreeBuffers.clear();
    // grownBy[k]: the bytes of the first k arrays.
    std::vector<std::size_t> grownBy(fArrays.size() + 1, 0);
    for (std::size_t k = 0; k < fArrays.size(); ++k) grownBy[k + 1] = grownBy[k] + fArrays[k].size;
    // The bytes of the arrays placed at or before `position`.
    const auto before = [&](std::size_t position) {
        const auto after = std::upper_bound(fArrays.begin(), fArrays.end(), position,
                                            [](std::size_t p, const Deflated& array) { return p < array.at; });
        return grownBy[std::size_t(after - fArrays.begin())];
    };
    std::vector<std::pair<std::size_t, std::uint32_t>> madeGood;
    madeGood.reserve(fOffsets.size());
    for (const Offset& offset : fOffsets) {
        const std::size_t value = u32Of(&fBytes[offset.at]);
        const std::size_t grown =
            offset.isSpan ? before(offset.spanStart + value) - before(offset.spanStart) : before(value);
        madeGood.emplace_back(offset.at, std::uint32_t(value + grown));
    }
    for (const auto& [at, value] : madeGood) putU32(&fBytes[at], value);
    for (const Deflated& array : fArrays) putU32(&fBytes[array.at - 4], std::uint32_t(array.size));

    const std::size_t body = fBytes.size() + grownBy.back();
    // The version that follows the footer's code and four zeros starts on a
    // 16-byte boundary, after 1 to 16 bytes of padding.
    const std::size_t padding = 16 - (body + kFooterCode.size() + 4) % 16;
    const std::size_t total = body + kFooterCode.size() + 4 + padding + 4 + kFooterZeros + kFooterMagic.size();
    if (total > kU32Max) throw FbxTooLarge();

    std::size_t written = 0;
    for (const Deflated& array : fArrays) {
        write(fBytes.data() + written, array.at - written);
        write(reinterpret_cast<const char*>(array.bytes.get()), array.size);
        written = array.at;
    }
    write(fBytes.data() + written, fBytes.size() - written);
    std::string footer(reinterpret_cast<const char*>(kFooterCode.data()), kFooterCode.size());
    footer.append(4 + padding, '\0');
    char version[4];
    putU32(version, kFbxVersion);
    footer.append(version, 4);
    footer.append(kFooterZeros, '\0');
    footer.append(reinterpret_cast<const char*>(kFooterMagic.data()), kFooterMagic.size());
    write(footer.data(), footer.size());
}

}  // namespace orvex::writers
