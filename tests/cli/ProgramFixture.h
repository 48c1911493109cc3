#ifndef ORVEX_TESTS_CLI_PROGRAMFIXTURE_H
#define ORVEX_TESTS_CLI_PROGRAMFIXTURE_H

// Runs orvex-import as a user runs it, a separate process, in a scratch
// folder of its own for each test.

#include <stb/stb_image.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#if defined(_WIN32)
#include <windows.h>
#else
#include <sys/wait.h>
#endif

#include <algorithm>
#include <array>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <string>
#include <system_error>
#include <vector>

namespace orvex::testing {

namespace fs = std::filesystem;

inline const fs::path kSample = fs::path(ORVEX_SOURCE_DIR) / "samples" / "content" / "meshes" / "yard.model";

struct Outcome {
    int status;
    std::string out;
    std::string err;
};

inline std::string readText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

#if defined(_WIN32)
// Runs the command with standard input from nothing and its two outputs
// into the files, in the folder `in` (empty: this process's own); returns
// its exit status, or -1 when it cannot start, with the reason in `err`.
inline int runProcess(const std::vector<std::string>& command, const fs::path& out, const fs::path& err,
                      const fs::path& in = {}) {
    SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    auto open = [&](const fs::path& path, DWORD access, DWORD disposition) {
        return CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, &inheritable, disposition,
                           0, nullptr);
    };
    // Quoted as the C runtime splits a line: the test's arguments hold no
    // quotes, and backslashes only before the closing one are doubled.
    std::wstring line;
    for (const std::string& argument : command) {
        const std::wstring wide = fs::u8path(argument).wstring();
        const std::size_t trailing = wide.size() - std::min(wide.size(), wide.find_last_not_of(L'\\') + 1);
        line += L"\"" + wide + std::wstring(trailing, L'\\') + L"\" ";
    }
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = open(L"NUL", GENERIC_READ, OPEN_EXISTING);
    startup.hStdOutput = open(out, GENERIC_WRITE, CREATE_ALWAYS);
    startup.hStdError = open(err, GENERIC_WRITE, CREATE_ALWAYS);
    PROCESS_INFORMATION process{};
    const BOOL started = CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                        in.empty() ? nullptr : in.c_str(), &startup, &process);
    const DWORD whyNot = GetLastError();
    for (HANDLE handle : {startup.hStdInput, startup.hStdOutput, startup.hStdError}) CloseHandle(handle);
    if (!started) {
        // In place of the program's own line, for the failing test to show.
        std::ofstream(err, std::ios::binary)
            << "cannot start " << command.front() << ": " << std::system_category().message(int(whyNot)) << "\n";
        return -1;
    }
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD status = 0;
    GetExitCodeProcess(process.hProcess, &status);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    return static_cast<int>(status);
}
#else
inline std::string quoted(const std::string& text) {
    std::string result = "'";
    for (char c : text) result += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return result + "'";
}

inline int runProcess(const std::vector<std::string>& command, const fs::path& out, const fs::path& err,
                      const fs::path& in = {}) {
    std::string line = in.empty() ? std::string() : "cd " + quoted(in.string()) + " && ";
    for (const std::string& argument : command) line += quoted(argument) + " ";
    line += ">" + quoted(out.string()) + " 2>" + quoted(err.string()) + " </dev/null";
    const int raw = std::system(line.c_str());
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
}
#endif

// The path with the system's own separator, as the program prints paths it
// puts together.
inline std::string native(const std::string& path) {
    return fs::path(path).make_preferred().string();
}

// The program's lines, with Windows' text-mode line ends read as "\n".
inline std::string lineText(std::string text) {
    for (std::size_t at = text.find("\r\n"); at != std::string::npos; at = text.find("\r\n", at))
        text.erase(at, 1);
    return text;
}

// One line that the program wrote, naming itself first; googletest's own
// regular expressions take no character classes on Windows.
MATCHER_P(IsOneLine, pattern, "") {
    return std::regex_match(arg, std::regex(std::string("orvex-import: ") + pattern + "\n"));
}

// Where a batch keeps its records of what each output was made from.
inline const fs::path kRecordFolder = ".orvex-import";

// Every file under the folder, relative to it, in path order, apart from a
// batch's records.
inline std::vector<fs::path> filesUnder(const fs::path& directory) {
    std::vector<fs::path> files;
    for (auto entry = fs::recursive_directory_iterator(directory); entry != fs::recursive_directory_iterator();
         ++entry) {
        if (entry->path().filename() == kRecordFolder) {
            entry.disable_recursion_pending();
        } else if (entry->is_regular_file()) {
            files.push_back(fs::relative(entry->path(), directory));
        }
    }
    std::sort(files.begin(), files.end());
    return files;
}

using Rgb = std::array<int, 3>;

struct Picture {
    int width = 0;
    int height = 0;
    std::vector<unsigned char> rgba;

    Rgb at(int x, int y) const {
        const unsigned char* p = &rgba[(static_cast<std::size_t>(y) * width + x) * 4];
        return {p[0], p[1], p[2]};
    }
};

// The PNG's pixels; an empty picture when it cannot be read.
inline Picture readPng(const fs::path& path) {
    Picture picture;
    int channels = 0;
    stbi_uc* pixels = stbi_load(path.string().c_str(), &picture.width, &picture.height, &channels, 4);
    if (pixels == nullptr) return {};
    picture.rgba.assign(pixels, pixels + static_cast<std::size_t>(picture.width) * picture.height * 4);
    stbi_image_free(pixels);
    return picture;
}

class ProgramTest : public ::testing::Test {
protected:
    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        scratch_ = fs::path(::testing::TempDir()) / "program" / info->test_suite_name() / info->name();
        fs::remove_all(scratch_);
        fs::create_directories(scratch_ / "out");
    }

    // Runs the program in the folder `in`, or in this process's own.
    Outcome run(const std::vector<std::string>& arguments, const fs::path& in = {}) const {
        std::vector<std::string> command{ORVEX_PROGRAM};
        command.insert(command.end(), arguments.begin(), arguments.end());
        const fs::path out = scratch_ / "stdout.txt", err = scratch_ / "stderr.txt";
        const int status = runProcess(command, out, err, in);
        return {status, lineText(readText(out)), lineText(readText(err))};
    }

    fs::path out(const std::string& name) const { return scratch_ / "out" / name; }

    fs::path scratch_;
};

}  // namespace orvex::testing

#endif
