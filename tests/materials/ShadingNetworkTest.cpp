#include "materials/ShadingNetwork.h"
#include "model/Model.h"
#include "tests/materials/TempTree.h"

#include <maya/MFloatArray.h>
#include <maya/MFloatPointArray.h>
#include <maya/MFnMesh.h>
#include <maya/MIntArray.h>
#include <maya/MObject.h>
#include <standin/Journal.h>
#include <standin/Scene.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <utility>
#include <vector>

namespace orvex {
namespace {

using standin::kNoNode;
using standin::NodeId;

const std::pair<std::string, std::string> placementConnections[] = {
    {"outUV", "uvCoord"},
    {"outUvFilterSize", "uvFilterSize"},
    {"vertexUvOne", "vertexUvOne"},
    {"vertexUvTwo", "vertexUvTwo"},
    {"vertexUvThree", "vertexUvThree"},
    {"vertexCameraOne", "vertexCameraOne"},
    {"offset", "offset"},
    {"stagger", "stagger"},
    {"coverage", "coverage"},
    {"translateFrame", "translateFrame"},
    {"mirrorV", "mirrorV"},
    {"mirrorU", "mirrorU"},
    {"wrapU", "wrapU"},
    {"wrapV", "wrapV"},
    {"noiseUV", "noiseUV"},
    {"rotateUV", "rotateUV"},
    {"repeatUV", "repeatUV"},
};

const char kShadingGroupType[] = "shadingEngine";

// The nodes that feed one mesh's material, or kNoNode where a link is missing.
struct Network {
    NodeId group = kNoNode;
    NodeId shader = kNoNode;
    NodeId fileTexture = kNoNode;
    NodeId placement = kNoNode;
};

class ShadingNetworkTest : public ::testing::Test {
protected:
    void SetUp() override { newScene(); }

    void newScene() {
        standin::newScene();
        defaultConnections = scene().connections().size();
        meshes.clear();
    }

    std::size_t madeConnections() const { return scene().connections().size() - defaultConnections; }

    // One triangle at the world root, made before the journal is cleared.
    MObject makeMesh() {
        const MFloatPointArray points(3);
        const MIntArray counts(1, 3);
        const int corners[] = {0, 1, 2};
        const MIntArray connects(corners, 3);
        const MFloatArray uv(3, 0.0f);
        MFnMesh mesh;
        const MObject object = mesh.create(3, 1, points, counts, connects, uv, uv);
        meshes.push_back(object);
        standin::clearJournal();
        return object;
    }

    ModelMesh meshNamed(const std::string& textureName) {
        ModelMesh mesh;
        mesh.names[0] = textureName;
        return mesh;
    }

    static const standin::Scene& scene() { return standin::currentScene(); }

    static std::vector<NodeId> madeNodes(const std::string& type) {
        std::vector<NodeId> made;
        for (const standin::Node& node : scene().nodes()) {
            if (node.type == type && node.name != "lambert1" && node.name != "initialShadingGroup") {
                made.push_back(node.id);
            }
        }
        return made;
    }

    static NodeId sourceInto(NodeId node, const std::string& attribute) {
        const standin::Connection* connection = scene().connectionInto(node, attribute);
        return connection == nullptr ? kNoNode : connection->sourceNode;
    }

    static Network networkOf(const MObject& meshObject) {
        Network network;
        const std::vector<NodeId> shapes = scene().children(scene().find(meshObject)->id);
        const std::vector<NodeId> groups = scene().setsContaining(shapes.at(0));
        if (groups.size() == 1) {
            network.group = groups[0];
            network.shader = sourceInto(network.group, "surfaceShader");
            network.fileTexture = sourceInto(network.shader, "color");
            network.placement = sourceInto(network.fileTexture, "uvCoord");
        }
        return network;
    }

    static std::string fileTextureName(NodeId fileTexture) {
        const std::map<std::string, std::string>& values = scene().find(fileTexture)->stringValues;
        const auto found = values.find("fileTextureName");
        return found == values.end() ? std::string() : found->second;
    }

