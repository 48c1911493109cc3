// Writes the benchmarks' inputs under DIR, as a game lays its content out:
//   DIR/content/meshes/bench-<MIB>mib.model   meshes near the 65,536 vertices
//                                             that 16-bit indices reach
//   DIR/content/meshes/bench-<MIB>mib.ply     the same geometry as the host
//                                             sees it, as one binary PLY mesh
//   DIR/content/textures/bench/stone<k>.1024.dds
// Usage: orvex-bench-model DIR MIB [SIDE]
// With SIDE, every mesh is a grid of SIDE x SIDE vertices, as many as fit in
// MIB: many smaller meshes, as in a scene of props rather than terrain.
// The files are written mesh by mesh, so a large one never sits in memory.

#include "modelgen/DdsBuilder.h"
#include "modelgen/ModelBuilder.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using orvex::ModelVertex;
namespace fs = std::filesystem;

constexpr int kFullSide = 256;  // 256 x 256 vertices: all that 16-bit indices reach
constexpr int kTextureCount = 4;
constexpr int kTextureSide = 128;
constexpr float kSpacing = 0.05f;

struct Grid {
    int side;
    std::uint32_t vertexCount() const { return static_cast<std::uint32_t>(side) * side; }
    std::uint32_t triangleCount() const { return 2u * (side - 1) * (side - 1); }
};

std::string namesBlob(int mesh) {
    const std::string texture = "bench\\stone" + std::to_string(mesh % kTextureCount);
    const std::string name = "mesh" + std::to_string(mesh);
    return texture + '\0' + name + '\0' + "lod0" + '\0';
}

std::uint64_t childBytes(const Grid& grid, int mesh) {
    using orvex::kHeaderSize;
    return kHeaderSize + kHeaderSize + namesBlob(mesh).size() + kHeaderSize + orvex::kVerticesPrefixSize +
           std::uint64_t{grid.vertexCount()} * sizeof(ModelVertex) + kHeaderSize + orvex::kIndicesPrefixSize +
           std::uint64_t{grid.triangleCount()} * 3 * sizeof(std::uint16_t);
}

// Full-size grids, three sizes in turn so that not every mesh is alike, until
// the file reaches its size; a file smaller than one grid holds one smaller grid.
std::vector<Grid> planMeshes(std::uint64_t targetBytes) {
    std::vector<Grid> grids;
    std::uint64_t total = 0;
    while (total < targetBytes) {
        Grid grid{kFullSide - static_cast<int>(grids.size() % 3)};
        if (grids.empty() && childBytes(grid, 0) > targetBytes) {
            const double perVertex = static_cast<double>(childBytes(grid, 0)) / grid.vertexCount();
            grid.side = std::max(2, static_cast<int>(std::sqrt(static_cast<double>(targetBytes) / perVertex)));
        }
        total += childBytes(grid, static_cast<int>(grids.size()));
        grids.push_back(grid);
    }
    return grids;
}

std::vector<Grid> planEqualMeshes(std::uint64_t targetBytes, int side) {
    const Grid grid{side};
    const std::uint64_t count = std::max<std::uint64_t>(1, targetBytes / childBytes(grid, 0));
    return std::vector<Grid>(count, grid);
}

// A gently rolling surface, its normals pointing up, each mesh beside the last.
ModelVertex gridVertex(const Grid& grid, int mesh, int row, int column) {
    const float hostX = static_cast<float>(mesh * kFullSide + column) * kSpacing;
    const float hostZ = static_cast<float>(row) * kSpacing;
    const float hostY = 0.3f * std::sin(hostX * 0.7f) * std::cos(hostZ * 0.9f);
    const auto tilt = [](float angle) { return static_cast<std::uint32_t>(128.0f + 40.0f * std::sin(angle)); };
    ModelVertex record{};
    // The importer swaps x and z.
    record.x = hostZ;
    record.y = hostY;
    record.z = hostX;
    record.normal = (tilt(hostZ) << 16) | (230u << 8) | tilt(hostX);
    record.u = static_cast<float>(column) / static_cast<float>(grid.side - 1);
    record.v = static_cast<float>(row) / static_cast<float>(grid.side - 1);
    return record;
}

