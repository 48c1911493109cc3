#include "writers/Companion.h"

#include "writers/Ascii.h"
#include "writers/AtomicFile.h"
#include "writers/Digest.h"
#include "writers/Formats.h"
#include "writers/NameText.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>

namespace orvex::writers {

namespace {

namespace fs = std::filesystem;

constexpr std::size_t kDigestDigits = 16;

// The longest stem a companion's name keeps whole. A longer one is cut
// shorter and ends in "~" and a digest of the whole, so that the name stays
// within the 255 bytes that file systems take.
constexpr std::size_t kMaxStemLength = 96;
constexpr std::size_t kCutStemLength = 80;
constexpr std::size_t kCutStemDigits = 8;

constexpr char kHexDigits[] = "0123456789ABCDEF";

bool keptAsItIs(char c) {
    return isAsciiAlphanumeric(c) || std::strchr("._-+()", c) != nullptr;
}

// The output's stem as its companions' names begin. A glTF file names its
// buffer by a URI, which spells only UTF-8, and an OBJ file its materials on
// a line of text, which readers split at blanks, cut at "#" or trim, so not
// every byte of a file name survives: letters, digits, ". _ - + ( )" and
// UTF-8 beyond ASCII stay, and every other byte (blanks, controls,
// separators, "#", "%", bytes that are not UTF-8) becomes "%" and two
// hexadecimal digits, which keeps any two stems apart.
std::string companionStem(const std::string& outputPath) {
    const std::string stem = stemOf(outputPath);
    const std::string text = nameText(stem);  // escapes controls, "%" and what is not UTF-8
    std::string escaped;
    std::size_t cut = 0;  // the end of the last character that a cut stem keeps
    for (std::size_t at = 0; at < text.size();) {
        const auto c = static_cast<unsigned char>(text[at]);
        std::size_t length = 1;
        if (c == '%') {
            length = 3;
        } else if (c >= 0x80) {
            while (at + length < text.size() &&
                   (static_cast<unsigned char>(text[at + length]) & 0xC0) == 0x80)
                ++length;
        }
        if (c < 0x80 && c != '%' && !keptAsItIs(text[at])) {
            escaped += '%';
            escaped += kHexDigits[c >> 4];
            escaped += kHexDigits[c & 0xF];
        } else {
            escaped.append(text, at, length);
        }
        if (escaped.size() <= kCutStemLength) cut = escaped.size();
        at += length;
    }
    if (escaped.size() <= kMaxStemLength) return escaped;
    return escaped.substr(0, cut) + "~" + digestHex(stem).substr(0, kCutStemDigits);
}

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
// Whether `name` begins with `stem` as the file system tells names apart:
// Windows ignores letter case, so there "Y-….bin" was written for the
// output that "y.gltf" now names.
bool beginsWithStem(const std::string& name, const std::string& stem) {
#if defined(_WIN32)
    return name.size() >= stem.size() &&
           std::equal(stem.begin(), stem.end(), name.begin(),
                      [](char a, char b) { return asciiLower(a) == asciiLower(b); });
#else
    return name.compare(0, stem.size(), stem) == 0;
#endif
}

bool isDigestCompanion(const std::string& name, const std::string& stem, const std::string& extension) {
    const std::size_t length = stem.size() + 1 + kDigestDigits + extension.size();
    return name.size() == length && beginsWithStem(name, stem) && name[stem.size()] == '-' &&
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
    return companionStem(outputPath) + "-" + digest + companionExtension(outputPath);
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
        // The URI's escapes are those that names are written with.
        const std::optional<std::string> name = nameBytes(uri->get<std::string>());
        return name ? fileNameOnly(*name) : std::nullopt;
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

namespace {

// "-o scene.gltf" names a file in the working folder.
fs::path folderOf(const fs::path& output) {
    return output.has_parent_path() ? output.parent_path() : fs::path(".");
}

}  // namespace

void removeLeftovers(const std::string& outputPath, const std::optional<std::string>& current,
                     const std::optional<std::string>& previous, const std::vector<std::string>& imageNames) {
    const fs::path output = fs::u8path(outputPath);
    const std::string outputName = output.filename().u8string();
    const std::string stem = companionStem(outputPath);
    const std::string extension = companionExtension(outputPath);
    // Earlier versions named companions after the stem as it is.
    const std::string plainStem = stemOf(outputPath);
    const std::string unnamedCompanion = extension.empty() ? std::string() : plainStem + extension;
    // An output that an earlier version wrote under the name this one's
    // escaped stem spells ("a%20b.gltf" beside "a b.gltf") names a companion
    // that looks like one of this output's, and keeps it.
    const std::optional<std::string> namedByOther =
        extension.empty() || stem == plainStem
            ? std::nullopt
            : companionNamedBy(pathBeside(outputPath, stem + output.extension().u8string()));
    std::error_code error;
    for (fs::directory_iterator entry(folderOf(output), error), end; !error && entry != end;
         entry.increment(error)) {
        const std::string name = entry->path().filename().u8string();
        const auto ofImage = [&name](const std::string& image) { return isTemporaryFileOf(name, image); };
        bool leftover =
            isTemporaryFileOf(name, outputName) ||
            (isTemporaryFileName(name) && std::any_of(imageNames.begin(), imageNames.end(), ofImage));
        if (!extension.empty()) {
            const bool named = previous && *previous == name;
            const bool companion =
                isDigestCompanion(name, stem, extension) ||
                (named && (name == unnamedCompanion || isDigestCompanion(name, plainStem, extension)));
            const bool othersOwn = namedByOther && *namedByOther == name;
            leftover = leftover || (companion && !othersOwn && (!current || name != *current)) ||
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
