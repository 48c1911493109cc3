#ifndef ORVEX_MATERIALS_PATHEXISTS_H
#define ORVEX_MATERIALS_PATHEXISTS_H

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace orvex {

// True when a file or a directory of that name exists. Paths are the game's:
// backslashes separate folders. On Windows this is the shell's own test;
// elsewhere backslashes count as separators and, where the exact path is
// missing, letter case is ignored per path component as the Windows file
// system ignores it, so that game files copied to another disk still match.
bool pathExists(const std::string& path);

// Which of `paths` comes first among those that pathExists finds, or
// nothing when it finds none. Paths in one folder, as a texture's
// resolutions are, find and list that folder once between them.
std::optional<std::size_t> firstExistingPath(const std::vector<std::string>& paths);

// The path as this machine names the existing file or directory that
// pathExists finds, or nothing when there is none.
std::optional<std::string> findExistingPath(const std::string& path);

// The path as this machine writes it, for people to read: the file that
// findExistingPath finds, else the path with this system's separators.
std::string nativePath(const std::string& path);

}  // namespace orvex

#endif
