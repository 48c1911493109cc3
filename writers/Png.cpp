#include "writers/Png.h"

#include <libdeflate.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <stdexcept>
#include <vector>

namespace orvex::writers {

namespace {

// Measured on decoded DXT1 and DXT5 textures of 2048 x 2048 (bench/README.md):
// from level 5 to 6 and from 6 to 7 each costs about a third more time for
// 2 to 6 % less; level 6 is the last that keeps three textures within the
// benchmark's time.
constexpr int kDeflateLevel = 6;

// PNG's row filters.
enum Filter : std::uint8_t { kNone = 0, kSub = 1, kUp = 2, kAverage = 3, kPaeth = 4 };
constexpr std::array<Filter, 5> kFilters = {kNone, kSub, kUp, kAverage, kPaeth};

// How the rows of an image are filtered: all alike, or each by the filter
// whose output has the least sum of absolute differences, as libpng and
// ImageMagick choose. Decoded DXT blocks hold at most four colours each,
// which repeat exactly: unfiltered rows keep those repeats for deflate to
// find, and usually win on opaque textures; Up, Paeth or a choice per row
// win on foliage and where alpha cuts shapes out.
enum class Rows { kNone, kUp, kPaeth, kAdaptive };
constexpr std::array<Rows, 4> kCandidates = {Rows::kNone, Rows::kUp, Rows::kPaeth, Rows::kAdaptive};

// The way is chosen per image by deflating a sample of its rows each way:
// bands of this many rows, one in every kSampleEvery.
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

// The image's rows in PNG's channel layout. RGBA rows are the image's own;
// RGB rows are made from them when asked for, the last two kept, as rows
// are filtered in turn, each against the one above.
class Scanlines {
public:
    explicit Scanlines(const Image& image) : fImage(image) {
        const std::size_t pixels = std::size_t{image.width} * image.height;
        bool opaque = true;
        for (std::size_t i = 0; i < pixels; ++i) opaque &= image.rgba[4 * i + 3] == 255;
        pixelBytes = opaque ? 3 : 4;
        rowBytes = std::size_t{image.width} * pixelBytes;
        if (opaque) {
            for (Made& made : fMade) made.bytes.resize(rowBytes);
        }
    }

    std::uint32_t height() const { return fImage.height; }

    const std::uint8_t* row(std::uint32_t y) {
        const std::uint8_t* rgba = fImage.rgba.data() + std::size_t{y} * fImage.width * 4;
        if (pixelBytes == 4) return rgba;
        Made& made = fMade[y % 2];
        if (made.y != y) {
            for (std::size_t x = 0; x < fImage.width; ++x) std::memcpy(&made.bytes[3 * x], &rgba[4 * x], 3);
            made.y = y;
        }
        return made.bytes.data();
    }

