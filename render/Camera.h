#ifndef ORVEX_RENDER_CAMERA_H
#define ORVEX_RENDER_CAMERA_H

// Internal to the renderer: the camera that frames a scene for one view.

#include "render/Render.h"

#include <cmath>
#include <optional>

namespace orvex::render {

// Double precision, so that positions near the float limit can be framed
// and projected without overflow.
struct Vec3d {
    double x = 0;
    double y = 0;
    double z = 0;
};

inline Vec3d operator+(Vec3d a, Vec3d b) {
    return {a.x + b.x, a.y + b.y, a.z + b.z};
}
inline Vec3d operator-(Vec3d a, Vec3d b) {
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}
inline Vec3d operator*(double s, Vec3d a) {
    return {s * a.x, s * a.y, s * a.z};
}
inline double dot(Vec3d a, Vec3d b) {
    return a.x * b.x + a.y * b.y + a.z * b.z;
}
inline Vec3d cross(Vec3d a, Vec3d b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
// The zero vector for one with no usable direction (zero, or not finite).
inline Vec3d normalised(Vec3d a) {
    const double length = std::sqrt(dot(a, a));
    if (!(length > 0) || !std::isfinite(length)) return {};
    return (1.0 / length) * a;
}
inline Vec3d toDouble(Vec3 a) {
    return {a.x, a.y, a.z};
}
inline bool isFinite(Vec3 a) {
    return std::isfinite(a.x) && std::isfinite(a.y) && std::isfinite(a.z);
}

struct Camera {
    Vec3d eye;
    // Orthonormal; `back` points from the scene towards the eye.
    Vec3d right;
    Vec3d up;
    Vec3d back;
    double focalLength = 0;  // in pixels
    double centreX = 0;      // image position of the view axis, in pixels
    double centreY = 0;
    // Every finite position of the framed scene lies farther from the eye
    // than this, along -back.
    double nearDepth = 0;
    Vec3d towardsLight;  // unit, world space
};

// Nothing when the scene holds no finite position.
std::optional<Camera> frameScene(const RenderScene& scene, View view, int width, int height);

}  // namespace orvex::render

#endif
