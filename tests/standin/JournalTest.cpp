#include "tests/standin/HostFixture.h"

#include <maya/MDGModifier.h>
#include <maya/MFnDagNode.h>
#include <maya/MGlobal.h>
#include <maya/MPlug.h>
#include <maya/MSelectionList.h>
#include <maya/MVectorArray.h>

#include <gmock/gmock.h>

namespace orvex::test {
namespace {

using JournalTest = HostTest;

// One or two calls of each journaled kind, in an importer's order; "+" or
// "-" per call for whether the host let it succeed.
std::string runImport() {
    std::string outcome;
    MStatus status;
    auto note = [&](bool succeeded) { outcome += succeeded ? '+' : '-'; };
    MString result;
    note(MGlobal::executeCommand("shadingNode -asTexture file", result));
    note(MGlobal::executeCommand("shadingNode -asShader lambert ", result));
    MFnDependencyNode placement;
    for (int i = 0; i < 2; ++i) {
        placement.create("place2dTexture", &status);
        note(status);
    }
    MSelectionList list;
    note(list.add("file1"));
    list.length(&status);
    note(status);
    MObject fileNode, shaderNode = nodeNamed("lambert2");
    note(list.getDependNode(0, fileNode));
    MFnDependencyNode file(fileNode, &status), shader;
    note(status);
    note(shader.setObject(shaderNode));
    const MPlug outColor = file.findPlug("outColor", &status);
    note(status);
    const MPlug color = shader.findPlug("color", &status);
    note(status);
    MDGModifier modifier;
    note(modifier.connect(outColor, color));
    note(modifier.doIt());
    MPlug path = file.findPlug("fileTextureName", &status);
    note(status);
    note(path.setValue("brick.dds"));
    file.name(&status);
    note(status);
    MObject transform = makeTriangle(MObject::kNullObj, &status), shape = nodeNamed("polySurfaceShape1");
    note(status);
    MFnDagNode dag(transform, &status);
    note(status);
    dag.fullPathName(&status);
    note(status);
    MFnMesh mesh(shape, &status);
    note(status);
    MIntArray corners(std::vector<int>{0, 1, 2}.data(), 3);
    note(mesh.assignUVs(MIntArray(1, 3), corners));
    note(mesh.unlockVertexNormals(corners));
    const float up[][3] = {{0, 1, 0}, {0, 1, 0}, {0, 1, 0}};
    MVectorArray normals(up, 3);
    note(mesh.setVertexNormals(normals, corners, MSpace::kWorld));
    return outcome;
}

TEST_F(JournalTest, RecordsEveryHostCallInOrder) {
    EXPECT_EQ(runImport(), std::string(23, '+'));

    std::vector<std::string> lines;
    for (const standin::JournalEntry& entry : standin::journal()) {
        lines.push_back(std::string(entry.operation) + " [" + entry.detail + "] [" + entry.arguments + "]");
    }
    const std::string flags = "[displayEnabled=false undoEnabled=false]";
    EXPECT_THAT(lines,
                ::testing::ElementsAre(
                    "MGlobal::executeCommand [shadingNode -asTexture file] " + flags,
                    "MGlobal::executeCommand [shadingNode -asShader lambert ] " + flags,
                    "MFnDependencyNode::create [place2dTexture] []",
                    "MFnDependencyNode::create [place2dTexture] []", "MSelectionList::add [file1] []",
                    "MSelectionList::length [] []", "MSelectionList::getDependNode [] [index=0]",
                    "MFnDependencyNode::attach [file1] []", "MFnDependencyNode::attach [lambert2] []",
                    "MFnDependencyNode::findPlug [outColor] []", "MFnDependencyNode::findPlug [color] []",
                    "MDGModifier::connect [file1.outColor -> lambert2.color] []", "MDGModifier::doIt [] []",
                    "MFnDependencyNode::findPlug [fileTextureName] []",
                    "MPlug::setValue [file1.fileTextureName] [value=brick.dds]",
                    "MFnDependencyNode::name [] []", "MFnMesh::create [] [numVertices=3 numPolygons=1]",
                    "MFnDagNode::attach [polySurface1] []", "MFnDagNode::fullPathName [] []",
                    "MFnMesh::attach [polySurfaceShape1] []", "MFnMesh::assignUVs [map1] []",
                    "MFnMesh::unlockVertexNormals [] []", "MFnMesh::setVertexNormals [] [space=4]"));
}

TEST_F(JournalTest, FailsTheCallsThatAFaultMatches) {
    using F = standin::Fault;
    struct FaultCase {
        standin::Fault fault;
        const char* outcome;  // of the calls of runImport
        std::size_t nodes;
    };
    const FaultCase cases[] = {
        {F{"MFnDependencyNode::create", "", "file", "", 0}, "+++++++++++++++++++++++", 8},  // no call has all
        {F{"MFnDependencyNode::create", "", "", "", 0}, "++--+++++++++++++++++++", 6},
        {F{"MFnDependencyNode::create", "", "", "", 2}, "+++-+++++++++++++++++++", 7},
        {F{"", "", "place2dTexture", "", 1}, "++-++++++++++++++++++++", 7},
        {F{"MGlobal::executeCommand", "shadingNode -asShader", "", "", 0}, "+-++++++-+--+++++++++++", 7},
        {F{"", "", "lambert", "", 0}, "+-++++++-+--+++++++++++", 7},  // the type a command makes
        {F{"MFnDependencyNode::attach", "", "file", "", 0}, "+++++++-+-+-+---+++++++", 8},
        {F{"MFnDependencyNode::findPlug", "", "", "color", 0}, "++++++++++--+++++++++++", 8},
        {F{"MDGModifier::connect", "", "", "color", 0}, "+++++++++++-+++++++++++", 8},
        {F{"MSelectionList::add", "file", "", "", 0}, "++++-+--+-+-+---+++++++", 8},
        {F{"MDGModifier::doIt", "", "", "", 0}, "++++++++++++-++++++++++", 8},
        {F{"MFnMesh::create", "", "", "", 0}, "++++++++++++++++-------", 6},
        {F{"MFnMesh::attach", "", "mesh", "", 0}, "+++++++++++++++++++----", 8},
    };
    for (const FaultCase& fault : cases) {
        SCOPED_TRACE(fault.fault.operation + " " + fault.fault.text + " " + fault.fault.nodeType + " " +
                     fault.fault.attribute + " " + std::to_string(fault.fault.occurrence));
        standin::newScene();
        standin::injectFault(fault.fault);
        EXPECT_EQ(runImport(), fault.outcome);
        EXPECT_EQ(scene().nodes().size(), fault.nodes);
        std::string journaled;
        for (const standin::JournalEntry& entry : standin::journal())
            journaled += entry.succeeded ? '+' : '-';
        EXPECT_EQ(journaled, fault.outcome);
        const bool connected = fault.outcome[11] == '+' && fault.outcome[12] == '+';
        EXPECT_EQ(scene().connections().size(), connected ? 2u : 1u);
    }
}

TEST_F(JournalTest, NewSceneClearsTheJournalAndTheFaults) {
    standin::injectFault({"MFnDependencyNode::create", "", "", "", 0});
    makeNode("lambert");
    standin::newScene();

    EXPECT_TRUE(standin::journal().empty());
    EXPECT_FALSE(makeNode("lambert").isNull());
}

}  // namespace
}  // namespace orvex::test
