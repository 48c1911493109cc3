#include "cli/Workers.h"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <system_error>

extern char** environ;

namespace orvex::cli {

namespace {

// A worker that floods its standard error is still drained, but only this
// much is kept.
constexpr std::size_t kMaxErrorOutput = 64 * 1024;

// Often enough for a progress display's clock to move smoothly.
constexpr int kTickMilliseconds = 250;

struct Running {
    std::size_t task = 0;
    std::size_t step = 0;
    pid_t pid = -1;
    int errorPipe = -1;
    TaskResult result;
};

class SpawnActions {
public:
    SpawnActions() { posix_spawn_file_actions_init(&fActions); }
    ~SpawnActions() { posix_spawn_file_actions_destroy(&fActions); }
    SpawnActions(const SpawnActions&) = delete;
    SpawnActions& operator=(const SpawnActions&) = delete;
    posix_spawn_file_actions_t* get() { return &fActions; }

private:
    posix_spawn_file_actions_t fActions;
};

// Starts the command with its standard error on a new pipe; returns false
// with the reason in `why` when it cannot be started.
bool spawn(const Command& command, Running& running, std::string& why) {
    int pipeEnds[2];
    if (pipe2(pipeEnds, O_CLOEXEC) != 0) {
        why = std::string("cannot start a worker: ") + std::strerror(errno);
        return false;
    }
    SpawnActions actions;
    posix_spawn_file_actions_addopen(actions.get(), STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(actions.get(), STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_adddup2(actions.get(), pipeEnds[1], STDERR_FILENO);
    std::vector<char*> argv;
    for (const std::string& argument : command) argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
    posix_spawnattr_setpgroup(&attributes, 0);
    const int error = posix_spawn(&running.pid, argv[0], actions.get(), &attributes, argv.data(), environ);
    posix_spawnattr_destroy(&attributes);
    close(pipeEnds[1]);
    if (error != 0) {
        close(pipeEnds[0]);
        why = std::string("cannot start a worker: ") + std::strerror(error);
        return false;
    }
    running.errorPipe = pipeEnds[0];
    return true;
}

std::string describeStatus(int status) {
    if (WIFSIGNALED(status)) return "the worker was stopped by signal " + std::to_string(WTERMSIG(status));
    return "the worker ended with status " + std::to_string(WEXITSTATUS(status));
}

}  // namespace

void runTasks(const std::vector<Task>& tasks, unsigned parallel,
              const std::function<void(std::size_t)>& started,
              const std::function<void(std::size_t, TaskResult)>& finished, const std::function<void()>& tick,
              const std::function<bool()>& stopRequested) {
    std::vector<Running> running;
    std::size_t next = 0;

    // Starts the step, or, when there is none left or it cannot start, ends
    // the task. Returns true while the task runs.
    auto startStep = [&](Running& worker) {
        const std::vector<Command>& steps = tasks[worker.task].steps;
        if (worker.step == steps.size()) {
            worker.result.succeeded = true;
            finished(worker.task, std::move(worker.result));
            return false;
        }
        std::string why;
        worker.result.errorOutputs.emplace_back();
        if (spawn(steps[worker.step], worker, why)) return true;
        worker.result.exitStatus = -1;
        worker.result.failure = why;
        finished(worker.task, std::move(worker.result));
        return false;
    };

    while (next < tasks.size() || !running.empty()) {
        if (stopRequested()) {
            for (Running& worker : running) {
                kill(worker.pid, SIGKILL);
                while (waitpid(worker.pid, nullptr, 0) < 0 && errno == EINTR) {
                }
                close(worker.errorPipe);
                worker.result.exitStatus = -1;
                worker.result.failure = "stopped";
                worker.result.stopped = true;
                finished(worker.task, std::move(worker.result));
            }
            return;
        }
        while (running.size() < parallel && next < tasks.size()) {
            Running worker;
            worker.task = next++;
            started(worker.task);
            if (startStep(worker)) running.push_back(std::move(worker));
        }
        if (running.empty()) continue;

        std::vector<pollfd> pipes;
        for (const Running& worker : running) pipes.push_back({worker.errorPipe, POLLIN, 0});
        const int timeout = tick ? kTickMilliseconds : -1;
        const int ready = poll(pipes.data(), pipes.size(), timeout);
        if (ready < 0 && errno != EINTR) throw std::system_error(errno, std::generic_category(), "poll");
        if (ready == 0 && tick) tick();

        // Back to front, so that erasing a worker leaves the indices still
        // to visit in place.
        for (std::size_t i = pipes.size(); i-- > 0;) {
            if (pipes[i].revents == 0) continue;
            Running& worker = running[i];
            char buffer[4096];
            const ssize_t count = read(worker.errorPipe, buffer, sizeof buffer);
            if (count < 0 && errno == EINTR) continue;
            if (count > 0) {
                std::string& output = worker.result.errorOutputs.back();
                const std::size_t room = kMaxErrorOutput - std::min(kMaxErrorOutput, output.size());
                output.append(buffer, std::min(room, static_cast<std::size_t>(count)));
                continue;
            }
            // End of the pipe: the worker has exited or is about to.
            close(worker.errorPipe);
            int status = 0;
            while (waitpid(worker.pid, &status, 0) < 0 && errno == EINTR) {
            }
            bool stillRunning = false;
            if (WIFEXITED(status) && WEXITSTATUS(status) == 0) {
                ++worker.step;
                stillRunning = startStep(worker);
            } else {
                worker.result.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
                worker.result.failure = describeStatus(status);
                finished(worker.task, std::move(worker.result));
            }
            if (!stillRunning) running.erase(running.begin() + static_cast<std::ptrdiff_t>(i));
        }
    }
}

}  // namespace orvex::cli
