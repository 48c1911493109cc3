#include "writers/Companion.h"

#include "writers/Ascii.h"
#include "writers/AtomicFile.h"
#include "writers/Formats.h"

#include <nlohmann/json.hpp>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>

namespace orvex::writers {

namespace {

namespace fs = std::filesystem;

constexpr std::size_t kDigestDigits = 16;

// ".bin" beside a glTF file, ".mtl" beside an OBJ file, else nothing.
std::string companionExtension(const std::string& outputPath) {
    std::string extension = fs::u8path(outputPath).extension().u8string();
    for (char& c : extension) c = asciiLower(c);
    if (extension == ".gltf") return ".bin";
    if (extension == ".obj") return ".mtl";
    return {};
}

bool isHexDigits(const std::string& text) {
    return text.find_first_not_of("0123456789abcdef") == std::string::npos;
}

// True for STEM-DIGEST.EXT, as companionFileName names them.
bool isDigestCompanion(const std::string& name, const std::string& stem, const std::string& extension) {
    const std::size_t length = stem.size() + 1 + kDigestDigits + extension.size();
    return name.size() == length && name.compare(0, stem.size(), stem) == 0 && name[stem.size()] == '-' &&
           isHexDigits(name.substr(stem.size() + 1, kDigestDigits)) &&
           name.compare(length - extension.size(), extension.size(), extension) == 0;
}

std::string readWhole(const std::string& path) {
    std::ifstream in(fs::u8path(path), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// A name of a file in the output's own folder: no separator, no way up.
std::optional<std::string> fileNameOnly(const std::string& name) {
    if (name.empty() || name.find_first_of("/\\") != std::string::npos || name == "." || name == "..")
        return std::nullopt;
    return name;
}

}  // namespace

std::string companionFileName(const std::string& outputPath, const std::string& digest) {
    return stemOf(outputPath) + "-" + digest + companionExtension(outputPath);
}

std::optional<std::string> companionNamedBy(const std::string& outputPath) {
    const std::string extension = companionExtension(outputPath);
    if (extension.empty()) return std::nullopt;
    std::error_code error;
    if (!fs::is_regular_file(fs::u8path(outputPath), error)) return std::nullopt;
    const std::string text = readWhole(outputPath);
    if (extension == ".bin") {
        const nlohmann::json document = nlohmann::json::parse(text, nullptr, false);
        if (!document.is_object()) return std::nullopt;
        const auto buffers = document.find("buffers");
        if (buffers == document.end() || !buffers->is_array() || buffers->empty()) return std::nullopt;
        const auto uri = (*buffers)[0].find("uri");
        if (uri == (*buffers)[0].end() || !uri->is_string()) return std::nullopt;
        return fileNameOnly(uri->get<std::string>());
    }
    constexpr std::string_view kMaterials = "mtllib ";
    for (std::size_t line = 0; line < text.size();) {
        std::size_t end = text.find('\n', line);
        if (end == std::string::npos) end = text.size();
        if (text.compare(line, kMaterials.size(), kMaterials) == 0)
            return fileNameOnly(text.substr(line + kMaterials.size(), end - line - kMaterials.size()));
        line = end + 1;
    }
    return std::nullopt;
}

void removeLeftovers(const std::string& outputPath, const std::optional<std::string>& current,
                     const std::optional<std::string>& previous) {
    const fs::path output = fs::u8path(outputPath);
    const std::string outputName = output.filename().u8string();
    const std::string stem = stemOf(outputPath);
    const std::string extension = companionExtension(outputPath);
    const std::string unnamedCompanion = extension.empty() ? std::string() : stem + extension;
    std::error_code error;
    for (fs::directory_iterator entry(output.parent_path(), error), end; !error && entry != end;
         entry.increment(error)) {
        const std::string name = entry->path().filename().u8string();
        bool leftover = isTemporaryFileOf(name, outputName);
        if (!extension.empty()) {
            const bool companion = isDigestCompanion(name, stem, extension) ||
                                   (name == unnamedCompanion && previous && *previous == name);
            leftover = leftover || (companion && (!current || name != *current)) ||
                       isTemporaryFileOf(name, unnamedCompanion) ||
                       (isTemporaryFileName(name) &&
                        isDigestCompanion(name.substr(0, name.rfind(".tmp")), stem, extension));
        }
        if (leftover) {
            std::error_code ignored;
            fs::remove(entry->path(), ignored);
        }
    }
}

}  // namespace orvex::writers
