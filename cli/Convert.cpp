#include "cli/Convert.h"

#include "cli/Preview.h"
#include "writers/SceneWriter.h"

#include <algorithm>
#include <cctype>
#include <filesystem>

namespace orvex::cli {

bool isPngPath(const std::string& path) {
    std::string extension = std::filesystem::u8path(path).extension().u8string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return extension == ".png";
}

std::string importPath(const std::string& input) {
    return std::filesystem::absolute(std::filesystem::u8path(input)).u8string();
}

Written writeImportedScene(const standin::Scene& scene, const std::string& output,
                           const render::RenderOptions& render, const writers::WriteOptions& write) {
    if (!isPngPath(output)) {
        writers::WriteReport report = writers::writeScene(scene, output, write);
        return {std::move(report.warnings), std::move(report.files)};
    }
    Written written;
    writePng(renderPreview(scene, render, written.warnings), output);
    written.files.push_back(output);
    return written;
}

}  // namespace orvex::cli
