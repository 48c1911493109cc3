#include "cli/Batch.h"

#include "cli/ContactSheet.h"
#include "cli/Failure.h"
#include "cli/PluginLocation.h"
#include "cli/Preview.h"
#include "cli/Workers.h"
#include "writers/WriteError.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <map>
#include <new>
#include <optional>
#include <sstream>
#include <system_error>

namespace orvex::cli {

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

const std::string kLinePrefix = std::string(kProgramName) + ": ";
const std::string kWarningPrefix = kLinePrefix + "warning: ";

struct Job {
    std::string input;      // as the worker is given it
    fs::path mirrored;      // the output's path under the output folder, without extension
    std::string output;     // the file the worker writes
    std::string thumbnail;  // the contact sheet's image of it, or empty
};

bool isModelFile(const fs::path& path) {
    std::string extension = path.extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return extension == ".model";
}

// Folders give their ".model" files in path order, so that the work and the
// report are the same from run to run; files named on the command line are
// taken whatever their name, for the worker to judge.
std::vector<Job> collectJobs(const BatchOptions& options) {
    std::vector<Job> jobs;
    for (const std::string& input : options.inputs) {
        std::error_code error;
        if (!fs::is_directory(input, error)) {
            jobs.push_back({input, fs::path(input).filename().replace_extension(), {}, {}});
            continue;
        }
        std::vector<fs::path> found;
        fs::recursive_directory_iterator walk(input, error), end;
        for (; !error && walk != end; walk.increment(error)) {
            if (isModelFile(walk->path()) && walk->is_regular_file(error)) found.push_back(walk->path());
        }
        if (error) throw Failure(kExitImportFailed, input + ": cannot list the folder: " + error.message());
        std::sort(found.begin(), found.end());
        for (const fs::path& path : found) {
            jobs.push_back({path.string(), path.lexically_relative(input).replace_extension(), {}, {}});
        }
    }
    std::map<fs::path, const Job*> claimed;
    for (Job& job : jobs) {
        job.output = (fs::path(options.outputDirectory) / job.mirrored).string() + "." + options.format;
        const auto [other, fresh] = claimed.emplace(job.mirrored, &job);
        if (!fresh) {
            throw Failure(kExitUsage, job.input + ": would be written to " + job.output + " as " +
                                          other->second->input + " is; convert them separately");
        }
    }
    return jobs;
}

// A folder for the contact sheet's thumbnails, removed with all it holds.
class ScratchFolder {
public:
    ScratchFolder() {
        std::string pattern = (fs::temp_directory_path() / "orvex-import-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) {
            throw Failure(kExitWriteFailed,
                          pattern + ": cannot make a folder for thumbnails: " + std::strerror(errno));
        }
        fPath = pattern;
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

// The failing worker's own line when it left one ("PATH: what went wrong"), else
// what the end of the worker told.
std::string reasonFor(const Job& job, const TaskResult& result) {
    const std::vector<std::string> said =
        lines(result.errorOutputs.empty() ? std::string() : result.errorOutputs.back());
    for (auto line = said.rbegin(); line != said.rend(); ++line) {
        if (line->rfind(kLinePrefix, 0) == 0 && line->rfind(kWarningPrefix, 0) != 0) {
            return line->substr(kLinePrefix.size());
        }
    }
    return job.input + ": " + result.failure;
}

// Of the conversion alone: the thumbnail would repeat them.
std::vector<std::string> warningsOf(const Job& job, const TaskResult& result) {
    std::vector<std::string> warnings;
    if (result.errorOutputs.empty()) return warnings;
    for (const std::string& line : lines(result.errorOutputs.front())) {
        if (line.rfind(kWarningPrefix, 0) == 0) {
            warnings.push_back(kLinePrefix + job.input + ": warning: " + line.substr(kWarningPrefix.size()));
        }
    }
    return warnings;
}

std::string clockTime(double seconds) {
    const long total = static_cast<long>(seconds + 0.5);
    char text[32];
    std::snprintf(text, sizeof text, "%ld:%02ld", total / 60, total % 60);
    return text;
}

int terminalWidth() {
    winsize size{};
    return ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0 ? size.ws_col : 80;
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
        const std::size_t width = static_cast<std::size_t>(terminalWidth() - 1);
        if (text.size() > width) text.resize(width);
        std::cerr << "\r\033[K" << text << std::flush;
    }
    void clear() { std::cerr << "\r\033[K" << std::flush; }

private:
    std::size_t fTotal;
    std::size_t fDone = 0;
    std::string fCurrent;
    Clock::time_point fStart;
};

Command conversionCommand(const std::string& program, const BatchOptions& options, const Job& job) {
    Command command{program, "-o", job.output};
    if (!options.pluginPath.empty()) command.insert(command.end(), {"--plugin", options.pluginPath});
    if (!options.size.empty()) command.insert(command.end(), {"--size", options.size});
    if (!options.view.empty() && options.format == "png")
        command.insert(command.end(), {"--view", options.view});
    // "--" so that an input whose name starts with '-' is not taken for an option.
    command.insert(command.end(), {"--", job.input});
    return command;
}

Command thumbnailCommand(const std::string& program, const BatchOptions& options, const Job& job) {
    Command command{program, "-o", job.thumbnail, "--size",
                    std::to_string(kThumbnailWidth) + "x" + std::to_string(kThumbnailHeight)};
    if (!options.pluginPath.empty()) command.insert(command.end(), {"--plugin", options.pluginPath});
    if (!options.view.empty()) command.insert(command.end(), {"--view", options.view});
    command.insert(command.end(), {"--", job.input});
    return command;
}

void prepareOutputFolder(const std::string& folder) {
    std::error_code error;
    if (fs::exists(folder, error) && !fs::is_directory(folder, error)) {
        throw Failure(kExitUsage, folder +
                                      ": not a folder (with several inputs, a folder or --format, -o names "
                                      "the folder to write into)");
    }
    fs::create_directories(folder, error);
    if (error) throw Failure(kExitWriteFailed, folder + ": cannot make the folder: " + error.message());
}

bool writeContactSheet(const std::string& path, const std::vector<Job>& jobs,
                       const std::vector<bool>& converted) {
    std::vector<SheetEntry> entries;
    for (std::size_t i = 0; i < jobs.size(); ++i) {
        if (converted[i]) entries.push_back({jobs[i].mirrored.generic_string(), jobs[i].thumbnail});
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

}  // namespace

int runBatch(const BatchOptions& options) {
    const std::string program = programPath();
    if (program.empty())
        throw Failure(kExitImportFailed, "/proc/self/exe: cannot find this program to run workers");
    std::vector<Job> jobs = collectJobs(options);
    if (jobs.empty()) throw Failure(kExitImportFailed, options.inputs.front() + ": no .model files found");
    prepareOutputFolder(options.outputDirectory);

    std::optional<ScratchFolder> thumbnails;
    if (!options.contactSheet.empty()) thumbnails.emplace();
    std::vector<Task> tasks;
    for (std::size_t i = 0; i < jobs.size(); ++i) {
        Task task{{conversionCommand(program, options, jobs[i])}};
        if (thumbnails) {
            jobs[i].thumbnail = (thumbnails->path() / (std::to_string(i) + ".png")).string();
            task.steps.push_back(thumbnailCommand(program, options, jobs[i]));
        }
        tasks.push_back(std::move(task));
    }

    std::vector<std::optional<TaskResult>> results(jobs.size());
    std::vector<std::string> reasons(jobs.size());
    std::optional<ProgressBar> bar;
    if (isatty(STDERR_FILENO)) bar.emplace(jobs.size());
    std::size_t reported = 0;  // without a bar, files are reported in input order

    const auto started = [&](std::size_t i) {
        std::error_code ignored;  // a folder that cannot be made fails the worker, which says so
        fs::create_directories(fs::path(jobs[i].output).parent_path(), ignored);
        if (bar) bar->started(jobs[i].input);
    };
    const auto finished = [&](std::size_t i, TaskResult result) {
        if (!result.succeeded) reasons[i] = reasonFor(jobs[i], result);
        results[i] = std::move(result);
        if (bar) {
            for (const std::string& warning : warningsOf(jobs[i], *results[i])) bar->print(warning);
            if (!results[i]->succeeded) bar->print(kLinePrefix + reasons[i]);
            bar->finished();
            return;
        }
        for (; reported < jobs.size() && results[reported]; ++reported) {
            for (const std::string& warning : warningsOf(jobs[reported], *results[reported])) {
                std::cerr << warning << "\n";
            }
            if (results[reported]->succeeded) {
                std::cerr << kLinePrefix << jobs[reported].input << ": converted to " << jobs[reported].output
                          << "\n";
            } else {
                std::cerr << kLinePrefix << reasons[reported] << "\n";
            }
        }
    };
    const auto tick = [&] {
        if (bar) bar->draw();
    };
    try {
        runTasks(tasks, options.parallel, started, finished, tick);
    } catch (const std::system_error& error) {
        if (bar) bar->clear();
        throw Failure(kExitImportFailed,
                      options.outputDirectory + ": lost track of the workers: " + error.what());
    }
    if (bar) bar->clear();

    std::vector<bool> converted(jobs.size());
    std::size_t failed = 0;
    for (std::size_t i = 0; i < jobs.size(); ++i) {
        converted[i] = results[i]->succeeded;
        failed += !converted[i];
    }
    std::cerr << kLinePrefix << "converted " << jobs.size() - failed << " of " << jobs.size()
              << " files into " << options.outputDirectory;
    std::cerr << (failed == 0 ? "\n" : "; " + std::to_string(failed) + " failed:\n");
    for (std::size_t i = 0; i < jobs.size(); ++i) {
        if (!converted[i]) std::cerr << kLinePrefix << reasons[i] << "\n";
    }
    bool sheetWritten = true;
    if (!options.contactSheet.empty() && failed == jobs.size()) {
        std::cerr << kLinePrefix << options.contactSheet << ": not written: no model was converted\n";
    } else if (!options.contactSheet.empty()) {
        sheetWritten = writeContactSheet(options.contactSheet, jobs, converted);
    }
    if (failed > 0) return kExitImportFailed;
    return sheetWritten ? 0 : kExitWriteFailed;
}

}  // namespace orvex::cli
