#include "cli/Batch.h"

#include "cli/ContactSheet.h"
#include "cli/Convert.h"
#include "cli/Failure.h"
#include "cli/OutputRecord.h"
#include "cli/Preview.h"
#include "cli/Report.h"
#include "cli/System.h"
#include "cli/Workers.h"
#include "render/Render.h"
#include "writers/AtomicFile.h"
#include "writers/Companion.h"
#include "writers/WriteError.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <map>
#include <new>
#include <optional>
#include <set>
#include <sstream>
#include <system_error>
#include <thread>

namespace orvex::cli {

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

const std::string kLinePrefix = std::string(kProgramName) + ": ";
const std::string kWarningPrefix = kLinePrefix + "warning: ";

// Where a batch keeps the record of what each output was made from.
constexpr char kRecordFolder[] = ".orvex-import";

struct Job {
    std::string input;      // as the worker is given it
    fs::path mirrored;      // the output's path under the output folder, without extension
    std::string output;     // the file the worker writes
    std::string record;     // what its output was made from
    std::string thumbnail;  // the contact sheet's image of it, or empty
    std::string report;     // the worker's account of it
    std::string collision;  // why it cannot be written, or empty
    std::string why;        // why it is converted, or empty when it is skipped
    std::optional<InputState> inputs;  // as they were before any worker read them
};

bool isModelFile(const fs::path& path) {
    std::string extension = path.extension().u8string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return extension == ".model";
}

// Every ".model" file under `folder` at any depth, in path order, and in
// `leftOut` the entries of that name that are no file to read (a link to
// nothing, a pipe, a name that Windows takes for a device), which a worker
// could not read or would wait on for ever. Links to
// folders are followed, as a game's tree may hold folders by link, except
// into a folder that the walk is already inside, which would never end.
// Folders are told apart by what they are, not by their resolved paths:
// Windows' resolved paths keep the links in them.
std::vector<fs::path> modelFilesUnder(const fs::path& folder, std::vector<fs::path>& leftOut) {
    std::vector<fs::path> found;
    std::error_code error;
    fs::path last = folder;  // the entry the walk failed after: a folder it could not list, or in one
    std::vector<fs::path> inside = {folder};  // the outermost first
    const auto isInside = [&inside](const fs::path& path) {
        std::error_code unknown;  // a folder the walk cannot compare is one it has not seen
        return std::any_of(inside.begin(), inside.end(),
                           [&](const fs::path& open) { return fs::equivalent(open, path, unknown); });
    };
    fs::recursive_directory_iterator walk(folder, fs::directory_options::follow_directory_symlink, error);
    for (const fs::recursive_directory_iterator end; !error && walk != end; walk.increment(error)) {
        last = walk->path();
        if (walk->is_directory(error)) {
            inside.resize(static_cast<std::size_t>(walk.depth()) + 1);
            if (isInside(last)) {
                walk.disable_recursion_pending();
            } else {
                inside.push_back(last);
            }
        } else if (isModelFile(last)) {
            std::error_code unreadable;  // a link to nothing is no file, not a folder the walk cannot list
            (walk->is_regular_file(unreadable) ? found : leftOut).push_back(last);
        }
    }
    if (error) {
        std::error_code ignored;
        const fs::path unlisted = fs::is_directory(last, ignored) ? last : last.parent_path();
        throw Failure(kExitImportFailed, unlisted.u8string() + ": cannot list the folder: " + error.message());
    }
    std::sort(found.begin(), found.end());
    return found;
}

// Files named on the command line are taken whatever their name, for the
// worker to judge.
std::vector<Job> collectJobs(const BatchOptions& options) {
    std::vector<Job> jobs;
    for (const std::string& input : options.inputs) {
        const fs::path folder = fs::u8path(input);
        std::error_code error;
        if (!fs::is_directory(folder, error)) {
            jobs.push_back({input, folder.filename().replace_extension(), {}, {}, {}, {}, {}, {}, {}});
            continue;
        }
        std::vector<fs::path> leftOut;
        const std::vector<fs::path> models = modelFilesUnder(folder, leftOut);
        std::sort(leftOut.begin(), leftOut.end());
        for (const fs::path& path : leftOut)
            std::cerr << kLinePrefix << "warning: " << path.u8string() << ": not a file to read; left out\n";
        for (const fs::path& path : models) {
            jobs.push_back({path.u8string(),
                            path.lexically_relative(folder).replace_extension(),
                            {}, {}, {}, {}, {}, {}, {}});
        }
    }
    std::map<fs::path, const Job*> claimed;
    std::vector<Job> distinct;
    for (Job& job : jobs) {
        job.output = (fs::u8path(options.outputDirectory) / job.mirrored).u8string() + "." + options.format;
        job.record = (fs::u8path(options.outputDirectory) / kRecordFolder / job.mirrored).u8string() + "." +
                     options.format + ".json";
        const auto [other, fresh] = claimed.emplace(fs::u8path(nameKey(job.mirrored.u8string())), &job);
        if (!fresh) {
            // One file reached twice for one output, as by a folder named
            // twice, or by a link to it, is one piece of work.
            const Job& first = *other->second;
            if (sameFile(job.input, fileKey(job.input), first.input, fileKey(first.input))) continue;
            job.collision = job.input + ": would be written to " + job.output + " as " +
                            other->second->input + " is; convert them separately";
        }
        distinct.push_back(job);
    }
    return distinct;
}

// A folder for the workers' reports and thumbnails, removed with all it holds.
class ScratchFolder {
public:
    ScratchFolder() {
        std::error_code error;
        const fs::path parent = fs::temp_directory_path(error);
        if (error) throw Failure(kExitWriteFailed, "cannot find the temporary folder: " + error.message());
        std::string why;
        const std::optional<std::string> made = makeNewFolder(parent.u8string(), "orvex-import", why);
        if (!made) throw Failure(kExitWriteFailed, why);
        fPath = fs::u8path(*made);
    }
    ~ScratchFolder() {
        std::error_code ignored;
        fs::remove_all(fPath, ignored);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    const fs::path& path() const { return fPath; }

private:
    fs::path fPath;
};

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> result;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) result.push_back(line);
    return result;
}

