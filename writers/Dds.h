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

// The header of a DDS file, magic included.
constexpr std::size_t kDdsHeaderBytes = 128;

// How many bytes from the start of a DDS file decodeDds looks at, judged by
// the file's first kDdsHeaderBytes: the header and level 0 as the header
// sizes it, never more than the largest level 0 accepted. A caller need read
// no more of the file: the mip levels after level 0 take a third as much
// again, and a file may carry anything after them.
std::size_t ddsBytesToRead(const std::vector<std::uint8_t>& header);

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
