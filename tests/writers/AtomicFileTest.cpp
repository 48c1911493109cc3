#include "writers/AtomicFile.h"
#include "writers/WriteError.h"

#include "tests/writers/TestSupport.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>

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

}  // namespace
}  // namespace orvex::writers
