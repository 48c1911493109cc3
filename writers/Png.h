#ifndef ORVEX_WRITERS_PNG_H
#define ORVEX_WRITERS_PNG_H

#include "writers/Image.h"

#include <string>

namespace orvex::writers {

// The image as the bytes of a PNG file: 8-bit RGB when every pixel is
// opaque (alpha 255), 8-bit RGBA otherwise, the same pixels either way. The
// same image always gives the same bytes. Throws std::bad_alloc when memory
// runs out.
std::string encodePng(const Image& image);

}  // namespace orvex::writers

#endif
