#ifndef ORVEX_CLI_SYSTEM_H
#define ORVEX_CLI_SYSTEM_H

// What the program asks of the operating system beyond standard C++: its
// own file and arguments, the console, temporary folders and requests to
// stop. SystemPosix.cpp and SystemWindows.cpp implement it; Workers.h
// declares the worker processes.
//
// Every path the program handles is a std::string in UTF-8, and meets
// std::filesystem through u8path and u8string only: on Windows a narrow
// std::filesystem::path would read its bytes in no code page at all.

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace orvex::cli {

// The program's arguments in UTF-8, the program's name first. Windows
// passes a program its arguments in the system code page; the wide command
// line keeps every character.
std::vector<std::string> programArguments(int argc, char** argv);

// This program's own executable, or empty when the system cannot say.
std::string programPath();

// Makes a console on standard error show UTF-8 text and take the escape
// sequences that redraw a line in place, for as long as the program runs;
// nothing to do on a terminal or where standard error is no console.
void prepareConsole();

// Makes a write past the file-size limit (ulimit -f) fail as a full disk
// does, with its reason, where the system would end the program without a
// word; nothing to do on Windows.
void failWritesPastTheSizeLimit();

// True when standard error is a terminal that can redraw a line in place,
// so that a progress display may.
bool errorOutputIsTerminal();

// The width of the terminal on standard error in columns, 80 when unknown.
int terminalColumns();

// True when standard error is a pipe that nobody reads any more: for a
// batch's worker, the batch has ended, killed where it could not stop its
// workers, and what is left of the worker's list is nobody's work. Always
// false on Windows, where a worker ends its list.
bool errorOutputAbandoned();

// When a file was last written, to the finest unit the system keeps (on
// Windows std::filesystem keeps whole seconds only): a time since an epoch
// of the system's choosing, comparable with other such times and with
// fileTimeNow(); nothing when the file cannot be read.
using FileTime = std::chrono::nanoseconds;
std::optional<FileTime> lastWriteTime(const std::string& path);
FileTime fileTimeNow();

// The path in the form under which the system's file systems tell names
// apart: as it is on POSIX; on Windows, whose file systems ignore letter
// case, in upper case.
std::string nameKey(const std::string& path);

// The path without Windows' "\\?\" prefix ("\\?\UNC\" becomes "\\"),
// which asks the system to take a path as it is but which the C++ library
// takes for a folder named "?". The program is long-path aware, so paths
// stay as long as the system allows. Elsewhere the path as it is.
std::string withoutVerbatimPrefix(const std::string& path);

// The one form that every path to a file takes, whether the file exists or
// not: absolute, with `.`, `..` and links resolved, as nameKey gives it. Two
// paths whose keys are equal name one file; sameFile tells the rest.
std::string fileKey(const std::string& path);

// True when two paths, given with their keys, name one file: their keys are
// equal, or both lead to one file that exists, which tells what keys cannot:
// Windows takes "yard.model." or "\\?\C:\yard.model" for "yard.model", and
// a hard link is the file it links.
bool sameFile(const std::string& path, const std::string& key, const std::string& other,
              const std::string& otherKey);

// A new folder of this process's own in `parent`, its name beginning with
// `prefix`; nothing, with a line that says why in `why`, when none can be
// made.
std::optional<std::string> makeNewFolder(const std::string& parent, const std::string& prefix,
                                         std::string& why);

// From this call on, a request to stop no longer ends the process but is
// recorded for stopRequest, and ends any wait for the workers: SIGINT,
// SIGTERM or SIGHUP (unless ignored, as under nohup) on POSIX; on Windows
// Ctrl-C or Ctrl-Break, and the console's closing, log-off or shut-down,
// which leave the process a few seconds.
void catchStopRequests();

// 0 while no request to stop has come; else the exit status that the
// request calls for: 130 for an interrupt, 143 for a termination, 129 for a
// hang-up.
int stopRequest();

}  // namespace orvex::cli

#endif
