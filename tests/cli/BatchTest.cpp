// Batch conversion: folders of good and broken files converted by worker
// processes, the tree mirrored, the report on standard error when it is not
// a terminal, and the contact sheet.

#include "modelgen/ModelBuilder.h"

#include "tests/cli/ProgramFixture.h"

#include <gmock/gmock.h>

#include <cstdlib>
#include <sstream>

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

using namespace orvex::testing;
using orvex::ModelVertex;
using orvex::modelgen::ModelBuilder;
using ::testing::HasSubstr;

orvex::modelgen::Bytes triangleModel(float size) {
    std::vector<ModelVertex> vertices(3);
    vertices[1].x = size;
    vertices[2].y = size;
    ModelBuilder model;
    model.beginMeshList().mesh(std::string("tri\0", 4), vertices, {0, 1, 2}).endMeshList();
    return model.bytes();
}

void write(const fs::path& path, const orvex::modelgen::Bytes& bytes) {
    fs::create_directories(path.parent_path());
    orvex::modelgen::writeFile(path.string(), bytes);
}

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> result;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) result.push_back(line);
    return result;
}

class BatchTest : public ProgramTest {
protected:
    // Four good files at three depths, one in capitals, one cut short in
    // its only mesh, one with an empty mesh list, and a file that is no model.
    fs::path writeTree() const {
        const fs::path tree = scratch_ / "in";
        write(tree / "top.model", triangleModel(1));
        write(tree / "a" / "good.model", triangleModel(2));
        write(tree / "a" / "b" / "deep.model", triangleModel(3));
        write(tree / "a" / "LOUD.MODEL", triangleModel(4));
        orvex::modelgen::Bytes truncated = triangleModel(5);
        truncated.resize(truncated.size() / 2);
        write(tree / "a" / "truncated.model", truncated);
        write(tree / "meshless.model", ModelBuilder().beginMeshList().endMeshList().bytes());
        write(tree / "a" / "notes.txt", {'h', 'i'});
        return tree;
    }
};

TEST_F(BatchTest, ConvertsTheGoodFilesOfATreeAlikeWithOneOrFourWorkers) {
    const fs::path tree = writeTree();
    const std::string in = tree.string();
    for (const char* workers : {"1", "4"}) {
        const fs::path outdir = out(std::string("j") + workers);
        const Outcome result = run({in, "-o", outdir.string(), "--format", "json", "-j", workers});
        EXPECT_EQ(result.status, 1) << result.err;
        const std::string o = outdir.string();
        const std::vector<std::string> expected = {
            "orvex-import: " + native(in + "/a/LOUD.MODEL") + ": converted to " + native(o + "/a/LOUD.json"),
            "orvex-import: " + native(in + "/a/b/deep.model") + ": converted to " +
                native(o + "/a/b/deep.json"),
            "orvex-import: " + native(in + "/a/good.model") + ": converted to " + native(o + "/a/good.json"),
            "orvex-import: " + native(in + "/a/truncated.model") + ": the file holds no complete mesh",
            "orvex-import: " + native(in + "/meshless.model") + ": the file holds no complete mesh",
            "orvex-import: " + native(in + "/top.model") + ": converted to " + native(o + "/top.json"),
            "orvex-import: converted 4, skipped 0 of 6 files into " + o + "; 2 failed:",
            "orvex-import: " + native(in + "/a/truncated.model") + ": the file holds no complete mesh",
            "orvex-import: " + native(in + "/meshless.model") + ": the file holds no complete mesh",
        };
        EXPECT_EQ(lines(result.err), expected) << "-j " << workers;
        EXPECT_EQ(filesUnder(outdir),
                  (std::vector<fs::path>{"a/LOUD.json", "a/b/deep.json", "a/good.json", "top.json"}));
    }
    for (const fs::path& file : filesUnder(out("j1"))) {
        EXPECT_EQ(readText(out("j1") / file), readText(out("j4") / file)) << file;
    }
    EXPECT_NE(readText(out("j1") / "top.json"), readText(out("j1") / "a" / "good.json"));
}

TEST_F(BatchTest, WritesFbxFilesWithTheirImagesInsideWhenAsked) {
    const fs::path tree = writeTree();
    fs::remove(tree / "a" / "truncated.model");
    fs::remove(tree / "meshless.model");
    const Outcome result =
        run({tree.string(), "-o", out("fbx").string(), "--format", "fbx", "--embed-textures"});
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(filesUnder(out("fbx")),
              (std::vector<fs::path>{"a/LOUD.fbx", "a/b/deep.fbx", "a/good.fbx", "top.fbx"}));
    EXPECT_EQ(readText(out("fbx") / "top.fbx").substr(0, 18), "Kaydara FBX Binary");
}

