#ifndef MFNDAGNODE_H
#define MFNDAGNODE_H

#include <maya/MFnDependencyNode.h>
#include <maya/MObject.h>
#include <maya/MStatus.h>
#include <maya/MString.h>
#include <maya/MTypes.h>

STANDIN_NAMESPACE_OPEN

class OPENMAYA_EXPORT MFnDagNode : public MFnDependencyNode {
public:
    MFnDagNode();
    MFnDagNode(MObject& object, MStatus* ReturnStatus = NULL);
    ~MFnDagNode() override;

    MStatus setObject(MObject& object) override;

    // Not const in older host versions; declared the same way here.
    MString fullPathName(MStatus* ReturnStatus = NULL);
};

STANDIN_NAMESPACE_CLOSE

#endif
