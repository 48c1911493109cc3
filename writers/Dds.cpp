#include "writers/Dds.h"

#include <squish.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <utility>

namespace orvex::writers {

namespace {

constexpr std::size_t kMagicSize = 4;
constexpr std::uint32_t kHeaderSize = 124;
constexpr std::uint32_t kPixelFormatSize = 32;
constexpr std::size_t kDataOffset = kMagicSize + kHeaderSize;
static_assert(kDataOffset == kDdsHeaderBytes);

// Byte offsets within the file (magic included).
constexpr std::size_t kHeaderSizeAt = 4;
constexpr std::size_t kHeightAt = 12;
constexpr std::size_t kWidthAt = 16;
constexpr std::size_t kPixelFormatSizeAt = 76;
constexpr std::size_t kPixelFormatFlagsAt = 80;
constexpr std::size_t kFourCcAt = 84;
constexpr std::size_t kBitCountAt = 88;
constexpr std::size_t kMasksAt = 92;  // red, green, blue, alpha

constexpr std::uint32_t kAlphaPixels = 0x1;
constexpr std::uint32_t kFourCcFlag = 0x4;
constexpr std::uint32_t kRgbFlag = 0x40;

constexpr std::uint32_t fourCc(const char (&code)[5]) {
    return std::uint32_t(std::uint8_t(code[0])) | std::uint32_t(std::uint8_t(code[1])) << 8 |
           std::uint32_t(std::uint8_t(code[2])) << 16 | std::uint32_t(std::uint8_t(code[3])) << 24;
}

// Callers check that the four bytes lie inside the buffer.
std::uint32_t readU32(const std::vector<std::uint8_t>& bytes, std::size_t offset) {
    return std::uint32_t(bytes[offset]) | std::uint32_t(bytes[offset + 1]) << 8 |
           std::uint32_t(bytes[offset + 2]) << 16 | std::uint32_t(bytes[offset + 3]) << 24;
}

std::string describeFourCc(std::uint32_t code) {
    std::string text;
    for (int shift = 0; shift < 32; shift += 8) {
        const char c = char((code >> shift) & 0xFF);
        if (c < ' ' || c > '~') {
            char hex[16];
            std::snprintf(hex, sizeof hex, "0x%08X", code);
            return hex;
        }
        text += c;
    }
    return "'" + text + "'";
}

// One colour channel of an uncompressed pixel, scaled to eight bits.
class Channel {
public:
    // False for a mask whose bits are not one run, which no usual layout has.
    bool setMask(std::uint32_t mask) {
        fMask = mask;
        fShift = 0;
        if (mask == 0) return true;
        while (((mask >> fShift) & 1) == 0) ++fShift;
        const std::uint32_t run = mask >> fShift;
        if ((run & (std::uint64_t{run} + 1)) != 0) return false;
        fMaximum = run;
        return true;
    }

