#include "cli/WorkerProcess.h"

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

// SystemPosix.cpp: readable once a request to stop has come, -1 before
// requests are caught.
int stopRequestPipe();

namespace {

// Often enough for a progress display's clock to move smoothly.
constexpr int kTickMilliseconds = 250;

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

std::string describeStatus(int status) {
    if (WIFSIGNALED(status)) return "the worker was stopped by signal " + std::to_string(WTERMSIG(status));
    return "the worker ended with status " + std::to_string(WEXITSTATUS(status));
}

}  // namespace

struct WorkerProcess::State {
    State(pid_t started, int pipe) : pid(started), errorPipe(pipe) {}
    State(const State&) = delete;
    State& operator=(const State&) = delete;

    // A worker that has not ended is one the batch gave up on.
    ~State() {
        if (errorPipe >= 0) close(errorPipe);
        if (!reaped) {
            ::kill(pid, SIGKILL);
            reap();
        }
    }

    const pid_t pid;
    bool reaped = false;
    int errorPipe;  // -1 once the worker has closed its end
    std::string errorOutput;

    int reap() {
        int status = 0;
        while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
        reaped = true;
        return status;
    }
};

WorkerProcess::WorkerProcess(std::unique_ptr<State> state) : fState(std::move(state)) {}

WorkerProcess::~WorkerProcess() = default;

std::unique_ptr<WorkerProcess> WorkerProcess::start(const Command& command, std::string& why) {
    int pipeEnds[2];
    if (pipe2(pipeEnds, O_CLOEXEC) != 0) {
        why = std::string("cannot start a worker: ") + std::strerror(errno);
        return nullptr;
    }
    SpawnActions actions;
    posix_spawn_file_actions_addopen(actions.get(), STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(actions.get(), STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_adddup2(actions.get(), pipeEnds[1], STDERR_FILENO);
    std::vector<char*> argv;
    for (const std::string& argument : command) argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    // A process group of its own: an interrupt typed at the terminal goes
    // to the terminal's foreground group, this process's alone.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
    posix_spawnattr_setpgroup(&attributes, 0);
    pid_t pid = -1;
    const int error = posix_spawn(&pid, argv[0], actions.get(), &attributes, argv.data(), environ);
    posix_spawnattr_destroy(&attributes);
    close(pipeEnds[1]);
    if (error != 0) {
        close(pipeEnds[0]);
        why = std::string("cannot start a worker: ") + std::strerror(error);
        return nullptr;
    }
    return std::unique_ptr<WorkerProcess>(new WorkerProcess(std::make_unique<State>(pid, pipeEnds[0])));
}

void WorkerProcess::kill() {
    ::kill(fState->pid, SIGKILL);
    fState->reap();
}

std::string WorkerProcess::takeErrorOutput() {
    return std::move(fState->errorOutput);
}

std::vector<WorkerProcess::Ended> WorkerProcess::waitForAny(const std::vector<WorkerProcess*>& workers,
                                                            bool tick, bool& ticked) {
    std::vector<pollfd> pipes;
    for (const WorkerProcess* worker : workers) pipes.push_back({worker->fState->errorPipe, POLLIN, 0});
    // Last, so that the workers' indices stay theirs; a negative descriptor is passed over.
    pipes.push_back({stopRequestPipe(), POLLIN, 0});
    const int ready = poll(pipes.data(), pipes.size(), tick ? kTickMilliseconds : -1);
    if (ready < 0 && errno != EINTR) throw std::system_error(errno, std::generic_category(), "poll");
    ticked = ready == 0;

    std::vector<Ended> ended;
    for (std::size_t i = 0; i < workers.size(); ++i) {
        if (pipes[i].revents == 0) continue;
        State& state = *workers[i]->fState;
        char buffer[4096];
        const ssize_t count = read(state.errorPipe, buffer, sizeof buffer);
        if (count < 0 && errno == EINTR) continue;
        if (count > 0) {
            const std::size_t room = kMaxErrorOutput - std::min(kMaxErrorOutput, state.errorOutput.size());
            state.errorOutput.append(buffer, std::min(room, static_cast<std::size_t>(count)));
            continue;
        }
        // End of the pipe: the worker has exited or is about to.
        close(state.errorPipe);
        state.errorPipe = -1;
        const int status = state.reap();
        const bool succeeded = WIFEXITED(status) && WEXITSTATUS(status) == 0;
        ended.push_back({i, WIFEXITED(status) ? WEXITSTATUS(status) : -1,
                         succeeded ? std::string() : describeStatus(status)});
    }
    return ended;
}

}  // namespace orvex::cli
