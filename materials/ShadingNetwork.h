#ifndef ORVEX_MATERIALS_SHADINGNETWORK_H
#define ORVEX_MATERIALS_SHADINGNETWORK_H

#include "model/Model.h"

#include <maya/MObject.h>

namespace orvex {

// Gives a host mesh its textured material: the file texture node of the
// mesh's resolved texture path (taken from the model's textureNodeCache, or
// made with its placement node and recorded there), a new Lambert shader fed
// by it, and a new shading group that the mesh joins. Returns true when the
// file texture node and the shader were both made or found, whatever became
// of the group and the assignment. Nodes made stay in the scene on every
// path. Reads only the first of the mesh's names; may throw std::bad_alloc.
bool assignMaterial(Model& model, const ModelMesh& mesh, MObject meshObject);

}  // namespace orvex

#endif