    std::size_t pixelBytes = 4;
    std::size_t rowBytes = 0;

private:
    struct Made {
        std::int64_t y = -1;
        std::vector<std::uint8_t> bytes;
    };
    const Image& fImage;
    std::array<Made, 2> fMade;
};

// Row y filtered by `filter` into `to`, which holds rowBytes bytes. Above the
// first row and left of the first pixel PNG sees zeros.
void filterRow(Scanlines& lines, std::uint32_t y, Filter filter, std::uint8_t* to) {
    const std::uint8_t* row = lines.row(y);
    const std::size_t size = lines.rowBytes;
    const std::size_t bpp = std::min(lines.pixelBytes, size);
    std::vector<std::uint8_t> zeros;
    const std::uint8_t* up = nullptr;
    if (y > 0) {
        up = lines.row(y - 1);
    } else if (filter != kNone && filter != kSub) {
        zeros.assign(size, 0);
        up = zeros.data();
    }
    switch (filter) {
        case kNone:
            std::memcpy(to, row, size);
            break;
        case kSub:
            std::memcpy(to, row, bpp);
            for (std::size_t i = bpp; i < size; ++i) to[i] = std::uint8_t(row[i] - row[i - bpp]);
            break;
        case kUp:
            for (std::size_t i = 0; i < size; ++i) to[i] = std::uint8_t(row[i] - up[i]);
            break;
        case kAverage:
            for (std::size_t i = 0; i < bpp; ++i) to[i] = std::uint8_t(row[i] - up[i] / 2);
            for (std::size_t i = bpp; i < size; ++i)
                to[i] = std::uint8_t(row[i] - (row[i - bpp] + up[i]) / 2);
            break;
        case kPaeth:
            for (std::size_t i = 0; i < bpp; ++i) to[i] = std::uint8_t(row[i] - up[i]);
            for (std::size_t i = bpp; i < size; ++i)
                to[i] = std::uint8_t(row[i] - paethPredictor(row[i - bpp], up[i], up[i - bpp]));
            break;
    }
}

std::size_t sumOfAbsoluteDifferences(const std::uint8_t* bytes, std::size_t size) {
    std::size_t sum = 0;
    for (std::size_t i = 0; i < size; ++i) sum += std::size_t(std::abs(int(std::int8_t(bytes[i]))));
    return sum;
}

// Appends row y, filtered, with its filter byte.
void appendFiltered(Scanlines& lines, std::uint32_t y, Rows rows, std::vector<std::uint8_t>& out) {
    const std::size_t start = out.size();
    out.resize(start + 1 + lines.rowBytes);
    std::uint8_t* to = out.data() + start + 1;
    if (rows != Rows::kAdaptive) {
        const Filter filter = rows == Rows::kNone ? kNone : rows == Rows::kUp ? kUp : kPaeth;
        out[start] = filter;
        filterRow(lines, y, filter, to);
        return;
    }
    std::vector<std::uint8_t> trial(lines.rowBytes);
    std::size_t least = 0;
    for (const Filter filter : kFilters) {
        filterRow(lines, y, filter, trial.data());
        const std::size_t sum = sumOfAbsoluteDifferences(trial.data(), trial.size());
        if (filter == kFilters.front() || sum < least) {
            least = sum;
            out[start] = filter;
            std::memcpy(to, trial.data(), trial.size());
        }
    }
}

// Deflated data in room for the most it could take, of which only what it
// took is ever touched.
struct Deflated {
    std::unique_ptr<std::uint8_t[]> bytes;
    std::size_t size = 0;
};

Deflated zlibCompress(libdeflate_compressor* compressor, const std::vector<std::uint8_t>& data) {
    Deflated out;
    const std::size_t bound = libdeflate_zlib_compress_bound(compressor, data.size());
    out.bytes.reset(new std::uint8_t[bound]);
    out.size = libdeflate_zlib_compress(compressor, data.data(), data.size(), out.bytes.get(), bound);
    // The bound is one the compressor promises to keep.
    if (out.size == 0) throw std::logic_error("deflate exceeded its bound");
    return out;
}

bool inSample(std::uint32_t y, std::uint32_t height) {
    return height < kSampleBand * kSampleEvery || (y / kSampleBand) % kSampleEvery == 0;
}

Rows chooseRows(Scanlines& lines, libdeflate_compressor* compressor) {
    Rows best = Rows::kNone;
    std::size_t smallest = 0;
    std::vector<std::uint8_t> sample;
    for (const Rows rows : kCandidates) {
        sample.clear();
        for (std::uint32_t y = 0; y < lines.height(); ++y) {
            if (inSample(y, lines.height())) appendFiltered(lines, y, rows, sample);
        }
        const std::size_t size = zlibCompress(compressor, sample).size;
        if (rows == kCandidates.front() || size < smallest) {
            best = rows;
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
    Scanlines lines(image);
    const Compressor compressor = newCompressor();
    const Rows rows = chooseRows(lines, compressor.get());
    std::vector<std::uint8_t> filtered;
    filtered.reserve(std::size_t{image.height} * (1 + lines.rowBytes));
    for (std::uint32_t y = 0; y < image.height; ++y) appendFiltered(lines, y, rows, filtered);
    const Deflated compressed = zlibCompress(compressor.get(), filtered);
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
    png.reserve(8 + 25 + 12 + compressed.size + 12);
    appendChunk(png, "IHDR", header.data(), header.size());
    appendChunk(png, "IDAT", compressed.bytes.get(), compressed.size);
    appendChunk(png, "IEND", nullptr, 0);
    return png;
}

}  // namespace orvex::writers
