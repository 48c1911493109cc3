#ifndef ORVEX_CLI_PREVIEW_H
#define ORVEX_CLI_PREVIEW_H

#include "render/Render.h"
#include "writers/SceneWriter.h"

#include <string>
#include <vector>

namespace orvex::cli {

// The scene as the outputs see it, drawn by the rasteriser. A texture that is
// missing or cannot be decoded leaves its meshes grey, and collecting the
// view, where this does it, adds to `warnings` what it left out or made
// good. Throws std::bad_alloc when memory runs out.
render::Image renderPreview(writers::SceneView& view, const render::RenderOptions& options,
                            std::vector<std::string>& warnings);

// Writes the image as a PNG file, whole or not at all. Throws WriteError.
void writePng(const render::Image& image, const std::string& path);

}  // namespace orvex::cli

#endif
