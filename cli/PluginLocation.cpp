#include "cli/PluginLocation.h"

#include <filesystem>

#if defined(_WIN32)
#include <windows.h>
#endif

namespace orvex::cli {

namespace {

std::filesystem::path programPath()
{
#if defined(_WIN32)
    char buffer[MAX_PATH];
    const DWORD length = GetModuleFileNameA(nullptr, buffer, MAX_PATH);
    return std::filesystem::path(std::string(buffer, length));
#else
    std::error_code error;
    std::filesystem::path path = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::filesystem::path() : path;
#endif
}

}  // namespace

std::string defaultPluginPath()
{
    return (programPath().parent_path() / ORVEX_PLUGIN_FILE_NAME).string();
}

}  // namespace orvex::cli
