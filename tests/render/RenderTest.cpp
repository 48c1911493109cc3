#include "render/Render.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <functional>
#include <limits>
#include <memory>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace orvex::render {
namespace {

using Rgb = std::array<int, 3>;
constexpr Rgb kBackground{38, 44, 56};
constexpr Rgb kAmbientGrey{45, 45, 45};  // the neutral grey under ambient light alone
constexpr double kPi = 3.14159265358979323846;

Rgb pixel(const Image& image, int x, int y) {
    const std::uint8_t* p = &image.rgba[static_cast<std::size_t>(y * image.width + x) * 4];
    return {p[0], p[1], p[2]};
}

struct Coverage {
    int count = 0;
    int minX = 1 << 30, minY = 1 << 30, maxX = -1, maxY = -1;
    double centreX = 0, centreY = 0;
};

Coverage coverage(const Image& image, const std::function<bool(Rgb)>& covered) {
    Coverage c;
    for (int y = 0; y < image.height; ++y) {
        for (int x = 0; x < image.width; ++x) {
            if (!covered(pixel(image, x, y))) continue;
            c.minX = std::min(c.minX, x), c.maxX = std::max(c.maxX, x), c.centreX += x;
            c.minY = std::min(c.minY, y), c.maxY = std::max(c.maxY, y), c.centreY += y;
            ++c.count;
        }
    }
    if (c.count > 0) c.centreX /= c.count, c.centreY /= c.count;
    return c;
}

Coverage drawn(const Image& image) {
    return coverage(image, [](Rgb p) { return p != kBackground; });
}

std::shared_ptr<const Image> solid(std::uint8_t r, std::uint8_t g, std::uint8_t b) {
    return std::make_shared<const Image>(Image{1, 1, {r, g, b, 255}});
}

// Counter-clockwise seen from where `normal` points; UV (0, 0) at `a` to
// (scale, scale) at `c`.
void addQuad(RenderMesh& mesh, Vec3 a, Vec3 b, Vec3 c, Vec3 d, Vec3 normal, float scale = 1) {
    const int n = static_cast<int>(mesh.positions.size());
    mesh.positions.insert(mesh.positions.end(), {a, b, c, d});
    mesh.normals.insert(mesh.normals.end(), {normal, normal, normal, normal});
    mesh.uvs.insert(mesh.uvs.end(), {{0, 0}, {scale, 0}, {scale, scale}, {0, scale}});
    mesh.triangles.push_back({Corner{n, n}, Corner{n + 1, n + 1}, Corner{n + 2, n + 2}});
    mesh.triangles.push_back({Corner{n, n}, Corner{n + 2, n + 2}, Corner{n + 3, n + 3}});
}

// In the plane z, facing +Z.
RenderMesh square(float half, float z = 0, float uvScale = 1) {
    RenderMesh mesh;
    addQuad(mesh, {-half, -half, z}, {half, -half, z}, {half, half, z}, {-half, half, z}, {0, 0, 1}, uvScale);
    return mesh;
}

RenderMesh cube(Vec3 c, float h, std::shared_ptr<const Image> texture = nullptr) {
    RenderMesh m;
    const float x0 = c.x - h, x1 = c.x + h, y0 = c.y - h, y1 = c.y + h, z0 = c.z - h, z1 = c.z + h;
    addQuad(m, {x1, y0, z1}, {x1, y0, z0}, {x1, y1, z0}, {x1, y1, z1}, {1, 0, 0});
    addQuad(m, {x0, y0, z0}, {x0, y0, z1}, {x0, y1, z1}, {x0, y1, z0}, {-1, 0, 0});
    addQuad(m, {x0, y1, z1}, {x1, y1, z1}, {x1, y1, z0}, {x0, y1, z0}, {0, 1, 0});
    addQuad(m, {x0, y0, z0}, {x1, y0, z0}, {x1, y0, z1}, {x0, y0, z1}, {0, -1, 0});
    addQuad(m, {x0, y0, z1}, {x1, y0, z1}, {x1, y1, z1}, {x0, y1, z1}, {0, 0, 1});
    addQuad(m, {x1, y0, z0}, {x0, y0, z0}, {x0, y1, z0}, {x1, y1, z0}, {0, 0, -1});
    m.texture = std::move(texture);
    return m;
}

Image renderMeshes(std::vector<RenderMesh> meshes, RenderOptions options = {64, 64, View::Front}) {
    RenderReport report;
    Image image = render(RenderScene{std::move(meshes)}, options, report);
    EXPECT_EQ(report.trianglesLeftOut, 0u);
    return image;
}

TEST(Render, ShadesByTheNormalWithAmbientOnlyForFacesAwayFromTheLight) {
    struct Case {
        std::string name;
        std::vector<Vec3> normals;
        bool reverseWinding;
        bool lit;
    };
    const Case cases[] = {{"normals towards the camera", std::vector<Vec3>(4, {0, 0, 1}), false, true},
                          {"normals away from the camera", std::vector<Vec3>(4, {0, 0, -1}), false, false},
                          {"normals outweigh the winding", std::vector<Vec3>(4, {0, 0, 1}), true, true},
                          {"normals of no length", std::vector<Vec3>(4, {0, 0, 0}), false, false},
                          {"face normal, counter-clockwise", {}, false, true},
                          {"face normal, clockwise", {}, true, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RenderMesh mesh = square(1);
        mesh.normals = c.normals;
        for (Triangle& t : mesh.triangles) {
            if (c.reverseWinding) std::swap(t[1], t[2]);
        }
        const Rgb centre = pixel(renderMeshes({mesh}), 32, 32);
        EXPECT_TRUE(centre[0] == centre[1] && centre[1] == centre[2]);
        if (c.lit) {
            EXPECT_GT(centre[0], 120);
        } else {
            EXPECT_EQ(centre, kAmbientGrey);
        }
    }
}

// A 4×4 texture in quadrants of 2×2 texels, red and green in rows 0 and 1
// (the top), blue and white below: a quadrant's centre reads pure under
// bilinear filtering, its edges blend.
TEST(Render, SamplesTexturesBilinearlyWithVUpwardAndRepeat) {
    struct Case {
        float uvScale;
        double across, down;  // share of the square from its top left corner
        Rgb texel;            // {-1, -1, -1}: a blend of all four
    };
    const Case cases[] = {
        {1, 0.25, 0.25, {255, 0, 0}},     {1, 0.75, 0.25, {0, 255, 0}},   {1, 0.25, 0.75, {0, 0, 255}},
        {1, 0.75, 0.75, {255, 255, 255}}, {1, 0.5, 0.5, {-1, -1, -1}},    {2, 0.125, 0.125, {255, 0, 0}},
        {2, 0.625, 0.125, {255, 0, 0}},   {2, 0.375, 0.625, {0, 255, 0}}, {2, 0.875, 0.875, {255, 255, 255}}};
    const std::uint8_t quadrant[2][2][3] = {{{255, 0, 0}, {0, 255, 0}}, {{0, 0, 255}, {255, 255, 255}}};
    auto image = std::make_shared<Image>(Image{4, 4, {}});
    for (int texel = 0; texel < 16; ++texel) {
        const std::uint8_t* c = quadrant[texel / 8][texel % 4 / 2];
        image->rgba.insert(image->rgba.end(), {c[0], c[1], c[2], 255});
    }
    const double light = pixel(renderMeshes({square(1)}, {128, 128, View::Front}), 64, 64)[0] / (0.7 * 255);
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "uv scale " << c.uvScale << " at " << c.across << ", " << c.down);
        RenderMesh mesh = square(1, 0, c.uvScale);
        mesh.texture = image;
        const Image frame = renderMeshes({mesh}, {128, 128, View::Front});
        const Coverage area = drawn(frame);
        const auto at = [](int low, int high, double share) {
            return low + static_cast<int>(std::lround((high + 1 - low) * share - 0.5));
        };
        const Rgb p = pixel(frame, at(area.minX, area.maxX, c.across), at(area.minY, area.maxY, c.down));
        for (int i = 0; i < 3; ++i) {
            if (c.texel[i] < 0) {
                EXPECT_GT(p[i], 0.3 * light * 255);
                EXPECT_LT(p[i], 0.7 * light * 255);
            } else {
                EXPECT_NEAR(p[i], c.texel[i] * light, 3);
            }
        }
    }
}