std::vector<std::uint16_t> gridIndices(const Grid& grid) {
    std::vector<std::uint16_t> indices;
    indices.reserve(std::size_t{grid.triangleCount()} * 3);
    for (int row = 0; row + 1 < grid.side; ++row) {
        for (int column = 0; column + 1 < grid.side; ++column) {
            const auto a = static_cast<std::uint16_t>(row * grid.side + column);
            const auto b = static_cast<std::uint16_t>(a + 1);
            const auto c = static_cast<std::uint16_t>(a + grid.side);
            const auto d = static_cast<std::uint16_t>(c + 1);
            for (const std::uint16_t index : {a, c, d, a, d, b}) indices.push_back(index);
        }
    }
    return indices;
}

class OutputFile {
public:
    explicit OutputFile(const fs::path& path) : path_(path.string()), file_(std::fopen(path_.c_str(), "wb")) {
        if (file_ == nullptr) throw std::runtime_error("cannot write " + path_);
    }
    ~OutputFile() {
        if (file_ != nullptr) std::fclose(file_);
    }
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    void write(const void* data, std::size_t size) {
        if (std::fwrite(data, 1, size, file_) != size) throw std::runtime_error("cannot write " + path_);
    }
    void write(const std::string& text) { write(text.data(), text.size()); }
    void close() {
        const int result = std::fclose(file_);
        file_ = nullptr;
        if (result != 0) throw std::runtime_error("cannot write " + path_);
    }

private:
    std::string path_;
    std::FILE* file_;
};

// The host's values, decoded as the mesh builder decodes them: (z, y, x)
// for points and normals, 1 - v.
struct PlyVertex {
    float x, y, z, nx, ny, nz, s, t;
};
static_assert(sizeof(PlyVertex) == 32, "PLY vertices are eight floats");

PlyVertex hostVertex(const ModelVertex& record) {
    const auto component = [&](unsigned int shift) {
        return static_cast<float>(2.0 * ((record.normal >> shift) & 0xFF) / 255.0 - 1.0);
    };
    const float nx = component(16);
    const float ny = component(8);
    const float nz = component(0);
    const float length = std::sqrt(nx * nx + ny * ny + nz * nz);
    return {record.z, record.y, record.x, nz / length, ny / length, nx / length, record.u, 1.0f - record.v};
}

std::string plyHeader(std::uint64_t vertexCount, std::uint64_t triangleCount) {
    std::string header = "ply\nformat binary_little_endian 1.0\n";
    header += "element vertex " + std::to_string(vertexCount) + "\n";
    for (const char* property : {"x", "y", "z", "nx", "ny", "nz", "s", "t"}) {
        header += std::string("property float ") + property + "\n";
    }
    header += "element face " + std::to_string(triangleCount) + "\n";
    header += "property list uchar int vertex_indices\nend_header\n";
    return header;
}

std::vector<std::uint8_t> plyTriangles(const std::vector<std::uint16_t>& indices, std::uint32_t firstVertex) {
    std::vector<std::uint8_t> out;
    out.reserve(indices.size() / 3 * 13);
    for (std::size_t i = 0; i + 2 < indices.size(); i += 3) {
        out.push_back(3);
        for (std::size_t corner = 0; corner < 3; ++corner) {
            const std::uint32_t index = firstVertex + indices[i + corner];
            std::uint8_t bytes[4];
            std::memcpy(bytes, &index, sizeof bytes);
            out.insert(out.end(), bytes, bytes + sizeof bytes);
        }
    }
    return out;
}

void writeTextures(const fs::path& directory) {
    fs::create_directories(directory);
    for (int k = 0; k < kTextureCount; ++k) {
        orvex::modelgen::RgbaImage image{kTextureSide, kTextureSide, {}};
        for (int y = 0; y < kTextureSide; ++y) {
            for (int x = 0; x < kTextureSide; ++x) {
                const bool light = ((x / 16) + (y / 16) + k) % 2 == 0;
                const std::uint8_t level = light ? 200 : 90;
                image.rgba.insert(image.rgba.end(), {level, static_cast<std::uint8_t>(level - 20 * k),
                                                     static_cast<std::uint8_t>(60 + 40 * k), 255});
            }
        }
        orvex::modelgen::writeFile((directory / ("stone" + std::to_string(k) + ".1024.dds")).string(),
                                   orvex::modelgen::buildDds(image, orvex::modelgen::DdsFormat::Dxt1));
    }
}

