// orvex-import: imports ".model" files through the OrvexImp plug-in, loaded
// into the stand-in host as the host loads it, and writes the scene the
// import built as glTF, GLB, OBJ, FBX, JSON or a rendered PNG image; or converts
// whole folders, each file by a worker process of its own.

#include "cli/Batch.h"
#include "cli/ContactSheet.h"
#include "cli/Convert.h"
#include "cli/Failure.h"
#include "cli/Inspect.h"
#include "cli/Report.h"
#include "cli/System.h"
#include "model/Model.h"
#include "render/Render.h"
#include "writers/Parallel.h"
#include "writers/SceneWriter.h"

#include <standin/PluginHost.h>
#include <standin/Scene.h>

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace {

using orvex::cli::Failure;
using orvex::cli::kExitImportFailed;
using orvex::cli::kExitUsage;
using orvex::cli::kExitWriteFailed;
using orvex::cli::kProgramName;

const std::vector<std::string> kBatchFormats = {"glb", "gltf", "obj", "fbx", "json", "png"};

// What a line about an unforeseen failure names; the safety net's last
// resort can take no arguments.
std::string gSubject = kProgramName;

struct Options {
    std::vector<std::string> inputs;
    std::string output;
    std::string format;
    std::string contactSheet;
    unsigned parallel = 0;
    unsigned threads = 0;
    std::string size;
    std::string view;
    std::string pluginPath;
    std::string report;
    std::string thumbnail;
    std::string workList;
    bool overwrite = false;
    bool dryRun = false;
    bool inspect = false;
    bool json = false;
    bool embedTextures = false;
    std::string textures;
};

// A pipe or a device would keep the import waiting for ever, so only files
// are opened.
void requireReadable(const std::string& path) {
    std::error_code unknown;
    const std::filesystem::file_status status =
        std::filesystem::status(std::filesystem::u8path(path), unknown);
    if (std::filesystem::exists(status) && !std::filesystem::is_regular_file(status))
        throw Failure(kExitImportFailed, path + ": not a file to read");
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) throw Failure(kExitImportFailed, path + ": cannot open: " + std::strerror(errno));
    std::fclose(file);
}

// The plug-in reports only that an import failed; the file itself tells why.
std::string whyImportFailed(const std::string& path) {
    try {
        orvex::Model model;
        if (!orvex::loadModel(path, model)) return "cannot open the file";
        if (model.meshes.empty()) return "the file holds no complete mesh";
        return "the host refused every one of its " + std::to_string(model.meshes.size()) + " meshes";
    } catch (const std::bad_alloc&) {
        return "the file declares more data than memory can hold";
    }
}

// What escapes the plug-in is answered here, while the plug-in is still
// loaded: on Windows the destructor of an object it threw lies in its
// module, which must not be unloaded before that has run.
standin::ImportResult importThroughPlugin(const standin::LoadedPlugin& plugin, const std::string& input) {
    try {
        return plugin.importFile(orvex::cli::importPath(input));
    } catch (const std::bad_alloc&) {
        throw Failure(kExitImportFailed, input + ": not enough memory; the import failed");
    } catch (const std::exception& error) {
        throw Failure(kExitImportFailed, input + ": the import failed: " + error.what());
    } catch (...) {
        throw Failure(kExitImportFailed, input + ": the import failed for a reason it did not name");
    }
}

void importFile(const standin::LoadedPlugin& plugin, const std::string& input) {
    const standin::ImportResult result = importThroughPlugin(plugin, input);
    if (!result.claimed) {
        throw Failure(kExitImportFailed, input + ": not a model file (the name must end in .model)");
    }
    if (result.status != MStatus::kSuccess)
        throw Failure(kExitImportFailed, input + ": " + whyImportFailed(input));
}

orvex::render::RenderOptions renderOptions(const Options& options) {
    orvex::render::RenderOptions render;
    if (!options.size.empty()) {
        const auto size = orvex::render::parseSize(options.size);
        if (!size) {
            throw Failure(kExitUsage, "--size " + options.size + ": use W or WxH, each from " +
                                          std::to_string(orvex::render::kMinImageSize) + " to " +
                                          std::to_string(orvex::render::kMaxImageSize));
        }
        render.width = size->width;
        render.height = size->height;
    }
    if (!options.view.empty()) {
        const auto view = orvex::render::parseView(options.view);
        if (!view) throw Failure(kExitUsage, "--view " + options.view + ": use front, side, top or iso");
        render.view = *view;
    }
    return render;
}

