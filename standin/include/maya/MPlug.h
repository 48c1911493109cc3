#ifndef MPLUG_H
#define MPLUG_H

#include <maya/MObject.h>
#include <maya/MStatus.h>
#include <maya/MString.h>
#include <maya/MTypes.h>

STANDIN_NAMESPACE_OPEN

// One attribute of one node.
class OPENMAYA_EXPORT MPlug {
public:
    MPlug();
    MPlug(const MPlug& other);
    MPlug& operator=(const MPlug& other);
    ~MPlug();

    bool isNull(MStatus* ReturnStatus = NULL) const;
    MObject node(MStatus* ReturnStatus = NULL) const;
    MString name(MStatus* ReturnStatus = NULL) const;

    MStatus setValue(MString& value);
    MStatus setValue(const char* value);

private:
    friend class ::standin::ObjectAccess;
    MObject fNode;
    MString fAttribute;
};

STANDIN_NAMESPACE_CLOSE

#endif