// The last line that the worker said of the job, its warnings counted or not.
std::optional<std::string> lastLineAbout(const Job& job, const TaskResult& result, bool warnings) {
    const std::string prefix = kLinePrefix + job.input + ": ";
    for (auto output = result.errorOutputs.rbegin(); output != result.errorOutputs.rend(); ++output) {
        const std::vector<std::string> said = lines(*output);
        for (auto line = said.rbegin(); line != said.rend(); ++line) {
            if (line->rfind(prefix, 0) == 0 && (warnings || line->rfind(prefix + "warning: ", 0) != 0))
                return line->substr(kLinePrefix.size());
        }
    }
    return std::nullopt;
}

// The worker's own line about the file when it left one ("PATH: what went
// wrong"), else what the end of the worker told.
std::string reasonFor(const Job& job, const TaskResult& result) {
    if (std::optional<std::string> line = lastLineAbout(job, result, false)) return *line;
    return job.input + ": " + (result.failure.empty() ? "the worker gave no account of it" : result.failure);
}

// True once the worker has finished with the job: it left its report, or,
// where the job is the thumbnail alone, the thumbnail. A conversion writes
// its thumbnail before its report, so there the thumbnail proves nothing.
bool finishedWith(const Job& job, bool thumbnailAlone) {
    std::error_code ignored;
    return fs::exists(fs::u8path(thumbnailAlone ? job.thumbnail : job.report), ignored);
}

std::string clockTime(double seconds) {
    const long total = static_cast<long>(seconds + 0.5);
    char text[32];
    std::snprintf(text, sizeof text, "%ld:%02ld", total / 60, total % 60);
    return text;
}