// What --textures asks for; DDS files stay beside the output, so they cannot
// go inside it.
orvex::writers::TextureFiles textureFilesOf(const Options& options) {
    if (options.textures != "dds") return orvex::writers::TextureFiles::kPng;
    if (options.embedTextures)
        throw Failure(kExitUsage, "--textures dds keeps the game's DDS files beside the output: drop --embed-textures");
    return orvex::writers::TextureFiles::kDds;
}

// The output and the thumbnail are written from one view of the scene, so
// that what it left out or made good is told once.
void writeOutput(orvex::writers::SceneView& view, const std::string& output,
                 const orvex::render::RenderOptions& render, const orvex::writers::WriteOptions& write,
                 orvex::cli::FileRecord& record) {
    try {
        orvex::cli::Written written = orvex::cli::writeImportedScene(view, output, render, write);
        record.warnings.insert(record.warnings.end(), written.warnings.begin(), written.warnings.end());
        record.outputs = std::move(written.files);
    } catch (const orvex::writers::WriteError& error) {
        throw Failure(kExitWriteFailed, error.what());
    } catch (const std::bad_alloc&) {
        throw Failure(kExitWriteFailed, output + ": not enough memory to write it");
    }
}

// The output is written by then: a thumbnail that fails costs a warning.
void writeThumbnail(orvex::writers::SceneView& view, const std::string& thumbnail, const Options& options,
                    orvex::cli::FileRecord& record) {
    orvex::render::RenderOptions render = renderOptions(options);
    render.width = orvex::cli::kThumbnailWidth;
    render.height = orvex::cli::kThumbnailHeight;
    try {
        const std::vector<std::string> warnings =
            orvex::cli::writeImportedScene(view, thumbnail, render).warnings;
        record.warnings.insert(record.warnings.end(), warnings.begin(), warnings.end());
    } catch (const orvex::writers::WriteError& error) {
        record.warnings.push_back(std::string("thumbnail not made: ") + error.what());
    } catch (const std::bad_alloc&) {
        record.warnings.push_back(thumbnail + ": thumbnail not made: out of memory");
    }
}

// The plug-in is loaded for the first file and kept for the next ones, as
// the host keeps it; each file is imported into a new scene.
using Plugin = std::unique_ptr<standin::LoadedPlugin>;

// The plug-in module built beside this program.
std::string defaultPluginPath() {
    const std::filesystem::path program = std::filesystem::u8path(orvex::cli::programPath());
    return (program.parent_path() / ORVEX_PLUGIN_FILE_NAME).u8string();
}

void importInto(const Options& options, Plugin& plugin, orvex::cli::FileRecord& record) {
    const std::string& input = options.inputs.front();
    requireReadable(input);
    if (!plugin) {
        std::string whyNot;
        plugin = standin::LoadedPlugin::load(
            options.pluginPath.empty() ? defaultPluginPath() : options.pluginPath, whyNot);
        if (!plugin) throw Failure(kExitImportFailed, input + ": " + whyNot);
    }
    standin::newScene();
    importFile(*plugin, input);
    orvex::cli::describeScene(standin::currentScene(), record);
}

// A worker's report is read back by its batch, so it keeps every byte.
void writeReport(const Options& options, const orvex::cli::FileRecord& record) {
    const auto texts =
        options.workList.empty() ? orvex::cli::ReportTexts::kReadable : orvex::cli::ReportTexts::kExact;
    try {
        orvex::cli::writeReport(options.report, {record}, texts);
    } catch (const orvex::writers::WriteError& error) {
        throw Failure(kExitWriteFailed, error.what());
    }
}

