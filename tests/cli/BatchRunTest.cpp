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
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <cctype>
#include <chrono>
#include <functional>
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

// Far earlier than anything written so far: as a file restored from a
// backup, or unpacked from an archive that keeps times, carries it.
void age(const fs::path& path) {
    fs::last_write_time(path, fs::file_time_type::clock::now() - std::chrono::hours(24 * 365 * 5));
}

std::map<fs::path, fs::file_time_type> timesUnder(const fs::path& directory) {
    std::map<fs::path, fs::file_time_type> times;
    for (const fs::path& file : filesUnder(directory)) times[file] = fs::last_write_time(directory / file);
    return times;
}

orvex::modelgen::Bytes texture(std::uint8_t red) {
    orvex::modelgen::RgbaImage image{1, 1, {red, 10, 10, 255}};
    return orvex::modelgen::buildDds(image, orvex::modelgen::DdsFormat::Rgba32);
}

// Copies the tree, every file with the time of the copy.
void copyWithNewTimes(const fs::path& from, const fs::path& to) {
    fs::copy(from, to, fs::copy_options::recursive);
    for (const fs::path& file : filesUnder(to)) fs::last_write_time(to / file, fs::file_time_type::clock::now());
}

class BatchRunTest : public ProgramTest {
protected:
    // A content tree: two models on one texture, one on a missing texture,
    // one that is no model.
    fs::path writeContent() const {
        const fs::path content = scratch_ / "game" / "content";
        write(content / "textures" / "stone.1024.dds", texture(200));
        write(content / "meshes" / "a.model", texturedTriangle("stone", 1));
        write(content / "meshes" / "b.model", texturedTriangle("stone", 2));
        write(content / "meshes" / "c.model", texturedTriangle("lost", 3));
        write(content / "meshes" / "d.model", ModelBuilder().beginMeshList().endMeshList().bytes());
        return content / "meshes";
    }

    Json report() const { return Json::parse(readText(scratch_ / "report.json")); }

    // The inputs of the report that ended as `status`, by file name.
    std::vector<std::string> inputsThat(const std::string& status) const {
        std::vector<std::string> names;
        const Json parsed = report();
        for (const Json& file : parsed["files"]) {
            if (file["status"] == status) names.push_back(fs::u8path(file["input"].get<std::string>()).filename().u8string());
        }
        return names;
    }
};

