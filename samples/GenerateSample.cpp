// Writes the bundled sample: a small yard scene as a game would ship it,
//   content/meshes/yard.model
//   content/textures/props/crate.2048.dds   DXT1 (also a 1024 one, never picked)
//   content/textures/props/barrel.2048.dds  DXT5 (the model names it Props\Barrel)
//   content/textures/ground/cobbles.1024.dds uncompressed 24-bit, 1024 only
// Usage: generate-sample SAMPLES_DIR

#include "modelgen/DdsBuilder.h"
#include "modelgen/ModelBuilder.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

namespace {

using orvex::ModelVertex;
using orvex::modelgen::DdsFormat;
using orvex::modelgen::RgbaImage;

constexpr float kPi = 3.14159265358979f;

struct Vec3 {
    float x, y, z;
};

Vec3 operator+(Vec3 a, Vec3 b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
Vec3 operator*(float s, Vec3 a) { return {s * a.x, s * a.y, s * a.z}; }

// A vertex as the host will see it: Y up, v running upward.
struct HostVertex {
    Vec3 position;
    Vec3 normal;
    float u, v;
};

struct Geometry {
    std::vector<HostVertex> vertices;
    std::vector<std::uint16_t> indices;
};

std::uint32_t encodeComponent(float n)
{
    return static_cast<std::uint32_t>(std::clamp(std::lround((n + 1.0f) * 127.5f), 0L, 255L));
}

// The importer swaps x and z of positions and normals and flips v, so the
// file holds the host's values in that order.
ModelVertex toFileVertex(const HostVertex& h)
{
    ModelVertex record{};
    record.x = h.position.z;
    record.y = h.position.y;
    record.z = h.position.x;
    record.normal = (encodeComponent(h.normal.z) << 16) | (encodeComponent(h.normal.y) << 8) |
                    encodeComponent(h.normal.x);
    record.u = h.u;
    record.v = 1.0f - h.v;
    return record;
}

void addQuad(Geometry& g, Vec3 centre, Vec3 uAxis, Vec3 vAxis, Vec3 normal, float uvScale)
{
    const auto base = static_cast<std::uint16_t>(g.vertices.size());
    const float corners[4][2] = {{-1, -1}, {1, -1}, {1, 1}, {-1, 1}};
    for (const auto& c : corners) {
        g.vertices.push_back({centre + c[0] * uAxis + c[1] * vAxis, normal, uvScale * (c[0] + 1) / 2,
                              uvScale * (c[1] + 1) / 2});
    }
    for (int i : {0, 1, 2, 0, 2, 3}) g.indices.push_back(static_cast<std::uint16_t>(base + i));
}

// Faces wind counter-clockwise seen from outside.
Geometry cube(float half)
{
    Geometry g;
    const struct {
        Vec3 normal, uAxis, vAxis;
    } faces[] = {
        {{1, 0, 0}, {0, 0, -1}, {0, 1, 0}},  {{-1, 0, 0}, {0, 0, 1}, {0, 1, 0}},
        {{0, 1, 0}, {1, 0, 0}, {0, 0, -1}},  {{0, -1, 0}, {1, 0, 0}, {0, 0, 1}},
        {{0, 0, 1}, {1, 0, 0}, {0, 1, 0}},   {{0, 0, -1}, {-1, 0, 0}, {0, 1, 0}},
    };
    for (const auto& face : faces) {
        addQuad(g, half * face.normal, half * face.uAxis, half * face.vAxis, face.normal, 1.0f);
    }
    return g;
}

Geometry cylinder(float radius, float height, int segments)
{
    Geometry g;
    const float top = height / 2;
    for (int i = 0; i <= segments; ++i) {
        const float angle = 2 * kPi * static_cast<float>(i) / static_cast<float>(segments);
        const Vec3 radial{std::cos(angle), 0, -std::sin(angle)};
        const float u = static_cast<float>(i) / static_cast<float>(segments);
        g.vertices.push_back({radius * radial + Vec3{0, -top, 0}, radial, u, 0});
        g.vertices.push_back({radius * radial + Vec3{0, top, 0}, radial, u, 1});
    }
    for (int i = 0; i < segments; ++i) {
        const auto b0 = static_cast<std::uint16_t>(2 * i), t0 = static_cast<std::uint16_t>(2 * i + 1);
        const auto b1 = static_cast<std::uint16_t>(2 * i + 2), t1 = static_cast<std::uint16_t>(2 * i + 3);
        for (std::uint16_t index : {b0, b1, t1, b0, t1, t0}) g.indices.push_back(index);
    }
    for (const float side : {1.0f, -1.0f}) {
        const auto centre = static_cast<std::uint16_t>(g.vertices.size());
        const Vec3 normal{0, side, 0};
        g.vertices.push_back({Vec3{0, side * top, 0}, normal, 0.5f, 0.5f});
        for (int i = 0; i <= segments; ++i) {
            const float angle = 2 * kPi * static_cast<float>(i) / static_cast<float>(segments);
            g.vertices.push_back({Vec3{radius * std::cos(angle), side * top, -radius * std::sin(angle)}, normal,
                                  0.5f + 0.5f * std::cos(angle), 0.5f + 0.5f * std::sin(angle)});
        }
        for (int i = 0; i < segments; ++i) {
            const auto a = static_cast<std::uint16_t>(centre + 1 + i), b = static_cast<std::uint16_t>(centre + 2 + i);
            const std::uint16_t triangle[] = {centre, side > 0 ? a : b, side > 0 ? b : a};
            g.indices.insert(g.indices.end(), std::begin(triangle), std::end(triangle));
        }
    }
    return g;
}

Geometry ground(float half, float tiles)
{
    Geometry g;
    addQuad(g, {0, 0, 0}, {half, 0, 0}, {0, 0, -half}, {0, 1, 0}, tiles);
    return g;
}

Geometry placed(Geometry g, Vec3 offset, float yawDegrees)
{
    const float angle = yawDegrees * kPi / 180;
    const float c = std::cos(angle), s = std::sin(angle);
    auto turn = [c, s](Vec3 p) { return Vec3{c * p.x + s * p.z, p.y, -s * p.x + c * p.z}; };
    for (HostVertex& vertex : g.vertices) {
        vertex.position = turn(vertex.position) + offset;
        vertex.normal = turn(vertex.normal);
    }
    return g;
}

std::vector<ModelVertex> fileVertices(const Geometry& g)
{
    std::vector<ModelVertex> records;
    for (const HostVertex& vertex : g.vertices) records.push_back(toFileVertex(vertex));
    return records;
}

std::string namesBlob(const std::string& texture, const std::string& second, const std::string& third)
{
    return texture + '\0' + second + '\0' + third + '\0';
}

template <typename Shade>
RgbaImage paint(int size, Shade shade)
{
    RgbaImage image{size, size, std::vector<std::uint8_t>(static_cast<std::size_t>(size) * size * 4)};
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            const std::array<int, 4> colour = shade(x, y);
            for (int c = 0; c < 4; ++c) {
                image.rgba[(static_cast<std::size_t>(y) * size + x) * 4 + c] =
                    static_cast<std::uint8_t>(std::clamp(colour[c], 0, 255));
            }
        }
    }
    return image;
}

