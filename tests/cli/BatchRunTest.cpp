// Whole-game batches: resuming, --overwrite, --dry-run, the --report file,
// and stopping a batch by SIGINT or SIGTERM.

#include "modelgen/DdsBuilder.h"
#include "modelgen/ModelBuilder.h"

#include "tests/cli/ProgramFixture.h"

#include <nlohmann/json.hpp>

#include <gmock/gmock.h>

#if !defined(_WIN32)
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>
#endif

#include <chrono>
#include <thread>

namespace {

using namespace orvex::testing;
using orvex::ModelVertex;
using orvex::modelgen::ModelBuilder;
using ::testing::HasSubstr;
using Json = nlohmann::json;

orvex::modelgen::Bytes texturedTriangle(const std::string& texture, float size) {
    std::vector<ModelVertex> vertices(3);
    vertices[1].x = size;
    vertices[2].y = size;
    ModelBuilder model;
    model.beginMeshList().mesh(texture + std::string("\0", 1), vertices, {0, 1, 2}).endMeshList();
    return model.bytes();
}

void write(const fs::path& path, const orvex::modelgen::Bytes& bytes) {
    fs::create_directories(path.parent_path());
    orvex::modelgen::writeFile(path.string(), bytes);
}

// Later than anything written so far, on any file system's clock.
void touch(const fs::path& path) {
    fs::last_write_time(path, fs::file_time_type::clock::now() + std::chrono::seconds(5));
}

std::map<fs::path, fs::file_time_type> timesUnder(const fs::path& directory) {
    std::map<fs::path, fs::file_time_type> times;
    for (const fs::path& file : filesUnder(directory)) times[file] = fs::last_write_time(directory / file);
    return times;
}

class BatchRunTest : public ProgramTest {
protected:
    // A content tree: two models on one texture, one on a missing texture,
    // one that is no model.
    fs::path writeContent() const {
        const fs::path content = scratch_ / "game" / "content";
        orvex::modelgen::RgbaImage image{1, 1, {200, 10, 10, 255}};
        write(content / "textures" / "stone.1024.dds",
              orvex::modelgen::buildDds(image, orvex::modelgen::DdsFormat::Rgba32));
        write(content / "meshes" / "a.model", texturedTriangle("stone", 1));
        write(content / "meshes" / "b.model", texturedTriangle("stone", 2));
        write(content / "meshes" / "c.model", texturedTriangle("lost", 3));
        write(content / "meshes" / "d.model", ModelBuilder().beginMeshList().endMeshList().bytes());
        return content / "meshes";
    }

