#ifndef ORVEX_WRITERS_EXPORTSCENE_H
#define ORVEX_WRITERS_EXPORTSCENE_H

// What every output shows of an imported scene (the mesh formats glTF, GLB,
// OBJ and FBX, and the rendered previews), gathered once from the host scene:
// triangle meshes with their materials and decoded textures, named after
// what the model file holds.

#include "writers/Digest.h"
#include "writers/Image.h"

#include <standin/Scene.h>

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace orvex::writers {

// What the model file holds that the host scene does not: the model's name
// and each mesh's three names (the texture name first), by which the
// outputs name what they hold. The host makes one mesh for each mesh of the
// file that it accepts, in the file's order, with the file's points and
// corners; host meshes are matched to the file's by both in that order.
struct SourceMesh {
    std::array<std::string, 3> names;  // bytes, as the file holds them
    std::size_t vertexCount = 0;
    std::size_t triangleCount = 0;
    std::string pointsDigest;   // of its points as the host holds them, by PointsDigest
    std::string cornersDigest;  // of its corners' vertex numbers, by CornersDigest
};

struct SourceModel {
    std::string name;  // the model file's name without its extension
    std::vector<SourceMesh> meshes;  // in the file's order
};

// A digest of points, added x, y and z in turn.
class PointsDigest {
public:
    void add(float x, float y, float z);
    std::string hex() const { return fDigest.hex(); }

private:
    Digest fDigest;
};

// A digest of a mesh's corners: the vertex number of each, in turn.
class CornersDigest {
public:
    void add(int corner) { fDigest.add(&corner, sizeof corner); }
    std::string hex() const { return fDigest.hex(); }

private:
    Digest fDigest;
};

// The name of each mesh of a model in the outputs: the model's name, the
// mesh's position in the file, and the last part of its texture name, if it
// has one: "yard.0 crate" for the first mesh of yard.model, whose texture is
// "props\crate". Names are text (NameText.h).
std::string meshObjectName(const std::string& modelName, std::size_t position, const std::string& textureName);

// Each mesh shape of the host scene in creation order, as the outputs name
// it: the file's mesh it was made from, or, without a source or a match, the
// name of its transform.
struct MeshNaming {
    standin::NodeId shape = standin::kNoNode;
    std::string name;
    std::optional<std::size_t> sourceMesh;  // into SourceModel::meshes
};
std::vector<MeshNaming> nameMeshes(const standin::Scene& scene, const SourceModel* source);

struct ExportTexture {
    std::string imageName;  // ends in ".png"; unique among the scene's images, ignoring case
                            // (imageFileOf gives its file beside an output)
    Image pixels;           // decoded, level 0
    std::string png;        // the encoded image, once encodeImages has run
    std::string ddsPath;    // the DDS file it was decoded from, as found on disk
    std::string dds;        // that file's bytes, once readDdsFiles has run
};

// With a source, one material per texture, named after its last part
// ("crate"; "crate-2" for a second texture of that name), and one named
// "untextured" for the meshes without; without one, one per shader, with
// the shader's name.
struct ExportMaterial {
    std::string name;
    std::optional<std::size_t> texture;  // into ExportScene::textures
};

// A mesh as it is written. Its geometry stays in the host scene, which
// outlives this, and is made for writing one mesh at a time (geometryOf),
// so that the scene's arrays are never held twice over.
struct ExportMesh {
    std::string nodeName;  // with a source the mesh's name, else the transform's
    std::string meshName;  // with a source the mesh's name, else the shape's
    std::optional<std::array<std::string, 3>> sourceNames;  // the file's names of it, as bytes
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
    std::string rootName;  // with a source, the model's name, which the outputs give one parent of all
    std::vector<ExportMesh> meshes;  // in creation order, each with at least one triangle
    std::vector<ExportMaterial> materials;
    std::vector<ExportTexture> textures;
};

// Gathers every mesh shape of the scene in creation order, with the material
// of its shading group and the level 0 image of that material's colour
// texture, read through the texture's game path, named after `source` where
// there is one. What cannot be written as it stands (a mesh without
// triangles, a texture that is missing or cannot be decoded, invalid
// numbers) is left out or made good, with a warning line added for each.
// Throws std::bad_alloc when memory runs out.
ExportScene collectScene(const standin::Scene& scene, const SourceModel* source, std::vector<std::string>& warnings);

// Encodes each texture's PNG that is not yet encoded, for the outputs that
// hold images. Throws std::bad_alloc.
void encodeImages(ExportScene& scene);

// Reads each texture's DDS file whole, for the outputs that keep the game's
// files. False, with `whyNot` naming the file and the reason, when one can
// no longer be read. Throws std::bad_alloc.
bool readDdsFiles(ExportScene& scene, std::string& whyNot);

// Makes `geometry` that of a collected mesh, made good as collectScene
// described it. Its vectors keep their storage for the next mesh. Throws
// std::bad_alloc when memory runs out.
void geometryOf(const ExportMesh& mesh, MeshGeometry& geometry);

}  // namespace orvex::writers

#endif
