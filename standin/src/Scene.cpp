#include "Host.h"

#include <standin/Journal.h>

#include <algorithm>

namespace standin {
namespace {

// Ids are never reused, not even across scenes, so that a handle kept from
// an earlier scene finds nothing in the current one.
NodeId gLastId = kNoNode;

const std::map<std::string, std::vector<std::string>>& attributeTable() {
    // A placement node hands each of these to the file texture node of the
    // same name, so both types have them.
    static const std::vector<std::string> kPlacementAttributes = {
        "vertexUvOne", "vertexUvTwo", "vertexUvThree",  "vertexCameraOne", "offset",
        "stagger",     "coverage",    "translateFrame", "mirrorV",         "mirrorU",
        "wrapU",       "wrapV",       "noiseUV",        "rotateUV",        "repeatUV"};
    auto with = [](std::vector<std::string> first, const std::vector<std::string>& rest) {
        first.insert(first.end(), rest.begin(), rest.end());
        return first;
    };
    static const std::map<std::string, std::vector<std::string>> kTable = {
        {"lambert",
         {"color", "outColor", "transparency", "ambientColor", "incandescence", "diffuse",
          "outTransparency"}},
        {"file",
         with({"fileTextureName", "outColor", "outAlpha", "outTransparency", "uvCoord", "uvFilterSize"},
              kPlacementAttributes)},
        {"place2dTexture", with({"outUV", "outUvFilterSize"}, kPlacementAttributes)},
        {"shadingEngine", {"surfaceShader", "volumeShader", "displacementShader", "dagSetMembers"}},
        {"transform", {"translate", "rotate", "scale", "visibility"}},
        {"mesh", {"inMesh", "outMesh", "instObjGroups"}},
    };
    return kTable;
}

bool isDagType(const std::string& type) {
    return type == "transform" || type == "mesh";
}

std::string uniqueName(SceneState& scene, const std::string& prefix) {
    unsigned int& next = scene.nextNumber[prefix];
    for (unsigned int number = std::max(next, 1u);; ++number) {
        std::string name = prefix + std::to_string(number);
        if (scene.byName.count(name) == 0) {
            next = number + 1;
            return name;
        }
    }
}

Node& addNamedNode(SceneState& scene, const std::string& type, const std::string& name, NodeId parent) {
    Node node;
    node.id = ++gLastId;
    node.type = type;
    node.name = name;
    node.parent = parent;
    node.dag = isDagType(type);
    scene.byName.emplace(name, node.id);
    if (node.dag) scene.dagChildren[parent].push_back(node.id);
    scene.nodes.push_back(std::move(node));
    return scene.nodes.back();
}

SceneState defaultScene() {
    SceneState scene;
    const NodeId lambert = addNamedNode(scene, "lambert", "lambert1", kNoNode).id;
    const NodeId group = addNamedNode(scene, "shadingEngine", "initialShadingGroup", kNoNode).id;
    addConnection(scene, {lambert, "outColor", group, "surfaceShader"});
    return scene;
}

std::vector<std::string> splitPath(const std::string& path) {
    std::vector<std::string> parts;
    std::string::size_type start = 0;
    for (;;) {
        const std::string::size_type bar = path.find('|', start);
        parts.push_back(path.substr(start, bar - start));
        if (bar == std::string::npos) return parts;
        start = bar + 1;
    }
}

// Checks a DAG path's components against the node's ancestors, nearest first.
Node* resolvePath(const std::string& path) {
    const bool absolute = path[0] == '|';
    std::vector<std::string> parts = splitPath(absolute ? path.substr(1) : path);
    if (std::find(parts.begin(), parts.end(), std::string()) != parts.end()) return nullptr;
    Node* found = resolveName(parts.back());
    if (!found || !found->dag) return nullptr;
    const Node* current = found;
    for (auto part = parts.rbegin() + 1; part != parts.rend(); ++part) {
        current = findNode(current->parent);
        if (!current || current->name != *part) return nullptr;
    }
    if (absolute && current->parent != kNoNode) return nullptr;
    return found;
}

}  // namespace

void addConnection(SceneState& scene, Connection connection) {
    scene.connectionsInto.emplace(connection.destinationNode, scene.connections.size());
    scene.connections.push_back(std::move(connection));
}

SceneState& sceneState() {
    static SceneState scene = defaultScene();
    return scene;
}

Node* findNode(NodeId id) {
    std::vector<Node>& nodes = sceneState().nodes;
    auto it = std::lower_bound(nodes.begin(), nodes.end(), id,
                               [](const Node& node, NodeId wanted) { return node.id < wanted; });
    return it != nodes.end() && it->id == id ? &*it : nullptr;
}

Node* findNode(const MObject& object) {
    const unsigned int handle = ObjectAccess::handle(object);
    if (handle == kNoNode || (handle & ObjectAccess::kPluginBit) != 0) return nullptr;
    return findNode(handle);
}

Node& addNode(const std::string& type, const std::string& namePrefix, NodeId parent) {
    SceneState& scene = sceneState();
    return addNamedNode(scene, type, uniqueName(scene, namePrefix), parent);
}

bool hasAttribute(const std::string& type, const std::string& attribute) {
    const std::vector<std::string>& names = currentScene().attributes(type);
    return std::find(names.begin(), names.end(), attribute) != names.end();
}

Node* resolveName(const std::string& text) {
    if (text.empty()) return nullptr;
    if (text.find('|') != std::string::npos) return resolvePath(text);
    const std::map<std::string, NodeId>& byName = sceneState().byName;
    auto it = byName.find(text);
    return it == byName.end() ? nullptr : findNode(it->second);
}

std::string plugName(const MPlug& plug) {
    const Node* node = findNode(ObjectAccess::plugNode(plug));
    return (node ? node->name : std::string()) + "." + ObjectAccess::plugAttribute(plug);
}

const std::vector<Node>& Scene::nodes() const {
    return sceneState().nodes;
}

const Node* Scene::find(NodeId id) const {
    return findNode(id);
}

const Node* Scene::find(const MObject& object) const {
    return findNode(object);
}

const Node* Scene::findByName(const std::string& name) const {
    if (name.find('|') != std::string::npos) return nullptr;
    return resolveName(name);
}

std::vector<NodeId> Scene::children(NodeId parent) const {
    const SceneState& scene = sceneState();
    const auto found = scene.dagChildren.find(parent);
    return found == scene.dagChildren.end() ? std::vector<NodeId>() : found->second;
}

std::string Scene::fullPathName(NodeId id) const {
    const Node* node = find(id);
    if (!node) return {};
    if (!node->dag) return node->name;
    std::string path;
    for (; node; node = find(node->parent)) path = "|" + node->name + path;
    return path;
}

const std::vector<std::string>& Scene::attributes(const std::string& type) const {
    static const std::vector<std::string> kNone;
    auto it = attributeTable().find(type);
    return it == attributeTable().end() ? kNone : it->second;
}

const std::vector<Connection>& Scene::connections() const {
    return sceneState().connections;
}

const Connection* Scene::connectionInto(NodeId node, const std::string& attribute) const {
    const SceneState& scene = sceneState();
    const auto [first, last] = scene.connectionsInto.equal_range(node);
    for (auto input = first; input != last; ++input) {
        const Connection& connection = scene.connections[input->second];
        if (connection.destinationAttribute == attribute) return &connection;
    }
    return nullptr;
}

std::vector<NodeId> Scene::setsContaining(NodeId node) const {
    // Shading groups are the only sets with members.
    const SceneState& scene = sceneState();
    const auto found = scene.shadingGroupOf.find(node);
    return found == scene.shadingGroupOf.end() ? std::vector<NodeId>() : std::vector<NodeId>{found->second};
}

const Scene& currentScene() {
    static const Scene kScene{};
    return kScene;
}

void newScene() {
    sceneState() = defaultScene();
    clearJournal();
    clearFaults();
}

MObject objectOf(NodeId id) {
    return ObjectAccess::fromHandle(id);
}

}  // namespace standin