// One line, redrawn in place: bar, files done of total, the file last
// started, the rate so far and the time left at that rate.
class ProgressBar {
public:
    explicit ProgressBar(std::size_t total) : fTotal(total), fStart(Clock::now()) {}

    void started(const std::string& name) {
        fCurrent = name;
        draw();
    }
    void finished() {
        ++fDone;
        draw();
    }
    // Prints a line of its own above the bar.
    void print(const std::string& line) {
        std::cerr << "\r\033[K" << line << "\n";
        draw();
    }
    void draw() {
        constexpr int kBarWidth = 24;
        const double elapsed = std::chrono::duration<double>(Clock::now() - fStart).count();
        const int filled = static_cast<int>(kBarWidth * fDone / std::max<std::size_t>(fTotal, 1));
        std::string text = "[" + std::string(filled, '#') + std::string(kBarWidth - filled, '.') + "] " +
                           std::to_string(fDone) + "/" + std::to_string(fTotal) + "  " + fCurrent;
        if (fDone > 0 && elapsed > 0) {
            const double rate = fDone / elapsed;
            char rateText[32];
            std::snprintf(rateText, sizeof rateText, "  %.1f files/s  ", rate);
            text += rateText + clockTime((fTotal - fDone) / rate) + " left";
        }
        const std::size_t width = static_cast<std::size_t>(terminalColumns() - 1);
        if (text.size() > width) {
            // Cut before a character of a UTF-8 name, never inside one.
            std::size_t cut = width;
            while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
            text.resize(cut);
        }
        std::cerr << "\r\033[K" << text << std::flush;
    }
    void clear() { std::cerr << "\r\033[K" << std::flush; }

private:
    std::size_t fTotal;
    std::size_t fDone = 0;
    std::string fCurrent;
    Clock::time_point fStart;
};

// A worker for several files in turn: one process start for all of them.
// The list holds four NUL-terminated fields per file (see convertListed).
using ListEntry = std::array<std::string, 4>;  // input, output (empty for a thumbnail alone), report, thumbnail

Command listCommand(const std::string& program, const BatchOptions& options, const std::vector<ListEntry>& entries,
                    const fs::path& list) {
    std::string fields;
    for (const ListEntry& entry : entries) {
        for (const std::string& field : entry) fields += field + '\0';
    }
    writers::writeFileAtomically(list.u8string(), fields);
    // The cores are shared out among the workers that run at once, so that
    // each decodes and encodes its textures on its share and together they
    // keep every core busy and no more.
    const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    const unsigned share = std::max(1u, cores / options.parallel);
    Command command{program, "--worker-list", list.u8string(), "--threads", std::to_string(share)};
    if (!options.pluginPath.empty()) command.insert(command.end(), {"--plugin", options.pluginPath});
    if (!options.size.empty()) command.insert(command.end(), {"--size", options.size});
    if (!options.view.empty()) command.insert(command.end(), {"--view", options.view});
    if (options.embedTextures) command.push_back("--embed-textures");
    if (options.textureFiles == writers::TextureFiles::kDds) command.insert(command.end(), {"--textures", "dds"});
    return command;
}

// Enough files per worker that starting it costs little beside them, and
// enough workers that each of N runs several and all end close together.
std::size_t filesPerWorker(std::size_t files, unsigned parallel) {
    constexpr std::size_t kMost = 32;
    const std::size_t workers = std::size_t{parallel} * 8;
    return std::clamp<std::size_t>((files + workers - 1) / workers, 1, kMost);
}

// What every output of this run is made by and with: the program, the
// plug-in module the workers load, and the options that shape the output.
struct Maker {
    std::string program;
    std::string plugin;
    std::string options;
};

