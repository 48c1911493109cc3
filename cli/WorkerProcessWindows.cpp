#include "cli/WorkerProcess.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <system_error>
#include <thread>

namespace orvex::cli {

namespace {

// Often enough for a progress display's clock to move smoothly, and for a
// request to stop, which wakes no wait on Windows, to be seen at once.
constexpr DWORD kTickMilliseconds = 250;

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

struct WorkerProcess::State {
    HANDLE process = nullptr;
    std::thread reader;  // drains standard error into `errorOutput` until the worker's end of the pipe closes
    std::string errorOutput;

    // A worker whose output nobody took is one the batch gave up on.
    ~State() {
        if (reader.joinable()) {
            TerminateProcess(process, 1);
            reader.join();
        }
        CloseHandle(process);
    }
};

WorkerProcess::WorkerProcess(std::unique_ptr<State> state) : fState(std::move(state)) {}

WorkerProcess::~WorkerProcess() = default;

std::unique_ptr<WorkerProcess> WorkerProcess::start(const Command& command, std::string& why) {
    HANDLE readEnd = nullptr;
    HANDLE writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, nullptr, 0)) {
        why = "cannot start a worker: " + describeError(GetLastError());
        return nullptr;
    }
    // Only the handles a worker must have are inheritable, and only until
    // it has them: workers start one at a time on this thread, so none
    // inherits another's end of a pipe and holds it open past its exit.
    SetHandleInformation(writeEnd, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
    SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    const HANDLE nothing =
        CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inheritable,
                    OPEN_EXISTING, 0, nullptr);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = nothing;
    startup.hStdOutput = nothing;
    startup.hStdError = writeEnd;
    std::wstring line = commandLine(command);
    PROCESS_INFORMATION info{};
    // Detached from the console, so that Ctrl-C reaches only this process.
    const BOOL started = CreateProcessW(wide(command.front()).c_str(), line.data(), nullptr, nullptr, TRUE,
                                        DETACHED_PROCESS, nullptr, nullptr, &startup, &info);
    const DWORD failure = GetLastError();
    CloseHandle(writeEnd);
    if (nothing != INVALID_HANDLE_VALUE) CloseHandle(nothing);
    if (!started) {
        CloseHandle(readEnd);
        why = "cannot start a worker: " + describeError(failure);
        return nullptr;
    }
    CloseHandle(info.hThread);
    auto state = std::make_unique<State>();
    state->process = info.hProcess;
    state->reader = std::thread(drain, readEnd, &state->errorOutput);
    return std::unique_ptr<WorkerProcess>(new WorkerProcess(std::move(state)));
}

void WorkerProcess::kill() {
    TerminateProcess(fState->process, 1);
    WaitForSingleObject(fState->process, INFINITE);
}

std::string WorkerProcess::takeErrorOutput() {
    if (fState->reader.joinable()) fState->reader.join();
    // The worker wrote text, its line ends turned into "\r\n", which this
    // process's own text output would turn into "\r\r\n".
    std::string output;
    for (const char c : fState->errorOutput) {
        if (c == '\n' && !output.empty() && output.back() == '\r') output.pop_back();
        output += c;
    }
    return output;
}

std::vector<WorkerProcess::Ended> WorkerProcess::waitForAny(const std::vector<WorkerProcess*>& workers, bool,
                                                            bool& ticked) {
    // One wait takes at most 64 handles; workers past those are looked at
    // once a tick.
    std::vector<HANDLE> processes;
    for (std::size_t i = 0; i < workers.size() && i < MAXIMUM_WAIT_OBJECTS; ++i)
        processes.push_back(workers[i]->fState->process);
    const DWORD woke = WaitForMultipleObjects(static_cast<DWORD>(processes.size()), processes.data(), FALSE,
                                              kTickMilliseconds);
    if (woke == WAIT_FAILED)
        throw std::system_error(static_cast<int>(GetLastError()), std::system_category(),
                                "WaitForMultipleObjects");
    ticked = woke == WAIT_TIMEOUT;

    std::vector<Ended> ended;
    for (std::size_t i = 0; i < workers.size(); ++i) {
        const HANDLE process = workers[i]->fState->process;
        if (WaitForSingleObject(process, 0) != WAIT_OBJECT_0) continue;
        DWORD status = 0;
        GetExitCodeProcess(process, &status);
        ended.push_back({i, status <= 255 ? static_cast<int>(status) : -1,
                         status == 0 ? std::string() : describeStatus(status)});
    }
    return ended;
}

}  // namespace orvex::cli
