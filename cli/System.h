#ifndef ORVEX_CLI_SYSTEM_H
#define ORVEX_CLI_SYSTEM_H

// What the program asks of the operating system beyond standard C++: the
// console, and requests to stop. SystemPosix.cpp implements it; Workers.h
// declares the worker processes, which Workers.cpp runs on POSIX.

#include <optional>
#include <string>

namespace orvex::cli {

// A new folder of this process's own under the system's temporary folder,
// its name beginning with `prefix`; nothing, with a line that says why in
// `why`, when none can be made.
std::optional<std::string> makeTemporaryFolder(const std::string& prefix, std::string& why);

// True when standard error is a terminal, so that a progress display can
// redraw a line in place.
bool errorOutputIsTerminal();

// The width of the terminal on standard error in columns, 80 when unknown.
int terminalColumns();

// From this call on, a request to stop (SIGINT or SIGTERM) no longer ends
// the process but is recorded for stopRequest, and wakes any wait for the
// workers.
void catchStopRequests();

// 0 while no request to stop has come; else the exit status that the
// request calls for (130 for an interrupt, 143 for a termination).
int stopRequest();

}  // namespace orvex::cli

#endif
