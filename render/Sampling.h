#ifndef ORVEX_RENDER_SAMPLING_H
#define ORVEX_RENDER_SAMPLING_H

// Internal to the renderer: texture look-up.

#include "render/Render.h"

namespace orvex::render {

struct Colour {
    double r = 0;
    double g = 0;
    double b = 0;
};

// Width and height at least 1, and exactly the bytes they need.
bool isValid(const Image& image);

// The colour at (u, v) of a valid image, each channel in [0, 1], filtered
// bilinearly between texel centres with repeat addressing, v upward.
// Alpha is not read: previews are opaque. A non-finite coordinate reads as 0.
Colour sampleBilinear(const Image& image, double u, double v);

}  // namespace orvex::render

#endif
