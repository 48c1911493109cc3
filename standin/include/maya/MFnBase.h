#ifndef MFNBASE_H
#define MFNBASE_H

#include <maya/MObject.h>
#include <maya/MStatus.h>
#include <maya/MTypes.h>

STANDIN_NAMESPACE_OPEN

// Base of the function sets. A function set works on the object it is
// attached to; function sets cannot be copied.
class OPENMAYA_EXPORT MFnBase {
public:
    virtual ~MFnBase();

    MObject object(MStatus* ReturnStatus = NULL) const;
    virtual MStatus setObject(MObject& object);

protected:
    MFnBase();
    MObject fObject;

private:
    MFnBase(const MFnBase&) = delete;
    MFnBase& operator=(const MFnBase&) = delete;
};

STANDIN_NAMESPACE_CLOSE

#endif
