#include "writers/AtomicFile.h"
#include "writers/WriteError.h"

#include "tests/writers/TestSupport.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#ifdef _WIN32
#include <windows.h>

#include <thread>
#endif

namespace orvex::writers {
namespace {

using ::testing::ElementsAre;
using testing::readFile;
using ::testing::StartsWith;
using testing::TempDirectory;
using testing::writeFile;

TEST(AtomicFile, ReplacesTheOldFileOnlyWhenCommitted) {
    TempDirectory directory;
    const std::string path = directory.file("scene.obj");
    writeFile(path, "old");
    {
        AtomicFile file(path);
        file.write("new ");
        file.write("content");
        EXPECT_EQ(readFile(path), "old");
        file.commit();
    }
    EXPECT_EQ(readFile(path), "new content");
    EXPECT_THAT(directory.entries(), ElementsAre("scene.obj"));
}

TEST(AtomicFile, AbandonedFileLeavesNoTemporaryAndTheOldFileIntact) {
    TempDirectory directory;
    const std::string path = directory.file("scene.obj");
    writeFile(path, "old");
    writeFile(path + ".tmp0", "a crashed run's leftover");
    {
        AtomicFile file(path);
        file.write("partial");
    }
    EXPECT_EQ(readFile(path), "old");
    EXPECT_THAT(directory.entries(), ElementsAre("scene.obj", "scene.obj.tmp0"));
    EXPECT_EQ(readFile(path + ".tmp0"), "a crashed run's leftover");
}

TEST(AtomicFile, FailureNamesTheFileAndLeavesNothingBehind) {
    struct Case {
        const char* name;
        std::string relativePath;
    };
    // A directory of the target's name cannot be replaced by a file, so the
    // rename at commit fails after the bytes were written.
    for (const Case& c : {Case{"missing directory", "absent/scene.gltf"}, Case{"rename refused", "taken"}}) {
        SCOPED_TRACE(c.name);
        TempDirectory directory;
        std::filesystem::create_directory(directory.file("taken"));
        writeFile(directory.file("taken/inside"), "x");
        const std::string path = directory.file(c.relativePath);
        try {
            writeFileAtomically(path, "bytes");
            ADD_FAILURE() << "no error";
        } catch (const WriteError& error) {
            EXPECT_THAT(error.what(), StartsWith(path + ": cannot write: "));
        }
        EXPECT_THAT(directory.entries(), ElementsAre("taken"));
    }
}

TEST(AtomicFile, AFailedSetLeavesNoCompanionBehind) {
    TempDirectory directory;
    std::filesystem::create_directory(directory.file("scene.gltf"));
    writeFile(directory.file("scene.gltf/inside"), "x");
    EXPECT_THROW(writeFilesAtomically({{directory.file("scene.bin"), "buffer"},
                                       {directory.file("scene.png"), "image"},
                                       {directory.file("scene.gltf"), "json"}}),
                 WriteError);
    EXPECT_THAT(directory.entries(), ElementsAre("scene.gltf"));
}

// An image named by its digest may stand already, put there by another
// output, and be open in another process (a batch reads what its workers
// wrote) while a set that names it is put in place. On Windows such a file
// cannot be replaced. It is left as it is, and a set that fails does not
// take it from the outputs that name it.
TEST(AtomicFile, AFileNamedByContentThatStandsOutlivesEverySetThatNamesIt) {
    TempDirectory directory;
    const std::string image = directory.file("stone-1.png");
    writeFile(image, "pixels");
    std::ifstream reader(image, std::ios::binary);
    ASSERT_TRUE(reader);

    writeFilesAtomically({{image, "pixels", true}, {directory.file("a.fbx"), "model"}});
    EXPECT_EQ(readFile(directory.file("a.fbx")), "model");

    std::filesystem::create_directory(directory.file("b.fbx"));
    writeFile(directory.file("b.fbx/inside"), "x");
    EXPECT_THROW(writeFilesAtomically({{image, "pixels", true}, {directory.file("b.fbx"), "model"}}), WriteError);
    EXPECT_EQ(readFile(image), "pixels");
    EXPECT_THAT(directory.entries(), ElementsAre("a.fbx", "b.fbx", "stone-1.png"));
}

#ifdef _WIN32
// Windows does not replace a file that another program holds open, as
// Explorer does for a moment to make a thumbnail of an output: the new file
// takes its place once it is let go.
TEST(AtomicFile, ReplacesAFileThatAnotherProgramHoldsOpenForAMoment) {
    TempDirectory directory;
    const std::string path = directory.file("scene.glb");
    writeFile(path, "old");
    const HANDLE held = CreateFileW(std::filesystem::u8path(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    std::thread letGo([held] {
        Sleep(100);
        CloseHandle(held);
    });
    EXPECT_NO_THROW(writeFileAtomically(path, "new"));
    letGo.join();
    EXPECT_EQ(readFile(path), "new");
}
#endif

}  // namespace
}  // namespace orvex::writers
