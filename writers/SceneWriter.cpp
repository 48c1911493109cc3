#include "writers/SceneWriter.h"

#include "writers/Ascii.h"
#include "writers/Companion.h"
#include "writers/ExportScene.h"
#include "writers/Formats.h"

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <new>
#include <string_view>

namespace orvex::writers {

namespace {

// FNV-1a: enough to tell images apart, and the same on every machine.
std::uint64_t digestOf(std::string_view bytes) {
    std::uint64_t hash = 0xcbf29ce484222325ull;
    for (const char byte : bytes) {
        hash ^= static_cast<unsigned char>(byte);
        hash *= 0x100000001b3ull;
    }
    return hash;
}

}  // namespace

ImageFile imageFileOf(const ExportTexture& texture, TextureFiles files) {
    const std::string& bytes = files == TextureFiles::kDds ? texture.dds : texture.png;
    char digest[17];
    std::snprintf(digest, sizeof digest, "%016llx", static_cast<unsigned long long>(digestOf(bytes)));
    return {stemOf(texture.imageName) + "-" + digest + (files == TextureFiles::kDds ? ".dds" : ".png"), bytes};
}

std::optional<Format> formatForPath(const std::string& path) {
    std::string extension = std::filesystem::u8path(path).extension().u8string();
    for (char& c : extension) c = asciiLower(c);
    if (extension == ".gltf") return Format::kGltf;
    if (extension == ".glb") return Format::kGlb;
    if (extension == ".obj") return Format::kObj;
    if (extension == ".fbx") return Format::kFbx;
    if (extension == ".json") return Format::kJson;
    return std::nullopt;
}

ExportScene& SceneView::exported(std::vector<std::string>& warnings) {
    if (!fExported) fExported = collectScene(fScene, source(), warnings);
    return *fExported;
}

WriteReport writeScene(const standin::Scene& scene, const std::string& outputPath,
                       const WriteOptions& options) {
    SceneView view(scene);
    return writeScene(view, outputPath, options);
}

WriteReport writeScene(SceneView& view, const std::string& outputPath, const WriteOptions& options) {
    const std::optional<Format> format = formatForPath(outputPath);
    if (!format)
        throw WriteError(outputPath + ": unknown output format (use .gltf, .glb, .obj, .fbx or .json)");
    const TextureFiles files =
        *format == Format::kObj || *format == Format::kFbx ? options.textureFiles : TextureFiles::kPng;
    WriteReport report;
    try {
        if (*format == Format::kJson) {
            writeSceneJson(view.scene(), view.source(), outputPath);
            removeLeftovers(outputPath, std::nullopt, std::nullopt);
            report.files.push_back(outputPath);
            return report;
        }
        ExportScene& exported = view.exported(report.warnings);
        if (exported.meshes.empty())
            report.warnings.push_back("the scene holds no mesh with triangles to write");
        if (files == TextureFiles::kDds) {
            std::string whyNot;
            if (!readDdsFiles(exported, whyNot)) throw WriteError(outputPath + ": cannot write: " + whyNot);
        } else {
            encodeImages(exported);
        }
        // Read before the new set replaces it.
        const std::optional<std::string> previous = companionNamedBy(outputPath);
        std::string companion;
        if (*format == Format::kObj) {
            companion = writeObj(exported, outputPath, files, report.warnings);
        } else if (*format == Format::kFbx) {
            writeFbx(exported, outputPath, options.embedTextures, files);
        } else {
            companion = writeGltf(exported, outputPath, *format == Format::kGlb);
        }
        const bool imagesBeside = *format != Format::kGlb && !(*format == Format::kFbx && options.embedTextures);
        std::vector<std::string> images;
        if (imagesBeside) {
            for (const ExportTexture& texture : exported.textures) {
                images.push_back(imageFileOf(texture, files).name);
                report.files.push_back(pathBeside(outputPath, images.back()));
            }
        }
        const std::optional<std::string> companionName =
            companion.empty()
                ? std::nullopt
                : std::optional<std::string>(std::filesystem::u8path(companion).filename().u8string());
        removeLeftovers(outputPath, companionName, previous, images);
        if (!companion.empty()) report.files.push_back(companion);
    } catch (const std::bad_alloc&) {
        throw WriteError(outputPath + ": cannot write: out of memory");
    }
    report.files.push_back(outputPath);
    return report;
}

}  // namespace orvex::writers
