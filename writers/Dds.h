#ifndef ORVEX_WRITERS_DDS_H
#define ORVEX_WRITERS_DDS_H

#include "writers/Image.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace orvex::writers {

// The largest width or height accepted; textures of the game are far smaller.
constexpr std::uint32_t kMaxDdsDimension = 16384;

// decodeDds never looks past this many bytes (header and the largest level 0
// it accepts), so a caller need read no more of a file.
constexpr std::size_t kMaxDdsBytesRead = 128 + std::size_t{kMaxDdsDimension} * kMaxDdsDimension * 4;

// Decodes level 0 of the mip chain (the first face of a cube map) of a DDS
// file: DXT1, DXT3 and DXT5 blocks, or uncompressed 24-bit and 32-bit pixels
// with any contiguous channel masks (alpha only where the header says the
// pixels carry it).
//
// Untrusted input: yes. The header, the dimensions and the size of level 0
// are checked before any pixel is read, and nothing past the buffer is read.
// Bytes after level 0 (further mip levels) are ignored. On any failure the
// result is empty and whyNot says why in a few words.
std::optional<Image> decodeDds(const std::vector<std::uint8_t>& bytes, std::string& whyNot);

}  // namespace orvex::writers

#endif