// A run must not write over its own input, nor write two of its files
// under one name: the input would be lost, or one output in place of another.
void requireDistinctFiles(const std::string& input,
                          const std::vector<std::pair<std::string, std::string>>& written) {
    const std::string inputKey = orvex::cli::fileKey(input);
    struct Seen {
        const std::string& option;
        const std::string& path;
        std::string key;
    };
    std::vector<Seen> seen;
    for (const auto& [option, path] : written) {
        if (path.empty()) continue;
        const std::string key = orvex::cli::fileKey(path);
        if (orvex::cli::sameFile(path, key, input, inputKey))
            throw Failure(kExitUsage, path + ": " + option + " names the input file");
        for (const Seen& other : seen) {
            if (orvex::cli::sameFile(path, key, other.path, other.key))
                throw Failure(kExitUsage, path + ": named by both " + other.option + " and " + option);
        }
        seen.push_back({option, path, key});
    }
}

int convert(const Options& options, Plugin& plugin) {
    const bool png = orvex::cli::isPngPath(options.output);
    if (!png && !orvex::writers::formatForPath(options.output)) {
        throw Failure(kExitUsage, options.output +
                                      ": unknown output format (use .gltf, .glb, .obj, .fbx, .json or .png)");
    }
    if (options.embedTextures &&
        orvex::writers::formatForPath(options.output) != orvex::writers::Format::kFbx) {
        throw Failure(kExitUsage, "--embed-textures goes with a .fbx output");
    }
    const auto format = orvex::writers::formatForPath(options.output);
    const orvex::writers::TextureFiles textureFiles = textureFilesOf(options);
    if (textureFiles == orvex::writers::TextureFiles::kDds &&
        format != orvex::writers::Format::kFbx && format != orvex::writers::Format::kObj) {
        throw Failure(kExitUsage, "--textures dds goes with a .fbx or .obj output");
    }
    if (!png && !options.size.empty()) throw Failure(kExitUsage, "--size goes with a .png output");
    if (!png && options.thumbnail.empty() && !options.view.empty())
        throw Failure(kExitUsage, "--view goes with a .png output or --thumbnail");
    if (!options.thumbnail.empty() && !orvex::cli::isPngPath(options.thumbnail))
        throw Failure(kExitUsage, options.thumbnail + ": the thumbnail is a .png file");
    const orvex::render::RenderOptions render = renderOptions(options);
    const auto started = std::chrono::steady_clock::now();
    orvex::cli::FileRecord record;
    record.input = options.inputs.front();
    const auto seconds = [&] {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    };
    try {
        importInto(options, plugin, record);
        orvex::writers::WriteOptions write;
        write.embedTextures = options.embedTextures;
        write.textureFiles = textureFiles;
        orvex::writers::SceneView view(standin::currentScene(),
                                       orvex::cli::readSourceModel(options.inputs.front(), record.warnings));
        writeOutput(view, options.output, render, write, record);
        if (!options.thumbnail.empty()) writeThumbnail(view, options.thumbnail, options, record);
    } catch (const Failure& failure) {
        record.status = "failed";
        record.reason = failure.what();
        record.seconds = seconds();
        // The import's failure is the one to exit with; a report that cannot
        // be written as well gets a line of its own.
        if (!options.report.empty()) {
            try {
                writeReport(options, record);
            } catch (const Failure& reportFailure) {
                std::cerr << kProgramName << ": " << reportFailure.what() << "\n";
            }
        }
        throw;
    }
    for (const std::string& warning : record.warnings)
        std::cerr << kProgramName << ": warning: " << warning << "\n";
    record.status = "converted";
    record.seconds = seconds();
    if (!options.report.empty()) writeReport(options, record);
    return 0;
}

// For the contact sheet, of a file whose output stands: what cannot be made
// leaves its frame empty.
void thumbnailOnly(const Options& options, Plugin& plugin) {
    orvex::cli::FileRecord record;
    importInto(options, plugin, record);
    orvex::writers::SceneView view(standin::currentScene(),
                                   orvex::cli::readSourceModel(options.inputs.front(), record.warnings));
    writeThumbnail(view, options.thumbnail, options, record);
}

