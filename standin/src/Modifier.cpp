#include "Host.h"

#include <maya/MDGModifier.h>

namespace standin {
namespace {

CallNames plugTypes(const MPlug& source, const MPlug& destination) {
    CallNames types = typesOf(findNode(ObjectAccess::plugNode(source)));
    if (const Node* to = findNode(ObjectAccess::plugNode(destination))) types.add(to->type);
    return types;
}

// A plug takes at most one incoming connection, as in the host.
bool makeConnection(const MPlug& source, const MPlug& destination) {
    const Node* from = findNode(ObjectAccess::plugNode(source));
    const Node* to = findNode(ObjectAccess::plugNode(destination));
    const std::string toAttribute = ObjectAccess::plugAttribute(destination);
    if (!from || !to || currentScene().connectionInto(to->id, toAttribute)) return false;
    addConnection(sceneState(), {from->id, ObjectAccess::plugAttribute(source), to->id, toAttribute});
    return true;
}

}  // namespace
}  // namespace standin

MDGModifier::MDGModifier() = default;
MDGModifier::~MDGModifier() = default;

MStatus MDGModifier::connect(const MPlug& source, const MPlug& destination) {
    using standin::ObjectAccess;
    standin::HostCall call{
        "MDGModifier::connect",
        standin::plugName(source) + " -> " + standin::plugName(destination),
        {},
        standin::plugTypes(source, destination),
        {ObjectAccess::plugAttribute(source), ObjectAccess::plugAttribute(destination)}};
    return standin::journaled(std::move(call), [&]() -> MStatus {
        if (source.isNull() || destination.isNull()) return MStatus::kFailure;
        fQueue.push_back({source, destination});
        return MStatus::kSuccess;
    });
}

MStatus MDGModifier::doIt() {
    std::vector<QueuedConnection> queue;
    queue.swap(fQueue);
    standin::HostCall call{"MDGModifier::doIt", {}, {}, {}, {}};
    return standin::journaled(std::move(call), [&]() -> MStatus {
        bool allMade = true;
        for (const QueuedConnection& queued : queue) {
            allMade = standin::makeConnection(queued.source, queued.destination) && allMade;
        }
        return allMade ? MStatus::kSuccess : MStatus::kFailure;
    });
}
