#ifndef ORVEX_CLI_CONVERT_H
#define ORVEX_CLI_CONVERT_H

#include "render/Render.h"
#include "writers/SceneWriter.h"

#include <optional>
#include <string>
#include <vector>

namespace orvex::cli {

// True when the path names a rendered preview rather than a scene file.
bool isPngPath(const std::string& path);

// The path of an input as the plug-in is given it, and as all that must
// find the textures it finds takes it: absolute, since the content root is
// the part of the path up to "\content\", which a path relative to a folder
// below it does not hold; and without "." and empty names, or ".." that
// climbs out of the working folder, so that the outputs and a batch's
// records of a file do not depend on those. Links stay as they are typed.
std::string importPath(const std::string& input);

// What the model file at `input` adds to the scene imported from it: its
// name and the names of its meshes (see writers::SourceModel); nothing when
// it cannot be read. Adds to `warnings` a line saying where the file is
// damaged, when the import lost data there. Throws std::bad_alloc.
std::optional<writers::SourceModel> readSourceModel(const std::string& input,
                                                    std::vector<std::string>& warnings);

// Writes the imported scene to `output`: a preview rendered with `render`
// when it ends in .png, else the scene in the format its extension names,
// written with `write`.
// Throws WriteError when the file cannot be written or its format is
// unknown, std::bad_alloc when memory runs out.
struct Written {
    std::vector<std::string> warnings;  // one line each: what was left out or made good
    std::vector<std::string> files;     // every file written, the output last
};
Written writeImportedScene(writers::SceneView& view, const std::string& output,
                           const render::RenderOptions& render, const writers::WriteOptions& write = {});

}  // namespace orvex::cli

#endif
