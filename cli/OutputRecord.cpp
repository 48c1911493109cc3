#include "cli/OutputRecord.h"

#include "cli/System.h"
#include "materials/PathExists.h"
#include "materials/TexturePath.h"
#include "model/Model.h"
#include "writers/AtomicFile.h"
#include "writers/NameText.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <new>
#include <set>
#include <stdexcept>
#include <system_error>

namespace orvex::cli {

namespace {

namespace fs = std::filesystem;
using Json = nlohmann::ordered_json;

}  // namespace

Json textJson(const std::string& text) {
    try {
        (void)Json(text).dump();
        return text;
    } catch (const Json::type_error&) {
        static const char kDigits[] = "0123456789abcdef";
        std::string hex;
        for (const char c : text) {
            const auto byte = static_cast<unsigned char>(c);
            hex += kDigits[byte >> 4];
            hex += kDigits[byte & 0xF];
        }
        return Json{{"bytes", hex}};
    }
}

std::string textFrom(const Json& json) {
    if (json.is_string()) return json.get<std::string>();
    const std::string hex = json.at("bytes").get<std::string>();
    if (hex.size() % 2 != 0) throw std::invalid_argument("bytes of odd length");
    std::string text;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2) text += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
    return text;
}

namespace {

Json fileJson(const FileState& file) {
    return {{"path", textJson(file.path)}, {"size", file.size}, {"digest", file.digest}};
}

FileState fileFrom(const Json& json) {
    return {textFrom(json.at("path")), json.at("size").get<std::uint64_t>(), json.at("digest").get<std::string>()};
}

std::optional<FileState> stateOf(const std::string& path, DigestCache& digests) {
    const std::optional<writers::FileDigest> digest = digests.digest(path);
    if (!digest) return std::nullopt;
    return FileState{path, digest->size, digest->digest};
}

std::string fileNameOf(const std::string& path) {
    return fs::u8path(path).filename().u8string();
}

// The texture file as the game names it, under its content root: how a
// modder finds it.
std::string shownTexture(const std::string& path, const std::string& contentRoot) {
    std::string root = contentRoot;
    if (fs::path::preferred_separator == '/') std::replace(root.begin(), root.end(), '\\', '/');
    const fs::path relative = fs::u8path(path).lexically_relative(fs::u8path(root));
    const std::string shown = relative.generic_u8string();
    return relative.empty() || shown.rfind("..", 0) == 0 ? path : shown;
}

// Paths as the file system tells them apart: a batch run again with its
// folder typed in other letter case on Windows finds the same files.
bool samePath(const std::string& path, const std::string& other) {
    return nameKey(path) == nameKey(other);
}

std::string whatTextureChanged(const TextureState& then, const TextureState& now, const std::string& contentRoot) {
    if (then.found && now.found && samePath(then.found->path, now.found->path)) {
        if (then.found->digest == now.found->digest && then.found->size == now.found->size) return {};
        return shownTexture(now.found->path, contentRoot) + " changed";
    }
    if (then.found) {
        std::error_code error;
        if (!fs::exists(fs::u8path(then.found->path), error)) {
            return shownTexture(then.found->path, contentRoot) + " is gone: the import now " +
                   (now.found ? "uses " + fileNameOf(now.found->path) + " instead"
                              : "finds no file for texture " + now.name);
        }
        // The file stands, but the import's search no longer leads to it: a
        // folder in the name's own letter case now hides the one it was
        // found in, or the working folder a loose model's textures are
        // looked for from is another.
        if (!now.found) {
            return "the import now finds no file for texture " + now.name + " (it used " +
                   shownTexture(then.found->path, contentRoot) + ")";
        }
    }
    if (now.found) {
        return shownTexture(now.found->path, contentRoot) + " is new: the import now uses it" +
               (then.found ? " instead of " + fileNameOf(then.found->path) : std::string());
    }
    if (!samePath(then.resolved, now.resolved))
        return "texture " + now.name + " is now looked for as " + now.resolved;
    return {};
}

}  // namespace

std::optional<writers::FileDigest> DigestCache::digest(const std::string& path) {
    const auto known = fDigests.find(path);
    if (known != fDigests.end()) return known->second;
    return fDigests.emplace(path, writers::digestFile(path)).first->second;
}

