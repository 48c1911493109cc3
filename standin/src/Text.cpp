#include "Text.h"

#include <cstring>
#include <utility>

#if defined(_WIN32)
#define WIN32_LEAN_AND_MEAN
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#endif

namespace standin {

std::string fromLocale(const char* text) {
    return text ? fromLocale(text, std::strlen(text)) : std::string();
}

#if defined(_WIN32)

namespace {

std::wstring wideFrom(UINT codePage, std::string_view text) {
    if (text.empty()) return {};
    const int size = static_cast<int>(text.size());
    const int length = MultiByteToWideChar(codePage, 0, text.data(), size, nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(codePage, 0, text.data(), size, wide.data(), length);
    return wide;
}

std::string narrowTo(UINT codePage, const std::wstring& wide) {
    if (wide.empty()) return {};
    const int size = static_cast<int>(wide.size());
    const int length = WideCharToMultiByte(codePage, 0, wide.data(), size, nullptr, 0, nullptr, nullptr);
    std::string narrow(static_cast<std::size_t>(length), '\0');
    WideCharToMultiByte(codePage, 0, wide.data(), size, narrow.data(), length, nullptr, nullptr);
    return narrow;
}

}  // namespace

bool localeIsUtf8() {
    return GetACP() == CP_UTF8;
}

std::string fromLocale(const char* text, std::size_t size) {
    if (localeIsUtf8()) return std::string(text, size);
    return narrowTo(CP_UTF8, wideFrom(CP_ACP, std::string_view(text, size)));
}

std::string localeFromUtf8(const std::string& text) {
    return narrowTo(CP_ACP, wideFromUtf8(text));
}

std::wstring wideFromUtf8(const std::string& text) {
    return wideFrom(CP_UTF8, text);
}

#else

bool localeIsUtf8() {
    return true;
}

std::string fromLocale(const char* text, std::size_t size) {
    return std::string(text, size);
}

std::string localeFromUtf8(const std::string& text) {
    return text;
}

namespace {

// How many bytes the sequence that `lead` starts takes, or 0 where no
// sequence starts with it.
std::size_t sequenceLength(unsigned char lead) {
    if (lead < 0x80) return 1;
    if (lead < 0xC2) return 0;
    if (lead < 0xE0) return 2;
    if (lead < 0xF0) return 3;
    return lead < 0xF5 ? 4 : 0;
}

// The second byte's range, which rules out overlong forms, surrogates and
// code points past U+10FFFF.
std::pair<unsigned char, unsigned char> secondByteRange(unsigned char lead) {
    switch (lead) {
        case 0xE0:
            return {0xA0, 0xBF};
        case 0xED:
            return {0x80, 0x9F};
        case 0xF0:
            return {0x90, 0xBF};
        case 0xF4:
            return {0x80, 0x8F};
        default:
            return {0x80, 0xBF};
    }
}

}  // namespace

// wchar_t holds whole code points here. Each ill-formed part becomes one
// U+FFFD, as Unicode recommends.
std::wstring wideFromUtf8(const std::string& text) {
    constexpr unsigned char kLeadBits[] = {0, 0x7F, 0x1F, 0x0F, 0x07};
    std::wstring wide;
    std::size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<unsigned char>(text[i]);
        const std::size_t length = sequenceLength(lead);
        char32_t code = lead & kLeadBits[length];
        std::size_t taken = 1;
        while (taken < length && i + taken < text.size()) {
            const auto byte = static_cast<unsigned char>(text[i + taken]);
            const auto [lowest, highest] =
                taken == 1 ? secondByteRange(lead) : std::pair<unsigned char, unsigned char>{0x80, 0xBF};
            if (byte < lowest || byte > highest) break;
            code = (code << 6) | (byte & 0x3F);
            ++taken;
        }
        wide.push_back(static_cast<wchar_t>(length != 0 && taken == length ? code : 0xFFFD));
        i += taken;
    }
    return wide;
}

#endif

}  // namespace standin
