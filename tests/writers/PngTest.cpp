#include "writers/Dds.h"
#include "writers/Png.h"

#include "modelgen/DdsBuilder.h"
#include "modelgen/GameTexture.h"

#include <gtest/gtest.h>
#include <stb_image.h>
#include <zlib.h>

#include <cstdlib>
#include <memory>
#include <set>
#include <string>

namespace orvex::writers {
namespace {

using modelgen::DdsFormat;
using modelgen::RgbaImage;

struct Decoded {
    int channels = 0;  // as the file holds them
    Image image;       // as RGBA
};

// Read back by stb_image, a reader independent of the encoder.
Decoded readPng(const std::string& png) {
    int width = 0;
    int height = 0;
    Decoded decoded;
    const std::unique_ptr<stbi_uc, void (*)(void*)> pixels(
        stbi_load_from_memory(reinterpret_cast<const stbi_uc*>(png.data()), int(png.size()), &width, &height,
                              &decoded.channels, 4),
        stbi_image_free);
    if (!pixels) return decoded;
    decoded.image.width = std::uint32_t(width);
    decoded.image.height = std::uint32_t(height);
    decoded.image.rgba.assign(pixels.get(), pixels.get() + std::size_t(width) * std::size_t(height) * 4);
    return decoded;
}

std::uint32_t bigEndian(const std::string& bytes, std::size_t at) {
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < 4; ++i) value = value << 8 | std::uint8_t(bytes[at + i]);
    return value;
}

// The row filters the file uses, from its inflated image data.
std::set<int> filtersOf(const std::string& png, std::size_t rowBytes) {
    std::string compressed;
    for (std::size_t at = 8; at + 12 <= png.size();) {
        const std::uint32_t length = bigEndian(png, at);
        if (png.compare(at + 4, 4, "IDAT") == 0) compressed += png.substr(at + 8, length);
        at += 12 + length;
    }
    std::string inflated(64 << 20, '\0');
    uLongf size = uLongf(inflated.size());
    if (uncompress(reinterpret_cast<Bytef*>(inflated.data()), &size,
                   reinterpret_cast<const Bytef*>(compressed.data()), uLong(compressed.size())) != Z_OK) {
        return {};
    }
    std::set<int> filters;
    for (std::size_t row = 0; row < size; row += 1 + rowBytes) filters.insert(std::uint8_t(inflated[row]));
    return filters;
}

Image decodedDds(const RgbaImage& pixels, DdsFormat format) {
    std::string whyNot;
    const std::optional<Image> image = decodeDds(modelgen::buildDds(pixels, format, false), whyNot);
    if (!image) throw std::runtime_error(whyNot);
    return *image;
}

// A texture whose blocks are all opaque, or with one texel (or one alpha
// value) that is not: only the latter keeps its alpha channel.
TEST(EncodePng, WritesRgbWhenEveryTexelIsOpaqueAndRgbaOtherwiseWithTheSamePixels) {
    const RgbaImage stones = modelgen::gameTexture(modelgen::GameTextureKind::Stones, 64, 3);
    RgbaImage holed = stones;
    holed.rgba[(5 * 64 + 9) * 4 + 3] = 0;  // DXT1 keeps it as one transparent texel
    RgbaImage nearlyOpaque = stones;
    nearlyOpaque.rgba[3] = 254;  // DXT5's interpolated alpha holds 254 exactly
    struct Case {
        const char* name;
        const RgbaImage& pixels;
        DdsFormat format;
        int channels;
    };
    for (const Case& c : {Case{"opaque DXT1", stones, DdsFormat::Dxt1, 3},
                          Case{"DXT1 with a transparent texel", holed, DdsFormat::Dxt1, 4},
                          Case{"DXT5 whose alpha is all 255", stones, DdsFormat::Dxt5, 3},
                          Case{"DXT5 with alpha 254", nearlyOpaque, DdsFormat::Dxt5, 4},
                          Case{"cut-out DXT5",
                               modelgen::gameTexture(modelgen::GameTextureKind::Leaves, 64, 3),
                               DdsFormat::Dxt5, 4}}) {
        SCOPED_TRACE(c.name);
        const Image image = decodedDds(c.pixels, c.format);
        const Decoded decoded = readPng(encodePng(image));
        EXPECT_EQ(decoded.channels, c.channels);
        EXPECT_EQ(decoded.image.width, image.width);
        EXPECT_EQ(decoded.image.height, image.height);
        EXPECT_TRUE(decoded.image.rgba == image.rgba);
    }
}

// Every row filter the encoder may choose gives the pixels back, on images
// of the sizes that sample every row and that sample bands of them, and the
// same image gives the same bytes.
TEST(EncodePng, EveryFilterItChoosesGivesThePixelsBackAndTheSameBytes) {
    std::set<int> used;
    const auto check = [&](const Image& image) {
        const std::string png = encodePng(image);
        EXPECT_EQ(encodePng(image), png);
        const Decoded decoded = readPng(png);
        EXPECT_EQ(decoded.image.width, image.width);
        EXPECT_EQ(decoded.image.height, image.height);
        EXPECT_TRUE(decoded.image.rgba == image.rgba);
        const std::set<int> filters = filtersOf(png, image.width * std::size_t(decoded.channels));
        used.insert(filters.begin(), filters.end());
    };
    for (const std::uint32_t side : {1u, 7u, 300u}) {
        SCOPED_TRACE(side);
        Image gradient{side, side, {}};   // each row the one above plus one: Up
        Image slope{side, side, {}};      // rising to the right and down, in steps: Paeth
        Image translucent{side, side, {}};
        Image blended{side, side, std::vector<std::uint8_t>(std::size_t(side) * side * 4, 255)};  // Average
        for (std::uint32_t y = 0; y < side; ++y) {
            for (std::uint32_t x = 0; x < side; ++x) {
                std::uint8_t* pixel = &blended.rgba[(std::size_t(y) * side + x) * 4];
                const int left = x > 0 ? pixel[-4] : 0;
                const int up = y > 0 ? pixel[-4 * std::ptrdiff_t(side)] : 0;
                pixel[0] = pixel[1] = pixel[2] = std::uint8_t((left + up) / 2 + int((x * 31 + y * 17) % 5));
            }
        }
        for (std::uint32_t y = 0; y < side; ++y) {
            for (std::uint32_t x = 0; x < side; ++x) {
                const auto noise = std::uint8_t((x * 7919u + 104729u) % 251u);
                gradient.rgba.insert(gradient.rgba.end(), {noise, std::uint8_t(noise + y), 40, 255});
                const auto level = std::uint8_t(x * 3 + y * 5 + (x / 3) * (y / 5));
                slope.rgba.insert(slope.rgba.end(), {level, std::uint8_t(level / 2), 7, 255});
                translucent.rgba.insert(translucent.rgba.end(), {9, std::uint8_t(x), std::uint8_t(y), std::uint8_t(x ^ y)});
            }
        }
        check(gradient);
        check(slope);
        check(translucent);
        check(blended);
        for (const auto kind : {modelgen::GameTextureKind::Planks, modelgen::GameTextureKind::Moss})
            check(decodedDds(modelgen::gameTexture(kind, int(side), 5), DdsFormat::Dxt1));
    }
    EXPECT_EQ(used, (std::set<int>{0, 1, 2, 3, 4}));
}

}  // namespace
}  // namespace orvex::writers
