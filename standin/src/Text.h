#ifndef STANDIN_SRC_TEXT_H
#define STANDIN_SRC_TEXT_H

// The encodings that host strings meet: the stand-in holds text in UTF-8,
// and the char* forms of MString take and give the locale's multibyte
// encoding, which on Windows is the process code page.

#include <cstddef>
#include <string>
#include <string_view>

namespace standin {

// True where the locale's encoding is UTF-8: everywhere but on Windows in a
// process whose code page is another, and there no text is converted.
bool localeIsUtf8();

// Text in the locale's encoding, in UTF-8; a null pointer is empty text.
std::string fromLocale(const char* text);
std::string fromLocale(const char* text, std::size_t size);
// Characters the code page lacks become its default character, as the
// system's own conversion makes them.
std::string localeFromUtf8(const std::string& text);

// Bytes that form no UTF-8 become U+FFFD.
std::wstring wideFromUtf8(const std::string& text);

}  // namespace standin

#endif
