#include "materials/TexturePath.h"

#include "materials/PathExists.h"

namespace orvex {

std::string resolveTexturePath(const std::string& textureName, const Model& model) {
    if (model.contentRoot.empty()) {
        return textureName;
    }
    // The content root already ends with a backslash.
    const std::string base = model.contentRoot + "textures\\" + textureName;
    for (const char* suffix : {".2048.dds", ".1024.dds"}) {
        std::string candidate = base + suffix;
        if (pathExists(candidate)) {
            return candidate;
        }
    }
    // Not tested: a texture missing from disk still gets a whole material,
    // naming its smallest file.
    return base + ".512.dds";
}

}  // namespace orvex