// The options as given on the command line, those that change the output.
// A size or view that asks for the default one ("--size 512x512",
// "--view iso") shapes nothing, as if it were not given; a size is recorded
// as one number when square, however it was spelled ("256x256", "0256").
std::string shapingOptions(const BatchOptions& options) {
    std::string text = "--format " + options.format;
    if (options.format == "fbx" && options.embedTextures) text += " --embed-textures";
    if (options.textureFiles == writers::TextureFiles::kDds) text += " --textures dds";
    if (options.format == "png") {
        const render::RenderOptions defaults;
        const std::optional<render::FrameSize> size = render::parseSize(options.size);
        if (size && (size->width != defaults.width || size->height != defaults.height)) {
            text += " --size " + std::to_string(size->width);
            if (size->height != size->width) text += "x" + std::to_string(size->height);
        }
        const std::optional<render::View> view = render::parseView(options.view);
        if (view && *view != defaults.view) text += " --view " + options.view;
    }
    return text;
}

Maker makerOf(const BatchOptions& options, const std::string& program, DigestCache& digests) {
    const std::optional<writers::FileDigest> programDigest = digests.digest(program);
    if (!programDigest) throw Failure(kExitImportFailed, program + ": cannot read this program's own file");
    const std::optional<writers::FileDigest> pluginDigest = digests.digest(options.pluginModule);
    // A plug-in that cannot be read fails every worker, which says why.
    return {programDigest->digest, pluginDigest ? pluginDigest->digest : std::string(), shapingOptions(options)};
}

OutputRecord recordOf(const Maker& maker, const InputState& inputs) {
    OutputRecord record;
    record.program = maker.program;
    record.plugin = maker.plugin;
    record.options = maker.options;
    record.inputs = inputs;
    return record;
}

// Why the file must be converted, or empty when its output's record shows
// that a conversion now would give the same output; `trusted` then holds
// that record.
std::string whyConvert(const Job& job, const Maker& maker, DigestCache& digests,
                       std::optional<OutputRecord>& trusted) {
    if (!lastWriteTime(job.output)) return "no output yet";
    if (!job.inputs) return "the model cannot be read";
    std::optional<OutputRecord> record = readRecord(job.record);
    if (!record) return "no record of what " + job.output + " was made from";
    const std::string changed = whatChanged(*record, recordOf(maker, *job.inputs),
                                            fs::u8path(job.output).parent_path().u8string(), digests);
    if (!changed.empty()) return changed;
    trusted = std::move(record);
    return {};
}

// What the report tells of a skipped file: its output as recorded.
FileRecord skippedRecord(const Job& job, OutputRecord trusted) {
    FileRecord kept;
    kept.input = job.input;
    kept.status = "skipped";
    kept.reason = "up to date: " + job.output + " was made from this model, its textures, this program and "
                  "these options";
    kept.meshes = trusted.inputs.meshes;
    kept.vertices = trusted.inputs.vertices;
    kept.triangles = trusted.inputs.triangles;
    for (const TextureState& texture : trusted.inputs.textures) kept.textures.push_back(describeTexture(texture.resolved));
    const fs::path folder = fs::u8path(job.output).parent_path();
    for (const FileState& output : trusted.outputs) kept.outputs.push_back((folder / fs::u8path(output.path)).u8string());
    kept.trusted = std::move(trusted);
    return kept;
}

// Records what a converted output was made from, with the digests of the
// files the worker wrote. A record that cannot be written costs the next
// batch a conversion, and a warning says so.
void recordOutput(const Job& job, const Maker& maker, FileRecord& converted) {
    if (!job.inputs) return;
    OutputRecord record = recordOf(maker, *job.inputs);
    for (const std::string& file : converted.outputs) {
        const std::optional<writers::FileDigest> digest = writers::digestFile(file);
        if (!digest) {
            converted.warnings.push_back(file + ": cannot be read back to record it; the next batch converts it again");
            return;
        }
        record.outputs.push_back({fs::u8path(file).filename().u8string(), digest->size, digest->digest});
    }
    try {
        writeRecord(job.record, record);
    } catch (const writers::WriteError& error) {
        converted.warnings.push_back(std::string(error.what()) + "; the next batch converts it again");
    }
}

