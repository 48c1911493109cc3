// The plug-in as the host sees it: the built module loaded by the stand-in
// host, its registration, its file identification and its import outcomes.

#include "modelgen/ModelBuilder.h"
#include "tests/standin/HostFixture.h"

#include <maya/MFileObject.h>
#include <maya/MPxFileTranslator.h>
#include <maya/MTypes.h>
#include <standin/Journal.h>
#include <standin/PluginHost.h>
#include <standin/Scene.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#if defined(_WIN32)
#include <windows.h>
#endif

namespace {

using orvex::ModelVertex;
using orvex::modelgen::ModelBuilder;

std::vector<ModelVertex> triangleVertices()
{
    std::vector<ModelVertex> vertices(3);
    vertices[1].x = 1;
    vertices[2].y = 1;
    return vertices;
}

std::size_t countNodes(const std::string& type)
{
    std::size_t count = 0;
    for (const standin::Node& node : standin::currentScene().nodes()) count += node.type == type;
    return count;
}

struct TranslatorDeleter {
    void operator()(MPxFileTranslator* translator) const { delete translator; }
};
using Translator = std::unique_ptr<MPxFileTranslator, TranslatorDeleter>;

class TranslatorTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        standin::newScene();
        // A folder of each test's own: ctest runs the tests side by side.
        const std::string test = ::testing::UnitTest::GetInstance()->current_test_info()->name();
        directory_ = std::filesystem::path(::testing::TempDir()) / ("translator-" + test) / "content" / "meshes";
        std::filesystem::create_directories(directory_);
    }

    std::string write(const std::string& name, const ModelBuilder& builder) const
    {
        const std::string path = (directory_ / name).string();
        orvex::modelgen::writeFile(path, builder.bytes());
        return path;
    }

    Translator makeTranslator() const
    {
        return Translator(static_cast<MPxFileTranslator*>(plugin_->translators().at(0).creator()));
    }

    std::unique_ptr<standin::LoadedPlugin> plugin_ = orvex::test::loadedPlugin(ORVEX_PLUGIN_PATH);
    std::filesystem::path directory_;
};

TEST_F(TranslatorTest, RegistersOneReadOnlyTranslatorAndRemovesItAtUnload)
{
    EXPECT_EQ(plugin_->apiVersion(), std::to_string(MAYA_API_VERSION));
    ASSERT_EQ(plugin_->translators().size(), 1u);
    const standin::TranslatorRegistration& registration = plugin_->translators()[0];
    EXPECT_EQ(registration.name, "OrvexModelImport");
    EXPECT_EQ(registration.pixmapName, "none");
    EXPECT_FALSE(registration.hasOptionsScript);
    EXPECT_FALSE(registration.hasDefaultOptions);
    EXPECT_FALSE(registration.requiresFullMel);
    ASSERT_EQ(plugin_->attachments().size(), 1u);
    EXPECT_EQ(plugin_->attachments()[0].vendor, "Tavolin");
    EXPECT_EQ(plugin_->attachments()[0].version, "8.5");
    EXPECT_EQ(plugin_->attachments()[0].requiredApiVersion, "Any");

    EXPECT_EQ(plugin_->uninitialize(), MStatus::kSuccess);
    EXPECT_TRUE(plugin_->translators().empty());
    ASSERT_EQ(plugin_->attachments().size(), 2u);
    EXPECT_EQ(plugin_->attachments()[1].vendor, "Unknown");
    EXPECT_EQ(plugin_->attachments()[1].version, "Unknown");
    EXPECT_EQ(plugin_->attachments()[1].requiredApiVersion, "Any");
}

TEST_F(TranslatorTest, GivesTheConstantAnswersOfAnImportOnlyTranslator)
{
    const Translator translator = makeTranslator();
    EXPECT_STREQ(translator->defaultExtension().asChar(), "model");
    EXPECT_TRUE(translator->haveReadMethod());
    EXPECT_FALSE(translator->haveWriteMethod());
    EXPECT_FALSE(translator->canBeOpened());
}

