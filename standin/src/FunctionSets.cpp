#include "Host.h"

#include <maya/MFnBase.h>
#include <maya/MFnDagNode.h>
#include <maya/MFnDependencyNode.h>
#include <maya/MPlug.h>

namespace standin {
namespace {

bool anyNode(const Node&) {
    return true;
}
bool dagNode(const Node& node) {
    return node.dag;
}

bool isCreatable(const std::string& type) {
    return type == "lambert" || type == "file" || type == "place2dTexture" || type == "shadingEngine" ||
           type == "transform";
}

}  // namespace

MStatus attachFunctionSet(MObject& slot, const char* operation, const MObject& object,
                          bool (*accepts)(const Node&)) {
    const Node* node = findNode(object);
    HostCall call{operation, node ? node->name : std::string(), {}, typesOf(node), {}};
    slot = MObject::kNullObj;
    return journaled(std::move(call), [&]() -> MStatus {
        if (!node || !accepts(*node)) return MStatus::kFailure;
        slot = object;
        return MStatus::kSuccess;
    });
}

namespace {

// A null value is refused.
MStatus setStringValue(const MPlug& plug, const std::string* value) {
    Node* node = findNode(ObjectAccess::plugNode(plug));
    const std::string attribute = ObjectAccess::plugAttribute(plug);
    HostCall call{"MPlug::setValue",
                        plugName(plug),
                        "value=" + (value ? *value : std::string()),
                        typesOf(node),
                        {attribute}};
    return journaled(std::move(call), [&]() -> MStatus {
        if (!node || !value) return MStatus::kFailure;
        node->stringValues[attribute] = *value;
        return MStatus::kSuccess;
    });
}

}  // namespace
}  // namespace standin

using standin::HostCall;
using standin::journaled;
using standin::report;

// --- MFnBase ----------------------------------------------------------------

MFnBase::MFnBase() = default;
MFnBase::~MFnBase() = default;

MObject MFnBase::object(MStatus* ReturnStatus) const {
    report(fObject.isNull() ? MStatus::kFailure : MStatus::kSuccess, ReturnStatus);
    return fObject;
}

// The base set has no node type to insist on: any live scene node or
// loaded plug-in will do.
MStatus MFnBase::setObject(MObject& object) {
    const standin::Node* node = standin::findNode(object);
    const bool live = node || standin::findPlugin(object);
    HostCall call{"MFnBase::attach", node ? node->name : std::string(), {}, standin::typesOf(node), {}};
    fObject = MObject::kNullObj;
    return journaled(std::move(call), [&]() -> MStatus {
        if (!live) return MStatus::kFailure;
        fObject = object;
        return MStatus::kSuccess;
    });
}

// --- MFnDependencyNode ------------------------------------------------------

MFnDependencyNode::MFnDependencyNode() = default;

MFnDependencyNode::MFnDependencyNode(MObject& object, MStatus* ReturnStatus) {
    report(standin::attachFunctionSet(fObject, "MFnDependencyNode::attach", object, standin::anyNode),
           ReturnStatus);
}

MFnDependencyNode::~MFnDependencyNode() = default;

MStatus MFnDependencyNode::setObject(MObject& object) {
    return standin::attachFunctionSet(fObject, "MFnDependencyNode::attach", object, standin::anyNode);
}

MObject MFnDependencyNode::create(const MString& type, MStatus* ReturnStatus) {
    const std::string& typeText = standin::StringAccess::text(type);
    HostCall call{"MFnDependencyNode::create", typeText, {}, {typeText}, {}};
    MObject made;
    report(journaled(std::move(call),
                     [&]() -> MStatus {
                         if (!standin::isCreatable(typeText)) return MStatus::kFailure;
                         made = standin::objectOf(standin::addNode(typeText, typeText).id);
                         fObject = made;
                         return MStatus::kSuccess;
                     }),
           ReturnStatus);
    return made;
}

