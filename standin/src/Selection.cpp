#include "Host.h"

#include <maya/MSelectionList.h>

#include <algorithm>

using standin::HostCall;
using standin::journaled;

MSelectionList::MSelectionList() = default;
MSelectionList::MSelectionList(const MSelectionList& other) = default;
MSelectionList& MSelectionList::operator=(const MSelectionList& other) = default;
MSelectionList::~MSelectionList() = default;

// Namespaces do not exist in the stand-in's scene, so the namespace flag
// changes nothing. As in the host, an object already listed is not listed twice.
MStatus MSelectionList::add(const MString& matchString, bool) {
    const standin::Node* node = standin::resolveName(standin::StringAccess::text(matchString));
    HostCall call{
        "MSelectionList::add", standin::StringAccess::text(matchString), {}, standin::typesOf(node), {}};
    return journaled(std::move(call), [&]() -> MStatus {
        if (!node) return MStatus::kFailure;
        const MObject object = standin::objectOf(node->id);
        if (std::find(fItems.begin(), fItems.end(), object) == fItems.end()) fItems.push_back(object);
        return MStatus::kSuccess;
    });
}

unsigned int MSelectionList::length(MStatus* ReturnStatus) const {
    HostCall call{"MSelectionList::length", {}, {}, {}, {}};
    unsigned int count = 0;
    standin::report(journaled(std::move(call),
                              [&]() -> MStatus {
                                  count = static_cast<unsigned int>(fItems.size());
                                  return MStatus::kSuccess;
                              }),
                    ReturnStatus);
    return count;
}

MStatus MSelectionList::getDependNode(unsigned int index, MObject& depNode) const {
    const standin::Node* node = index < fItems.size() ? standin::findNode(fItems[index]) : nullptr;
    HostCall call{
        "MSelectionList::getDependNode", {}, "index=" + std::to_string(index), standin::typesOf(node), {}};
    return journaled(std::move(call), [&]() -> MStatus {
        if (!node) return MStatus::kFailure;
        depNode = fItems[index];
        return MStatus::kSuccess;
    });
}
