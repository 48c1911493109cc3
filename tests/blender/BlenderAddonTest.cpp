// The Blender add-on as a user gets it: its zip installed into Debian's
// Blender, run headless with empty user folders, and the imports made
// through its operators, as File > Import makes them. What Blender then
// holds must be the host scene corner by corner with the DDS files' pixels,
// under the names the program's GLB carries, and the same as what Blender's
// own glTF importer makes of that GLB. ORVEX_BLENDER_ZIP, when set, names
// another zip of the add-on to install (scripts/test gives the portable
// package's).

#include "materials/PathExists.h"
#include "modelgen/DdsBuilder.h"
#include "modelgen/ModelBuilder.h"
#include "writers/Dds.h"

#include "tests/cli/HostCorners.h"
#include "tests/cli/ProgramFixture.h"

#include <nlohmann/json.hpp>

#include <gmock/gmock.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <cstring>
#include <fstream>
#include <optional>

namespace {

using namespace orvex::testing;
using Json = nlohmann::json;
using orvex::ModelVertex;
using orvex::modelgen::ModelBuilder;

// Blender keeps custom normals in a compact form of its own, good to about
// 1e-4. A UV's v goes through glTF's downward v and back: 1 - (1 - v) is v
// to within the rounding of one subtraction.
constexpr double kNormalTolerance = 2e-3;
constexpr double kUvTolerance = 1e-6;

// The host's y up turned to Blender's z up, as Blender's glTF importer does.
std::array<double, 3> zUp(double x, double y, double z) {
    return {x, -z, y};
}
constexpr double kMatrixTolerance = 1e-6;

std::uint32_t packedNormal(int x, int y, int z) {
    return std::uint32_t(x) << 16 | std::uint32_t(y) << 8 | std::uint32_t(z);
}

ModelVertex vertex(float x, float y, float z, std::uint32_t normal, float u, float v) {
    ModelVertex made{};
    made.x = x;
    made.y = y;
    made.z = z;
    made.normal = normal;
    made.u = u;
    made.v = v;
    return made;
}

// A texture whose every pixel differs.
void writeTile(const fs::path& content) {
    orvex::modelgen::RgbaImage tile{4, 2, {}};
    for (int i = 0; i < 4 * 2 * 4; ++i) tile.rgba.push_back(std::uint8_t(i * 37 % 256));
    for (int i = 3; i < 4 * 2 * 4; i += 4) tile.rgba[std::size_t(i)] = 255;
    fs::create_directories(content / "textures");
    orvex::modelgen::writeFile((content / "textures" / "tile.1024.dds").string(),
                               orvex::modelgen::buildDds(tile, orvex::modelgen::DdsFormat::Rgba32));
}

// Two meshes: a fan of four triangles with slanted normals and the tile
// texture, and a triangle whose texture is missing.
orvex::modelgen::Bytes piecesModel() {
    std::vector<ModelVertex> fan;
    const float xs[] = {0, 1, 0.5f, -0.5f, -1};
    const float zs[] = {0, 0.25f, 1, 1, 0.25f};
    for (int k = 0; k < 5; ++k) {
        fan.push_back(vertex(xs[k], 0.125f * float(k), zs[k], packedNormal(40 + 30 * k, 200, 90), 0.2f * float(k),
                             0.9f - 0.15f * float(k)));
    }
    const std::vector<ModelVertex> lone = {vertex(0, 0, 0, packedNormal(128, 255, 128), 0, 0),
                                           vertex(2, 0, 0, packedNormal(128, 255, 128), 1, 0),
                                           vertex(0, 3, 0, packedNormal(128, 255, 128), 0, 1)};
    ModelBuilder model;
    model.beginMeshList()
        .mesh(std::string("tile\0", 5), fan, {0, 1, 2, 0, 2, 3, 0, 3, 4, 4, 3, 1})
        .mesh(std::string("absent\0", 7), lone, {0, 1, 2})
        .endMeshList();
    return model.bytes();
}

// Triangles that Blender's Mesh.validate(), which its glTF importer runs,
// takes out: one naming a vertex twice (vertex 3, which only it uses) and
// one repeating the first with the other winding. Vertex 5 is used by no
// triangle.
orvex::modelgen::Bytes flawedModel() {
    std::vector<ModelVertex> vertices;
    for (int k = 0; k < 6; ++k) {
        vertices.push_back(vertex(float(k % 3), float(k / 3), 0.5f * float(k), packedNormal(128, 128, 255),
                                  0.1f * float(k), 0.2f * float(k)));
    }
    ModelBuilder model;
    model.beginMeshList()
        .mesh(std::string("tile\0", 5), vertices, {0, 1, 2, 3, 3, 1, 2, 1, 0, 1, 4, 2})
        .endMeshList();
    return model.bytes();
}

// game/content/ with the sample, the generated models and the tile:
//   meshes/yard.model, meshes/pieces.MODEL, meshes/bad.model (not a model),
//   meshes/props/flawed.model, meshes/props/notes.txt,
//   meshes/props/deeper/Crate.MODEL (the pieces again)
fs::path writeContent(const fs::path& scratch) {
    const fs::path content = scratch / "game" / "content";
    fs::create_directories(content);
    fs::copy(fs::path(ORVEX_SOURCE_DIR) / "samples" / "content", content, fs::copy_options::recursive);
    writeTile(content);
    const fs::path meshes = content / "meshes";
    fs::create_directories(meshes / "props" / "deeper");
    orvex::modelgen::writeFile((meshes / "pieces.MODEL").string(), piecesModel());
    orvex::modelgen::writeFile((meshes / "props" / "deeper" / "Crate.MODEL").string(), piecesModel());
    orvex::modelgen::writeFile((meshes / "props" / "flawed.model").string(), flawedModel());
    std::ofstream(meshes / "bad.model") << "not a model";
    std::ofstream(meshes / "props" / "notes.txt") << "not a model either";
    return content;
}

// The JSON chunk of a GLB file.
Json glbDocument(const fs::path& path) {
    const std::string bytes = readText(path);
    std::uint32_t length = 0;
    std::memcpy(&length, bytes.data() + 12, sizeof length);
    return Json::parse(bytes.substr(20, length));
}

const Json* findByName(const Json& list, const std::string& name) {
    for (const Json& entry : list) {
        if (entry["name"] == name) return &entry;
    }
    return nullptr;
}

// Blender gives a second block of a name already taken that name with a
// number: "polySurface1" becomes "polySurface1.001".
MATCHER_P(IsNameOrNumbered, name, "") {
    const std::string text = arg;
    const std::string base = name;
    return text == base || (text.size() == base.size() + 4 && text.compare(0, base.size(), base) == 0 &&
                            text[base.size()] == '.' &&
                            text.find_first_not_of("0123456789", base.size() + 1) == std::string::npos);
}

// The host scene and the GLB that the program makes of a model.
struct Converted {
    Json host;
    Json glb;
    fs::path glbPath;
};

class BlenderAddonTest : public ProgramTest {
protected:
    void SetUp() override {
        ProgramTest::SetUp();
        if (std::system("command -v blender >/dev/null 2>&1") != 0) {
            GTEST_SKIP() << "blender is not installed: the Blender add-on was not tried";
        }
        content_ = writeContent(scratch_);
    }

