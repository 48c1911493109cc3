#ifndef ORVEX_FUZZ_FUZZSUPPORT_H
#define ORVEX_FUZZ_FUZZSUPPORT_H

// What the fuzz targets share: the input as a file, since the importer reads
// paths, and a check that stops the run the way a crash does.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include <unistd.h>

namespace orvex::fuzz {

// Ends the run with a report that libFuzzer records like any crash.
inline void require(bool holds, const char* what) {
    if (holds) return;
    std::fprintf(stderr, "invariant broken: %s\n", what);
    std::abort();
}

// Where the targets write: a folder in memory where the system has one
// (Linux's /dev/shm), so that what the code under test writes and reads back
// costs no file system of a disk and no flush; else the temporary folder.
inline std::filesystem::path memoryFolder() {
    std::error_code error;
    if (std::filesystem::is_directory("/dev/shm", error)) return "/dev/shm";
    return std::filesystem::temp_directory_path();
}

// A directory named content, so that every load derives a content root, of
// its own per process, as libFuzzer's -fork and -jobs run several side by
// side.
class InputFile {
public:
    InputFile() {
        const std::filesystem::path content =
            memoryFolder() / ("orvex-fuzz-" + std::to_string(getpid())) / "content";
        std::filesystem::create_directories(content);
        path_ = (content / "input.model").string();
    }
    ~InputFile() {
        std::error_code ignored;
        std::filesystem::remove_all(std::filesystem::path(path_).parent_path().parent_path(), ignored);
    }
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;

    const std::string& path() const { return path_; }

    const std::string& write(const std::uint8_t* data, std::size_t size) const {
        std::FILE* file = std::fopen(path_.c_str(), "wb");
        require(file != nullptr, "the input file can be created");
        const bool written = size == 0 || std::fwrite(data, 1, size, file) == size;
        require(std::fclose(file) == 0 && written, "the input file can be written");
        return path_;
    }

private:
    std::string path_;
};

}  // namespace orvex::fuzz

#endif
