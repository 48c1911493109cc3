// A plug-in module whose entry points the host cannot find: they are
// exported, but not under the names the host of this system looks up.
// Elsewhere than on Windows they have C linkage, with plain names, as the
// stand-in once wrongly declared them; on Windows only their C++ names are
// exported, as a mingw link without the plain names gives.

#define MNoPluginEntry
#include <maya/MFnPlugin.h>

#if defined(_WIN32)
#define MISNAMED_ENTRY PLUGIN_EXPORT
#else
#define MISNAMED_ENTRY extern "C" PLUGIN_EXPORT
#endif

#if defined(__clang__)
#pragma clang diagnostic ignored "-Wreturn-type-c-linkage"
#endif

MISNAMED_ENTRY MStatus initializePlugin(MObject) {
    return MStatus::kSuccess;
}

MISNAMED_ENTRY MStatus uninitializePlugin(MObject) {
    return MStatus::kSuccess;
}
