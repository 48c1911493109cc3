#ifndef ORVEX_TESTS_MATERIALS_TEMPTREE_H
#define ORVEX_TESTS_MATERIALS_TEMPTREE_H

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
    TempTree() {
        std::string pattern = (std::filesystem::temp_directory_path() / "orvex-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) {
            throw std::runtime_error("cannot make a temporary folder");
        }
        fRoot = pattern;
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