// A batch's worker: the files of the list in turn, in one process, so that a
// batch of small files does not spend its time starting processes. The list
// holds four NUL-terminated fields per file: input, output, report and
// thumbnail (empty for none); a file without an output needs only its
// thumbnail, as its output is up to date. Each file's outcome goes to its report and to
// standard error; a file that fails does not stop the others, a batch that
// has ended does.
int convertListed(const Options& options) {
    std::ifstream in(std::filesystem::u8path(options.workList), std::ios::binary);
    if (!in) throw Failure(kExitImportFailed, options.workList + ": cannot read the list of work");
    std::vector<std::string> fields;
    for (std::string field; std::getline(in, field, '\0');) fields.push_back(std::move(field));
    if (fields.size() % 4 != 0) throw Failure(kExitUsage, options.workList + ": not a list of work");
    Plugin plugin;
    for (std::size_t i = 0; i < fields.size() && !orvex::cli::errorOutputAbandoned(); i += 4) {
        Options one = options;
        one.inputs = {fields[i]};
        one.output = fields[i + 1];
        one.report = fields[i + 2];
        one.thumbnail = fields[i + 3];
        gSubject = one.inputs.front();
        try {
            if (one.output.empty()) {
                thumbnailOnly(one, plugin);
            } else {
                convert(one, plugin);
            }
        } catch (const Failure& failure) {
            // The batch takes the last line that begins with the file for
            // its reason when the file's report is missing, as when the
            // report itself could not be written.
            const std::string what = failure.what();
            const std::string subject = one.inputs.front() + ": ";
            std::cerr << kProgramName << ": " << (what.rfind(subject, 0) == 0 ? "" : subject) << what << "\n";
        } catch (const std::exception& error) {
            // Not foreseen, so no report was written: the batch takes the
            // file's missing report for a failure and this line for its reason.
            std::cerr << kProgramName << ": " << gSubject << ": the import failed: " << error.what() << "\n";
        }
    }
    return 0;
}

int convertAll(const Options& options) {
    orvex::cli::BatchOptions batch;
    batch.inputs = options.inputs;
    batch.outputDirectory = options.output;
    batch.format = options.format.empty() ? "glb" : options.format;
    batch.contactSheet = options.contactSheet;
    batch.parallel =
        options.parallel != 0 ? options.parallel : std::max(1u, std::thread::hardware_concurrency());
    batch.pluginPath = options.pluginPath;
    batch.pluginModule = options.pluginPath.empty() ? defaultPluginPath() : options.pluginPath;
    batch.size = options.size;
    batch.view = options.view;
    batch.report = options.report;
    batch.overwrite = options.overwrite;
    batch.dryRun = options.dryRun;
    if (batch.dryRun && (!batch.report.empty() || !batch.contactSheet.empty()))
        throw Failure(kExitUsage, "--dry-run writes nothing: drop --report and --contact-sheet");
    batch.embedTextures = options.embedTextures;
    if (batch.format != "fbx" && batch.embedTextures)
        throw Failure(kExitUsage, "--embed-textures goes with --format fbx");
    batch.textureFiles = textureFilesOf(options);
    if (batch.textureFiles == orvex::writers::TextureFiles::kDds && batch.format != "fbx" && batch.format != "obj")
        throw Failure(kExitUsage, "--textures dds goes with --format fbx or obj");
    if (!options.thumbnail.empty()) throw Failure(kExitUsage, "--thumbnail goes with one input");
    if (batch.format != "png" && !options.size.empty())
        throw Failure(kExitUsage, "--size goes with --format png");
    if (batch.format != "png" && batch.contactSheet.empty() && !options.view.empty()) {
        throw Failure(kExitUsage, "--view goes with --format png or --contact-sheet");
    }
    if (!batch.contactSheet.empty() && !orvex::cli::isPngPath(batch.contactSheet)) {
        throw Failure(kExitUsage, batch.contactSheet + ": the contact sheet is a .png file");
    }
    renderOptions(options);  // refuses a bad --size or --view before any work starts
    return orvex::cli::runBatch(batch);
}

int inspect(const Options& options) {
    const std::string& input = options.inputs.front();
    requireReadable(input);
    if (!orvex::cli::inspectModel(input, options.json, std::cout)) {
        throw Failure(kExitImportFailed, input + ": cannot open");
    }
    return 0;
}

