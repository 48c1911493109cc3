#ifndef MTYPES_H
#define MTYPES_H

// Stand-in host: basic types and export macros shared by every host header.

#include <maya/MApiVersion.h>

// The stand-in's headers open and close the namespace of the API classes
// with these, where the API version has one.
#if MAYA_API_VERSION >= 20180000
#include <maya/MApiNamespace.h>
#define STANDIN_NAMESPACE_OPEN OPENMAYA_MAJOR_NAMESPACE_OPEN
#define STANDIN_NAMESPACE_CLOSE OPENMAYA_NAMESPACE_CLOSE
#else
#define STANDIN_NAMESPACE_OPEN
#define STANDIN_NAMESPACE_CLOSE
#endif

// As the old devkits' MTypes.h, which knows the system only from the
// definitions of the devkit's build configuration: without them a plug-in
// build stops here.
#if MAYA_API_VERSION < 20180000
#ifndef _BOOL
#error "the host API headers need _BOOL defined, as the devkit's build configuration defines it"
#endif
#if defined(_WIN32)
#include <basetsd.h>
typedef unsigned __int64 MUint64;
#elif defined(linux)
#if defined(Bits64_)
typedef unsigned long MUint64;
#else
typedef unsigned long long MUint64;
#endif
#elif defined(OSMac_)
typedef unsigned long long MUint64;
#else
#error "Unknown OS: the host API headers need linux, OSMac_ or _WIN32 defined, as the devkit defines them"
#endif
#endif

// Devkits before 2016 define PLUGIN_EXPORT empty outside Windows: a plug-in
// built with hidden visibility there exports no entry points. Like theirs,
// each definition gives way to one the build already has.
#if defined(_WIN32)
#if defined(STANDIN_BUILDING_HOST)
#define OPENMAYA_EXPORT __declspec(dllexport)
#else
#define OPENMAYA_EXPORT __declspec(dllimport)
#endif
#ifndef PLUGIN_EXPORT
#define PLUGIN_EXPORT __declspec(dllexport)
#endif
#else
#define OPENMAYA_EXPORT __attribute__((visibility("default")))
#ifndef PLUGIN_EXPORT
#if MAYA_API_VERSION >= 201600
#define PLUGIN_EXPORT __attribute__((visibility("default")))
#else
#define PLUGIN_EXPORT
#endif
#endif
#endif

#ifndef NULL
#define NULL 0
#endif

STANDIN_NAMESPACE_OPEN

class MStatus;
class MObject;
class MString;

class OPENMAYA_EXPORT MSpace {
public:
    enum Space {
        kInvalid = 0,
        kTransform = 1,
        kPreTransform = 2,
        kPostTransform = 3,
        kWorld = 4,
        kObject = kPreTransform,
        kLast = 5
    };
};

STANDIN_NAMESPACE_CLOSE

typedef void* (*MCreatorFunction)();

#endif
