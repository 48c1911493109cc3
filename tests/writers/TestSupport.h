#ifndef ORVEX_TESTS_WRITERS_TESTSUPPORT_H
#define ORVEX_TESTS_WRITERS_TESTSUPPORT_H

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

namespace orvex::writers::testing {

// A fresh directory for one test, removed with everything in it afterwards.
class TempDirectory {
public:
    // A name not yet taken, so that tests run side by side, or a test that
    // makes two, never share one.
    TempDirectory() {
        std::random_device random;
        const std::filesystem::path base = ::testing::TempDir();
        for (int attempt = 0; attempt < 100 && fPath.empty(); ++attempt) {
            const std::filesystem::path candidate = base / ("orvex-writers-" + std::to_string(random()));
            if (std::filesystem::create_directories(candidate)) fPath = candidate;
        }
        if (fPath.empty()) throw std::runtime_error("cannot make a temporary folder under " + base.string());
    }
    ~TempDirectory() {
        std::error_code ignored;
        std::filesystem::remove_all(fPath, ignored);
    }
    TempDirectory(const TempDirectory&) = delete;
    TempDirectory& operator=(const TempDirectory&) = delete;

    std::string file(const std::string& name) const { return (fPath / name).string(); }

    // The names of the entries, sorted.
    std::vector<std::string> entries() const {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(fPath)) {
            names.push_back(entry.path().filename().string());
        }
        std::sort(names.begin(), names.end());
        return names;
    }

private:
    std::filesystem::path fPath;
};

constexpr std::uint32_t kRgbFlags = 0x40;
constexpr std::uint32_t kRgbaFlags = 0x41;
constexpr std::uint32_t kFourCcFlags = 0x4;

inline void putU32(std::vector<std::uint8_t>& bytes, std::size_t offset, std::uint32_t value) {
    for (std::size_t i = 0; i < 4; ++i) bytes[offset + i] = std::uint8_t(value >> (8 * i));
}

inline std::uint32_t fourCc(const char* code) {
    std::uint32_t value;
    std::memcpy(&value, code, 4);
    return value;
}

struct PixelFormat {
    std::uint32_t flags;
    std::uint32_t fourCc;
    std::uint32_t bitCount;
    std::array<std::uint32_t, 4> masks;  // red, green, blue, alpha
};

// A DDS header of one mip level, followed by the given level data.
inline std::vector<std::uint8_t> ddsFile(std::uint32_t width, std::uint32_t height, const PixelFormat& format,
                                         const std::vector<std::uint8_t>& data) {
    std::vector<std::uint8_t> bytes(128);
    std::memcpy(bytes.data(), "DDS ", 4);
    putU32(bytes, 4, 124);
    putU32(bytes, 8, 0x1007);  // caps, height, width, pixel format
    putU32(bytes, 12, height);
    putU32(bytes, 16, width);
    putU32(bytes, 28, 1);
    putU32(bytes, 76, 32);
    putU32(bytes, 80, format.flags);
    putU32(bytes, 84, format.fourCc);
    putU32(bytes, 88, format.bitCount);
    for (std::size_t i = 0; i < 4; ++i) putU32(bytes, 92 + 4 * i, format.masks[i]);
    putU32(bytes, 108, 0x1000);
    bytes.insert(bytes.end(), data.begin(), data.end());
    return bytes;
}

inline std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

inline void writeFile(const std::string& path, std::string_view bytes) {
    std::ofstream(path, std::ios::binary).write(bytes.data(), std::streamsize(bytes.size()));
}

inline void writeFile(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    writeFile(path, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

}  // namespace orvex::writers::testing

#endif
