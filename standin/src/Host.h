#ifndef STANDIN_SRC_HOST_H
#define STANDIN_SRC_HOST_H

// Inside the stand-in host: handles, the mutable scene, the journaled call
// and the plug-in records that the API classes share. Nothing here is
// exported.

#include <maya/MFloatArray.h>
#include <maya/MFloatPointArray.h>
#include <maya/MIntArray.h>
#include <maya/MObject.h>
#include <maya/MPlug.h>
#include <maya/MStatus.h>
#include <maya/MString.h>
#include <maya/MVectorArray.h>
#include <standin/PluginHost.h>
#include <standin/Scene.h>

#include "Text.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <initializer_list>
#include <map>
#include <stdexcept>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace standin {

// The text of host strings as the stand-in holds it, in UTF-8, whatever the
// locale: what plug-ins hand over through the char* forms has been converted
// from it already.
class StringAccess {
public:
    static const std::string& text(const MString& string) { return string.fText; }
    static MString fromText(const std::string& text) {
        MString string;
        string.fText = text;
        return string;
    }
};

// A handle is a node id, or a plug-in record number with kPluginBit set;
// 0 is the null object. Node ids stay far below that bit.
class ObjectAccess {
public:
    static constexpr unsigned int kPluginBit = 0x80000000u;

    static unsigned int handle(const MObject& object) { return object.fHandle; }
    static MObject fromHandle(unsigned int handle) {
        MObject object;
        object.fHandle = handle;
        return object;
    }
    static MPlug plug(const MObject& node, const std::string& attribute) {
        MPlug plug;
        plug.fNode = node;
        plug.fAttribute = StringAccess::fromText(attribute);
        return plug;
    }
    static const MObject& plugNode(const MPlug& plug) { return plug.fNode; }
    static const std::string& plugAttribute(const MPlug& plug) { return StringAccess::text(plug.fAttribute); }
};

// The storage of the host arrays, for the host's own bulk work: each element
// access through the exported operators is a call across the library.
class ArrayAccess {
public:
    static const std::vector<int>& values(const MIntArray& array) { return array.fValues; }
    static const std::vector<float>& values(const MFloatArray& array) { return array.fValues; }
    static const std::vector<MFloatPoint>& values(const MFloatPointArray& array) { return array.fPoints; }
    static const std::vector<MVector>& values(const MVectorArray& array) { return array.fVectors; }
};

// --- Scene ------------------------------------------------------------------

struct SceneState {
    std::vector<Node> nodes;  // creation order, so ids ascend
    std::map<std::string, NodeId> byName;
    // Per name prefix, the number to try first for its next node: no name
    // is ever freed, so every number below it is taken.
    std::map<std::string, unsigned int> nextNumber;
    std::vector<Connection> connections;
    // The indices in `connections` of each node's inputs, so that finding
    // what feeds a plug takes no walk of every connection in the scene.
    std::unordered_multimap<NodeId, std::size_t> connectionsInto;
    // Each DAG node's children, in creation order (kNoNode's are the
    // world's), and the shading group of each shape in one: without them,
    // every material assigned and every shape exported walked the whole
    // scene, and 20,000 meshes took half a minute.
    std::unordered_map<NodeId, std::vector<NodeId>> dagChildren;
    std::unordered_map<NodeId, NodeId> shadingGroupOf;
};

SceneState& sceneState();

void addConnection(SceneState& scene, Connection connection);

// Null for the null object, a plug-in object or a node of an earlier scene.
Node* findNode(const MObject& object);
Node* findNode(NodeId id);

// Makes a node named `namePrefix` followed by the smallest number from 1
// that gives a name no node of the scene has. The reference is good until
// the next node is made.
Node& addNode(const std::string& type, const std::string& namePrefix, NodeId parent = kNoNode);

bool hasAttribute(const std::string& type, const std::string& attribute);

// The node that an exact name, a full DAG path ("|a|b") or a partial one
// ("a|b") names; null when none does.
Node* resolveName(const std::string& text);

// "node.attribute", or just ".attribute" when the node is gone.
std::string plugName(const MPlug& plug);

// --- Journaled calls -------------------------------------------------------

// The node types or attributes that one host call is about: no call is
// about more than two. Each name is viewed where the call's arguments or
// nodes hold it, which stays put until the call's work begins, so that the
// calls a plug-in makes by the thousand allocate nothing for fault matching.
class CallNames {
public:
    CallNames() = default;
    CallNames(std::initializer_list<std::string_view> names) {
        for (std::string_view name : names) add(name);
    }
    void add(std::string_view name) {
        if (fCount == fNames.size()) throw std::logic_error("a host call names at most two node types or attributes");
        fNames[fCount++] = name;
    }
    bool contains(std::string_view name) const {
        return std::find(fNames.begin(), fNames.begin() + fCount, name) != fNames.begin() + fCount;
    }

private:
    std::array<std::string_view, 2> fNames{};
    std::size_t fCount = 0;
};

// One host call as the journal and the fault matcher see it.
struct HostCall {
    const char* operation;
    std::string detail;
    std::string arguments;
    CallNames nodeTypes;   // of the nodes it creates or works on
    CallNames attributes;  // that it looks up or works on
};

// Counts the call against every injected fault; true when one of them
// makes this call fail.
bool failedByFault(const HostCall& call);
// The call's texts move into the journal: a plug-in makes its calls by the
// thousand, and copying each text again would double what they allocate.
void record(HostCall call, bool succeeded);

// Runs a host call: an injected fault fails it before `work` can change
// anything, and either way the outcome goes into the journal.
template <typename Work>
MStatus journaled(HostCall call, Work&& work) {
    const MStatus status = failedByFault(call) ? MStatus(MStatus::kFailure) : work();
    record(std::move(call), status == MStatus::kSuccess);
    return status;
}

inline MStatus report(MStatus status, MStatus* out) {
    if (out) *out = status;
    return status;
}

inline CallNames typesOf(const Node* node) {
    if (!node) return {};
    return {node->type};
}

// Attaches a function set (its object slot) to `object` when `accepts`
// takes the node; clears the slot otherwise. Journaled as `operation`.
MStatus attachFunctionSet(MObject& slot, const char* operation, const MObject& object,
                          bool (*accepts)(const Node&));

// --- Plug-in records --------------------------------------------------------

struct PluginRecord {
    std::vector<PluginAttachment> attachments;
    std::vector<TranslatorRegistration> translators;
};

// The record stays owned by the caller; the returned plug-in object finds
// it until unregisterPlugin.
MObject registerPlugin(PluginRecord& record);
void unregisterPlugin(const MObject& object);
PluginRecord* findPlugin(const MObject& object);

}  // namespace standin

#endif
