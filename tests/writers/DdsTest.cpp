#include "writers/Dds.h"

#include "tests/writers/TestSupport.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <squish.h>

#include <array>
#include <functional>

namespace orvex::writers {
namespace {

using testing::ddsFile;
using testing::fourCc;
using ::testing::HasSubstr;
using testing::kFourCcFlags;
using testing::kRgbaFlags;
using testing::kRgbFlags;
using testing::PixelFormat;
using testing::putU32;

// 6x3 pixels: the left block opaque red, the rest half-transparent blue, so
// that every block is one colour that DXT stores exactly and the right block
// is a partial one.
std::vector<std::uint8_t> twoBlockPixels(std::uint8_t rightAlpha) {
    std::vector<std::uint8_t> rgba;
    for (int y = 0; y < 3; ++y) {
        for (int x = 0; x < 6; ++x) {
            const std::array<std::uint8_t, 4> pixel =
                x < 4 ? std::array<std::uint8_t, 4>{255, 0, 0, 255}
                      : std::array<std::uint8_t, 4>{0, 0, 255, rightAlpha};
            rgba.insert(rgba.end(), pixel.begin(), pixel.end());
        }
    }
    return rgba;
}

// Of the size of twoBlockPixels unless another is given.
std::vector<std::uint8_t> compressed(const std::vector<std::uint8_t>& rgba, int flags, int width = 6,
                                     int height = 3) {
    std::vector<std::uint8_t> blocks(std::size_t(squish::GetStorageRequirements(width, height, flags)));
    squish::CompressImage(rgba.data(), width, height, blocks.data(), flags);
    return blocks;
}

TEST(DecodeDds, DecodesBlockCompressedLevelZero) {
    struct Case {
        const char* fourCc;
        int squishFlags;
        std::uint8_t rightAlpha;
    };
    // 0x88 is a multiple of 17, which DXT3's four-bit alpha holds exactly.
    for (const Case& c : {Case{"DXT1", squish::kDxt1, 255}, Case{"DXT3", squish::kDxt3, 0x88},
                          Case{"DXT5", squish::kDxt5, 0x88}}) {
        SCOPED_TRACE(c.fourCc);
        const std::vector<std::uint8_t> pixels = twoBlockPixels(c.rightAlpha);
        std::vector<std::uint8_t> data = compressed(pixels, c.squishFlags);
        // A second mip level of other colours, which must not be read.
        const std::vector<std::uint8_t> nextLevel =
            compressed(std::vector<std::uint8_t>(6 * 3 * 4, 0x40), c.squishFlags);
        data.insert(data.end(), nextLevel.begin(), nextLevel.end());
        std::string whyNot;
        const std::optional<Image> image =
            decodeDds(ddsFile(6, 3, {kFourCcFlags, fourCc(c.fourCc), 0, {}}, data), whyNot);
        ASSERT_TRUE(image) << whyNot;
        EXPECT_EQ(image->width, 6u);
        EXPECT_EQ(image->height, 3u);
        EXPECT_EQ(image->rgba, pixels);
    }
}

// Pixels that all differ, so that any pixel decoded into the wrong place
// shows; squish's whole-image decoder says where each one belongs.
TEST(DecodeDds, PutsEveryBlockPixelInPlaceWhateverTheSize) {
    struct Format {
        const char* fourCc;
        int squishFlags;
    };
    const std::array<std::array<int, 2>, 5> sizes = {{{1, 1}, {4, 4}, {9, 6}, {13, 5}, {3, 10}}};
    for (const Format& format :
         {Format{"DXT1", squish::kDxt1}, Format{"DXT3", squish::kDxt3}, Format{"DXT5", squish::kDxt5}}) {
        for (const auto& [width, height] : sizes) {
            SCOPED_TRACE(std::string(format.fourCc) + " " + std::to_string(width) + "x" +
                         std::to_string(height));
            std::vector<std::uint8_t> pixels(std::size_t(width * height * 4));
            for (std::size_t i = 0; i < pixels.size(); ++i) pixels[i] = std::uint8_t(i * 97 + (i >> 2) * 13);
            const std::vector<std::uint8_t> data = compressed(pixels, format.squishFlags, width, height);
            std::vector<std::uint8_t> expected(pixels.size());
            squish::DecompressImage(expected.data(), width, height, data.data(), format.squishFlags);
            std::string whyNot;
            const std::optional<Image> image =
                decodeDds(ddsFile(std::uint32_t(width), std::uint32_t(height),
                                  {kFourCcFlags, fourCc(format.fourCc), 0, {}}, data),
                          whyNot);
            ASSERT_TRUE(image) << whyNot;
            EXPECT_EQ(image->rgba, expected);
        }
    }
}

TEST(DecodeDds, DecodesUncompressedLayoutsByTheirMasks) {
    struct Case {
        const char* name;
        PixelFormat format;
        std::vector<std::uint8_t> data;  // two pixels
        std::vector<std::uint8_t> expected;
    };
    const std::vector<std::uint8_t> opaque = {0x11, 0x22, 0x33, 0xFF, 0xAA, 0xBB, 0xCC, 0xFF};
    const std::vector<Case> cases = {
        {"A8R8G8B8",
         {kRgbaFlags, 0, 32, {0xFF0000, 0xFF00, 0xFF, 0xFF000000}},
         {0x33, 0x22, 0x11, 0x44, 0xCC, 0xBB, 0xAA, 0xDD},
         {0x11, 0x22, 0x33, 0x44, 0xAA, 0xBB, 0xCC, 0xDD}},
        {"X8R8G8B8",
         {kRgbFlags, 0, 32, {0xFF0000, 0xFF00, 0xFF, 0xFF000000}},
         {0x33, 0x22, 0x11, 0x00, 0xCC, 0xBB, 0xAA, 0x00},
         opaque},
        {"R8G8B8",
         {kRgbFlags, 0, 24, {0xFF0000, 0xFF00, 0xFF, 0}},
         {0x33, 0x22, 0x11, 0xCC, 0xBB, 0xAA},
         opaque},
        {"G16R16, no blue",
         {kRgbFlags, 0, 32, {0xFFFF, 0xFFFF0000, 0, 0}},
         {0xFF, 0xFF, 0x00, 0x00, 0x00, 0x00, 0xFF, 0xFF},
         {0xFF, 0x00, 0x00, 0xFF, 0x00, 0xFF, 0x00, 0xFF}},
        {"A2R10G10B10",
         {kRgbaFlags, 0, 32, {0x3FF00000, 0xFFC00, 0x3FF, 0xC0000000}},
         {0x00, 0x00, 0xF0, 0x7F, 0x00, 0xFC, 0x0F, 0x00},
         {255, 0, 0, 85, 0, 255, 0, 0}},
        {"A2R10G10B10, to the nearest step",
         {kRgbaFlags, 0, 32, {0x3FF00000, 0xFFC00, 0x3FF, 0xC0000000}},
         {0xFD, 0x13, 0x30, 0x40, 0x00, 0x00, 0x00, 0x00},
         {1, 1, 255, 85, 0, 0, 0, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string whyNot;
        const std::optional<Image> image = decodeDds(ddsFile(2, 1, c.format, c.data), whyNot);
        ASSERT_TRUE(image) << whyNot;
        EXPECT_EQ(image->rgba, c.expected);
    }
}

// Reading a texture stops after level 0: the mip levels, or whatever else
// a file carries after it, are never read. A prefix of that length decodes
// as the whole file does.
TEST(DecodeDds, NeedsTheHeaderAndLevelZeroAlone) {
    struct Case {
        const char* name;
        std::uint32_t width, height;
        PixelFormat format;
        std::size_t levelZero;
    };
    const std::vector<Case> cases = {
        {"DXT1, edge blocks", 6, 3, {kFourCcFlags, fourCc("DXT1"), 0, {}}, 2 * 8},
        {"DXT5", 8, 8, {kFourCcFlags, fourCc("DXT5"), 0, {}}, 4 * 16},
        {"A8R8G8B8", 3, 2, {kRgbaFlags, 0, 32, {0xFF0000, 0xFF00, 0xFF, 0xFF000000}}, 3 * 2 * 4},
        {"R8G8B8", 3, 2, {kRgbFlags, 0, 24, {0xFF0000, 0xFF00, 0xFF, 0}}, 3 * 2 * 3},
        {"DX10, refused", 4, 4, {kFourCcFlags, fourCc("DX10"), 0, {}}, 0},
        {"too large, refused", kMaxDdsDimension + 1, 4, {kFourCcFlags, fourCc("DXT1"), 0, {}}, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::uint8_t> file =
            ddsFile(c.width, c.height, c.format, std::vector<std::uint8_t>(c.levelZero, 0x5A));
        file.resize(file.size() + 4096, 0xEE);  // mip levels, and more
        const std::vector<std::uint8_t> header(file.begin(), file.begin() + kDdsHeaderBytes);
        const std::size_t needed = ddsBytesToRead(header);
        EXPECT_EQ(needed, kDdsHeaderBytes + c.levelZero);
        std::string whole, prefix;
        const std::optional<Image> fromWhole = decodeDds(file, whole);
        const std::optional<Image> fromPrefix =
            decodeDds(std::vector<std::uint8_t>(file.begin(), file.begin() + std::ptrdiff_t(needed)), prefix);
        EXPECT_EQ(fromWhole.has_value(), fromPrefix.has_value());
        if (fromWhole && fromPrefix) {
            EXPECT_EQ(fromWhole->rgba, fromPrefix->rgba);
        }
        EXPECT_EQ(whole, prefix);
    }
    EXPECT_EQ(ddsBytesToRead({'D', 'D', 'S', ' '}), kDdsHeaderBytes);
    std::vector<std::uint8_t> notDds =
        ddsFile(4096, 4096, {kRgbaFlags, 0, 32, {0xFF0000, 0xFF00, 0xFF, 0xFF000000}}, {});
    notDds[0] = 'X';
    EXPECT_EQ(ddsBytesToRead(notDds), kDdsHeaderBytes);
}

TEST(DecodeDds, RejectsMalformedAndUnsupportedHeaders) {
    const PixelFormat argb = {kRgbaFlags, 0, 32, {0xFF0000, 0xFF00, 0xFF, 0xFF000000}};
    const std::vector<std::uint8_t> valid = ddsFile(2, 2, argb, std::vector<std::uint8_t>(16));
    struct Case {
        const char* name;
        std::function<void(std::vector<std::uint8_t>&)> spoil;
        const char* reason;
    };
    const std::vector<Case> cases = {
        {"bad magic", [](auto& b) { b[3] = 'X'; }, "not a DDS file"},
        {"header size", [](auto& b) { putU32(b, 4, 123); }, "malformed header"},
        {"pixel format size", [](auto& b) { putU32(b, 76, 24); }, "malformed header"},
        {"zero width", [](auto& b) { putU32(b, 16, 0); }, "unsupported size"},
        {"zero height", [](auto& b) { putU32(b, 12, 0); }, "unsupported size"},
        {"too wide", [](auto& b) { putU32(b, 16, kMaxDdsDimension + 1); }, "unsupported size"},
        {"largest size, little data",
         [](auto& b) { putU32(b, 16, kMaxDdsDimension), putU32(b, 12, kMaxDdsDimension); }, "cut short"},
        {"BC5", [](auto& b) { putU32(b, 80, kFourCcFlags), putU32(b, 84, fourCc("ATI2")); }, "'ATI2'"},
        {"DX10", [](auto& b) { putU32(b, 80, kFourCcFlags), putU32(b, 84, fourCc("DX10")); }, "'DX10'"},
        {"no format flag", [](auto& b) { putU32(b, 80, 0); }, "unsupported pixel format"},
        {"16 bits", [](auto& b) { putU32(b, 88, 16); }, "16 bits per pixel"},
        {"split mask", [](auto& b) { putU32(b, 92, 0x00F000F0); }, "masks"},
        {"24-bit mask past 24 bits", [](auto& b) { putU32(b, 88, 24), putU32(b, 92, 0xFF000000); }, "masks"},
        // Nothing to read colour from, or one bit read as two channels.
        {"no colour mask", [](auto& b) { putU32(b, 92, 0), putU32(b, 96, 0), putU32(b, 100, 0); }, "masks"},
        {"red mask on green", [](auto& b) { putU32(b, 92, 0xFF00); }, "masks"},
        {"alpha mask on blue", [](auto& b) { putU32(b, 104, 0xFF); }, "masks"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::uint8_t> bytes = valid;
        c.spoil(bytes);
        std::string whyNot;
        EXPECT_FALSE(decodeDds(bytes, whyNot));
        EXPECT_THAT(whyNot, HasSubstr(c.reason));
    }
}

// Each prefix is copied into a buffer of exactly its size, so that the address
// sanitizer sees any read past the end.
TEST(DecodeDds, RejectsEveryTruncationWithoutOverrun) {
    const PixelFormat argb = {kRgbaFlags, 0, 32, {0xFF0000, 0xFF00, 0xFF, 0xFF000000}};
    const std::vector<std::vector<std::uint8_t>> files = {
        ddsFile(6, 3, {kFourCcFlags, fourCc("DXT1"), 0, {}}, compressed(twoBlockPixels(255), squish::kDxt1)),
        ddsFile(6, 3, {kFourCcFlags, fourCc("DXT5"), 0, {}}, compressed(twoBlockPixels(255), squish::kDxt5)),
        ddsFile(3, 3, argb, std::vector<std::uint8_t>(36, 0x7F)),
    };
    for (const std::vector<std::uint8_t>& file : files) {
        std::string whyNot;
        ASSERT_TRUE(decodeDds(file, whyNot)) << whyNot;
        for (std::size_t size = 0; size < file.size(); ++size) {
            const std::vector<std::uint8_t> prefix(file.begin(), file.begin() + std::ptrdiff_t(size));
            EXPECT_FALSE(decodeDds(prefix, whyNot)) << size;
        }
    }
}

}  // namespace
}  // namespace orvex::writers
