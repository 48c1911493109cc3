#include "render/Render.h"

#include "render/Camera.h"
#include "render/Sampling.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <utility>

namespace orvex::render {
namespace {

// Dark blue-grey: no shade of grey, so that background is told apart from an
// unlit surface, and dark enough that silhouettes stand out.
constexpr std::uint8_t kBackground[3] = {38, 44, 56};
constexpr double kNeutralGrey = 0.7;
constexpr double kAmbient = 0.25;
constexpr double kDiffuse = 1 - kAmbient;

// Screen positions are snapped to 1/256 pixel, so that edge tests are exact
// integer arithmetic: a shared edge gives the two triangles opposite values,
// and the fill rule hands each pixel centre on it to exactly one of them.
constexpr std::int64_t kSubpixels = 256;
// The pixels that triangles' bounding boxes may cover in all: so many times
// the image, and so many more for each triangle, which a scene of many small
// triangles needs.
constexpr std::int64_t kCoversOfTheImage = 256;
constexpr std::int64_t kPixelsPerTriangle = 64;
constexpr std::int64_t kHalfPixel = kSubpixels / 2;

struct ScreenCorner {
    std::int64_t x = 0;  // in subpixels, y downward
    std::int64_t y = 0;
    double inverseDepth = 0;  // linear in screen space, unlike depth itself
    Vec3d normal;
    double u = 0;
    double v = 0;
};

// Twice the signed area of (a, b, p); positive when p lies to the right of
// a → b as seen on the screen, y downward.
std::int64_t edge(const ScreenCorner& a, const ScreenCorner& b, std::int64_t px, std::int64_t py) {
    return (b.x - a.x) * (py - a.y) - (b.y - a.y) * (px - a.x);
}

// For triangles of positive area: a pixel centre exactly on a top or a left
// edge belongs to the triangle, one on any other edge does not.
std::int64_t fillBias(const ScreenCorner& a, const ScreenCorner& b) {
    const bool top = b.y == a.y && b.x > a.x;
    const bool left = b.y < a.y;
    return top || left ? 0 : -1;
}

std::int64_t floorDivide(std::int64_t n, std::int64_t d) {
    return n >= 0 ? n / d : -((-n + d - 1) / d);
}
std::int64_t ceilDivide(std::int64_t n, std::int64_t d) {
    return n >= 0 ? (n + d - 1) / d : -(-n / d);
}

// The pixels whose centres lie in [low, high] (subpixels), within [0, size).
std::pair<int, int> pixelSpan(std::int64_t low, std::int64_t high, int size) {
    const std::int64_t first = std::max<std::int64_t>(0, ceilDivide(low - kHalfPixel, kSubpixels));
    const std::int64_t last = std::min<std::int64_t>(size - 1, floorDivide(high - kHalfPixel, kSubpixels));
    return {static_cast<int>(first), static_cast<int>(last)};
}

std::uint8_t toByte(double channel) {
    return static_cast<std::uint8_t>(std::clamp(channel, 0.0, 1.0) * 255 + 0.5);
}

template <typename T>
bool inRange(int index, const std::vector<T>& values) {
    return index >= 0 && static_cast<std::size_t>(index) < values.size();
}

class Rasteriser {
public:
    Rasteriser(const Camera& camera, Image& image, std::int64_t pixelsToTest)
        : camera_(camera),
          image_(image),
          inverseDepth_(static_cast<std::size_t>(image.width) * static_cast<std::size_t>(image.height), 0.0f),
          pixelsToTest_(pixelsToTest) {}

    std::size_t trianglesLeftOut() const { return trianglesLeftOut_; }
    bool drewAnything() const { return drewAnything_; }

