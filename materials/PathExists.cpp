#include "materials/PathExists.h"

#ifdef _WIN32
#include "model/HostPath.h"

#include <shlwapi.h>
#include <windows.h>
#else
#include <algorithm>
#include <filesystem>
#include <system_error>
#include <vector>
#endif

namespace orvex {

#ifdef _WIN32

bool pathExists(const std::string& path) {
#if defined(ORVEX_WIDE_FILE_CALLS)
    if (const std::optional<std::wstring> wide = widePath(path))
        return PathFileExistsW(wide->c_str()) != FALSE;
#endif
    return PathFileExistsA(path.c_str()) != FALSE;
}

std::optional<std::string> findExistingPath(const std::string& path) {
    if (!pathExists(path)) {
        return std::nullopt;
    }
    return path;
}

std::string nativePath(const std::string& path) {
    return path;
}

#else

namespace {

namespace fs = std::filesystem;

bool exists(const std::string& path) {
    std::error_code error;
    return fs::exists(path, error);
}

char foldAsciiCase(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool equalIgnoringAsciiCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return foldAsciiCase(x) == foldAsciiCase(y);
           });
}

// The smallest matching entry name, so that a folder holding several
// spellings of one name gives the same answer on every machine.
std::optional<std::string> findEntryIgnoringCase(const std::string& directory, const std::string& name) {
    std::optional<std::string> found;
    std::error_code error;
    for (fs::directory_iterator entry(directory, error), end; !error && entry != end;
         entry.increment(error)) {
        std::string entryName = entry->path().filename().string();
        if (equalIgnoringAsciiCase(entryName, name) && (!found || entryName < *found)) {
            found = std::move(entryName);
        }
    }
    return found;
}

std::string joinPath(const std::string& directory, const std::string& name) {
    if (directory.empty()) {
        return name;
    }
    return directory.back() == '/' ? directory + name : directory + '/' + name;
}

// Where one name of a path starts and ends; separators repeat harmlessly.
struct Component {
    std::size_t start;
    std::size_t end;
};

std::vector<Component> componentsOf(const std::string& path) {
    std::vector<Component> components;
    std::size_t start = 0;
    while (start < path.size()) {
        std::size_t end = path.find('/', start);
        if (end == std::string::npos) {
            end = path.size();
        }
        if (end > start) {
            components.push_back({start, end});
        }
        start = end + 1;
    }
    return components;
}

}  // namespace

bool pathExists(const std::string& path) {
    return findExistingPath(path).has_value();
}

std::string nativePath(const std::string& path) {
    if (std::optional<std::string> found = findExistingPath(path)) return *found;
    std::string native = path;
    std::replace(native.begin(), native.end(), '\\', '/');
    return native;
}

std::optional<std::string> findExistingPath(const std::string& path) {
    std::string native = path;
    std::replace(native.begin(), native.end(), '\\', '/');
    if (exists(native)) {
        return native;
    }

    // Letter case needs matching only past the deepest folder that exists as
    // spelled. A missing texture usually lacks its last component or two, so
    // that folder is found walking back from the end, and the folders above
    // it cost nothing.
    const std::vector<Component> components = componentsOf(native);
    std::size_t spelled = components.size();
    while (spelled > 0 && !exists(native.substr(0, components[spelled - 1].end))) {
        --spelled;
    }
    std::string found = spelled > 0 ? native.substr(0, components[spelled - 1].end)
                                    : (!native.empty() && native.front() == '/') ? "/" : "";
    for (std::size_t i = spelled; i < components.size(); ++i) {
        const Component& component = components[i];
        const std::string name = native.substr(component.start, component.end - component.start);
        std::string candidate = joinPath(found, name);
        // The first of these is known to be missing as spelled.
        if (i == spelled || !exists(candidate)) {
            std::optional<std::string> entry = findEntryIgnoringCase(found.empty() ? "." : found, name);
            if (!entry) {
                return std::nullopt;
            }
            candidate = joinPath(found, *entry);
        }
        found = std::move(candidate);
    }
    if (found.empty()) {
        return std::nullopt;
    }
    // A trailing separator names a folder, as it does for the exact test.
    if (native.back() == '/' && found.back() != '/') {
        std::error_code error;
        if (!fs::is_directory(found, error)) {
            return std::nullopt;
        }
        found += '/';
    }
    return found;
}

#endif

}  // namespace orvex