// A square leaning back, textured red over green with the change at v = 0.5,
// against the same square cut at its middle into a red and a green half: the
// colour must change on the same row. Linear UVs on the screen would put it
// lower, towards the near edge.
TEST(Render, InterpolatesTexturesInPerspective) {
    const Vec3 lean{0, 1, 1};
    RenderMesh textured, lower, upper;
    addQuad(textured, {-1, -1, 1}, {1, -1, 1}, {1, 1, -1}, {-1, 1, -1}, lean);
    auto redOverGreen = std::make_shared<Image>(Image{1, 64, {}});
    for (int row = 0; row < 64; ++row) {
        redOverGreen->rgba.insert(redOverGreen->rgba.end(), {std::uint8_t(row < 32 ? 255 : 0),
                                                             std::uint8_t(row < 32 ? 0 : 255), 0, 255});
    }
    textured.texture = redOverGreen;
    addQuad(lower, {-1, -1, 1}, {1, -1, 1}, {1, 0, 0}, {-1, 0, 0}, lean);
    lower.texture = solid(0, 255, 0);
    addQuad(upper, {-1, 0, 0}, {1, 0, 0}, {1, 1, -1}, {-1, 1, -1}, lean);
    upper.texture = solid(255, 0, 0);
    const auto firstGreenRow = [](const Image& frame) {
        const Coverage green = coverage(frame, [](Rgb p) { return p[1] > p[0] + 40; });
        return green.minY;
    };
    const int expected = firstGreenRow(renderMeshes({lower, upper}, {128, 128, View::Front}));
    EXPECT_NEAR(firstGreenRow(renderMeshes({textured}, {128, 128, View::Front})), expected, 1);
}

