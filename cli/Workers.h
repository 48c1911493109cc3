#ifndef ORVEX_CLI_WORKERS_H
#define ORVEX_CLI_WORKERS_H

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

// Worker processes. Workers.cpp schedules them; WorkerProcess.h is what it
// asks of each system.

namespace orvex::cli {

// One command line: the program to run and its arguments (argv[0] first).
using Command = std::vector<std::string>;

// Commands run one after another, the next only when the one before exited
// with status 0.
struct Task {
    std::vector<Command> steps;
};

struct TaskResult {
    bool succeeded = false;
    // Of the step that failed, or 0 when none did; -1 when it could not
    // start or was stopped by a signal.
    int exitStatus = 0;
    std::string failure;  // why the failing step failed, in a few words, when it left no line of its own
    std::vector<std::string> errorOutputs;  // standard error of each step that ran, in order
    bool stopped = false;                   // ended by a request to stop the run
    bool ran = false;                       // a step's process started
};

// Runs the tasks, at most `parallel` at once, each step as a child process
// with standard input and output on the null device and standard error
// captured. `started` is told of each task as it starts, `finished` of each
// as it ends (in the order they end); `tick`, when given, is called whenever
// a quarter of a second passes with no worker saying anything. All three
// run on the calling thread. Workers are kept out of reach of an interrupt
// typed at the terminal (in a process group of their own on POSIX, detached
// from the console on Windows), so that it reaches only this process: once
// `stopRequested` says so, the running workers are killed and reported as
// stopped, and no further task starts. Returns when every task
// has ended or the run was stopped; throws std::system_error when the
// system cannot wait for the workers.
void runTasks(const std::vector<Task>& tasks, unsigned parallel,
              const std::function<void(std::size_t)>& started,
              const std::function<void(std::size_t, TaskResult)>& finished, const std::function<void()>& tick,
              const std::function<bool()>& stopRequested);

}  // namespace orvex::cli

#endif
