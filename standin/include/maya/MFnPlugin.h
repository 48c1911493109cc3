#ifndef MFNPLUGIN_H
#define MFNPLUGIN_H

#include <maya/MFnBase.h>
#include <maya/MObject.h>
#include <maya/MStatus.h>
#include <maya/MString.h>
#include <maya/MTypes.h>

STANDIN_NAMESPACE_OPEN

class OPENMAYA_EXPORT MFnPlugin : public MFnBase {
public:
    MFnPlugin();
    MFnPlugin(MObject& object, const char* vendor = "Unknown", const char* version = "Unknown",
              const char* requiredApiVersion = "Any", MStatus* ReturnStatus = NULL);
    ~MFnPlugin() override;

    // The text parameters are plain char pointers in older host versions;
    // declared the same way here.
    MStatus registerFileTranslator(const MString& translatorName, char* pixmapName,
                                   MCreatorFunction creatorFunction, char* optionsScriptName = NULL,
                                   char* defaultOptionsString = NULL, bool requiresFullMel = false);
    MStatus deregisterFileTranslator(const MString& translatorName);
};

STANDIN_NAMESPACE_CLOSE

// Every source file that includes this header defines the plug-in's API
// version, the one these headers declare, unless MNoVersionString is
// defined; a plug-in includes it in exactly one file.
#ifndef MNoVersionString
#define STANDIN_TEXT_OF(value) #value
#define STANDIN_VERSION_TEXT(value) STANDIN_TEXT_OF(value)
extern "C" PLUGIN_EXPORT char MApiVersion[];
char MApiVersion[] = STANDIN_VERSION_TEXT(MAYA_API_VERSION);
#undef STANDIN_VERSION_TEXT
#undef STANDIN_TEXT_OF
#endif

// A plug-in's entry points, with C++ linkage: their symbols carry C++ names,
// which name the namespace of MObject where the API has one. The host looks
// them up under those names on Linux and macOS, and under the plain names
// on Windows, where the plug-in's link exports them.
#ifndef MNoPluginEntry
PLUGIN_EXPORT MStatus initializePlugin(MObject obj);
PLUGIN_EXPORT MStatus uninitializePlugin(MObject obj);
#endif

#endif
