// How the loader walks well-formed files: mesh grammar, names and the content root.

#include "tests/model/ModelFileTest.h"

#include <gmock/gmock.h>

#include <cstring>
#include <functional>

namespace orvex {
namespace {

using modelgen::ModelBuilder;
using testing::ElementsAre;
using namespace std::string_literals;

std::uint32_t wordAt(const modelgen::Bytes& bytes, std::size_t offset) {
    std::uint32_t value = 0;
    std::memcpy(&value, bytes.data() + offset, sizeof value);
    return value;
}

TEST_F(ModelFileTest, ReadsTheOneTriangleExample) {
    ModelBuilder builder;
    builder.beginMeshList().beginChild().names("abc\0"s).vertices(kTriangle).indices(kTriangleIndices);
    const modelgen::Bytes& bytes = builder.endChild().endMeshList().bytes();

    ASSERT_EQ(bytes.size(), 158u);
    const std::pair<std::size_t, std::uint32_t> layout[] = {
        {0, 9},    {4, 150}, {12, 142}, {16, 2},   {20, 4},  {28, 3},
        {32, 104}, {40, 3},  {140, 4},  {144, 10}, {148, 3},
    };
    for (const auto& [offset, value] : layout) EXPECT_EQ(wordAt(bytes, offset), value) << "at " << offset;

    const Model model = load(bytes);
    ASSERT_THAT(summaries(model), ElementsAre("abc,, 3v 3i"));
    EXPECT_EQ(std::memcmp(model.meshes[0].vertices.data(), kTriangle.data(), 3 * sizeof(ModelVertex)), 0);
    EXPECT_THAT(model.meshes[0].indices, ElementsAre(0, 1, 2));
    EXPECT_TRUE(model.notes.empty());
    EXPECT_EQ(model.contentRoot, expectedContentRoot());
}

TEST_F(ModelFileTest, FollowsTheMeshGrammar) {
    const WalkCase cases[] = {
        {"empty file", [](ModelBuilder&) {}, {}, {}},
        {"only unknown chunks",
         [](ModelBuilder& b) { b.chunk(1, "abcd").chunk(7); },
         {},
         {"unknown chunk@0", "unknown chunk@12"}},
        {"empty mesh list and empty child",
         [](ModelBuilder& b) {
             b.beginMeshList().endMeshList().beginMeshList().beginChild().endChild().endMeshList();
         },
         {},
         {}},
        {"two mesh lists",
         [](ModelBuilder& b) {
             b.beginMeshList().mesh("a", kTriangle, kTriangleIndices).endMeshList();
             b.beginMeshList().mesh("b", kQuad, kQuadIndices).endMeshList();
         },
         {"a,, 3v 3i", "b,, 4v 6i"},
         {}},
        {"vertices and indices in different children",
         [](ModelBuilder& b) {
             b.beginMeshList().beginChild().names("a").vertices(kTriangle).endChild();
             b.beginChild().indices(kTriangleIndices).endChild().endMeshList();
         },
         {"a,, 3v 3i"},
         {}},
        {"names after vertices",
         [](ModelBuilder& b) {
             b.beginMeshList().beginChild().vertices(kTriangle).names("a").indices(kTriangleIndices);
             b.endChild().endMeshList();
         },
         {"a,, 3v 3i"},
         {}},
        {"indices before vertices keep the names pending",
         [](ModelBuilder& b) {
             b.beginMeshList().beginChild().names("a").indices(kQuadIndices).vertices(kTriangle);
             b.indices(kTriangleIndices).endChild().endMeshList();
         },
         {"a,, 3v 3i"},
         {"indices without vertices@25"}},
        {"vertices, vertices, indices",
         [](ModelBuilder& b) {
             b.beginMeshList().beginChild().vertices(kQuad).vertices(kTriangle).indices(kTriangleIndices);
             b.endChild().endMeshList();
         },
         {",, 3v 3i"},
         {"mesh dropped@16"}},
        {"names go to one mesh only",
         [](ModelBuilder& b) {
             b.beginMeshList().mesh("a", kTriangle, kTriangleIndices).beginChild().vertices(kQuad);
             b.indices(kQuadIndices).endChild().endMeshList();
         },
         {"a,, 3v 3i", ",, 4v 6i"},
         {}},
        {"empty names blob",
         [](ModelBuilder& b) { b.beginMeshList().mesh("", kTriangle, kTriangleIndices).endMeshList(); },
         {",, 3v 3i"},
         {}},
        {"unknown sub-chunks inside a mesh",
         [](ModelBuilder& b) {
             b.beginMeshList().beginChild().vertices(kTriangle).subChunk(1, "xyz").subChunk(5);
             b.indices(kTriangleIndices).endChild().endMeshList();
         },
         {",, 3v 3i"},
         {"unknown sub-chunk@128", "unknown sub-chunk@139"}},
        {"no vertices, no indices",
         [](ModelBuilder& b) {
             b.beginMeshList().beginChild().vertices({}).indices({}).endChild().endMeshList();
         },
         {",, 0v 0i"},
         {}},
    };
    for (const WalkCase& c : cases) {
        SCOPED_TRACE(c.name);
        const Model model = expectLoadsAsDeclared(c);
        EXPECT_EQ(model.currentMesh, nullptr);
        EXPECT_EQ(model.namesBlob, nullptr);
    }
}

TEST_F(ModelFileTest, SplitsTheNamesBlobAtNuls) {
    const std::pair<std::string, std::array<std::string, 3>> cases[] = {
        {"abc\0def\0ghi\0"s, {"abc", "def", "ghi"}},
        {"abc"s, {"abc", "", ""}},
        {"\0x"s, {"", "x", ""}},
        {"abc\0def\0ghi\0jkl"s, {"abc", "def", "ghi"}},
        {"a\0\0c"s, {"a", "", "c"}},
        {"\xff\x01\x7f"s, {"\xff\x01\x7f", "", ""}},
    };
    for (const auto& [blob, names] : cases) {
        SCOPED_TRACE(testing::PrintToString(blob));
        ModelBuilder builder;
        builder.beginMeshList().mesh(blob, kTriangle, kTriangleIndices).endMeshList();
        const Model model = load(builder.bytes());
        ASSERT_EQ(model.meshes.size(), 1u);
        EXPECT_EQ(model.meshes[0].names, names);
        EXPECT_EQ(model.namesBlob, nullptr);
    }
}

TEST_F(ModelFileTest, UnopenablePathLoadsNothing) {
    Model model;
    EXPECT_FALSE(loadModel((dir_ / "missing.model").string(), model));
    EXPECT_TRUE(model.meshes.empty());
    EXPECT_TRUE(model.notes.empty());
    EXPECT_EQ(model.contentRoot, "");
}

TEST(ContentRoot, IsThePathThroughTheLastContentDirectory) {
    const std::pair<const char*, const char*> cases[] = {
        {"D:/game/content/meshes/box.model", "D:\\game\\content\\"},
        {"D:\\content\\mods\\content\\meshes\\box.model", "D:\\content\\mods\\content\\"},
        {"D:/game/Content/meshes/box.model", ""},
        {"content\\box.model", ""},
        {"D:/game/content", ""},
        {"", ""},
    };
    for (const auto& [path, root] : cases) EXPECT_EQ(deriveContentRoot(path), root) << path;
}

}  // namespace
}  // namespace orvex