// A batch that runs again converts exactly the files whose output a
// conversion now would change, whatever the files' times say, and says in
// one line what changed; with the inputs named by absolute and by relative
// paths, since the textures are found under the content folder that the
// path holds.
TEST_F(BatchRunTest, ConvertsAgainExactlyWhatAConversionNowWouldChange) {
    struct Change {
        const char* what;
        std::function<void(const fs::path& content)> make;
        std::vector<std::string> converted;
        std::string why;
    };
    const Change changes[] = {
        {"nothing", [](const fs::path&) {}, {}, ""},
        {"a texture rewritten with an old time",
         [](const fs::path& content) {
             write(content / "textures" / "props" / "barrel.2048.dds", texture(90));
             age(content / "textures" / "props" / "barrel.2048.dds");
         },
         {"yard.model"},
         "textures/props/barrel.2048.dds changed"},
        {"a texture of a higher resolution added with an old time",
         [](const fs::path& content) {
             write(content / "textures" / "ground" / "cobbles.2048.dds", texture(30));
             age(content / "textures" / "ground" / "cobbles.2048.dds");
         },
         {"shed.model", "yard.model"},
         "textures/ground/cobbles.2048.dds is new: the import now uses it instead of cobbles.1024.dds"},
        {"a texture deleted",
         [](const fs::path& content) { fs::remove(content / "textures" / "props" / "barrel.2048.dds"); },
         {"yard.model"},
         "textures/props/barrel.2048.dds is gone: the import now uses barrel.1024.dds instead"},
        {"the last texture of a name deleted",
         [](const fs::path& content) { fs::remove(content / "textures" / "ground" / "cobbles.1024.dds"); },
         {"shed.model", "yard.model"},
         "textures/ground/cobbles.1024.dds is gone: the import now finds no file for texture ground\\cobbles"},
        {"a model replaced by an older, different copy",
         [](const fs::path& content) {
             write(content / "meshes" / "yard.model", texturedTriangle("props\\barrel", 7));
             age(content / "meshes" / "yard.model");
         },
         {"yard.model"},
         "the model changed since it was converted"},
        {"the content folder copied back with new times",
         [](const fs::path& content) {
             copyWithNewTimes(content, content.parent_path() / "copy");
             fs::remove_all(content);
             fs::rename(content.parent_path() / "copy", content);
         },
         {},
         ""},
    };
    for (const bool relative : {false, true}) {
        for (const Change& change : changes) {
            SCOPED_TRACE(std::string(change.what) + (relative ? ", relative paths" : ", absolute paths"));
            const fs::path game = scratch_ / (relative ? "relative" : "absolute") / change.what;
            const fs::path content = game / "content";
            write(content / "textures" / "props" / "barrel.2048.dds", texture(200));
            write(content / "textures" / "props" / "barrel.1024.dds", texture(100));
            write(content / "textures" / "ground" / "cobbles.1024.dds", texture(50));
            // The game's texture names, with its separator.
            ModelBuilder yard;
            std::vector<ModelVertex> vertices(3);
            vertices[1].x = 1;
            vertices[2].y = 1;
            yard.beginMeshList()
                .mesh(std::string("props\\barrel") + '\0', vertices, {0, 1, 2})
                .mesh(std::string("ground\\cobbles") + '\0', vertices, {0, 1, 2})
                .endMeshList();
            write(content / "meshes" / "yard.model", yard.bytes());
            write(content / "meshes" / "shed.model", texturedTriangle("ground\\cobbles", 2));
            const fs::path outdir = scratch_ / "out" / (relative ? "relative" : "absolute") / change.what;
            const std::string input = relative ? "content/meshes" : (content / "meshes").string();
            const std::vector<std::string> batch = {input, "-o", outdir.string(), "--format", "gltf", "--report",
                                                    (scratch_ / "report.json").string()};
            const fs::path in = relative ? game : fs::path();
            const Outcome first = run(batch, in);
            ASSERT_EQ(first.status, 0) << first.err;
            const auto before = timesUnder(outdir);

            change.make(content);
            const Outcome again = run(batch, in);
            EXPECT_EQ(again.status, 0) << again.err;
            EXPECT_EQ(inputsThat("converted"), change.converted);
            const Json parsed = report();
            for (const Json& file : parsed["files"]) {
                if (file["status"] == "converted") {
                    EXPECT_EQ(file["why"], change.why) << file["input"];
                } else {
                    EXPECT_THAT(file["reason"].get<std::string>(), HasSubstr("up to date")) << file["input"];
                    EXPECT_TRUE(file["record"].is_object()) << file["input"];
                }
            }
            if (change.converted.empty()) {
                EXPECT_EQ(timesUnder(outdir), before);
            }
        }
    }
}

#ifndef _WIN32
// A texture that the import no longer finds converts its models again, also
// where the file it used still stands: here a folder in the name's own
// letter case comes to hide the one in other letters where it was found.
TEST_F(BatchRunTest, ConvertsAgainWhenTheImportNoLongerFindsATextureThatStands) {
    const fs::path content = scratch_ / "game" / "content";
    write(content / "meshes" / "a.model", texturedTriangle("ground\\cobbles", 1));
    write(content / "textures" / "Ground" / "COBBLES.512.dds", texture(200));
    const std::vector<std::string> batch = {(content / "meshes").string(), "-o", out("glb").string(),
                                            "--dry-run"};
    ASSERT_EQ(run({batch[0], batch[1], batch[2]}).status, 0);
    fs::create_directories(content / "textures" / "ground");
    const Outcome again = run(batch);
    EXPECT_EQ(again.status, 0) << again.err;
    EXPECT_THAT(again.out,
                HasSubstr("a.glb (the import now finds no file for texture ground\\cobbles (it used "
                          "textures/Ground/COBBLES.512.dds))"));
}
#endif