void writeInputs(const fs::path& root, unsigned long mebibytes, int side) {
    const fs::path meshes = root / "content" / "meshes";
    fs::create_directories(meshes);
    writeTextures(root / "content" / "textures" / "bench");

    const std::uint64_t targetBytes = std::uint64_t{mebibytes} << 20;
    const std::vector<Grid> grids = side > 0 ? planEqualMeshes(targetBytes, side) : planMeshes(targetBytes);
    std::uint64_t listBytes = 0;
    std::uint64_t vertexTotal = 0;
    std::uint64_t triangleTotal = 0;
    for (std::size_t i = 0; i < grids.size(); ++i) {
        listBytes += childBytes(grids[i], static_cast<int>(i));
        vertexTotal += grids[i].vertexCount();
        triangleTotal += grids[i].triangleCount();
    }
    if (listBytes > UINT32_MAX) throw std::runtime_error("a mesh list chunk holds at most 4 GiB");

    const std::string stem = "bench-" + std::to_string(mebibytes) + "mib";
    OutputFile model(meshes / (stem + ".model"));
    OutputFile ply(meshes / (stem + ".ply"));
    const std::uint32_t listHeader[2] = {static_cast<std::uint32_t>(orvex::ModelChunkId::MeshList),
                                         static_cast<std::uint32_t>(listBytes)};
    model.write(listHeader, sizeof listHeader);
    ply.write(plyHeader(vertexTotal, triangleTotal));

    for (std::size_t i = 0; i < grids.size(); ++i) {
        const Grid& grid = grids[i];
        const int mesh = static_cast<int>(i);
        std::vector<ModelVertex> records;
        records.reserve(grid.vertexCount());
        for (int row = 0; row < grid.side; ++row) {
            for (int column = 0; column < grid.side; ++column) records.push_back(gridVertex(grid, mesh, row, column));
        }
        const std::vector<std::uint16_t> indices = gridIndices(grid);
        orvex::modelgen::ModelBuilder child;
        child.mesh(namesBlob(mesh), records, indices);
        model.write(child.bytes().data(), child.size());

        std::vector<PlyVertex> hostVertices;
        hostVertices.reserve(records.size());
        for (const ModelVertex& record : records) hostVertices.push_back(hostVertex(record));
        ply.write(hostVertices.data(), hostVertices.size() * sizeof(PlyVertex));
    }
    // PLY lists every vertex before the first face.
    std::uint32_t firstVertex = 0;
    for (const Grid& grid : grids) {
        const std::vector<std::uint8_t> triangles = plyTriangles(gridIndices(grid), firstVertex);
        ply.write(triangles.data(), triangles.size());
        firstVertex += grid.vertexCount();
    }
    model.close();
    ply.close();
    std::cout << (meshes / (stem + ".model")).string() << "\n";
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3 && argc != 4) {
        std::cerr << "usage: orvex-bench-model DIR MIB [SIDE]\n";
        return 2;
    }
    char* end = nullptr;
    const unsigned long mebibytes = std::strtoul(argv[2], &end, 10);
    if (end == argv[2] || *end != '\0' || mebibytes == 0 || mebibytes > 4000) {
        std::cerr << "orvex-bench-model: MIB must be a whole number from 1 to 4000\n";
        return 2;
    }
    long side = 0;
    if (argc == 4) {
        side = std::strtol(argv[3], &end, 10);
        if (end == argv[3] || *end != '\0' || side < 2 || side > kFullSide) {
            std::cerr << "orvex-bench-model: SIDE must be a whole number from 2 to " << kFullSide << "\n";
            return 2;
        }
    }
    try {
        writeInputs(argv[1], mebibytes, static_cast<int>(side));
    } catch (const std::exception& error) {
        std::cerr << "orvex-bench-model: " << error.what() << "\n";
        return 1;
    }
    return 0;
}
