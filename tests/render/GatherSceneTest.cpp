#include "render/GatherScene.h"

#include <maya/MDGModifier.h>
#include <maya/MFloatArray.h>
#include <maya/MFloatPointArray.h>
#include <maya/MFnDependencyNode.h>
#include <maya/MFnMesh.h>
#include <maya/MGlobal.h>
#include <maya/MIntArray.h>
#include <maya/MSelectionList.h>
#include <maya/MVectorArray.h>
#include <standin/Scene.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace orvex::render {
namespace {

MIntArray intArray(std::vector<int> values) {
    return MIntArray(values.data(), static_cast<unsigned>(values.size()));
}

// Makes a mesh through the host API, UV k being (k, 10 + k) so that u, v
// and UV numbers can be told apart, and returns the shape's path.
std::string makeMesh(const std::vector<Vec3>& points, const std::vector<int>& counts,
                     const std::vector<int>& connects, const std::vector<int>& uvIds = {},
                     const std::vector<Vec3>& normals = {}) {
    const auto count = static_cast<unsigned>(points.size());
    MFloatPointArray hostPoints(count);
    MFloatArray u(count), v(count);
    float hostNormals[8][3];
    for (unsigned k = 0; k < count; ++k) {
        hostPoints.set(k, points[k].x, points[k].y, points[k].z);
        u[k] = static_cast<float>(k), v[k] = 10.0f + static_cast<float>(k);
        if (!normals.empty())
            hostNormals[k][0] = normals[k].x, hostNormals[k][1] = normals[k].y,
            hostNormals[k][2] = normals[k].z;
    }
    MFnMesh mesh;
    MStatus status;
    mesh.create(static_cast<int>(count), static_cast<int>(counts.size()), hostPoints, intArray(counts),
                intArray(connects), u, v, MObject::kNullObj, &status);
    EXPECT_TRUE(status);
    const MString map1("map1");
    if (!uvIds.empty()) mesh.assignUVs(intArray(counts), intArray(uvIds), &map1);
    if (!normals.empty()) {
        MIntArray vertices(count);
        for (unsigned k = 0; k < count; ++k) vertices[k] = static_cast<int>(k);
        MVectorArray normalArray(hostNormals, count);
        mesh.unlockVertexNormals(vertices);
        mesh.setVertexNormals(normalArray, vertices, MSpace::kWorld);
    }
    return mesh.fullPathName().asChar();
}

MObject runCommand(const std::string& command) {
    MString result;
    EXPECT_TRUE(MGlobal::executeCommand(command.c_str(), result));
    MSelectionList list;
    list.add(result);
    MObject node;
    list.getDependNode(0, node);
    return node;
}

void connect(MObject source, const char* sourceAttribute, MObject destination,
             const char* destinationAttribute) {
    MDGModifier modifier;
    modifier.connect(MFnDependencyNode(source).findPlug(sourceAttribute),
                     MFnDependencyNode(destination).findPlug(destinationAttribute));
    modifier.doIt();
}

// The shading network that the importer makes: file → lambert → new shading group, which the mesh joins.
void shade(const std::string& meshPath, MObject file) {
    MObject shader = runCommand("shadingNode -asShader lambert");
    MObject group = runCommand("sets -renderable true -noSurfaceShader true -empty;");
    connect(file, "outColor", shader, "color");
    connect(shader, "outColor", group, "surfaceShader");
    MString ignored;
    const std::string groupName = MFnDependencyNode(group).name().asChar();
    MGlobal::executeCommand(("sets -e -forceElement " + groupName + " " + meshPath + ";").c_str(), ignored);
}

TEST(GatherScene, TakesEveryMeshWithFansUVsNormalsAndTheTextureOfItsShadingGroup) {
    standin::newScene();
    const std::vector<Vec3> triangle = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
    // A quad and a triangle.
    const std::string textured =
        makeMesh({{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}, {2, 0, 0}}, {4, 3}, {0, 1, 2, 3, 1, 4, 2},
                 {4, 3, 2, 1, 0, 0, 0}, {{0, 0, 1}, {0, 1, 0}, {1, 0, 0}, {0, 0, 1}, {0, 0, 1}});
    makeMesh(triangle, {3}, {0, 1, 2});
    const std::string sharing = makeMesh(triangle, {3}, {0, 1, 2});
    MObject file = runCommand("shadingNode -asTexture file");
    MFnDependencyNode(file).findPlug("fileTextureName").setValue("wall.dds");
    shade(textured, file);
    shade(sharing, file);

    std::vector<std::string> looked;
    const RenderScene scene = gatherScene(standin::currentScene(), [&](const standin::Node& node) {
        looked.push_back(node.stringValues.at("fileTextureName"));
        return std::optional<Image>(Image{1, 1, {1, 2, 3, 4}});
    });

    ASSERT_EQ(scene.meshes.size(), 3u);
    EXPECT_EQ(looked, std::vector<std::string>{"wall.dds"});
    const RenderMesh& first = scene.meshes[0];
    ASSERT_EQ(first.positions.size(), 5u);
    EXPECT_EQ(first.positions[4].x, 2);
    ASSERT_EQ(first.uvs.size(), 5u);
    EXPECT_EQ(first.uvs[3].u, 3);
    EXPECT_EQ(first.uvs[3].v, 13);
    ASSERT_EQ(first.normals.size(), 5u);
    EXPECT_EQ(first.normals[2].x, 1);
    EXPECT_EQ(first.normals[2].z, 0);
    ASSERT_EQ(first.triangles.size(), 3u);
    const int corners[3][3][2] = {
        {{0, 4}, {1, 3}, {2, 2}}, {{0, 4}, {2, 2}, {3, 1}}, {{1, 0}, {4, 0}, {2, 0}}};
    for (int t = 0; t < 3; ++t) {
        for (int c = 0; c < 3; ++c) {
            EXPECT_EQ(first.triangles[t][c].vertex, corners[t][c][0]) << t << "," << c;
            EXPECT_EQ(first.triangles[t][c].uv, corners[t][c][1]) << t << "," << c;
        }
    }
    ASSERT_NE(first.texture, nullptr);
    EXPECT_EQ(first.texture->rgba, (std::vector<std::uint8_t>{1, 2, 3, 4}));
    EXPECT_EQ(scene.meshes[2].texture, first.texture);

    // Untextured, without normals, UVs numbered as the vertices.
    const RenderMesh& plain = scene.meshes[1];
    EXPECT_EQ(plain.texture, nullptr);
    EXPECT_TRUE(plain.normals.empty());
    ASSERT_EQ(plain.triangles.size(), 1u);
    EXPECT_EQ(plain.triangles[0][2].uv, 2);
}

}  // namespace
}  // namespace orvex::render