std::optional<InputState> readInputs(const std::string& modelPath, DigestCache& digests) {
    InputState state;
    // The digest is taken first: what the load and the conversion read after
    // it cannot be older.
    const std::optional<FileState> model = stateOf(modelPath, digests);
    if (!model) return std::nullopt;
    state.model = *model;
    Model loaded;
    try {
        if (!loadModel(modelPath, loaded)) return std::nullopt;
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
    state.contentRoot = loaded.contentRoot;
    std::set<std::string> names;
    for (const ModelMesh& mesh : loaded.meshes) {
        ++state.meshes;
        state.vertices += mesh.vertexCount;
        state.triangles += mesh.indexCount / 3;
        if (!names.insert(mesh.names[0]).second) continue;
        TextureState texture{mesh.names[0], resolveTexturePath(mesh.names[0], loaded), std::nullopt};
        if (const std::optional<std::string> found = findExistingPath(texture.resolved)) {
            // A texture that cannot be read is recorded as found with no
            // digest, which no readable file matches.
            texture.found = stateOf(*found, digests).value_or(FileState{*found, 0, {}});
        }
        state.textures.push_back(std::move(texture));
    }
    return state;
}

namespace {

std::string changeSince(const OutputRecord& record, const OutputRecord& current,
                        const std::string& outputFolder, DigestCache& digests) {
    if (record.options != current.options)
        return "it was made with " + record.options + ", this run asks for " + current.options;
    if (record.program != current.program) return "this program changed since it was made";
    if (record.plugin != current.plugin) return "the plug-in changed since it was made";
    for (const FileState& output : record.outputs) {
        const std::string path = (fs::u8path(outputFolder) / fs::u8path(output.path)).u8string();
        const std::optional<FileState> now = stateOf(path, digests);
        if (!now) return path + " is missing";
        if (now->size != output.size || now->digest != output.digest) return path + " was changed";
    }
    if (record.inputs.model.size != current.inputs.model.size ||
        record.inputs.model.digest != current.inputs.model.digest)
        return "the model changed since it was converted";
    const std::vector<TextureState>& then = record.inputs.textures;
    for (const TextureState& now : current.inputs.textures) {
        const auto before = std::find_if(then.begin(), then.end(),
                                         [&](const TextureState& texture) { return texture.name == now.name; });
        if (before == then.end()) return "the model now uses texture " + now.name;
        const std::string change = whatTextureChanged(*before, now, current.inputs.contentRoot);
        if (!change.empty()) return change;
    }
    return {};
}

}  // namespace

std::string whatChanged(const OutputRecord& record, const OutputRecord& current,
                        const std::string& outputFolder, DigestCache& digests) {
    // Texture names are bytes of the model, which may break a line: the
    // line is written as names are.
    return writers::nameText(changeSince(record, current, outputFolder, digests));
}

Json toJson(const OutputRecord& record) {
    Json textures = Json::array();
    for (const TextureState& texture : record.inputs.textures) {
        textures.push_back({{"name", textJson(texture.name)},
                            {"resolved", textJson(texture.resolved)},
                            {"found", texture.found ? fileJson(*texture.found) : Json(nullptr)}});
    }
    Json outputs = Json::array();
    for (const FileState& output : record.outputs) outputs.push_back(fileJson(output));
    return {{"program", record.program},
            {"plugin", record.plugin},
            {"options", record.options},
            {"model", fileJson(record.inputs.model)},
            {"contentRoot", textJson(record.inputs.contentRoot)},
            {"meshes", record.inputs.meshes},
            {"vertices", record.inputs.vertices},
            {"triangles", record.inputs.triangles},
            {"textures", std::move(textures)},
            {"outputs", std::move(outputs)}};
}

std::optional<OutputRecord> readRecord(const std::string& path) {
    // A record that cannot be read, whatever the reason, is no record: its
    // output is converted again.
    try {
        std::ifstream in(fs::u8path(path), std::ios::binary);
        if (!in) return std::nullopt;
        const Json json = Json::parse(std::istreambuf_iterator<char>(in), {}, nullptr, false);
        if (!json.is_object()) return std::nullopt;
        OutputRecord record;
        record.program = json.at("program").get<std::string>();
        record.plugin = json.at("plugin").get<std::string>();
        record.options = json.at("options").get<std::string>();
        record.inputs.model = fileFrom(json.at("model"));
        record.inputs.contentRoot = textFrom(json.at("contentRoot"));
        record.inputs.meshes = json.at("meshes").get<std::size_t>();
        record.inputs.vertices = json.at("vertices").get<std::size_t>();
        record.inputs.triangles = json.at("triangles").get<std::size_t>();
        for (const Json& texture : json.at("textures")) {
            TextureState state{textFrom(texture.at("name")), textFrom(texture.at("resolved")), std::nullopt};
            if (!texture.at("found").is_null()) state.found = fileFrom(texture.at("found"));
            record.inputs.textures.push_back(std::move(state));
        }
        for (const Json& output : json.at("outputs")) record.outputs.push_back(fileFrom(output));
        return record;
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

void writeRecord(const std::string& path, const OutputRecord& record) {
    std::error_code ignored;  // a folder that cannot be made fails the write, which says so
    fs::create_directories(fs::u8path(path).parent_path(), ignored);
    writers::writeFileAtomically(path, toJson(record).dump(2) + "\n");
}

}  // namespace orvex::cli