    fs::path model(const std::string& relative) const { return content_ / "meshes" / relative; }

    Converted convert(const fs::path& modelPath) {
        const std::string name = modelPath.stem().string();
        const fs::path json = out(name + ".json"), glb = out(name + ".glb");
        EXPECT_EQ(run({modelPath.string(), "-o", json.string()}).status, 0) << name;
        EXPECT_EQ(run({modelPath.string(), "-o", glb.string()}).status, 0) << name;
        return {Json::parse(readText(json)), glbDocument(glb), glb};
    }

    // Installs the zip into a Blender with empty user folders, runs the
    // steps (see addon_session.py) and returns what it wrote; its log in
    // log_.
    Json session(const Json& steps) {
        const char* zip = std::getenv("ORVEX_BLENDER_ZIP");
        const Json plan = {{"zip", zip != nullptr ? zip : ORVEX_BLENDER_ZIP}, {"steps", steps}};
        const fs::path user = scratch_ / "blender-user";
        fs::create_directories(user / "config");
        fs::create_directories(user / "scripts");
        std::ofstream(scratch_ / "plan.json") << plan.dump();
        const std::string command = "BLENDER_USER_CONFIG=" + quoted((user / "config").string()) +
                                    " BLENDER_USER_SCRIPTS=" + quoted((user / "scripts").string()) +
                                    " blender -b --factory-startup --python-exit-code 1 --python " +
                                    quoted(ORVEX_ADDON_SESSION) + " -- " + quoted((scratch_ / "plan.json").string()) +
                                    " " + quoted((scratch_ / "session.json").string()) + " >" +
                                    quoted((scratch_ / "blender.log").string()) + " 2>&1";
        const int status = std::system(command.c_str());
        log_ = readText(scratch_ / "blender.log");
        EXPECT_EQ(status, 0) << log_;
        EXPECT_EQ(log_.find("Traceback"), std::string::npos) << log_;
        return status == 0 ? Json::parse(readText(scratch_ / "session.json")) : Json::object();
    }

