// Import benchmarks, each reporting bytes per second of the ".model" file,
// so that any two of them compare as the ratio of their rates:
//   RawRead       the file read into one new buffer with std::FILE, as the
//                 loader reads it: the limit of the work
//   LoadModel     loadModel alone
//   ImportToScene the plug-in's translator into a stand-in scene, as the host
//                 calls it (a new scene before each run, outside the timing)
//   ConvertToGlb  orvex-import converting the file to .glb, as a process
//   ConvertToFbx  the same to .fbx with its images inside, one file as a
//                 GLB is
//   AssimpToGlb   `assimp export` converting the same geometry, as binary
//                 PLY, to .glb, as a process; one run, as it is slow
//   Floor         a process that reads the file into fresh memory and
//                 writes as many bytes to a new file: what any converter
//                 that reads its input whole and writes its output pays
// With --textures=PROPS.model (orvex-bench-textures writes it), also:
//   TexturesToGltf     orvex-import converting the model, whose three meshes
//                      each have a 2048 x 2048 texture, to .gltf with its PNG
//                      images, into an empty folder
//   ImageMagickToPng   ImageMagick's `convert TEXTURE.dds TEXTURE.png` for
//                      each of the three textures in turn, with its defaults
// With --before=PROGRAM (another build's orvex-import, with its plug-in
// beside it), ConvertToGlb, ConvertToFbx and TexturesToGltf also run that
// program, as ConvertToGlbBefore and so on, side by side with this build's.
// The processes also report their peak resident memory per input byte,
// their system time and their page faults.
// Every benchmark but the assimp one reports the median of three
// repetitions.
//
// Usage: orvex-bench --input=FILE.model [--input=...] [--textures=PROPS.model]
//                    [--before=PROGRAM] [--iterations=N] [Google Benchmark flags]
//        orvex-bench --floor IN OUT     (the Floor benchmark's process)
// FILE.ply beside each input holds its geometry for assimp; orvex-bench-model
// writes both. --iterations=N runs every benchmark exactly N times.

#include "model/Model.h"

#include <standin/PluginHost.h>
#include <standin/Scene.h>

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

extern char** environ;

namespace {

namespace fs = std::filesystem;

constexpr int kRepetitions = 3;

struct Input {
    std::string label;  // the file's stem
    std::string model;
    std::string ply;
    std::uint64_t bytes;
};

void countBytes(benchmark::State& state, const Input& input) {
    state.SetBytesProcessed(static_cast<std::int64_t>(input.bytes) * state.iterations());
}

void rawRead(benchmark::State& state, const Input& input) {
    for (auto _ : state) {
        std::FILE* file = std::fopen(input.model.c_str(), "rb");
        if (file == nullptr) {
            state.SkipWithError("cannot open the input");
            return;
        }
        std::fseek(file, 0, SEEK_END);
        const auto size = static_cast<std::size_t>(std::ftell(file));
        std::fseek(file, 0, SEEK_SET);
        // A new buffer for every run, as a load needs new memory for what it reads.
        const std::unique_ptr<char[]> buffer(new char[size]);
        const std::size_t read = std::fread(buffer.get(), 1, size, file);
        std::fclose(file);
        if (read != size) {
            state.SkipWithError("short read");
            return;
        }
        benchmark::DoNotOptimize(buffer.get());
        benchmark::ClobberMemory();
    }
    countBytes(state, input);
}

void loadModelAlone(benchmark::State& state, const Input& input) {
    for (auto _ : state) {
        orvex::Model model;
        if (!orvex::loadModel(input.model, model) || model.meshes.empty()) {
            state.SkipWithError("the input did not load");
            return;
        }
        benchmark::DoNotOptimize(model.meshes.data());
    }
    countBytes(state, input);
}

void importToScene(benchmark::State& state, const Input& input) {
    std::string whyNot;
    const std::unique_ptr<standin::LoadedPlugin> plugin = standin::LoadedPlugin::load(ORVEX_PLUGIN, whyNot);
    if (!plugin) {
        state.SkipWithError(whyNot.c_str());
        return;
    }
    const std::string path = fs::absolute(input.model).string();
    for (auto _ : state) {
        state.PauseTiming();
        standin::newScene();
        state.ResumeTiming();
        const standin::ImportResult result = plugin->importFile(path);
        if (!result.claimed || result.status != MStatus::kSuccess) {
            state.SkipWithError("the import failed");
            break;
        }
    }
    standin::newScene();
    countBytes(state, input);
}

struct Finished {
    bool succeeded;
    long peakResidentKiB;
    double systemSeconds;
    long pageFaults;
};

bool writeAll(int fd, const void* data, std::size_t size) {
    const char* bytes = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t written = write(fd, bytes, size);
        if (written <= 0) return false;
        bytes += written;
        size -= static_cast<std::size_t>(written);
    }
    return true;
}