// Framed in a wide image so that the shorter side must set the scale.
TEST(Render, IsoViewOfACubeShowsABrightTopADimmerLeftADarkRightAndAMargin) {
    const Image frame = renderMeshes({cube({10, 20, 30}, 5)}, {80, 48, View::Iso});
    const Coverage c = drawn(frame);
    EXPECT_GT(c.minX, 0);
    EXPECT_GT(c.minY, 0);
    EXPECT_LT(c.maxX, 79);
    EXPECT_LT(c.maxY, 47);
    EXPECT_GT(c.maxY - c.minY, 48 * 6 / 10);
    const int width = c.maxX - c.minX, height = c.maxY - c.minY;
    const int top = pixel(frame, c.minX + width / 2, c.minY + height / 5)[0];
    const int left = pixel(frame, c.minX + width / 4, c.minY + height * 3 / 5)[0];       // the +Z face
    const int right = pixel(frame, c.minX + width * 3 / 4, c.minY + height * 3 / 5)[0];  // the +X face
    EXPECT_GT(top, left + 20);
    EXPECT_GT(left, right + 20);
    EXPECT_GT(right, kAmbientGrey[0]);
}

TEST(Render, NearerSurfacesHideFartherOnesInEitherDrawOrder) {
    RenderMesh nearSquare = square(1, 1), farSquare = square(2, -1);
    nearSquare.texture = solid(255, 0, 0);
    farSquare.texture = solid(0, 255, 0);
    for (const bool nearFirst : {true, false}) {
        SCOPED_TRACE(nearFirst ? "near drawn first" : "far drawn first");
        const Image frame =
            renderMeshes(nearFirst ? std::vector{nearSquare, farSquare} : std::vector{farSquare, nearSquare});
        EXPECT_GT(pixel(frame, 32, 32)[0], 100);
        EXPECT_EQ(pixel(frame, 32, 32)[1], 0);
        const Coverage all = drawn(frame);
        EXPECT_GT(pixel(frame, all.minX + 1, all.minY + 1)[1], 100);
    }
}

