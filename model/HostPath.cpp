#include "model/HostPath.h"

#if defined(ORVEX_WIDE_FILE_CALLS)
#define WIN32_LEAN_AND_MEAN
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#endif

namespace orvex {

#if defined(ORVEX_WIDE_FILE_CALLS)

std::string pathFromHost(const MString& text) {
    return text.asUTF8();
}

MString hostTextOfPath(const std::string& path) {
    if (!widePath(path)) return MString(path.c_str());
    MString text;
    text.setUTF8(path.c_str());
    return text;
}

std::FILE* openForReading(const std::string& path) {
    if (const std::optional<std::wstring> wide = widePath(path)) return _wfopen(wide->c_str(), L"rb");
    return std::fopen(path.c_str(), "rb");
}

std::string pathTextOfName(const std::string& name) {
    if (widePath(name)) return name;
    const int size = static_cast<int>(name.size());
    const int length = MultiByteToWideChar(CP_ACP, 0, name.data(), size, nullptr, 0);
    if (length == 0) return name;
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(CP_ACP, 0, name.data(), size, wide.data(), length);
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, wide.data(), length, nullptr, 0, nullptr, nullptr);
    if (bytes == 0) return name;
    std::string text(static_cast<std::size_t>(bytes), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), length, text.data(), bytes, nullptr, nullptr);
    return text;
}

std::optional<std::wstring> widePath(const std::string& path) {
    if (path.empty()) return std::wstring();
    const int size = static_cast<int>(path.size());
    const int length = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, path.data(), size, nullptr, 0);
    if (length == 0) return std::nullopt;
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, path.data(), size, wide.data(), length);
    return wide;
}

#else

std::string pathFromHost(const MString& text) {
    return text.asChar();
}

MString hostTextOfPath(const std::string& path) {
    return MString(path.c_str());
}

std::string pathTextOfName(const std::string& name) {
    return name;
}

std::FILE* openForReading(const std::string& path) {
    return std::fopen(path.c_str(), "rb");
}

#endif

}  // namespace orvex
