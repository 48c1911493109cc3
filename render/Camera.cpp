#include "render/Camera.h"

#include <algorithm>

namespace orvex::render {
namespace {

// Tangent of half the field of view across the shorter side of the image,
// about 20 degrees: little enough perspective that faces keep their shape,
// enough that near and far are told apart.
constexpr double kHalfFieldTangent = 0.36;
// Share of the shorter half-side that the bounding sphere's outline takes;
// the rest is margin.
constexpr double kFill = 0.9;
// Upper left and in front, in camera axes (right, up, back): in the iso view
// tops are brightest, the left side next, and the right side darker but
// still above ambient, so that every face's normal shows.
constexpr Vec3d kLightInCamera = {-0.25, 0.6, 0.76};

struct Sphere {
    Vec3d centre;
    double radius = 0;
};

// The sphere about the centre of the bounding box, which is tight enough
// for framing and independent of the order of the positions.
std::optional<Sphere> boundingSphere(const RenderScene& scene) {
    bool found = false;
    Vec3d low;
    Vec3d high;
    for (const RenderMesh& mesh : scene.meshes) {
        for (const Vec3 position : mesh.positions) {
            if (!isFinite(position)) continue;
            const Vec3d p = toDouble(position);
            if (!found) {
                low = high = p;
                found = true;
                continue;
            }
            low = {std::min(low.x, p.x), std::min(low.y, p.y), std::min(low.z, p.z)};
            high = {std::max(high.x, p.x), std::max(high.y, p.y), std::max(high.z, p.z)};
        }
    }
    if (!found) return std::nullopt;

    Sphere sphere;
    sphere.centre = 0.5 * (low + high);
    double radiusSquared = 0;
    for (const RenderMesh& mesh : scene.meshes) {
        for (const Vec3 position : mesh.positions) {
            if (!isFinite(position)) continue;
            const Vec3d offset = toDouble(position) - sphere.centre;
            radiusSquared = std::max(radiusSquared, dot(offset, offset));
        }
    }
    sphere.radius = std::sqrt(radiusSquared);
    // All positions in one point: nothing has an extent, any scale frames it.
    if (!(sphere.radius > 0)) sphere.radius = 1;
    return sphere;
}

struct ViewAxes {
    Vec3d back;
    Vec3d up;
};

ViewAxes viewAxes(View view) {
    switch (view) {
        case View::Front:
            return {{0, 0, 1}, {0, 1, 0}};
        case View::Side:
            return {{1, 0, 0}, {0, 1, 0}};
        case View::Top:
            return {{0, 1, 0}, {0, 0, -1}};
        case View::Iso:
            break;
    }
    return {{1, 0.8, 1}, {0, 1, 0}};
}

}  // namespace

std::optional<Camera> frameScene(const RenderScene& scene, View view, int width, int height) {
    const std::optional<Sphere> sphere = boundingSphere(scene);
    if (!sphere) return std::nullopt;

    const ViewAxes axes = viewAxes(view);
    Camera camera;
    camera.back = normalised(axes.back);
    camera.right = normalised(cross(axes.up, camera.back));
    camera.up = cross(camera.back, camera.right);

    // At this distance the sphere's outline is a circle whose radius is kFill
    // of the half-side, as the tangent of its angular radius is
    // kFill × kHalfFieldTangent.
    const double tangent = kFill * kHalfFieldTangent;
    const double distance = sphere->radius * std::sqrt(1 + tangent * tangent) / tangent;
    camera.eye = sphere->centre + distance * camera.back;
    camera.nearDepth = 0.5 * (distance - sphere->radius);
    camera.focalLength = 0.5 * std::min(width, height) / kHalfFieldTangent;
    camera.centreX = 0.5 * width;
    camera.centreY = 0.5 * height;
    camera.towardsLight = normalised(kLightInCamera.x * camera.right + kLightInCamera.y * camera.up +
                                     kLightInCamera.z * camera.back);
    return camera;
}

}  // namespace orvex::render
