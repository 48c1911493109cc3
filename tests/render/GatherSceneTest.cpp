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

#include "modelgen/DdsBuilder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
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

// What the outputs hold is what the preview shows: the meshes of the one
// view, polygons as fan triangles, one UV and one normal per vertex, the
// decoded texture of the material, shared by the meshes of one texture.
TEST(GatherScene, DrawsTheMeshesMaterialsAndTexturesOfTheOneView) {
    standin::newScene();
    const std::filesystem::path texture =
        std::filesystem::path(::testing::TempDir()) / ("gather-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + ".dds");
    const std::vector<std::uint8_t> dds =
        orvex::modelgen::buildDds({1, 1, {10, 20, 30, 255}}, orvex::modelgen::DdsFormat::Rgba32);
    std::ofstream(texture, std::ios::binary).write(reinterpret_cast<const char*>(dds.data()), std::streamsize(dds.size()));
    const std::vector<Vec3> triangle = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
    // A quad and a triangle.
    const std::string textured =
        makeMesh({{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}, {2, 0, 0}}, {4, 3}, {0, 1, 2, 3, 1, 4, 2},
                 {0, 1, 2, 3, 1, 4, 2}, {{0, 0, 1}, {0, 1, 0}, {1, 0, 0}, {0, 0, 1}, {0, 0, 1}});
    makeMesh(triangle, {3}, {0, 1, 2});
    const std::string sharing = makeMesh(triangle, {3}, {0, 1, 2});
    MObject file = runCommand("shadingNode -asTexture file");
    MFnDependencyNode(file).findPlug("fileTextureName").setValue(texture.string().c_str());
    shade(textured, file);
    shade(sharing, file);

    std::vector<std::string> warnings;
    const writers::ExportScene view = writers::collectScene(standin::currentScene(), nullptr, warnings);
    const RenderScene scene = gatherScene(view);

    ASSERT_EQ(scene.meshes.size(), 3u);
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
    const int corners[3][3] = {{0, 1, 2}, {0, 2, 3}, {1, 4, 2}};
    for (int t = 0; t < 3; ++t) {
        for (int c = 0; c < 3; ++c) {
            EXPECT_EQ(first.triangles[t][c].vertex, corners[t][c]) << t << "," << c;
            EXPECT_EQ(first.triangles[t][c].uv, corners[t][c]) << t << "," << c;
        }
    }
    ASSERT_NE(first.texture, nullptr);
    EXPECT_EQ(first.texture->rgba, (std::vector<std::uint8_t>{10, 20, 30, 255}));
    EXPECT_EQ(scene.meshes[2].texture, first.texture);

    // Untextured, its normals made from its face.
    const RenderMesh& plain = scene.meshes[1];
    EXPECT_EQ(plain.texture, nullptr);
    ASSERT_EQ(plain.triangles.size(), 1u);
    EXPECT_EQ(plain.triangles[0][2].uv, 2);
    std::filesystem::remove(texture);
}

}  // namespace
}  // namespace orvex::render
