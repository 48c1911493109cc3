#include "cli/Convert.h"

#include "cli/Preview.h"
#include "model/Model.h"
#include "writers/SceneWriter.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <new>

namespace orvex::cli {

bool isPngPath(const std::string& path) {
    std::string extension = std::filesystem::u8path(path).extension().u8string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return extension == ".png";
}

std::string importPath(const std::string& input) {
    namespace fs = std::filesystem;
#ifdef _WIN32
    // Windows makes a path whole by its names alone, "." and ".." included.
    return fs::absolute(fs::u8path(input)).u8string();
#else
    // "." and empty names go, and ".." that climbs out of the working folder,
    // whose path names no link. A ".." after a name that was typed stays:
    // past a link to a folder it leads elsewhere than the name's parent.
    const fs::path typed = fs::u8path(input);
    fs::path whole = typed.is_absolute() ? typed.root_path() : fs::current_path();
    bool named = false;
    for (const fs::path& part : typed.relative_path()) {
        if (part.empty() || part == ".") continue;
        if (part == ".." && !named) {
            whole = whole.parent_path();
            continue;
        }
        named = true;
        whole /= part;
    }
    return whole.u8string();
#endif
}

namespace {

bool lostData(LoadNote::Kind kind) {
    switch (kind) {
        case LoadNote::Kind::Truncated:
        case LoadNote::Kind::Overlap:
        case LoadNote::Kind::MeshDropped:
        case LoadNote::Kind::NamesDropped:
        case LoadNote::Kind::IndicesWithoutMesh:
            return true;
        default:
            // Chunks of kinds the importer does not take, and sizes that
            // disagree with what was read, cost nothing the import uses.
            return false;
    }
}

// The plug-in keeps what it could read of a damaged file and, as a host
// plug-in, says nothing of the rest. One line names the damage: where the
// walk through the file stopped, which explains the other losses, or else
// the first loss; or, where the loader stopped noting single headers before
// any loss, that losses may lie past that point.
std::optional<std::string> damageOf(const Model& model) {
    const LoadNote* shown = nullptr;
    const LoadNote* omitted = nullptr;
    for (const LoadNote& note : model.notes) {
        if (note.kind == LoadNote::Kind::NotesOmitted) omitted = &note;
        if (!lostData(note.kind)) continue;
        const bool stop = note.kind == LoadNote::Kind::Truncated || note.kind == LoadNote::Kind::Overlap;
        if (shown == nullptr || stop) shown = &note;
        if (stop) break;
    }
    if (shown != nullptr) {
        return "the file is damaged: at byte " + std::to_string(shown->offset) + ", " +
               describe(shown->kind) + ": " + shown->detail +
               "; what could not be read is left out (--inspect lists it)";
    }
    if (omitted != nullptr) {
        return "the file may be damaged: from byte " + std::to_string(omitted->offset) +
               " on, the loader skipped more than it lists; what it could not read is left out";
    }
    return std::nullopt;
}

}  // namespace

std::optional<writers::SourceModel> readSourceModel(const std::string& input,
                                                    std::vector<std::string>& warnings) {
    Model model;
    try {
        if (!loadModel(importPath(input), model)) return std::nullopt;
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
    if (std::optional<std::string> damage = damageOf(model)) warnings.push_back(std::move(*damage));
    writers::SourceModel source;
    source.name = std::filesystem::u8path(input).stem().u8string();
    for (const ModelMesh& mesh : model.meshes) {
        // The points as the host holds them, its x and z the file's z and x.
        writers::PointsDigest points;
        for (std::uint32_t k = 0; k < mesh.vertexCount; ++k) {
            const ModelVertex& vertex = mesh.vertices[k];
            points.add(vertex.z, vertex.y, vertex.x);
        }
        writers::CornersDigest corners;
        for (std::uint16_t index : mesh.indices) corners.add(index);
        source.meshes.push_back({mesh.names, mesh.vertexCount, mesh.indexCount / 3, points.hex(), corners.hex()});
    }
    return source;
}

Written writeImportedScene(writers::SceneView& view, const std::string& output,
                           const render::RenderOptions& render, const writers::WriteOptions& write) {
    if (!isPngPath(output)) {
        writers::WriteReport report = writers::writeScene(view, output, write);
        return {std::move(report.warnings), std::move(report.files)};
    }
    Written written;
    writePng(renderPreview(view, render, written.warnings), output);
    written.files.push_back(output);
    return written;
}

}  // namespace orvex::cli
