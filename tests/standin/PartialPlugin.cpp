// A plug-in module that exports initializePlugin alone, which the host
// refuses to load. Leaving out MApiVersion too keeps it from clashing with
// the probe's, as both modules end up in one test process.

#define MNoVersionString
#include <maya/MFnPlugin.h>

PLUGIN_EXPORT MStatus initializePlugin(MObject) {
    return MStatus::kSuccess;
}
