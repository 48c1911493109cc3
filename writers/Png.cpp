#include "writers/Png.h"

#include <libdeflate.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

namespace orvex::writers {

namespace {

// Measured on decoded DXT1 and DXT5 textures of 2048 x 2048 (bench/README.md):
// level 3 comes within 1 % of the size of ImageMagick's PNG of wood grain,
// level 4 is 6 % below it for a tenth more time, and each level above costs
// a third more time or worse for 1 to 5 % less.
constexpr int kDeflateLevel = 4;

// PNG's row filters, of which those that won on texture content are tried.
// Decoded DXT blocks hold at most four colours each, which repeat exactly:
// unfiltered rows keep those repeats for deflate to find, and usually win on
// opaque textures; Up and Paeth win where alpha cuts shapes out.
enum Filter : std::uint8_t { kNone = 0, kUp = 2, kPaeth = 4 };
constexpr std::array<Filter, 3> kCandidates = {kNone, kUp, kPaeth};

// The filter is chosen per image by deflating a sample of its rows with each
// candidate: bands of this many rows, one in every kSampleEvery.
constexpr std::uint32_t kSampleBand = 8;
constexpr std::uint32_t kSampleEvery = 16;

struct CompressorDeleter {
    void operator()(libdeflate_compressor* compressor) const { libdeflate_free_compressor(compressor); }
};
using Compressor = std::unique_ptr<libdeflate_compressor, CompressorDeleter>;

Compressor newCompressor() {
    Compressor compressor(libdeflate_alloc_compressor(kDeflateLevel));
    if (!compressor) throw std::bad_alloc();
    return compressor;
}

std::uint8_t paethPredictor(int left, int up, int upLeft) {
    const int estimate = left + up - upLeft;
    const int toLeft = std::abs(estimate - left);
    const int toUp = std::abs(estimate - up);
    const int toUpLeft = std::abs(estimate - upLeft);
    if (toLeft <= toUp && toLeft <= toUpLeft) return std::uint8_t(left);
    return std::uint8_t(toUp <= toUpLeft ? up : upLeft);
}

// The image's pixels in PNG's channel layout, one row after another.
struct Scanlines {
    std::uint32_t height = 0;
    std::size_t rowBytes = 0;
    std::size_t pixelBytes = 0;
    std::vector<std::uint8_t> bytes;