// The scene JSON names the texture file the plug-in looked for, found or
// not: a tree moved elsewhere gives other JSON, which a batch writes again.
TEST_F(BatchRunTest, WritesTheSceneJsonOfAMovedTreeAgain) {
    write(scratch_ / "a" / "content" / "meshes" / "m.model", texturedTriangle("props\\lost", 1));
    const std::string outdir = out("json").string();
    ASSERT_EQ(
        run({(scratch_ / "a" / "content" / "meshes").string(), "-o", outdir, "--format", "json"}).status, 0);
    fs::rename(scratch_ / "a", scratch_ / "b");
    const Outcome moved = run({(scratch_ / "b" / "content" / "meshes").string(), "-o", outdir, "--format",
                               "json", "--report", (scratch_ / "report.json").string()});
    EXPECT_EQ(moved.status, 0) << moved.err;
    EXPECT_THAT(report()["files"][0]["why"].get<std::string>(),
                HasSubstr("texture props\\lost is now looked for as "));
    EXPECT_THAT(readText(fs::path(outdir) / "m.json"), HasSubstr("\\\\b\\\\content\\\\textures"));
}

// A batch run again on its folder typed another way finds the same files
// by the same paths, and skips them: the paths its textures are found by
// are part of what it judges by.
TEST_F(BatchRunTest, SkipsWhatIsUpToDateHoweverItsFolderIsTyped) {
    writeContent();
    fs::create_directories(scratch_ / "below");
    const std::string outdir = out("glb").string();
    ASSERT_EQ(run({"game/content/meshes", "-o", outdir}, scratch_).status, 1);
    const struct {
        const char* folder;
        fs::path from;
    } spellings[] = {
        {"./game/content/meshes/", scratch_},
        {"game//content/./meshes", scratch_},
        {"../game/content/meshes", scratch_ / "below"},
    };
    for (const auto& spelling : spellings) {
        EXPECT_THAT(run({spelling.folder, "-o", outdir}, spelling.from).err,
                    HasSubstr("converted 0, skipped 3 of 4"))
            << spelling.folder;
    }
}

// Outputs that are copied with new times, records included, are up to
// date where they now stand; the program, the plug-in and the options that
// shape the output are part of what an output was made from.
TEST_F(BatchRunTest, ConvertsAgainWhenThePluginOrTheOptionsChange) {
    const std::string meshes = writeContent().string();
    const fs::path plugin = scratch_ / fs::u8path(ORVEX_PLUGIN).filename();
    fs::copy_file(ORVEX_PLUGIN, plugin);
    const std::string outdir = out("fbx").string();
    const auto batch = [&](const std::string& folder, std::vector<std::string> more) {
        std::vector<std::string> arguments = {meshes, "-o", folder, "--format", "fbx", "--plugin", plugin.string(),
                                              "--report", (scratch_ / "report.json").string()};
        arguments.insert(arguments.end(), more.begin(), more.end());
        return run(arguments);
    };
    ASSERT_EQ(batch(outdir, {}).status, 1);
    copyWithNewTimes(outdir, out("copied"));
    EXPECT_THAT(batch(out("copied").string(), {}).err, HasSubstr("converted 0, skipped 3 of 4"));

    {
        std::ofstream grown(plugin, std::ios::binary | std::ios::app);
        grown << "a changed build";
    }
    EXPECT_THAT(batch(outdir, {}).err, HasSubstr("converted 3, skipped 0 of 4"));
    EXPECT_EQ(report()["files"][0]["why"], "the plug-in changed since it was made");
    {
        // As another build of this program would have made it.
        const fs::path record = fs::path(outdir) / ".orvex-import" / "a.fbx.json";
        Json made = Json::parse(readText(record));
        made["program"] = "0123456789abcdef";
        std::ofstream(record, std::ios::binary) << made.dump();
    }
    EXPECT_THAT(batch(outdir, {}).err, HasSubstr("converted 1, skipped 2 of 4"));
    EXPECT_EQ(report()["files"][0]["why"], "this program changed since it was made");
    EXPECT_THAT(batch(outdir, {"--embed-textures"}).err, HasSubstr("converted 3, skipped 0 of 4"));
    EXPECT_EQ(report()["files"][0]["why"],
              "it was made with --format fbx, this run asks for --format fbx --embed-textures");
    EXPECT_THAT(batch(outdir, {"--embed-textures"}).err, HasSubstr("converted 0, skipped 3 of 4"));
    EXPECT_THAT(batch(outdir, {"--embed-textures", "--overwrite"}).err, HasSubstr("converted 3, skipped 0 of 4"));
    EXPECT_EQ(report()["files"][0]["why"], "--overwrite");
    // The game's DDS files beside the outputs instead of PNG images.
    EXPECT_THAT(batch(outdir, {"--textures", "dds"}).err, HasSubstr("converted 3, skipped 0 of 4"));
    EXPECT_EQ(report()["files"][0]["why"],
              "it was made with --format fbx --embed-textures, this run asks for --format fbx --textures dds");
    EXPECT_THAT(batch(outdir, {"--textures", "dds"}).err, HasSubstr("converted 0, skipped 3 of 4"));
    // The defaults spelled out ask for the same previews.
    const std::vector<std::string> previews = {meshes, "-o", out("png").string(), "--format", "png"};
    ASSERT_EQ(run(previews).status, 1);
    for (const std::vector<std::string>& defaults :
         {std::vector<std::string>{"--size", "512"}, {"--size", "512x512"}, {"--view", "iso"}}) {
        std::vector<std::string> arguments = previews;
        arguments.insert(arguments.end(), defaults.begin(), defaults.end());
        EXPECT_THAT(run(arguments).err, HasSubstr("converted 0, skipped 3 of 4")) << defaults[1];
    }
    EXPECT_THAT(run({meshes, "-o", out("png").string(), "--format", "png", "--size", "256"}).err,
                HasSubstr("converted 3, skipped 0 of 4"));
    for (const char* same : {"256x256", "0256"}) {
        EXPECT_THAT(run({meshes, "-o", out("png").string(), "--format", "png", "--size", same}).err,
                    HasSubstr("converted 0, skipped 3 of 4"))
            << same;
    }
}

