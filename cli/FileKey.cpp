#include "cli/System.h"

#include <filesystem>
#include <system_error>

namespace orvex::cli {

std::string fileKey(const std::string& path) {
    namespace fs = std::filesystem;
    std::error_code error;
    const fs::path absolute = fs::absolute(fs::u8path(path), error);
    if (error) return nameKey(path);
    const fs::path resolved = fs::weakly_canonical(absolute, error);
    return nameKey((error ? absolute.lexically_normal() : resolved).u8string());
}

bool sameFile(const std::string& path, const std::string& key, const std::string& other,
              const std::string& otherKey) {
    namespace fs = std::filesystem;
    std::error_code error;
    return key == otherKey || fs::equivalent(fs::u8path(path), fs::u8path(other), error);
}

}  // namespace orvex::cli
