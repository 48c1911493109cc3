#include "render/Render.h"

#include <cstddef>
#include <string_view>

namespace orvex::render {
namespace {

// Digits only, so that signs, blanks and hex forms are refused. Stops as
// soon as the value is too large, so that it cannot overflow.
std::optional<int> parseDimension(std::string_view text) {
    if (text.empty()) return std::nullopt;
    int value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + (c - '0');
        if (value > kMaxImageSize) return std::nullopt;
    }
    if (value < kMinImageSize) return std::nullopt;
    return value;
}

}  // namespace

std::optional<FrameSize> parseSize(std::string_view text) {
    const std::size_t separator = text.find('x');
    const std::optional<int> width = parseDimension(text.substr(0, separator));
    const std::optional<int> height =
        separator == std::string_view::npos ? width : parseDimension(text.substr(separator + 1));
    if (!width || !height) return std::nullopt;
    return FrameSize{*width, *height};
}

std::optional<View> parseView(std::string_view name) {
    if (name == "front") return View::Front;
    if (name == "side") return View::Side;
    if (name == "top") return View::Top;
    if (name == "iso") return View::Iso;
    return std::nullopt;
}

}  // namespace orvex::render
