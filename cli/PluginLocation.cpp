#include "cli/PluginLocation.h"

#include <filesystem>

#if defined(_WIN32)
#include <windows.h>
#endif

namespace orvex::cli {

std::string programPath() {
#if defined(_WIN32)
    char buffer[MAX_PATH];
    const DWORD length = GetModuleFileNameA(nullptr, buffer, MAX_PATH);
    return std::string(buffer, length);
#else
    std::error_code error;
    std::filesystem::path path = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::string() : path.string();
#endif
}

std::string defaultPluginPath() {
    return (std::filesystem::path(programPath()).parent_path() / ORVEX_PLUGIN_FILE_NAME).string();
}

}  // namespace orvex::cli
