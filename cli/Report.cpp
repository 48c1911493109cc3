#include "cli/Report.h"

#include "materials/PathExists.h"
#include "writers/AtomicFile.h"

#include <nlohmann/json.hpp>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>

namespace orvex::cli {

namespace {

using Json = nlohmann::ordered_json;

// "NAME.2048.dds" → 2048: the level that the plug-in chose by name.
std::optional<int> levelOf(const std::string& path) {
    const std::size_t extension = path.rfind('.');
    if (extension == std::string::npos || extension == 0) return std::nullopt;
    const std::size_t level = path.rfind('.', extension - 1);
    if (level == std::string::npos) return std::nullopt;
    const std::string digits = path.substr(level + 1, extension - level - 1);
    if (digits.empty() || digits.size() > 5 || digits.find_first_not_of("0123456789") != std::string::npos)
        return std::nullopt;
    return std::atoi(digits.c_str());
}

template <typename T>
Json orNull(const std::optional<T>& value) {
    return value ? Json(*value) : Json(nullptr);
}

Json toJson(const FileRecord& record, ReportTexts texts) {
    const auto text = [texts](const std::string& bytes) {
        return texts == ReportTexts::kExact ? textJson(bytes) : Json(bytes);
    };
    const auto textList = [&text](const std::vector<std::string>& list) {
        Json array = Json::array();
        for (const std::string& bytes : list) array.push_back(text(bytes));
        return array;
    };
    Json textures = Json::array();
    for (const TextureRecord& texture : record.textures) {
        textures.push_back({{"resolved", text(texture.resolved)},
                            {"found", texture.found ? text(*texture.found) : Json(nullptr)},
                            {"resolution", orNull(texture.resolution)}});
    }
    Json entry = {{"input", text(record.input)}, {"status", record.status}};
    if (record.status != "converted") entry["reason"] = text(record.reason);
    if (!record.why.empty()) entry["why"] = text(record.why);
    if (record.trusted) entry["record"] = toJson(*record.trusted);
    entry["outputs"] = textList(record.outputs);
    entry["meshes"] = record.meshes;
    entry["vertices"] = record.vertices;
    entry["triangles"] = record.triangles;
    entry["textures"] = std::move(textures);
    entry["warnings"] = textList(record.warnings);
    entry["seconds"] = record.seconds;
    return entry;
}

std::vector<std::string> textsFrom(const Json& array) {
    std::vector<std::string> list;
    for (const Json& text : array) list.push_back(textFrom(text));
    return list;
}

FileRecord fromJson(const Json& entry) {
    FileRecord record;
    record.input = textFrom(entry.at("input"));
    record.status = entry.at("status").get<std::string>();
    if (entry.contains("reason")) record.reason = textFrom(entry["reason"]);
    record.outputs = textsFrom(entry.at("outputs"));
    record.meshes = entry.at("meshes").get<std::size_t>();
    record.vertices = entry.at("vertices").get<std::size_t>();
    record.triangles = entry.at("triangles").get<std::size_t>();
    for (const Json& texture : entry.at("textures")) {
        TextureRecord parsed{textFrom(texture.at("resolved")), std::nullopt, std::nullopt};
        if (!texture.at("found").is_null()) parsed.found = textFrom(texture.at("found"));
        if (!texture.at("resolution").is_null()) parsed.resolution = texture.at("resolution").get<int>();
        record.textures.push_back(std::move(parsed));
    }
    record.warnings = textsFrom(entry.at("warnings"));
    record.seconds = entry.at("seconds").get<double>();
    return record;
}

}  // namespace

TextureRecord describeTexture(const std::string& resolvedPath) {
    TextureRecord record{resolvedPath, findExistingPath(resolvedPath), std::nullopt};
    if (record.found) record.resolution = levelOf(*record.found);
    return record;
}

void describeScene(const standin::Scene& scene, FileRecord& record) {
    std::set<std::string> textures;
    for (const standin::Node& node : scene.nodes()) {
        if (node.type == "mesh") {
            ++record.meshes;
            record.vertices += node.mesh.points.size();
            for (int corners : node.mesh.polygonCounts) record.triangles += corners > 2 ? corners - 2 : 0;
        } else if (node.type == "file") {
            const auto name = node.stringValues.find("fileTextureName");
            if (name != node.stringValues.end() && textures.insert(name->second).second)
                record.textures.push_back(describeTexture(name->second));
        }
    }
}

void writeReport(const std::string& path, const std::vector<FileRecord>& files, ReportTexts texts) {
    std::size_t counts[3] = {0, 0, 0};
    Json entries = Json::array();
    for (const FileRecord& record : files) {
        counts[0] += record.status == "converted";
        counts[1] += record.status == "skipped";
        counts[2] += record.status == "failed";
        entries.push_back(toJson(record, texts));
    }
    const Json report = {{"converted", counts[0]},
                         {"skipped", counts[1]},
                         {"failed", counts[2]},
                         {"files", std::move(entries)}};
    // Paths and names are bytes from the file system and the model files;
    // for people, what is not UTF-8 is replaced rather than refusing to
    // write the report.
    writers::writeFileAtomically(path, report.dump(2, ' ', false, Json::error_handler_t::replace) + "\n");
}

std::optional<FileRecord> readFirstRecord(const std::string& path) {
    try {
        std::ifstream in(std::filesystem::u8path(path), std::ios::binary);
        if (!in) return std::nullopt;
        const Json report = Json::parse(std::istreambuf_iterator<char>(in), {}, nullptr, false);
        if (report.is_discarded() || !report.contains("files") || !report["files"].is_array() ||
            report["files"].empty())
            return std::nullopt;
        return fromJson(report["files"][0]);
    } catch (const std::exception&) {  // nlohmann's, or a text's bytes that are no hexadecimal
        return std::nullopt;
    }
}

}  // namespace orvex::cli