    Json report() const { return Json::parse(readText(scratch_ / "report.json")); }
};

TEST_F(BatchRunTest, ResumesRewritingNothingAndConvertsAgainWhatChanged) {
    const std::string meshes = writeContent().string();
    const std::string outdir = out("gltf").string();
    const std::vector<std::string> batch = {
        meshes, "-o", outdir, "--format", "gltf", "--report", (scratch_ / "report.json").string()};
    ASSERT_EQ(run(batch).status, 1);
    const auto first = timesUnder(outdir);

    const Outcome again = run(batch);
    EXPECT_EQ(again.status, 1) << again.err;
    EXPECT_THAT(again.err, HasSubstr("a.model: skipped: up to date"));
    EXPECT_THAT(again.err, HasSubstr("converted 0, skipped 3 of 4 files"));
    EXPECT_EQ(timesUnder(outdir), first);
    EXPECT_EQ(report()["skipped"], 3);
    EXPECT_EQ(report()["failed"], 1);

    // A newer model, then a newer texture, are converted again; --overwrite
    // converts everything.
    touch(fs::path(meshes) / "b.model");
    EXPECT_THAT(run(batch).err, HasSubstr("converted 1, skipped 2 of 4"));
    EXPECT_EQ(report()["files"][1]["status"], "converted");
    touch(fs::path(meshes).parent_path() / "textures" / "stone.1024.dds");
    EXPECT_THAT(run(batch).err, HasSubstr("converted 2, skipped 1 of 4"));
    std::vector<std::string> overwrite = batch;
    overwrite.push_back("--overwrite");
    EXPECT_THAT(run(overwrite).err, HasSubstr("converted 3, skipped 0 of 4"));
}

TEST_F(BatchRunTest, ReportsEveryFileConvertedSkippedOrFailed) {
    const fs::path meshes = writeContent();
    const std::string reportPath = (scratch_ / "report.json").string();
    ASSERT_EQ(
        run({(meshes / "a.model").string(), "-o", out("a.gltf").string(), "--report", reportPath}).status, 0);
    const Json single = report();
    EXPECT_EQ(single["converted"], 1);
    ASSERT_EQ(single["files"].size(), 1u);

    const std::string outdir = out("batch").string();
    write(fs::path(outdir) / "b.glb", {});
    touch(fs::path(outdir) / "b.glb");
    const Outcome result = run({meshes.string(), "-o", outdir, "--report", reportPath});
    EXPECT_EQ(result.status, 1) << result.err;
    const Json batch = report();
    EXPECT_EQ(batch["converted"], 2);
    EXPECT_EQ(batch["skipped"], 1);
    EXPECT_EQ(batch["failed"], 1);
    const Json& files = batch["files"];
    ASSERT_EQ(files.size(), 4u);

    const Json& a = files[0];
    EXPECT_EQ(a["input"], (meshes / "a.model").string());
    EXPECT_EQ(a["status"], "converted");
    EXPECT_FALSE(a.contains("reason"));
    EXPECT_EQ(a["outputs"], Json::array({native(outdir + "/a.glb")}));
    EXPECT_EQ(a["meshes"], 1);
    EXPECT_EQ(a["vertices"], 3);
    EXPECT_EQ(a["triangles"], 1);
    ASSERT_EQ(a["textures"].size(), 1u);
    EXPECT_THAT(a["textures"][0]["resolved"].get<std::string>(), HasSubstr("\\textures\\stone.1024.dds"));
    EXPECT_EQ(a["textures"][0]["found"], (meshes.parent_path() / "textures" / "stone.1024.dds").string());
    EXPECT_EQ(a["textures"][0]["resolution"], 1024);
    EXPECT_EQ(a["warnings"], Json::array());
    EXPECT_GT(a["seconds"].get<double>(), 0);

    const Json& b = files[1];
    EXPECT_EQ(b["status"], "skipped");
    EXPECT_THAT(b["reason"].get<std::string>(), HasSubstr("up to date"));
    EXPECT_EQ(b["outputs"], Json::array({native(outdir + "/b.glb")}));
    EXPECT_EQ(b["textures"][0]["resolution"], 1024);

    // A missing texture: its native path in the warning, once.
    const Json& c = files[2];
    EXPECT_EQ(c["status"], "converted");
    EXPECT_EQ(c["textures"][0]["found"], nullptr);
    const std::string lost = (meshes.parent_path() / "textures" / "lost.512.dds").string();
    EXPECT_EQ(c["warnings"], Json::array({"texture " + lost + ": not found; left untextured"}));
    EXPECT_THAT(result.err, HasSubstr("c.model: warning: texture " + lost + ": not found"));

    const Json& d = files[3];
    EXPECT_EQ(d["status"], "failed");
    EXPECT_EQ(d["reason"], (meshes / "d.model").string() + ": the file holds no complete mesh");
    EXPECT_EQ(d["outputs"], Json::array());
}

TEST_F(BatchRunTest, DryRunListsTheWorkAndCollisionsAndWritesNothing) {
    const fs::path meshes = writeContent();
    const std::string outdir = out("batch").string();
    write(fs::path(outdir) / "a.glb", {});
    touch(fs::path(outdir) / "a.glb");
    const Outcome plan = run({meshes.string(), "-o", outdir, "--dry-run"});
    EXPECT_EQ(plan.status, 0) << plan.err;
    const std::string m = meshes.string();
    EXPECT_EQ(plan.out, native(m + "/a.model") + ": would skip: " + native(outdir + "/a.glb") + " is up to date\n" +
                            native(m + "/b.model") + ": would write " + native(outdir + "/b.glb") + " (no output yet)\n" +
                            native(m + "/c.model") + ": would write " + native(outdir + "/c.glb") + " (no output yet)\n" +
                            native(m + "/d.model") + ": would write " + native(outdir + "/d.glb") + " (no output yet)\n");
    EXPECT_EQ(filesUnder(outdir), std::vector<fs::path>{"a.glb"});

    write(scratch_ / "other" / "a.model", texturedTriangle("stone", 5));
    const Outcome collision = run(
        {meshes.string(), (scratch_ / "other" / "a.model").string(), "-o", out("new").string(), "--dry-run"});
    EXPECT_EQ(collision.status, 2);
    EXPECT_THAT(collision.out, HasSubstr(native("other/a.model") + ": would be written to " +
                                         native(out("new").string() + "/a.glb") + " as " + native(m + "/a.model") +
                                         " is"));
    EXPECT_FALSE(fs::exists(out("new")));
}

// On Windows a stop is a console's Ctrl-C, which wine delivers from a
// signal handler that can deadlock in the C library's allocator; the stop
// itself is tested through the workers (WorkersTest), on every system.
#if !defined(_WIN32)
// Starts the program with its standard error in a file.
pid_t start(const std::vector<std::string>& arguments, const fs::path& errors) {
    std::vector<char*> argv;
    std::string program = ORVEX_PROGRAM;
    argv.push_back(program.data());
    std::vector<std::string> copies = arguments;
    for (std::string& argument : copies) argv.push_back(argument.data());
    argv.push_back(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        const int fd = open(errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(fd, STDERR_FILENO);
        execv(argv[0], argv.data());
        _exit(127);
    }
    return pid;
}

TEST_F(BatchRunTest, StopsCleanlyOnSigintAndSigtermAndARerunFinishes) {
    const fs::path content = scratch_ / "many" / "content";
    constexpr int kFiles = 120;
    for (int i = 0; i < kFiles; ++i)
        write(content / ("m" + std::to_string(1000 + i) + ".model"), texturedTriangle("x", 1.0f + i));
    for (const auto& [signal, status] : {std::pair{SIGINT, 130}, std::pair{SIGTERM, 143}}) {
        SCOPED_TRACE(signal);
        const std::string outdir = out("s" + std::to_string(signal)).string();
        const fs::path errors = scratch_ / ("errors" + std::to_string(signal) + ".txt");
        const std::vector<std::string> batch = {content.string(),
                                                "-o",
                                                outdir,
                                                "--format",
                                                "gltf",
                                                "-j",
                                                "2",
                                                "--report",
                                                (scratch_ / "report.json").string()};
        const pid_t pid = start(batch, errors);
        // A definite state, whatever the machine's load: one file done.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (readText(errors).find("converted to") == std::string::npos &&
               std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        kill(pid, signal);
        int raw = 0;
        waitpid(pid, &raw, 0);
        ASSERT_TRUE(WIFEXITED(raw));
        EXPECT_EQ(WEXITSTATUS(raw), status) << readText(errors);
        EXPECT_THAT(readText(errors), HasSubstr("stopped; converted "));

        const Json stopped = report();
        const int converted = stopped["converted"];
        EXPECT_GT(converted, 0);
        EXPECT_LT(converted, kFiles);
        EXPECT_EQ(stopped["files"].size(), std::size_t{kFiles});
        std::size_t gltfs = 0;
        for (const fs::path& file : filesUnder(outdir)) {
            EXPECT_EQ(file.string().find(".tmp"), std::string::npos) << file;
            if (file.extension() != ".gltf") continue;
            ++gltfs;
            EXPECT_TRUE(Json::accept(readText(fs::path(outdir) / file))) << file;
        }
        // A worker stopped after its output was whole leaves it whole.
        EXPECT_GE(gltfs, static_cast<std::size_t>(converted));
        EXPECT_LE(gltfs, static_cast<std::size_t>(converted) + 2);

        const Outcome rerun = run(batch);
        EXPECT_EQ(rerun.status, 0) << rerun.err;
        EXPECT_EQ(report()["skipped"], gltfs);
        EXPECT_EQ(report()["converted"], kFiles - gltfs);
    }
}

#endif

}  // namespace
