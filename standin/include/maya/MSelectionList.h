#ifndef MSELECTIONLIST_H
#define MSELECTIONLIST_H

#include <maya/MObject.h>
#include <maya/MStatus.h>
#include <maya/MString.h>
#include <maya/MTypes.h>

#include <vector>

STANDIN_NAMESPACE_OPEN

class OPENMAYA_EXPORT MSelectionList {
public:
    MSelectionList();
    MSelectionList(const MSelectionList& other);
    MSelectionList& operator=(const MSelectionList& other);
    ~MSelectionList();

    // Adds the object that a node name or a DAG path names.
    MStatus add(const MString& matchString, bool searchChildNamespacesToo = false);
    unsigned int length(MStatus* ReturnStatus = NULL) const;
    MStatus getDependNode(unsigned int index, MObject& depNode) const;

private:
    std::vector<MObject> fItems;
};

STANDIN_NAMESPACE_CLOSE

#endif
