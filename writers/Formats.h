#ifndef ORVEX_WRITERS_FORMATS_H
#define ORVEX_WRITERS_FORMATS_H

// The writer of each output format. Each throws WriteError when a file
// cannot be written and std::bad_alloc when memory runs out.

#include "writers/ExportScene.h"
#include "writers/TextureFiles.h"

#include <standin/Scene.h>

#include <filesystem>
#include <string>

namespace orvex::writers {

// The path of the file named `name` in the directory of `path`.
inline std::string pathBeside(const std::string& path, const std::string& name) {
    return (std::filesystem::u8path(path).parent_path() / std::filesystem::u8path(name)).u8string();
}

// The file name of `path` without its extension.
inline std::string stemOf(const std::string& path) {
    return std::filesystem::u8path(path).stem().u8string();
}

// The file of a texture's image beside any output, a PNG or the game's DDS
// file: its name is the texture's name and a digest of the file's bytes.
// Outputs written into one folder then share each identical image in one
// file, and images that differ never take each other's name, even when
// models from different games name their textures alike.
struct ImageFile {
    std::string name;
    const std::string& bytes;
};
ImageFile imageFileOf(const ExportTexture& texture, TextureFiles files);

// glTF 2.0: JSON with the buffer and the PNG images in files beside it, or,
// `binary`, one GLB file that holds them. Returns the path of the buffer
// file beside a JSON output (see Companion.h), or empty.
std::string writeGltf(const ExportScene& scene, const std::string& path, bool binary);

// Binary FBX 7.4, with the images (`files`) beside it or, `embedTextures`,
// the PNG images inside it. Throws WriteError as well for a file past what
// FBX 7.4's 32-bit offsets can describe.
void writeFbx(const ExportScene& scene, const std::string& path, bool embedTextures, TextureFiles files);

// Wavefront OBJ, with its materials in an MTL file and the images (`files`)
// beside it. Returns the path of the MTL file (see Companion.h).
std::string writeObj(const ExportScene& scene, const std::string& path, TextureFiles files,
                     std::vector<std::string>& warnings);

// The whole host scene as JSON, in the layout that docs/scene-json.md
// describes, with the names the outputs give the model and its meshes where
// there is a source.
void writeSceneJson(const standin::Scene& scene, const SourceModel* source, const std::string& path);

}  // namespace orvex::writers

#endif
