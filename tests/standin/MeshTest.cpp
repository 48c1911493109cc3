#include "tests/standin/HostFixture.h"

#include <maya/MFnDagNode.h>
#include <maya/MVectorArray.h>

#include <gmock/gmock.h>

#include <functional>

namespace orvex::test {
namespace {

using ::testing::ElementsAre;

// The arguments of one MFnMesh::create call: a valid quad until a case
// changes them.
struct MeshInput {
    int numVertices = 4;
    int numPolygons = 1;
    MFloatPointArray points = MFloatPointArray(4);
    MIntArray counts = MIntArray(1, 4);
    MIntArray connects = MIntArray(std::vector<int>{0, 1, 2, 3}.data(), 4);
    MFloatArray u = MFloatArray(4, 0.5f);
    MFloatArray v = MFloatArray(4, 0.25f);
    MObject parent;

    MObject create(MFnMesh& mesh, MStatus* status = nullptr) const {
        return mesh.create(numVertices, numPolygons, points, counts, connects, u, v, parent, status);
    }
};

using MeshTest = HostTest;

TEST_F(MeshTest, RefusesWhatTheHostRefuses) {
    MObject stale = makeNode("transform");
    standin::newScene();
    makeTriangle();
    const MObject lambert = nodeNamed("lambert1"), shape = nodeNamed("polySurfaceShape1");
    const std::function<void(MeshInput&)> cases[] = {
        [](MeshInput& in) { in.numVertices = 5; },
        [](MeshInput& in) { in.numVertices = -1; },
        [](MeshInput& in) { in.numPolygons = 2; },
        [](MeshInput& in) {
            in.counts = MIntArray(2, 2);
            in.numPolygons = 2;
        },
        [](MeshInput& in) { in.counts[0] = 3; },  // fewer corners than connects
        [](MeshInput& in) { in.connects[3] = -1; },
        [](MeshInput& in) { in.connects[3] = 4; },
        [](MeshInput& in) { in.v = MFloatArray(3, 0.0f); },
        [&](MeshInput& in) { in.parent = lambert; },
        [&](MeshInput& in) { in.parent = shape; },
        [&](MeshInput& in) { in.parent = stale; },
    };
    const std::size_t nodes = scene().nodes().size();
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(i);
        MeshInput in;
        cases[i](in);
        MFnMesh mesh;
        MStatus status;
        EXPECT_TRUE(in.create(mesh, &status).isNull());
        EXPECT_FALSE(status);
        EXPECT_EQ(scene().nodes().size(), nodes);
    }
}

TEST_F(MeshTest, StoresTheMeshUnderANewOrAGivenTransform) {
    MeshInput in;
    in.points.set(2, 1.0f, 2.0f, 3.0f);
    MFnMesh mesh;
    MObject transform = in.create(mesh);

    EXPECT_EQ(nameOf(transform), "polySurface1");
    EXPECT_STREQ(mesh.fullPathName().asChar(), "|polySurface1|polySurfaceShape1");
    const standin::MeshData& data = scene().findByName("polySurfaceShape1")->mesh;
    EXPECT_EQ(data.points[2].z, 3.0f);
    EXPECT_EQ(data.points[2].w, 1.0f);
    EXPECT_THAT(data.polygonCounts, ElementsAre(4));
    EXPECT_THAT(data.polygonConnects, ElementsAre(0, 1, 2, 3));
    ASSERT_EQ(data.uvSets.size(), 1u);
    EXPECT_EQ(data.uvSets[0].name, "map1");
    EXPECT_THAT(data.uvSets[0].v, ElementsAre(0.25f, 0.25f, 0.25f, 0.25f));
    EXPECT_TRUE(data.uvSets[0].uvIds.empty());

    in.parent = transform;
    const MObject second = in.create(mesh);
    EXPECT_EQ(scene().find(second)->parent, scene().find(transform)->id);

    MeshInput empty;
    empty.numVertices = empty.numPolygons = 0;
    empty.points = MFloatPointArray();
    empty.counts = empty.connects = MIntArray();
    empty.u = empty.v = MFloatArray();
    EXPECT_FALSE(empty.create(mesh).isNull());
}

TEST_F(MeshTest, AssignsUVsThatFitTheMesh) {
    MFnMesh mesh;
    MeshInput().create(mesh);
    const MIntArray ids(std::vector<int>{3, 2, 1, 0}.data(), 4), quad(1, 4);
    const MString map1("map1"), map2("map2");

    EXPECT_FALSE(mesh.assignUVs(MIntArray(1, 3), MIntArray(3, 0)));  // another mesh's counts
    EXPECT_FALSE(mesh.assignUVs(quad, MIntArray(4, 4)));             // past the last UV
    EXPECT_FALSE(mesh.assignUVs(quad, MIntArray(3, 0)));
    EXPECT_FALSE(mesh.assignUVs(quad, ids, &map2));
    EXPECT_TRUE(mesh.assignUVs(quad, MIntArray(4, 0), &map1));
    EXPECT_TRUE(mesh.assignUVs(quad, ids));
    const standin::MeshData& data = scene().findByName("polySurfaceShape1")->mesh;
    const standin::UVSet& set = data.uvSets[0];
    EXPECT_FALSE(set.idsAreConnects);
    EXPECT_THAT(set.uvCounts, ElementsAre(4));
    EXPECT_THAT(set.uvIds, ElementsAre(3, 2, 1, 0));
    EXPECT_THAT(standin::uvIdsOf(data, set), ElementsAre(3, 2, 1, 0));
}

TEST_F(MeshTest, KeepsUVIdsThatRepeatTheConnectsOnlyOnce) {
    MFnMesh mesh;
    MeshInput().create(mesh);
    const MIntArray connects(std::vector<int>{0, 1, 2, 3}.data(), 4), reversed(std::vector<int>{3, 2, 1, 0}.data(), 4),
        quad(1, 4);
    const standin::MeshData& data = scene().findByName("polySurfaceShape1")->mesh;
    const standin::UVSet& set = data.uvSets[0];
    EXPECT_TRUE(standin::uvIdsOf(data, set).empty());

    ASSERT_TRUE(mesh.assignUVs(quad, connects));
    EXPECT_TRUE(set.idsAreConnects);
    EXPECT_TRUE(set.uvCounts.empty());
    EXPECT_TRUE(set.uvIds.empty());
    EXPECT_THAT(standin::uvCountsOf(data, set), ElementsAre(4));
    EXPECT_THAT(standin::uvIdsOf(data, set), ElementsAre(0, 1, 2, 3));

    ASSERT_TRUE(mesh.assignUVs(quad, reversed));
    EXPECT_FALSE(set.idsAreConnects);
    EXPECT_THAT(standin::uvCountsOf(data, set), ElementsAre(4));
    EXPECT_THAT(standin::uvIdsOf(data, set), ElementsAre(3, 2, 1, 0));
}

TEST_F(MeshTest, LocksTheNormalsItSetsUntilUnlocked) {
    MFnMesh mesh;
    MeshInput().create(mesh);
    const float up[][3] = {{0.0f, 1.0f, 0.0f}};
    MVectorArray normals(up, 1);
    MIntArray vertex(1, 2), outside(1, 4), twoVertices(2, 0);
    const standin::MeshData& data = scene().findByName("polySurfaceShape1")->mesh;

    EXPECT_THAT(data.normalLocked, ElementsAre(false, false, false, false));
    EXPECT_FALSE(mesh.setVertexNormals(normals, outside, MSpace::kWorld));
    EXPECT_FALSE(mesh.setVertexNormals(normals, twoVertices, MSpace::kWorld));
    EXPECT_TRUE(data.vertexNormals.empty());

    EXPECT_TRUE(mesh.setVertexNormals(normals, vertex, MSpace::kWorld));
    ASSERT_EQ(data.vertexNormals.size(), 4u);
    EXPECT_EQ(data.vertexNormals[2].y, 1.0f);
    EXPECT_THAT(data.normalLocked, ElementsAre(false, false, true, false));
    EXPECT_FALSE(mesh.unlockVertexNormals(outside));
    EXPECT_TRUE(mesh.unlockVertexNormals(vertex));
    EXPECT_THAT(data.normalLocked, ElementsAre(false, false, false, false));
    MFnMesh unattached;
    EXPECT_FALSE(unattached.unlockVertexNormals(vertex));
}

}  // namespace
}  // namespace orvex::test
