#ifndef ORVEX_RENDER_GATHERSCENE_H
#define ORVEX_RENDER_GATHERSCENE_H

#include "render/Render.h"

#include <standin/Scene.h>

#include <functional>
#include <optional>

namespace orvex::render {

// The decoded texture of a file texture node (its "fileTextureName" tells
// which file), or nothing when there is none to show.
using TextureLookup = std::function<std::optional<Image>(const standin::Node& fileNode)>;

// Every mesh shape of the scene ("mesh" nodes, in creation order) with its
// polygons split into fans, its vertex normals and its UV set "map1". A
// mesh's texture is that of the first of its shading groups whose
// "surfaceShader" is fed by a lambert whose "color" is fed by a file node;
// `lookup` is asked once per file node, and meshes sharing a node share the
// image. Any scene content is safe and taken as it is: a polygon running
// past the end of the connects ends the mesh, UV ids not assigned per corner
// fall back to the vertex numbers, normals whose count is not the point
// count are left out, numbers out of range are left for render to skip.
// Throws what `lookup` throws, or std::bad_alloc.
RenderScene gatherScene(const standin::Scene& scene, const TextureLookup& lookup);

}  // namespace orvex::render

#endif