bool isBatch(const Options& options) {
    std::error_code ignored;
    return options.inputs.size() > 1 || !options.format.empty() ||
           std::filesystem::is_directory(std::filesystem::u8path(options.inputs.front()), ignored);
}

int run(const Options& options, const CLI::App& app) {
    if (!options.workList.empty()) return convertListed(options);
    if (options.inputs.empty())
        throw Failure(kExitUsage, "an input is needed: a .model file, or files and folders");
    const bool batch = isBatch(options);
    if (options.inspect) {
        // An option that it would pass over silently would look as if it counted.
        for (const CLI::Option* option : app.get_options()) {
            const std::string name = option->get_name();
            if (option->count() > 0 && name != "inputs" && name != "--inspect" && name != "--json")
                throw Failure(kExitUsage, "--inspect writes nothing and takes no " + name + ": drop it");
        }
        if (batch) throw Failure(kExitUsage, "--inspect takes one .model file");
        return inspect(options);
    }
    if (options.json) throw Failure(kExitUsage, "--json goes with --inspect");
    if (options.output.empty()) throw Failure(kExitUsage, "an output is needed: -o OUTPUT (or --inspect)");
    if (batch) return convertAll(options);
    if (!options.contactSheet.empty() || app.count("-j") > 0 || options.overwrite || options.dryRun) {
        throw Failure(kExitUsage,
                      "--contact-sheet, -j, --overwrite and --dry-run go with a batch (a folder, "
                      "several inputs or --format)");
    }
    // A batch's workers are given files that the batch has checked.
    requireDistinctFiles(options.inputs.front(), {{"-o", options.output},
                                                  {"--report", options.report},
                                                  {"--thumbnail", options.thumbnail}});
    Plugin plugin;
    return convert(options, plugin);
}

// What a line about an unforeseen failure names: the one input, else the
// folder the batch writes into.
std::string subjectOf(const Options& options) {
    if (options.inputs.size() == 1 || (options.output.empty() && !options.inputs.empty()))
        return options.inputs.front();
    return options.output.empty() ? std::string(kProgramName) : options.output;
}

// Nothing that escapes its handlers, not even an exception thrown where
// none may be, ends the program with an abort and a core: the run fails as
// an import that failed.
[[noreturn]] void failOnTerminate() {
    const std::string line =
        std::string(kProgramName) + ": " + gSubject + ": internal error; the import failed\n";
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::_Exit(kExitImportFailed);
}

}  // namespace

// An empty value, as an unset variable gives ("--report $REPORT"), would read
// as the option not given: its file would go unwritten without a word.
const CLI::Validator kNamesSomething(
    [](const std::string& value) {
        return value.empty() ? std::string("an empty value names nothing") : std::string();
    },
    "", "names something");

