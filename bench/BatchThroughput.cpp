// Files per second of a batch of small files, converted to GLB by
// orvex-import at -j 1 and -j 2, against one process that imports and
// writes the same files in turn (the plug-in loaded once, a new scene for
// each file, its textures on every core). Every run converts every file
// (--overwrite), into a new folder. The files are the sample model copied
// FILES times into a content tree with its small textures, or the models of
// a content tree that orvex-bench-textures wrote, with textures of a game's
// size.
// With BEFORE, another build's orvex-import (its plug-in beside it) also
// converts the files at -j 1 and -j 2, side by side.
//   orvex-bench-batch WORKDIR FILES [BEFORE]
//   orvex-bench-batch WORKDIR --tree CONTENT [BEFORE]

#include "writers/SceneWriter.h"

#include <standin/PluginHost.h>
#include <standin/Scene.h>

#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

std::vector<std::string> makeTree(const fs::path& content, int files) {
    const fs::path sample = fs::path(ORVEX_SOURCE_DIR) / "samples" / "content";
    fs::create_directories(content);
    fs::copy(sample / "textures", content / "textures", fs::copy_options::recursive);
    std::vector<std::string> paths;
    for (int i = 0; i < files; ++i) {
        const fs::path folder = content / "meshes" / ("d" + std::to_string(i / 100));
        fs::create_directories(folder);
        paths.push_back((folder / ("yard" + std::to_string(i) + ".model")).string());
        fs::copy_file(sample / "meshes" / "yard.model", paths.back());
    }
    return paths;
}

std::vector<std::string> modelsOf(const fs::path& content) {
    std::vector<std::string> paths;
    for (const auto& entry : fs::recursive_directory_iterator(content)) {
        if (entry.path().extension() == ".model") paths.push_back(entry.path().string());
    }
    std::sort(paths.begin(), paths.end());
    return paths;
}

double inProcess(const std::vector<std::string>& paths, const fs::path& out) {
    fs::create_directories(out);
    const auto start = Clock::now();
    std::string whyNot;
    const std::unique_ptr<standin::LoadedPlugin> plugin = standin::LoadedPlugin::load(ORVEX_PLUGIN, whyNot);
    if (!plugin) {
        std::fprintf(stderr, "%s\n", whyNot.c_str());
        std::exit(1);
    }
    for (std::size_t i = 0; i < paths.size(); ++i) {
        standin::newScene();
        if (plugin->importFile(paths[i]).status != MStatus::kSuccess) {
            std::fprintf(stderr, "%s: import failed\n", paths[i].c_str());
            std::exit(1);
        }
        orvex::writers::writeScene(standin::currentScene(), (out / (std::to_string(i) + ".glb")).string());
    }
    return std::chrono::duration<double>(Clock::now() - start).count();
}

double batch(const std::string& program, const fs::path& content, const fs::path& out, int jobs) {
    fs::remove_all(out);
    const std::string command = "'" + program + "' '" + content.string() + "' -o '" + out.string() +
                                "' --format glb --overwrite -j " + std::to_string(jobs) + " 2>/dev/null";
    const auto start = Clock::now();
    const int status = std::system(command.c_str());
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "the batch failed: %s\n", command.c_str());
        std::exit(1);
    }
    return seconds;
}

}  // namespace

int main(int argc, char** argv) {
    const bool tree = argc >= 4 && std::string(argv[2]) == "--tree";
    const int given = tree ? 4 : 3;
    if (argc != given && argc != given + 1) {
        std::fprintf(stderr, "usage: %s WORKDIR FILES [BEFORE] | %s WORKDIR --tree CONTENT [BEFORE]\n", argv[0],
                     argv[0]);
        return 2;
    }
    const std::string before = argc == given + 1 ? argv[given] : "";
    const fs::path work = argv[1];
    const fs::path content = tree ? fs::path(argv[3]) : work / "game" / "content";
    const std::vector<std::string> paths = tree ? modelsOf(content) : makeTree(content, std::atoi(argv[2]));
    const auto files = static_cast<double>(paths.size());
    const double one = inProcess(paths, work / "in-process");
    const double j1 = batch(ORVEX_PROGRAM, content, work / "j1", 1);
    const double j2 = batch(ORVEX_PROGRAM, content, work / "j2", 2);
    const double beforeJ1 = before.empty() ? 0 : batch(before, content, work / "before-j1", 1);
    const double beforeJ2 = before.empty() ? 0 : batch(before, content, work / "before-j2", 2);
    const std::string title = "conversion of " + std::to_string(paths.size()) +
                              (tree ? " models with 2048x2048 textures" : " sample models");
    std::printf("%-44s %9s %14s\n", title.c_str(), "files/s", "/ one process");
    std::printf("%-44s %9.2f %14.3f\n", "one process, in turn", files / one, 1.0);
    std::printf("%-44s %9.2f %14.3f\n", "orvex-import batch -j 1", files / j1, one / j1);
    std::printf("%-44s %9.2f %14.3f\n", "orvex-import batch -j 2", files / j2, one / j2);
    if (!before.empty()) {
        std::printf("%-44s %9.2f %14.3f\n", "before: orvex-import batch -j 1", files / beforeJ1, one / beforeJ1);
        std::printf("%-44s %9.2f %14.3f\n", "before: orvex-import batch -j 2", files / beforeJ2, one / beforeJ2);
    }
    return 0;
}
