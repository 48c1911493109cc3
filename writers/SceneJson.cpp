#include "writers/AtomicFile.h"
#include "writers/Formats.h"
#include "writers/NameText.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <charconv>

namespace orvex::writers {

namespace {

using Json = nlohmann::ordered_json;

constexpr int kLayoutVersion = 1;

// The shortest decimal that reads back as the same 32-bit float, so that
// 0.1f shows as 0.1 and not as the double nearest to it. Not-a-number and
// the infinities have no JSON form and become null.
Json number(float value) {
    char digits[32];
    const std::to_chars_result written = std::to_chars(digits, digits + sizeof digits, value);
    double shortest = 0.0;
    if (std::from_chars(digits, written.ptr, shortest).ec != std::errc()) return nullptr;
    return shortest;
}

Json numbers(const std::vector<float>& values) {
    Json list = Json::array();
    for (const float value : values) list.push_back(number(value));
    return list;
}

Json meshJson(const standin::MeshData& mesh) {
    Json points = Json::array();
    for (const standin::Point& p : mesh.points)
        points.push_back({number(p.x), number(p.y), number(p.z), number(p.w)});
    Json uvSets = Json::array();
    for (const standin::UVSet& set : mesh.uvSets) {
        uvSets.push_back({{"name", set.name},
                          {"u", numbers(set.u)},
                          {"v", numbers(set.v)},
                          {"uvCounts", standin::uvCountsOf(mesh, set)},
                          {"uvIds", standin::uvIdsOf(mesh, set)}});
    }
    Json normals = Json::array();
    for (const standin::Normal& n : mesh.vertexNormals)
        normals.push_back({number(n.x), number(n.y), number(n.z)});
    Json locked = Json::array();
    for (const bool flag : mesh.normalLocked) locked.push_back(flag);
    return {{"points", std::move(points)},
            {"polygonCounts", mesh.polygonCounts},
            {"polygonConnects", mesh.polygonConnects},
            {"uvSets", std::move(uvSets)},
            {"vertexNormals", std::move(normals)},
            {"normalLocked", std::move(locked)}};
}

// Indented like dump(2), except that an array holding no object or array
// stays on one line, so that a point or a list of connects reads as one
// line, and that empty objects and arrays stay closed. Scalars are written
// as dump() writes them, by one serializer for the whole document: dump()
// per scalar would set one up, with its buffers, for each of the file's
// numbers.
class ReadableText {
public:
    explicit ReadableText(std::string& out)
        : out_(out),
          // Host strings are bytes without a declared encoding; what is not
          // UTF-8 becomes U+FFFD rather than failing the whole file.
          scalars_(nlohmann::detail::output_adapter<char, std::string>(out), ' ', Json::error_handler_t::replace) {}

    void append(const Json& value, std::size_t depth) {
        const bool nested =
            !value.empty() && (value.is_object() || std::any_of(value.begin(), value.end(), [](const Json& item) {
                                   return item.is_structured();
                               }));
        if (!nested) {
            if (value.is_array()) {
                out_ += '[';
                for (auto item = value.begin(); item != value.end(); ++item) {
                    if (item != value.begin()) out_ += ", ";
                    appendScalar(*item);
                }
                out_ += ']';
            } else {
                appendScalar(value);
            }
            return;
        }
        const std::string indent(2 * (depth + 1), ' ');
        out_ += value.is_object() ? '{' : '[';
        for (auto item = value.begin(); item != value.end(); ++item) {
            out_ += item == value.begin() ? "\n" : ",\n";
            out_ += indent;
            if (value.is_object()) {
                appendScalar(item.key());
                out_ += ": ";
            }
            append(*item, depth + 1);
        }
        out_ += "\n" + std::string(2 * depth, ' ') + (value.is_object() ? '}' : ']');
    }

private:
    void appendScalar(const Json& value) { scalars_.dump(value, false, false, 0); }

    std::string& out_;
    nlohmann::detail::serializer<Json> scalars_;
};

std::string nameOf(const standin::Scene& scene, standin::NodeId id) {
    const standin::Node* node = scene.find(id);
    return node != nullptr ? node->name : std::string();
}

Json nodeJson(const standin::Scene& scene, const standin::Node& node) {
    Json json = {
        {"name", node.name},
        {"type", node.type},
        {"parent", node.parent == standin::kNoNode ? Json(nullptr) : Json(nameOf(scene, node.parent))},
        {"dag", node.dag},
        {"values", node.stringValues}};
    if (node.type == "mesh") json["mesh"] = meshJson(node.mesh);
    if (node.type == "shadingEngine" || !node.members.empty()) {
        Json members = Json::array();
        for (const standin::NodeId member : node.members) members.push_back(nameOf(scene, member));
        json["members"] = std::move(members);
    }
    return json;
}

// How the outputs name the file's model and meshes: the file's names, as
// text, by the host's mesh shape.
Json modelJson(const standin::Scene& scene, const SourceModel& source) {
    Json meshes = Json::array();
    for (const MeshNaming& naming : nameMeshes(scene, &source)) {
        Json mesh = {{"shape", nameOf(scene, naming.shape)}, {"name", naming.name}};
        if (naming.sourceMesh) {
            Json names = Json::array();
            for (const std::string& name : source.meshes[*naming.sourceMesh].names) names.push_back(nameText(name));
            mesh["position"] = *naming.sourceMesh;
            mesh["names"] = std::move(names);
        }
        meshes.push_back(std::move(mesh));
    }
    return {{"name", nameText(source.name)}, {"meshes", std::move(meshes)}};
}

}  // namespace

void writeSceneJson(const standin::Scene& scene, const SourceModel* source, const std::string& path) {
    Json nodes = Json::array();
    for (const standin::Node& node : scene.nodes()) nodes.push_back(nodeJson(scene, node));
    Json connections = Json::array();
    for (const standin::Connection& c : scene.connections()) {
        connections.push_back(
            {{"source", nameOf(scene, c.sourceNode) + "." + c.sourceAttribute},
             {"destination", nameOf(scene, c.destinationNode) + "." + c.destinationAttribute}});
    }
    Json document = {
        {"version", kLayoutVersion}, {"nodes", std::move(nodes)}, {"connections", std::move(connections)}};
    if (source != nullptr) document["model"] = modelJson(scene, *source);
    std::string text;
    ReadableText(text).append(document, 0);
    writeFileAtomically(path, text + "\n");
}

}  // namespace orvex::writers