bool isOutputFileName(const std::string& name) {
    std::string extension = fs::u8path(name).extension().u8string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    static const std::set<std::string> kExtensions = {".gltf", ".glb", ".obj", ".fbx", ".json",
                                                      ".png",  ".dds", ".bin", ".mtl"};
    return kExtensions.count(extension) != 0;
}

// Removes the temporaries that a stopped worker, or a stopped run, left
// in the folder: no worker writes while this runs.
void removeTemporaries(const fs::path& folder) {
    std::error_code error;
    for (fs::directory_iterator entry(folder, error), end; !error && entry != end; entry.increment(error)) {
        const std::string name = entry->path().filename().u8string();
        if (writers::isTemporaryFileName(name) && isOutputFileName(name.substr(0, name.rfind(".tmp")))) {
            std::error_code ignored;
            fs::remove(entry->path(), ignored);
        }
    }
}

// What a stopped worker was writing is left under temporary names in the
// folder of its output, where nothing else writes once the workers are
// stopped; and when it was stopped while putting its files in place, a new
// buffer or materials file may stand there that its output does not name.
void removeStoppedWork(const std::string& output) {
    const std::optional<std::string> named = writers::companionNamedBy(output);
    std::error_code unknown;
    // An output that stands but names no companion as this program names
    // them keeps what is beside it.
    if (named || !fs::exists(fs::u8path(output), unknown))
        writers::removeLeftovers(output, named, std::nullopt);
    removeTemporaries(fs::u8path(output).parent_path());
}

int dryRun(const std::vector<Job>& jobs) {
    int status = 0;
    for (const Job& job : jobs) {
        if (!job.collision.empty()) {
            std::cout << job.collision << "\n";
            status = kExitUsage;
            continue;
        }
        const std::string& why = job.why;
        if (why.empty()) {
            std::cout << job.input << ": would skip: " << job.output << " is up to date\n";
        } else {
            std::cout << job.input << ": would write " << job.output << " (" << why << ")\n";
        }
    }
    return status;
}

void requireOutputFolder(const std::string& folder) {
    const fs::path path = fs::u8path(folder);
    std::error_code error;
    if (fs::exists(path, error) && !fs::is_directory(path, error)) {
        throw Failure(kExitUsage, folder +
                                      ": not a folder (with several inputs, a folder or --format, -o names "
                                      "the folder to write into)");
    }
}

void prepareOutputFolder(const std::string& folder) {
    requireOutputFolder(folder);
    std::error_code error;
    fs::create_directories(fs::u8path(folder), error);
    if (error) throw Failure(kExitWriteFailed, folder + ": cannot make the folder: " + error.message());
}

bool writeContactSheet(const std::string& path, const std::vector<Job>& jobs,
                       const std::vector<FileRecord>& records) {
    std::vector<SheetEntry> entries;
    for (std::size_t i = 0; i < jobs.size(); ++i) {
        if (records[i].status != "failed")
            entries.push_back({jobs[i].mirrored.generic_string(), jobs[i].thumbnail});
    }
    try {
        writePng(composeContactSheet(entries), path);
    } catch (const writers::WriteError& error) {
        std::cerr << kLinePrefix << error.what() << "\n";
        return false;
    } catch (const std::bad_alloc&) {
        std::cerr << kLinePrefix << path << ": cannot write: out of memory\n";
        return false;
    }
    std::cerr << kLinePrefix << path << ": contact sheet of " << entries.size() << " models\n";
    return true;
}

