#include "render/GatherScene.h"

#include <map>
#include <memory>

namespace orvex::render {

RenderScene gatherScene(const writers::ExportScene& scene) {
    RenderScene result;
    std::map<std::size_t, std::shared_ptr<const Image>> textures;
    writers::MeshGeometry geometry;
    for (const writers::ExportMesh& exported : scene.meshes) {
        writers::geometryOf(exported, geometry);
        RenderMesh mesh;
        mesh.positions.reserve(geometry.positions.size());
        for (const auto& p : geometry.positions) mesh.positions.push_back({p[0], p[1], p[2]});
        mesh.normals.reserve(geometry.normals.size());
        for (const auto& n : geometry.normals) mesh.normals.push_back({n[0], n[1], n[2]});
        mesh.uvs.reserve(geometry.uvs.size());
        for (const auto& uv : geometry.uvs) mesh.uvs.push_back({uv[0], uv[1]});
        // One UV per vertex, as the files hold them.
        mesh.triangles.reserve(geometry.indices.size() / 3);
        for (std::size_t i = 0; i + 2 < geometry.indices.size(); i += 3) {
            Triangle triangle;
            for (std::size_t c = 0; c < 3; ++c) {
                const int vertex = static_cast<int>(geometry.indices[i + c]);
                triangle[c] = Corner{vertex, vertex};
            }
            mesh.triangles.push_back(triangle);
        }
        const std::optional<std::size_t> material = exported.material;
        if (material && scene.materials[*material].texture) {
            const std::size_t index = *scene.materials[*material].texture;
            auto found = textures.find(index);
            if (found == textures.end()) {
                const writers::Image& pixels = scene.textures[index].pixels;
                found = textures
                            .emplace(index, std::make_shared<const Image>(Image{static_cast<int>(pixels.width),
                                                                                 static_cast<int>(pixels.height),
                                                                                 pixels.rgba}))
                            .first;
            }
            mesh.texture = found->second;
        }
        result.meshes.push_back(std::move(mesh));
    }
    return result;
}

}  // namespace orvex::render