    Model model;
    std::vector<MObject> meshes;
    std::size_t defaultConnections = 0;
};

TEST_F(ShadingNetworkTest, GivesEveryMeshItsOwnShaderAndGroupAndSharesFileNodesByPath) {
    model.contentRoot = "D:\\data\\content\\";
    const char* names[] = {"walls\\a", "b", "walls\\a", "c"};
    for (const char* name : names) {
        EXPECT_TRUE(assignMaterial(model, meshNamed(name), makeMesh()));
    }

    EXPECT_EQ(madeNodes("file").size(), 3u);
    EXPECT_EQ(madeNodes("place2dTexture").size(), 3u);
    EXPECT_EQ(madeNodes("lambert").size(), 4u);
    EXPECT_EQ(madeNodes(kShadingGroupType).size(), 4u);
    EXPECT_EQ(madeConnections(), 3u * 17u + 4u + 4u);

    std::vector<Network> networks;
    for (const MObject& mesh : meshes) {
        networks.push_back(networkOf(mesh));
    }
    for (std::size_t i = 0; i < networks.size(); ++i) {
        SCOPED_TRACE(names[i]);
        const std::string path = std::string("D:\\data\\content\\textures\\") + names[i] + ".512.dds";
        EXPECT_EQ(fileTextureName(networks[i].fileTexture), path);
        EXPECT_TRUE(model.textureNodeCache.at(path) == standin::objectOf(networks[i].fileTexture));
        EXPECT_NE(networks[i].placement, kNoNode);
        for (std::size_t j = 0; j < i; ++j) {
            EXPECT_NE(networks[i].group, networks[j].group);
            EXPECT_NE(networks[i].shader, networks[j].shader);
        }
    }
    EXPECT_EQ(networks[0].fileTexture, networks[2].fileTexture);
    EXPECT_EQ(model.textureNodeCache.size(), 3u);
}

TEST_F(ShadingNetworkTest, KeysFileNodesByThePathByteForByte) {
    const test::TempTree tree;
    tree.add("content/textures/brick.2048.dds");
    model.contentRoot = tree.gameRoot() + "content\\";
    assignMaterial(model, meshNamed("brick"), makeMesh());
    assignMaterial(model, meshNamed("BRICK"), makeMesh());

    EXPECT_EQ(madeNodes("file").size(), 2u);
    EXPECT_EQ(fileTextureName(networkOf(meshes[1]).fileTexture),
              model.contentRoot + "textures\\BRICK.2048.dds");

    Model bare;
    assignMaterial(bare, meshNamed("walls\\brick_01"), makeMesh());
    EXPECT_EQ(bare.textureNodeCache.count("walls\\brick_01"), 1u);
    EXPECT_EQ(fileTextureName(networkOf(meshes[2]).fileTexture), "walls\\brick_01");
}

// Each call as "operation [detail]", the brackets showing the exact text.
std::vector<std::string> journalLines() {
    std::vector<std::string> lines;
    for (const standin::JournalEntry& entry : standin::journal()) {
        lines.push_back(std::string(entry.operation) + (entry.detail.empty() ? "" : " [" + entry.detail + "]"));
        if (entry.operation == "MGlobal::executeCommand") {
            EXPECT_EQ(entry.arguments, "displayEnabled=false undoEnabled=false") << entry.detail;
        }
    }
    return lines;
}

// What a mesh's material takes once its file texture node is known; $S, $G
// and $M stand for the numbers of the shader, the group and the mesh.
const char* const kMaterialCalls[] = {
    "MFnDependencyNode::attach [file1]",
    "MGlobal::executeCommand [shadingNode -asShader lambert ]",
    "MSelectionList::add [lambert$S]",
    "MSelectionList::length",
    "MSelectionList::getDependNode",
    "MFnDependencyNode::attach [lambert$S]",
    "MFnDependencyNode::findPlug [outColor]",
    "MFnDependencyNode::findPlug [color]",
    "MDGModifier::connect [file1.outColor -> lambert$S.color]",
    "MDGModifier::doIt",
    "MGlobal::executeCommand [sets -renderable true -noSurfaceShader true -empty;]",
    "MSelectionList::add [set$G]",
    "MSelectionList::length",
    "MSelectionList::getDependNode",
    "MFnDependencyNode::attach [set$G]",
    "MFnDependencyNode::findPlug [outColor]",
    "MFnDependencyNode::findPlug [surfaceShader]",
    "MDGModifier::connect [lambert$S.outColor -> set$G.surfaceShader]",
    "MDGModifier::doIt",
    "MSelectionList::add [set$G]",
    "MSelectionList::length",
    "MSelectionList::getDependNode",
    "MFnDependencyNode::attach [set$G]",
    "MFnDagNode::attach [polySurface$M]",
    "MFnDagNode::fullPathName",
    "MFnDependencyNode::name",
    "MGlobal::executeCommand [sets -e -forceElement set$G |polySurface$M;]",
};

std::vector<std::string> materialCalls(char shader, char group, char mesh) {
    std::vector<std::string> calls;
    for (std::string call : kMaterialCalls) {
        for (const auto& [placeholder, number] : {std::pair{"$S", shader}, {"$G", group}, {"$M", mesh}}) {
            const std::size_t at = call.find(placeholder);
            if (at != std::string::npos) {
                call.replace(at, 2, 1, number);
            }
        }
        calls.push_back(call);
    }
    return calls;
}

TEST_F(ShadingNetworkTest, CallsTheHostInOrderOnACacheMissAndOnAHit) {
    MObject first = makeMesh();
    MObject second = makeMesh();
    std::vector<std::string> miss = {
        "MGlobal::executeCommand [shadingNode -asTexture file]",
        "MSelectionList::add [file1]",
        "MSelectionList::length",
        "MSelectionList::getDependNode",
        "MFnDependencyNode::attach [file1]",
        "MFnDependencyNode::findPlug [fileTextureName]",
        "MPlug::setValue [file1.fileTextureName]",
        "MFnDependencyNode::create [place2dTexture]",
    };
    for (const auto& [source, destination] : placementConnections) {
        miss.insert(miss.end(),
                    {"MFnDependencyNode::findPlug [" + source + "]",
                     "MFnDependencyNode::findPlug [" + destination + "]",
                     "MDGModifier::connect [place2dTexture1." + source + " -> file1." + destination + "]"});
    }
    miss.push_back("MDGModifier::doIt");
    const std::vector<std::string> material = materialCalls('2', '1', '1');
    miss.insert(miss.end(), material.begin(), material.end());

    assignMaterial(model, meshNamed("brick"), first);
    EXPECT_THAT(journalLines(), ::testing::ElementsAreArray(miss));

    standin::clearJournal();
    assignMaterial(model, meshNamed("brick"), second);
    EXPECT_THAT(journalLines(), ::testing::ElementsAreArray(materialCalls('3', '2', '2')));
}

// Two meshes of one texture path; the fault hits the first mesh's material.
struct FailureCase {
    standin::Fault fault;
    bool firstResult;
    bool cachedAfterFirst;
    std::size_t fileTextures, placements, shaders, groups, connections;
    bool firstGrouped;
};

standin::Fault fault(const char* operation, const char* text, const char* nodeType = "",
                     const char* attribute = "", unsigned int occurrence = 1) {
    return {operation, text, nodeType, attribute, occurrence};
}

TEST_F(ShadingNetworkTest, EndsEachFailedStepQuietlyAndKeepsWhatWasMade) {
    const char* const kCommand = "MGlobal::executeCommand";
    const char* const kAdd = "MSelectionList::add";
    const char* const kAttach = "MFnDependencyNode::attach";
    const char* const kFindPlug = "MFnDependencyNode::findPlug";
    const char* const kCreate = "MFnDependencyNode::create";
    const char* const kGetDependNode = "MSelectionList::getDependNode";
    // clang-format off
    const FailureCase cases[] = {
        // fault, first result, cached after first, file, placement, Lambert and group nodes,
        //   connections, first mesh in a group
        {{},                                                true,  true,  1, 1, 2, 2, 21,  true},
        {fault(kCommand, "shadingNode -asTexture"),         false, false, 1, 1, 1, 1, 19, false},
        {fault(kAdd, "file"),                               false, false, 2, 1, 1, 1, 19, false},
        {fault(kGetDependNode, ""),                         false, false, 2, 1, 1, 1, 19, false},
        {fault(kAttach, "", "file"),                        false, false, 2, 1, 1, 1, 19, false},
        {fault(kFindPlug, "", "", "fileTextureName"),       false, false, 2, 1, 1, 1, 19, false},
        {fault("MPlug::setValue", ""),                      false, false, 2, 1, 1, 1, 19, false},
        {fault(kCreate, "place2dTexture"),                  true,  true,  1, 0, 2, 2,  4,  true},
        {fault(kFindPlug, "", "place2dTexture", "mirrorU"), true,  true,  1, 1, 2, 2, 20,  true},
        {fault(kFindPlug, "", "file", "uvCoord"),           true,  true,  1, 1, 2, 2, 20,  true},
        {fault("MDGModifier::doIt", ""),                    true,  true,  1, 1, 2, 2,  4,  true},
        {fault(kFindPlug, "", "lambert", "color"),          true,  true,  1, 1, 2, 2, 20,  true},
        {fault(kCommand, "shadingNode -asShader"),          false, true,  1, 1, 1, 1, 19, false},
        {fault(kAdd, "lambert"),                            false, true,  1, 1, 2, 1, 19, false},
        {fault(kAttach, "", "lambert"),                     false, true,  1, 1, 2, 1, 19, false},
        {fault(kCommand, "sets -renderable"),               true,  true,  1, 1, 2, 1, 20, false},
        {fault(kAdd, "set"),                                true,  true,  1, 1, 2, 2, 20, false},
        {fault(kAdd, "set", "", "", 2),                     true,  true,  1, 1, 2, 2, 21, false},
        {fault("MFnDagNode::attach", ""),                   true,  true,  1, 1, 2, 2, 21, false},
        {fault(kCommand, "sets -e -forceElement"),          true,  true,  1, 1, 2, 2, 21, false},
    };
    // clang-format on
    for (const FailureCase& failure : cases) {
        SCOPED_TRACE(failure.fault.operation + " " + failure.fault.text + failure.fault.nodeType + " " +
                     failure.fault.attribute + " #" + std::to_string(failure.fault.occurrence));
        newScene();
        Model failing;
        MObject first = makeMesh();
        MObject second = makeMesh();
        if (!failure.fault.operation.empty()) {
            standin::injectFault(failure.fault);
        }

        EXPECT_EQ(assignMaterial(failing, meshNamed("brick"), first), failure.firstResult);
        EXPECT_EQ(failing.textureNodeCache.count("brick"), failure.cachedAfterFirst ? 1u : 0u);
        EXPECT_TRUE(assignMaterial(failing, meshNamed("brick"), second));
        EXPECT_EQ(failing.textureNodeCache.count("brick"), 1u);

        EXPECT_EQ(madeNodes("file").size(), failure.fileTextures);
        EXPECT_EQ(madeNodes("place2dTexture").size(), failure.placements);
        EXPECT_EQ(madeNodes("lambert").size(), failure.shaders);
        EXPECT_EQ(madeNodes(kShadingGroupType).size(), failure.groups);
        EXPECT_EQ(madeConnections(), failure.connections);
        EXPECT_EQ(networkOf(first).group != kNoNode, failure.firstGrouped);
        EXPECT_NE(networkOf(second).fileTexture, kNoNode);
    }
}

}  // namespace
}  // namespace orvex
