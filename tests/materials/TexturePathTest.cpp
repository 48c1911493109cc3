#include "materials/TexturePath.h"
#include "model/HostPath.h"
#include "model/Model.h"
#include "tests/materials/TempTree.h"

#include <gtest/gtest.h>

#if defined(ORVEX_WIDE_FILE_CALLS)
#include <windows.h>

#include <filesystem>
#include <fstream>
#endif

#include <string>
#include <vector>

namespace orvex {
namespace {

TEST(ResolveTexturePathTest, EmptyContentRootGivesTheNameUnchanged) {
    const Model model;
    EXPECT_EQ(resolveTexturePath("walls\\brick_01", model), "walls\\brick_01");
    EXPECT_EQ(resolveTexturePath("", model), "");
}

struct Resolution {
    const char* textureName;
    std::vector<std::string> onDisk;  // below Game/content/textures; a final "/" marks a folder
    const char* gameFolder;           // as the content root spells it
    const char* expected;             // after "textures\" under the content root
};

TEST(ResolveTexturePathTest, PrefersTheHighestResolutionOnDisk) {
    // clang-format off
    const Resolution resolutions[] = {
        {"walls\\brick", {"walls/brick.2048.dds", "walls/brick.1024.dds"},  "Game", "walls\\brick.2048.dds"},
        {"walls\\brick", {"walls/brick.1024.dds"},                          "Game", "walls\\brick.1024.dds"},
        {"walls\\brick", {"walls/brick.512.dds"},                           "Game", "walls\\brick.512.dds"},
        {"walls\\brick", {},                                                "Game", "walls\\brick.512.dds"},
        {"walls\\brick", {"walls/brick.2048.dds/", "walls/brick.1024.dds"}, "Game", "walls\\brick.2048.dds"},
        {"walls/brick",  {"walls/brick.2048.dds"},                          "Game", "walls/brick.2048.dds"},
        {"",             {},                                                "Game", ".512.dds"},
        {"",             {".1024.dds"},                                     "Game", ".1024.dds"},
        {"WALLS\\brick", {"Walls/Brick.1024.DDS"},                          "GAME", "WALLS\\brick.1024.dds"},
    };
    // clang-format on
    for (const Resolution& resolution : resolutions) {
        SCOPED_TRACE(resolution.expected);
        const test::TempTree tree;
        for (const std::string& entry : resolution.onDisk) {
            tree.add("Game/content/textures/" + entry);
        }
        Model model;
        model.contentRoot = tree.gameRoot() + resolution.gameFolder + "\\content\\";

        EXPECT_EQ(resolveTexturePath(resolution.textureName, model),
                  model.contentRoot + "textures\\" + resolution.expected);
    }
}

#if defined(ORVEX_WIDE_FILE_CALLS)
// The game's folder may be named beyond the process code page, and a texture
// name in the model file is in the game's code page: the two join as one path
// the wide calls find, and the host is handed it in UTF-8.
TEST(ResolveTexturePathTest, JoinsANameInTheCodePageToAFolderBeyondIt) {
    if (GetACP() != 1252)
        GTEST_SKIP() << "the test's name is in code page 1252; this process has " << GetACP();
    const test::TempTree tree;
    const std::string game = u8"\u0418\u0433\u0440\u0430";  // in Cyrillic
    const std::filesystem::path textures =
        std::filesystem::u8path(tree.root() + "/" + game + "/content/textures");
    std::filesystem::create_directories(textures);
    std::ofstream(textures / std::filesystem::u8path(u8"caf\u00e9.1024.dds")).put('x');
    Model model;
    model.contentRoot = tree.gameRoot() + game + "\\content\\";

    EXPECT_EQ(resolveTexturePath("caf\xE9", model),
              model.contentRoot + "textures\\" + u8"caf\u00e9.1024.dds");
    EXPECT_EQ(resolveTexturePath(u8"caf\u00e9", model),
              model.contentRoot + "textures\\" + u8"caf\u00e9.1024.dds");
}
#endif

}  // namespace
}  // namespace orvex