TEST_F(BatchTest, WritesPreviewsAndALabelledContactSheetOfListedFiles) {
    const fs::path first = scratch_ / "one.model", second = scratch_ / "two.model";
    write(first, triangleModel(1));
    write(second, triangleModel(2));
    const fs::path sheet = scratch_ / "sheet.png";
    const Outcome result = run({first.string(), second.string(), "-o", out("").string(), "--format", "png",
                                "--size", "40x30", "--view", "side", "--contact-sheet", sheet.string()});
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_THAT(result.err, HasSubstr("sheet.png: contact sheet of 2 models"));
    EXPECT_EQ(filesUnder(scratch_ / "out"), (std::vector<fs::path>{"one.png", "two.png"}));
    EXPECT_EQ(readPng(out("one.png")).width, 40);

    // Two cells of 160 × 120 thumbnails with a label line below, 8 apart.
    const Picture picture = readPng(sheet);
    ASSERT_EQ(picture.width, 8 + 2 * 168);
    ASSERT_EQ(picture.height, 8 + 142);
    for (const int left : {8, 176}) {
        EXPECT_EQ(picture.at(left, 8), (Rgb{38, 44, 56})) << "the render's background at " << left;
        int drawn = 0, label = 0;
        for (int y = 8; y < 128; ++y) {
            for (int x = left; x < left + 160; ++x) drawn += picture.at(x, y) != (Rgb{38, 44, 56});
        }
        for (int y = 128; y < 142; ++y) {
            for (int x = left; x < left + 160; ++x) label += picture.at(x, y) == (Rgb{230, 230, 230});
        }
        EXPECT_GT(drawn, 200) << left;
        EXPECT_GT(label, 10) << left;
    }
}

// Two inputs whose outputs differ only in letter case are one file where
// the file system ignores case, as Windows' do: refused there, both written
// elsewhere.
TEST_F(BatchTest, TellsOutputsApartAsTheFileSystemDoes) {
    write(scratch_ / "a" / "top.model", triangleModel(1));
    write(scratch_ / "b" / "TOP.model", triangleModel(2));
    const fs::path outdir = out("batch");
    const Outcome result = run({(scratch_ / "a").string(), (scratch_ / "b").string(), "-o", outdir.string()});
#if defined(_WIN32)
    EXPECT_EQ(result.status, 2) << result.err;
    EXPECT_THAT(result.err, HasSubstr(native("b/TOP.model") + ": would be written to"));
    EXPECT_FALSE(fs::exists(outdir));
#else
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(filesUnder(outdir), (std::vector<fs::path>{"TOP.glb", "top.glb"}));
#endif
}

// A folder named twice, or by a link to it, or a file both by itself and in
// its folder, is converted once: the work is the same.
TEST_F(BatchTest, ConvertsAFileNamedTwiceOnce) {
    write(scratch_ / "a" / "top.model", triangleModel(1));
    const std::string folder = (scratch_ / "a").string();
    const std::string file = (scratch_ / "a" / "top.model").string();
    std::vector<std::vector<std::string>> twice = {{folder, folder},
                                                   {folder, "./" + fs::relative(file, scratch_).string()}};
#ifndef _WIN32
    fs::create_directory_symlink(scratch_ / "a", scratch_ / "link");
    twice.push_back({folder, (scratch_ / "link").string()});
#endif
    for (const std::vector<std::string>& inputs : twice) {
        std::vector<std::string> arguments = inputs;
        arguments.insert(arguments.end(), {"-o", out("twice").string(), "--overwrite"});
        const Outcome result = run(arguments, scratch_);
        EXPECT_EQ(result.status, 0) << result.err;
        EXPECT_THAT(result.err, HasSubstr("converted 1, skipped 0 of 1 files")) << inputs[1];
    }
}

TEST_F(BatchTest, RefusesWorkItCannotDo) {
    const fs::path tree = writeTree();
    const fs::path empty = scratch_ / "empty";
    fs::create_directories(empty);
    write(empty / "readme.txt", {'x'});
    write(scratch_ / "other" / "top.model", triangleModel(1));
    fs::create_directories(scratch_ / "empty2");
    write(scratch_ / "taken", {'x'});
    const std::string outdir = out("batch").string();
    const struct {
        std::vector<std::string> arguments;
        int status;
        std::string mentions;
    } cases[] = {
        {{tree.string(), "-o", (scratch_ / "taken").string()}, 2, "taken: not a folder"},
        {{tree.string(), "-o", (scratch_ / "taken").string(), "--dry-run"}, 2, "taken: not a folder"},
        {{tree.string(), "-o", outdir, "--dry-run", "--report", out("r.json").string()},
         2,
         "--dry-run writes nothing"},
        {{(tree / "top.model").string(), (scratch_ / "other" / "top.model").string(), "-o", outdir},
         2,
         native("other/top.model") + ": would be written to"},
        {{empty.string(), "-o", outdir}, 1, "empty: no .model files found"},
        {{empty.string(), (scratch_ / "empty2").string(), "-o", outdir}, 1, "empty2: no .model files found"},
        {{tree.string(), "-o", outdir, "--format", "dae"}, 2, "dae"},
        {{tree.string(), "-o", outdir, "--embed-textures"}, 2, "--embed-textures goes with --format fbx"},
        {{tree.string(), "-o", outdir, "--textures", "dds"},
         2,
         "--textures dds goes with --format fbx or obj"},
        {{tree.string(), "-o", outdir, "-j", "0"}, 2, "-j"},
        {{tree.string(), "-o", outdir, "--size", "64"}, 2, "--size goes with --format png"},
        {{tree.string(), "-o", outdir, "--contact-sheet", out("sheet.jpg").string()}, 2, "sheet.jpg"},
        {{tree.string()}, 2, "-o"},
        {{"--inspect", tree.string()}, 2, "--inspect"},
        // The report and the contact sheet land on no input, output or each other.
        {{tree.string(), "-o", outdir, "--report", (tree / "top.model").string()},
         2,
         "--report names the input file"},
        {{tree.string(), "-o", outdir, "--format", "png", "--contact-sheet", outdir + "/a/good.png"},
         2,
         "--contact-sheet names the output of"},
        {{tree.string(), "-o", outdir, "--report", out("s.png").string(), "--contact-sheet",
          out("s.png").string()},
         2,
         "named by both --report and --contact-sheet"},
    };
    for (const auto& c : cases) {
        const Outcome result = run(c.arguments);
        EXPECT_EQ(result.status, c.status) << c.mentions << ": " << result.err;
        EXPECT_THAT(result.err, HasSubstr(c.mentions));
        EXPECT_THAT(result.err, IsOneLine("[^\n]*")) << c.mentions;
    }
    EXPECT_FALSE(fs::exists(outdir));
    EXPECT_EQ(fs::file_size(tree / "top.model"), triangleModel(1).size());
}