// Cubes on the positive axes (+X red, +Y green, +Z blue) and grey ones on
// the negative axes, so that the scene is centred on the origin.
TEST(Render, EachViewShowsTheAxesAsTheHostDoes) {
    struct Case {
        View view;
        int channel;      // 0 red, 1 green, 2 blue
        int right, down;  // sign of the offset from the image centre
    };
    const Case cases[] = {{View::Front, 0, 1, 0}, {View::Front, 1, 0, -1}, {View::Front, 2, 0, 0},
                          {View::Side, 0, 0, 0},  {View::Side, 1, 0, -1},  {View::Side, 2, -1, 0},
                          {View::Top, 0, 1, 0},   {View::Top, 1, 0, 0},    {View::Top, 2, 0, 1},
                          {View::Iso, 0, 1, 1},   {View::Iso, 1, 0, -1},   {View::Iso, 2, -1, 1}};
    const std::vector<RenderMesh> scene = {cube({2, 0, 0}, 0.3f, solid(255, 0, 0)),
                                           cube({0, 2, 0}, 0.3f, solid(0, 255, 0)),
                                           cube({0, 0, 2}, 0.3f, solid(0, 0, 255)),
                                           cube({-2, 0, 0}, 0.3f),
                                           cube({0, -2, 0}, 0.3f),
                                           cube({0, 0, -2}, 0.3f)};
    const auto sign = [](double offset) { return std::abs(offset) < 4 ? 0 : offset > 0 ? 1 : -1; };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "view " << static_cast<int>(c.view) << ", channel " << c.channel);
        const Coverage marker = coverage(renderMeshes(scene, {96, 96, c.view}), [&](Rgb p) {
            return p[c.channel] > 10 && p[c.channel] > 2 * (p[0] + p[1] + p[2] - p[c.channel]);
        });
        ASSERT_GT(marker.count, 0);
        EXPECT_EQ(sign(marker.centreX - 47.5), c.right);
        EXPECT_EQ(sign(marker.centreY - 47.5), c.down);
    }
}

// Fans in the plane z = 0, their triangles alternately red and green: every
// pixel inside is covered, and by the same triangle whichever is drawn first.
TEST(Render, GivesEachPixelOnASharedEdgeToExactlyOneTriangle) {
    struct Case {
        std::string name;
        int spokes;
        double firstAngle;
        Vec3 hub;
    };
    const Case cases[] = {{"a square cut on its diagonals, through pixel centres", 4, kPi / 4, {0, 0, 0}},
                          {"13 spokes about an off-centre hub, at many slopes", 13, 0, {0.13f, -0.07f, 0}}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RenderMesh halves[2];
        for (int i = 0; i < c.spokes; ++i) {
            RenderMesh& mesh = halves[i % 2];
            for (const int spoke : {i, i + 1}) {
                const double angle = c.firstAngle + 2 * kPi * spoke / c.spokes;
                mesh.positions.push_back({float(std::cos(angle)), float(std::sin(angle)), 0});
            }
            mesh.positions.push_back(c.hub);
            const int hub = static_cast<int>(mesh.positions.size()) - 1;
            mesh.triangles.push_back({Corner{hub, 0}, Corner{hub - 2, 0}, Corner{hub - 1, 0}});
            mesh.uvs = {{0, 0}};
        }
        halves[0].texture = solid(255, 0, 0);
        halves[1].texture = solid(0, 255, 0);
        const Image frame = renderMeshes({halves[0], halves[1]}, {200, 200, View::Front});
        EXPECT_EQ(frame.rgba, renderMeshes({halves[1], halves[0]}, {200, 200, View::Front}).rgba);
        const Coverage all = drawn(frame);
        const double inscribed = 0.5 * (all.maxX - all.minX) * std::cos(kPi / c.spokes) - 2;
        for (int y = 0; y < frame.height; ++y) {
            for (int x = 0; x < frame.width; ++x) {
                if (std::hypot(x - 0.5 * (all.minX + all.maxX), y - 0.5 * (all.minY + all.maxY)) <
                    inscribed) {
                    ASSERT_NE(pixel(frame, x, y), kBackground) << x << "," << y;
                }
            }
        }
    }
}

