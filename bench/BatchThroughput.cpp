// Files per second of a batch of small files: the sample model copied N
// times into a content tree with its textures, converted to GLB by
// orvex-import at -j 1 and -j 2, against one process that imports and
// writes the same files in turn (the plug-in loaded once, a new scene for
// each file). Every run converts every file (--overwrite), into a new folder.
//   orvex-bench-batch WORKDIR FILES

#include "writers/SceneWriter.h"

#include <standin/PluginHost.h>
#include <standin/Scene.h>

#include <sys/wait.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

std::vector<std::string> makeTree(const fs::path& work, int files) {
    const fs::path sample = fs::path(ORVEX_SOURCE_DIR) / "samples" / "content";
    const fs::path content = work / "game" / "content";
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

double inProcess(const std::vector<std::string>& paths, const fs::path& out) {
    fs::create_directories(out);
    const auto start = Clock::now();
    standin::LoadedPlugin plugin(ORVEX_PLUGIN);
    for (std::size_t i = 0; i < paths.size(); ++i) {
        standin::newScene();
        if (plugin.importFile(paths[i]).status != MStatus::kSuccess) {
            std::fprintf(stderr, "%s: import failed\n", paths[i].c_str());
            std::exit(1);
        }
        orvex::writers::writeScene(standin::currentScene(), (out / (std::to_string(i) + ".glb")).string());
    }
    return std::chrono::duration<double>(Clock::now() - start).count();
}

double batch(const fs::path& work, const fs::path& out, int jobs) {
    const std::string command = std::string("'") + ORVEX_PROGRAM + "' '" +
                                (work / "game" / "content").string() + "' -o '" + out.string() +
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
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s WORKDIR FILES\n", argv[0]);
        return 2;
    }
    const fs::path work = argv[1];
    const int files = std::atoi(argv[2]);
    const std::vector<std::string> paths = makeTree(work, files);
    const double one = inProcess(paths, work / "in-process");
    const double j1 = batch(work, work / "j1", 1);
    const double j2 = batch(work, work / "j2", 2);
    const std::string title = "conversion of " + std::to_string(files) + " sample models";
    std::printf("%-44s %9s %14s\n", title.c_str(), "files/s", "/ one process");
    std::printf("%-44s %9.1f %14.3f\n", "one process, in turn", files / one, 1.0);
    std::printf("%-44s %9.1f %14.3f\n", "orvex-import batch -j 1", files / j1, one / j1);
    std::printf("%-44s %9.1f %14.3f\n", "orvex-import batch -j 2", files / j2, one / j2);
    return 0;
}
