#ifndef ORVEX_MODELGEN_GAMETEXTURE_H
#define ORVEX_MODELGEN_GAMETEXTURE_H

// Textures with the look of a game's: painted surfaces with detail at every
// scale, which is what a PNG encoder has to compress. Neither flat colours
// (which any encoder shrinks to nothing) nor noise (which none can):
//   stones  cobbles: rounded cells with dark mortar between, speckled
//   planks  boards with wood grain, knots and seams
//   leaves  foliage with cut-out alpha: opaque leaves, fully clear between
//   moss    the same foliage over dark earth, opaque
// Each is fractal value noise shaped by a pattern, the same for the same
// arguments on every machine.

#include "modelgen/DdsBuilder.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace orvex::modelgen {

enum class GameTextureKind { Stones, Planks, Leaves, Moss };

namespace detail {

inline std::uint32_t hash(std::uint32_t x, std::uint32_t y, std::uint32_t seed)
{
    std::uint32_t h = x * 0x8da6b343u ^ y * 0xd8163841u ^ seed * 0xcb1ab31fu;
    h ^= h >> 13;
    h *= 0x5bd1e995u;
    h ^= h >> 15;
    return h;
}

inline float lattice(int x, int y, std::uint32_t seed)
{
    return static_cast<float>(hash(static_cast<std::uint32_t>(x), static_cast<std::uint32_t>(y), seed) & 0xFFFF) /
           65535.0f;
}

// Smooth noise in [0, 1], with a feature every `period` pixels, wrapping
// over `wrap` pixels so that the texture tiles.
inline float valueNoise(float x, float y, int period, int wrap, std::uint32_t seed)
{
    const int cells = std::max(1, wrap / period);
    const float fx = x / static_cast<float>(period);
    const float fy = y / static_cast<float>(period);
    const int x0 = static_cast<int>(std::floor(fx));
    const int y0 = static_cast<int>(std::floor(fy));
    const float tx = fx - static_cast<float>(x0);
    const float ty = fy - static_cast<float>(y0);
    const float sx = tx * tx * (3.0f - 2.0f * tx);
    const float sy = ty * ty * (3.0f - 2.0f * ty);
    const auto at = [&](int cx, int cy) { return lattice(((cx % cells) + cells) % cells, ((cy % cells) + cells) % cells, seed); };
    const float top = at(x0, y0) + (at(x0 + 1, y0) - at(x0, y0)) * sx;
    const float bottom = at(x0, y0 + 1) + (at(x0 + 1, y0 + 1) - at(x0, y0 + 1)) * sx;
    return top + (bottom - top) * sy;
}

// Octaves from `period` pixels down to 2, each half the weight of the last.
inline float fractalNoise(float x, float y, int period, int wrap, std::uint32_t seed)
{
    float sum = 0.0f;
    float weight = 0.5f;
    float total = 0.0f;
    for (int p = period; p >= 2; p /= 2, weight *= 0.5f, ++seed) {
        sum += weight * valueNoise(x, y, p, wrap, seed);
        total += weight;
    }
    return sum / total;
}

inline std::uint8_t toByte(float value)
{
    return static_cast<std::uint8_t>(std::clamp(std::lround(value * 255.0f), 0L, 255L));
}

// Distance to the nearest and second nearest of jittered cell centres.
inline void cellDistances(float x, float y, int cell, int wrap, std::uint32_t seed, float& nearest, float& second)
{
    const int cells = std::max(1, wrap / cell);
    const int cx = static_cast<int>(x) / cell;
    const int cy = static_cast<int>(y) / cell;
    nearest = second = 1e9f;
    for (int dy = -1; dy <= 1; ++dy) {
        for (int dx = -1; dx <= 1; ++dx) {
            const int gx = cx + dx;
            const int gy = cy + dy;
            const int wx = ((gx % cells) + cells) % cells;
            const int wy = ((gy % cells) + cells) % cells;
            const float px = (static_cast<float>(gx) + 0.2f + 0.6f * lattice(wx, wy, seed)) * static_cast<float>(cell);
            const float py = (static_cast<float>(gy) + 0.2f + 0.6f * lattice(wx, wy, seed + 1)) * static_cast<float>(cell);
            const float d = std::hypot(x - px, y - py);
            if (d < nearest) {
                second = nearest;
                nearest = d;
            } else if (d < second) {
                second = d;
            }
        }
    }
}

}  // namespace detail

inline RgbaImage gameTexture(GameTextureKind kind, int side, std::uint32_t seed)
{
    using namespace detail;
    RgbaImage image{side, side, {}};
    image.rgba.resize(static_cast<std::size_t>(side) * side * 4);
    const int scale = std::max(8, side / 8);
    for (int y = 0; y < side; ++y) {
        for (int x = 0; x < side; ++x) {
            const float fx = static_cast<float>(x);
            const float fy = static_cast<float>(y);
            const float detail = fractalNoise(fx, fy, scale / 2, side, seed);
            float r = 0, g = 0, b = 0, a = 1;
            if (kind == GameTextureKind::Stones) {
                float nearest = 0, second = 0;
                cellDistances(fx, fy, scale, side, seed + 7, nearest, second);
                const float edge = std::clamp((second - nearest) / (0.12f * static_cast<float>(scale)), 0.0f, 1.0f);
                const float tone = 0.45f + 0.35f * detail + 0.08f * lattice(x, y, seed + 3);
                r = tone * (0.55f + 0.45f * edge) * 0.95f;
                g = tone * (0.55f + 0.45f * edge) * 0.9f;
                b = tone * (0.55f + 0.45f * edge) * 0.8f;
            } else if (kind == GameTextureKind::Planks) {
                const int plank = scale / 2;
                const int board = x / plank;
                const float along = fy + 97.0f * static_cast<float>(board);
                const float grain = 0.5f + 0.5f * std::sin(0.9f * along / 8.0f + 6.0f * fractalNoise(fx, along, scale, side, seed + static_cast<std::uint32_t>(board)));
                const float seam = (x % plank) < 2 ? 0.45f : 1.0f;
                const float tone = (0.55f + 0.25f * grain + 0.2f * detail) * seam;
                r = tone * 0.78f;
                g = tone * 0.55f;
                b = tone * 0.32f;
            } else {
                const float leaf = fractalNoise(fx, fy, scale, side, seed + 11);
                const float vein = 0.5f + 0.5f * std::sin(fx * 0.21f + 5.0f * detail);
                const float cover = leaf > 0.5f ? 1.0f : 0.0f;
                const float earth = kind == GameTextureKind::Moss ? 0.2f + 0.25f * detail : 0.0f;
                a = kind == GameTextureKind::Moss ? 1.0f : cover;
                r = (0.18f + 0.2f * detail) * cover + earth * 0.9f * (1.0f - cover);
                g = (0.35f + 0.35f * detail + 0.1f * vein) * cover + earth * 0.7f * (1.0f - cover);
                b = (0.1f + 0.1f * detail) * cover + earth * 0.5f * (1.0f - cover);
            }
            std::uint8_t* pixel = &image.rgba[(static_cast<std::size_t>(y) * side + x) * 4];
            pixel[0] = toByte(r);
            pixel[1] = toByte(g);
            pixel[2] = toByte(b);
            pixel[3] = toByte(a);
        }
    }
    return image;
}

}  // namespace orvex::modelgen

#endif
