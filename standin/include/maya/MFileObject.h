#ifndef MFILEOBJECT_H
#define MFILEOBJECT_H

#include <maya/MStatus.h>
#include <maya/MString.h>
#include <maya/MTypes.h>

class OPENMAYA_EXPORT MFileObject {
public:
    MFileObject();
    MFileObject(const MFileObject& other);
    MFileObject& operator=(const MFileObject& other);
    ~MFileObject();

    MStatus setRawFullName(const MString& fullName);
    // Directory and file name.
    MString fullName(MStatus* ReturnStatus = NULL) const;
    // File name only.
    MString name(MStatus* ReturnStatus = NULL) const;

private:
    MString fFullName;
};

#endif
