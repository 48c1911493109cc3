#ifndef ORVEX_TESTS_CLI_PROGRAMFIXTURE_H
#define ORVEX_TESTS_CLI_PROGRAMFIXTURE_H

// Runs orvex-import as a user runs it, a separate process, in a scratch
// folder of its own for each test.

#include <stb/stb_image.h>

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
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

inline std::string quoted(const std::string& text) {
    std::string result = "'";
    for (char c : text) result += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return result + "'";
}

// Every file under the folder, relative to it, in path order.
inline std::vector<fs::path> filesUnder(const fs::path& directory) {
    std::vector<fs::path> files;
    for (const auto& entry : fs::recursive_directory_iterator(directory)) {
        if (entry.is_regular_file()) files.push_back(fs::relative(entry.path(), directory));
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

    Outcome run(const std::vector<std::string>& arguments) const {
        std::string command = quoted(ORVEX_PROGRAM);
        for (const std::string& argument : arguments) command += " " + quoted(argument);
        const fs::path out = scratch_ / "stdout.txt", err = scratch_ / "stderr.txt";
        command += " >" + quoted(out.string()) + " 2>" + quoted(err.string()) + " </dev/null";
        const int raw = std::system(command.c_str());
        return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, readText(out), readText(err)};
    }

    fs::path out(const std::string& name) const { return scratch_ / "out" / name; }

    fs::path scratch_;
};

}  // namespace orvex::testing

#endif
