#ifndef MOBJECT_H
#define MOBJECT_H

#include <maya/MTypes.h>

namespace standin {
class ObjectAccess;
}

STANDIN_NAMESPACE_OPEN

// Handle to a host object. Copying a handle never copies the object, and
// releasing one leaves the object in the scene.
class OPENMAYA_EXPORT MObject {
public:
    MObject();
    MObject(const MObject& other);
    MObject& operator=(const MObject& other);
    ~MObject();

    bool isNull() const;
    bool operator==(const MObject& other) const;
    bool operator!=(const MObject& other) const;

    static const MObject kNullObj;

private:
    friend class ::standin::ObjectAccess;
    unsigned int fHandle;
};

STANDIN_NAMESPACE_CLOSE

#endif