int main(int argc, char** argv) {
    CLI::App app{
        "Imports .model files through the OrvexImp plug-in and writes each scene as glTF, GLB, OBJ, FBX, "
        "JSON or a rendered PNG preview.\n\n"
        "One file:  orvex-import INPUT.model -o OUTPUT.{gltf,glb,obj,fbx,json,png}\n"
        "Batch:     orvex-import DIR_OR_FILES... -o OUTDIR [--format F] [-j N] [--contact-sheet FILE.png]\n"
        "                        [--overwrite] [--dry-run] [--report FILE.json] [--textures png|dds]\n"
        "                        [--embed-textures]\n\n"
        "It is a batch when there are several inputs, an input is a folder, or --format is given. A batch "
        "converts every .model file under the folders (at any depth) into OUTDIR, mirroring the folder "
        "tree, each file in its own process, N at a time; it skips files whose output is up to date, goes on "
        "past files that fail, and exits 1 when any did.\n",
        kProgramName};
    // A path may begin with a slash on Windows too: options take dashes only.
    app.allow_windows_style_options(false);
    Options options;
    app.add_option("inputs", options.inputs, "the .model file to import; for a batch, files and folders")
        ->check(kNamesSomething);
    app.add_option("-o,--output", options.output,
                   "the file to write (.gltf, .glb, .obj, .fbx, .json or .png); for a batch, the folder to "
                   "write into")
        ->check(kNamesSomething);
    app.add_option("--format", options.format, "batch: the format of every output (default glb)")
        ->check(CLI::IsMember(kBatchFormats));
    app.add_option("-j,--jobs", options.parallel,
                   "batch: files converted at once (default: the number of cores)")
        ->check(CLI::Range(1u, 256u));
    app.add_option("--contact-sheet", options.contactSheet,
                   "batch: also write one PNG with a labelled thumbnail of every converted or skipped model")
        ->check(kNamesSomething);
    app.add_option("--size", options.size, "PNG output: the image size, W or WxH (default 512)")
        ->check(kNamesSomething);
    app.add_option("--view", options.view,
                   "PNG output, --thumbnail and contact sheet: front, side, top or iso (default iso)")
        ->check(kNamesSomething);
    app.add_option("--report", options.report,
                   "also write a JSON account of every file: converted, skipped or failed, and why")
        ->check(kNamesSomething);
    app.add_flag("--overwrite", options.overwrite,
                 "batch: convert every file again, even those whose output is up to date");
    app.add_flag("--dry-run", options.dryRun,
                 "batch: list what would be written, skipped and why, and what collides; write nothing");
    app.add_option("--thumbnail", options.thumbnail,
                   "one file: also write a 160x120 preview of the scene (a failure is a warning)")
        ->check(kNamesSomething);
    // A batch's own way of starting its workers, so not listed in --help.
    app.add_option("--worker-list", options.workList, "convert the files of this list in turn")->group("");
    app.add_option("--threads", options.threads, "the threads this worker may keep busy")
        ->check(CLI::Range(1u, 256u))
        ->group("");
    app.add_flag("--embed-textures", options.embedTextures,
                 "FBX output: put the images inside the .fbx instead of beside it");
    app.add_option("--textures", options.textures,
                   "FBX and OBJ output: png (default) writes PNG images, dds copies the game's DDS files beside "
                   "the output unchanged")
        ->check(CLI::IsMember({"png", "dds"}));
    app.add_flag("--inspect", options.inspect, "print what the file holds instead of converting it");
    app.add_flag("--json", options.json, "with --inspect: print JSON");
    app.add_option("--plugin", options.pluginPath,
                   "the plug-in module to load (default: the one beside this program)")
        ->check(kNamesSomething);
    app.set_version_flag("--version", std::string(kProgramName) + " " + ORVEX_VERSION);
    std::set_terminate(failOnTerminate);
    try {
        orvex::cli::prepareConsole();
        orvex::cli::failWritesPastTheSizeLimit();
        // CLI11 takes the arguments after the program's name, last first.
        std::vector<std::string> arguments = orvex::cli::programArguments(argc, argv);
        if (!arguments.empty()) arguments.erase(arguments.begin());
        std::reverse(arguments.begin(), arguments.end());
        app.parse(arguments);
        for (std::string* path :
             {&options.output, &options.report, &options.thumbnail, &options.contactSheet})
            *path = orvex::cli::withoutVerbatimPrefix(*path);
        for (std::string& input : options.inputs) input = orvex::cli::withoutVerbatimPrefix(input);
        gSubject = subjectOf(options);
        if (options.threads != 0) orvex::writers::setThreadShare(options.threads);
        return run(options, app);
    } catch (const CLI::Success& success) {
        return app.exit(success);
    } catch (const CLI::ParseError& error) {
        std::cerr << kProgramName << ": " << error.what() << " (see --help)\n";
        return kExitUsage;
    } catch (const Failure& failure) {
        std::cerr << kProgramName << ": " << failure.what() << "\n";
        return failure.exitCode();
    } catch (const std::bad_alloc&) {
        std::cerr << kProgramName << ": " << gSubject << ": not enough memory; the import failed\n";
        return kExitImportFailed;
    } catch (const std::exception& error) {
        std::cerr << kProgramName << ": " << gSubject << ": the import failed: " << error.what() << "\n";
        return kExitImportFailed;
    } catch (...) {
        std::cerr << kProgramName << ": " << gSubject << ": the import failed for a reason it did not name\n";
        return kExitImportFailed;
    }
}
