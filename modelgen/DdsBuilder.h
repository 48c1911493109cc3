#ifndef ORVEX_MODELGEN_DDSBUILDER_H
#define ORVEX_MODELGEN_DDSBUILDER_H

// Writes DDS texture files (DXT1, DXT3, DXT5 through libsquish, or
// uncompressed 24/32-bit) with a full mip chain, for the sample and tests.

#include <squish.h>

#include <algorithm>
#include <cstdint>
#include <vector>

namespace orvex::modelgen {

enum class DdsFormat { Dxt1, Dxt3, Dxt5, Rgb24, Rgba32 };

// Pixels as RGBA, row 0 at the top.
struct RgbaImage {
    int width;
    int height;
    std::vector<std::uint8_t> rgba;
};

namespace detail {

inline void putWord(std::vector<std::uint8_t>& out, std::uint32_t value)
{
    for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<std::uint8_t>(value >> shift));
}

inline RgbaImage halve(const RgbaImage& image)
{
    RgbaImage half{std::max(1, image.width / 2), std::max(1, image.height / 2), {}};
    half.rgba.resize(static_cast<std::size_t>(half.width) * half.height * 4);
    for (int y = 0; y < half.height; ++y) {
        for (int x = 0; x < half.width; ++x) {
            for (int c = 0; c < 4; ++c) {
                int sum = 0;
                for (int dy = 0; dy < 2; ++dy) {
                    for (int dx = 0; dx < 2; ++dx) {
                        const int sx = std::min(image.width - 1, 2 * x + dx);
                        const int sy = std::min(image.height - 1, 2 * y + dy);
                        sum += image.rgba[(static_cast<std::size_t>(sy) * image.width + sx) * 4 + c];
                    }
                }
                half.rgba[(static_cast<std::size_t>(y) * half.width + x) * 4 + c] = static_cast<std::uint8_t>(sum / 4);
            }
        }
    }
    return half;
}

inline void appendLevel(std::vector<std::uint8_t>& out, const RgbaImage& image, DdsFormat format, int colourFit)
{
    const int squishFlags[] = {squish::kDxt1, squish::kDxt3, squish::kDxt5};
    if (format == DdsFormat::Dxt1 || format == DdsFormat::Dxt3 || format == DdsFormat::Dxt5) {
        const int flags = squishFlags[static_cast<int>(format)] | colourFit;
        std::vector<std::uint8_t> blocks(static_cast<std::size_t>(
            squish::GetStorageRequirements(image.width, image.height, flags)));
        squish::CompressImage(image.rgba.data(), image.width, image.height, blocks.data(), flags);
        out.insert(out.end(), blocks.begin(), blocks.end());
        return;
    }
    const bool alpha = format == DdsFormat::Rgba32;
    for (std::size_t i = 0; i < image.rgba.size(); i += 4) {
        // Stored blue, green, red (, alpha), as the usual masks below say.
        out.push_back(image.rgba[i + 2]);
        out.push_back(image.rgba[i + 1]);
        out.push_back(image.rgba[i]);
        if (alpha) out.push_back(image.rgba[i + 3]);
    }
}

}  // namespace detail

// colourFit is squish's: the iterative cluster fit is the closest and
// slowest, the range fit fast enough for large benchmark textures.
inline std::vector<std::uint8_t> buildDds(const RgbaImage& image, DdsFormat format, bool mipChain = true,
                                          int colourFit = squish::kColourIterativeClusterFit)
{
    constexpr std::uint32_t kCaps = 0x1, kHeight = 0x2, kWidth = 0x4, kPitch = 0x8, kPixelFormat = 0x1000,
                            kMipCount = 0x20000, kLinearSize = 0x80000;
    constexpr std::uint32_t kFourCc = 0x4, kRgb = 0x40, kAlphaPixels = 0x1;
    constexpr std::uint32_t kTexture = 0x1000, kComplex = 0x8, kMipmap = 0x400000;

    int levels = 1;
    if (mipChain) {
        for (int size = std::max(image.width, image.height); size > 1; size /= 2) ++levels;
    }
    const bool compressed = format == DdsFormat::Dxt1 || format == DdsFormat::Dxt3 || format == DdsFormat::Dxt5;
    const std::uint32_t fourCc[] = {0x31545844, 0x33545844, 0x35545844};  // "DXT1", "DXT3", "DXT5"
    const std::uint32_t bitCount = format == DdsFormat::Rgba32 ? 32 : 24;

    std::vector<std::uint8_t> out;
    detail::putWord(out, 0x20534444);  // "DDS "
    detail::putWord(out, 124);
    detail::putWord(out, kCaps | kHeight | kWidth | kPixelFormat | (compressed ? kLinearSize : kPitch) |
                             (levels > 1 ? kMipCount : 0));
    detail::putWord(out, static_cast<std::uint32_t>(image.height));
    detail::putWord(out, static_cast<std::uint32_t>(image.width));
    const std::uint32_t blockBytes = format == DdsFormat::Dxt1 ? 8 : 16;
    detail::putWord(out, compressed ? static_cast<std::uint32_t>((image.width + 3) / 4 * ((image.height + 3) / 4)) *
                                          blockBytes
                                    : static_cast<std::uint32_t>(image.width) * bitCount / 8);
    detail::putWord(out, 0);  // depth
    detail::putWord(out, static_cast<std::uint32_t>(levels));
    for (int i = 0; i < 11; ++i) detail::putWord(out, 0);
    detail::putWord(out, 32);  // pixel format size
    if (compressed) {
        detail::putWord(out, kFourCc);
        detail::putWord(out, fourCc[static_cast<int>(format)]);
        for (int i = 0; i < 5; ++i) detail::putWord(out, 0);
    } else {
        detail::putWord(out, kRgb | (format == DdsFormat::Rgba32 ? kAlphaPixels : 0));
        detail::putWord(out, 0);
        detail::putWord(out, bitCount);
        detail::putWord(out, 0x00ff0000);
        detail::putWord(out, 0x0000ff00);
        detail::putWord(out, 0x000000ff);
        detail::putWord(out, format == DdsFormat::Rgba32 ? 0xff000000 : 0);
    }
    detail::putWord(out, kTexture | (levels > 1 ? kComplex | kMipmap : 0));
    for (int i = 0; i < 4; ++i) detail::putWord(out, 0);

    RgbaImage level = image;
    for (int i = 0; i < levels; ++i) {
        detail::appendLevel(out, level, format, colourFit);
        level = detail::halve(level);
    }
    return out;
}

}  // namespace orvex::modelgen

#endif
