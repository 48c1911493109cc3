#ifndef ORVEX_WRITERS_IMAGE_H
#define ORVEX_WRITERS_IMAGE_H

#include <cstdint>
#include <vector>

namespace orvex::writers {

// Pixels in rows from the top, four bytes (red, green, blue, alpha) each.
struct Image {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::vector<std::uint8_t> rgba;
};

}  // namespace orvex::writers

#endif
