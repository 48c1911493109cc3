// Writes the texture benchmarks' inputs under DIR, as a game lays its
// content out, with textures of a game's size (2048 x 2048) and look
// (modelgen/GameTexture.h):
//   DIR/props/content/meshes/props.model       three meshes, one texture each
//   DIR/props/content/textures/props/{stones,planks,moss}.2048.dds    DXT1
//   DIR/batch/content/meshes/dK/propN.model    FILES small models of two
//                                              meshes: one with a shared
//                                              texture, one with its own
//   DIR/batch/content/textures/shared/{stones,planks}.2048.dds  DXT1
//   DIR/batch/content/textures/shared/leaves.2048.dds           DXT5, cut out
//   DIR/batch/content/textures/own/propN.2048.dds  DXT1 (moss) or DXT5
//                                              (leaves), every file's its own
// Prints the path of props.model.
// Usage: orvex-bench-textures DIR FILES

#include "modelgen/DdsBuilder.h"
#include "modelgen/GameTexture.h"
#include "modelgen/ModelBuilder.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using orvex::ModelVertex;
using orvex::modelgen::DdsFormat;
using orvex::modelgen::GameTextureKind;

constexpr int kTextureSide = 2048;
constexpr int kGridSide = 24;  // vertices along each side of a mesh
constexpr std::size_t kDdsHeaderBytes = 128;

std::vector<std::uint8_t> gameDds(GameTextureKind kind, DdsFormat format, std::uint32_t seed) {
    return orvex::modelgen::buildDds(orvex::modelgen::gameTexture(kind, kTextureSide, seed), format, true,
                                     squish::kColourRangeFit);
}

// Another texture of the same look: level 0's blocks moved round by a
// number of blocks across and down, as the textures tile. Its mip levels
// stay the original's, which no conversion reads.
std::vector<std::uint8_t> shifted(const std::vector<std::uint8_t>& dds, std::size_t blockBytes, int across,
                                  int down) {
    constexpr int kBlocks = kTextureSide / 4;
    std::vector<std::uint8_t> out = dds;
    for (int y = 0; y < kBlocks; ++y) {
        for (int x = 0; x < kBlocks; ++x) {
            const std::size_t from = kDdsHeaderBytes + (std::size_t(y) * kBlocks + x) * blockBytes;
            const std::size_t to = kDdsHeaderBytes +
                                   (std::size_t((y + down) % kBlocks) * kBlocks + (x + across) % kBlocks) * blockBytes;
            std::memcpy(&out[to], &dds[from], blockBytes);
        }
    }
    return out;
}

// A gently curved square, its UVs spanning the texture.
void addMesh(orvex::modelgen::ModelBuilder& model, const std::string& texture, const std::string& name,
             float offset) {
    std::vector<ModelVertex> records;
    for (int row = 0; row < kGridSide; ++row) {
        for (int column = 0; column < kGridSide; ++column) {
            ModelVertex record{};
            const float u = float(column) / float(kGridSide - 1);
            const float v = float(row) / float(kGridSide - 1);
            record.x = v;  // the importer swaps x and z
            record.y = 0.1f * u * (1.0f - u);
            record.z = u + offset;
            record.normal = (128u << 16) | (255u << 8) | 128u;
            record.u = u;
            record.v = v;
            records.push_back(record);
        }
    }
    std::vector<std::uint16_t> indices;
    for (int row = 0; row + 1 < kGridSide; ++row) {
        for (int column = 0; column + 1 < kGridSide; ++column) {
            const auto a = std::uint16_t(row * kGridSide + column);
            const auto b = std::uint16_t(a + 1);
            const auto c = std::uint16_t(a + kGridSide);
            const auto d = std::uint16_t(c + 1);
            for (const std::uint16_t index : {a, c, d, a, d, b}) indices.push_back(index);
        }
    }
    model.mesh(texture + '\0' + name + '\0' + "lod0" + '\0', records, indices);
}

void writeModel(const fs::path& path, const std::vector<std::pair<std::string, std::string>>& meshes) {
    orvex::modelgen::ModelBuilder model;
    model.beginMeshList();
    float offset = 0.0f;
    for (const auto& [texture, name] : meshes) {
        addMesh(model, texture, name, offset);
        offset += 1.5f;
    }
    model.endMeshList();
    fs::create_directories(path.parent_path());
    orvex::modelgen::writeFile(path.string(), model.bytes());
}

void writeDds(const fs::path& path, const std::vector<std::uint8_t>& dds) {
    fs::create_directories(path.parent_path());
    orvex::modelgen::writeFile(path.string(), dds);
}

void writeInputs(const fs::path& root, int files) {
    const std::vector<std::uint8_t> stones = gameDds(GameTextureKind::Stones, DdsFormat::Dxt1, 17);
    const std::vector<std::uint8_t> planks = gameDds(GameTextureKind::Planks, DdsFormat::Dxt1, 18);
    const std::vector<std::uint8_t> moss = gameDds(GameTextureKind::Moss, DdsFormat::Dxt1, 19);
    const std::vector<std::uint8_t> leaves = gameDds(GameTextureKind::Leaves, DdsFormat::Dxt5, 20);

    const fs::path props = root / "props" / "content";
    for (const auto& [name, dds] : {std::pair{"stones", &stones}, {"planks", &planks}, {"moss", &moss}})
        writeDds(props / "textures" / "props" / (std::string(name) + ".2048.dds"), *dds);
    writeModel(props / "meshes" / "props.model",
               {{"props\\stones", "wall"}, {"props\\planks", "floor"}, {"props\\moss", "bank"}});

    const fs::path batch = root / "batch" / "content";
    const char* shared[] = {"stones", "planks", "leaves"};
    writeDds(batch / "textures" / "shared" / "stones.2048.dds", stones);
    writeDds(batch / "textures" / "shared" / "planks.2048.dds", planks);
    writeDds(batch / "textures" / "shared" / "leaves.2048.dds", leaves);
    for (int file = 0; file < files; ++file) {
        const std::string name = "prop" + std::to_string(file);
        const bool alpha = file % 2 == 1;
        writeDds(batch / "textures" / "own" / (name + ".2048.dds"),
                 shifted(alpha ? leaves : moss, alpha ? 16 : 8, 1 + 37 * file, 3 + 11 * file));
        writeModel(batch / "meshes" / ("d" + std::to_string(file / 100)) / (name + ".model"),
                   {{std::string("shared\\") + shared[file % 3], "base"}, {"own\\" + name, "detail"}});
    }
    std::cout << (props / "meshes" / "props.model").string() << "\n";
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::cerr << "usage: orvex-bench-textures DIR FILES\n";
        return 2;
    }
    char* end = nullptr;
    const long files = std::strtol(argv[2], &end, 10);
    if (end == argv[2] || *end != '\0' || files < 1 || files > 10000) {
        std::cerr << "orvex-bench-textures: FILES must be a whole number from 1 to 10000\n";
        return 2;
    }
    try {
        writeInputs(argv[1], int(files));
    } catch (const std::exception& error) {
        std::cerr << "orvex-bench-textures: " << error.what() << "\n";
        return 1;
    }
    return 0;
}
