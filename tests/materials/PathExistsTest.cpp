#include "materials/PathExists.h"
#include "tests/materials/TempTree.h"

#include <gtest/gtest.h>

#include <filesystem>

#include <optional>
#include <string>
#include <vector>

namespace orvex {
namespace {

struct Lookup {
    const char* path;      // below the root, as a game writes it
    const char* expected;  // below the root, as this machine names it; null when absent
};

// Windows itself ignores letter case; these check the fallback that stands
// in for it on other systems.
#if !defined(_WIN32)
class FindExistingPathTest : public ::testing::Test {
protected:
    void SetUp() override {
        tree.add("Textures/Walls/Brick_01.2048.dds");
        tree.add("Mixed/abc.dds");
        tree.add("Mixed/ABC.dds");
    }
    test::TempTree tree;
};

TEST_F(FindExistingPathTest, FollowsWindowsNamingBelowAnAbsoluteRoot) {
    const Lookup lookups[] = {
        {"Textures\\Walls\\Brick_01.2048.dds", "Textures/Walls/Brick_01.2048.dds"},
        {"textures\\walls\\BRICK_01.2048.DDS", "Textures/Walls/Brick_01.2048.dds"},
        {"textures/walls\\brick_01.2048.dds", "Textures/Walls/Brick_01.2048.dds"},
        {"textures\\walls\\..\\WALLS\\brick_01.2048.dds", "Textures/Walls/../Walls/Brick_01.2048.dds"},
        {"textures\\walls", "Textures/Walls"},
        {"textures\\walls\\", "Textures/Walls/"},
        {"Mixed\\abc.dds", "Mixed/abc.dds"},
        {"Mixed\\ABC.dds", "Mixed/ABC.dds"},
        {"mixed\\aBc.dds", "Mixed/ABC.dds"},
        {"textures\\walls\\brick_02.2048.dds", nullptr},
        {"textures\\walls\\brick_01.2048.dds\\", nullptr},
        {"textures\\walls\\brick_01.2048.dds\\inner", nullptr},
        {"textures\\floors\\brick_01.2048.dds", nullptr},
    };
    for (const Lookup& lookup : lookups) {
        SCOPED_TRACE(lookup.path);
        const std::string path = tree.gameRoot() + lookup.path;
        const std::optional<std::string> found = findExistingPath(path);
        if (lookup.expected == nullptr) {
            EXPECT_EQ(found, std::nullopt);
        } else {
            EXPECT_EQ(found, tree.root() + "/" + lookup.expected);
        }
        EXPECT_EQ(pathExists(path), lookup.expected != nullptr);
    }
}

// The answer one search of a folder gives must be the one that testing the
// paths one by one gives, letter case included: a name matched only by
// letter case still comes before a later one spelled exactly.
TEST_F(FindExistingPathTest, FirstExistingPathAnswersAsTestsOneByOne) {
    tree.add("Textures/Walls/Brick_02.1024.dds");
    tree.add("Textures/Walls/brick_03.2048.DDS");
    tree.add("Textures/Walls/brick_03.1024.dds");
    struct Case {
        std::vector<const char*> paths;  // below the root, as a game writes them
        std::optional<std::size_t> expected;
    };
    const Case cases[] = {
        {{"Textures\\Walls\\Brick_01.2048.dds", "Textures\\Walls\\Brick_01.1024.dds"}, 0},
        {{"textures\\walls\\brick_02.2048.dds", "textures\\walls\\brick_02.1024.dds"}, 1},
        {{"Textures\\Walls\\Brick_02.2048.dds", "Textures\\Walls\\Brick_02.1024.dds"}, 1},
        {{"Textures\\Walls\\brick_03.2048.dds", "Textures\\Walls\\brick_03.1024.dds"}, 0},
        {{"textures\\floors\\brick_01.2048.dds", "textures\\floors\\brick_01.1024.dds"}, std::nullopt},
        {{"Textures\\Walls\\none.2048.dds", "Textures\\Walls\\none.1024.dds"}, std::nullopt},
        {{"Textures\\Walls\\none.2048.dds", "mixed\\ABC.DDS"}, 1},
        {{}, std::nullopt},
    };
    for (const Case& c : cases) {
        std::vector<std::string> paths;
        std::optional<std::size_t> oneByOne;
        for (const char* path : c.paths) {
            paths.push_back(tree.gameRoot() + path);
            if (!oneByOne && pathExists(paths.back())) oneByOne = paths.size() - 1;
        }
        SCOPED_TRACE(paths.empty() ? std::string("no paths") : paths.front());
        EXPECT_EQ(firstExistingPath(paths), c.expected);
        EXPECT_EQ(oneByOne, c.expected);
    }
}

TEST_F(FindExistingPathTest, WalksARelativePathFromTheCurrentFolder) {
    const std::string previous = std::filesystem::current_path().string();
    std::filesystem::current_path(tree.root());
    const std::optional<std::string> found = findExistingPath("textures\\walls\\brick_01.2048.dds");
    const std::optional<std::string> missing = findExistingPath("textures\\brick_01.2048.dds");
    std::filesystem::current_path(previous);

    EXPECT_EQ(found, "Textures/Walls/Brick_01.2048.dds");
    EXPECT_EQ(missing, std::nullopt);
    EXPECT_EQ(findExistingPath(""), std::nullopt);
    EXPECT_FALSE(pathExists(""));
}

#endif

}  // namespace
}  // namespace orvex