#ifndef _WIN32
// Linux file names are bytes, which need not be UTF-8; a worker's report
// carries them to its batch as they are, or the batch could not record the
// output and would convert it on every run.
TEST_F(BatchRunTest, SkipsAnUpToDateOutputWhoseNameIsNotUtf8) {
    const fs::path meshes = scratch_ / "game" / "content" / "meshes";
    write(scratch_ / "game" / "content" / "textures" / "stone.1024.dds", texture(200));
    write(meshes / "caf\xE9.model", texturedTriangle("stone", 1));
    const std::vector<std::string> arguments = {meshes.string(), "-o", out("gltf").string(), "--format",
                                                "gltf"};
    const Outcome first = run(arguments);
    EXPECT_EQ(first.status, 0) << first.err;
    EXPECT_THAT(first.err, ::testing::Not(HasSubstr("warning"))) << first.err;
    EXPECT_THAT(run(arguments).err, HasSubstr("converted 0, skipped 1 of 1"));
}

// A texture file that is a pipe or a device is no texture: a batch, which
// reads each texture to know whether its outputs are up to date, would wait
// for ever on the one and read the other without end. It leaves both out
// with a warning, as a single file's run does, and ends.
TEST_F(BatchRunTest, TakesAPipeOrADeviceNamedAsATextureForNoTexture) {
    const fs::path content = scratch_ / "game" / "content";
    fs::create_directories(content / "textures");
    ASSERT_EQ(mkfifo((content / "textures" / "pipe.1024.dds").c_str(), 0644), 0);
    fs::create_symlink("/dev/zero", content / "textures" / "zero.1024.dds");
    write(content / "meshes" / "a.model", texturedTriangle("pipe", 1));
    write(content / "meshes" / "b.model", texturedTriangle("zero", 1));
    const std::vector<std::string> command = {"timeout", "-s", "KILL", "30", ORVEX_PROGRAM,
                                              (content / "meshes").string(), "-o", out("glb").string()};
    const auto runBatch = [&] {
        const int status = runProcess(command, scratch_ / "stdout.txt", scratch_ / "stderr.txt");
        return Outcome{status, "", lineText(readText(scratch_ / "stderr.txt"))};
    };
    const Outcome first = runBatch();
    EXPECT_EQ(first.status, 0) << first.err;
    EXPECT_THAT(first.err, HasSubstr("pipe.1024.dds: cannot be read; left untextured"));
    EXPECT_THAT(first.err, HasSubstr("zero.1024.dds: cannot be read; left untextured"));
    const Outcome again = runBatch();
    EXPECT_EQ(again.status, 0) << again.err;
    EXPECT_THAT(again.err, HasSubstr("converted 0, skipped 2 of 2"));
}

