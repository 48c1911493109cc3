// How the loader meets hostile files: cuts, lying sizes, huge counts and re-reading.

#include "tests/model/ModelFileTest.h"

#include <gmock/gmock.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <new>
#include <utility>

namespace orvex {
namespace {

using modelgen::ModelBuilder;
using testing::ElementsAre;
using namespace std::string_literals;

TEST_F(ModelFileTest, EveryPrefixKeepsTheMeshesCompletedInIt) {
    ModelBuilder builder;
    std::vector<std::size_t> meshEnds;
    std::vector<std::size_t> chunkEnds = {0};
    builder.beginMeshList().beginChild().names("a\0one"s).vertices(kTriangle).indices(kTriangleIndices);
    meshEnds.push_back(builder.size());
    builder.endChild().beginChild().vertices(kQuad).endChild();
    builder.beginChild().subChunk(7).names("b").indices(kQuadIndices);
    meshEnds.push_back(builder.size());
    chunkEnds.push_back(builder.endChild().endMeshList().size());
    chunkEnds.push_back(builder.chunk(5, "skipped").size());
    builder.beginMeshList().mesh("c", kTriangle, kTriangleIndices).endMeshList();
    meshEnds.push_back(builder.size());
    chunkEnds.push_back(builder.size());
    const modelgen::Bytes& bytes = builder.bytes();
    const std::vector<std::string> all = {"a,one, 3v 3i", "b,, 4v 6i", "c,, 3v 3i"};

    for (std::size_t length = 0; length <= bytes.size(); ++length) {
        SCOPED_TRACE("length " + std::to_string(length));
        Model model;
        const std::string path =
            write({bytes.begin(), bytes.begin() + length}, std::to_string(length) + ".model");
        ASSERT_TRUE(loadModel(path, model));
        const auto kept =
            std::count_if(meshEnds.begin(), meshEnds.end(), [&](std::size_t end) { return end <= length; });
        EXPECT_EQ(summaries(model), std::vector<std::string>(all.begin(), all.begin() + kept));
        EXPECT_EQ(model.contentRoot, expectedContentRoot());
        const auto truncated = std::find_if(model.notes.begin(), model.notes.end(), [](const LoadNote& note) {
            return note.kind == LoadNote::Kind::Truncated;
        });
        const bool cutInsideChunk = std::find(chunkEnds.begin(), chunkEnds.end(), length) == chunkEnds.end();
        ASSERT_EQ(truncated != model.notes.end(), cutInsideChunk);
        if (cutInsideChunk) {
            EXPECT_LE(truncated->offset, length);
        }
    }
}

constexpr std::uint32_t kWraps = 0xFFFFFFF8;  // 8 + size is 0 in 32 bits

ModelVertex recordReadAsHeader(std::uint32_t type, std::uint32_t size) {
    ModelVertex record{};
    std::memcpy(&record.x, &type, sizeof type);
    std::memcpy(&record.y, &size, sizeof size);
    return record;
}

TEST_F(ModelFileTest, LyingSizesMoveTheWalkAsDeclared) {
    const WalkCase cases[] = {
        {"content longer than its size is read again as headers",
         [](ModelBuilder& b) {
             b.beginMeshList().beginChild().vertices({recordReadAsHeader(1, 24)}, std::nullopt, 8);
             b.indices(kTriangleIndices).endChild().endMeshList();
         },
         {",, 1v 3i"},
         {"size disagrees with contents@16", "unknown sub-chunk@32"}},
        {"size longer than its content skips the rest",
         [](ModelBuilder& b) {
             b.beginMeshList().beginChild().vertices(kTriangle, std::nullopt, 112).word(~0u).word(~0u);
             b.indices(kTriangleIndices).endChild().endMeshList();
         },
         {",, 3v 3i"},
         {"size disagrees with contents@16"}},
        {"a child past its chunk leaves the next chunk where the chunk's size says",
         [](ModelBuilder& b) {
             b.beginMeshList(8).beginChild(12).endChild().endMeshList().chunk(5, "abcd");
             b.beginMeshList().mesh("a", kTriangle, kTriangleIndices).endMeshList();
         },
         {"a,, 3v 3i"},
         {"unknown sub-chunk@16", "size disagrees with contents@0", "unknown chunk@16"}},
        {"a wrapping chunk size ends the walk",
         [](ModelBuilder& b) {
             b.chunk(5, "", kWraps).beginMeshList().mesh("a", kTriangle, kTriangleIndices).endMeshList();
         },
         {},
         {"unknown chunk@0", "truncated@0"}},
        {"a wrapping child size reads on to the end",
         [](ModelBuilder& b) {
             b.beginMeshList().mesh("a", kTriangle, kTriangleIndices).beginChild(kWraps).vertices(kTriangle);
             b.indices(kTriangleIndices).endChild().endMeshList();
         },
         {"a,, 3v 3i", ",, 3v 3i"},
         {"truncated@293"}},
        {"a wrapping sub-chunk size ends its child",
         [](ModelBuilder& b) {
             b.beginMeshList()
                 .beginChild()
                 .vertices(kTriangle)
                 .indices(kTriangleIndices)
                 .subChunk(1, "", kWraps);
             b.endChild().endMeshList().beginMeshList().mesh("b", kTriangle, kTriangleIndices).endMeshList();
         },
         {",, 3v 3i", "b,, 3v 3i"},
         {"unknown sub-chunk@146", "size disagrees with contents@8"}},
        {"a names size past the end",
         [](ModelBuilder& b) { b.beginMeshList().beginChild().names("ab", ~0u).endChild().endMeshList(); },
         {},
         {"truncated@24"}},
        {"a mesh list size past the end",
         [](ModelBuilder& b) { b.beginMeshList(1000).mesh("a", kTriangle, kTriangleIndices).endMeshList(); },
         {"a,, 3v 3i"},
         {"truncated@155"}},
    };
    for (const WalkCase& c : cases) {
        SCOPED_TRACE(c.name);
        expectLoadsAsDeclared(c);
    }
}

TEST_F(ModelFileTest, KeepsTheFirstNotesAndHowTheWalkEnded) {
    ModelBuilder builder;
    builder.beginMeshList().beginChild().names("a");
    for (std::size_t i = 0; i < kMaxHeaderNotes + 10; ++i) builder.subChunk(1);
    builder.vertices({}, 1000).endChild().endMeshList();
    const Model model = load(builder.bytes());

    std::vector<std::string> expected(kMaxHeaderNotes);
    for (std::size_t i = 0; i < kMaxHeaderNotes; ++i) expected[i] = "unknown sub-chunk@" + std::to_string(25 + 8 * i);
    expected.push_back("further notes omitted@" + std::to_string(25 + 8 * kMaxHeaderNotes));
    expected.push_back("truncated@" + std::to_string(builder.size()));
    expected.push_back("names dropped@16");
    EXPECT_EQ(noteList(model), expected);
}

// Tells whether a load left its file open: by the process's descriptors, or
// on Windows, which refuses to delete a file that is open, by deleting it.
class OpenFileCheck {
public:
    explicit OpenFileCheck(std::string path) : path_(std::move(path)), descriptors_(descriptorCount()) {}