// Decides for each job whether to convert it (its `why`) or to skip it (its
// trusted record), reading its inputs as they are before any worker starts.
// A request to stop leaves the jobs not yet decided to be converted, which
// a stopped batch then reports as not converted.
std::vector<std::optional<OutputRecord>> decide(std::vector<Job>& jobs, const Maker& maker,
                                                const BatchOptions& options, DigestCache& digests) {
    std::vector<std::optional<OutputRecord>> trusted(jobs.size());
    for (std::size_t i = 0; i < jobs.size(); ++i) {
        Job& job = jobs[i];
        if (!job.collision.empty()) continue;
        if (stopRequest() != 0) {
            job.why = "the batch was stopped";
            continue;
        }
        job.inputs = readInputs(importPath(job.input), digests);
        job.why = options.overwrite ? "--overwrite" : whyConvert(job, maker, digests, trusted[i]);
    }
    return trusted;
}

// The report and the contact sheet must not land on an input, an output
// or each other.
void requireOwnFiles(const BatchOptions& options, const std::vector<Job>& jobs) {
    struct Written {
        const char* option;
        const std::string& path;
        std::string key;
    };
    std::vector<Written> written;
    for (const auto& [option, path] : {std::pair<const char*, const std::string&>{"--report", options.report},
                                       {"--contact-sheet", options.contactSheet}}) {
        if (path.empty()) continue;
        written.push_back({option, path, fileKey(path)});
        if (written.size() == 2 && sameFile(written[0].path, written[0].key, path, written[1].key))
            throw Failure(kExitUsage, path + ": named by both " + written[0].option + " and " + option);
    }
    if (written.empty()) return;
    for (const Job& job : jobs) {
        const std::string input = fileKey(job.input);
        const std::string output = fileKey(job.output);
        for (const auto& [option, path, key] : written) {
            if (sameFile(path, key, job.input, input))
                throw Failure(kExitUsage, path + ": " + option + " names the input file " + job.input);
            if (sameFile(path, key, job.output, output))
                throw Failure(kExitUsage, path + ": " + option + " names the output of " + job.input);
        }
    }
}

}  // namespace

