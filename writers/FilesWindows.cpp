#include "writers/Files.h"

#include <windows.h>

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include <cstddef>
#include <filesystem>
#include <iterator>
#include <system_error>

namespace orvex::writers {

namespace {

// The name as Windows stores it, whatever the process's code page.
std::wstring systemName(const std::string& path) {
    return std::filesystem::u8path(path).wstring();
}

// True when a replace refused with `error` may succeed once another program
// lets go of the file: not when a folder or a read-only file stands there.
bool mayPassSoon(DWORD error, const std::wstring& target) {
    if (error != ERROR_ACCESS_DENIED && error != ERROR_SHARING_VIOLATION) return false;
    const DWORD attributes = GetFileAttributesW(target.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES &&
           (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY)) == 0;
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
    const std::wstring source = systemName(from), target = systemName(to);
    // Windows does not replace a file that another program holds open, and
    // programs hold outputs open for moments: Explorer making a thumbnail, a
    // virus scanner, a batch reading back what its workers wrote. So a
    // refused replace is tried again for a second or two before it fails.
    constexpr DWORD kPauses[] = {10, 20, 50, 100, 200, 400, 800};
    for (std::size_t attempt = 0;; ++attempt) {
        // Write-through: the call returns once the new name is on the disk,
        // as a rename on a journaling file system would leave it.
        if (MoveFileExW(source.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
            return true;
        const DWORD error = GetLastError();
        if (attempt == std::size(kPauses) || !mayPassSoon(error, target)) {
            why = std::system_category().message(static_cast<int>(error));
            return false;
        }
        Sleep(kPauses[attempt]);
    }
}

}  // namespace orvex::writers