bool readAll(int fd, void* data, std::size_t size) {
    char* bytes = static_cast<char*>(data);
    while (size > 0) {
        const ssize_t got = read(fd, bytes, size);
        if (got <= 0) return false;
        bytes += got;
        size -= static_cast<std::size_t>(got);
    }
    return true;
}

// Runs a program to its end; stdout (and stderr when `quiet`) go nowhere.
Finished runProcess(const std::vector<std::string>& arguments, bool quiet) {
    std::vector<char*> argv;
    for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    if (quiet) posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t child = 0;
    const int spawned = posix_spawnp(&child, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) return {};
    int status = 0;
    rusage usage{};
    if (wait4(child, &status, 0, &usage) != child) return {};
    return {WIFEXITED(status) && WEXITSTATUS(status) == 0, usage.ru_maxrss,
            static_cast<double>(usage.ru_stime.tv_sec) + static_cast<double>(usage.ru_stime.tv_usec) / 1e6,
            usage.ru_minflt + usage.ru_majflt};
}

// Runs the measured programs from a process forked before any benchmark
// runs. A child's peak resident memory (ru_maxrss) also counts what the
// process it was spawned from held when it called exec, and a spawned child
// shares its parent's memory until then: spawned from the benchmark after
// an import, a 16 MiB conversion reported the benchmark's memory, not its
// own. The launcher holds almost nothing, so each peak is the program's.
class Launcher {
public:
    Launcher() {
        int requests[2];
        int replies[2];
        if (pipe(requests) != 0 || pipe(replies) != 0) {
            std::perror("orvex-bench: pipe");
            std::exit(1);
        }
        fPid = fork();
        if (fPid < 0) {
            std::perror("orvex-bench: fork");
            std::exit(1);
        }
        if (fPid == 0) {
            close(requests[1]);
            close(replies[0]);
            serve(requests[0], replies[1]);
            _exit(0);
        }
        close(requests[0]);
        close(replies[1]);
        fRequests = requests[1];
        fReplies = replies[0];
    }

    ~Launcher() {
        close(fRequests);
        close(fReplies);
        waitpid(fPid, nullptr, 0);
    }

    Launcher(const Launcher&) = delete;
    Launcher& operator=(const Launcher&) = delete;

    // A request is its length, then the quiet flag and each argument, each
    // ended by a NUL.
    Finished run(const std::vector<std::string>& arguments, bool quiet) {
        std::string request(1, quiet ? '1' : '0');
        for (const std::string& argument : arguments) request.append(argument).push_back('\0');
        const auto length = static_cast<std::uint32_t>(request.size());
        Finished finished{};
        if (!writeAll(fRequests, &length, sizeof length) || !writeAll(fRequests, request.data(), length) ||
            !readAll(fReplies, &finished, sizeof finished)) {
            return {};
        }
        return finished;
    }

private:
    static void serve(int requests, int replies) {
        std::uint32_t length = 0;
        while (readAll(requests, &length, sizeof length)) {
            std::string request(length, '\0');
            if (length == 0 || !readAll(requests, request.data(), length)) return;
            std::vector<std::string> arguments;
            for (std::size_t start = 1; start < request.size();) {
                const std::size_t end = request.find('\0', start);
                arguments.push_back(request.substr(start, end - start));
                start = end + 1;
            }
            const Finished finished = runProcess(arguments, request[0] == '1');
            if (!writeAll(replies, &finished, sizeof finished)) return;
        }
    }