int runBatch(const BatchOptions& options) {
    const std::string program = programPath();
    if (program.empty())
        throw Failure(kExitImportFailed, "cannot find this program's own file to run workers");
    std::vector<Job> jobs = collectJobs(options);
    if (jobs.empty()) {
        std::string inputs = options.inputs.front();
        for (std::size_t i = 1; i < options.inputs.size(); ++i) inputs += ", " + options.inputs[i];
        throw Failure(kExitImportFailed, inputs + ": no .model files found");
    }
    requireOwnFiles(options, jobs);
    DigestCache digests;
    const Maker maker = makerOf(options, program, digests);
    if (options.dryRun) {
        requireOutputFolder(options.outputDirectory);
        decide(jobs, maker, options, digests);
        return dryRun(jobs);
    }
    for (const Job& job : jobs) {
        if (!job.collision.empty()) throw Failure(kExitUsage, job.collision);
    }
    prepareOutputFolder(options.outputDirectory);

    // Catching them this early leaves no moment in which a request to stop
    // kills the batch without its report.
    catchStopRequests();
    std::vector<std::optional<OutputRecord>> trusted = decide(jobs, maker, options, digests);
    // What a run stopped before this one left, before any worker writes.
    std::set<fs::path> folders;
    for (const Job& job : jobs) folders.insert(fs::u8path(job.output).parent_path());
    for (const fs::path& folder : folders) removeTemporaries(folder);
    const ScratchFolder scratch;
    std::vector<std::optional<FileRecord>> records(jobs.size());
    for (std::size_t i = 0; i < jobs.size(); ++i) {
        Job& job = jobs[i];
        job.report = (scratch.path() / (std::to_string(i) + ".json")).u8string();
        if (!options.contactSheet.empty())
            job.thumbnail = (scratch.path() / (std::to_string(i) + ".png")).u8string();
        if (!job.why.empty()) continue;
        records[i] = skippedRecord(job, std::move(*trusted[i]));
    }
    // Skipped files go to the workers only for the contact sheet's thumbnails.
    std::vector<std::size_t> round;
    for (std::size_t i = 0; i < jobs.size(); ++i) {
        if (!records[i] || !jobs[i].thumbnail.empty()) round.push_back(i);
    }
    // A worker converts a run of files in turn, so that a batch of small
    // files does not spend its time starting processes.
    std::vector<std::vector<std::size_t>> jobsOfTask;
    std::size_t lists = 0;
    const auto tasksFor = [&](const std::vector<std::size_t>& files) {
        std::vector<Task> tasks;
        jobsOfTask.clear();
        const std::size_t chunk = filesPerWorker(files.size(), options.parallel);
        for (std::size_t first = 0; first < files.size(); first += chunk) {
            std::vector<std::size_t> chosen(files.begin() + static_cast<std::ptrdiff_t>(first),
                                            files.begin() + static_cast<std::ptrdiff_t>(
                                                                std::min(first + chunk, files.size())));
            std::vector<ListEntry> entries;
            for (std::size_t i : chosen) {
                const std::string output = records[i] ? std::string() : jobs[i].output;
                entries.push_back({jobs[i].input, output, jobs[i].report, jobs[i].thumbnail});
            }
            const fs::path list = scratch.path() / ("list" + std::to_string(lists++));
            try {
                tasks.push_back({{listCommand(program, options, entries, list)}});
            } catch (const writers::WriteError& error) {
                throw Failure(kExitWriteFailed, error.what());
            }
            jobsOfTask.push_back(std::move(chosen));
        }
        return tasks;
    };

    std::vector<bool> done(jobs.size());
    for (std::size_t i = 0; i < jobs.size(); ++i) done[i] = records[i] && jobs[i].thumbnail.empty();
    std::optional<ProgressBar> bar;
    if (errorOutputIsTerminal()) bar.emplace(jobs.size());
    std::size_t reported = 0;  // without a bar, files are reported in input order

    const auto reportLine = [&](const FileRecord& record, const Job& job) {
        if (record.status == "converted") return kLinePrefix + job.input + ": converted to " + job.output;
        if (record.status == "skipped") return kLinePrefix + job.input + ": skipped: " + record.reason;
        return kLinePrefix + record.reason;
    };
    const auto show = [&](std::size_t i) {
        std::vector<std::string> shown;
        for (const std::string& warning : records[i]->warnings)
            shown.push_back(kLinePrefix + jobs[i].input + ": warning: " + warning);
        shown.push_back(reportLine(*records[i], jobs[i]));
        for (const std::string& line : shown) {
            if (bar) {
                bar->print(line);
            } else {
                std::cerr << line << "\n";
            }
        }
    };
    const auto showInOrder = [&] {
        for (; reported < jobs.size() && done[reported]; ++reported) show(reported);
    };
    if (!bar) showInOrder();
    const auto started = [&](std::size_t task) {
        for (std::size_t i : jobsOfTask[task]) {
            std::error_code ignored;  // a folder that cannot be made fails the worker, which says so
            fs::create_directories(fs::u8path(jobs[i].output).parent_path(), ignored);
        }
        if (bar) bar->started(jobs[jobsOfTask[task].front()].input);
    };
    const auto finishedJob = [&](std::size_t i, const TaskResult& result) {
        const Job& job = jobs[i];
        std::optional<FileRecord> told = readFirstRecord(job.report);
        if (result.stopped && !told) {
            // The files that a stopped worker finished stand, converted or
            // failed; the one it was writing does not.
            removeStoppedWork(job.output);
            return;
        }
        if (records[i]) {
            // A skipped file's thumbnail, whole if it is there at all: its
            // warnings are the conversion's, told before.
        } else if (told) {
            records[i] = std::move(*told);
            if (records[i]->status == "converted") {
                records[i]->why = job.why;
                recordOutput(job, maker, *records[i]);
            }
        } else {
            FileRecord failed;
            failed.status = "failed";
            failed.reason = reasonFor(job, result);
            records[i] = std::move(failed);
        }
        records[i]->input = job.input;
        done[i] = true;
        if (bar) {
            show(i);
            bar->finished();
        }
    };
    // The files of workers that died before they came to them: a crash on
    // one file must not fail the good files listed after it.
    std::vector<std::size_t> retried;
    const auto finished = [&](std::size_t task, TaskResult result) {
        const std::vector<std::size_t>& files = jobsOfTask[task];
        std::size_t ended = files.size();
        if (!result.succeeded && !result.stopped && result.ran) {
            // It died on the last file it said something of without finishing
            // it, or else on the one after the last it finished.
            ended = 1;
            for (std::size_t k = files.size(); k > 0; --k) {
                const Job& job = jobs[files[k - 1]];
                if (finishedWith(job, records[files[k - 1]].has_value())) {
                    ended = std::min(k + 1, files.size());
                    break;
                }
                if (lastLineAbout(job, result, true)) {
                    ended = k;
                    break;
                }
            }
        }
        for (std::size_t k = 0; k < files.size(); ++k) {
            if (k < ended) {
                finishedJob(files[k], result);
            } else {
                retried.push_back(files[k]);
            }
        }
        if (!bar) showInOrder();
    };
    const auto tick = [&] {
        if (bar) bar->draw();
    };
    if (bar) {
        for (std::size_t i = 0; i < jobs.size(); ++i) {
            if (done[i]) {
                show(i);
                bar->finished();
            }
        }
    }
    while (!round.empty() && stopRequest() == 0) {
        const std::vector<Task> tasks = tasksFor(round);
        try {
            runTasks(tasks, options.parallel, started, finished, tick, [] { return stopRequest() != 0; });
        } catch (const std::system_error& error) {
            if (bar) bar->clear();
            throw Failure(kExitImportFailed,
                          options.outputDirectory + ": lost track of the workers: " + error.what());
        }
        std::sort(retried.begin(), retried.end());
        round = std::exchange(retried, {});
    }
    if (bar) bar->clear();
    const int stopped = stopRequest();

    std::vector<FileRecord> finalRecords;
    std::size_t counts[3] = {0, 0, 0};  // converted, skipped, failed
    for (std::size_t i = 0; i < jobs.size(); ++i) {
        FileRecord record;
        if (records[i] && (done[i] || records[i]->status == "skipped")) {
            record = *records[i];
        } else {
            record.input = jobs[i].input;
            record.status = "failed";
            record.reason = jobs[i].input + ": not converted: the batch was stopped";
        }
        counts[0] += record.status == "converted";
        counts[1] += record.status == "skipped";
        counts[2] += record.status == "failed";
        finalRecords.push_back(std::move(record));
    }
    std::cerr << kLinePrefix << (stopped ? "stopped; " : "") << "converted " << counts[0] << ", skipped "
              << counts[1] << " of " << jobs.size() << " files into " << options.outputDirectory;
    std::cerr << (counts[2] == 0 ? "\n" : "; " + std::to_string(counts[2]) + " failed:\n");
    for (const FileRecord& record : finalRecords) {
        if (record.status == "failed") std::cerr << kLinePrefix << record.reason << "\n";
    }
    bool written = true;
    if (!options.report.empty()) {
        try {
            writeReport(options.report, finalRecords, ReportTexts::kReadable);
        } catch (const writers::WriteError& error) {
            std::cerr << kLinePrefix << error.what() << "\n";
            written = false;
        }
    }
    if (stopped) return stopped;
    if (!options.contactSheet.empty() && counts[2] == jobs.size()) {
        std::cerr << kLinePrefix << options.contactSheet << ": not written: no model was converted\n";
    } else if (!options.contactSheet.empty()) {
        written = writeContactSheet(options.contactSheet, jobs, finalRecords) && written;
    }
    if (counts[2] > 0) return kExitImportFailed;
    return written ? 0 : kExitWriteFailed;
}

}  // namespace orvex::cli
