#ifndef ORVEX_MESH_MESHBUILDER_H
#define ORVEX_MESH_MESHBUILDER_H

#include "model/Model.h"

#include <maya/MObject.h>

namespace orvex {

// Makes a host mesh, with its UVs, normals and material, of every mesh of a
// loaded model, in file order, each under a new transform at the world root;
// `parent` is not used for them. A mesh that the host refuses does not stop
// the others. Returns true when at least one mesh was made, so that a file
// of which nothing could be imported reports failure; makes no host call for
// a model without meshes. Nodes made stay in the scene on every path. The
// model's meshes must have arrays of their counts, as loadModel makes them.
// May throw std::bad_alloc.
bool buildScene(Model& model, const MObject& parent);

// One mesh: true when the host made it, whatever became of its normals and
// material. Points and normals swap x and z; v is flipped (1 - v).
bool buildMesh(Model& model, const ModelMesh& mesh);

}  // namespace orvex

#endif