    void drawMesh(const RenderMesh& mesh) {
        const Image* texture = mesh.texture && isValid(*mesh.texture) ? mesh.texture.get() : nullptr;
        for (const Triangle& triangle : mesh.triangles) drawTriangle(mesh, triangle, texture);
    }

private:
    void drawTriangle(const RenderMesh& mesh, const Triangle& triangle, const Image* texture) {
        Vec3d world[3];
        for (int i = 0; i < 3; ++i) {
            const int vertex = triangle[i].vertex;
            if (!inRange(vertex, mesh.positions) || !isFinite(mesh.positions[vertex])) return;
            world[i] = toDouble(mesh.positions[vertex]);
        }
        const bool vertexNormals = mesh.normals.size() == mesh.positions.size();
        const Vec3d faceNormal = normalised(cross(world[1] - world[0], world[2] - world[0]));
        if (texture != nullptr) {
            for (const Corner& corner : triangle) {
                if (!inRange(corner.uv, mesh.uvs)) texture = nullptr;
            }
        }

        ScreenCorner corners[3];
        for (int i = 0; i < 3; ++i) {
            const Vec3d offset = world[i] - camera_.eye;
            const double depth = -dot(offset, camera_.back);
            // The camera is framed so that no finite position comes this
            // close; the check keeps the division and the conversion to
            // integers defined whatever rounding did.
            if (!(depth >= camera_.nearDepth)) return;
            const double screenX = camera_.centreX + camera_.focalLength * dot(offset, camera_.right) / depth;
            const double screenY = camera_.centreY - camera_.focalLength * dot(offset, camera_.up) / depth;
            ScreenCorner& corner = corners[i];
            corner.x = std::llround(screenX * kSubpixels);
            corner.y = std::llround(screenY * kSubpixels);
            corner.inverseDepth = 1 / depth;
            corner.normal = vertexNormals ? toDouble(mesh.normals[triangle[i].vertex]) : faceNormal;
            if (texture != nullptr) {
                corner.u = mesh.uvs[triangle[i].uv].u;
                corner.v = mesh.uvs[triangle[i].uv].v;
            }
        }

        std::int64_t area = edge(corners[0], corners[1], corners[2].x, corners[2].y);
        if (area == 0) return;
        // Both sides are drawn: a mirrored triangle is turned round so that
        // the edge tests have one sign.
        if (area < 0) {
            std::swap(corners[1], corners[2]);
            area = -area;
        }

        const auto [firstX, lastX] =
            pixelSpan(std::min({corners[0].x, corners[1].x, corners[2].x}),
                      std::max({corners[0].x, corners[1].x, corners[2].x}), image_.width);
        const auto [firstY, lastY] =
            pixelSpan(std::min({corners[0].y, corners[1].y, corners[2].y}),
                      std::max({corners[0].y, corners[1].y, corners[2].y}), image_.height);
        const std::int64_t tests =
            std::int64_t{std::max(0, lastX - firstX + 1)} * std::max(0, lastY - firstY + 1);
        if (tests > pixelsToTest_) {
            ++trianglesLeftOut_;
            return;
        }
        pixelsToTest_ -= tests;
        const std::int64_t bias0 = fillBias(corners[1], corners[2]);
        const std::int64_t bias1 = fillBias(corners[2], corners[0]);
        const std::int64_t bias2 = fillBias(corners[0], corners[1]);
        const double scale = 1 / static_cast<double>(area);
        for (int y = firstY; y <= lastY; ++y) {
            const std::int64_t py = y * kSubpixels + kHalfPixel;
            for (int x = firstX; x <= lastX; ++x) {
                const std::int64_t px = x * kSubpixels + kHalfPixel;
                const std::int64_t e0 = edge(corners[1], corners[2], px, py);
                const std::int64_t e1 = edge(corners[2], corners[0], px, py);
                const std::int64_t e2 = edge(corners[0], corners[1], px, py);
                if (e0 + bias0 < 0 || e1 + bias1 < 0 || e2 + bias2 < 0) continue;
                shadePixel(x, y, corners,
                           {static_cast<double>(e0) * scale, static_cast<double>(e1) * scale,
                            static_cast<double>(e2) * scale},
                           texture);
            }
        }
    }