    pid_t fPid = -1;
    int fRequests = -1;
    int fReplies = -1;
};

void runConversion(benchmark::State& state, const Input& input, Launcher& launcher,
                   const std::vector<std::string>& command, const std::string& output, bool quiet) {
    long peakKiB = 0;
    double systemSeconds = 0;
    long pageFaults = 0;
    for (auto _ : state) {
        // Every run writes a new file, as a conversion's first run does:
        // replacing one costs a file system flush that is not the converter's.
        state.PauseTiming();
        std::error_code ignored;
        fs::remove(output, ignored);
        state.ResumeTiming();
        const Finished finished = launcher.run(command, quiet);
        if (!finished.succeeded) {
            state.SkipWithError(("failed: " + command.front()).c_str());
            break;
        }
        peakKiB = std::max(peakKiB, finished.peakResidentKiB);
        systemSeconds += finished.systemSeconds;
        pageFaults += finished.pageFaults;
    }
    std::error_code ignored;
    fs::remove(output, ignored);
    countBytes(state, input);
    const double peakBytes = static_cast<double>(peakKiB) * 1024.0;
    state.counters["peak_rss_MiB"] = peakBytes / (1024.0 * 1024.0);
    state.counters["peak_rss_per_input_byte"] = peakBytes / static_cast<double>(input.bytes);
    const double runs = static_cast<double>(std::max<benchmark::IterationCount>(state.iterations(), 1));
    state.counters["system_seconds"] = systemSeconds / runs;
    state.counters["page_faults"] = static_cast<double>(pageFaults) / runs;
}

std::string outputPath(const Input& input, const std::string& suffix) {
    return (fs::path(input.model).parent_path() / (input.label + suffix)).string();
}

void convertToGlb(benchmark::State& state, const Input& input, Launcher& launcher, const std::string& program) {
    const std::string output = outputPath(input, ".glb");
    runConversion(state, input, launcher, {program, input.model, "-o", output}, output, false);
}

void convertToFbx(benchmark::State& state, const Input& input, Launcher& launcher, const std::string& program) {
    const std::string output = outputPath(input, ".fbx");
    runConversion(state, input, launcher, {program, input.model, "-o", output, "--embed-textures"}, output,
                  false);
}

void assimpToGlb(benchmark::State& state, const Input& input, Launcher& launcher) {
    const std::string output = outputPath(input, ".assimp.glb");
    runConversion(state, input, launcher, {"assimp", "export", input.ply, output, "-fglb2"}, output, true);
}

// `program` is this one, run with --floor.
void floorOfConversion(benchmark::State& state, const Input& input, Launcher& launcher, const std::string& program) {
    const std::string output = outputPath(input, ".floor");
    runConversion(state, input, launcher, {program, "--floor", input.model, output}, output, false);
}

// Times `command` in an empty folder `output`, made again before each run
// outside the timing, so that every run writes every image.
void runIntoFolder(benchmark::State& state, Launcher& launcher, const std::vector<std::vector<std::string>>& commands,
                   const fs::path& output) {
    for (auto _ : state) {
        state.PauseTiming();
        fs::remove_all(output);
        fs::create_directories(output);
        state.ResumeTiming();
        for (const std::vector<std::string>& command : commands) {
            if (!launcher.run(command, true).succeeded) {
                state.SkipWithError(("failed: " + command.front()).c_str());
                return;
            }
        }
    }
    fs::remove_all(output);
}

