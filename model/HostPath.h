#ifndef ORVEX_MODEL_HOSTPATH_H
#define ORVEX_MODEL_HOSTPATH_H

#include <maya/MString.h>
#include <maya/MTypes.h>

#include <cstdio>
#include <optional>
#include <string>

// File paths as the plug-in holds them, from the host's file object to the
// texture path it hands back. On Windows, with devkits from 2011 on, they
// are UTF-8 and files are opened and looked for by the system's wide calls:
// the host's narrow text of a path is in the process code page, which in the
// host is the user's (often not UTF-8), so a folder named beyond it (in
// Cyrillic under a Western code page, say) would not open. Elsewhere, and
// with older devkits, which have only the narrow text, paths are that text,
// for the system's narrow calls.
#if defined(_WIN32) && MAYA_API_VERSION >= 201100
#define ORVEX_WIDE_FILE_CALLS 1
#endif

namespace orvex {

std::string pathFromHost(const MString& text);
MString hostTextOfPath(const std::string& path);

// The file at `path` opened for reading bytes, or null.
std::FILE* openForReading(const std::string& path);

// A name from the model file as part of a path the plug-in holds. The game
// wrote its names in its own code page; where paths are UTF-8, a name that is
// not is taken in the process code page, so that it joins a content folder
// named beyond that code page as one path the wide calls can open.
std::string pathTextOfName(const std::string& name);

#if defined(ORVEX_WIDE_FILE_CALLS)
// `path` for the wide calls, or nothing where it is not UTF-8, as a texture
// name from a model file may not be: the narrow calls then take its bytes in
// the process code page, as builds without wide calls do.
std::optional<std::wstring> widePath(const std::string& path);
#endif

}  // namespace orvex

#endif
