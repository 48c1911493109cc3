#include "cli/Preview.h"

#include "materials/PathExists.h"
#include "render/GatherScene.h"
#include "writers/AtomicFile.h"
#include "writers/Dds.h"
#include "writers/Png.h"

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <optional>
#include <utility>

namespace orvex::cli {

namespace {

std::optional<std::vector<std::uint8_t>> readPrefix(const std::string& path, std::size_t limit) {
    std::ifstream in(std::filesystem::u8path(path), std::ios::binary | std::ios::ate);
    const std::streamoff size = in ? std::streamoff(in.tellg()) : -1;
    if (size < 0) return std::nullopt;
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(std::min(size, std::streamoff(limit))));
    in.seekg(0);
    in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (static_cast<std::size_t>(in.gcount()) != bytes.size()) return std::nullopt;
    return bytes;
}

std::optional<render::Image> decodeTexture(const standin::Node& file, std::vector<std::string>& warnings) {
    const auto value = file.stringValues.find("fileTextureName");
    const std::string path = value != file.stringValues.end() ? value->second : std::string();
    auto untextured = [&](const std::string& why) {
        warnings.push_back("texture " + (path.empty() ? "of " + file.name : nativePath(path)) + ": " + why +
                           "; shown grey");
        return std::nullopt;
    };
    if (path.empty()) return untextured("no file name");
    const std::optional<std::string> found = findExistingPath(path);
    if (!found) return untextured("not found");
    const std::optional<std::vector<std::uint8_t>> bytes = readPrefix(*found, writers::kMaxDdsBytesRead);
    if (!bytes) return untextured("cannot be read");
    std::string whyNot;
    std::optional<writers::Image> decoded = writers::decodeDds(*bytes, whyNot);
    if (!decoded) return untextured(whyNot);
    // decodeDds keeps both sides within kMaxDdsDimension, so they fit an int.
    return render::Image{static_cast<int>(decoded->width), static_cast<int>(decoded->height),
                         std::move(decoded->rgba)};
}

}  // namespace

render::Image renderPreview(const standin::Scene& scene, const render::RenderOptions& options,
                            std::vector<std::string>& warnings) {
    const render::RenderScene gathered =
        render::gatherScene(scene, [&](const standin::Node& file) { return decodeTexture(file, warnings); });
    return render::render(gathered, options);
}

void writePng(const render::Image& image, const std::string& path) {
    const writers::Image pixels{static_cast<std::uint32_t>(image.width),
                                static_cast<std::uint32_t>(image.height), image.rgba};
    writers::writeFileAtomically(path, writers::encodePng(pixels));
}

}  // namespace orvex::cli
