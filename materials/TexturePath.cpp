#include "materials/TexturePath.h"

#include "materials/PathExists.h"
#include "model/HostPath.h"

namespace orvex {

std::string resolveTexturePath(const std::string& textureName, const Model& model) {
    const std::string name = pathTextOfName(textureName);
    if (model.contentRoot.empty()) {
        return name;
    }
    // The content root already ends with a backslash.
    const std::string base = model.contentRoot + "textures\\" + name;
    const std::vector<std::string> candidates{base + ".2048.dds", base + ".1024.dds"};
    if (const std::optional<std::size_t> found = firstExistingPath(candidates)) {
        return candidates[*found];
    }
    // Not tested: a texture missing from disk still gets a whole material,
    // naming its smallest file.
    return base + ".512.dds";
}

}  // namespace orvex
