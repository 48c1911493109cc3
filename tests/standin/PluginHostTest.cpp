#include "tests/standin/HostFixture.h"

#include <maya/MFileObject.h>
#include <maya/MTypes.h>
#include <standin/PluginHost.h>

#include <gmock/gmock.h>

#include <fstream>
#include <string>

namespace orvex::test {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

const std::string kProbePlugin = STANDIN_PROBE_PLUGIN;
const std::string kPartialPlugin = STANDIN_PARTIAL_PLUGIN;
const std::string kMisnamedPlugin = STANDIN_MISNAMED_PLUGIN;

// An entry point as a refusal names it: with the symbol the host looked up,
// where that is not the plain name. Windows hosts look up the plain names;
// elsewhere the C++ symbol of the function taking the host's MObject, which
// names the API's namespace from 2018 on.
std::string missingEntryPoint(const std::string& name) {
#if defined(_WIN32)
    return name;
#else
#if MAYA_API_VERSION >= 20180000
    const std::string object =
        "N8Autodesk4Maya16OpenMaya" + std::to_string(MAYA_API_VERSION / 10000) + "00007MObjectE";
#else
    const std::string object = "7MObject";
#endif
    return name + " (as _Z" + std::to_string(name.size()) + name + object + ")";
#endif
}

using PluginHostTest = HostTest;

std::vector<std::string> journalLines() {
    std::vector<std::string> lines;
    for (const standin::JournalEntry& entry : standin::journal()) {
        lines.push_back((entry.succeeded ? "+ " : "- ") + std::string(entry.operation) + " " + entry.detail);
    }
    return lines;
}

// Why a module cannot be loaded; empty when it loads.
std::string loadError(const std::string& path) {
    std::string whyNot;
    const bool loaded = standin::LoadedPlugin::load(path, whyNot) != nullptr;
    EXPECT_EQ(loaded, whyNot.empty()) << whyNot;
    return whyNot;
}

TEST_F(PluginHostTest, RecordsWhatThePluginRegisters) {
    const auto plugin = loadedPlugin(kProbePlugin);

    EXPECT_EQ(plugin->apiVersion(), std::to_string(MAYA_API_VERSION));
    ASSERT_EQ(plugin->attachments().size(), 1u);
    const standin::PluginAttachment& attachment = plugin->attachments()[0];
    EXPECT_EQ(attachment.vendor + "/" + attachment.version + "/" + attachment.requiredApiVersion,
              "Probe Vendor/1.0/Any");
    ASSERT_EQ(plugin->translators().size(), 2u);
    const standin::TranslatorRegistration& guess = plugin->translators()[0];
    EXPECT_EQ(guess.name + " " + guess.pixmapName, "ProbeGuess none");
    EXPECT_FALSE(guess.hasOptionsScript || guess.hasDefaultOptions || guess.requiresFullMel);
    const standin::TranslatorRegistration& import = plugin->translators()[1];
    EXPECT_TRUE(import.hasOptionsScript && import.hasDefaultOptions && import.requiresFullMel);
    EXPECT_EQ(import.optionsScriptName + " " + import.defaultOptionsString, "probeOptions -v");
    EXPECT_THAT(journalLines(),
                ElementsAre("- MFnDependencyNode::attach ", "+ MFnPlugin::attach Probe Vendor 1.0 Any",
                            "+ MFnPlugin::registerFileTranslator ProbeGuess",
                            "- MFnPlugin::registerFileTranslator ProbeGuess",
                            "+ MFnPlugin::registerFileTranslator ProbeImport"));
    EXPECT_EQ(standin::journal().back().arguments,
              "pixmap= optionsScript=probeOptions defaultOptions=-v requiresFullMel=true");
}

TEST_F(PluginHostTest, ReadsWithTheSurestTranslator) {
    struct ImportCase {
        const char* name;
        std::string content;     // empty: no such file
        const char* translator;  // empty: nobody claims the file
    };
    const ImportCase cases[] = {
        {"both.probe", "GUESS and more", "ProbeImport"},  // sure beats an earlier guess
        {"guess.txt", "GUESS", "ProbeGuess"},
        {"long.txt", "GUESS" + std::string(4000, 'x'), "ProbeGuess"},  // only the leading bytes offered
        {"missing.probe", "", "ProbeImport"},
        {"plain.txt", "plain", ""},
        {"missing.txt", "", ""}};
    const auto plugin = loadedPlugin(kProbePlugin);
    for (const ImportCase& file : cases) {
        SCOPED_TRACE(file.name);
        standin::newScene();
        const std::string path = ::testing::TempDir() + file.name;
        if (!file.content.empty()) std::ofstream(path, std::ios::binary) << file.content;
        const bool claimed = *file.translator != '\0';

        const standin::ImportResult result = plugin->importFile(path);
        EXPECT_EQ(result.claimed, claimed);
        EXPECT_EQ(result.translatorName, file.translator);
        EXPECT_EQ(bool(result.status), claimed);
        const standin::Node* made = scene().findByName("file1");
        ASSERT_EQ(made != nullptr, claimed);
        EXPECT_EQ(claimed ? made->stringValues.at("fileTextureName") : path, path);
    }
}

TEST_F(PluginHostTest, UninitializesOnceBeforeUnloading) {
    auto deregistrations = [] {
        const std::vector<std::string> lines = journalLines();
        return std::count_if(lines.begin(), lines.end(), [](const std::string& line) {
            return line.find("deregisterFileTranslator") != line.npos;
        });
    };
    {
        const auto plugin = loadedPlugin(kProbePlugin);
        EXPECT_TRUE(plugin->uninitialize());
        EXPECT_TRUE(plugin->translators().empty());
        EXPECT_FALSE(plugin->uninitialize());
    }
    EXPECT_EQ(deregistrations(), 2);
    loadedPlugin(kProbePlugin);
    EXPECT_EQ(deregistrations(), 4);
}

TEST_F(PluginHostTest, RefusesModulesItCannotUse) {
    EXPECT_EQ(loadError(kPartialPlugin), "plug-in module " + kPartialPlugin + " does not export " +
                                             missingEntryPoint("uninitializePlugin") + ", MApiVersion");
    EXPECT_EQ(loadError(kMisnamedPlugin), "plug-in module " + kMisnamedPlugin + " does not export " +
                                              missingEntryPoint("initializePlugin") + ", " +
                                              missingEntryPoint("uninitializePlugin"));
    const std::string absent = ::testing::TempDir() + "absent.so";
    EXPECT_THAT(loadError(absent), HasSubstr(absent));

    standin::injectFault({"MFnPlugin::registerFileTranslator", "ProbeImport", "", "", 0});
    EXPECT_EQ(loadError(kProbePlugin), "initializePlugin of plug-in module " + kProbePlugin + " failed");
    EXPECT_THAT(journalLines(), ::testing::Not(::testing::Contains(HasSubstr("deregister"))));
}

// Plug-ins built against devkits before 2022 call the forms that later
// ones deprecate.
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
#endif
std::string unresolvedFullName(const MFileObject& file) {
    return file.fullName().asChar();
}
std::string unresolvedName(const MFileObject& file) {
    return file.name().asChar();
}
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif

TEST(FileObjectTest, NamesTheFileAfterTheLastSeparator) {
    const char* const cases[][2] = {{"C:\\game\\content\\chair.model", "chair.model"},
                                    {"/data/chair.model", "chair.model"},
                                    {"mixed/dir\\chair.model", "chair.model"},
                                    {"chair.model", "chair.model"},
                                    {"dir.model\\", ""}};
    for (const auto& [fullName, name] : cases) {
        MFileObject file;
        file.setRawFullName(fullName);
        EXPECT_STREQ(file.resolvedFullName().asChar(), fullName);
        EXPECT_STREQ(file.resolvedName().asChar(), name);
        EXPECT_EQ(unresolvedFullName(file), fullName);
        EXPECT_EQ(unresolvedName(file), name);
    }
}

}  // namespace
}  // namespace orvex::test
