#ifndef ORVEX_CLI_WORKERPROCESS_H
#define ORVEX_CLI_WORKERPROCESS_H

// What runTasks asks of each system (WorkerProcessPosix.cpp,
// WorkerProcessWindows.cpp): a step of a task as a child process, and a
// wait for the first of them to end.

#include "cli/Workers.h"

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

namespace orvex::cli {

// A worker that floods its standard error is still drained, but only this
// much is kept.
constexpr std::size_t kMaxErrorOutput = 64 * 1024;

// A child process with standard input and output on the null device and
// standard error captured, kept out of reach of an interrupt typed at the
// terminal, so that only this process hears it and stops the workers.
class WorkerProcess {
public:
    // Nothing, with the reason in `why`, when the command cannot start.
    static std::unique_ptr<WorkerProcess> start(const Command& command, std::string& why);
    ~WorkerProcess();
    WorkerProcess(const WorkerProcess&) = delete;
    WorkerProcess& operator=(const WorkerProcess&) = delete;

    // Ends the process at once and waits for it.
    void kill();

    // What it wrote to standard error, with "\n" line ends; whole once it
    // has ended.
    std::string takeErrorOutput();

    struct Ended {
        std::size_t worker = 0;  // its index in the list waited for
        int exitStatus = 0;      // -1 when ended by a signal or a crash
        std::string failure;     // in a few words, when the status is not 0
    };

    // Waits until workers end, and returns them in the order of the list;
    // or until a quarter of a second passes with none saying anything
    // (`ticked`), or a request to stop comes (on POSIX the signal ends the
    // wait; on Windows no wait is longer than a tick). Without `tick`, POSIX
    // waits with no time limit. Throws std::system_error when the system
    // cannot wait.
    static std::vector<Ended> waitForAny(const std::vector<WorkerProcess*>& workers, bool tick, bool& ticked);

private:
    struct State;  // each system's own
    explicit WorkerProcess(std::unique_ptr<State> state);
    std::unique_ptr<State> fState;
};

}  // namespace orvex::cli

#endif
