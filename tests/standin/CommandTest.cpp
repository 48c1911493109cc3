#include "tests/standin/HostFixture.h"

#include <maya/MGlobal.h>

#include <gmock/gmock.h>

namespace orvex::test {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

using CommandTest = HostTest;

TEST_F(CommandTest, RunsOnlyTheShadingCommandForms) {
    const char* const cases[][3] = {
        // text, result ("": refused), type made
        {"shadingNode -asTexture file", "file1", "file"},
        {"shadingNode -asShader lambert ", "lambert2", "lambert"},
        {"sets -renderable true -noSurfaceShader true -empty;", "set1", "shadingEngine"},
        {"  shadingNode   -asTexture file ;", "file1", "file"},
        {"shadingNode -asTexture file;;", "", ""},
        {"shadingNode -asTexture file; shadingNode -asTexture file", "", ""},
        {"shadingNode\t-asTexture file", "", ""},
        {"shadingNode -asTexture file\n", "", ""},
        {"shadingNode -asShader blinn", "", ""},
        {"shadingNode -asShader lambert -name brick", "", ""},
        {"ShadingNode -asTexture file", "", ""},
        {"sets -renderable true -empty;", "", ""},
        {"sets -e -forceElement initialShadingGroup;", "", ""},
        {"", "", ""}};
    for (const auto& [text, made, type] : cases) {
        SCOPED_TRACE(text);
        standin::newScene();
        MString result("untouched");
        const bool accepted = *made != '\0';
        EXPECT_EQ(bool(MGlobal::executeCommand(text, result)), accepted);
        EXPECT_STREQ(result.asChar(), accepted ? made : "untouched");
        ASSERT_EQ(scene().nodes().size(), accepted ? 3u : 2u);
        EXPECT_EQ(scene().nodes().back().type, accepted ? type : "shadingEngine");
    }
}

TEST_F(CommandTest, MovesAMeshShapeBetweenShadingGroups) {
    MObject transform = makeTriangle();
    const standin::NodeId shape = scene().findByName("polySurfaceShape1")->id;
    MString ignored;
    MGlobal::executeCommand("sets -renderable true -noSurfaceShader true -empty;", ignored);
    MGlobal::executeCommand("sets -renderable true -noSurfaceShader true -empty;", ignored);
    auto setId = [](const char* name) { return scene().findByName(name)->id; };

    EXPECT_TRUE(MGlobal::executeCommand("sets -e -forceElement set1 |polySurface1;", ignored));
    EXPECT_TRUE(MGlobal::executeCommand("sets -e -forceElement set1 polySurfaceShape1;", ignored));
    EXPECT_THAT(scene().find(setId("set1"))->members, ElementsAre(shape));
    EXPECT_TRUE(
        MGlobal::executeCommand("sets -e -forceElement set2 |polySurface1|polySurfaceShape1;", ignored));
    EXPECT_THAT(scene().setsContaining(shape), ElementsAre(setId("set2")));
    EXPECT_THAT(scene().find(setId("set1"))->members, IsEmpty());
    EXPECT_TRUE(MGlobal::executeCommand("sets -e -forceElement initialShadingGroup polySurface1", ignored));
    EXPECT_THAT(scene().setsContaining(shape), ElementsAre(setId("initialShadingGroup")));
    EXPECT_THAT(scene().setsContaining(scene().find(transform)->id), IsEmpty());
}

TEST_F(CommandTest, RefusesAMissingSetOrMember) {
    makeTriangle();
    makeNode("transform");
    MString ignored;
    MGlobal::executeCommand("sets -renderable true -noSurfaceShader true -empty;", ignored);
    for (const char* text :
         {"sets -e -forceElement set2 |polySurface1;", "sets -e -forceElement lambert1 |polySurface1;",
          "sets -e -forceElement set1 |transform9;", "sets -e -forceElement set1 lambert1;",
          "sets -e -forceElement set1 transform1;",  // a transform without a mesh
          "sets -e -forceElement set1 |polySurface1 |polySurface1;"}) {
        SCOPED_TRACE(text);
        EXPECT_FALSE(MGlobal::executeCommand(text, ignored));
        EXPECT_THAT(scene().setsContaining(scene().findByName("polySurfaceShape1")->id), IsEmpty());
    }
}

}  // namespace
}  // namespace orvex::test
