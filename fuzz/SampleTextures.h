#ifndef ORVEX_FUZZ_SAMPLETEXTURES_H
#define ORVEX_FUZZ_SAMPLETEXTURES_H

#include "modelgen/DdsBuilder.h"
#include "modelgen/ModelBuilder.h"

#include <cstdint>
#include <filesystem>

namespace orvex::fuzz {

// The sample's textures under its names, in its formats (opaque and
// transparent DXT1, DXT5, uncompressed), in a content folder's textures, so
// that inputs naming them take the resolver's paths of a texture found:
// spelled exactly, in another letter case, at the lower resolution. They are
// 8 by 8 texels: the program decodes and encodes them for every output of
// every run, and larger images would only repeat the same paths, at a
// quarter of every run's time for the sample's own 64 by 64.
inline void writeSampleTextures(const std::filesystem::path& textures) {
    using orvex::modelgen::DdsFormat;
    const struct {
        const char* path;
        DdsFormat format;
        std::uint8_t alpha;
    } files[] = {
        {"props/crate.2048.dds", DdsFormat::Dxt1, 255},
        {"props/crate.1024.dds", DdsFormat::Dxt1, 0},
        {"props/barrel.2048.dds", DdsFormat::Dxt5, 128},
        {"ground/cobbles.1024.dds", DdsFormat::Rgb24, 255},
    };
    for (const auto& file : files) {
        orvex::modelgen::RgbaImage image{8, 8, {}};
        for (int texel = 0; texel < 64; ++texel) {
            const auto shade = static_cast<std::uint8_t>(texel * 4);
            image.rgba.insert(image.rgba.end(), {shade, static_cast<std::uint8_t>(255 - shade), 96,
                                                 texel % 2 == 0 ? file.alpha : std::uint8_t{255}});
        }
        std::filesystem::create_directories((textures / file.path).parent_path());
        orvex::modelgen::writeFile((textures / file.path).string(), orvex::modelgen::buildDds(image, file.format));
    }
}

}  // namespace orvex::fuzz

#endif
