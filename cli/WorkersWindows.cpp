#include "cli/Workers.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <system_error>
#include <thread>

namespace orvex::cli {

namespace {

// A worker that floods its standard error is still drained, but only this
// much is kept.
constexpr std::size_t kMaxErrorOutput = 64 * 1024;

// Often enough for a progress display's clock to move smoothly, and for a
// request to stop, which wakes no wait on Windows, to be seen at once.
constexpr DWORD kTickMilliseconds = 250;

struct Running {
    std::size_t task = 0;
    std::size_t step = 0;
    HANDLE process = nullptr;
    std::thread reader;  // drains the step's standard error into `output`
    std::string output;
    TaskResult result;
};

std::string describeError(DWORD error) {
    return std::system_category().message(static_cast<int>(error));
}

std::wstring wide(const std::string& text) {
    const int size = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring result(static_cast<std::size_t>(size), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), result.data(), size);
    return result;
}

// Quoted so that the C runtime's rules split the line back into the same
// arguments: backslashes are literal except before a quote, where each one
// must be doubled.
void appendArgument(std::wstring& line, const std::wstring& argument) {
    if (!argument.empty() && argument.find_first_of(L" \t\n\v\"") == std::wstring::npos) {
        line += argument;
        return;
    }
    line += L'"';
    std::size_t backslashes = 0;
    for (const wchar_t c : argument) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        line.append(c == L'"' ? 2 * backslashes + 1 : backslashes, L'\\');
        line += c;
        backslashes = 0;
    }
    line.append(2 * backslashes, L'\\');
    line += L'"';
}

std::wstring commandLine(const Command& command) {
    std::wstring line;
    for (const std::string& argument : command) {
        if (!line.empty()) line += L' ';
        appendArgument(line, wide(argument));
    }
    return line;
}

void drain(HANDLE pipe, std::string* output) {
    char buffer[4096];
    DWORD count = 0;
    while (ReadFile(pipe, buffer, sizeof buffer, &count, nullptr) && count > 0) {
        const std::size_t room = kMaxErrorOutput - std::min(kMaxErrorOutput, output->size());
        output->append(buffer, std::min<std::size_t>(room, count));
    }
    CloseHandle(pipe);
}

// Starts the command with its standard error on a new pipe; returns false
// with the reason in `why` when it cannot be started.
bool spawn(const Command& command, Running& worker, std::string& why) {
    HANDLE readEnd = nullptr;
    HANDLE writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, nullptr, 0)) {
        why = "cannot start a worker: " + describeError(GetLastError());
        return false;
    }
    // Only the handles a worker must have are inheritable, and only until
    // it has them: workers start one at a time on this thread, so none
    // inherits another's end of a pipe and holds it open past its exit.
    SetHandleInformation(writeEnd, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
    SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    const HANDLE nothing = CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                       &inheritable, OPEN_EXISTING, 0, nullptr);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = nothing;
    startup.hStdOutput = nothing;
    startup.hStdError = writeEnd;
    std::wstring line = commandLine(command);
    PROCESS_INFORMATION info{};
    // Detached from the console, so that Ctrl-C reaches only this process,
    // which then stops the workers itself.
    const BOOL started = CreateProcessW(wide(command.front()).c_str(), line.data(), nullptr, nullptr, TRUE,
                                        DETACHED_PROCESS, nullptr, nullptr, &startup, &info);
    const DWORD failure = GetLastError();
    CloseHandle(writeEnd);
    if (nothing != INVALID_HANDLE_VALUE) CloseHandle(nothing);
    if (!started) {
        CloseHandle(readEnd);
        why = "cannot start a worker: " + describeError(failure);
        return false;
    }
    CloseHandle(info.hThread);
    worker.process = info.hProcess;
    worker.output.clear();
    worker.reader = std::thread(drain, readEnd, &worker.output);
    return true;
}

// Waits for the ended worker's last words and lets go of its process.
DWORD collect(Running& worker) {
    worker.reader.join();
    // The worker wrote text, its line ends turned into "\r\n", which this
    // process's own text output would turn into "\r\r\n".
    std::string& output = worker.result.errorOutputs.back();
    for (const char c : worker.output) {
        if (c == '\n' && !output.empty() && output.back() == '\r') output.pop_back();
        output += c;
    }
    DWORD status = 0;
    GetExitCodeProcess(worker.process, &status);
    CloseHandle(worker.process);
    worker.process = nullptr;
    return status;
}

std::string describeStatus(DWORD status) {
    // Statuses from 0xC0000000 up are the system's exceptions: a crash.
    if (status >= 0xC0000000) {
        char code[16];
        std::snprintf(code, sizeof code, "0x%08lX", static_cast<unsigned long>(status));
        return std::string("the worker crashed with exception ") + code;
    }
    return "the worker ended with status " + std::to_string(status);
}

}  // namespace

void runTasks(const std::vector<Task>& tasks, unsigned parallel,
              const std::function<void(std::size_t)>& started,
              const std::function<void(std::size_t, TaskResult)>& finished, const std::function<void()>& tick,
              const std::function<bool()>& stopRequested) {
    // Each worker's reader thread holds the address of its output.
    std::vector<std::unique_ptr<Running>> running;
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
            for (const std::unique_ptr<Running>& worker : running) {
                TerminateProcess(worker->process, 1);
                WaitForSingleObject(worker->process, INFINITE);
                collect(*worker);
                worker->result.exitStatus = -1;
                worker->result.failure = "stopped";
                worker->result.stopped = true;
                finished(worker->task, std::move(worker->result));
            }
            return;
        }
        while (running.size() < parallel && next < tasks.size()) {
            auto worker = std::make_unique<Running>();
            worker->task = next++;
            started(worker->task);
            if (startStep(*worker)) running.push_back(std::move(worker));
        }
        if (running.empty()) continue;

        // One wait takes at most 64 handles; workers past those are looked
        // at once a tick.
        std::vector<HANDLE> processes;
        for (std::size_t i = 0; i < running.size() && i < MAXIMUM_WAIT_OBJECTS; ++i)
            processes.push_back(running[i]->process);
        const DWORD woke = WaitForMultipleObjects(static_cast<DWORD>(processes.size()), processes.data(), FALSE,
                                                  kTickMilliseconds);
        if (woke == WAIT_FAILED)
            throw std::system_error(static_cast<int>(GetLastError()), std::system_category(), "WaitForMultipleObjects");
        if (woke == WAIT_TIMEOUT && tick) tick();

        // Back to front, so that erasing a worker leaves the indices still
        // to visit in place.
        for (std::size_t i = running.size(); i-- > 0;) {
            Running& worker = *running[i];
            if (WaitForSingleObject(worker.process, 0) != WAIT_OBJECT_0) continue;
            const DWORD status = collect(worker);
            bool stillRunning = false;
            if (status == 0) {
                ++worker.step;
                stillRunning = startStep(worker);
            } else {
                worker.result.exitStatus = status <= 255 ? static_cast<int>(status) : -1;
                worker.result.failure = describeStatus(status);
                finished(worker.task, std::move(worker.result));
            }
            if (!stillRunning) running.erase(running.begin() + static_cast<std::ptrdiff_t>(i));
        }
    }
}

}  // namespace orvex::cli