TEST_F(TranslatorTest, IdentifiesModelFilesByNameAlone)
{
    const struct {
        const char* path;
        MPxFileTranslator::MFileKind expected;
    } cases[] = {
        {"/data/chair.model", MPxFileTranslator::kIsMyFileType},
        {"/data/CHAIR.MODEL", MPxFileTranslator::kIsMyFileType},
        {"C:\\data\\Chair.Model", MPxFileTranslator::kIsMyFileType},
        {"x.model", MPxFileTranslator::kIsMyFileType},
        {"/data/.model", MPxFileTranslator::kNotMyFileType},
        {"/data/chair.model.bak", MPxFileTranslator::kNotMyFileType},
        {"/data/chair.mdl", MPxFileTranslator::kNotMyFileType},
        {"/data/model", MPxFileTranslator::kNotMyFileType},
        {"/data/props.model/chair.mdl", MPxFileTranslator::kNotMyFileType},
        {"", MPxFileTranslator::kNotMyFileType},
    };
    const Translator translator = makeTranslator();
    // The first bytes never matter, not even bytes that look like a model.
    const char buffer[] = "\x09\x00\x00\x00 anything";
    for (const auto& c : cases) {
        MFileObject file;
        file.setRawFullName(c.path);
        EXPECT_EQ(translator->identifyFile(file, buffer, static_cast<short>(sizeof buffer)), c.expected) << c.path;
        EXPECT_EQ(translator->identifyFile(file, nullptr, 0), c.expected) << c.path;
    }
}

TEST_F(TranslatorTest, ReportsSuccessOnlyWhenSomeMeshWasImported)
{
    std::vector<ModelVertex> vertices = triangleVertices();
    ModelBuilder good, noMesh, someRefused, allRefused, tooLarge;
    good.beginMeshList().mesh("crate", vertices, {0, 1, 2}).endMeshList();
    noMesh.chunk(1, "not a mesh list");
    someRefused.beginMeshList().mesh("a", vertices, {0, 1, 7}).mesh("b", vertices, {0, 1, 2}).endMeshList();
    allRefused.beginMeshList().mesh("a", vertices, {0, 1, 7}).mesh("b", vertices, {9, 1, 2}).endMeshList();
    tooLarge.beginMeshList().beginChild().vertices({}, 1u << 27).endChild().endMeshList();

    const struct {
        const char* name;
        const ModelBuilder* file;
        MStatus::MStatusCode expected;
        std::size_t meshes;
    } cases[] = {
        {"missing.model", nullptr, MStatus::kFailure, 0},
        {"empty.model", &noMesh, MStatus::kFailure, 0},
        {"good.model", &good, MStatus::kSuccess, 1},
        {"some_refused.model", &someRefused, MStatus::kSuccess, 1},
        {"all_refused.model", &allRefused, MStatus::kFailure, 0},
        {"too_large.model", &tooLarge, MStatus::kFailure, 0},
    };
    for (const auto& c : cases) {
        standin::newScene();
        const std::size_t nodesBefore = standin::currentScene().nodes().size();
        const std::string path = c.file ? write(c.name, *c.file) : (directory_ / c.name).string();
        const standin::ImportResult result = plugin_->importFile(path);
        EXPECT_TRUE(result.claimed) << c.name;
        EXPECT_EQ(result.translatorName, "OrvexModelImport") << c.name;
        EXPECT_EQ(result.status, c.expected) << c.name;
        EXPECT_EQ(countNodes("mesh"), c.meshes) << c.name;
        if (c.meshes == 0) {
            EXPECT_EQ(standin::currentScene().nodes().size(), nodesBefore) << c.name;
        }
    }
}

TEST_F(TranslatorTest, AsksForTheFileNamesInTheFormsItsDevkitOffers)
{
    ModelBuilder builder;
    builder.beginMeshList().mesh("crate", triangleVertices(), {0, 1, 2}).endMeshList();
    const std::string path = write("crate.model", builder);
    standin::clearJournal();
    ASSERT_EQ(plugin_->importFile(path).status, MStatus::kSuccess);

    std::vector<std::string> asked;
    for (const standin::JournalEntry& entry : standin::journal()) {
        if (entry.operation.rfind("MFileObject::", 0) == 0) asked.push_back(std::string(entry.operation) + " " + entry.detail);
    }
#if MAYA_API_VERSION >= 20190000
    const std::vector<std::string> expected = {"MFileObject::resolvedName crate.model",
                                               "MFileObject::resolvedFullName " + path};
#else
    const std::vector<std::string> expected = {"MFileObject::name crate.model", "MFileObject::fullName " + path};
#endif
    EXPECT_EQ(asked, expected);
}

