#include "render/GatherScene.h"

#include <algorithm>
#include <cstddef>
#include <map>
#include <memory>
#include <string>
#include <utility>

namespace orvex::render {
namespace {

const standin::Node* sourceOf(const standin::Scene& scene, standin::NodeId node, const std::string& attribute,
                              const std::string& sourceType) {
    const standin::Connection* connection = scene.connectionInto(node, attribute);
    if (connection == nullptr) return nullptr;
    const standin::Node* source = scene.find(connection->sourceNode);
    return source != nullptr && source->type == sourceType ? source : nullptr;
}

// A mesh may sit in more than one set, the default shading group among
// them; the group that leads to a texture is the one that shows.
const standin::Node* fileNodeOf(const standin::Scene& scene, standin::NodeId shape) {
    for (const standin::NodeId set : scene.setsContaining(shape)) {
        const standin::Node* group = scene.find(set);
        if (group == nullptr || group->type != "shadingEngine") continue;
        const standin::Node* shader = sourceOf(scene, set, "surfaceShader", "lambert");
        if (shader == nullptr) continue;
        if (const standin::Node* file = sourceOf(scene, shader->id, "color", "file")) return file;
    }
    return nullptr;
}

const standin::UVSet* findMap1(const standin::MeshData& data) {
    for (const standin::UVSet& set : data.uvSets) {
        if (set.name == "map1") return &set;
    }
    return nullptr;
}

RenderMesh convertMesh(const standin::MeshData& data) {
    RenderMesh mesh;
    mesh.positions.reserve(data.points.size());
    // Mesh points are 3D; w plays no part in a shape.
    for (const standin::Point& point : data.points) mesh.positions.push_back({point.x, point.y, point.z});
    if (data.vertexNormals.size() == data.points.size()) {
        mesh.normals.reserve(data.vertexNormals.size());
        for (const standin::Normal& normal : data.vertexNormals)
            mesh.normals.push_back({normal.x, normal.y, normal.z});
    }

    const standin::UVSet* map1 = findMap1(data);
    const std::vector<int>* const uvIds = map1 != nullptr ? &standin::uvIdsOf(data, *map1) : nullptr;
    const bool uvIdsAssigned = uvIds != nullptr && uvIds->size() == data.polygonConnects.size();
    if (map1 != nullptr) {
        const std::size_t count = std::min(map1->u.size(), map1->v.size());
        mesh.uvs.reserve(count);
        for (std::size_t i = 0; i < count; ++i) mesh.uvs.push_back({map1->u[i], map1->v[i]});
    }
    const auto cornerAt = [&](std::size_t index) {
        const int vertex = data.polygonConnects[index];
        return Corner{vertex, uvIdsAssigned ? (*uvIds)[index] : vertex};
    };

    std::size_t first = 0;
    for (const int count : data.polygonCounts) {
        if (count < 0 || static_cast<std::size_t>(count) > data.polygonConnects.size() - first) break;
        for (int i = 1; i + 1 < count; ++i) {
            mesh.triangles.push_back({cornerAt(first), cornerAt(first + static_cast<std::size_t>(i)),
                                      cornerAt(first + static_cast<std::size_t>(i) + 1)});
        }
        first += static_cast<std::size_t>(count);
    }
    return mesh;
}

}  // namespace

RenderScene gatherScene(const standin::Scene& scene, const TextureLookup& lookup) {
    RenderScene result;
    std::map<standin::NodeId, std::shared_ptr<const Image>> textures;
    for (const standin::Node& node : scene.nodes()) {
        if (node.type != "mesh") continue;
        RenderMesh mesh = convertMesh(node.mesh);
        if (const standin::Node* file = fileNodeOf(scene, node.id)) {
            auto found = textures.find(file->id);
            if (found == textures.end()) {
                std::optional<Image> image = lookup(*file);
                found =
                    textures
                        .emplace(file->id, image ? std::make_shared<const Image>(std::move(*image)) : nullptr)
                        .first;
            }
            mesh.texture = found->second;
        }
        result.meshes.push_back(std::move(mesh));
    }
    return result;
}

}  // namespace orvex::render
