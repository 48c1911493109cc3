#ifndef ORVEX_RENDER_GATHERSCENE_H
#define ORVEX_RENDER_GATHERSCENE_H

#include "render/Render.h"
#include "writers/ExportScene.h"

namespace orvex::render {

// The meshes of the outputs' view of the scene with their materials'
// textures: the meshes and repairs of the written files, so that a preview
// shows what a converted file holds. Each texture is copied once, and
// meshes of one texture share it. Throws std::bad_alloc.
RenderScene gatherScene(const writers::ExportScene& scene);

}  // namespace orvex::render

#endif
