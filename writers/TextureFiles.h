#ifndef ORVEX_WRITERS_TEXTUREFILES_H
#define ORVEX_WRITERS_TEXTUREFILES_H

namespace orvex::writers {

// What the outputs that keep their images in files beside them (glTF, OBJ,
// FBX) write for each texture: PNG images decoded from the game's DDS files,
// or, for the formats whose readers take DDS (OBJ and FBX), the DDS files
// themselves, copied unchanged.
enum class TextureFiles { kPng, kDds };

}  // namespace orvex::writers

#endif