// Why a file is converted again names its texture, whose name may hold a
// line break: the line stays one.
TEST_F(BatchRunTest, SaysWhyInOneLineWhateverTheTexturesName) {
    const fs::path meshes = scratch_ / "game" / "content" / "meshes";
    const fs::path dds = scratch_ / "game" / "content" / "textures" / "two\nlines.512.dds";
    write(dds, texture(200));
    write(meshes / "a.model", texturedTriangle("two\nlines", 1));
    ASSERT_EQ(run({meshes.string(), "-o", out("glb").string()}).status, 0);
    fs::remove(dds);
    const Outcome dry = run({meshes.string(), "-o", out("glb").string(), "--dry-run"});
    EXPECT_EQ(dry.status, 0) << dry.err;
    EXPECT_EQ(std::count(dry.out.begin(), dry.out.end(), '\n'), 1) << dry.out;
    EXPECT_THAT(dry.out, HasSubstr("two%0Alines.512.dds is gone: the import now finds no file for texture "
                                   "two%0Alines)\n"));
}
#endif

#ifdef _WIN32
// Windows' file systems ignore letter case: a batch run again on its folder
// typed in other letters finds the same files, and skips them.
TEST_F(BatchRunTest, SkipsWhatIsUpToDateWhateverTheLetterCaseOfItsFolder) {
    const std::string meshes = writeContent().string();
    // The folders above the game's: "content" itself is looked for as it is.
    std::string shouted = scratch_.string();
    std::transform(shouted.begin(), shouted.end(), shouted.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    shouted += meshes.substr(shouted.size());
    ASSERT_EQ(run({meshes, "-o", out("glb").string()}).status, 1);
    EXPECT_THAT(run({shouted, "-o", out("glb").string()}).err, HasSubstr("converted 0, skipped 3 of 4"));
}
#endif

// A record that cannot be read, here a folder in its place, is no record:
// its output is converted again, and the batch goes on.
TEST_F(BatchRunTest, ConvertsAgainWhatItsRecordCannotBeReadOf) {
    const std::string meshes = writeContent().string();
    const std::vector<std::string> arguments = {meshes, "-o", out("glb").string()};
    ASSERT_EQ(run(arguments).status, 1);  // d.model holds no mesh
    const fs::path record = out("glb") / kRecordFolder / "a.glb.json";
    ASSERT_TRUE(fs::remove(record));
    fs::create_directory(record);
    const Outcome again = run(arguments);
    EXPECT_EQ(again.status, 1) << again.err;
    EXPECT_THAT(again.err, HasSubstr("converted 1, skipped 2 of 4"));
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
    ASSERT_EQ(run({(meshes / "b.model").string(), "-o", outdir, "--format", "glb"}).status, 0);
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
    EXPECT_EQ(a["why"], "no output yet");
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

    // What a skipped file's output was made from, as its record holds it.
    const Json& b = files[1];
    EXPECT_EQ(b["status"], "skipped");
    EXPECT_THAT(b["reason"].get<std::string>(), HasSubstr("up to date"));
    EXPECT_EQ(b["outputs"], Json::array({native(outdir + "/b.glb")}));
    EXPECT_EQ(b["textures"][0]["resolution"], 1024);
    const Json& record = b["record"];
    EXPECT_EQ(record["options"], "--format glb");
    EXPECT_EQ(record["model"]["path"], (meshes / "b.model").string());
    EXPECT_EQ(record["model"]["size"], fs::file_size(meshes / "b.model"));
    EXPECT_EQ(record["model"]["digest"].get<std::string>().size(), 16u);
    ASSERT_EQ(record["textures"].size(), 1u);
    EXPECT_EQ(record["textures"][0]["name"], "stone");
    EXPECT_EQ(record["textures"][0]["found"]["path"], a["textures"][0]["found"]);
    ASSERT_EQ(record["outputs"].size(), 1u);
    EXPECT_EQ(record["outputs"][0]["path"], "b.glb");
    EXPECT_EQ(record["outputs"][0]["size"], fs::file_size(fs::path(outdir) / "b.glb"));

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
    ASSERT_EQ(run({(meshes / "a.model").string(), "-o", outdir, "--format", "glb"}).status, 0);
    write(fs::path(outdir) / "b.glb", {});
    const auto before = timesUnder(outdir);
    const Outcome plan = run({meshes.string(), "-o", outdir, "--dry-run"});
    EXPECT_EQ(plan.status, 0) << plan.err;
    const std::string m = meshes.string();
    EXPECT_EQ(plan.out, native(m + "/a.model") + ": would skip: " + native(outdir + "/a.glb") + " is up to date\n" +
                            native(m + "/b.model") + ": would write " + native(outdir + "/b.glb") +
                            " (no record of what " + native(outdir + "/b.glb") + " was made from)\n" +
                            native(m + "/c.model") + ": would write " + native(outdir + "/c.glb") + " (no output yet)\n" +
                            native(m + "/d.model") + ": would write " + native(outdir + "/d.glb") + " (no output yet)\n");
    EXPECT_EQ(timesUnder(outdir), before);

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
// Starts the program with its standard error in a file, and the stop
// signals as a terminal's shell leaves them, or hang-ups ignored as nohup
// leaves them, whatever this test's own runner left.
pid_t start(const std::vector<std::string>& arguments, const fs::path& errors, bool hangUpsIgnored = false) {
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
        signal(SIGINT, SIG_DFL);
        signal(SIGTERM, SIG_DFL);
        signal(SIGHUP, hangUpsIgnored ? SIG_IGN : SIG_DFL);
        execv(argv[0], argv.data());
        _exit(127);
    }
    return pid;
}

// `count` models of a triangle each on texture "x", directly in `content`.
void writeTriangles(const fs::path& content, int count) {
    for (int i = 0; i < count; ++i)
        write(content / ("m" + std::to_string(1000 + i) + ".model"), texturedTriangle("x", 1.0f + i));
}

// Waits until the batch whose standard error goes to `errors` has told of a
// file converted, for up to a minute: a definite state to stop it in,
// whatever the machine's load.
void awaitAConversion(const fs::path& errors) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (readText(errors).find("converted to") == std::string::npos &&
           std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

TEST_F(BatchRunTest, StopsCleanlyOnSigintAndSigtermAndARerunFinishes) {
    const fs::path content = scratch_ / "many" / "content";
    constexpr int kFiles = 120;
    writeTriangles(content, kFiles);
    for (const auto& [signal, status] :
         {std::pair{SIGINT, 130}, std::pair{SIGTERM, 143}, std::pair{SIGHUP, 129}}) {
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
        awaitAConversion(errors);
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
            // Whole, with the buffer it names.
            const Json gltf = Json::parse(readText(fs::path(outdir) / file), nullptr, false);
            ASSERT_TRUE(gltf.is_object()) << file;
            const fs::path buffer = fs::path(outdir) / fs::u8path(gltf["buffers"][0]["uri"].get<std::string>());
            EXPECT_EQ(fs::file_size(buffer), gltf["buffers"][0]["byteLength"]) << file;
        }
        // A worker stopped after its output was whole leaves it whole.
        EXPECT_GE(gltfs, static_cast<std::size_t>(converted));
        EXPECT_LE(gltfs, static_cast<std::size_t>(converted) + 2);

        // Only outputs recorded as converted are trusted: one whose worker
        // was stopped before it told is converted again.
        const Outcome rerun = run(batch);
        EXPECT_EQ(rerun.status, 0) << rerun.err;
        EXPECT_EQ(report()["skipped"], converted);
        EXPECT_EQ(report()["converted"], kFiles - converted);
        std::size_t buffers = 0;
        for (const fs::path& file : filesUnder(outdir)) buffers += file.extension() == ".bin";
        EXPECT_EQ(buffers, std::size_t{kFiles});
    }
}

// A batch started to outlive its terminal (nohup) goes on past a hang-up.
TEST_F(BatchRunTest, GoesOnPastAHangUpWhenStartedToIgnoreIt) {
    const fs::path content = scratch_ / "many" / "content";
    constexpr int kFiles = 40;
    writeTriangles(content, kFiles);
    const fs::path errors = scratch_ / "errors.txt";
    const pid_t pid = start({content.string(), "-o", out("nohup").string(), "-j", "2"}, errors, true);
    awaitAConversion(errors);
    kill(pid, SIGHUP);
    int raw = 0;
    waitpid(pid, &raw, 0);
    ASSERT_TRUE(WIFEXITED(raw));
    EXPECT_EQ(WEXITSTATUS(raw), 0) << readText(errors);
    EXPECT_THAT(readText(errors), HasSubstr("converted 40, skipped 0 of 40"));
}

// A batch killed where it cannot stop its workers leaves them the file each
// was converting, not the rest of its list.
TEST_F(BatchRunTest, WorkersEndWithABatchThatWasKilled) {
    const fs::path content = scratch_ / "many" / "content";
    // Twenty files to a worker, with a texture: a worker that warned of one
    // missing would end at that line, written to a pipe nobody reads.
    constexpr int kFiles = 160;
    write(content / "textures" / "x.1024.dds", texture(200));
    writeTriangles(content, kFiles);
    const fs::path outdir = out("killed");
    const fs::path errors = scratch_ / "errors.txt";
    const pid_t pid = start({content.string(), "-o", outdir.string(), "--format", "gltf", "-j", "1"}, errors);
    awaitAConversion(errors);
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    const auto outputs = [&] {
        std::size_t count = 0;
        for (const fs::path& file : filesUnder(outdir)) count += file.extension() == ".gltf";
        return count;
    };
    const std::size_t atKill = outputs();
    // Time for the list's rest, some ten milliseconds a file.
    std::this_thread::sleep_for(std::chrono::seconds(2));
    EXPECT_LE(outputs(), atKill + 1);
}

// A stopped batch reports the files that its workers finished as they
// ended, a failure with its own reason.
TEST_F(BatchRunTest, AStoppedBatchKeepsTheReasonsOfTheFilesItFinished) {
    const fs::path content = scratch_ / "stuck";
    std::vector<std::string> names = {"m00.model", "m01hang.model"};
    for (int i = 2; i < 16; ++i)
        names.push_back("m" + std::to_string(i / 10) + std::to_string(i % 10) + ".model");
    for (const std::string& name : names) write(content / name, texturedTriangle("x", 1.0f));
    // The workers' reports go to a folder in TMPDIR, where this test can see
    // the first one come.
    const fs::path temporary = scratch_ / "tmp";
    fs::create_directories(temporary);
    const char* const given = std::getenv("TMPDIR");
    const std::string saved = given != nullptr ? given : "";
    setenv("TMPDIR", temporary.c_str(), 1);
    const fs::path errors = scratch_ / "stuck.txt";
    // With -j 1 the first worker takes m00, which fails, and then hangs on m01hang.
    const pid_t pid =
        start({content.string(), "-o", out("stuck").string(), "-j", "1", "--plugin", ORVEX_THROWING_PLUGIN},
              errors);
    if (given != nullptr) {
        setenv("TMPDIR", saved.c_str(), 1);
    } else {
        unsetenv("TMPDIR");
    }
    const auto reported = [&] {
        std::error_code ignored;
        for (const fs::directory_entry& entry : fs::recursive_directory_iterator(temporary, ignored))
            if (entry.path().filename() == "0.json") return true;
        return false;
    };
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!reported() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    kill(pid, SIGTERM);
    int raw = 0;
    waitpid(pid, &raw, 0);
    ASSERT_TRUE(WIFEXITED(raw));
    EXPECT_EQ(WEXITSTATUS(raw), 143);
    const std::string said = readText(errors);
    EXPECT_THAT(said,
                HasSubstr((content / "m00.model").string() + ": the import failed: a reader that throws"));
    EXPECT_THAT(said,
                HasSubstr((content / "m01hang.model").string() + ": not converted: the batch was stopped"));
}

#endif

}  // namespace
