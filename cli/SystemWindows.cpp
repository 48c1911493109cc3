#include "cli/System.h"

#include <windows.h>

#include <shellapi.h>

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>

namespace orvex::cli {

namespace {

std::atomic<int> gStopStatus{0};

UINT gConsoleOutputCodePage = 0;

// A name Windows holds as ill-formed UTF-16 gets U+FFFD in place of what it
// cannot say, and so names no file.
std::string utf8(const std::wstring& text) {
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                         nullptr, nullptr);
    std::string result(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), result.data(), size, nullptr,
                        nullptr);
    return result;
}

std::string describeError(DWORD error) {
    return std::system_category().message(static_cast<int>(error));
}

void restoreConsoleCodePage() {
    SetConsoleOutputCP(gConsoleOutputCodePage);
}

// Runs on a thread of its own that the system starts for each event.
BOOL WINAPI recordStop(DWORD event) {
    switch (event) {
        case CTRL_C_EVENT:
        case CTRL_BREAK_EVENT:
            gStopStatus = 130;
            return TRUE;
        case CTRL_CLOSE_EVENT:
        case CTRL_LOGOFF_EVENT:
        case CTRL_SHUTDOWN_EVENT:
            gStopStatus = 143;
            // The process ends as soon as this handler returns; sleeping here
            // leaves the main thread the seconds the system grants to stop the
            // workers, remove their files and write the report.
            Sleep(INFINITE);
            return TRUE;
        default:
            return FALSE;
    }
}

}  // namespace

std::vector<std::string> programArguments(int, char**) {
    int count = 0;
    LPWSTR* arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    if (arguments == nullptr) return {};
    std::vector<std::string> result;
    for (int i = 0; i < count; ++i) result.push_back(utf8(arguments[i]));
    LocalFree(arguments);
    return result;
}

std::string programPath() {
    std::wstring buffer(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0) return {};
        if (length < buffer.size()) return utf8(buffer.substr(0, length));
        buffer.resize(buffer.size() * 2);
    }
}

void failWritesPastTheSizeLimit() {}

void prepareConsole() {
    const HANDLE error = GetStdHandle(STD_ERROR_HANDLE);
    DWORD mode = 0;
    if (!GetConsoleMode(error, &mode)) return;
    SetConsoleMode(error, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING);
    // The console outlives the program, and the shell that started it
    // expects its code page back.
    gConsoleOutputCodePage = GetConsoleOutputCP();
    if (gConsoleOutputCodePage != CP_UTF8 && SetConsoleOutputCP(CP_UTF8)) std::atexit(restoreConsoleCodePage);
}

bool errorOutputIsTerminal() {
    // A console too old for escape sequences gets plain lines.
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode) &&
           (mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0;
}

int terminalColumns() {
    CONSOLE_SCREEN_BUFFER_INFO info{};
    if (!GetConsoleScreenBufferInfo(GetStdHandle(STD_ERROR_HANDLE), &info)) return 80;
    const int columns = info.srWindow.Right - info.srWindow.Left + 1;
    return columns > 0 ? columns : 80;
}

namespace {

// FILETIME counts 100 ns from 1601; this counts nanoseconds from 1970.
FileTime sinceUnixEpoch(const FILETIME& time) {
    constexpr std::int64_t kTicksFrom1601To1970 = 116444736000000000;
    const std::int64_t ticks =
        static_cast<std::int64_t>((std::uint64_t{time.dwHighDateTime} << 32) | time.dwLowDateTime);
    return FileTime((ticks - kTicksFrom1601To1970) * 100);
}

}  // namespace

std::optional<FileTime> lastWriteTime(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA attributes{};
    if (!GetFileAttributesExW(std::filesystem::u8path(path).c_str(), GetFileExInfoStandard, &attributes))
        return std::nullopt;
    return sinceUnixEpoch(attributes.ftLastWriteTime);
}

FileTime fileTimeNow() {
    FILETIME now{};
    GetSystemTimePreciseAsFileTime(&now);
    return sinceUnixEpoch(now);
}

std::string nameKey(const std::string& path) {
    std::wstring name = std::filesystem::u8path(path).wstring();
    const int size = static_cast<int>(name.size());
    LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE, name.c_str(), size, name.data(), size, nullptr,
                  nullptr, 0);
    return utf8(name);
}

std::string withoutVerbatimPrefix(const std::string& path) {
    const auto startsWith = [&path](std::string_view prefix) {
        return path.compare(0, prefix.size(), prefix) == 0;
    };
    if (startsWith("\\\\?\\UNC\\") || startsWith("//?/UNC/")) return "\\\\" + path.substr(8);
    if (startsWith("\\\\?\\") || startsWith("//?/")) return path.substr(4);
    return path;
}

std::optional<std::string> makeNewFolder(const std::string& parent, const std::string& prefix,
                                         std::string& why) {
    // Names another process already took are stepped over.
    constexpr int kTries = 100;
    const std::string stem = prefix + "-" + std::to_string(GetCurrentProcessId()) + "-";
    std::filesystem::path folder;
    DWORD failure = ERROR_ALREADY_EXISTS;
    for (int attempt = 0; attempt < kTries && failure == ERROR_ALREADY_EXISTS; ++attempt) {
        folder = std::filesystem::u8path(parent) / std::filesystem::u8path(stem + std::to_string(attempt));
        if (CreateDirectoryW(folder.c_str(), nullptr)) return folder.u8string();
        failure = GetLastError();
    }
    why = folder.u8string() + ": cannot make a folder: " + describeError(failure);
    return std::nullopt;
}

bool errorOutputAbandoned() {
    return false;
}

void catchStopRequests() {
    SetConsoleCtrlHandler(recordStop, TRUE);
}

int stopRequest() {
    return gStopStatus;
}

}  // namespace orvex::cli
