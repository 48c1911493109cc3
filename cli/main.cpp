// orvex-import: imports ".model" files through the OrvexImp plug-in, loaded
// into the stand-in host as the host loads it, and writes the scene the
// import built as glTF, GLB, OBJ or JSON.

#include "cli/Inspect.h"
#include "cli/PluginLocation.h"
#include "model/Model.h"
#include "writers/SceneWriter.h"

#include <standin/PluginHost.h>
#include <standin/Scene.h>

#include <CLI/CLI.hpp>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <new>
#include <stdexcept>
#include <string>

namespace {

constexpr int kExitImportFailed = 1;
constexpr int kExitUsage = 2;
constexpr int kExitWriteFailed = 3;

const char kProgramName[] = "orvex-import";

struct Options {
    std::string input;
    std::string output;
    std::string pluginPath;
    bool inspect = false;
    bool json = false;
};

class Failure : public std::runtime_error {
public:
    Failure(int exitCode, const std::string& message) : std::runtime_error(message), fExitCode(exitCode) {}
    int exitCode() const { return fExitCode; }

private:
    int fExitCode;
};

void requireReadable(const std::string& path)
{
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) throw Failure(kExitImportFailed, path + ": cannot open: " + std::strerror(errno));
    std::fclose(file);
}

// The plug-in reports only that an import failed; the file itself tells why.
std::string whyImportFailed(const std::string& path)
{
    try {
        orvex::Model model;
        if (!orvex::loadModel(path, model)) return "cannot open the file";
        if (model.meshes.empty()) return "the file holds no complete mesh";
        return "the host refused every one of its " + std::to_string(model.meshes.size()) + " meshes";
    } catch (const std::bad_alloc&) {
        return "the file declares more data than memory can hold";
    }
}

void importFile(const standin::LoadedPlugin& plugin, const std::string& input)
{
    const std::string fullPath = std::filesystem::absolute(input).string();
    const standin::ImportResult result = plugin.importFile(fullPath);
    if (!result.claimed) {
        throw Failure(kExitImportFailed, input + ": not a model file (the name must end in .model)");
    }
    if (result.status != MStatus::kSuccess) throw Failure(kExitImportFailed, input + ": " + whyImportFailed(input));
}

void writeOutput(const std::string& output)
{
    try {
        const orvex::writers::WriteReport report = orvex::writers::writeScene(standin::currentScene(), output);
        for (const std::string& warning : report.warnings) {
            std::cerr << kProgramName << ": warning: " << warning << "\n";
        }
    } catch (const orvex::writers::WriteError& error) {
        throw Failure(kExitWriteFailed, error.what());
    }
}

int convert(const Options& options)
{
    if (!orvex::writers::formatForPath(options.output)) {
        throw Failure(kExitUsage, options.output + ": unknown output format (use .gltf, .glb, .obj or .json)");
    }
    requireReadable(options.input);
    const std::string pluginPath = options.pluginPath.empty() ? orvex::cli::defaultPluginPath() : options.pluginPath;
    try {
        standin::LoadedPlugin plugin(pluginPath);
        standin::newScene();
        importFile(plugin, options.input);
    } catch (const standin::PluginError& error) {
        throw Failure(kExitImportFailed, error.what());
    }
    writeOutput(options.output);
    return 0;
}

int inspect(const Options& options)
{
    if (!orvex::cli::inspectModel(options.input, options.json, std::cout)) {
        requireReadable(options.input);
        throw Failure(kExitImportFailed, options.input + ": cannot open");
    }
    return 0;
}

int run(const Options& options)
{
    if (options.inspect) return inspect(options);
    if (options.output.empty()) throw Failure(kExitUsage, "an output is needed: -o OUTPUT (or --inspect)");
    return convert(options);
}

}  // namespace

int main(int argc, char** argv)
{
    CLI::App app{"Imports a .model file through the OrvexImp plug-in and writes the scene as glTF, GLB, OBJ or JSON.",
                 kProgramName};
    Options options;
    app.add_option("input", options.input, "the .model file to import")->required();
    app.add_option("-o,--output", options.output, "the file to write: .gltf, .glb, .obj or .json");
    app.add_flag("--inspect", options.inspect, "print what the file holds instead of converting it");
    app.add_flag("--json", options.json, "with --inspect: print JSON");
    app.add_option("--plugin", options.pluginPath, "the plug-in module to load (default: the one beside this program)");
    app.set_version_flag("--version", std::string(kProgramName) + " " + ORVEX_VERSION);
    try {
        app.parse(argc, argv);
        if (options.json && !options.inspect) throw Failure(kExitUsage, "--json goes with --inspect");
        if (options.inspect && !options.output.empty()) throw Failure(kExitUsage, "--inspect writes nothing: drop -o");
        return run(options);
    } catch (const CLI::Success& success) {
        return app.exit(success);
    } catch (const CLI::ParseError& error) {
        std::cerr << kProgramName << ": " << error.what() << " (see --help)\n";
        return kExitUsage;
    } catch (const Failure& failure) {
        std::cerr << kProgramName << ": " << failure.what() << "\n";
        return failure.exitCode();
    }
}