// The DDS files that the model's meshes name, in their order.
std::vector<fs::path> texturesOf(const fs::path& model) {
    const fs::path folder = model.parent_path().parent_path() / "textures" / "props";
    return {folder / "stones.2048.dds", folder / "planks.2048.dds", folder / "moss.2048.dds"};
}

void texturesToGltf(benchmark::State& state, const fs::path& model, Launcher& launcher, const std::string& program) {
    const fs::path output = model.parent_path() / "bench-gltf";
    runIntoFolder(state, launcher, {{program, model.string(), "-o", (output / "props.gltf").string()}}, output);
}

void imageMagickToPng(benchmark::State& state, const fs::path& model, Launcher& launcher, const std::string&) {
    const fs::path output = model.parent_path() / "bench-imagemagick";
    std::vector<std::vector<std::string>> commands;
    for (const fs::path& texture : texturesOf(model))
        commands.push_back({"convert", texture.string(), (output / texture.filename().replace_extension(".png")).string()});
    runIntoFolder(state, launcher, commands, output);
}

// The Floor benchmark's process: the file read into fresh memory in one
// read, and as many bytes written to a new file in one write.
int copyThroughMemory(const char* from, const char* to) {
    std::FILE* in = std::fopen(from, "rb");
    if (in == nullptr) return 1;
    std::fseek(in, 0, SEEK_END);
    const auto size = static_cast<std::size_t>(std::ftell(in));
    std::fseek(in, 0, SEEK_SET);
    const std::unique_ptr<char[]> buffer(new char[size]);
    const bool read = std::fread(buffer.get(), 1, size, in) == size;
    std::fclose(in);
    std::FILE* out = std::fopen(to, "wb");
    if (!read || out == nullptr) return 1;
    const bool written = std::fwrite(buffer.get(), 1, size, out) == size;
    return std::fclose(out) == 0 && written ? 0 : 1;
}

