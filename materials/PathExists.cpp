#include "materials/PathExists.h"

#ifdef _WIN32
#include "model/HostPath.h"

#include <shlwapi.h>
#include <windows.h>
#else
#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <memory>
#include <string_view>
#include <vector>
#endif

namespace orvex {
namespace {

std::optional<std::size_t> firstExistingOneByOne(const std::vector<std::string>& paths) {
    for (std::size_t i = 0; i < paths.size(); ++i) {
        if (pathExists(paths[i])) return i;
    }
    return std::nullopt;
}

}  // namespace

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

std::optional<std::size_t> firstExistingPath(const std::vector<std::string>& paths) {
    return firstExistingOneByOne(paths);
}

std::string nativePath(const std::string& path) {
    return path;
}

#else

namespace {

// The system's own test, as the folders are listed with the system's own
// calls: the filesystem library would first copy the path and split it into
// its names, for every texture of every mesh.
bool exists(const std::string& path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0;
}

bool isDirectory(const std::string& path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

char foldAsciiCase(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool equalIgnoringAsciiCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return foldAsciiCase(x) == foldAsciiCase(y);
           });
}

// Calls `visit` with the name of each entry of `directory` (empty for the
// current folder), "." and ".." included, one at a time and viewed where the
// listing holds it, so that a folder of thousands of textures is neither
// held whole nor copied name by name. False when the folder cannot be listed.
template <typename Visit>
bool forEachEntry(const std::string& directory, Visit visit) {
    // Closed also when `visit` throws, which the plug-in turns into a failed
    // import: the host process lives on and would keep the handle.
    const std::unique_ptr<DIR, int (*)(DIR*)> listing(opendir(directory.empty() ? "." : directory.c_str()),
                                                      closedir);
    if (!listing) return false;
    while (const dirent* entry = readdir(listing.get())) visit(std::string_view(entry->d_name));
    return true;
}

// The smallest matching entry name, so that a folder holding several
// spellings of one name gives the same answer on every machine.
std::optional<std::string> findEntryIgnoringCase(const std::string& directory, const std::string& name) {
    std::optional<std::string> found;
    forEachEntry(directory, [&](std::string_view entry) {
        if (equalIgnoringAsciiCase(entry, name) && (!found || entry < *found)) found = std::string(entry);
    });
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

std::string withForwardSlashes(std::string path) {
    std::replace(path.begin(), path.end(), '\\', '/');
    return path;
}

struct FolderEntry {
    std::string folder;  // empty for the current folder; "/" for the root
    std::string name;
};

// The folder that a path names an entry of, and the entry's name; nothing
// for a path that ends with a separator.
std::optional<FolderEntry> splitAtLastSeparator(const std::string& path) {
    const std::size_t separator = path.rfind('/');
    if (separator == std::string::npos) return FolderEntry{"", path};
    if (separator + 1 == path.size()) return std::nullopt;
    return FolderEntry{separator == 0 ? "/" : path.substr(0, separator), path.substr(separator + 1)};
}

// Names of one folder, asked for in turn: each answer is the one
// findExistingPath gives, but a name missing as spelled has the folder
// listed, once for all the names: a listing holds every name that exists,
// in whatever letter case. Listing the folder as spelled also tells that it
// exists, so only a folder missing as spelled is looked for.
class FolderSearch {
public:
    FolderSearch(std::string folder, std::vector<std::string> names)
        : fFolder(std::move(folder)), fNames(std::move(names)) {}

    bool holds(std::size_t index) {
        if (!fMatchedIgnoringCase.empty()) return fMatchedIgnoringCase[index];
        const std::string& name = fNames[index];
        if (!fFound) {
            if (exists(joinPath(fFolder, name))) return true;
            if (listFolder(fFolder)) return fMatchedIgnoringCase[index];
            fFound = findExistingPath(fFolder);
        }
        // The folder in another letter case, or one that cannot be listed.
        if (!*fFound) return false;
        const std::string& found = **fFound;
        if (exists(joinPath(found, name))) return true;
        return listFolder(found) && fMatchedIgnoringCase[index];
    }

private:
    bool listFolder(const std::string& directory) {
        std::vector<bool> matched(fNames.size(), false);
        const bool listed = forEachEntry(directory, [&](std::string_view entry) {
            for (std::size_t i = 0; i < fNames.size(); ++i) {
                if (equalIgnoringAsciiCase(entry, fNames[i])) matched[i] = true;
            }
        });
        if (listed) fMatchedIgnoringCase = std::move(matched);
        return listed;
    }

    std::string fFolder;
    std::vector<std::string> fNames;
    std::optional<std::optional<std::string>> fFound;  // once looked for: the folder as this machine names it
    std::vector<bool> fMatchedIgnoringCase;  // per name once the folder is listed; empty before
};

}  // namespace

std::optional<std::size_t> firstExistingPath(const std::vector<std::string>& paths) {
    if (paths.empty()) return std::nullopt;
    std::vector<std::string> names;
    std::optional<std::string> folder;
    for (const std::string& path : paths) {
        std::optional<FolderEntry> entry = splitAtLastSeparator(withForwardSlashes(path));
        if (!entry || (folder && *folder != entry->folder)) return firstExistingOneByOne(paths);
        folder = std::move(entry->folder);
        names.push_back(std::move(entry->name));
    }
    FolderSearch search(*folder, std::move(names));
    for (std::size_t i = 0; i < paths.size(); ++i) {
        if (search.holds(i)) return i;
    }
    return std::nullopt;
}

bool pathExists(const std::string& path) {
    return findExistingPath(path).has_value();
}

std::string nativePath(const std::string& path) {
    if (std::optional<std::string> found = findExistingPath(path)) return *found;
    return withForwardSlashes(path);
}

std::optional<std::string> findExistingPath(const std::string& path) {
    const std::string native = withForwardSlashes(path);
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
            std::optional<std::string> entry = findEntryIgnoringCase(found, name);
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
        if (!isDirectory(found)) {
            return std::nullopt;
        }
        found += '/';
    }
    return found;
}

#endif

}  // namespace orvex
