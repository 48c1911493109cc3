#include "writers/AtomicFile.h"
#include "writers/Companion.h"
#include "writers/Digest.h"
#include "writers/NameText.h"
#include "writers/Formats.h"

#include <algorithm>
#include <charconv>

namespace orvex::writers {

namespace {

// OBJ keeps the material of the last usemtl for every face after it, so a
// mesh in no shading group names this one instead of inheriting another's.
constexpr char kDefaultMaterialName[] = "default";
constexpr char kUntexturedColour[] = "Kd 0.5 0.5 0.5\n";

// OBJ readers take a name as the rest of its line without the blanks around
// it, so blanks that begin or end a name are escaped as names escape other
// bytes ("%20"): otherwise "crate " would read back as "crate" and be taken
// for another material of that name.
std::string objName(const std::string& name) {
    const std::size_t first = std::min(name.find_first_not_of(' '), name.size());
    const std::size_t end = std::max(name.find_last_not_of(' ') + 1, first);  // npos + 1 is 0
    std::string escaped;
    for (std::size_t i = 0; i < first; ++i) escaped += "%20";
    escaped.append(name, first, end - first);
    for (std::size_t i = end; i < name.size(); ++i) escaped += "%20";
    return escaped;
}

// The shortest text that reads back as the same float, whatever the locale.
void appendNumber(std::string& text, float value) {
    char digits[32];
    const std::to_chars_result result = std::to_chars(digits, digits + sizeof digits, value);
    text.append(digits, result.ptr);
}

template <std::size_t N>
void appendVectors(std::string& text, const char* keyword, const std::vector<std::array<float, N>>& values) {
    for (const std::array<float, N>& value : values) {
        text += keyword;
        for (const float component : value) {
            text += ' ';
            appendNumber(text, component);
        }
        text += '\n';
    }
}

// Running counts of the vertex positions, UVs and normals written so far,
// which OBJ numbers each on its own from 1 across the whole file.
struct Bases {
    std::size_t position = 0;
    std::size_t uv = 0;
    std::size_t normal = 0;
};

std::string corner(std::uint32_t index, const MeshGeometry& mesh, const Bases& bases) {
    std::string text = std::to_string(bases.position + index + 1);
    if (mesh.uvs.empty() && mesh.normals.empty()) return text;
    text += '/';
    if (!mesh.uvs.empty()) text += std::to_string(bases.uv + index + 1);
    if (!mesh.normals.empty()) text += '/' + std::to_string(bases.normal + index + 1);
    return text;
}

}  // namespace

std::string writeObj(const ExportScene& scene, const std::string& path, TextureFiles textureFiles,
                     std::vector<std::string>& warnings) {
    std::string obj;
    std::string mtl = "# OrvexImp\n";
    std::vector<FileBytes> files;
    for (const ExportMaterial& material : scene.materials) {
        mtl += "newmtl " + objName(material.name) + "\n";
        if (material.texture) {
            const ExportTexture& texture = scene.textures[*material.texture];
            mtl += "Kd 1 1 1\nmap_Kd " + imageFileOf(texture, textureFiles).name + "\n";
        } else {
            mtl += kUntexturedColour;
        }
    }
    for (const ExportTexture& texture : scene.textures) {
        const ImageFile image = imageFileOf(texture, textureFiles);
        const std::string imagePath = pathBeside(path, image.name);
        files.push_back({imagePath, image.bytes, true});
    }
    bool defaultUsed = false;
    Bases bases;
    MeshGeometry geometry;
    // A model is one object, its meshes groups of it.
    const bool rooted = !scene.rootName.empty();
    if (rooted) obj += "o " + objName(scene.rootName) + "\n";
    for (const ExportMesh& mesh : scene.meshes) {
        geometryOf(mesh, geometry);
        obj += (rooted ? "g " : "o ") + objName(mesh.nodeName) + "\n";
        if (mesh.sourceNames) {
            for (std::size_t i = 0; i < mesh.sourceNames->size(); ++i)
                obj += "# modelName" + std::to_string(i + 1) + ": " + nameText((*mesh.sourceNames)[i]) + "\n";
        }
        appendVectors(obj, "v", geometry.positions);
        // The host's v runs up the image, as OBJ's does.
        appendVectors(obj, "vt", geometry.uvs);
        appendVectors(obj, "vn", geometry.normals);
        if (mesh.material) {
            obj += "usemtl " + objName(scene.materials[*mesh.material].name) + "\n";
        } else {
            obj += std::string("usemtl ") + kDefaultMaterialName + "\n";
            defaultUsed = true;
        }
        // A face that names one vertex twice has no area, and OBJ readers
        // drop it or fail on it (Blender 3.4 crashes on an object of
        // nothing else), so it is left out here alone.
        const std::vector<std::uint32_t>& indices = geometry.indices;
        std::size_t leftOut = 0;
        for (std::size_t i = 0; i + 2 < indices.size(); i += 3) {
            if (indices[i] == indices[i + 1] || indices[i + 1] == indices[i + 2] ||
                indices[i] == indices[i + 2]) {
                ++leftOut;
                continue;
            }
            obj += "f " + corner(indices[i], geometry, bases) + " " + corner(indices[i + 1], geometry, bases) +
                   " " + corner(indices[i + 2], geometry, bases) + "\n";
        }
        if (leftOut != 0) {
            warnings.push_back("mesh " + mesh.nodeName + ": " + std::to_string(leftOut) +
                               " triangles name a vertex twice; left out of the OBJ file");
        }
        bases.position += geometry.positions.size();
        bases.uv += geometry.uvs.size();
        bases.normal += geometry.normals.size();
    }
    if (defaultUsed) mtl += std::string("newmtl ") + kDefaultMaterialName + "\n" + kUntexturedColour;
    const std::string mtlName = companionFileName(path, digestHex(mtl));
    obj.insert(0, "# OrvexImp\nmtllib " + mtlName + "\n");
    const std::string mtlPath = pathBeside(path, mtlName);
    files.push_back({mtlPath, mtl});
    files.push_back({path, obj});
    writeFilesAtomically(files);
    return mtlPath;
}

}  // namespace orvex::writers
