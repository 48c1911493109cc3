#include "materials/TexturePath.h"
#include "model/Model.h"
#include "tests/materials/TempTree.h"

#include <gtest/gtest.h>

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

}  // namespace
}  // namespace orvex
