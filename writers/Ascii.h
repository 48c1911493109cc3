#ifndef ORVEX_WRITERS_ASCII_H
#define ORVEX_WRITERS_ASCII_H

// Character classes that do not change with the locale, so that file names
// and URIs come out the same wherever the program runs.

namespace orvex::writers {

inline bool isAsciiAlphanumeric(char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

inline char asciiLower(char c) {
    return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
}

}  // namespace orvex::writers

#endif