// Planks inside a dark frame, with a red mark in the top left corner so that
// a flipped or mirrored texture shows at once.
RgbaImage crateTexture()
{
    return paint(64, [](int x, int y) -> std::array<int, 4> {
        if (x < 12 && y < 12 && x > 3 && y > 3) return {200, 30, 30, 255};
        if (x < 4 || y < 4 || x >= 60 || y >= 60) return {70, 45, 20, 255};
        if (std::abs(x - y) < 3) return {110, 75, 35, 255};
        const int grain = (x * 7 + y * 3) % 11;
        if (y % 14 == 0) return {90, 60, 28, 255};
        return {170 + grain, 120 + grain, 60, 255};
    });
}

RgbaImage wrongResolutionTexture()
{
    return paint(32, [](int, int) -> std::array<int, 4> { return {255, 0, 255, 255}; });
}

RgbaImage barrelTexture()
{
    return paint(64, [](int x, int y) -> std::array<int, 4> {
        if ((y > 8 && y < 14) || (y > 50 && y < 56)) return {60, 60, 65, 255};
        const int stave = (x / 8) % 2 == 0 ? 0 : 15;
        return {140 + stave, 85 + stave, 40, 255};
    });
}

RgbaImage cobblesTexture()
{
    return paint(64, [](int x, int y) -> std::array<int, 4> {
        const int row = y / 16;
        const int shifted = x + (row % 2) * 8;
        if (y % 16 < 2 || shifted % 16 < 2) return {70, 68, 62, 255};
        const int tone = ((shifted / 16) * 37 + row * 23) % 30;
        return {120 + tone, 118 + tone, 110 + tone, 255};
    });
}

void writeDds(const std::filesystem::path& path, const RgbaImage& image, DdsFormat format)
{
    std::filesystem::create_directories(path.parent_path());
    orvex::modelgen::writeFile(path.string(), orvex::modelgen::buildDds(image, format));
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::cerr << "usage: generate-sample SAMPLES_DIR\n";
        return 2;
    }
    const std::filesystem::path content = std::filesystem::path(argv[1]) / "content";
    try {
        orvex::modelgen::ModelBuilder model;
        model.beginMeshList();
        const struct {
            Geometry geometry;
            std::string names;
        } meshes[] = {
            {placed(cube(0.5f), {-1.2f, 0.5f, 0.3f}, 0), namesBlob("props\\crate", "crate_large", "lod0")},
            {placed(cube(0.35f), {-0.2f, 0.35f, -1.0f}, 30), namesBlob("props\\crate", "crate_small", "lod0")},
            {placed(cylinder(0.4f, 1.1f, 20), {1.0f, 0.55f, 0.2f}, 0), namesBlob("Props\\Barrel", "barrel", "lod0")},
            {ground(2.5f, 4.0f), namesBlob("ground\\cobbles", "yard_floor", "")},
        };
        for (const auto& mesh : meshes) model.mesh(mesh.names, fileVertices(mesh.geometry), mesh.geometry.indices);
        model.endMeshList();

        std::filesystem::create_directories(content / "meshes");
        orvex::modelgen::writeFile((content / "meshes" / "yard.model").string(), model.bytes());
        writeDds(content / "textures" / "props" / "crate.2048.dds", crateTexture(), DdsFormat::Dxt1);
        writeDds(content / "textures" / "props" / "crate.1024.dds", wrongResolutionTexture(), DdsFormat::Dxt1);
        writeDds(content / "textures" / "props" / "barrel.2048.dds", barrelTexture(), DdsFormat::Dxt5);
        writeDds(content / "textures" / "ground" / "cobbles.1024.dds", cobblesTexture(), DdsFormat::Rgb24);
    } catch (const std::exception& error) {
        std::cerr << "generate-sample: " << error.what() << "\n";
        return 1;
    }
    return 0;
}