    fs::path content_;
    std::string log_;
};

// The file texture's DDS file that the host gives the mesh's shader, if any.
std::optional<std::string> ddsOfMesh(const Json& host, const std::string& mesh) {
    std::string shadingGroup;
    for (const Json& node : host["nodes"]) {
        if (node["type"] == "shadingEngine" && node.contains("members")) {
            for (const Json& member : node["members"]) {
                if (member == mesh) shadingGroup = node["name"];
            }
        }
    }
    auto sourceInto = [&](const std::string& plug) -> std::string {
        for (const Json& connection : host["connections"]) {
            if (connection["destination"] == plug) {
                const std::string source = connection["source"];
                return source.substr(0, source.find('.'));
            }
        }
        return "";
    };
    const std::string shader = sourceInto(shadingGroup + ".surfaceShader");
    const Json* file = findByName(host["nodes"], sourceInto(shader + ".color"));
    if (file == nullptr) return std::nullopt;
    return orvex::findExistingPath((*file)["values"]["fileTextureName"]);
}

std::vector<int> decodedPixels(const std::string& dds) {
    std::ifstream in(dds, std::ios::binary);
    const std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(in), {}};
    std::string whyNot;
    const std::optional<orvex::writers::Image> image = orvex::writers::decodeDds(bytes, whyNot);
    EXPECT_TRUE(image) << whyNot;
    return image ? std::vector<int>(image->rgba.begin(), image->rgba.end()) : std::vector<int>{};
}

// The GLB's nodes that hold a mesh, parents before children, as the add-on
// makes their objects.
std::vector<const Json*> meshNodesInOrder(const Json& glb) {
    std::vector<const Json*> found;
    std::vector<std::size_t> pending;
    const Json& roots = glb["scenes"][glb.value("scene", 0)]["nodes"];
    for (auto root = roots.rbegin(); root != roots.rend(); ++root) pending.push_back(*root);
    while (!pending.empty()) {
        const Json& node = glb["nodes"][pending.back()];
        pending.pop_back();
        if (node.contains("mesh")) found.push_back(&node);
        const Json children = node.value("children", Json::array());
        for (auto child = children.rbegin(); child != children.rend(); ++child) pending.push_back(*child);
    }
    return found;
}