MString MFnDependencyNode::name(MStatus* ReturnStatus) const {
    const standin::Node* node = standin::findNode(fObject);
    HostCall call{"MFnDependencyNode::name", {}, {}, standin::typesOf(node), {}};
    MString result;
    report(journaled(std::move(call),
                     [&]() -> MStatus {
                         if (!node) return MStatus::kFailure;
                         result = standin::StringAccess::fromText(node->name);
                         return MStatus::kSuccess;
                     }),
           ReturnStatus);
    return result;
}

MString MFnDependencyNode::typeName(MStatus* ReturnStatus) const {
    const standin::Node* node = standin::findNode(fObject);
    report(node ? MStatus::kSuccess : MStatus::kFailure, ReturnStatus);
    return node ? standin::StringAccess::fromText(node->type) : MString();
}

MPlug MFnDependencyNode::findPlug(const MString& attributeName, MStatus* ReturnStatus) const {
    const standin::Node* node = standin::findNode(fObject);
    const std::string& attribute = standin::StringAccess::text(attributeName);
    HostCall call{"MFnDependencyNode::findPlug", attribute, {}, standin::typesOf(node), {attribute}};
    MPlug plug;
    report(journaled(std::move(call),
                     [&]() -> MStatus {
                         if (!node || !standin::hasAttribute(node->type, attribute)) return MStatus::kFailure;
                         plug = standin::ObjectAccess::plug(fObject, attribute);
                         return MStatus::kSuccess;
                     }),
           ReturnStatus);
    return plug;
}

// Every plug here is networked; the flag changes nothing.
MPlug MFnDependencyNode::findPlug(const MString& attributeName, bool, MStatus* ReturnStatus) const {
    return findPlug(attributeName, ReturnStatus);
}

// --- MFnDagNode -------------------------------------------------------------

MFnDagNode::MFnDagNode() = default;

MFnDagNode::MFnDagNode(MObject& object, MStatus* ReturnStatus) {
    report(standin::attachFunctionSet(fObject, "MFnDagNode::attach", object, standin::dagNode), ReturnStatus);
}

MFnDagNode::~MFnDagNode() = default;

MStatus MFnDagNode::setObject(MObject& object) {
    return standin::attachFunctionSet(fObject, "MFnDagNode::attach", object, standin::dagNode);
}

MString MFnDagNode::fullPathName(MStatus* ReturnStatus) {
    const standin::Node* node = standin::findNode(fObject);
    const bool usable = node && node->dag;
    HostCall call{"MFnDagNode::fullPathName", {}, {}, standin::typesOf(node), {}};
    MString path;
    report(journaled(std::move(call),
                     [&]() -> MStatus {
                         if (!usable) return MStatus::kFailure;
                         path =
                             standin::StringAccess::fromText(standin::currentScene().fullPathName(node->id));
                         return MStatus::kSuccess;
                     }),
           ReturnStatus);
    return path;
}

// --- MPlug ------------------------------------------------------------------

MPlug::MPlug() = default;
MPlug::MPlug(const MPlug& other) = default;
MPlug& MPlug::operator=(const MPlug& other) = default;
MPlug::~MPlug() = default;

bool MPlug::isNull(MStatus* ReturnStatus) const {
    report(MStatus::kSuccess, ReturnStatus);
    return fNode.isNull();
}

MObject MPlug::node(MStatus* ReturnStatus) const {
    report(fNode.isNull() ? MStatus::kFailure : MStatus::kSuccess, ReturnStatus);
    return fNode;
}

MString MPlug::name(MStatus* ReturnStatus) const {
    const bool live = standin::findNode(fNode) != nullptr;
    report(live ? MStatus::kSuccess : MStatus::kFailure, ReturnStatus);
    return live ? standin::StringAccess::fromText(standin::plugName(*this)) : MString();
}

MStatus MPlug::setValue(MString& value) {
    return standin::setStringValue(*this, &standin::StringAccess::text(value));
}

MStatus MPlug::setValue(const char* value) {
    const std::string text = standin::fromLocale(value);
    return standin::setStringValue(*this, value ? &text : nullptr);
}