TEST_F(TranslatorTest, IgnoresTheOptionsStringAndTheAccessMode)
{
    ModelBuilder builder;
    builder.beginMeshList().mesh("crate", triangleVertices(), {0, 1, 2}).endMeshList();
    MFileObject file;
    file.setRawFullName(write("crate.model", builder).c_str());

    auto sceneAfter = [&](const char* options, MPxFileTranslator::FileAccessMode mode) {
        standin::newScene();
        EXPECT_EQ(makeTranslator()->reader(file, options, mode), MStatus::kSuccess);
        std::vector<std::string> nodes;
        for (const standin::Node& node : standin::currentScene().nodes()) nodes.push_back(node.type + " " + node.name);
        return nodes;
    };
    const std::vector<std::string> imported = sceneAfter("", MPxFileTranslator::kImportAccessMode);
    EXPECT_THAT(imported, ::testing::Contains("mesh polySurfaceShape1"));
    EXPECT_EQ(sceneAfter("scale=100;flip=1", MPxFileTranslator::kOpenAccessMode), imported);
    EXPECT_EQ(sceneAfter("", MPxFileTranslator::kUnknownAccessMode), imported);
}

TEST_F(TranslatorTest, StartsEveryImportWithAnEmptyTextureCache)
{
    ModelBuilder builder;
    builder.beginMeshList().mesh("crate", triangleVertices(), {0, 1, 2}).endMeshList();
    const std::string path = write("crate.model", builder);
    ASSERT_EQ(plugin_->importFile(path).status, MStatus::kSuccess);
    ASSERT_EQ(plugin_->importFile(path).status, MStatus::kSuccess);
    EXPECT_EQ(countNodes("mesh"), 2u);
    EXPECT_EQ(countNodes("file"), 2u);
    EXPECT_EQ(countNodes("place2dTexture"), 2u);
}

// A user's folder named in scripts that the process code page lacks (in
// the host, whose code page is the user's, often not UTF-8): the host's
// narrow text of such a path names no file on Windows, so the plug-in must
// open the model and look for its textures by other means. Elsewhere the
// same import shows that the path's bytes reach the file system intact.
TEST_F(TranslatorTest, ImportsFromAFolderNamedBeyondTheCodePage)
{
    const std::string folder = "\xD0\x9C\xD0\xBE\xD0\xB4\xD0\xB5\xD0\xBB\xD0\xB8 \xE6\xA8\xA1\xE5\x9E\x8B";  // "Модели 模型"
#if defined(_WIN32)
#if MAYA_API_VERSION < 201100
    if (GetACP() != CP_UTF8) GTEST_SKIP() << "devkits before 2011 hand a plug-in paths only in the process code page";
#endif
    // No code page but UTF-8 holds both scripts.
    EXPECT_NE(GetACP(), static_cast<UINT>(CP_UTF8)) << "this process's code page is UTF-8: the test shows less";
#endif
    namespace fs = std::filesystem;
    const fs::path content = directory_.parent_path().parent_path() / fs::u8path(folder) / "content";
    fs::create_directories(content / "meshes");
    fs::create_directories(content / "textures");
    ModelBuilder builder;
    builder.beginMeshList().mesh("crate", triangleVertices(), {0, 1, 2}).endMeshList();
    const fs::path model = content / "meshes" / "crate.model";
    const orvex::modelgen::Bytes bytes = builder.bytes();
    std::ofstream(model, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                 static_cast<std::streamsize>(bytes.size()));
    std::ofstream(content / "textures" / "crate.2048.dds") << "DDS ";

    const std::string modelPath = model.u8string();
    ASSERT_EQ(plugin_->importFile(modelPath).status, MStatus::kSuccess);
    // Only a texture found on disk is named by its 2048 file.
    std::string expected = modelPath;
    std::replace(expected.begin(), expected.end(), '/', '\\');
    expected = expected.substr(0, expected.rfind("\\content\\") + 9) + "textures\\crate.2048.dds";
    const standin::Node* fileTexture = standin::currentScene().findByName("file1");
    ASSERT_NE(fileTexture, nullptr);
    EXPECT_EQ(fileTexture->stringValues.at("fileTextureName"), expected);
}

}  // namespace