    void shadePixel(int x, int y, const ScreenCorner (&corners)[3], const std::array<double, 3>& barycentric,
                    const Image* texture) {
        const double inverseDepth = barycentric[0] * corners[0].inverseDepth +
                                    barycentric[1] * corners[1].inverseDepth +
                                    barycentric[2] * corners[2].inverseDepth;
        const std::size_t pixel = static_cast<std::size_t>(y) * static_cast<std::size_t>(image_.width) +
                                  static_cast<std::size_t>(x);
        // Nearer is larger; the first triangle drawn keeps a tie.
        const auto depthValue = static_cast<float>(inverseDepth);
        if (!(depthValue > inverseDepth_[pixel])) return;
        inverseDepth_[pixel] = depthValue;

        // Perspective-correct weights: attributes vary linearly across the
        // triangle in space, not on the screen, as do they divided by depth.
        const double w0 = barycentric[0] * corners[0].inverseDepth / inverseDepth;
        const double w1 = barycentric[1] * corners[1].inverseDepth / inverseDepth;
        const double w2 = barycentric[2] * corners[2].inverseDepth / inverseDepth;

        // A normal without direction (zero, or not finite) gets ambient only.
        const Vec3d normal =
            normalised(w0 * corners[0].normal + w1 * corners[1].normal + w2 * corners[2].normal);
        const double intensity = kAmbient + kDiffuse * std::max(0.0, dot(normal, camera_.towardsLight));

        Colour base{kNeutralGrey, kNeutralGrey, kNeutralGrey};
        if (texture != nullptr) {
            base = sampleBilinear(*texture, w0 * corners[0].u + w1 * corners[1].u + w2 * corners[2].u,
                                  w0 * corners[0].v + w1 * corners[1].v + w2 * corners[2].v);
        }
        std::uint8_t* out = &image_.rgba[pixel * 4];
        out[0] = toByte(base.r * intensity);
        out[1] = toByte(base.g * intensity);
        out[2] = toByte(base.b * intensity);
        out[3] = 255;
        drewAnything_ = true;
    }

    const Camera& camera_;
    Image& image_;
    std::vector<float> inverseDepth_;  // per pixel; 0 where nothing is drawn
    std::int64_t pixelsToTest_;
    std::size_t trianglesLeftOut_ = 0;
    bool drewAnything_ = false;
};

}  // namespace

Image render(const RenderScene& scene, const RenderOptions& options, RenderReport& report) {
    report = {};
    const auto validSize = [](int size) { return size >= kMinImageSize && size <= kMaxImageSize; };
    if (!validSize(options.width) || !validSize(options.height)) {
        throw std::invalid_argument("render: image size out of range");
    }
    Image image;
    image.width = options.width;
    image.height = options.height;
    const std::size_t pixels = static_cast<std::size_t>(image.width) * static_cast<std::size_t>(image.height);
    image.rgba.resize(pixels * 4);
    for (std::size_t pixel = 0; pixel < pixels; ++pixel) {
        std::uint8_t* out = &image.rgba[pixel * 4];
        out[0] = kBackground[0];
        out[1] = kBackground[1];
        out[2] = kBackground[2];
        out[3] = 255;
    }

    for (const RenderMesh& mesh : scene.meshes) report.triangles += mesh.triangles.size();
    const std::optional<Camera> camera = frameScene(scene, options.view, image.width, image.height);
    if (!camera) return image;
    Rasteriser rasteriser(*camera, image,
                          kCoversOfTheImage * static_cast<std::int64_t>(pixels) +
                              kPixelsPerTriangle * static_cast<std::int64_t>(report.triangles));
    for (const RenderMesh& mesh : scene.meshes) rasteriser.drawMesh(mesh);
    report.trianglesLeftOut = rasteriser.trianglesLeftOut();
    report.drewAnything = rasteriser.drewAnything();
    return image;
}

}  // namespace orvex::render
