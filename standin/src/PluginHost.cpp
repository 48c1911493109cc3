#include "Host.h"

#include <maya/MFileObject.h>
#include <standin/PluginHost.h>

#include <filesystem>
#include <fstream>
#include <new>
#include <stdexcept>
#include <system_error>
#include <typeinfo>

#if defined(_WIN32)
#define WIN32_LEAN_AND_MEAN
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace standin {
namespace {

// The host hands a translator at most this many leading bytes to identify
// a file by.
constexpr std::streamsize kIdentifyBytes = 1024;

using PluginEntry = MStatus (*)(MObject);

// Why a module cannot be used; never leaves this file.
class PluginError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A loaded module, unloaded when this ends.
class Module {
public:
    explicit Module(const std::string& path) {
#if defined(_WIN32)
        fHandle = LoadLibraryW(wideFromUtf8(path).c_str());
        if (!fHandle) {
            const DWORD error = GetLastError();
            throw PluginError("cannot load plug-in module " + path + ": " +
                              std::system_category().message(static_cast<int>(error)) + " (error " +
                              std::to_string(error) + ")");
        }
#else
        fHandle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!fHandle) throw PluginError("cannot load plug-in module " + path + ": " + dlerror());
#endif
    }

    ~Module() {
#if defined(_WIN32)
        FreeLibrary(fHandle);
#else
        dlclose(fHandle);
#endif
    }

    Module(const Module&) = delete;
    Module& operator=(const Module&) = delete;

    void* symbol(const char* name) const {
#if defined(_WIN32)
        return reinterpret_cast<void*>(GetProcAddress(fHandle, name));
#else
        return dlsym(fHandle, name);
#endif
    }

private:
#if defined(_WIN32)
    HMODULE fHandle;
#else
    void* fHandle;
#endif
};

// The name under which the host looks up a plug-in's entry point. Windows
// modules export the plain names. Elsewhere the host looks up the C++
// symbol of the function taking its own MObject, which the Itanium C++ ABI
// spells as the name's length, the name, and the parameter's type as
// typeid spells it (with the namespace of the API's version, where it has
// one).
std::string entryPointSymbol(const std::string& name) {
#if defined(_WIN32)
    return name;
#else
    return "_Z" + std::to_string(name.size()) + name + typeid(MObject).name();
#endif
}

std::vector<char> leadingBytes(const std::string& path) {
    std::vector<char> bytes(static_cast<std::size_t>(kIdentifyBytes));
    std::ifstream in(std::filesystem::u8path(path), std::ios::binary);
    in.read(bytes.data(), kIdentifyBytes);
    bytes.resize(static_cast<std::size_t>(in.gcount()));
    return bytes;
}

struct Offer {
    const TranslatorRegistration* registration;
    std::unique_ptr<MPxFileTranslator> translator;
    MPxFileTranslator::MFileKind kind;
};

// Asks each translator in registration order until one is sure. The
// instances stay alive for the reader and end with the offers.
std::vector<Offer> offerFile(const std::vector<TranslatorRegistration>& translators, const MFileObject& file,
                             const std::vector<char>& head) {
    std::vector<Offer> offers;
    for (const TranslatorRegistration& registration : translators) {
        if (!registration.creator) continue;
        std::unique_ptr<MPxFileTranslator> translator(
            static_cast<MPxFileTranslator*>(registration.creator()));
        if (!translator) continue;
        const MPxFileTranslator::MFileKind kind =
            translator->identifyFile(file, head.data(), static_cast<short>(head.size()));
        offers.push_back({&registration, std::move(translator), kind});
        if (kind == MPxFileTranslator::kIsMyFileType) break;
    }
    return offers;
}

const Offer* chooseReader(const std::vector<Offer>& offers) {
    for (MPxFileTranslator::MFileKind kind :
         {MPxFileTranslator::kIsMyFileType, MPxFileTranslator::kCouldBeMyFileType}) {
        for (const Offer& offer : offers) {
            if (offer.kind == kind) return &offer;
        }
    }
    return nullptr;
}

}  // namespace

// Members end in reverse order: the record leaves the registry first, the
// module is unloaded last.
struct LoadedPlugin::State {
    explicit State(const std::string& path) : modulePath(path), module(path) {}
    ~State() { unregisterPlugin(object); }

    std::string modulePath;
    Module module;
    PluginEntry initialize = nullptr;
    PluginEntry uninitialize = nullptr;
    std::string apiVersion;
    PluginRecord record;
    MObject object;
    bool uninitialized = false;
};

std::unique_ptr<LoadedPlugin> LoadedPlugin::load(const std::string& modulePath, std::string& whyNot) {
    try {
        return std::unique_ptr<LoadedPlugin>(new LoadedPlugin(std::make_unique<State>(modulePath)));
    } catch (const PluginError& error) {
        whyNot = error.what();
    } catch (const std::bad_alloc&) {
        whyNot = "not enough memory to load plug-in module " + modulePath;
    } catch (const std::exception& error) {
        whyNot = "cannot load plug-in module " + modulePath + ": " + error.what();
    }
    return nullptr;
}

LoadedPlugin::LoadedPlugin(std::unique_ptr<State> loaded) : fState(std::move(loaded)) {
    State& state = *fState;
    std::string missing;
    auto find = [&](const std::string& name, const std::string& symbol) {
        void* address = state.module.symbol(symbol.c_str());
        if (!address) {
            missing += (missing.empty() ? "" : ", ") + name + (symbol == name ? "" : " (as " + symbol + ")");
        }
        return address;
    };
    void* initialize = find("initializePlugin", entryPointSymbol("initializePlugin"));
    void* uninitialize = find("uninitializePlugin", entryPointSymbol("uninitializePlugin"));
    const void* apiVersion = find("MApiVersion", "MApiVersion");
    const std::string& modulePath = state.modulePath;
    if (!missing.empty()) throw PluginError("plug-in module " + modulePath + " does not export " + missing);

    state.initialize = reinterpret_cast<PluginEntry>(initialize);
    state.uninitialize = reinterpret_cast<PluginEntry>(uninitialize);
    state.apiVersion = static_cast<const char*>(apiVersion);
    state.object = registerPlugin(state.record);
    if (state.initialize(state.object) != MStatus::kSuccess) {
        throw PluginError("initializePlugin of plug-in module " + modulePath + " failed");
    }
}

LoadedPlugin::~LoadedPlugin() {
    if (!fState->uninitialized) uninitialize();
}

const std::string& LoadedPlugin::apiVersion() const {
    return fState->apiVersion;
}

const std::vector<TranslatorRegistration>& LoadedPlugin::translators() const {
    return fState->record.translators;
}

const std::vector<PluginAttachment>& LoadedPlugin::attachments() const {
    return fState->record.attachments;
}

ImportResult LoadedPlugin::importFile(const std::string& path) const {
    const std::vector<char> head = leadingBytes(path);
    MFileObject file;
    file.setRawFullName(StringAccess::fromText(path));
    // A reader may register or deregister translators; the offers keep a copy.
    const std::vector<TranslatorRegistration> translators = fState->record.translators;
    const std::vector<Offer> offers = offerFile(translators, file, head);
    ImportResult result;
    if (const Offer* chosen = chooseReader(offers)) {
        result.claimed = true;
        result.translatorName = chosen->registration->name;
        result.status = chosen->translator->reader(file, MString(), MPxFileTranslator::kImportAccessMode);
    }
    return result;
}

MStatus LoadedPlugin::uninitialize() {
    if (fState->uninitialized) return MStatus::kFailure;
    fState->uninitialized = true;
    return fState->uninitialize(fState->object);
}

}  // namespace standin
