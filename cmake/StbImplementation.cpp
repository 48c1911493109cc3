// stb's implementations, for builds without Debian's libstb (Windows): the
// same headers, compiled once here.
#define STB_IMAGE_IMPLEMENTATION
#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb_image.h>
#include <stb_image_write.h>
