#include "mesh/MeshBuilder.h"
#include "model/Model.h"

#include <maya/MObject.h>
#include <standin/Journal.h>
#include <standin/Scene.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

namespace orvex {
namespace {

using ::testing::ElementsAre;

std::uint32_t packNormal(std::uint32_t x, std::uint32_t y, std::uint32_t z, std::uint32_t unused = 0) {
    return unused << 24 | x << 16 | y << 8 | z;
}

ModelMesh meshOf(std::vector<ModelVertex> vertices, std::vector<std::uint16_t> indices) {
    ModelMesh mesh;
    mesh.vertexCount = static_cast<std::uint32_t>(vertices.size());
    mesh.indexCount = static_cast<std::uint32_t>(indices.size());
    mesh.vertices.assign(vertices.begin(), vertices.end());
    mesh.indices.assign(indices.begin(), indices.end());
    mesh.names[0] = "brick";
    return mesh;
}

ModelMesh triangle() {
    return meshOf(std::vector<ModelVertex>(3, ModelVertex{}), {0, 1, 2});
}

class MeshBuilderTest : public ::testing::Test {
protected:
    void SetUp() override { standin::newScene(); }

    static const standin::Scene& scene() { return standin::currentScene(); }

    // The mesh shapes made, in order.
    static std::vector<const standin::Node*> madeMeshes() {
        std::vector<const standin::Node*> shapes;
        for (const standin::Node& node : scene().nodes()) {
            if (node.type == "mesh") {
                shapes.push_back(&node);
            }
        }
        return shapes;
    }

    static std::vector<std::string> operations() {
        std::vector<std::string> names;
        for (const standin::JournalEntry& entry : standin::journal()) {
            names.emplace_back(entry.operation);
        }
        return names;
    }