// The collection of a file in a step: its mesh objects are the host's
// meshes in creation order, named as the GLB names them, every corner of
// every triangle the host's with its axes turned to Blender's (x, -z, y),
// the image of each textured material the DDS file's pixels.
void expectCollectionOfTheHostScene(const Json& step, const std::string& collection,
                                    const Converted& converted) {
    SCOPED_TRACE(collection);
    const Json* found = findByName(step["collections"], collection);
    ASSERT_NE(found, nullptr);
    std::vector<const Json*> meshObjects;
    for (const Json& name : (*found)["objects"]) {
        const Json* object = findByName(step["objects"], name);
        ASSERT_NE(object, nullptr) << name;
        if ((*object)["type"] == "MESH") meshObjects.push_back(object);
    }
    std::vector<const Json*> hostMeshes;
    for (const Json& node : converted.host["nodes"]) {
        if (node["type"] == "mesh") hostMeshes.push_back(&node);
    }
    const std::vector<const Json*> meshNodes = meshNodesInOrder(converted.glb);
    ASSERT_EQ(meshObjects.size(), hostMeshes.size());
    ASSERT_EQ(meshNodes.size(), hostMeshes.size());
    for (std::size_t k = 0; k < hostMeshes.size(); ++k) {
        const Json& hostMesh = *hostMeshes[k];
        const Json* object = meshObjects[k];
        SCOPED_TRACE((*object)["name"].get<std::string>());
        const Json& node = *meshNodes[k];
        EXPECT_THAT((*object)["name"], IsNameOrNumbered(node["name"].get<std::string>()));
        const Json& glbMesh = converted.glb["meshes"][node["mesh"].get<std::size_t>()];
        EXPECT_THAT((*object)["mesh"], IsNameOrNumbered(glbMesh["name"].get<std::string>()));
        const Json& glbMaterial = converted.glb["materials"][glbMesh["primitives"][0]["material"].get<std::size_t>()];
        ASSERT_EQ((*object)["materials"].size(), 1u);
        EXPECT_THAT((*object)["materials"][0], IsNameOrNumbered(glbMaterial["name"].get<std::string>()));
        EXPECT_EQ((*object)["uvLayers"], Json::array({"UVMap"}));
        EXPECT_EQ((*object)["customNormals"], true);
        EXPECT_EQ((*object)["selected"], true);

        const Json& mesh = hostMesh["mesh"];
        ASSERT_EQ((*object)["corners"].size(), mesh["polygonConnects"].size());
        EXPECT_EQ(countCornersUnlikeTheHost(mesh, (*object)["corners"], zUp, {kNormalTolerance, kUvTolerance}), 0u);

        const Json* material = findByName(step["materials"], (*object)["materials"][0]);
        ASSERT_NE(material, nullptr);
        const std::optional<std::string> dds = ddsOfMesh(converted.host, hostMesh["name"]);
        if (!dds) {
            EXPECT_TRUE((*material)["images"].empty());
            EXPECT_EQ((*material)["baseColor"], Json::array({0.5, 0.5, 0.5, 1.0}));
            continue;
        }
        ASSERT_EQ((*material)["images"].size(), 1u);
        const Json* image = findByName(step["images"], (*material)["images"][0]);
        ASSERT_NE(image, nullptr);
        EXPECT_EQ((*image)["packed"], true);
        EXPECT_EQ((*image)["rgba"].get<std::vector<int>>(), decodedPixels(*dds));
    }
}

// The manifest that Blender 4.2 and later install the zip as an extension
// by, as their schema checks it: the keys it requires, the add-on's module
// name as the id, short texts without a closing stop, the zip's platform.
void expectExtensionManifest(const Json& manifest) {
    for (const char* key : {"schema_version", "id", "version", "name", "tagline", "maintainer", "type", "license",
                            "blender_version_min"}) {
        EXPECT_TRUE(manifest.contains(key)) << key;
    }
    EXPECT_EQ(manifest["id"], "orvex_import");
    EXPECT_EQ(manifest["type"], "add-on");
    EXPECT_EQ(manifest["version"], ORVEX_VERSION);
    EXPECT_EQ(manifest["blender_version_min"], "4.2.0");
    EXPECT_EQ(manifest["platforms"], Json::array({"linux-x64"}));
    for (const std::string text : {manifest["tagline"], manifest["permissions"]["files"]}) {
        EXPECT_LE(text.size(), 64u) << text;
        EXPECT_TRUE(std::isalnum(static_cast<unsigned char>(text.back()))) << text;
    }
}

std::vector<std::string> collectionNames(const Json& step) {
    std::vector<std::string> names;
    for (const Json& collection : step["collections"]) names.push_back(collection["name"]);
    return names;
}

