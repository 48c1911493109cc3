#include "writers/Png.h"

#include <stb_image_write.h>

#include <new>
#include <utility>

namespace orvex::writers {

namespace {

struct Output {
    std::string bytes;
    bool outOfMemory = false;
};

// Called from C code, so nothing may be thrown through it.
void append(void* context, void* data, int size) {
    Output& output = *static_cast<Output*>(context);
    try {
        output.bytes.append(static_cast<const char*>(data), std::size_t(size));
    } catch (const std::bad_alloc&) {
        output.outOfMemory = true;
    }
}

}  // namespace

std::string encodePng(const Image& image) {
    Output output;
    // stb reports nothing but failure, and on an image of the sizes that
    // decodeDds gives it fails only for want of memory.
    const int written = stbi_write_png_to_func(append, &output, int(image.width), int(image.height), 4,
                                               image.rgba.data(), int(image.width * 4));
    if (written == 0 || output.outOfMemory) throw std::bad_alloc();
    return std::move(output.bytes);
}

}  // namespace orvex::writers
