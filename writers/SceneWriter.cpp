#include "writers/SceneWriter.h"

#include "writers/Ascii.h"
#include "writers/ExportScene.h"
#include "writers/Formats.h"

#include <filesystem>
#include <new>

namespace orvex::writers {

std::optional<Format> formatForPath(const std::string& path) {
    std::string extension = std::filesystem::path(path).extension().string();
    for (char& c : extension) c = asciiLower(c);
    if (extension == ".gltf") return Format::kGltf;
    if (extension == ".glb") return Format::kGlb;
    if (extension == ".obj") return Format::kObj;
    if (extension == ".fbx") return Format::kFbx;
    if (extension == ".json") return Format::kJson;
    return std::nullopt;
}

WriteReport writeScene(const standin::Scene& scene, const std::string& outputPath,
                       const WriteOptions& options) {
    const std::optional<Format> format = formatForPath(outputPath);
    if (!format)
        throw WriteError(outputPath + ": unknown output format (use .gltf, .glb, .obj, .fbx or .json)");
    WriteReport report;
    try {
        if (*format == Format::kJson) {
            writeSceneJson(scene, outputPath);
            return report;
        }
        const ExportScene exported = collectScene(scene, report.warnings);
        if (exported.meshes.empty())
            report.warnings.push_back("the scene holds no mesh with triangles to write");
        if (*format == Format::kObj) {
            writeObj(exported, outputPath);
        } else if (*format == Format::kFbx) {
            writeFbx(exported, outputPath, options.embedTextures);
        } else {
            writeGltf(exported, outputPath, *format == Format::kGlb);
        }
    } catch (const std::bad_alloc&) {
        throw WriteError(outputPath + ": cannot write: out of memory");
    }
    return report;
}

}  // namespace orvex::writers
