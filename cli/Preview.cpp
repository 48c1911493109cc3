#include "cli/Preview.h"

#include "render/GatherScene.h"
#include "writers/AtomicFile.h"
#include "writers/Png.h"

#include <cstdint>

namespace orvex::cli {

render::Image renderPreview(writers::SceneView& view, const render::RenderOptions& options,
                            std::vector<std::string>& warnings) {
    std::size_t leftOut = 0;
    render::Image image = render::render(render::gatherScene(view.exported(warnings)), options, leftOut);
    if (leftOut != 0) {
        warnings.push_back(
            "preview: " + std::to_string(leftOut) +
            " triangles left out, as the scene covers the image too many times over to draw whole");
    }
    return image;
}

void writePng(const render::Image& image, const std::string& path) {
    const writers::Image pixels{static_cast<std::uint32_t>(image.width),
                                static_cast<std::uint32_t>(image.height), image.rgba};
    writers::writeFileAtomically(path, writers::encodePng(pixels));
}

}  // namespace orvex::cli
