#include "writers/NameText.h"

#include <cstdint>

namespace orvex::writers {

namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";

// How many bytes the well-formed UTF-8 sequence at `at` takes, or 0 where
// none starts there.
std::size_t sequenceAt(const std::string& text, std::size_t at) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(at);
    if (lead < 0x80) return 1;
    std::size_t length = 0;
    unsigned char lowest = 0x80, highest = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) lowest = 0xA0;
        if (lead == 0xED) highest = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) lowest = 0x90;
        if (lead == 0xF4) highest = 0x8F;
    } else {
        return 0;
    }
    if (text.size() - at < length) return 0;
    if (byte(at + 1) < lowest || byte(at + 1) > highest) return 0;
    for (std::size_t i = 2; i < length; ++i) {
        if (byte(at + i) < 0x80 || byte(at + i) > 0xBF) return 0;
    }
    return length;
}

bool needsEscape(unsigned char c) {
    return c < 0x20 || c == 0x7F || c == '%';
}

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

std::string nameText(const std::string& bytes) {
    std::string text;
    text.reserve(bytes.size());
    for (std::size_t at = 0; at < bytes.size();) {
        const std::size_t length = sequenceAt(bytes, at);
        const auto lead = static_cast<unsigned char>(bytes[at]);
        if (length == 0 || (length == 1 && needsEscape(lead))) {
            text += '%';
            text += kHexDigits[lead >> 4];
            text += kHexDigits[lead & 0xF];
            ++at;
        } else {
            text.append(bytes, at, length);
            at += length;
        }
    }
    return text;
}

std::optional<std::string> nameBytes(const std::string& text) {
    std::string bytes;
    for (std::size_t at = 0; at < text.size(); ++at) {
        if (text[at] != '%') {
            bytes += text[at];
            continue;
        }
        if (text.size() - at < 3) return std::nullopt;
        const int high = hexValue(text[at + 1]);
        const int low = hexValue(text[at + 2]);
        if (high < 0 || low < 0) return std::nullopt;
        bytes += static_cast<char>(high * 16 + low);
        at += 2;
    }
    return bytes;
}

std::string textureBaseName(const std::string& textureName) {
    const std::size_t separator = textureName.find_last_of("\\/");
    return separator == std::string::npos ? textureName : textureName.substr(separator + 1);
}

}  // namespace orvex::writers