    std::uint8_t read(std::uint32_t pixel, std::uint8_t absent) const {
        if (fMask == 0) return absent;
        const std::uint64_t value = (pixel & fMask) >> fShift;
        return std::uint8_t((value * 255 + fMaximum / 2) / fMaximum);
    }

private:
    std::uint32_t fMask = 0;
    unsigned fShift = 0;
    std::uint64_t fMaximum = 1;
};

// The bytes of a level of 4 x 4 blocks, those at the right and bottom
// edges reaching past the image.
std::uint64_t blockLevelBytes(std::uint64_t width, std::uint64_t height, std::uint64_t blockBytes) {
    return (width + 3) / 4 * ((height + 3) / 4) * blockBytes;
}

// Level 0 as a file's header describes it.
struct LevelZero {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    int squishFormat = 0;          // for DXT1, DXT3 or DXT5 blocks; 0 for uncompressed pixels
    std::uint32_t flags = 0;       // of the pixel format
    std::uint32_t pixelBytes = 0;  // of uncompressed pixels: 3 or 4
    std::uint64_t bytes = 0;       // after the header
};

// Reads the header alone; nothing, with why, for one that decodeDds does not
// take.
std::optional<LevelZero> readLevelZero(const std::vector<std::uint8_t>& bytes, std::string& whyNot) {
    if (bytes.size() < kMagicSize || readU32(bytes, 0) != fourCc("DDS ")) {
        whyNot = "not a DDS file";
        return std::nullopt;
    }
    if (bytes.size() < kDataOffset) {
        whyNot = "the header is cut short";
        return std::nullopt;
    }
    if (readU32(bytes, kHeaderSizeAt) != kHeaderSize ||
        readU32(bytes, kPixelFormatSizeAt) != kPixelFormatSize) {
        whyNot = "malformed header";
        return std::nullopt;
    }
    LevelZero level;
    level.width = readU32(bytes, kWidthAt);
    level.height = readU32(bytes, kHeightAt);
    if (level.width == 0 || level.height == 0 || level.width > kMaxDdsDimension ||
        level.height > kMaxDdsDimension) {
        whyNot = "unsupported size " + std::to_string(level.width) + "x" + std::to_string(level.height);
        return std::nullopt;
    }
    level.flags = readU32(bytes, kPixelFormatFlagsAt);
    if ((level.flags & kFourCcFlag) != 0) {
        const std::uint32_t code = readU32(bytes, kFourCcAt);
        if (code == fourCc("DXT1")) {
            level.squishFormat = squish::kDxt1;
        } else if (code == fourCc("DXT3")) {
            level.squishFormat = squish::kDxt3;
        } else if (code == fourCc("DXT5")) {
            level.squishFormat = squish::kDxt5;
        } else {
            whyNot = "unsupported compression " + describeFourCc(code);
            return std::nullopt;
        }
        level.bytes =
            blockLevelBytes(level.width, level.height, level.squishFormat == squish::kDxt1 ? 8 : 16);
        return level;
    }
    if ((level.flags & kRgbFlag) != 0) {
        const std::uint32_t bitCount = readU32(bytes, kBitCountAt);
        if (bitCount != 24 && bitCount != 32) {
            whyNot = "unsupported pixel format (" + std::to_string(bitCount) + " bits per pixel)";
            return std::nullopt;
        }
        level.pixelBytes = bitCount / 8;
        level.bytes = std::uint64_t{level.width} * level.height * level.pixelBytes;
        return level;
    }
    whyNot = "unsupported pixel format (neither compressed nor RGB)";
    return std::nullopt;
}

std::optional<Image> decodeBlocks(const std::vector<std::uint8_t>& bytes, const LevelZero& level,
                                  std::string& whyNot) {
    if (level.bytes > bytes.size() - kDataOffset) {
        whyNot = "level 0 is cut short";
        return std::nullopt;
    }
    Image image;
    image.width = level.width;
    image.height = level.height;
    image.rgba.resize(std::size_t{image.width} * image.height * 4);
    // Block by block rather than through squish::DecompressImage, which
    // Debian's libsquish runs on an OpenMP thread pool: its threads spin on
    // the cores that batch mode's other workers need.
    const std::size_t blockBytes = level.squishFormat == squish::kDxt1 ? 8 : 16;
    const std::uint8_t* block = bytes.data() + kDataOffset;
    std::array<std::uint8_t, 4 * 4 * 4> pixels;
    const std::size_t rowBytes = std::size_t{image.width} * 4;
    for (std::uint32_t top = 0; top < image.height; top += 4) {
        const std::uint32_t rows = std::min(image.height - top, 4u);
        for (std::uint32_t left = 0; left < image.width; left += 4, block += blockBytes) {
            squish::Decompress(pixels.data(), block, level.squishFormat);
            // Blocks at the right and bottom edges reach past the image.
            const std::size_t columnBytes = std::size_t{std::min(image.width - left, 4u)} * 4;
            for (std::uint32_t y = 0; y < rows; ++y) {
                std::memcpy(image.rgba.data() + (top + y) * rowBytes + std::size_t{left} * 4,
                            pixels.data() + y * 16, columnBytes);
            }
        }
    }
    return image;
}

std::optional<Image> decodePixels(const std::vector<std::uint8_t>& bytes, const LevelZero& level,
                                  std::string& whyNot) {
    std::array<Channel, 4> channels;
    // A layout may lack a colour channel (G16R16 has no blue), but not all
    // three, and no bit belongs to two channels.
    std::uint32_t claimed = 0;
    for (std::size_t i = 0; i < channels.size(); ++i) {
        const std::uint32_t mask =
            i == 3 && (level.flags & kAlphaPixels) == 0 ? 0 : readU32(bytes, kMasksAt + 4 * i);
        const bool shared = (claimed & mask) != 0;
        claimed |= mask;
        const bool colourless = i == 2 && claimed == 0;
        if ((level.pixelBytes == 3 && mask > 0xFFFFFF) || !channels[i].setMask(mask) || shared || colourless) {
            whyNot = "unsupported channel masks";
            return std::nullopt;
        }
    }
    if (level.bytes > bytes.size() - kDataOffset) {
        whyNot = "level 0 is cut short";
        return std::nullopt;
    }
    Image image;
    image.width = level.width;
    image.height = level.height;
    const std::size_t pixelCount = std::size_t{image.width} * image.height;
    image.rgba.resize(pixelCount * 4);
    const std::uint8_t* source = bytes.data() + kDataOffset;
    for (std::size_t i = 0; i < pixelCount; ++i, source += level.pixelBytes) {
        std::uint32_t pixel =
            std::uint32_t(source[0]) | std::uint32_t(source[1]) << 8 | std::uint32_t(source[2]) << 16;
        if (level.pixelBytes == 4) pixel |= std::uint32_t(source[3]) << 24;
        for (std::size_t c = 0; c < 4; ++c) image.rgba[4 * i + c] = channels[c].read(pixel, c == 3 ? 255 : 0);
    }
    return image;
}

}  // namespace

std::size_t ddsBytesToRead(const std::vector<std::uint8_t>& header) {
    std::string ignored;
    const std::optional<LevelZero> level = readLevelZero(header, ignored);
    return kDataOffset + (level ? std::size_t(level->bytes) : 0);
}

std::optional<Image> decodeDds(const std::vector<std::uint8_t>& bytes, std::string& whyNot) {
    const std::optional<LevelZero> level = readLevelZero(bytes, whyNot);
    if (!level) return std::nullopt;
    return level->squishFormat != 0 ? decodeBlocks(bytes, *level, whyNot) : decodePixels(bytes, *level, whyNot);
}

}  // namespace orvex::writers
