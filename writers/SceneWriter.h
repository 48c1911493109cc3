#ifndef ORVEX_WRITERS_SCENEWRITER_H
#define ORVEX_WRITERS_SCENEWRITER_H

// Writes the stand-in host's scene to a file whose extension picks the
// format:
//   .gltf  glTF 2.0 JSON, with NAME.bin and the PNG images beside it
//   .glb   glTF 2.0 binary, one file with the images inside
//   .obj   Wavefront OBJ, with NAME.mtl and the PNG images beside it
//   .fbx   binary FBX 7.4, with the PNG images beside it or inside it
//   .json  every node, connection and set of the scene (docs/scene-json.md)
// The mesh formats hold one mesh per host mesh shape in creation order, with
// the Lambert shader of its shading group as its material and that shader's
// colour texture, read from the DDS file that the file texture node names,
// as its image. The same scene always gives the same bytes.

#include "writers/ExportScene.h"
#include "writers/TextureFiles.h"
#include "writers/WriteError.h"

#include <standin/Scene.h>

#include <optional>
#include <string>
#include <vector>

namespace orvex::writers {

enum class Format { kGltf, kGlb, kObj, kFbx, kJson };

// The format for a path's extension, in any letter case, or nothing.
std::optional<Format> formatForPath(const std::string& path);

struct WriteOptions {
    // FBX: the images go inside the file (each Video's content) instead of
    // beside it, so that the output is one file.
    bool embedTextures = false;
    // OBJ and FBX with images beside them: PNG images, or the game's DDS
    // files as they are. glTF always holds PNG.
    TextureFiles textureFiles = TextureFiles::kPng;
};

struct WriteReport {
    // One line each: what was left out or changed to make the output valid.
    std::vector<std::string> warnings;
    // Every file written, the output itself last.
    std::vector<std::string> files;
};

// The host scene as the outputs see it, with what the model file it was
// imported from adds (the names, see SourceModel): its meshes, materials
// and textures are collected once for every output written from it.
class SceneView {
public:
    explicit SceneView(const standin::Scene& scene, std::optional<SourceModel> source = std::nullopt)
        : fScene(scene), fSource(std::move(source)) {}

    const standin::Scene& scene() const { return fScene; }
    const SourceModel* source() const { return fSource ? &*fSource : nullptr; }
    // Collected on first use, which adds to `warnings` what it left out or
    // made good. Throws std::bad_alloc.
    ExportScene& exported(std::vector<std::string>& warnings);

private:
    const standin::Scene& fScene;
    std::optional<SourceModel> fSource;
    std::optional<ExportScene> fExported;
};

// Writes the scene. Every file appears whole or not at all, companions
// before the file that names them (see writeFilesAtomically). Throws
// WriteError for an unknown extension, a file that cannot be written, or
// memory running out.
WriteReport writeScene(SceneView& view, const std::string& outputPath, const WriteOptions& options = {});

// The same for a scene of no model file: named as the host names it.
WriteReport writeScene(const standin::Scene& scene, const std::string& outputPath,
                       const WriteOptions& options = {});

}  // namespace orvex::writers

#endif
