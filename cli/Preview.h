#ifndef ORVEX_CLI_PREVIEW_H
#define ORVEX_CLI_PREVIEW_H

#include "render/Render.h"

#include <standin/Scene.h>

#include <string>
#include <vector>

namespace orvex::cli {

// The scene as the rasteriser sees it, each file texture node's DDS file
// read and decoded once. A texture that is missing or cannot be decoded
// leaves its meshes grey and adds one line to `warnings`. Throws
// std::bad_alloc when memory runs out.
render::Image renderPreview(const standin::Scene& scene, const render::RenderOptions& options,
                            std::vector<std::string>& warnings);

// Writes the image as a PNG file, whole or not at all. Throws WriteError.
void writePng(const render::Image& image, const std::string& path);

}  // namespace orvex::cli

#endif
