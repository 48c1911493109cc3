#ifndef STANDIN_PLUGINHOST_H
#define STANDIN_PLUGINHOST_H

// Loading a plug-in module into the stand-in host, as the host does: the
// module must export initializePlugin, uninitializePlugin and MApiVersion,
// the entry points under the names the host looks them up by (their C++
// symbols, or their plain names on Windows). Paths are UTF-8.

#include <maya/MObject.h>
#include <maya/MPxFileTranslator.h>
#include <maya/MStatus.h>
#include <maya/MTypes.h>

#include <memory>
#include <string>
#include <vector>

namespace standin {

// What a plug-in registered with MFnPlugin::registerFileTranslator.
struct TranslatorRegistration {
    std::string name;
    std::string pixmapName;
    bool hasOptionsScript = false;
    std::string optionsScriptName;
    bool hasDefaultOptions = false;
    std::string defaultOptionsString;
    bool requiresFullMel = false;
    MCreatorFunction creator = nullptr;
};

// What a plug-in passed when it attached an MFnPlugin to its object.
struct PluginAttachment {
    std::string vendor;
    std::string version;
    std::string requiredApiVersion;
};

struct ImportResult {
    bool claimed = false;        // some translator identified the file as its type
    std::string translatorName;  // the one that read it
    MStatus status = MStatus::kFailure;
};

class OPENMAYA_EXPORT LoadedPlugin {
public:
    // Loads the module and calls its initializePlugin. Nothing when the
    // module cannot be loaded, lacks an export or fails to initialise, and
    // then `whyNot` says which in one line. It reports rather than throws:
    // where each module carries its own copy of the C++ runtime, as a
    // portable build's do, no exception can pass from one to another.
    static std::unique_ptr<LoadedPlugin> load(const std::string& modulePath, std::string& whyNot);
    // Calls uninitializePlugin, then unloads the module.
    ~LoadedPlugin();
    LoadedPlugin(const LoadedPlugin&) = delete;
    LoadedPlugin& operator=(const LoadedPlugin&) = delete;

    const std::string& apiVersion() const;  // the module's MApiVersion text
    // Registered translators, in registration order.
    const std::vector<TranslatorRegistration>& translators() const;
    // Every MFnPlugin attachment so far, in order.
    const std::vector<PluginAttachment>& attachments() const;

    // Imports a file into the current scene: offers it to each translator's
    // identifyFile with its first bytes, then calls the claiming
    // translator's reader with the full path, an empty options string and
    // the import access mode.
    ImportResult importFile(const std::string& path) const;

    // Calls uninitializePlugin now and returns its status; the destructor
    // then only unloads.
    MStatus uninitialize();

private:
    struct State;
    explicit LoadedPlugin(std::unique_ptr<State> state);

    std::unique_ptr<State> fState;
};

}  // namespace standin

#endif
