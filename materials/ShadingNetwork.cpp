#include "materials/ShadingNetwork.h"

#include "materials/TexturePath.h"
#include "model/HostPath.h"

#include <maya/MDGModifier.h>
#include <maya/MFnDagNode.h>
#include <maya/MFnDependencyNode.h>
#include <maya/MGlobal.h>
#include <maya/MPlug.h>
#include <maya/MSelectionList.h>
#include <maya/MStatus.h>
#include <maya/MString.h>

namespace orvex {
namespace {

struct PlacementConnection {
    const char* placementAttribute;
    const char* fileTextureAttribute;
};

// Every attribute that a file texture takes from its placement, as the host
// connects them when it makes a texture itself.
constexpr PlacementConnection placementConnections[] = {
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

constexpr const char* kFileTextureCommand = "shadingNode -asTexture file";
constexpr const char* kLambertShaderCommand = "shadingNode -asShader lambert ";
constexpr const char* kShadingGroupCommand = "sets -renderable true -noSurfaceShader true -empty;";

// Commands run neither echoed nor recorded for undo.
MStatus executeCommand(const MString& command, MString& result) {
    return MGlobal::executeCommand(command, result, false, false);
}

MObject findNodeByName(const MString& name) {
    MSelectionList list;
    list.add(name);
    MObject node;
    if (list.length() == 0 || !list.getDependNode(0, node)) {
        return MObject::kNullObj;
    }
    return node;
}

// Queues nothing when either plug is missing, so one absent attribute costs
// only its own connection.
void connectAttribute(MDGModifier& modifier, const char* sourceAttribute, const char* destinationAttribute,
                      const MFnDependencyNode& source, const MFnDependencyNode& destination) {
    MStatus status;
    const MPlug sourcePlug = source.findPlug(sourceAttribute, false, &status);
    if (!status) {
        return;
    }
    const MPlug destinationPlug = destination.findPlug(destinationAttribute, false, &status);
    if (!status) {
        return;
    }
    modifier.connect(sourcePlug, destinationPlug);
}

bool setFileTextureName(const MFnDependencyNode& fileTexture, const std::string& path) {
    MStatus status;
    MPlug plug = fileTexture.findPlug("fileTextureName", false, &status);
    if (!status) {
        return false;
    }
    MString text = hostTextOfPath(path);
    return plug.setValue(text) == MStatus::kSuccess;
}

MObject createTexturePlacement(const MFnDependencyNode& fileTexture) {
    MFnDependencyNode placement;
    MStatus status;
    const MObject node = placement.create("place2dTexture", &status);
    if (!status) {
        return MObject::kNullObj;
    }
    MDGModifier modifier;
    for (const PlacementConnection& connection : placementConnections) {
        connectAttribute(modifier, connection.placementAttribute, connection.fileTextureAttribute, placement,
                         fileTexture);
    }
    modifier.doIt();
    return node;
}

// Only a node whose path is set is recorded, so that a failed set-up is
// tried again by the next mesh with the same path.
MObject createFileTexture(Model& model, const std::string& path) {
    MString nodeName;
    if (!executeCommand(kFileTextureCommand, nodeName)) {
        return MObject::kNullObj;
    }
    MObject node = findNodeByName(nodeName);
    MStatus status;
    const MFnDependencyNode fileTexture(node, &status);
    if (!status || !setFileTextureName(fileTexture, path)) {
        return MObject::kNullObj;
    }
    // The texture is usable without its placement, so a failure here keeps it.
    createTexturePlacement(fileTexture);
    model.textureNodeCache.emplace(path, node);
    return node;
}

MObject createLambertShader() {
    MString nodeName;
    if (!executeCommand(kLambertShaderCommand, nodeName)) {
        return MObject::kNullObj;
    }
    return findNodeByName(nodeName);
}

MObject createShadingGroup(const MFnDependencyNode& shader) {
    MString setName;
    if (!executeCommand(kShadingGroupCommand, setName)) {
        return MObject::kNullObj;
    }
    MObject set = findNodeByName(setName);
    MStatus status;
    const MFnDependencyNode shadingGroup(set, &status);
    if (!status) {
        return MObject::kNullObj;
    }
    MDGModifier modifier;
    connectAttribute(modifier, "outColor", "surfaceShader", shader, shadingGroup);
    modifier.doIt();
    return findNodeByName(setName);
}

void assignToShadingGroup(MObject shadingGroup, MObject meshObject) {
    MStatus status;
    const MFnDependencyNode group(shadingGroup, &status);
    if (!status) {
        return;
    }
    MFnDagNode mesh(meshObject, &status);
    if (!status) {
        return;
    }
    const MString meshPath = mesh.fullPathName();
    const MString groupName = group.name();
    MString command = "sets -e -forceElement ";
    command += groupName;
    command += " ";
    command += meshPath;
    command += ";";
    MString result;
    executeCommand(command, result);
}

}  // namespace

bool assignMaterial(Model& model, const ModelMesh& mesh, MObject meshObject) {
    const std::string path = resolveTexturePath(mesh.names[0], model);
    const auto cached = model.textureNodeCache.find(path);
    MObject fileNode =
        cached != model.textureNodeCache.end() ? cached->second : createFileTexture(model, path);
    MStatus status;
    const MFnDependencyNode fileTexture(fileNode, &status);
    if (!status) {
        return false;
    }
    MObject shaderNode = createLambertShader();
    const MFnDependencyNode shader(shaderNode, &status);
    if (!status) {
        return false;
    }
    MDGModifier modifier;
    connectAttribute(modifier, "outColor", "color", fileTexture, shader);
    modifier.doIt();
    assignToShadingGroup(createShadingGroup(shader), meshObject);
    return true;
}

}  // namespace orvex