#ifndef _WIN32
// Links to folders are followed, as a game's tree may hold folders by link,
// but not back into a folder that the walk is inside.
TEST_F(BatchTest, FollowsLinksToFoldersButNotRoundInALoop) {
    const fs::path tree = writeTree();
    write(scratch_ / "elsewhere" / "linked.model", triangleModel(6));
    fs::create_directory_symlink(scratch_ / "elsewhere", tree / "addon");
    fs::create_directory_symlink("..", tree / "a" / "up");
    const Outcome result = run({tree.string(), "-o", out("batch").string(), "--format", "json"});
    EXPECT_EQ(result.status, 1) << result.err;  // the tree's two broken files
    EXPECT_THAT(result.err, HasSubstr("converted 5, skipped 0 of 7 files"));
    EXPECT_TRUE(fs::exists(out("batch") / "addon" / "linked.json"));
}

// A link to nothing and a pipe named like models are no files to read; a
// worker would fail on the one and wait for ever on the other. The batch
// leaves them out with a line each, and a single file's run refuses them.
TEST_F(BatchTest, LeavesOutWhatIsNoFileToRead) {
    const fs::path tree = writeTree();
    fs::create_symlink(tree / "gone.model", tree / "a" / "broken.model");
    ASSERT_EQ(mkfifo((tree / "pipe.model").c_str(), 0644), 0);
    const Outcome batch = run({tree.string(), "-o", out("batch").string(), "--format", "json"});
    EXPECT_EQ(batch.status, 1) << batch.err;  // the tree's two broken files
    EXPECT_THAT(batch.err, HasSubstr("converted 4, skipped 0 of 6 files"));
    EXPECT_THAT(lines(batch.err),
                ::testing::IsSupersetOf({"orvex-import: warning: " + (tree / "a" / "broken.model").string() +
                                             ": not a file to read; left out",
                                         "orvex-import: warning: " + (tree / "pipe.model").string() +
                                             ": not a file to read; left out"}));
    const std::string pipe = (tree / "pipe.model").string();
    for (const std::vector<std::string>& arguments :
         {std::vector<std::string>{pipe, "-o", out("pipe.glb").string()}, {"--inspect", pipe}}) {
        const Outcome single = run(arguments);
        EXPECT_EQ(single.status, 1) << arguments.front();
        EXPECT_EQ(single.err, "orvex-import: " + pipe + ": not a file to read\n");
    }
}

// A folder in the tree that cannot be listed stops the batch before any
// work, in a line that names that folder. Root lists every folder, so there
// the program runs as nobody.
TEST_F(BatchTest, NamesTheFolderThatItCannotList) {
    const fs::path tree = writeTree();
    fs::create_directories(tree / "a" / "locked" / "inner");
    fs::permissions(tree / "a" / "locked", fs::perms::none);
    std::vector<std::string> command = {ORVEX_PROGRAM, tree.string(), "-o", out("batch").string()};
    if (geteuid() == 0) {
        if (std::system("command -v setpriv > /dev/null") != 0)
            GTEST_SKIP() << "root lists every folder, and setpriv is missing";
        command.insert(command.begin(), {"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"});
    }
    const int status = runProcess(command, scratch_ / "stdout.txt", scratch_ / "stderr.txt");
    fs::permissions(tree / "a" / "locked", fs::perms::owner_all);
    EXPECT_EQ(status, 1);
    EXPECT_EQ(lineText(readText(scratch_ / "stderr.txt")),
              "orvex-import: " + (tree / "a" / "locked").string() +
                  ": cannot list the folder: Permission denied\n");
    EXPECT_FALSE(fs::exists(out("batch")));
}
#endif

}  // namespace