    bool closed() const {
#if defined(_WIN32)
        std::error_code error;
        return std::filesystem::remove(path_, error);
#else
        return descriptorCount() == descriptors_;
#endif
    }

private:
    static std::ptrdiff_t descriptorCount() {
#if defined(_WIN32)
        return 0;
#else
        const std::filesystem::directory_iterator descriptors("/proc/self/fd");
        return std::distance(begin(descriptors), end(descriptors));
#endif
    }

    std::string path_;
    std::ptrdiff_t descriptors_;
};

TEST_F(ModelFileTest, ByteSizesPast32BitsThrowAndKeepWhatWasRead) {
    const std::pair<std::function<void(ModelBuilder&)>, bool> cases[] = {
        {[](ModelBuilder& b) { b.vertices({}, 1u << 27); }, true},
        {[](ModelBuilder& b) { b.vertices({}, ~0u); }, true},
        {[](ModelBuilder& b) { b.vertices({}, (1u << 27) - 1); }, false},
        {[](ModelBuilder& b) { b.indices({}, 1u << 31); }, true},
        {[](ModelBuilder& b) { b.indices({}, ~0u); }, true},
        {[](ModelBuilder& b) { b.indices({}, (1u << 31) - 1); }, false},
    };
    for (const auto& [declare, throws] : cases) {
        ModelBuilder builder;
        builder.beginMeshList()
            .mesh("a", kTriangle, kTriangleIndices)
            .beginChild()
            .names("b")
            .vertices(kQuad);
        declare(builder);
        const std::string path = write(builder.endChild().endMeshList().bytes());
        Model model;
        const OpenFileCheck openFile(path);
        if (throws) {
            EXPECT_THROW(loadModel(path, model), std::bad_alloc);
            EXPECT_TRUE(openFile.closed());
            ASSERT_FALSE(model.notes.empty());
            EXPECT_EQ(model.notes.back().kind, LoadNote::Kind::TooLarge);
        } else {
            EXPECT_TRUE(loadModel(path, model));
            EXPECT_EQ(model.notes.at(0).kind, LoadNote::Kind::Truncated);
        }
        EXPECT_THAT(summaries(model), ElementsAre("a,, 3v 3i"));
        ASSERT_NE(model.currentMesh, nullptr);
        EXPECT_EQ(model.currentMesh->vertexCount, 4u);
        EXPECT_TRUE(model.currentMesh->indices.empty());
        EXPECT_EQ(model.namesBlobSize, 1u);
    }
}

TEST_F(ModelFileTest, CountBeyondTheFileAllocatesNothing) {
    ModelBuilder builder;
    builder.beginMeshList().beginChild().vertices({}, 134217727).endChild().endMeshList();
    ASSERT_EQ(builder.size(), 32u);  // the smallest file that can declare a vertex count
    const Model model = load(builder.bytes());
    EXPECT_TRUE(model.meshes.empty());
    EXPECT_EQ(model.currentMesh, nullptr);
    ASSERT_THAT(noteList(model), ElementsAre("truncated@32"));
    EXPECT_EQ(model.notes[0].detail, "needs 4294967264 bytes, 0 remain");
}

// N top-level chunks, each holding only the header of a child that claims
// the rest of the file, and each followed by a mesh: every chunk's child reads
// all the meshes after it, so honouring the sizes alone keeps N(N+1)/2 meshes.
TEST_F(ModelFileTest, RereadHeadersStopAtTheFileSize) {
    constexpr std::uint32_t kCopies = 1000;
    constexpr std::uint32_t kCopySize = 16 + 16 + 12;
    ModelBuilder builder;
    for (std::uint32_t i = 0; i < kCopies; ++i) {
        builder.beginMeshList(8).beginChild((kCopies - i) * kCopySize - 16).endChild().endMeshList();
        builder.vertices({}).indices({});
    }
    ASSERT_EQ(builder.size(), kCopies * kCopySize);
    const Model model = load(builder.bytes());
    EXPECT_GE(model.meshes.size(), kCopies);
    EXPECT_LT(model.meshes.size(), 2 * kCopies);
    EXPECT_EQ(model.notes.back().kind, LoadNote::Kind::Overlap);
}

// The same shape with one large mesh at the end: every chunk re-reads its array.
TEST_F(ModelFileTest, RereadArraysStopAtTheFileSize) {
    constexpr std::uint32_t kCopies = 64;
    const std::vector<ModelVertex> large = makeVertices(4096);
    const std::uint32_t fileSize = kCopies * 16 + 16 + 4096 * 32 + 18;
    ModelBuilder builder;
    for (std::uint32_t i = 0; i < kCopies; ++i) {
        builder.beginMeshList(8).beginChild(fileSize - 16 * i - 16).endChild().endMeshList();
    }
    builder.vertices(large).indices(kTriangleIndices);
    ASSERT_EQ(builder.size(), fileSize);
    const Model model = load(builder.bytes());
    EXPECT_THAT(summaries(model), ElementsAre(",, 4096v 3i"));
    EXPECT_EQ(noteList(model).back(), "data read twice@" + std::to_string(kCopies * 16 + 16));
}

// Positions past 2 GiB, and past 4 GiB, must survive every build: on 64-bit
// Windows `long`, the type of ftell, stays 32 bits. The skipped chunks are
// holes in a sparse file, so the test costs no disk.
TEST_F(ModelFileTest, FindsMeshesBeyondFourGigabytes) {
    constexpr std::uint32_t kSkipped = 0xC0000000u;
    modelgen::ModelBuilder skip;
    skip.chunk(1, {}, kSkipped);
    modelgen::ModelBuilder meshes;
    meshes.beginMeshList().mesh("far", kTriangle, kTriangleIndices).endMeshList();

    const std::string path = (dir_ / "far.model").string();
    {
        std::ofstream file(path, std::ios::binary);
        const auto put = [&file](std::uint64_t offset, const modelgen::Bytes& bytes) {
            file.seekp(static_cast<std::streamoff>(offset));
            file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        };
        const std::uint64_t second = skip.size() + kSkipped;
        put(0, skip.bytes());
        put(second, skip.bytes());
        put(second + skip.size() + kSkipped, meshes.bytes());
        ASSERT_TRUE(file.good());
    }
    Model model;
    ASSERT_TRUE(loadModel(path, model));
    EXPECT_THAT(summaries(model), testing::ElementsAre("far,, 3v 3i"));
    EXPECT_THAT(noteList(model), testing::ElementsAre("unknown chunk@0", "unknown chunk@3221225480"));
}

}  // namespace
}  // namespace orvex
