#include "tests/standin/HostFixture.h"

#include <maya/MFnDagNode.h>
#include <maya/MGlobal.h>
#include <maya/MSelectionList.h>

#include <gmock/gmock.h>

namespace orvex::test {
namespace {

using ::testing::ElementsAre;

std::string runCommand(const char* command) {
    MString result;
    MGlobal::executeCommand(command, result);
    return result.asChar();
}

std::string pathOf(MObject object) {
    MFnDagNode dag(object);
    return dag.fullPathName().asChar();
}

using SceneTest = HostTest;

TEST_F(SceneTest, StartsWithTheDefaultShadingNodesOnly) {
    makeNode("lambert");
    standin::newScene();

    ASSERT_EQ(scene().nodes().size(), 2u);
    const standin::Node& lambert = scene().nodes()[0];
    const standin::Node& group = scene().nodes()[1];
    EXPECT_EQ(lambert.type + " " + lambert.name, "lambert lambert1");
    EXPECT_EQ(group.type + " " + group.name, "shadingEngine initialShadingGroup");
    const standin::Connection* shader = scene().connectionInto(group.id, "surfaceShader");
    ASSERT_NE(shader, nullptr);
    EXPECT_EQ(shader->sourceNode, lambert.id);
    EXPECT_EQ(shader->sourceAttribute, "outColor");
    EXPECT_TRUE(standin::journal().empty());
}

TEST_F(SceneTest, NamesNodesByTypeWithTheSmallestUnusedNumber) {
    EXPECT_EQ(nameOf(makeNode("lambert")), "lambert2");
    EXPECT_EQ(runCommand("shadingNode -asTexture file"), "file1");
    EXPECT_EQ(runCommand("shadingNode -asShader lambert "), "lambert3");
    EXPECT_EQ(nameOf(makeNode("place2dTexture")), "place2dTexture1");
    EXPECT_EQ(runCommand("sets -renderable true -noSurfaceShader true -empty;"), "set1");
    EXPECT_EQ(nameOf(makeNode("shadingEngine")), "shadingEngine1");
    EXPECT_EQ(pathOf(makeTriangle()), "|polySurface1");
    EXPECT_EQ(pathOf(nodeNamed("polySurfaceShape1")), "|polySurface1|polySurfaceShape1");
    EXPECT_EQ(nameOf(makeNode("transform")), "transform1");
    EXPECT_EQ(pathOf(makeTriangle(nodeNamed("transform1"))), "|transform1|polySurfaceShape2");
    EXPECT_EQ(pathOf(makeTriangle()), "|polySurface2");
    EXPECT_EQ(pathOf(nodeNamed("polySurfaceShape3")), "|polySurface2|polySurfaceShape3");
    EXPECT_THAT(scene().children(scene().findByName("transform1")->id),
                ElementsAre(scene().findByName("polySurfaceShape2")->id));
    EXPECT_EQ(scene().children(standin::kNoNode).size(), 3u);
}

TEST_F(SceneTest, NewSceneRestartsNamesButNeverReusesIds) {
    MObject old = makeNode("lambert");
    standin::newScene();
    MObject fresh = makeNode("lambert");

    EXPECT_EQ(nameOf(fresh), "lambert2");
    EXPECT_NE(old, fresh);
    EXPECT_EQ(scene().find(old), nullptr);
    MStatus status;
    MFnDependencyNode node(old, &status);
    EXPECT_FALSE(status);
}

TEST_F(SceneTest, FunctionSetsAttachOnlyToTheirKindOfNode) {
    MObject null, lambert = nodeNamed("lambert1"), transform = makeTriangle(),
                  shape = nodeNamed("polySurfaceShape1");
    struct AttachCase {
        MObject* object;
        const char* attaches;  // as dependency node, DAG node, mesh
    };
    const AttachCase cases[] = {{&null, "---"}, {&lambert, "+--"}, {&transform, "++-"}, {&shape, "+++"}};
    for (const AttachCase& attach : cases) {
        SCOPED_TRACE(attach.attaches);
        MStatus asNode, asDag, asMesh;
        MFnDependencyNode node(*attach.object, &asNode);
        MFnDagNode dag(*attach.object, &asDag);
        MFnMesh mesh(*attach.object, &asMesh);
        std::string attaches;
        for (bool attached : {!node.object().isNull(), bool(asDag), bool(asMesh)})
            attaches += attached ? '+' : '-';
        EXPECT_EQ(attaches, attach.attaches);
        EXPECT_EQ(bool(asNode), !node.object().isNull());
    }
}

TEST_F(SceneTest, SelectsNodesByNameOrDagPath) {
    makeTriangle();
    makeTriangle(makeNode("transform"));
    const char* const cases[][2] = {// text, node found ("": none)
                                    {"lambert1", "lambert1"},
                                    {"polySurfaceShape1", "polySurfaceShape1"},
                                    {"|polySurface1", "polySurface1"},
                                    {"|polySurface1|polySurfaceShape1", "polySurfaceShape1"},
                                    {"transform1|polySurfaceShape2", "polySurfaceShape2"},
                                    {"|polySurfaceShape1", ""},
                                    {"transform1|polySurfaceShape1", ""},
                                    {"|polySurface1|", ""},
                                    {"polySurface1||polySurfaceShape1", ""},
                                    {"|lambert1", ""},
                                    {"Lambert1", ""},
                                    {"", ""}};
    for (const auto& [text, found] : cases) {
        SCOPED_TRACE(text);
        MSelectionList list;
        const bool expected = *found != '\0';
        EXPECT_EQ(bool(list.add(text)), expected);
        ASSERT_EQ(list.length(), expected ? 1u : 0u);
        MObject object;
        EXPECT_EQ(bool(list.getDependNode(0, object)), expected);
        EXPECT_EQ(nameOf(object), found);
    }
    MSelectionList list;
    list.add("lambert1");
    list.add("lambert1");
    EXPECT_EQ(list.length(), 1u);
    MObject object;
    EXPECT_FALSE(list.getDependNode(1, object));
}

}  // namespace
}  // namespace orvex::test