// Warms the page cache, so that every benchmark reads from memory.
bool readWhole(const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) return false;
    std::vector<char> chunk(1 << 20);
    while (std::fread(chunk.data(), 1, chunk.size(), file) == chunk.size()) {
    }
    const bool read = std::ferror(file) == 0;
    std::fclose(file);
    return read;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::strcmp(argv[1], "--floor") == 0) return copyThroughMemory(argv[2], argv[3]);
    const std::string program = fs::absolute(argv[0]).string();
    // First, while this process holds next to nothing.
    Launcher launcher;
    std::vector<Input> inputs;
    fs::path textures;
    std::string before;
    long iterations = 0;
    std::vector<char*> passOn = {argv[0]};
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument.rfind("--input=", 0) == 0) {
            const fs::path model = argument.substr(8);
            std::error_code error;
            const std::uintmax_t bytes = fs::file_size(model, error);
            const fs::path ply = fs::path(model).replace_extension(".ply");
            if (error || bytes == 0 || !readWhole(model.string()) || !readWhole(ply.string())) {
                std::cerr << "orvex-bench: " << model.string() << " and " << ply.string()
                          << " must both be readable; orvex-bench-model writes them\n";
                return 2;
            }
            inputs.push_back({model.stem().string(), model.string(), ply.string(), bytes});
        } else if (argument.rfind("--textures=", 0) == 0) {
            textures = argument.substr(11);
            for (const fs::path& texture : texturesOf(textures)) {
                if (!readWhole(texture.string())) {
                    std::cerr << "orvex-bench: " << texture.string()
                              << " must be readable; orvex-bench-textures writes it\n";
                    return 2;
                }
            }
        } else if (argument.rfind("--before=", 0) == 0) {
            before = fs::absolute(argument.substr(9)).string();
        } else if (argument.rfind("--iterations=", 0) == 0) {
            iterations = std::strtol(argument.c_str() + 13, nullptr, 10);
        } else {
            passOn.push_back(argv[i]);
        }
    }
    if (inputs.empty()) {
        std::cerr << "usage: orvex-bench --input=FILE.model [--input=...] [--textures=PROPS.model] "
                     "[--iterations=N] [benchmark flags]\n";
        return 2;
    }
    using Benchmark = std::function<void(benchmark::State&, const Input&)>;
    auto withLauncher = [&launcher](void (*run)(benchmark::State&, const Input&, Launcher&)) {
        return [&launcher, run](benchmark::State& state, const Input& input) { run(state, input, launcher); };
    };
    using Conversion = void (*)(benchmark::State&, const Input&, Launcher&, const std::string&);
    auto converting = [&launcher](Conversion run, const std::string& converter) {
        return [&launcher, run, converter](benchmark::State& state, const Input& input) {
            run(state, input, launcher, converter);
        };
    };
    struct Entry {
        const char* name;
        Benchmark function;
        bool once;  // too slow for repetitions
    };
    const Entry benchmarks[] = {
        {"RawRead", rawRead, false},
        {"LoadModel", loadModelAlone, false},
        {"ImportToScene", importToScene, false},
        {"ConvertToGlb", converting(convertToGlb, ORVEX_PROGRAM), false},
        {"ConvertToFbx", converting(convertToFbx, ORVEX_PROGRAM), false},
        {"AssimpToGlb", withLauncher(assimpToGlb), true},
        {"Floor",
         [&launcher, &program](benchmark::State& state, const Input& input) {
             floorOfConversion(state, input, launcher, program);
         },
         false},
    };
    std::vector<Entry> entries(std::begin(benchmarks), std::end(benchmarks));
    if (!before.empty()) {
        entries.push_back({"ConvertToGlbBefore", converting(convertToGlb, before), false});
        entries.push_back({"ConvertToFbxBefore", converting(convertToFbx, before), false});
    }
    for (const Input& input : inputs) {
        for (const Entry& entry : entries) {
            benchmark::internal::Benchmark* registered = benchmark::RegisterBenchmark(
                (std::string(entry.name) + "/" + input.label).c_str(), entry.function, input);
            registered->UseRealTime()->Unit(benchmark::kMillisecond);
            if (iterations > 0) {
                registered->Iterations(iterations);
            } else if (entry.once) {
                registered->Iterations(1);
            } else {
                // The machine is shared: the median of a few runs is steadier.
                registered->Repetitions(kRepetitions)->ReportAggregatesOnly(true);
            }
        }
    }
    if (!textures.empty()) {
        using Run = void (*)(benchmark::State&, const fs::path&, Launcher&, const std::string&);
        struct TextureEntry {
            const char* name;
            Run run;
            std::string program;
        };
        std::vector<TextureEntry> textureEntries = {{"TexturesToGltf", texturesToGltf, ORVEX_PROGRAM},
                                                    {"ImageMagickToPng", imageMagickToPng, ""}};
        if (!before.empty()) textureEntries.push_back({"TexturesToGltfBefore", texturesToGltf, before});
        for (const TextureEntry& entry : textureEntries) {
            benchmark::internal::Benchmark* registered = benchmark::RegisterBenchmark(
                (std::string(entry.name) + "/textures").c_str(),
                [&launcher, &textures, entry](benchmark::State& state) {
                    entry.run(state, textures, launcher, entry.program);
                });
            registered->UseRealTime()->Unit(benchmark::kMillisecond);
            if (iterations > 0) {
                registered->Iterations(iterations);
            } else {
                registered->Repetitions(kRepetitions)->ReportAggregatesOnly(true);
            }
        }
    }
    int passOnCount = static_cast<int>(passOn.size());
    benchmark::Initialize(&passOnCount, passOn.data());
    if (benchmark::ReportUnrecognizedArguments(passOnCount, passOn.data())) return 2;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
