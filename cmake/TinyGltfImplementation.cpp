// tinygltf's implementation, for builds without Debian's libtinygltf
// (Windows): the same header, compiled once here, with the stb
// implementations that orvex_stb holds.
#define TINYGLTF_IMPLEMENTATION
#include <tiny_gltf.h>
