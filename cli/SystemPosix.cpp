#include "cli/System.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>

namespace orvex::cli {

namespace {

volatile std::sig_atomic_t gStopSignal = 0;
// The handler also writes a byte here: a wait for the workers that began
// just after the flag was last looked at ends at once, instead of when a
// worker next says something or ends.
int gStopPipe[2] = {-1, -1};

void recordStop(int signal) {
    gStopSignal = signal;
    if (gStopPipe[1] >= 0) {
        const int saved = errno;
        [[maybe_unused]] const ssize_t written = write(gStopPipe[1], "", 1);
        errno = saved;
    }
}

}  // namespace

std::vector<std::string> programArguments(int argc, char** argv) {
    return std::vector<std::string>(argv, argv + argc);
}

std::string programPath() {
    std::error_code error;
    const std::filesystem::path path = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::string() : path.u8string();
}

void prepareConsole() {}

void failWritesPastTheSizeLimit() {
    std::signal(SIGXFSZ, SIG_IGN);
}

std::optional<FileTime> lastWriteTime(const std::string& path) {
    std::error_code error;
    const std::filesystem::file_time_type time =
        std::filesystem::last_write_time(std::filesystem::u8path(path), error);
    if (error) return std::nullopt;
    return std::chrono::duration_cast<FileTime>(time.time_since_epoch());
}

FileTime fileTimeNow() {
    return std::chrono::duration_cast<FileTime>(
        std::filesystem::file_time_type::clock::now().time_since_epoch());
}

std::string nameKey(const std::string& path) {
    return path;
}

std::string withoutVerbatimPrefix(const std::string& path) {
    return path;
}

std::optional<std::string> makeNewFolder(const std::string& parent, const std::string& prefix,
                                         std::string& why) {
    std::string pattern =
        (std::filesystem::u8path(parent) / std::filesystem::u8path(prefix + "-XXXXXX")).u8string();
    if (mkdtemp(pattern.data()) == nullptr) {
        why = pattern + ": cannot make a folder: " + std::strerror(errno);
        return std::nullopt;
    }
    return pattern;
}

bool errorOutputIsTerminal() {
    return isatty(STDERR_FILENO) != 0;
}

int terminalColumns() {
    winsize size{};
    return ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0 ? size.ws_col : 80;
}

bool errorOutputAbandoned() {
    pollfd output{STDERR_FILENO, 0, 0};
    return poll(&output, 1, 0) == 1 && (output.revents & (POLLERR | POLLHUP)) != 0;
}

void catchStopRequests() {
    if (gStopPipe[0] < 0 && pipe2(gStopPipe, O_CLOEXEC | O_NONBLOCK) != 0) gStopPipe[0] = gStopPipe[1] = -1;
    struct sigaction action {};
    action.sa_handler = recordStop;
    sigemptyset(&action.sa_mask);
    // No SA_RESTART: a wait for the workers returns at once with EINTR.
    action.sa_flags = 0;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    // The terminal closing, or the session over ssh dropping, stops the
    // batch as the other requests do, with its summary and report; unless
    // the batch was started to outlive them (nohup), with hang-ups ignored.
    struct sigaction hangUp {};
    if (sigaction(SIGHUP, nullptr, &hangUp) == 0 && hangUp.sa_handler != SIG_IGN)
        sigaction(SIGHUP, &action, nullptr);
}

int stopRequest() {
    const int signal = gStopSignal;
    return signal == 0 ? 0 : 128 + signal;
}

int stopRequestPipe() {
    return gStopPipe[0];
}

}  // namespace orvex::cli
