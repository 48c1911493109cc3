#ifndef MFNDEPENDENCYNODE_H
#define MFNDEPENDENCYNODE_H

#include <maya/MFnBase.h>
#include <maya/MObject.h>
#include <maya/MPlug.h>
#include <maya/MStatus.h>
#include <maya/MString.h>
#include <maya/MTypes.h>

STANDIN_NAMESPACE_OPEN

class OPENMAYA_EXPORT MFnDependencyNode : public MFnBase {
public:
    MFnDependencyNode();
    MFnDependencyNode(MObject& object, MStatus* ReturnStatus = NULL);
    ~MFnDependencyNode() override;

    MStatus setObject(MObject& object) override;

    MObject create(const MString& type, MStatus* ReturnStatus = NULL);
    MString name(MStatus* ReturnStatus = NULL) const;
    MString typeName(MStatus* ReturnStatus = NULL) const;

    MPlug findPlug(const MString& attributeName, MStatus* ReturnStatus = NULL) const;
    MPlug findPlug(const MString& attributeName, bool wantNetworkedPlug, MStatus* ReturnStatus = NULL) const;
};

STANDIN_NAMESPACE_CLOSE

#endif
