#ifndef ORVEX_RENDER_RENDER_H
#define ORVEX_RENDER_RENDER_H

// A software rasteriser for previews of an imported scene: one perspective
// camera framed on the scene, a depth buffer, Lambert shading under one
// directional light plus ambient, bilinear base-colour textures. No GPU, no
// window, no threads; the same scene and options always give the same pixels.
//
// Conventions are the host's: Y up, right-handed; texture v runs upward, so
// v = 0 is the bottom row of an image.

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

namespace orvex::render {

constexpr int kMinImageSize = 1;
constexpr int kMaxImageSize = 8192;

// RGBA, 8 bits a channel, rows from the top down, no padding. Valid when
// width and height are at least 1 and rgba holds width × height × 4 bytes.
struct Image {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> rgba;
};

// Where the camera looks from, towards the centre of the scene:
// Front from +Z (image right +X, up +Y); Side from +X (right −Z, up +Y);
// Top from +Y (right +X, up −Z, as the host's top view); Iso from above, in
// the direction (+1, +0.8, +1) (right (+1, 0, −1), up mostly +Y).
enum class View { Front, Side, Top, Iso };

struct RenderOptions {
    int width = 512;
    int height = 512;
    View view = View::Iso;
};

struct Vec2 {
    float u = 0;
    float v = 0;
};

struct Vec3 {
    float x = 0;
    float y = 0;
    float z = 0;
};

struct Corner {
    int vertex = 0;  // into RenderMesh::positions and RenderMesh::normals
    int uv = 0;      // into RenderMesh::uvs
};

using Triangle = std::array<Corner, 3>;

struct RenderMesh {
    std::vector<Vec3> positions;
    // One per position; any other count shades each triangle with its face
    // normal, by the right-hand rule over its corner order.
    std::vector<Vec3> normals;
    std::vector<Vec2> uvs;
    std::vector<Triangle> triangles;
    // Null, or invalid, for the neutral grey. Shared by meshes that use the
    // same texture node.
    std::shared_ptr<const Image> texture;
};

struct RenderScene {
    std::vector<RenderMesh> meshes;
};

// Renders every triangle of the scene, both sides, with a camera framed so
// that the bounding sphere of all finite positions fills most of the frame.
// The scene may hold anything: triangles with indices out of range or with a
// non-finite corner are skipped, degenerate ones cover nothing, a UV index
// out of range leaves its triangle untextured. A scene with no finite
// position gives the background alone. Pixels are opaque.
// The work is bounded by the image's size and the number of triangles, as
// a scene of many large triangles one over another would otherwise take
// hours: past the bound, triangles are left out, and the report says how
// many.
// Throws std::invalid_argument when the width or height lies outside
// [kMinImageSize, kMaxImageSize].
struct RenderReport {
    std::size_t triangles = 0;  // in the scene
    std::size_t trianglesLeftOut = 0;
    // False when no triangle covers a pixel: the scene is seen edge-on, or is
    // too small for the image, and the image shows the background alone.
    bool drewAnything = false;
};
Image render(const RenderScene& scene, const RenderOptions& options, RenderReport& report);

struct FrameSize {
    int width = 0;
    int height = 0;
};

// "W" (a square) or "WxH", decimal digits only, each in
// [kMinImageSize, kMaxImageSize]; nothing for any other text.
std::optional<FrameSize> parseSize(std::string_view text);

// "front", "side", "top" or "iso"; nothing for any other text.
std::optional<View> parseView(std::string_view name);

}  // namespace orvex::render

#endif
