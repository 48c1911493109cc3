// One file at a time: the bundled sample and generated edge cases converted
// to every format, with the exit statuses and error lines.

#include "modelgen/DdsBuilder.h"
#include "modelgen/ModelBuilder.h"

#include "tests/cli/ProgramFixture.h"
#include "tests/writers/FbxReader.h"

#include <nlohmann/json.hpp>

#include <gmock/gmock.h>

#include <cstring>
#include <fstream>
#include <iostream>
#include <limits>
#include <sstream>

namespace {

using namespace orvex::testing;
using orvex::ModelVertex;
using orvex::modelgen::ModelBuilder;
using ::testing::HasSubstr;

class ConversionTest : public ProgramTest {
protected:
    // Runs the Khronos validator; returns its messages when it finds errors.
    std::string validatorErrors(const fs::path& asset) const {
#if defined(_WIN32)
        // No node runs under wine: the Windows build's GLB is proven by its
        // bytes, which equal the Linux build's.
        static const bool said =
            (std::cout << "[ note ] glTF validator not run under Windows: " << asset.filename()
                       << " and the rest are checked by their structure only\n",
             true);
        (void)said;
        return {};
#else
        const fs::path report = scratch_ / "validator.txt";
        const std::string command = "node " + quoted(ORVEX_VALIDATOR) + " " + quoted(asset.string()) + " >" +
                                    quoted(report.string()) + " 2>&1";
        const int raw = std::system(command.c_str());
        return WIFEXITED(raw) && WEXITSTATUS(raw) == 0 ? std::string() : readText(report);
#endif
    }
};

TEST_F(ConversionTest, ConvertsTheSampleToValidGltfWithItsTexturesAsPng) {
    const Outcome result = run({kSample.string(), "-o", out("yard.gltf").string()});
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(validatorErrors(out("yard.gltf")), "");

    const nlohmann::json gltf = nlohmann::json::parse(readText(out("yard.gltf")));
    ASSERT_EQ(gltf["meshes"].size(), 4u);
    // The model's one parent, then its meshes, named after the file.
    ASSERT_EQ(gltf["nodes"].size(), 5u);
    EXPECT_EQ(gltf["nodes"][0]["name"], "yard");
    EXPECT_EQ(gltf["nodes"][0]["children"], nlohmann::json::array({1, 2, 3, 4}));
    EXPECT_EQ(gltf["nodes"][1]["name"], "yard.0 crate");
    EXPECT_EQ(gltf["nodes"][1]["extras"],
              nlohmann::json(
                  {{"modelName1", "props\\crate"}, {"modelName2", "crate_large"}, {"modelName3", "lod0"}}));
    // Two crates share one texture, and so one material and one image.
    EXPECT_EQ(gltf["materials"].size(), 3u);
    ASSERT_EQ(gltf["images"].size(), 3u);
    for (const auto& image : gltf["images"]) {
        const fs::path png = out(image["uri"].get<std::string>());
        int width = 0, height = 0, channels = 0;
        stbi_uc* pixels = stbi_load(png.string().c_str(), &width, &height, &channels, 4);
        ASSERT_NE(pixels, nullptr) << png;
        // The crate's 1024 file is solid magenta; the 2048 one must win.
        EXPECT_FALSE(pixels[0] > 200 && pixels[1] < 50 && pixels[2] > 200) << png;
        stbi_image_free(pixels);
    }
}

// The JSON chunk of a GLB file.
nlohmann::json glbJson(const std::string& bytes) {
    std::uint32_t length = 0;
    std::memcpy(&length, bytes.data() + 12, sizeof length);
    return nlohmann::json::parse(bytes.substr(20, length));
}

// The triangle (0, 0, 0), (1, 0, 0), (0, 1, 0).
std::vector<ModelVertex> unitTriangle() {
    std::vector<ModelVertex> triangle(3);
    triangle[1].x = 1;
    triangle[2].y = 1;
    return triangle;
}

// Writes the model to `path`, making its folders.
void writeModel(const fs::path& path, const ModelBuilder& model) {
    fs::create_directories(path.parent_path());
    orvex::modelgen::writeFile(path.string(), model.bytes());
}

// A depot of five meshes: two of one texture, one the host refuses, one
// whose texture is missing, whose second name holds a byte that is no
// UTF-8, and one without a texture name.
fs::path writeDepot(const fs::path& content) {
    orvex::modelgen::RgbaImage crate{1, 1, {90, 60, 30, 255}};
    fs::create_directories(content / "textures" / "props");
    orvex::modelgen::writeFile((content / "textures" / "props" / "crate.1024.dds").string(),
                               orvex::modelgen::buildDds(crate, orvex::modelgen::DdsFormat::Rgba32));
    const auto shifted = [](float by) {
        std::vector<ModelVertex> moved = unitTriangle();
        for (ModelVertex& vertex : moved) vertex.z = by;
        return moved;
    };
    ModelBuilder depot;
    depot.beginMeshList()
        .mesh(std::string("props\\crate") + '\0' + "big" + '\0' + "lod0", shifted(0), {0, 1, 2})
        .mesh(std::string("props\\crate") + '\0' + "small" + '\0' + "lod1", shifted(1), {0, 1, 2})
        .mesh(std::string("bad") + '\0', shifted(2), {0, 1, 7})
        .mesh(std::string("props\\lost") + '\0' + "caf\xE9" + '\0' + "100%", shifted(3), {0, 1, 2})
        .mesh(std::string("") + '\0' + "plain", shifted(4), {0, 1, 2})
        .endMeshList();
    writeModel(content / "meshes" / "depot.model", depot);
    return content / "meshes" / "depot.model";
}

// A mesh that the host refuses leaves its name unused, also where the next
// mesh has the same points and as many triangles, and a warning names it.
TEST_F(ConversionTest, AMeshAfterOneTheHostRefusedKeepsItsOwnName) {
    std::vector<ModelVertex> square(4);
    square[1].x = square[2].x = 1;
    square[2].y = square[3].y = 1;
    ModelBuilder model;
    model.beginMeshList()
        .mesh(std::string("props\\crate") + '\0', square, {0, 1, 2, 0, 2, 7})
        .mesh(std::string("props\\barrel") + '\0', square, {0, 1, 2, 0, 2, 3})
        .endMeshList();
    const fs::path file = scratch_ / "share.model";
    orvex::modelgen::writeFile(file.string(), model.bytes());
    const Outcome result = run({file.string(), "-o", out("share.gltf").string()});
    ASSERT_EQ(result.status, 0) << result.err;
    const nlohmann::json gltf = nlohmann::json::parse(readText(out("share.gltf")));
    ASSERT_EQ(gltf["nodes"].size(), 2u);
    EXPECT_EQ(gltf["nodes"][1]["name"], "share.1 barrel");
    EXPECT_EQ(gltf["nodes"][1]["extras"]["modelName1"], "props\\barrel");
    EXPECT_THAT(result.err, HasSubstr("warning: mesh share.0 crate: the host refused it; left out\n"));
}

// Warnings of a mesh's repairs name it as the outputs do, not by the host's
// shape name, which no output holds.
TEST_F(ConversionTest, NamesARepairedMeshAsTheOutputsNameIt) {
    std::vector<ModelVertex> triangle(3);
    triangle[1].x = std::numeric_limits<float>::quiet_NaN();
    triangle[2].y = 1;
    ModelBuilder model;
    model.beginMeshList()
        .mesh(std::string("props\\crate") + '\0', triangle, {0, 1, 2})
        .mesh(std::string("props\\barrel") + '\0', triangle, {})
        .endMeshList();
    const fs::path file = scratch_ / "repair.model";
    orvex::modelgen::writeFile(file.string(), model.bytes());
    const Outcome result = run({file.string(), "-o", out("repair.gltf").string()});
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_THAT(result.err,
                HasSubstr("warning: mesh repair.0 crate: 1 point or UV coordinates are not finite"));
    EXPECT_THAT(result.err, HasSubstr("warning: mesh repair.1 barrel: no triangles; left out\n"));
}

// The plug-in keeps what it can read of a damaged file and says nothing of
// the rest, as a host plug-in does; the conversion says where the file is
// damaged, in one line, and converts what was kept.
TEST_F(ConversionTest, SaysWhereAFileIsDamagedAndConvertsWhatWasKept) {
    std::vector<ModelVertex> triangle(3);
    triangle[1].x = triangle[2].y = 1;
    const auto twoMeshes = [&](bool completeSecond) {
        ModelBuilder model;
        model.beginMeshList().mesh(std::string("a") + '\0', triangle, {0, 1, 2});
        if (completeSecond) {
            model.mesh(std::string("b") + '\0', triangle, {0, 1, 2});
        } else {
            model.beginChild().vertices(triangle).endChild();
        }
        return model.endMeshList().bytes();
    };
    orvex::modelgen::Bytes cut = twoMeshes(true);
    cut.resize(cut.size() - 10);
    // A mesh that the next one replaces, past more odd headers than the
    // loader notes one by one.
    ModelBuilder crowded;
    crowded.beginMeshList().mesh(std::string("a") + '\0', triangle, {0, 1, 2}).beginChild();
    for (int i = 0; i < 70; ++i) crowded.subChunk(99);
    crowded.vertices(triangle).endChild().mesh(std::string("b") + '\0', triangle, {0, 1, 2}).endMeshList();
    const struct {
        const char* what;
        orvex::modelgen::Bytes bytes;
        std::string damage;
    } cases[] = {
        {"whole", twoMeshes(true), ""},
        {"cut short", cut,
         "the file is damaged: at byte 294, truncated: needs 4 bytes, 0 remain; what could not be read is "
         "left "
         "out (--inspect lists it)"},
        {"a mesh never completed", twoMeshes(false),
         "the file is damaged: at byte 164, mesh dropped: never completed; what could not be read is left "
         "out "
         "(--inspect lists it)"},
        {"a mesh dropped past the notes kept", crowded.bytes(),
         "the file may be damaged: from byte 676 on, the loader skipped more than it lists; what it could "
         "not "
         "read is left out"},
    };
    for (const auto& file : cases) {
        SCOPED_TRACE(file.what);
        const fs::path path = scratch_ / "damaged.model";
        orvex::modelgen::writeFile(path.string(), file.bytes);
        const Outcome result = run({path.string(), "-o", out("damaged.gltf").string()});
        ASSERT_EQ(result.status, 0) << result.err;
        if (file.damage.empty()) {
            EXPECT_THAT(result.err, ::testing::Not(HasSubstr("damaged"))) << result.err;
        } else {
            EXPECT_THAT(result.err, HasSubstr("warning: " + file.damage + "\n"));
        }
        const nlohmann::json gltf = nlohmann::json::parse(readText(out("damaged.gltf")));
        EXPECT_EQ(gltf["nodes"][1]["name"], "damaged.0 a");
    }
}

// The texture lookup takes a folder of a texture's name for the texture, as
// the host's does; the conversion warns and leaves the mesh untextured.
TEST_F(ConversionTest, WarnsOfAFolderWhereATextureShouldBe) {
    const fs::path model = writeDepot(scratch_ / "game" / "content");
    const fs::path folder = scratch_ / "game" / "content" / "textures" / "props" / "crate.2048.dds";
    fs::create_directories(folder);
    const Outcome result = run({model.string(), "-o", out("depot.glb").string()});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_THAT(result.err, HasSubstr(native("props/crate.2048.dds") + ": is a folder, not a file; left untextured"));
}

// A model in no folder named "content" has its textures looked for from the
// working folder, as the host does; a texture not found says so.
TEST_F(ConversionTest, SaysWhereATextureOfAModelOutsideContentWasLookedFor) {
    const fs::path model = scratch_ / "loose" / "crate.model";
    writeModel(model, ModelBuilder()
                          .beginMeshList()
                          .mesh(std::string("props\\crate") + '\0', unitTriangle(), {0, 1, 2})
                          .endMeshList());
    const Outcome result = run({model.string(), "-o", out("crate.glb").string()}, scratch_);
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_THAT(result.err, HasSubstr("texture " + native("props/crate") +
                                      ": not found (the model lies in no folder named \"content\", so it was "
                                      "looked for from the working folder); left untextured"));
}

// A texture name is bytes of the model file; a line break in it must not
// make a warning, or --inspect's line, look like two.
TEST_F(ConversionTest, WarnsOfATextureNameWithALineBreakInOneLine) {
    ModelBuilder builder;
    builder.beginMeshList()
        .mesh(std::string("props\\gone\norvex-import: fake") + '\0', unitTriangle(), {0, 1, 2})
        .endMeshList();
    const fs::path model = scratch_ / "game" / "content" / "meshes" / "odd.model";
    writeModel(model, builder);

    const Outcome result = run({model.string(), "-o", out("odd.glb").string()});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_THAT(result.err, IsOneLine("[^\n]*gone%0Aorvex-import: fake.512.dds: not found; left untextured"));
    const Outcome inspected = run({"--inspect", model.string()});
    EXPECT_THAT(inspected.out, HasSubstr("gone%0Aorvex-import: fake.512.dds (missing)\n"));
    EXPECT_THAT(inspected.out, Not(HasSubstr("\norvex-import")));
}

#ifdef _WIN32
// "\\?\" asks Windows to take a path as it is; tools that reach long paths
// write paths so.
TEST_F(ConversionTest, TakesPathsInWindowsVerbatimForm) {
    const fs::path model = fs::absolute(writeDepot(scratch_ / "game" / "content"));
    ASSERT_EQ(run({model.string(), "-o", out("plain.glb").string()}).status, 0);
    const Outcome verbatim =
        run({"\\\\?\\" + model.string(), "-o", "\\\\?\\" + fs::absolute(out("verbatim.glb")).string()});
    EXPECT_EQ(verbatim.status, 0) << verbatim.err;
    EXPECT_EQ(readText(out("verbatim.glb")), readText(out("plain.glb")));
}
#endif

// Every format gives the model one parent named after the file, each mesh a
// name of the file's name, its position in the file (a mesh the host
// refused keeps its number) and its texture's last part, each texture one
// material named after it, and carries the file's three names of each mesh,
// as text that gives their bytes back.
TEST_F(ConversionTest, NamesEverythingAfterTheModelFileInEveryFormat) {
    const fs::path model = writeDepot(scratch_ / "game" / "content");
    for (const char* name : {"depot.gltf", "depot.glb", "depot.obj", "depot.fbx", "depot.json"}) {
        const Outcome result = run({model.string(), "-o", out(name).string()});
        ASSERT_EQ(result.status, 0) << name << ": " << result.err;
    }
    const std::vector<std::string> objects = {"depot.0 crate", "depot.1 crate", "depot.3 lost", "depot.4"};
    const std::vector<std::array<std::string, 3>> names = {{"props\\crate", "big", "lod0"},
                                                           {"props\\crate", "small", "lod1"},
                                                           {"props\\lost", "caf%E9", "100%25"},
                                                           {"", "plain", ""}};
    const std::vector<std::string> materialOf = {"crate", "crate", "lost", "untextured"};

    EXPECT_EQ(validatorErrors(out("depot.gltf")), "");
    for (const nlohmann::json& gltf :
         {nlohmann::json::parse(readText(out("depot.gltf"))), glbJson(readText(out("depot.glb")))}) {
        ASSERT_EQ(gltf["nodes"].size(), 5u);
        EXPECT_EQ(gltf["scenes"][0]["nodes"], nlohmann::json::array({0}));
        EXPECT_EQ(gltf["nodes"][0]["name"], "depot");
        EXPECT_EQ(gltf["nodes"][0]["children"], nlohmann::json::array({1, 2, 3, 4}));
        for (std::size_t i = 0; i < objects.size(); ++i) {
            const nlohmann::json& node = gltf["nodes"][i + 1];
            EXPECT_EQ(node["name"], objects[i]);
            EXPECT_EQ(gltf["meshes"][node["mesh"].get<std::size_t>()]["name"], objects[i]);
            EXPECT_EQ(node["extras"], nlohmann::json({{"modelName1", names[i][0]},
                                                      {"modelName2", names[i][1]},
                                                      {"modelName3", names[i][2]}}));
            const std::size_t primitiveMaterial =
                gltf["meshes"][node["mesh"].get<std::size_t>()]["primitives"][0]["material"];
            EXPECT_EQ(gltf["materials"][primitiveMaterial]["name"], materialOf[i]);
        }
        EXPECT_EQ(gltf["materials"].size(), 3u);
    }

    const std::string obj = readText(out("depot.obj"));
    EXPECT_THAT(obj, HasSubstr("\no depot\ng depot.0 crate\n# modelName1: props\\crate\n# modelName2: big\n"
                               "# modelName3: lod0\n"));
    EXPECT_THAT(obj, HasSubstr("\ng depot.3 lost\n# modelName1: props\\lost\n# modelName2: caf%E9\n"
                               "# modelName3: 100%25\n"));
    EXPECT_THAT(obj, HasSubstr("\ng depot.4\n# modelName1: \n# modelName2: plain\n# modelName3: \n"));
    const std::string mtl = readText(out(
        obj.substr(obj.find("mtllib ") + 7, obj.find('\n', obj.find("mtllib ")) - obj.find("mtllib ") - 7)));
    for (const char* material : {"crate", "lost", "untextured"}) {
        EXPECT_THAT(mtl, HasSubstr(std::string("newmtl ") + material + "\n"));
        EXPECT_THAT(obj, HasSubstr(std::string("usemtl ") + material + "\n"));
    }

    const orvex::writers::testing::FbxFile fbx =
        orvex::writers::testing::parseFbx(readText(out("depot.fbx")));
    std::map<std::string, std::map<std::string, std::string>> modelProperties;
    std::map<std::string, std::string> typeOfModel;
    for (const orvex::writers::testing::FbxNode* modelNode : fbx.root.child("Objects")->all("Model")) {
        const std::string fullName = modelNode->properties[1].bytes;
        const std::string modelName = fullName.substr(0, fullName.find('\0'));
        typeOfModel[modelName] = modelNode->properties[2].bytes;
        for (const orvex::writers::testing::FbxNode* property : modelNode->child("Properties70")->all("P")) {
            if (property->properties[3].bytes == "U")
                modelProperties[modelName][property->properties[0].bytes] = property->properties[4].bytes;
        }
    }
    EXPECT_EQ(typeOfModel["depot"], "Null");
    for (std::size_t i = 0; i < objects.size(); ++i) {
        EXPECT_EQ(typeOfModel[objects[i]], "Mesh") << objects[i];
        EXPECT_EQ(modelProperties[objects[i]],
                  (std::map<std::string, std::string>{
                      {"modelName1", names[i][0]}, {"modelName2", names[i][1]}, {"modelName3", names[i][2]}}))
            << objects[i];
    }
    EXPECT_EQ(typeOfModel.size(), 5u);

    const nlohmann::json scene = nlohmann::json::parse(readText(out("depot.json")));
    EXPECT_EQ(scene["model"]["name"], "depot");
    ASSERT_EQ(scene["model"]["meshes"].size(), 4u);
    const std::size_t positions[] = {0, 1, 3, 4};
    for (std::size_t i = 0; i < objects.size(); ++i) {
        const nlohmann::json& mesh = scene["model"]["meshes"][i];
        EXPECT_EQ(mesh["name"], objects[i]);
        EXPECT_EQ(mesh["position"], positions[i]);
        EXPECT_EQ(mesh["names"], nlohmann::json(names[i]));
    }

    const Outcome inspected = run({"--inspect", model.string()});
    EXPECT_THAT(inspected.out, HasSubstr("names: \"props\\\\lost\", \"caf%E9\", \"100%25\""));
}

// Blanks, "#" and "%" in the model's file name and blanks around a texture's
// name reach outputs whose readers would cut or misread them: OBJ readers
// trim a name's blanks, and some split a file's name at blanks or cut it at
// "#". The companion's name escapes them, and OBJ's names their blanks.
TEST_F(ConversionTest, KeepsNamesThatReadersWouldCutShort) {
    const fs::path content = scratch_ / "game" / "content";
    orvex::modelgen::RgbaImage red{1, 1, {200, 0, 0, 255}}, blue{1, 1, {0, 0, 200, 255}};
    fs::create_directories(content / "textures" / "a");
    fs::create_directories(content / "textures" / "b");
    fs::create_directories(content / "textures" / "c");
    orvex::modelgen::writeFile((content / "textures" / "a" / "crate.1024.dds").string(),
                               orvex::modelgen::buildDds(red, orvex::modelgen::DdsFormat::Rgba32));
    orvex::modelgen::writeFile((content / "textures" / "b" / " crate.1024.dds").string(),
                               orvex::modelgen::buildDds(blue, orvex::modelgen::DdsFormat::Rgba32));
    orvex::modelgen::writeFile((content / "textures" / "c" / "crate .1024.dds").string(),
                               orvex::modelgen::buildDds(blue, orvex::modelgen::DdsFormat::Rgba32));
    ModelBuilder builder;
    builder.beginMeshList()
        .mesh(std::string("a\\crate") + '\0', unitTriangle(), {0, 1, 2})
        .mesh(std::string("b\\ crate") + '\0', unitTriangle(), {0, 1, 2})
        .mesh(std::string("c\\crate ") + '\0', unitTriangle(), {0, 1, 2})
        .endMeshList();
    const fs::path model = content / "meshes" / " lead #1 100%.model";
    writeModel(model, builder);

    for (const char* name : {" lead #1 100%.obj", " lead #1 100%.gltf"}) {
        const Outcome result = run({model.string(), "-o", out(name).string()});
        ASSERT_EQ(result.status, 0) << name << ": " << result.err;
        EXPECT_EQ(result.err, "") << name;
    }
    const std::string obj = readText(out(" lead #1 100%.obj"));
    const std::size_t line = obj.find("mtllib ") + 7;
    const std::string mtlName = obj.substr(line, obj.find('\n', line) - line);
    EXPECT_EQ(mtlName.find_first_of(" #"), std::string::npos) << mtlName;
    const std::string mtl = readText(out(mtlName));
    EXPECT_THAT(obj, HasSubstr("\no %20lead #1 100%25\n"));
    for (const char* material : {"crate", "%20crate", "crate%20"}) {
        EXPECT_THAT(mtl, HasSubstr(std::string("newmtl ") + material + "\n"));
        EXPECT_THAT(obj, HasSubstr(std::string("usemtl ") + material + "\n"));
    }

    EXPECT_EQ(validatorErrors(out(" lead #1 100%.gltf")), "");
    const nlohmann::json gltf = nlohmann::json::parse(readText(out(" lead #1 100%.gltf")));
    std::string uri = gltf["buffers"][0]["uri"], binName;
    for (std::size_t at = 0; at < uri.size(); ++at) {
        binName +=
            uri[at] == '%' ? static_cast<char>(std::stoi(uri.substr(at + 1, 2), nullptr, 16)) : uri[at];
        if (uri[at] == '%') at += 2;
    }
    EXPECT_TRUE(fs::is_regular_file(out(binName))) << uri;
}

// File systems take names of up to 255 bytes; a model named near that
// converts under its own name, its companions and temporaries kept shorter.
TEST_F(ConversionTest, WritesOutputsWhoseNamesAreAsLongAsFileSystemsTake) {
    const std::string stem(248, 'Y');
    const fs::path model = scratch_ / "game" / "content" / "meshes" / (stem + ".model");
    fs::create_directories(model.parent_path());
    fs::copy_file(kSample, model);
    for (const char* extension : {".gltf", ".obj", ".glb"}) {
        const Outcome result = run({model.string(), "-o", out(stem + extension).string()});
        EXPECT_EQ(result.status, 0) << extension << ": " << result.err;
    }
    for (const fs::path& file : filesUnder(scratch_ / "out"))
        EXPECT_LE(file.filename().string().size(), 255u) << file;
    EXPECT_EQ(filesUnder(scratch_ / "out").size(), 3u + 2u);  // the outputs, the .bin and the .mtl
}

// Writing an output again replaces its whole set however its path is
// spelled, a name alone being a file in the working folder: the old
// companion goes, and so do the temporaries that a stopped run left of the
// output and of its images.
TEST_F(ConversionTest, WritingAnOutputAgainLeavesOneSetWhereverItsPathPoints) {
    const fs::path triangle = scratch_ / "triangle.model";
    writeModel(
        triangle,
        ModelBuilder().beginMeshList().mesh(std::string(1, '\0'), unitTriangle(), {0, 1, 2}).endMeshList());
    int work = 0;
    for (const char* extension : {".gltf", ".obj"}) {
        for (const std::string spelling : {"m", "./m", "sub/m"}) {
            SCOPED_TRACE(spelling + extension);
            const fs::path in = scratch_ / ("work" + std::to_string(work++));
            const fs::path folder = (in / spelling).parent_path();
            fs::create_directories(folder);
            const std::vector<std::string> sample = {kSample.string(), "-o", spelling + extension};
            ASSERT_EQ(run(sample, in).status, 0);
            const std::vector<fs::path> first = filesUnder(folder);
            for (const fs::path& file : first) {
                if (file.extension() == ".png")
                    std::ofstream(folder / (file.string() + ".tmp0")) << "stopped";
            }
            std::ofstream(folder / (std::string("m") + extension + ".tmp0")) << "stopped";
            ASSERT_EQ(run({triangle.string(), "-o", spelling + extension}, in).status, 0);
            ASSERT_EQ(run(sample, in).status, 0);
            EXPECT_EQ(filesUnder(folder), first);
        }
    }
}

// A triangle that names one vertex twice has no area; OBJ readers drop such
// faces or fail on them (Blender 3.4 crashes on an object of nothing else),
// so the OBJ file leaves them out and says so. The other formats keep them.
TEST_F(ConversionTest, LeavesTrianglesWithoutAreaOutOfObjAndSaysSo) {
    std::vector<ModelVertex> vertices = unitTriangle();
    vertices.emplace_back().z = 5;
    ModelBuilder builder;
    // The vertex named twice first and second, second and third, first and
    // third, and thrice.
    builder.beginMeshList()
        .mesh(std::string("flat") + '\0', vertices, {0, 0, 1, 0, 1, 1, 0, 1, 0, 3, 3, 3})
        .endMeshList();
    const fs::path model = scratch_ / "game" / "content" / "meshes" / "flat.model";
    writeModel(model, builder);

    const Outcome result = run({model.string(), "-o", out("flat.obj").string()});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_THAT(result.err,
                HasSubstr("warning: mesh flat.0 flat: 4 triangles name a vertex twice; left out of "
                          "the OBJ file\n"));
    EXPECT_THAT(readText(out("flat.obj")), Not(HasSubstr("\nf ")));
    ASSERT_EQ(run({model.string(), "-o", out("flat.gltf").string()}).status, 0);
    EXPECT_EQ(validatorErrors(out("flat.gltf")), "");
}

// 65535 is the restart value of 16-bit indices, never an index: a mesh that
// names its vertex 65535 takes 32-bit indices.
TEST_F(ConversionTest, TakesWideIndicesForAMeshThatNamesVertex65535) {
    std::vector<ModelVertex> vertices(65536);
    for (std::size_t i = 0; i < vertices.size(); ++i)
        vertices[i].x = static_cast<float>(i % 256), vertices[i].y = static_cast<float>(i / 256);
    const std::vector<ModelVertex> narrow(vertices.begin(), vertices.end() - 1);
    ModelBuilder builder;
    builder.beginMeshList()
        .mesh(std::string("wide") + '\0', vertices, {65535, 65534, 65279})
        .mesh(std::string("narrow") + '\0', narrow, {65534, 65533, 65278})
        .endMeshList();
    const fs::path model = scratch_ / "game" / "content" / "meshes" / "big.model";
    writeModel(model, builder);
    ASSERT_EQ(run({model.string(), "-o", out("big.gltf").string()}).status, 0);
    EXPECT_EQ(validatorErrors(out("big.gltf")), "");
    const nlohmann::json gltf = nlohmann::json::parse(readText(out("big.gltf")));
    const auto indexType = [&](std::size_t mesh) {
        return gltf["accessors"][gltf["meshes"][mesh]["primitives"][0]["indices"].get<std::size_t>()]
                   ["componentType"];
    };
    EXPECT_EQ(indexType(0), 5125);  // unsigned int
    EXPECT_EQ(indexType(1), 5123);  // unsigned short
}

#ifndef _WIN32
// Past the file-size limit a write fails as on a full disk: one line, status
// 3, nothing left beside the output, where the system's signal ended the
// program without a word.
TEST_F(ConversionTest, FailsAWritePastTheFileSizeLimitInOneLine) {
    const int status = runProcess({"sh", "-c", "ulimit -f 8 && exec \"$0\" \"$@\"", ORVEX_PROGRAM,
                                   kSample.string(), "-o", out("limited.glb").string()},
                                  scratch_ / "stdout.txt", scratch_ / "stderr.txt");
    EXPECT_EQ(status, 3);
    EXPECT_THAT(readText(scratch_ / "stderr.txt"),
                IsOneLine("[^\n]*limited.glb: cannot write: File too large"));
    EXPECT_EQ(filesUnder(scratch_ / "out"), std::vector<fs::path>{});
}
#endif

TEST_F(ConversionTest, WritesEveryFormatFromTheSameScene) {
    for (const char* name : {"yard.glb", "yard.obj", "yard.json"}) {
        const Outcome result = run({kSample.string(), "-o", out(name).string()});
        ASSERT_EQ(result.status, 0) << name << ": " << result.err;
    }
    EXPECT_EQ(validatorErrors(out("yard.glb")), "");

    const nlohmann::json scene = nlohmann::json::parse(readText(out("yard.json")));
    std::size_t points = 0, triangles = 0;
    for (const auto& node : scene["nodes"]) {
        if (node["type"] != "mesh") continue;
        points += node["mesh"]["points"].size();
        triangles += node["mesh"]["polygonCounts"].size();
    }
    std::size_t objVertices = 0, objFaces = 0;
    std::istringstream obj(readText(out("yard.obj")));
    for (std::string line; std::getline(obj, line);) {
        objVertices += line.rfind("v ", 0) == 0;
        objFaces += line.rfind("f ", 0) == 0;
    }
    EXPECT_GT(points, 0u);
    EXPECT_EQ(objVertices, points);
    EXPECT_EQ(objFaces, triangles);
    const std::string mtllib = "mtllib ";
    const std::string objText = readText(out("yard.obj"));
    const std::size_t named = objText.find(mtllib);
    ASSERT_NE(named, std::string::npos);
    EXPECT_TRUE(fs::exists(
        out(objText.substr(named + mtllib.size(), objText.find('\n', named) - named - mtllib.size()))));
}

TEST_F(ConversionTest, DecodesAKnownDdsToThePngPixels) {
    const fs::path content = scratch_ / "game" / "content";
    fs::create_directories(content / "meshes");
    fs::create_directories(content / "textures");
    orvex::modelgen::RgbaImage image{
        2, 2, {255, 0, 0, 255, 0, 255, 0, 255, 0, 0, 255, 255, 255, 255, 255, 255}};
    orvex::modelgen::writeFile((content / "textures" / "tile.1024.dds").string(),
                               orvex::modelgen::buildDds(image, orvex::modelgen::DdsFormat::Rgba32));
    std::vector<ModelVertex> vertices(3);
    vertices[1].x = 1;
    vertices[2].y = 1;
    ModelBuilder model;
    model.beginMeshList().mesh(std::string("tile\0", 5), vertices, {0, 1, 2}).endMeshList();
    orvex::modelgen::writeFile((content / "meshes" / "tile.model").string(), model.bytes());

    const Outcome result =
        run({(content / "meshes" / "tile.model").string(), "-o", out("tile.gltf").string()});
    ASSERT_EQ(result.status, 0) << result.err;
    const nlohmann::json gltf = nlohmann::json::parse(readText(out("tile.gltf")));
    ASSERT_EQ(gltf["images"].size(), 1u);
    int width = 0, height = 0, channels = 0;
    stbi_uc* pixels = stbi_load(out(gltf["images"][0]["uri"].get<std::string>()).string().c_str(), &width,
                                &height, &channels, 4);
    ASSERT_NE(pixels, nullptr);
    EXPECT_EQ(std::vector<unsigned char>(pixels, pixels + 16), image.rgba);
    stbi_image_free(pixels);
}

TEST_F(ConversionTest, InspectsWithoutWritingAnything) {
    const Outcome text = run({"--inspect", kSample.string()});
    ASSERT_EQ(text.status, 0) << text.err;
    EXPECT_THAT(text.out, HasSubstr("meshes: 4"));
    // The game's path, then the file on disk as this system names it, both
    // from the absolute path that the import is given.
    EXPECT_THAT(text.out, HasSubstr("crate.2048.dds (found: " +
                                    native(fs::absolute(kSample).parent_path().parent_path().string() +
                                           "/textures/props/crate.2048.dds") +
                                    ")"));
    EXPECT_THAT(text.out, HasSubstr("cobbles.1024.dds (found: "));

    const Outcome json = run({"--inspect", "--json", kSample.string()});
    ASSERT_EQ(json.status, 0) << json.err;
    const nlohmann::json report = nlohmann::json::parse(json.out);
    ASSERT_EQ(report["meshes"].size(), 4u);
    EXPECT_EQ(report["meshes"][2]["names"][0], "Props\\Barrel");
    EXPECT_EQ(report["meshes"][2]["textureFound"], true);
    // Found whatever the case of its name, on any file system.
    std::error_code error;
    EXPECT_TRUE(fs::equivalent(fs::u8path(report["meshes"][2]["textureFile"].get<std::string>()),
                               kSample.parent_path().parent_path() / "textures" / "props" / "barrel.2048.dds",
                               error))
        << report["meshes"][2]["textureFile"];
    EXPECT_TRUE(filesUnder(scratch_ / "out").empty());

    // From a path relative to the game's folder, the same content root and
    // textures that the import finds.
    const Outcome relative = run({"--inspect", "--json", native("content/meshes/yard.model")},
                                 kSample.parent_path().parent_path().parent_path());
    ASSERT_EQ(relative.status, 0) << relative.err;
    const nlohmann::json fromRelative = nlohmann::json::parse(relative.out);
    EXPECT_EQ(fromRelative["contentRoot"], report["contentRoot"]);
    EXPECT_EQ(fromRelative["meshes"][2]["textureFound"], true);
}

// The smallest file that once made --inspect abort: a mesh list, a child
// and a vertex sub-chunk whose count, 2^27, needs 4 GiB at 32 bytes each.
TEST_F(ConversionTest, InspectsACountMemoryCannotHoldAsANoteWhereItStands) {
    const fs::path huge = scratch_ / "huge.model";
    ModelBuilder model;
    model.beginMeshList().beginChild().vertices({}, 1u << 27).endChild().endMeshList();
    orvex::modelgen::writeFile(huge.string(), model.bytes());
    ASSERT_EQ(fs::file_size(huge), 32u);

    const Outcome text = run({"--inspect", huge.string()});
    EXPECT_EQ(text.status, 0) << text.err;
    EXPECT_EQ(text.err, "");
    EXPECT_THAT(text.out, HasSubstr("meshes: 0\n"));
    EXPECT_THAT(text.out,
                HasSubstr("notes: 1\n  at byte 28: the file declares more data than memory can hold: "
                          "vertex count 134217728\n"));

    const Outcome json = run({"--inspect", "--json", huge.string()});
    EXPECT_EQ(json.status, 0) << json.err;
    const nlohmann::json report = nlohmann::json::parse(json.out);
    ASSERT_EQ(report["notes"].size(), 1u);
    EXPECT_EQ(report["notes"][0]["offset"], 28);
    EXPECT_EQ(report["notes"][0]["kind"], "the file declares more data than memory can hold");

    const Outcome convert = run({huge.string(), "-o", out("huge.glb").string()});
    EXPECT_EQ(convert.status, 1);
    EXPECT_EQ(convert.err,
              "orvex-import: " + huge.string() + ": the file declares more data than memory can hold\n");
}

// Whatever escapes the program's own handling, here a plug-in that throws
// from its reader, fails the import in one line naming the file, in the
// program itself, in batch workers, previews and contact sheets alike.
TEST_F(ConversionTest, FailsAnImportThatThrowsInOneLineOnEveryPath) {
    const std::string input = kSample.string();
    const std::string plugin = ORVEX_THROWING_PLUGIN;
    const std::string expected = input + ": the import failed: a reader that throws";
    for (const char* name : {"yard.glb", "yard.png"}) {
        const Outcome result = run({input, "-o", out(name).string(), "--plugin", plugin});
        EXPECT_EQ(result.status, 1) << name;
        EXPECT_EQ(result.err, "orvex-import: " + expected + "\n") << name;
    }
    const Outcome batch = run({input, "-o", out("batch").string(), "--format", "png", "--plugin", plugin,
                               "--contact-sheet", out("sheet.png").string()});
    EXPECT_EQ(batch.status, 1);
    EXPECT_THAT(batch.err, HasSubstr("orvex-import: " + expected + "\n"));
    EXPECT_THAT(batch.err, ::testing::Not(HasSubstr("signal")));
    EXPECT_EQ(filesUnder(scratch_ / "out"), std::vector<fs::path>{});
}

// A plug-in that cannot be loaded fails every file in a line that begins
// with it, in a batch as in a single run, and is each file's reason in the
// batch's report.
TEST_F(ConversionTest, APluginThatCannotBeLoadedFailsEachFileInItsOwnName) {
    const std::string report = (scratch_ / "report.json").string();
    const Outcome batch = run({kSample.string(), "-o", out("batch").string(), "--format", "glb", "--plugin",
                               "/nonexistent/OrvexImp.so", "--report", report});
    EXPECT_EQ(batch.status, 1);
    const nlohmann::json files = nlohmann::json::parse(readText(report))["files"];
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(files[0]["reason"].get<std::string>().rfind(
                  kSample.string() + ": cannot load plug-in module /nonexistent/OrvexImp.so", 0),
              0u)
        << files[0]["reason"];
}

// A batch worker converts several files in turn (three each here). One that
// dies on a file fails that file alone, whether it died without a word (first
// in its list) or after a line about it (in the middle of one): the files
// listed after it go to another worker.
// A batch's worker that cannot write a file's report says so in a line
// that begins with the file, which the batch, missing the report, takes for
// its reason; a line naming only the report would leave the file with none.
TEST_F(ConversionTest, ABatchWorkerNamesTheFileWhoseReportItCannotWrite) {
    const fs::path list = scratch_ / "list";
    const std::string report = (scratch_ / "no" / "such" / "folder" / "0.json").string();
    const std::string fields[] = {kSample.string(), out("yard.glb").string(), report, ""};
    {
        std::ofstream file(list, std::ios::binary);
        for (const std::string& field : fields) file << field << '\0';
    }
    const Outcome worker = run({"--worker-list", list.string()});
    EXPECT_EQ(worker.status, 0);
    EXPECT_EQ(worker.err.rfind("orvex-import: " + kSample.string() + ": " + report + ": cannot write", 0), 0u)
        << worker.err;
    EXPECT_EQ(std::count(worker.err.begin(), worker.err.end(), '\n'), 1);
}

TEST_F(ConversionTest, ABatchWorkerThatDiesFailsOnlyTheFileItDiedOn) {
    const fs::path folder = scratch_ / "many";
    fs::create_directories(folder);
    std::vector<std::string> names = {"m00crash.model"};
    for (int i = 1; i < 24; ++i)
        names.push_back("m" + std::string(i < 10 ? "0" : "") + std::to_string(i) + (i == 4 ? "term" : "") +
                        ".model");
    for (const std::string& name : names) orvex::modelgen::writeFile((folder / name).string(), {});

    const Outcome batch = run({folder.string(), "-o", out("batch").string(), "-j", "1", "--plugin",
                               ORVEX_THROWING_PLUGIN});
    EXPECT_EQ(batch.status, 1);
    for (const std::string& name : names) {
        const std::string line = "orvex-import: " + (folder / name).string() + ": ";
        if (name == names.front()) {
            EXPECT_THAT(batch.err, HasSubstr(line + "the worker")) << name;
        } else if (name == names[4]) {
            EXPECT_THAT(batch.err, HasSubstr(line + "internal error")) << name;
        } else {
            EXPECT_THAT(batch.err, HasSubstr(line + "the import failed: a reader that throws\n")) << name;
        }
    }
}

TEST_F(ConversionTest, ExplainsEveryFailureInOneLineWithItsExitStatus) {
    const fs::path empty = scratch_ / "empty.model";
    orvex::modelgen::writeFile(empty.string(), {});
    const fs::path notModel = scratch_ / "crate.bin";
    orvex::modelgen::writeFile(notModel.string(), {});
    fs::create_directories(out("taken.gltf"));

    const struct {
        std::vector<std::string> arguments;
        int status;
        std::string mentions;
    } cases[] = {
        {{(scratch_ / "missing.model").string(), "-o", out("a.gltf").string()}, 1, "missing.model"},
        {{empty.string(), "-o", out("a.gltf").string()}, 1, "no complete mesh"},
        {{notModel.string(), "-o", out("a.gltf").string()}, 1, "crate.bin"},
        {{kSample.string(), "-o", out("a.gltf").string(), "--plugin", "/nonexistent/OrvexImp.so"},
         1,
         kSample.string() + ": cannot load plug-in module /nonexistent/OrvexImp.so"},
        {{kSample.string(), "-o", out("a.dae").string()}, 2, "a.dae"},
        {{kSample.string(), "-o", out("a.glb").string(), "--embed-textures"}, 2, "--embed-textures"},
        {{kSample.string(), "-o", out("a.gltf").string(), "--textures", "dds"},
         2,
         "--textures dds goes with"},
        {{kSample.string(), "-o", out("a.fbx").string(), "--textures", "dds", "--embed-textures"},
         2,
         "drop --embed-textures"},
        {{kSample.string(), "-o", out("a.obj").string(), "--textures", "ktx"}, 2, "--textures"},
        {{kSample.string()}, 2, "-o"},
        {{}, 2, "input"},
        {{kSample.string(), "-o", out("a.gltf").string(), "--json"}, 2, "--json"},
        {{kSample.string(), "--frobnicate"}, 2, "frobnicate"},
        // The line names the first file of the output that could not be written.
        {{kSample.string(), "-o", out("a.png").string(), "--size", "0"}, 2, "--size 0"},
        {{kSample.string(), "-o", out("a.png").string(), "--size", "64x"}, 2, "--size 64x"},
        {{kSample.string(), "-o", out("a.png").string(), "--view", "back"}, 2, "--view back"},
        {{kSample.string(), "-o", out("a.gltf").string(), "--view", "top"}, 2, "--view"},
        {{kSample.string(), "-o", out("a.gltf").string(), "-j", "2"}, 2, "-j"},
        {{kSample.string(), "-o", out("a.gltf").string(), "--contact-sheet", out("s.png").string()},
         2,
         "--contact-sheet"},
        {{"--inspect", kSample.string(), kSample.string()}, 2, "--inspect"},
        {{"--inspect", kSample.string(), "-o", out("a.glb").string()}, 2, "takes no --output"},
        {{"--inspect", kSample.string(), "--thumbnail", out("a.png").string()}, 2, "takes no --thumbnail"},
        {{"--inspect", kSample.string(), "--dry-run"}, 2, "takes no --dry-run"},
        {{"--inspect", kSample.string(), "--format", "glb"}, 2, "takes no --format"},
        // An empty value, as an unset variable gives, is no value.
        {{kSample.string(), "-o", ""}, 2, "--output: an empty value"},
        {{kSample.string(), "-o", out("a.glb").string(), "--report", ""}, 2, "--report: an empty value"},
        {{kSample.string(), "-o", out("a.glb").string(), "--thumbnail", ""},
         2,
         "--thumbnail: an empty value"},
        {{kSample.string(), "-o", out("a.png").string(), "--size", ""}, 2, "--size: an empty value"},
        {{kSample.string(), "-o", out("a.png").string(), "--view", ""}, 2, "--view: an empty value"},
        {{kSample.string(), "-o", out("a.glb").string(), "--plugin", ""}, 2, "--plugin: an empty value"},
        {{kSample.string(), "-o", out("b").string(), "--format", "glb", "--contact-sheet", ""},
         2,
         "--contact-sheet: an empty value"},
        {{"", "-o", out("a.glb").string()}, 2, "inputs: an empty value"},
        {{kSample.string(), "-o", (scratch_ / "no" / "such" / "dir" / "a.gltf").string()},
         3,
         native("no/such/dir/")},
        {{kSample.string(), "-o", (scratch_ / "no" / "such" / "dir" / "a.png").string()},
         3,
         native("no/such/dir/")},
        {{kSample.string(), "-o", out("taken.gltf").string()}, 3, "taken.gltf"},
        // No file of a run lands on its input or on another of its files.
        {{empty.string(), "-o", out("a.glb").string(), "--report", empty.string()},
         2,
         "--report names the input file"},
        {{empty.string(), "-o", out("a.json").string(), "--report", out("a.json").string()},
         2,
         "named by both -o and --report"},
        {{empty.string(), "-o", out("a.png").string(), "--thumbnail",
          (scratch_ / "out" / "." / "a.png").string()},
         2,
         "named by both -o and --thumbnail"},
    };
    for (const auto& c : cases) {
        const Outcome result = run(c.arguments);
        const std::string what = c.arguments.empty() ? "(no arguments)" : c.arguments.front();
        EXPECT_EQ(result.status, c.status) << what << ": " << result.err;
        EXPECT_THAT(result.err, HasSubstr(c.mentions)) << what;
        EXPECT_THAT(result.err, IsOneLine("[^\n]*")) << what;
    }
    // Other names of the input: a hard link is the file it links, and
    // Windows drops the dots and blanks that end a name.
    std::vector<std::string> inputByOtherNames;
    std::error_code noLink;
    fs::create_hard_link(empty, scratch_ / "linked.json", noLink);
    if (!noLink) inputByOtherNames.push_back((scratch_ / "linked.json").string());
#ifdef _WIN32
    inputByOtherNames.push_back(empty.string() + ".");
    inputByOtherNames.push_back(empty.string() + " ");
#endif
    for (const std::string& report : inputByOtherNames) {
        const Outcome result = run({empty.string(), "-o", out("a.glb").string(), "--report", report});
        EXPECT_EQ(result.status, 2) << report << ": " << result.err;
        EXPECT_THAT(result.err, HasSubstr("--report names the input file")) << report;
    }
    // Nothing half-written, no temporary left behind, the input untouched.
    EXPECT_EQ(filesUnder(scratch_ / "out"), std::vector<fs::path>{});
    EXPECT_EQ(fs::file_size(empty), 0u);
}

// A failed import whose report cannot be written either exits as a failed
// import, and says both.
TEST_F(ConversionTest, AFailedImportOutranksItsReportThatCannotBeWritten) {
    const fs::path missing = scratch_ / "missing.model";
    const fs::path report = scratch_ / "no" / "such" / "dir" / "r.json";
    const Outcome result = run({missing.string(), "-o", out("a.glb").string(), "--report", report.string()});
    EXPECT_EQ(result.status, 1);
    EXPECT_THAT(result.err, HasSubstr(report.string() + ": cannot write"));
    EXPECT_THAT(result.err, HasSubstr(missing.string() + ": "));
}

// The output is what was asked for: a thumbnail that cannot be written
// beside it is a warning, not a failed conversion.
TEST_F(ConversionTest, WritesAThumbnailBesideTheOutputAndOnlyWarnsWhenItCannot) {
    const Outcome made =
        run({kSample.string(), "-o", out("yard.glb").string(), "--thumbnail", out("yard.png").string()});
    ASSERT_EQ(made.status, 0) << made.err;
    EXPECT_EQ(made.err, "");
    EXPECT_EQ(readPng(out("yard.png")).width, 160);
    EXPECT_EQ(readPng(out("yard.png")).height, 120);

    const fs::path nowhere = scratch_ / "no" / "such" / "dir" / "thumb.png";
    const Outcome failed =
        run({kSample.string(), "-o", out("again.glb").string(), "--thumbnail", nowhere.string()});
    EXPECT_EQ(failed.status, 0) << failed.err;
    EXPECT_THAT(failed.err, IsOneLine("warning: thumbnail not made: [^\n]*thumb.png[^\n]*"));
    EXPECT_TRUE(fs::exists(out("again.glb")));
}

// Names beyond ASCII in folders and files, read and written, one file at a
// time and in a batch: a game copied under such names converts as the
// sample does, and a line about a file names it as it is.
TEST_F(ConversionTest, TakesNamesBeyondAscii) {
    const fs::path game = scratch_ / fs::u8path(u8"Spiel-\u00c4\u00d6\u00dc-\u30b2\u30fc\u30e0");
    fs::create_directories(game);
    fs::copy(kSample.parent_path().parent_path(), game / "content", fs::copy_options::recursive);
    const fs::path model = game / "content" / "meshes" / fs::u8path(u8"hof-\u00f8.model");
    fs::rename(game / "content" / "meshes" / "yard.model", model);
    for (const char* format : {"glb", "gltf", "obj", "fbx", "json", "png"}) {
        const fs::path output = scratch_ / "out" / fs::u8path(std::string(u8"\u51fa\u529b-\u00f8.") + format);
        const Outcome result = run({model.u8string(), "-o", output.u8string()});
        EXPECT_EQ(result.status, 0) << format << ": " << result.err;
        EXPECT_EQ(result.err, "") << format;
        EXPECT_TRUE(fs::exists(output)) << format;
    }
    const fs::path missing = game / fs::u8path(u8"fehlt-\u00df.model");
    EXPECT_THAT(run({missing.u8string(), "-o", out("x.glb").u8string()}).err, HasSubstr(missing.u8string()));

    const fs::path folder = scratch_ / "out" / fs::u8path(u8"stapel-\u00e9");
    const Outcome batch = run({game.u8string(), "-o", folder.u8string(), "-j", "2"});
    EXPECT_EQ(batch.status, 0) << batch.err;
    EXPECT_TRUE(fs::exists(folder / "content" / "meshes" / fs::u8path(u8"hof-\u00f8.glb")));
}

TEST_F(ConversionTest, NeverTouchesItsInput) {
    const std::string before = readText(kSample);
    const auto modified = fs::last_write_time(kSample);
    ASSERT_EQ(run({kSample.string(), "-o", out("yard.json").string()}).status, 0);
    EXPECT_EQ(readText(kSample), before);
    EXPECT_EQ(fs::last_write_time(kSample), modified);
}

TEST_F(ConversionTest, AnswersHelpAndVersion) {
    const Outcome help = run({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_THAT(help.out, HasSubstr("--inspect"));
    EXPECT_THAT(help.out, HasSubstr("OUTDIR"));
    const Outcome version = run({"--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_THAT(version.out, ::testing::StartsWith("orvex-import "));
}

}  // namespace
