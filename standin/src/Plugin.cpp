#include "Host.h"

// The host defines neither a plug-in's API version nor its entry points.
#define MNoVersionString
#define MNoPluginEntry
#include <maya/MFnPlugin.h>

#include <algorithm>

namespace standin {
namespace {

struct PluginRegistry {
    std::map<unsigned int, PluginRecord*> records;
    unsigned int lastNumber = 0;
};

PluginRegistry& registry() {
    static PluginRegistry plugins;
    return plugins;
}

std::string text(const char* value) {
    return fromLocale(value);
}

std::string optional(const char* name, const char* value) {
    return std::string(name) + "=" + (value ? value : "null");
}

}  // namespace

MObject registerPlugin(PluginRecord& record) {
    PluginRegistry& plugins = registry();
    const unsigned int handle = ObjectAccess::kPluginBit | ++plugins.lastNumber;
    plugins.records[handle] = &record;
    return ObjectAccess::fromHandle(handle);
}

void unregisterPlugin(const MObject& object) {
    registry().records.erase(ObjectAccess::handle(object));
}

PluginRecord* findPlugin(const MObject& object) {
    const auto& records = registry().records;
    auto it = records.find(ObjectAccess::handle(object));
    return it == records.end() ? nullptr : it->second;
}

}  // namespace standin

using standin::HostCall;
using standin::journaled;

MFnPlugin::MFnPlugin() = default;

MFnPlugin::MFnPlugin(MObject& object, const char* vendor, const char* version, const char* requiredApiVersion,
                     MStatus* ReturnStatus) {
    const standin::PluginAttachment attachment{standin::text(vendor), standin::text(version),
                                               standin::text(requiredApiVersion)};
    HostCall call{"MFnPlugin::attach",
                        attachment.vendor + " " + attachment.version + " " + attachment.requiredApiVersion,
                        {},
                        {},
                        {}};
    standin::report(journaled(std::move(call),
                              [&]() -> MStatus {
                                  standin::PluginRecord* record = standin::findPlugin(object);
                                  if (!record) return MStatus::kFailure;
                                  record->attachments.push_back(attachment);
                                  fObject = object;
                                  return MStatus::kSuccess;
                              }),
                    ReturnStatus);
}

MFnPlugin::~MFnPlugin() = default;

MStatus MFnPlugin::registerFileTranslator(const MString& translatorName, char* pixmapName,
                                          MCreatorFunction creatorFunction, char* optionsScriptName,
                                          char* defaultOptionsString, bool requiresFullMel) {
    const standin::TranslatorRegistration registration{standin::StringAccess::text(translatorName),
                                                       standin::text(pixmapName),
                                                       optionsScriptName != nullptr,
                                                       standin::text(optionsScriptName),
                                                       defaultOptionsString != nullptr,
                                                       standin::text(defaultOptionsString),
                                                       requiresFullMel,
                                                       creatorFunction};
    HostCall call{"MFnPlugin::registerFileTranslator",
                        registration.name,
                        standin::optional("pixmap", pixmapName) + " " +
                            standin::optional("optionsScript", optionsScriptName) + " " +
                            standin::optional("defaultOptions", defaultOptionsString) +
                            (requiresFullMel ? " requiresFullMel=true" : " requiresFullMel=false"),
                        {},
                        {}};
    return journaled(std::move(call), [&]() -> MStatus {
        standin::PluginRecord* record = standin::findPlugin(fObject);
        if (!record) return MStatus::kFailure;
        auto& translators = record->translators;
        auto sameName = [&](const standin::TranslatorRegistration& r) { return r.name == registration.name; };
        if (std::any_of(translators.begin(), translators.end(), sameName)) return MStatus::kFailure;
        translators.push_back(registration);
        return MStatus::kSuccess;
    });
}

MStatus MFnPlugin::deregisterFileTranslator(const MString& translatorName) {
    const std::string& name = standin::StringAccess::text(translatorName);
    HostCall call{"MFnPlugin::deregisterFileTranslator", name, {}, {}, {}};
    return journaled(std::move(call), [&]() -> MStatus {
        standin::PluginRecord* record = standin::findPlugin(fObject);
        if (!record) return MStatus::kFailure;
        auto& translators = record->translators;
        auto it = std::find_if(translators.begin(), translators.end(),
                               [&](const standin::TranslatorRegistration& r) { return r.name == name; });
        if (it == translators.end()) return MStatus::kFailure;
        translators.erase(it);
        return MStatus::kSuccess;
    });
}
