#include "cli/Preview.h"

#include "render/GatherScene.h"
#include "writers/AtomicFile.h"
#include "writers/Png.h"

#include <cstdint>

namespace orvex::cli {

render::Image renderPreview(writers::SceneView& view, const render::RenderOptions& options,
                            std::vector<std::string>& warnings) {
    render::RenderReport report;
    render::Image image = render::render(render::gatherScene(view.exported(warnings)), options, report);
    if (report.trianglesLeftOut != 0) {
        warnings.push_back(
            "preview: " + std::to_string(report.trianglesLeftOut) +
            " triangles left out, as the scene covers the image too many times over to draw whole");
    }
    if (report.triangles != 0 && !report.drewAnything) {
        warnings.push_back(
            "preview: no triangle covers a pixel; the scene is seen edge-on from this view, "
            "or is too small for the image");
    }
    return image;
}

void writePng(const render::Image& image, const std::string& path) {
    const writers::Image pixels{static_cast<std::uint32_t>(image.width),
                                static_cast<std::uint32_t>(image.height), image.rgba};
    writers::writeFileAtomically(path, writers::encodePng(pixels));
}

}  // namespace orvex::cli
