#ifndef ORVEX_WRITERS_NAMETEXT_H
#define ORVEX_WRITERS_NAMETEXT_H

// Names from a model file are bytes without a declared encoding. Outputs
// write them as text that every format takes and that gives the bytes back:
// well-formed UTF-8 as it is, and each byte that is not part of it, each
// control character and "%" itself as "%" and two upper-case hexadecimal
// digits. So "props\crate" stays "props\crate", a Latin-1 "é" (byte E9)
// becomes "%E9", and "100%" becomes "100%25".

#include <optional>
#include <string>

namespace orvex::writers {

std::string nameText(const std::string& bytes);

// The bytes that nameText wrote as `text`, or nothing when `text` is not
// such text.
std::optional<std::string> nameBytes(const std::string& text);

// The last part of a texture name, after its last separator: "crate" for
// "props\crate".
std::string textureBaseName(const std::string& textureName);

}  // namespace orvex::writers

#endif
