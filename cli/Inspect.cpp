#include "cli/Inspect.h"

#include "cli/Convert.h"

#include "materials/PathExists.h"
#include "materials/TexturePath.h"
#include "model/Model.h"
#include "writers/NameText.h"

#include <nlohmann/json.hpp>

#include <filesystem>
#include <iomanip>
#include <new>
#include <optional>

namespace orvex::cli {

namespace {

struct MeshReport {
    const ModelMesh* mesh;
    std::string texturePath;
    std::optional<std::string> textureFile;  // as this system names it, when found
};

std::vector<MeshReport> describeMeshes(const Model& model)
{
    std::vector<MeshReport> reports;
    for (const ModelMesh& mesh : model.meshes) {
        std::string path = resolveTexturePath(mesh.names[0], model);
        std::optional<std::string> file = findExistingPath(path);
        reports.push_back({&mesh, std::move(path), std::move(file)});
    }
    return reports;
}

void printText(const std::string& path, std::uintmax_t size, const Model& model,
               const std::vector<MeshReport>& meshes, std::ostream& out)
{
    out << "file: " << path << " (" << size << " bytes)\n";
    out << "content root: " << (model.contentRoot.empty() ? "(none)" : model.contentRoot) << "\n";
    out << "meshes: " << meshes.size() << "\n";
    for (std::size_t i = 0; i < meshes.size(); ++i) {
        const ModelMesh& mesh = *meshes[i].mesh;
        out << "  mesh " << i << ": " << mesh.vertexCount << " vertices, " << mesh.indexCount << " indices ("
            << mesh.indexCount / 3 << " triangles)\n";
        out << "    names: " << std::quoted(writers::nameText(mesh.names[0])) << ", "
            << std::quoted(writers::nameText(mesh.names[1])) << ", " << std::quoted(writers::nameText(mesh.names[2]))
            << "\n";
        // The path holds the texture name, which may hold a line break.
        out << "    texture: " << writers::nameText(meshes[i].texturePath);
        if (meshes[i].textureFile) {
            out << " (found: " << writers::nameText(*meshes[i].textureFile) << ")\n";
        } else {
            out << " (missing)\n";
        }
    }
    out << "notes: " << model.notes.size() << "\n";
    for (const LoadNote& note : model.notes) {
        out << "  at byte " << note.offset << ": " << describe(note.kind);
        if (!note.detail.empty()) out << ": " << note.detail;
        out << "\n";
    }
}

void printJson(const std::string& path, std::uintmax_t size, const Model& model,
               const std::vector<MeshReport>& meshes, std::ostream& out)
{
    nlohmann::ordered_json report;
    report["file"] = path;
    report["size"] = size;
    report["contentRoot"] = model.contentRoot;
    report["meshes"] = nlohmann::ordered_json::array();
    for (const MeshReport& entry : meshes) {
        report["meshes"].push_back({
            {"vertexCount", entry.mesh->vertexCount},
            {"indexCount", entry.mesh->indexCount},
            {"triangleCount", entry.mesh->indexCount / 3},
            {"names", {writers::nameText(entry.mesh->names[0]), writers::nameText(entry.mesh->names[1]),
                       writers::nameText(entry.mesh->names[2])}},
            {"texturePath", entry.texturePath},
            {"textureFound", entry.textureFile.has_value()},
            {"textureFile", entry.textureFile ? nlohmann::ordered_json(*entry.textureFile) : nullptr},
        });
    }
    report["notes"] = nlohmann::ordered_json::array();
    for (const LoadNote& note : model.notes) {
        report["notes"].push_back({{"offset", note.offset}, {"kind", describe(note.kind)}, {"detail", note.detail}});
    }
    // Names are written as text (NameText.h), but paths are bytes of the
    // file system and the file; replace what is not UTF-8 rather than
    // refusing to print the report.
    out << report.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace) << "\n";
}

}  // namespace

bool inspectModel(const std::string& path, bool asJson, std::ostream& out)
{
    Model model;
    const std::string fullPath = importPath(path);
    try {
        if (!loadModel(fullPath, model)) return false;
    } catch (const std::bad_alloc&) {
        // A count too large for memory is part of what the file holds, and
        // its note says where; memory that ran out for real is not.
        if (model.notes.empty() || model.notes.back().kind != LoadNote::Kind::TooLarge) throw;
        model.contentRoot = deriveContentRoot(fullPath);
    }
    std::error_code error;
    const std::uintmax_t size = std::filesystem::file_size(std::filesystem::u8path(path), error);
    const std::vector<MeshReport> meshes = describeMeshes(model);
    if (asJson) {
        printJson(path, error ? 0 : size, model, meshes, out);
    } else {
        printText(path, error ? 0 : size, model, meshes, out);
    }
    return true;
}

}  // namespace orvex::cli
