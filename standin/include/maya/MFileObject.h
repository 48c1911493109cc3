#ifndef MFILEOBJECT_H
#define MFILEOBJECT_H

#include <maya/MStatus.h>
#include <maya/MString.h>
#include <maya/MTypes.h>

// Devkits from 2019 on deprecate fullName() and name() in favour of their
// resolved forms; the stand-in does the same at those API versions, so that a
// plug-in built against it with warnings as errors meets what they meet.
#if MAYA_API_VERSION >= 20190000
#define STANDIN_DEPRECATED_BY(replacement) [[deprecated("use " replacement " instead")]]
#else
#define STANDIN_DEPRECATED_BY(replacement)
#endif

STANDIN_NAMESPACE_OPEN

class OPENMAYA_EXPORT MFileObject {
public:
    MFileObject();
    MFileObject(const MFileObject& other);
    MFileObject& operator=(const MFileObject& other);
    ~MFileObject();

    MStatus setRawFullName(const MString& fullName);
    // Directory and file name. The stand-in resolves no search path, so the
    // resolved forms give what was set.
    MString resolvedFullName() const;
    // File name only.
    MString resolvedName() const;

    STANDIN_DEPRECATED_BY("resolvedFullName()")
    MString fullName() const;
    STANDIN_DEPRECATED_BY("resolvedName()")
    MString name() const;

private:
    MString fFullName;
};

STANDIN_NAMESPACE_CLOSE

#undef STANDIN_DEPRECATED_BY

#endif
