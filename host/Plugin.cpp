// The plug-in's entry points. This is the one file that includes
// MFnPlugin.h, which defines the exported API version.

#include "host/OrvexModelImport.h"

#include <maya/MFnPlugin.h>
#include <maya/MObject.h>
#include <maya/MStatus.h>

namespace {

const char kTranslatorName[] = "OrvexModelImport";

}  // namespace

PLUGIN_EXPORT MStatus initializePlugin(MObject obj)
{
    MStatus status;
    MFnPlugin plugin(obj, "Tavolin", "8.5", "Any");
    // Older hosts take these texts as plain char pointers.
    char pixmapName[] = "none";
    status = plugin.registerFileTranslator(kTranslatorName, pixmapName, orvex::OrvexModelImport::creator,
                                           nullptr, nullptr, false);
    return status;
}

PLUGIN_EXPORT MStatus uninitializePlugin(MObject obj)
{
    MFnPlugin plugin(obj, "Unknown", "Unknown", "Any");
    return plugin.deregisterFileTranslator(kTranslatorName);
}
