#ifndef MFNPLUGIN_H
#define MFNPLUGIN_H

#include <maya/MFnBase.h>
#include <maya/MObject.h>
#include <maya/MStatus.h>
#include <maya/MString.h>
#include <maya/MTypes.h>

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

#ifndef MNoPluginEntry
#if defined(__clang__)
#pragma clang diagnostic push
#pragma clang diagnostic ignored "-Wreturn-type-c-linkage"
#endif
extern "C" PLUGIN_EXPORT MStatus initializePlugin(MObject obj);
extern "C" PLUGIN_EXPORT MStatus uninitializePlugin(MObject obj);
#if defined(__clang__)
#pragma clang diagnostic pop
#endif
#endif

#endif
