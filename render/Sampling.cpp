#include "render/Sampling.h"

#include <cmath>
#include <cstddef>
#include <cstdint>

namespace orvex::render {
namespace {

// `t` brought into [0, size) by whole periods. Far from zero the remainder
// carries no precision left and may round onto a period boundary, which
// repeat addressing makes the same place as 0.
double wrap(double t, int size) {
    if (!std::isfinite(t)) return 0;
    const double r = t - std::floor(t / size) * size;
    return r >= 0 && r < size ? r : 0;
}

Colour texel(const Image& image, int x, int y) {
    const std::size_t offset =
        (static_cast<std::size_t>(y) * static_cast<std::size_t>(image.width) + static_cast<std::size_t>(x)) *
        4;
    return {image.rgba[offset] / 255.0, image.rgba[offset + 1] / 255.0, image.rgba[offset + 2] / 255.0};
}

Colour mix(Colour a, Colour b, double t) {
    return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}

}  // namespace

bool isValid(const Image& image) {
    if (image.width < 1 || image.height < 1) return false;
    const std::uint64_t pixels =
        static_cast<std::uint64_t>(image.width) * static_cast<std::uint64_t>(image.height);
    return image.rgba.size() == pixels * 4;
}

Colour sampleBilinear(const Image& image, double u, double v) {
    // Texel centres sit at half-integers; image row 0 is the top, v = 1.
    const double x = wrap(u * image.width - 0.5, image.width);
    const double y = wrap((1.0 - v) * image.height - 0.5, image.height);
    const int x0 = static_cast<int>(x);
    const int y0 = static_cast<int>(y);
    const int x1 = x0 + 1 < image.width ? x0 + 1 : 0;
    const int y1 = y0 + 1 < image.height ? y0 + 1 : 0;
    const double fx = x - x0;
    const double fy = y - y0;
    const Colour top = mix(texel(image, x0, y0), texel(image, x1, y0), fx);
    const Colour bottom = mix(texel(image, x0, y1), texel(image, x1, y1), fx);
    return mix(top, bottom, fy);
}

}  // namespace orvex::render
