#include "tests/standin/HostFixture.h"

#include <maya/MDGModifier.h>
#include <maya/MPlug.h>

#include <algorithm>

namespace orvex::test {
namespace {

using PlugTest = HostTest;

MPlug plugOf(MObject node, const char* attribute) {
    MFnDependencyNode fn(node);
    return fn.findPlug(attribute);
}

TEST_F(PlugTest, FindsExactlyTheAttributesOfEachNodeType) {
    const char* const cases[][3] = {// type, attribute, "+" when present
                                    {"lambert", "color", "+"},
                                    {"lambert", "fileTextureName", ""},
                                    {"lambert", "Color", ""},
                                    {"file", "fileTextureName", "+"},
                                    {"file", "uvCoord", "+"},
                                    {"file", "outUV", ""},
                                    {"place2dTexture", "outUV", "+"},
                                    {"place2dTexture", "uvCoord", ""},
                                    {"shadingEngine", "surfaceShader", "+"},
                                    {"shadingEngine", "color", ""},
                                    {"transform", "translate", "+"},
                                    {"transform", "outMesh", ""},
                                    {"mesh", "instObjGroups", "+"},
                                    {"mesh", "translate", ""}};
    makeTriangle();
    for (const auto& [type, attribute, present] : cases) {
        SCOPED_TRACE(std::string(type) + "." + attribute);
        MObject node = std::string(type) == "mesh" ? nodeNamed("polySurfaceShape1") : makeNode(type);
        MFnDependencyNode fn(node);
        MStatus status;
        const MPlug plug = fn.findPlug(attribute, &status);
        EXPECT_EQ(bool(status), *present == '+');
        EXPECT_EQ(plug.isNull(), *present != '+');
    }
    MFnDependencyNode unattached;
    EXPECT_TRUE(unattached.findPlug("fileTextureName").isNull());
}

// The placement node feeds these attributes, one to one, into the file node.
TEST_F(PlugTest, OffersEveryPlacementConnection) {
    const std::vector<std::string>& placement = scene().attributes("place2dTexture");
    const std::vector<std::string>& file = scene().attributes("file");
    ASSERT_EQ(placement.size(), 17u);
    EXPECT_EQ(placement[0] + " " + placement[1], "outUV outUvFilterSize");
    for (std::size_t i = 2; i < placement.size(); ++i) {
        EXPECT_NE(std::find(file.begin(), file.end(), placement[i]), file.end()) << placement[i];
    }
}

TEST_F(PlugTest, StoresTextValuesOnTheNode) {
    MObject file = makeNode("file");
    MPlug plug = plugOf(file, "fileTextureName");
    MString path("C:\\game\\content\\textures\\brick.512.dds");

    EXPECT_TRUE(plug.setValue(path));
    EXPECT_EQ(scene().find(file)->stringValues.at("fileTextureName"), path.asChar());
    EXPECT_STREQ(plug.name().asChar(), "file1.fileTextureName");
    EXPECT_FALSE(MPlug().setValue("lost"));
}

TEST_F(PlugTest, ConnectsOnlyAtDoItAndKeepsOneConnectionPerDestination) {
    MObject file = makeNode("file"), shader = makeNode("lambert"), other = makeNode("lambert");
    MDGModifier modifier;

    EXPECT_TRUE(modifier.connect(plugOf(file, "outColor"), plugOf(shader, "color")));
    EXPECT_TRUE(modifier.connect(plugOf(other, "outColor"), plugOf(shader, "color")));
    EXPECT_TRUE(modifier.connect(plugOf(file, "outColor"), plugOf(other, "color")));
    EXPECT_FALSE(modifier.connect(MPlug(), plugOf(other, "transparency")));
    EXPECT_EQ(scene().connections().size(), 1u);

    EXPECT_FALSE(modifier.doIt());
    ASSERT_EQ(scene().connections().size(), 3u);
    EXPECT_EQ(scene().connectionInto(scene().find(shader)->id, "color")->sourceNode, scene().find(file)->id);
    EXPECT_EQ(scene().connections().back().destinationNode, scene().find(other)->id);
    EXPECT_TRUE(modifier.doIt());
    EXPECT_EQ(scene().connections().size(), 3u);
}

}  // namespace
}  // namespace orvex::test
