// Writes the seed corpus of the fuzz targets into the directory given:
//   MakeSeedCorpus fuzz/corpus/load_model
// Small files, sound and broken, each named for what it holds.

#include "modelgen/ModelBuilder.h"

#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace {

using orvex::ModelVertex;
using orvex::modelgen::ModelBuilder;
using namespace std::string_literals;

constexpr std::uint32_t kWraps = 0xFFFFFFF8;  // 8 + size is 0 in 32 bits

std::vector<ModelVertex> vertices(std::uint32_t count) {
    std::vector<ModelVertex> records;
    for (std::uint32_t i = 0; i < count; ++i) {
        const auto f = static_cast<float>(i);
        records.push_back(ModelVertex{f, 1.0f - f, 0.5f * f, 0, 0x00FF8040u + i, 0, f, 1.0f - f});
    }
    return records;
}

const std::vector<ModelVertex> kTriangle = vertices(3);
const std::vector<ModelVertex> kQuad = vertices(4);
const std::vector<std::uint16_t> kTriangleIndices = {0, 1, 2};
const std::vector<std::uint16_t> kQuadIndices = {0, 1, 2, 2, 3, 0};

using orvex::modelgen::Bytes;

// Lets each seed be written as one chain of builder calls.
Bytes build(const std::function<void(ModelBuilder&)>& write) {
    ModelBuilder builder;
    write(builder);
    return builder.bytes();
}

Bytes firstHalf(Bytes bytes) {
    bytes.resize(bytes.size() / 2);
    return bytes;
}

const std::pair<const char*, Bytes> kSeeds[] = {
    {"one-triangle", build([](ModelBuilder& b) {
         b.beginMeshList().mesh("abc\0"s, kTriangle, kTriangleIndices).endMeshList();
     })},
    {"two-mesh-lists", build([](ModelBuilder& b) {
         b.beginMeshList().mesh("rock\0second\0third\0"s, kQuad, kQuadIndices).endMeshList().chunk(5, "skip");
         b.beginMeshList().mesh("", kTriangle, kTriangleIndices).endMeshList();
     })},
    {"names-after-vertices-across-children", build([](ModelBuilder& b) {
         b.beginMeshList().beginChild().vertices(kQuad).subChunk(1, "x").endChild();
         b.beginChild().names("wall").indices(kQuadIndices).endChild().endMeshList();
     })},
    {"empty-mesh-and-empty-child", build([](ModelBuilder& b) {
         b.beginMeshList()
             .beginChild()
             .endChild()
             .beginChild()
             .vertices({})
             .indices({})
             .endChild()
             .endMeshList();
     })},
    {"dropped-mesh-and-stray-indices", build([](ModelBuilder& b) {
         b.beginMeshList()
             .beginChild()
             .names("a")
             .indices(kTriangleIndices)
             .vertices(kQuad)
             .vertices(kTriangle);
         b.indices(kTriangleIndices).names("left over").endChild().endMeshList();
     })},
    {"more-than-three-names", build([](ModelBuilder& b) {
         b.beginMeshList().mesh("abc\0def\0ghi\0jkl"s, kTriangle, kTriangleIndices).endMeshList();
     })},
    {"truncated-inside-vertices", firstHalf(build([](ModelBuilder& b) {
         b.beginMeshList().mesh("abc", kQuad, kQuadIndices).endMeshList();
     }))},
    {"wrapping-sizes", build([](ModelBuilder& b) {
         b.beginMeshList()
             .beginChild(kWraps)
             .vertices(kTriangle)
             .subChunk(7, "", kWraps)
             .endChild()
             .endMeshList();
         b.chunk(5, "", kWraps).beginMeshList().mesh("a", kTriangle, kTriangleIndices).endMeshList();
     })},
    {"content-longer-than-its-size", build([](ModelBuilder& b) {
         b.beginMeshList()
             .beginChild()
             .vertices(kTriangle, std::nullopt, 8)
             .indices(kTriangleIndices, std::nullopt, 0);
         b.endChild().endMeshList();
     })},
    {"children-claiming-the-rest", build([](ModelBuilder& b) {
         constexpr std::uint32_t kCopies = 4;
         for (std::uint32_t i = 0; i < kCopies; ++i) {
             b.beginMeshList(8).beginChild((kCopies - i) * 44 - 16).endChild().endMeshList();
             b.vertices({}).indices({});
         }
     })},
    {"mesh-list-past-the-end", build([](ModelBuilder& b) {
         b.beginMeshList(1000).mesh("a", kTriangle, kTriangleIndices).endMeshList();
     })},
    {"vertex-count-past-the-file", build([](ModelBuilder& b) {
         b.beginMeshList().beginChild().vertices({}, 134217727).endChild().endMeshList();
     })},
    {"vertex-byte-size-past-32-bits", build([](ModelBuilder& b) {
         b.beginMeshList().beginChild().vertices({}, 1u << 27).endChild().endMeshList();
     })},
    {"index-byte-size-past-32-bits", build([](ModelBuilder& b) {
         b.beginMeshList().beginChild().vertices(kTriangle).indices({}, 1u << 31).endChild().endMeshList();
     })},
    {"indices-past-the-vertices", build([](ModelBuilder& b) {
         b.beginMeshList().mesh("a", kTriangle, {0, 1, 7, 65535, 2}).endMeshList();
     })},
};

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s DIRECTORY\n", argv[0]);
        return 2;
    }
    const std::filesystem::path directory = argv[1];
    std::filesystem::create_directories(directory);
    for (const auto& [name, bytes] : kSeeds)
        orvex::modelgen::writeFile((directory / (std::string(name) + ".model")).string(), bytes);
    return 0;
}