    const std::uint8_t* row(std::uint32_t y) const { return bytes.data() + std::size_t{y} * rowBytes; }
};

Scanlines scanlinesOf(const Image& image) {
    const std::size_t pixels = std::size_t{image.width} * image.height;
    bool opaque = true;
    for (std::size_t i = 0; i < pixels; ++i) opaque &= image.rgba[4 * i + 3] == 255;
    Scanlines lines;
    lines.height = image.height;
    lines.pixelBytes = opaque ? 3 : 4;
    lines.rowBytes = std::size_t{image.width} * lines.pixelBytes;
    if (!opaque) {
        lines.bytes = image.rgba;
        return lines;
    }
    lines.bytes.resize(pixels * 3);
    for (std::size_t i = 0; i < pixels; ++i) std::memcpy(&lines.bytes[3 * i], &image.rgba[4 * i], 3);
    return lines;
}

// Appends row y, filtered, with its filter byte.
void appendFiltered(const Scanlines& lines, std::uint32_t y, Filter filter, std::vector<std::uint8_t>& out) {
    const std::size_t start = out.size();
    out.resize(start + 1 + lines.rowBytes);
    std::uint8_t* to = out.data() + start;
    *to++ = filter;
    const std::uint8_t* row = lines.row(y);
    if (filter == kNone) {
        std::memcpy(to, row, lines.rowBytes);
        return;
    }
    if (y == 0) {
        // Above the first row PNG sees zeros: Up leaves it as it is, and
        // Paeth predicts from the left alone.
        if (filter == kUp) {
            std::memcpy(to, row, lines.rowBytes);
        } else {
            const std::size_t bpp = lines.pixelBytes;
            std::memcpy(to, row, std::min(bpp, lines.rowBytes));
            for (std::size_t i = bpp; i < lines.rowBytes; ++i) to[i] = std::uint8_t(row[i] - row[i - bpp]);
        }
        return;
    }
    const std::uint8_t* up = lines.row(y - 1);
    if (filter == kUp) {
        for (std::size_t i = 0; i < lines.rowBytes; ++i) to[i] = std::uint8_t(row[i] - up[i]);
        return;
    }
    const std::size_t bpp = lines.pixelBytes;
    for (std::size_t i = 0; i < std::min(bpp, lines.rowBytes); ++i) to[i] = std::uint8_t(row[i] - up[i]);
    for (std::size_t i = bpp; i < lines.rowBytes; ++i)
        to[i] = std::uint8_t(row[i] - paethPredictor(row[i - bpp], up[i], up[i - bpp]));
}

std::vector<std::uint8_t> zlibCompress(libdeflate_compressor* compressor, const std::vector<std::uint8_t>& data) {
    std::vector<std::uint8_t> out(libdeflate_zlib_compress_bound(compressor, data.size()));
    const std::size_t size = libdeflate_zlib_compress(compressor, data.data(), data.size(), out.data(), out.size());
    // The bound is one the compressor promises to keep.
    if (size == 0) throw std::bad_alloc();
    out.resize(size);
    return out;
}

bool inSample(std::uint32_t y, std::uint32_t height) {
    return height < kSampleBand * kSampleEvery || (y / kSampleBand) % kSampleEvery == 0;
}

Filter chooseFilter(const Scanlines& lines, libdeflate_compressor* compressor) {
    Filter best = kNone;
    std::size_t smallest = 0;
    std::vector<std::uint8_t> sample;
    for (const Filter filter : kCandidates) {
        sample.clear();
        for (std::uint32_t y = 0; y < lines.height; ++y) {
            if (inSample(y, lines.height)) appendFiltered(lines, y, filter, sample);
        }
        const std::size_t size = zlibCompress(compressor, sample).size();
        if (filter == kCandidates.front() || size < smallest) {
            best = filter;
            smallest = size;
        }
    }
    return best;
}

void appendU32(std::string& out, std::uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) out += char((value >> shift) & 0xFF);
}

void appendChunk(std::string& out, const char (&type)[5], const std::uint8_t* data, std::size_t size) {
    appendU32(out, std::uint32_t(size));
    const std::size_t typeAt = out.size();
    out.append(type, 4);
    if (size > 0) out.append(reinterpret_cast<const char*>(data), size);
    const std::uint32_t crc = libdeflate_crc32(0, out.data() + typeAt, 4 + size);
    appendU32(out, crc);
}

}  // namespace

std::string encodePng(const Image& image) {
    const Scanlines lines = scanlinesOf(image);
    const Compressor compressor = newCompressor();
    const Filter filter = chooseFilter(lines, compressor.get());
    std::vector<std::uint8_t> filtered;
    filtered.reserve(std::size_t{image.height} * (1 + lines.rowBytes));
    for (std::uint32_t y = 0; y < image.height; ++y) appendFiltered(lines, y, filter, filtered);
    const std::vector<std::uint8_t> compressed = zlibCompress(compressor.get(), filtered);
    filtered = {};

    constexpr std::uint8_t kColourRgb = 2;
    constexpr std::uint8_t kColourRgba = 6;
    std::array<std::uint8_t, 13> header{};
    for (int i = 0; i < 4; ++i) {
        header[std::size_t(i)] = std::uint8_t(image.width >> (24 - 8 * i));
        header[std::size_t(4 + i)] = std::uint8_t(image.height >> (24 - 8 * i));
    }
    header[8] = 8;  // bits per channel
    header[9] = lines.pixelBytes == 3 ? kColourRgb : kColourRgba;
    // Compression, filter method and interlacing: PNG's only or default ones.

    std::string png("\x89PNG\r\n\x1a\n", 8);
    png.reserve(8 + 25 + 12 + compressed.size() + 12);
    appendChunk(png, "IHDR", header.data(), header.size());
    appendChunk(png, "IDAT", compressed.data(), compressed.size());
    appendChunk(png, "IEND", nullptr, 0);
    return png;
}

}  // namespace orvex::writers