TEST_F(BlenderAddonTest, InstallsFromItsZipAndImportsSeveralFilesIntoACollectionEachAsTheHostHoldsThem) {
    const fs::path yard = model("yard.model"), pieces = model("pieces.MODEL");
    const Json result = session(Json::array({{{"files", {yard.string(), pieces.string()}}, {"undo", true}}}));
    ASSERT_TRUE(result.contains("steps"));

    const Json& install = result["install"];
    EXPECT_EQ(install["converterSetting"], "");
    EXPECT_EQ(install["converterInUse"], install["bundledConverter"]);
    EXPECT_EQ(fs::path(install["bundledConverter"].get<std::string>()).parent_path().parent_path(),
              fs::path(install["folder"].get<std::string>()));
    EXPECT_EQ(install["version"], "orvex-import " ORVEX_VERSION);
    // Blender unpacks the zip without the program's permission bits; the
    // add-on gives them back.
    EXPECT_EQ(install["converterExecutableAfterImports"], true);
    expectExtensionManifest(install["manifest"]);

    const Json& step = result["steps"][0];
    EXPECT_TRUE(step["error"].is_null()) << step["error"];
    EXPECT_EQ(collectionNames(step), (std::vector<std::string>{"yard", "pieces"}));
    EXPECT_TRUE(step["looseObjects"].empty());
    expectCollectionOfTheHostScene(step, "yard", convert(yard));
    expectCollectionOfTheHostScene(step, "pieces", convert(pieces));
    // The program's warning for the missing texture, naming the file.
    EXPECT_THAT(log_, ::testing::HasSubstr("Warning: " + pieces.string() + ": texture "));
    // One undo step takes back every file of the import, and one redo
    // brings them all back.
    EXPECT_EQ(step["undo"]["undone"], step["undo"]["before"]);
    EXPECT_EQ(step["undo"]["redone"], step["counts"]);

    // On Blender 3.4 there are no file handlers, and none is registered.
    const Json& registered = result["registered"];
    EXPECT_EQ(registered["operators"].size(), 2u);
    EXPECT_EQ(registered["menuEntries"].size(), 1u);
    EXPECT_EQ(registered["fileHandler"], registered["fileHandlerApi"]);
    const Json& disabled = result["disabled"];
    EXPECT_EQ(disabled["enabled"], false);
    EXPECT_TRUE(disabled["operators"].empty());
    EXPECT_TRUE(disabled["classes"].empty());
    EXPECT_TRUE(disabled["menuEntries"].empty());
    EXPECT_EQ(disabled["fileHandler"], false);
}

TEST_F(BlenderAddonTest, ImportsEveryModelFileInAFolderTree) {
    const Json result = session(Json::array({{{"folder", model("props").string()}}}));
    ASSERT_TRUE(result.contains("steps"));
    const Json& step = result["steps"][0];
    EXPECT_TRUE(step["error"].is_null()) << step["error"];
    // The folder's own files, then its folders', in any letter case; the
    // text file is no model.
    EXPECT_EQ(collectionNames(step), (std::vector<std::string>{"flawed", "Crate"}));
    expectCollectionOfTheHostScene(step, "Crate", convert(model("props/deeper/Crate.MODEL")));
}

TEST_F(BlenderAddonTest, ReportsAFileThatFailsInOneLineAndImportsTheOthersWithNothingOfIt) {
    const fs::path yard = model("yard.model"), bad = model("bad.model"), pieces = model("pieces.MODEL");
    const Outcome refused = run({bad.string(), "-o", out("bad.glb").string()});
    ASSERT_EQ(refused.status, 1);
    const std::string reason = refused.err.substr(std::string("orvex-import: ").size());

    const Json result = session(Json::array({{{"files", {yard.string(), bad.string(), pieces.string()}}}}));
    ASSERT_TRUE(result.contains("steps"));
    const Json& step = result["steps"][0];
    EXPECT_EQ(step["error"], "Error: " + reason);
    EXPECT_EQ(collectionNames(step), (std::vector<std::string>{"yard", "pieces"}));
    const Converted yardScene = convert(yard), piecesScene = convert(pieces);
    expectCollectionOfTheHostScene(step, "yard", yardScene);
    expectCollectionOfTheHostScene(step, "pieces", piecesScene);
    EXPECT_EQ(step["counts"]["objects"], yardScene.glb["nodes"].size() + piecesScene.glb["nodes"].size());
    EXPECT_EQ(step["counts"]["meshes"], yardScene.glb["meshes"].size() + piecesScene.glb["meshes"].size());
    EXPECT_EQ(step["counts"]["materials"],
              yardScene.glb["materials"].size() + piecesScene.glb["materials"].size());
    EXPECT_EQ(step["counts"]["images"], yardScene.glb["images"].size() + piecesScene.glb["images"].size());
    EXPECT_EQ(step["counts"]["collections"], 2);
}