    Model model;
};

TEST_F(MeshBuilderTest, MapsVerticesTrianglesAndUVsIntoHostSpace) {
    std::vector<ModelVertex> vertices(3, ModelVertex{});
    vertices[0] = ModelVertex{1.0f, 2.0f, 3.0f, 7, packNormal(255, 255, 255), 9, 0.125f, 0.25f};
    vertices[2].v = 1.0f;
    const ModelMesh mesh = meshOf(vertices, {2, 0, 1});

    ASSERT_TRUE(buildMesh(model, mesh));

    const std::vector<const standin::Node*> shapes = madeMeshes();
    ASSERT_EQ(shapes.size(), 1u);
    EXPECT_EQ(scene().find(shapes[0]->parent)->parent, standin::kNoNode);
    const standin::MeshData& data = shapes[0]->mesh;
    const standin::Point& point = data.points[0];
    EXPECT_THAT((std::vector<float>{point.x, point.y, point.z, point.w}),
                ElementsAre(3.0f, 2.0f, 1.0f, 1.0f));
    EXPECT_THAT(data.polygonCounts, ElementsAre(3));
    EXPECT_THAT(data.polygonConnects, ElementsAre(2, 0, 1));
    ASSERT_EQ(data.uvSets.size(), 1u);
    EXPECT_EQ(data.uvSets[0].name, "map1");
    EXPECT_THAT(data.uvSets[0].u, ElementsAre(0.125f, 0.0f, 0.0f));
    EXPECT_THAT(data.uvSets[0].v, ElementsAre(0.75f, 1.0f, 0.0f));
    EXPECT_THAT(standin::uvCountsOf(data, data.uvSets[0]), ElementsAre(3));
    EXPECT_THAT(standin::uvIdsOf(data, data.uvSets[0]), ElementsAre(2, 0, 1));
    EXPECT_EQ(scene().setsContaining(shapes[0]->id).size(), 1u);

    const std::vector<std::string> calls = operations();
    const auto firstCommand = std::find(calls.begin(), calls.end(), "MGlobal::executeCommand");
    std::vector<std::string> meshCalls;
    std::copy_if(calls.begin(), firstCommand, std::back_inserter(meshCalls), [](const std::string& call) {
        return call.rfind("MFnMesh::", 0) == 0 && call != "MFnMesh::attach";
    });
    EXPECT_THAT(meshCalls, ElementsAre("MFnMesh::create", "MFnMesh::assignUVs",
                                       "MFnMesh::unlockVertexNormals", "MFnMesh::setVertexNormals"));
    for (const standin::JournalEntry& entry : standin::journal()) {
        if (entry.operation == "MFnMesh::setVertexNormals") {
            EXPECT_EQ(entry.arguments, "space=4");
        }
    }
}

TEST_F(MeshBuilderTest, DecodesEachNormalByteAsASignedComponent) {
    struct NormalCase {
        std::uint32_t packed;
        float x, y, z;
    };
    const float k = 0.5773503f;
    const NormalCase cases[] = {
        {packNormal(255, 255, 255), k, k, k},
        {packNormal(127, 127, 127, 0x80), -k, -k, -k},
        {packNormal(0, 0, 0), -k, -k, -k},
        {packNormal(0, 0, 255, 0xFF), k, -k, -k},
        {packNormal(255, 128, 128), 0.0039215f, 0.0039215f, 0.9999846f},
        {packNormal(255, 0, 0), -k, -k, k},
    };
    std::vector<ModelVertex> vertices;
    std::vector<std::uint16_t> indices;
    for (const NormalCase& normalCase : cases) {
        indices.push_back(static_cast<std::uint16_t>(vertices.size()));
        vertices.push_back(ModelVertex{0.0f, 0.0f, 0.0f, 0, normalCase.packed, 0, 0.0f, 0.0f});
    }
    ASSERT_TRUE(buildMesh(model, meshOf(vertices, indices)));

    const std::vector<standin::Normal>& normals = madeMeshes().at(0)->mesh.vertexNormals;
    ASSERT_EQ(normals.size(), std::size(cases));
    for (std::size_t i = 0; i < normals.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_NEAR(normals[i].x, cases[i].x, 1e-6);
        EXPECT_NEAR(normals[i].y, cases[i].y, 1e-6);
        EXPECT_NEAR(normals[i].z, cases[i].z, 1e-6);
    }
}

TEST_F(MeshBuilderTest, PassesIndicesZeroExtended) {
    const ModelMesh mesh = meshOf(std::vector<ModelVertex>(65536, ModelVertex{}), {0, 65534, 65535});

    ASSERT_TRUE(buildMesh(model, mesh));
    EXPECT_THAT(madeMeshes().at(0)->mesh.polygonConnects, ElementsAre(0, 65534, 65535));
}

TEST_F(MeshBuilderTest, GivesAMeshTheHostRefusesNothingFurther) {
    struct Refusal {
        ModelMesh mesh;
        const char* counts;
    };
    const Refusal refusals[] = {
        {meshOf(std::vector<ModelVertex>(3, ModelVertex{}), {0, 1, 65535}), "numVertices=3 numPolygons=1"},
        {meshOf(std::vector<ModelVertex>(3, ModelVertex{}), {0, 1, 2, 2, 1, 0, 1}),
         "numVertices=3 numPolygons=2"},
    };
    for (const Refusal& refusal : refusals) {
        SCOPED_TRACE(refusal.counts);
        standin::newScene();
        EXPECT_FALSE(buildMesh(model, refusal.mesh));
        ASSERT_EQ(standin::journal().size(), 1u);
        EXPECT_EQ(standin::journal()[0].operation, "MFnMesh::create");
        EXPECT_EQ(standin::journal()[0].arguments, refusal.counts);
        EXPECT_FALSE(standin::journal()[0].succeeded);
    }
}

TEST_F(MeshBuilderTest, StillAssignsTheMaterialWhenNormalsStayLocked) {
    standin::injectFault({"MFnMesh::unlockVertexNormals", "", "", "", 0});

    EXPECT_TRUE(buildMesh(model, triangle()));
    const std::vector<std::string> calls = operations();
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "MFnMesh::setVertexNormals"), 0);
    EXPECT_TRUE(madeMeshes().at(0)->mesh.vertexNormals.empty());
    EXPECT_EQ(scene().setsContaining(madeMeshes().at(0)->id).size(), 1u);
}

TEST_F(MeshBuilderTest, ReportsSuccessWhenAnyMeshWasMade) {
    const ModelMesh bad = meshOf(std::vector<ModelVertex>(3, ModelVertex{}), {0, 1, 3});
    struct SceneCase {
        const char* description;
        std::vector<ModelMesh> meshes;
        bool result;
        std::size_t made;
    };
    const SceneCase cases[] = {
        {"no meshes", {}, false, 0},
        {"refused between good ones", {triangle(), bad, triangle()}, true, 2},
        {"all refused", {bad, bad}, false, 0},
    };
    for (const SceneCase& sceneCase : cases) {
        SCOPED_TRACE(sceneCase.description);
        standin::newScene();
        Model built;
        built.meshes = sceneCase.meshes;

        EXPECT_EQ(buildScene(built, MObject::kNullObj), sceneCase.result);
        EXPECT_EQ(madeMeshes().size(), sceneCase.made);
        for (const standin::Node* shape : madeMeshes()) {
            EXPECT_EQ(scene().setsContaining(shape->id).size(), 1u);
        }
        if (built.meshes.empty()) {
            EXPECT_TRUE(standin::journal().empty());
        }
    }
}

}  // namespace
}  // namespace orvex
