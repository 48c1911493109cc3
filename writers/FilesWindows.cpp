#include "writers/Files.h"

#include <windows.h>

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include <filesystem>
#include <system_error>

namespace orvex::writers {

namespace {

// The name as Windows stores it, whatever the process's code page.
std::wstring systemName(const std::string& path) {
    return std::filesystem::u8path(path).wstring();
}

}  // namespace

std::FILE* openNewFile(const std::string& path) {
    // Windows' C library takes no "x" mode.
    const int descriptor =
        _wopen(systemName(path).c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _S_IREAD | _S_IWRITE);
    if (descriptor < 0) return nullptr;
    std::FILE* file = _fdopen(descriptor, "wb");
    if (file == nullptr) _close(descriptor);
    return file;
}

bool replaceFile(const std::string& from, const std::string& to, std::string& why) {
    // Write-through: the call returns once the new name is on the disk, as
    // a rename on a journaling file system would leave it.
    if (MoveFileExW(systemName(from).c_str(), systemName(to).c_str(),
                    MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return true;
    why = std::system_category().message(static_cast<int>(GetLastError()));
    return false;
}

}  // namespace orvex::writers
