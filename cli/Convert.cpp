#include "cli/Convert.h"

#include "cli/Preview.h"
#include "writers/SceneWriter.h"

#include <algorithm>
#include <cctype>
#include <filesystem>

namespace orvex::cli {

bool isPngPath(const std::string& path) {
    std::string extension = std::filesystem::path(path).extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return extension == ".png";
}

std::vector<std::string> writeImportedScene(const standin::Scene& scene, const std::string& output,
                                            const render::RenderOptions& render) {
    if (!isPngPath(output)) return writers::writeScene(scene, output).warnings;
    std::vector<std::string> warnings;
    writePng(renderPreview(scene, render, warnings), output);
    return warnings;
}

}  // namespace orvex::cli
