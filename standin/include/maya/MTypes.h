#ifndef MTYPES_H
#define MTYPES_H

// Stand-in host: basic types and export macros shared by every host header.

#include <maya/MApiVersion.h>

#if defined(_WIN32)
#if defined(STANDIN_BUILDING_HOST)
#define OPENMAYA_EXPORT __declspec(dllexport)
#else
#define OPENMAYA_EXPORT __declspec(dllimport)
#endif
#define PLUGIN_EXPORT __declspec(dllexport)
#else
#define OPENMAYA_EXPORT __attribute__((visibility("default")))
#define PLUGIN_EXPORT __attribute__((visibility("default")))
#endif

#ifndef NULL
#define NULL 0
#endif

class MStatus;
class MObject;
class MString;

typedef void* (*MCreatorFunction)();

class OPENMAYA_EXPORT MSpace {
public:
    enum Space {
        kInvalid = 0,
        kTransform = 1,
        kPreTransform = kTransform,
        kPostTransform = 2,
        kWorld = 4,
        kObject = kPreTransform,
        kLast = 5
    };
};

#endif
