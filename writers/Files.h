#ifndef ORVEX_WRITERS_FILES_H
#define ORVEX_WRITERS_FILES_H

// The two steps of an atomic write that each system does its own way.
// FilesPosix.cpp and FilesWindows.cpp implement them; paths are UTF-8.

#include <cstdio>
#include <string>

namespace orvex::writers {

// Opens `path` for writing only when nothing of that name exists, so that a
// temporary file is never one that another run is writing; nullptr, with
// errno set, when it cannot (EEXIST when the name is taken).
std::FILE* openNewFile(const std::string& path);

// Puts the file at `from` in the place of `to` in one step, replacing any
// file there; false, with the system's reason in `why`, when it cannot.
bool replaceFile(const std::string& from, const std::string& to, std::string& why);

}  // namespace orvex::writers

#endif
