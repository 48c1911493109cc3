#include "writers/Files.h"

#include <cerrno>
#include <cstring>

namespace orvex::writers {

std::FILE* openNewFile(const std::string& path) {
    return std::fopen(path.c_str(), "wbx");
}

bool replaceFile(const std::string& from, const std::string& to, std::string& why) {
    // POSIX rename replaces the target atomically.
    if (std::rename(from.c_str(), to.c_str()) == 0) return true;
    why = std::strerror(errno);
    return false;
}

}  // namespace orvex::writers
