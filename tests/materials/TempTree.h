#ifndef ORVEX_TESTS_MATERIALS_TEMPTREE_H
#define ORVEX_TESTS_MATERIALS_TEMPTREE_H

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>

namespace orvex::test {

// A folder of files and folders made on disk for one test, removed with
// everything in it when the test ends.
class TempTree {
public:
    // Named after the running test, so that tests run side by side never share one.
    TempTree() {
        const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
        fRoot = (std::filesystem::temp_directory_path() /
                 (std::string("orvex-") + test->test_suite_name() + "-" + test->name()))
                    .string();
        std::filesystem::remove_all(fRoot);
        if (!std::filesystem::create_directories(fRoot)) {
            throw std::runtime_error("cannot make a temporary folder");
        }
    }
    ~TempTree() {
        std::error_code error;
        std::filesystem::remove_all(fRoot, error);
    }
    TempTree(const TempTree&) = delete;
    TempTree& operator=(const TempTree&) = delete;

    const std::string& root() const { return fRoot; }

    // The root as a game names it: backslashes only, ending with one.
    std::string gameRoot() const {
        std::string root = fRoot + "/";
        std::replace(root.begin(), root.end(), '/', '\\');
        return root;
    }

    // A file, or a folder when the name ends with "/", with the folders above it.
    void add(const std::string& relative) const {
        const std::filesystem::path path = std::filesystem::path(fRoot) / relative;
        std::filesystem::create_directories(path.parent_path());
        if (relative.back() != '/') {
            std::ofstream(path).put('x');
        }
    }

private:
    std::string fRoot;
};

}  // namespace orvex::test

#endif
