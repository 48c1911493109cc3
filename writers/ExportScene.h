#ifndef ORVEX_WRITERS_EXPORTSCENE_H
#define ORVEX_WRITERS_EXPORTSCENE_H

// What the mesh formats (glTF, GLB, OBJ, FBX) write, gathered once from the
// host scene: triangle meshes with their materials and decoded textures.

#include <standin/Scene.h>

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace orvex::writers {

struct ExportTexture {
    std::string imageName;  // ends in ".png"; unique among the scene's images, ignoring case
                            // (imageFileName gives its file beside an output)
    std::string png;        // the encoded image
};

struct ExportMaterial {
    std::string name;                    // the shader node's name
    std::optional<std::size_t> texture;  // into ExportScene::textures
};

// A mesh as it is written. Its geometry stays in the host scene, which
// outlives this, and is made for writing one mesh at a time (geometryOf),
// so that the scene's arrays are never held twice over.
struct ExportMesh {
    std::string nodeName;  // the transform's name
    std::string meshName;  // the shape's name
    const standin::MeshData* data = nullptr;
    std::size_t vertexCount = 0;
    std::size_t indexCount = 0;
    bool hasNormals = false;
    bool hasUvs = false;
    std::array<float, 3> minimum{};  // of the positions as written
    std::array<float, 3> maximum{};
    std::optional<std::size_t> material;  // into ExportScene::materials
};

struct MeshGeometry {
    std::vector<std::array<float, 3>> positions;
    std::vector<std::array<float, 3>> normals;  // one unit vector per position, or empty
    std::vector<std::array<float, 2>> uvs;      // (u, v) as the host holds them, one per position, or empty
    std::vector<std::uint32_t> indices;         // three per triangle, each below positions.size()
};

struct ExportScene {
    std::vector<ExportMesh> meshes;  // in creation order, each with at least one triangle
    std::vector<ExportMaterial> materials;
    std::vector<ExportTexture> textures;
};

// Gathers every mesh shape of the scene in creation order, with the material
// of its shading group and the level 0 image of that material's colour
// texture, read through the texture's game path. What cannot be written as
// it stands (a mesh without triangles, a texture that is missing or cannot
// be decoded, invalid numbers) is left out or made good, with a warning line
// added for each. Throws std::bad_alloc when memory runs out.
ExportScene collectScene(const standin::Scene& scene, std::vector<std::string>& warnings);

// Makes `geometry` that of a collected mesh, made good as collectScene
// described it. Its vectors keep their storage for the next mesh. Throws
// std::bad_alloc when memory runs out.
void geometryOf(const ExportMesh& mesh, MeshGeometry& geometry);

}  // namespace orvex::writers

#endif
