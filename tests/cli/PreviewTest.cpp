// PNG previews: small known scenes rendered through the plug-in, so that a
// wrong normal decode, a flipped v or a swapped axis changes pixels that
// must be lit, shadowed, textured or background.

#include "modelgen/DdsBuilder.h"
#include "modelgen/ModelBuilder.h"

#include "tests/cli/ProgramFixture.h"

#include <gmock/gmock.h>

#include <cstdint>
#include <cstdlib>

namespace {

using namespace orvex::testing;
using orvex::ModelVertex;
using orvex::modelgen::ModelBuilder;

constexpr Rgb kBackground{38, 44, 56};

// Bits 16-23 x, 8-15 y, 0-7 z, each byte 0 for -1 and 255 for +1.
constexpr std::uint32_t kFacingFileX = 0xFF8080;
constexpr std::uint32_t kFacingFileMinusX = 0x008080;

// A quad in the file's plane x = 0, which the importer turns into the
// host's plane z = 0: host x is file z. Corners from the host's top left,
// the file's v running down the image as the game's textures have it.
std::vector<ModelVertex> quad(float left, float right, std::uint32_t normal) {
    std::vector<ModelVertex> corners(4);
    const float xs[4] = {left, right, right, left}, ys[4] = {1, 1, -1, -1};
    const float us[4] = {0, 1, 1, 0}, vs[4] = {0, 0, 1, 1};
    for (int i = 0; i < 4; ++i) {
        corners[i].z = xs[i], corners[i].y = ys[i];
        corners[i].normal = normal;
        corners[i].u = us[i], corners[i].v = vs[i];
    }
    return corners;
}

class PreviewTest : public ProgramTest {
protected:
    // On the left a quad facing the camera of the front view, textured red,
    // green / blue, white from the top left; on the right an untextured
    // one whose normals face away.
    fs::path writeScene() const {
        const fs::path content = scratch_ / "game" / "content";
        fs::create_directories(content / "meshes");
        fs::create_directories(content / "textures");
        const orvex::modelgen::RgbaImage quadrants{
            2, 2, {255, 0, 0, 255, 0, 255, 0, 255, 0, 0, 255, 255, 255, 255, 255, 255}};
        orvex::modelgen::writeFile((content / "textures" / "tile.512.dds").string(),
                                   orvex::modelgen::buildDds(quadrants, orvex::modelgen::DdsFormat::Rgba32));
        ModelBuilder model;
        model.beginMeshList()
            .mesh(std::string("tile\0", 5), quad(-2, -0.2f, kFacingFileX), {0, 3, 2, 0, 2, 1})
            .mesh(std::string("missing\0", 8), quad(0.2f, 2, kFacingFileMinusX), {0, 3, 2, 0, 2, 1})
            .endMeshList();
        const fs::path path = content / "meshes" / "tiles.model";
        orvex::modelgen::writeFile(path.string(), model.bytes());
        return path;
    }
};

struct Box {
    int left = 1 << 30, top = 1 << 30, right = -1, bottom = -1;
};

Box drawnBox(const Picture& picture) {
    Box box;
    for (int y = 0; y < picture.height; ++y) {
        for (int x = 0; x < picture.width; ++x) {
            if (picture.at(x, y) == kBackground) continue;
            box.left = std::min(box.left, x), box.right = std::max(box.right, x);
            box.top = std::min(box.top, y), box.bottom = std::max(box.bottom, y);
        }
    }
    return box;
}

TEST_F(PreviewTest, ShowsNormalsTexturesAndAxesAsImported) {
    const fs::path model = writeScene();
    const Outcome result = run({model.string(), "-o", out("front.png").string(), "--view", "front"});
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_THAT(result.err, ::testing::HasSubstr("missing.512.dds: not found; left untextured"));
    const Picture picture = readPng(out("front.png"));
    ASSERT_EQ(picture.width, 512);
    ASSERT_EQ(picture.height, 512);
    EXPECT_EQ(picture.at(0, 0), kBackground);
    const Box box = drawnBox(picture);
    ASSERT_GT(box.right - box.left, 100);
    // Within the drawn box: the quads span 0 to 0.45 and 0.55 to 1 of its width.
    const auto at = [&](double fx, double fy) {
        return picture.at(box.left + static_cast<int>(fx * (box.right - box.left)),
                          box.top + static_cast<int>(fy * (box.bottom - box.top)));
    };
    const struct {
        double fx, fy;
        const char* what;
        bool (*holds)(Rgb);
    } cases[] = {
        {0.11, 0.25, "red texel, lit", [](Rgb p) { return p[0] > 150 && p[1] < 40 && p[2] < 40; }},
        {0.34, 0.25, "green texel", [](Rgb p) { return p[1] > 150 && p[0] < 40 && p[2] < 40; }},
        {0.11, 0.75, "blue texel", [](Rgb p) { return p[2] > 150 && p[0] < 40 && p[1] < 40; }},
        {0.34, 0.75, "white texel", [](Rgb p) { return p[0] > 150 && p[1] > 150 && p[2] > 150; }},
        {0.5, 0.5, "background between the quads", [](Rgb p) { return p == kBackground; }},
        {0.78, 0.5, "grey facing away, ambient only",
         [](Rgb p) { return p[0] < 60 && std::abs(p[0] - p[1]) < 3 && std::abs(p[1] - p[2]) < 3; }},
    };
    for (const auto& c : cases) {
        const Rgb p = at(c.fx, c.fy);
        EXPECT_TRUE(c.holds(p)) << c.what << ": " << p[0] << "," << p[1] << "," << p[2];
    }
}

TEST_F(PreviewTest, FramesEachViewAtTheSizeAsked) {
    const fs::path model = writeScene();
    // The quads lie in the host's plane z = 0: edge-on from the side and
    // from the top, where nothing may be drawn, and the run says so.
    const struct {
        const char* view;
        const char* size;
        int width, height;
        bool drawn;
    } cases[] = {
        {"front", "96x64", 96, 64, true},
        {"side", "96x64", 96, 64, false},
        {"top", "80", 80, 80, false},
        {"iso", "64x96", 64, 96, true},
    };
    for (const auto& c : cases) {
        const fs::path png = out(std::string(c.view) + ".png");
        const Outcome result = run({model.string(), "-o", png.string(), "--view", c.view, "--size", c.size});
        ASSERT_EQ(result.status, 0) << c.view << ": " << result.err;
        const Picture picture = readPng(png);
        EXPECT_EQ(picture.width, c.width) << c.view;
        EXPECT_EQ(picture.height, c.height) << c.view;
        EXPECT_EQ(drawnBox(picture).right >= 0, c.drawn) << c.view;
        EXPECT_EQ(result.err.find("preview: no triangle covers a pixel") == std::string::npos, c.drawn)
            << c.view << ": " << result.err;
    }
}

TEST_F(PreviewTest, RendersTheSampleTheSameEveryTime) {
    ASSERT_EQ(run({kSample.string(), "-o", out("a.png").string(), "--size", "128x96"}).status, 0);
    ASSERT_EQ(run({kSample.string(), "-o", out("b.png").string(), "--size", "128x96"}).status, 0);
    EXPECT_EQ(readText(out("a.png")), readText(out("b.png")));
    const Picture picture = readPng(out("a.png"));
    ASSERT_EQ(picture.width, 128);
    const Box box = drawnBox(picture);
    EXPECT_GT(box.right - box.left, 64) << "the yard fills most of the frame";
    EXPECT_EQ(filesUnder(scratch_ / "out"), (std::vector<fs::path>{"a.png", "b.png"}));
}

}  // namespace