// Triangles drawn one over another many times would take hours; past a
// bound of so many covers of the image, and so many pixels a triangle, the
// rest are left out and counted. Copies of the square change no pixel.
TEST(Render, LeavesOutWhatWouldCoverTheImageTooManyTimesAndSaysHowMany) {
    const RenderMesh once = square(1);
    RenderMesh stacked = once;
    for (int copy = 1; copy < 2000; ++copy)
        stacked.triangles.insert(stacked.triangles.end(), once.triangles.begin(), once.triangles.end());
    RenderReport report;
    const Image image = render(RenderScene{{stacked}}, {16, 16, View::Front}, report);
    EXPECT_GT(report.trianglesLeftOut, 0u);
    EXPECT_LT(report.trianglesLeftOut, stacked.triangles.size());
    EXPECT_EQ(image.rgba, renderMeshes({once}, {16, 16, View::Front}).rgba);
}

TEST(Render, SurvivesHostileScenes) {
    constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
    constexpr float kInf = std::numeric_limits<float>::infinity();
    RenderMesh red = square(1);
    red.texture = solid(255, 0, 0);
    const Rgb grey = pixel(renderMeshes({square(1)}), 32, 32), lit = pixel(renderMeshes({red}), 32, 32);
    struct Case {
        std::string name;
        std::function<void(RenderMesh&)> change;  // of a red square
        Rgb centre;
    };
    const Case cases[] = {
        {"no triangles", [](RenderMesh& m) { m.triangles.clear(); }, kBackground},
        {"a corner not a number", [&](RenderMesh& m) { m.positions[3].x = kNaN; }, lit},
        {"an infinite corner", [&](RenderMesh& m) { m.positions[3].y = kInf; }, lit},
        {"vertex numbers out of range", [](RenderMesh& m) { m.triangles[1][2].vertex = 99; }, lit},
        {"negative vertex numbers", [](RenderMesh& m) { m.triangles[1][0].vertex = -1; }, lit},
        {"degenerate triangles",
         [](RenderMesh& m) {
             m.triangles = {{}, {}};
         },
         kBackground},
        {"coordinates near the float limit", [](RenderMesh& m) { m.positions = square(3e38f).positions; },
         lit},
        {"coordinates near the smallest normal float",
         [](RenderMesh& m) { m.positions = square(1e-37f).positions; }, lit},
        {"UV numbers out of range", [](RenderMesh& m) { m.uvs.clear(); }, grey},
        {"a texture short of bytes",
         [](RenderMesh& m) {
             m.texture = std::make_shared<Image>(Image{2, 2, {1, 2, 3, 4}});
         },
         grey},
        {"a texture of no size", [](RenderMesh& m) { m.texture = std::make_shared<Image>(); }, grey},
        {"UVs far out or not numbers",
         [&](RenderMesh& m) {
             m.uvs = {{1e30f, -1e30f}, {kNaN, kInf}, {-kInf, 0}, {3.5f, -7.25f}};
         },
         lit}};
    for (const Case& c : cases) {
        RenderMesh mesh = red;
        c.change(mesh);
        EXPECT_EQ(pixel(renderMeshes({mesh}), 32, 32), c.centre) << c.name;
    }
    RenderReport report;
    EXPECT_EQ(drawn(render(RenderScene{}, {16, 16, View::Iso}, report)).count, 0);
    for (const auto& [width, height] : {std::pair{0, 16}, {16, 0}, {-1, 16}, {kMaxImageSize + 1, 16}}) {
        EXPECT_THROW(render(RenderScene{}, {width, height, View::Iso}, report), std::invalid_argument);
    }
}

// A flat square seen edge-on covers no pixel, and the report says nothing
// was drawn, so that an image of the background alone is not taken for the
// scene's; seen face-on, it is drawn.
TEST(Render, ReportsWhetherTheSceneCoversAnyPixel) {
    struct Case {
        View view;
        bool drawn;
    };
    for (const Case c : {Case{View::Front, true}, Case{View::Side, false}, Case{View::Top, false}}) {
        RenderReport report;
        const Image image = render(RenderScene{{square(1)}}, {32, 32, c.view}, report);
        EXPECT_EQ(report.drewAnything, c.drawn) << int(c.view);
        EXPECT_EQ(drawn(image).count > 0, c.drawn) << int(c.view);
    }
}

}  // namespace
}  // namespace orvex::render