// Two objects built from the same GLB, by the add-on and by the glTF
// importer: the same names, data, placement and materials.
void expectSameObject(const Json& mine, const Json& theirs) {
    SCOPED_TRACE(mine["name"].get<std::string>());
    // Empties, such as the model's root, hold no mesh data.
    for (const char* key :
         {"type", "parent", "properties", "mesh", "uvLayers", "materials", "vertices", "polygons", "customNormals"}) {
        EXPECT_EQ(mine.value(key, Json()), theirs.value(key, Json())) << key;
    }
    for (std::size_t i = 0; i < 16; ++i) {
        EXPECT_NEAR(mine["matrix"][i].get<double>(), theirs["matrix"][i].get<double>(), kMatrixTolerance);
    }
    if (mine["type"] != "MESH") return;
    ASSERT_EQ(mine["corners"].size(), theirs["corners"].size());
    std::size_t wrong = 0;
    for (std::size_t i = 0; i < mine["corners"].size(); ++i) {
        for (std::size_t c = 0; c < 8; ++c) {
            // The glTF importer shades flat the triangles whose corner
            // normals are all their face's; Blender then takes the face's.
            const double tolerance = c >= 3 && c < 6 ? kNormalTolerance : 0.0;
            if (std::abs(mine["corners"][i][c].get<double>() - theirs["corners"][i][c].get<double>()) > tolerance &&
                wrong++ == 0) {
                ADD_FAILURE() << "corner " << i << " value " << c << ": " << mine["corners"][i][c] << " against "
                              << theirs["corners"][i][c];
            }
        }
    }
    EXPECT_EQ(wrong, 0u);
}

TEST_F(BlenderAddonTest, BuildsWhatBlendersGltfImporterBuildsFromTheProgramsGlb) {
    const std::vector<fs::path> models = {model("yard.model"), model("pieces.MODEL"), model("props/flawed.model")};
    Json steps = Json::array();
    for (const fs::path& path : models) {
        steps.push_back({{"files", {path.string()}}});
        steps.push_back({{"gltf", convert(path).glbPath.string()}});
    }
    const Json result = session(steps);
    ASSERT_TRUE(result.contains("steps"));
    for (std::size_t m = 0; m < models.size(); ++m) {
        SCOPED_TRACE(models[m].string());
        const Json& mine = result["steps"][2 * m];
        const Json& theirs = result["steps"][2 * m + 1];
        EXPECT_TRUE(mine["error"].is_null()) << mine["error"];
        EXPECT_TRUE(theirs["error"].is_null()) << theirs["error"];
        ASSERT_EQ(mine["objects"].size(), theirs["objects"].size());
        for (const Json& object : mine["objects"]) {
            const Json* other = findByName(theirs["objects"], object["name"]);
            ASSERT_NE(other, nullptr) << object["name"];
            expectSameObject(object, *other);
        }
        EXPECT_EQ(mine["materials"], theirs["materials"]);
        EXPECT_EQ(mine["images"], theirs["images"]);
    }
    // What validate() takes out: the triangle naming a vertex twice and the
    // repeated one; the vertex only it used stays, the one no triangle used
    // goes.
    const Json& flawedObjects = result["steps"][4]["objects"];
    const auto flawed = std::find_if(flawedObjects.begin(), flawedObjects.end(),
                                     [](const Json& object) { return object["type"] == "MESH"; });
    ASSERT_NE(flawed, flawedObjects.end());
    EXPECT_EQ((*flawed)["polygons"], Json::parse("[[0, 1, 2], [1, 4, 2]]"));
    EXPECT_EQ((*flawed)["vertices"].size(), 5u);
}

TEST_F(BlenderAddonTest, PassesItsPythonUnitTestsInBlender) {
    const std::string command = "blender -b --factory-startup --python-exit-code 1 --python " +
                                quoted(ORVEX_ADDON_UNITS) + " -- " + quoted(ORVEX_SOURCE_DIR "/blender") + " >" +
                                quoted((scratch_ / "units.log").string()) + " 2>&1";
    EXPECT_EQ(std::system(command.c_str()), 0) << readText(scratch_ / "units.log");
}

}  // namespace
