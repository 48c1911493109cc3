#ifndef ORVEX_MATERIALS_TEXTUREPATH_H
#define ORVEX_MATERIALS_TEXTUREPATH_H

#include "model/Model.h"

#include <string>

namespace orvex {

// The texture file that a mesh's material shows: under the model's content
// root, the highest resolution on disk of "textures\<name>", else its 512
// file whether present or not. With no content root the name comes back
// unchanged. The text keeps the case and separators of the content root and
// the name, whatever the disk holds. Asks the file system only whether paths
// exist; may throw std::bad_alloc.
std::string resolveTexturePath(const std::string& textureName, const Model& model);

}  // namespace orvex

#endif
