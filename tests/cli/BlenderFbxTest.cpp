// FBX and GLB files opened by a real client, Blender's own add-ons run
// headless: the sample and a generated model, converted to FBX with their
// PNG images beside them and inside them, and with the game's DDS files
// beside them, must hold the host scene corner by corner and the DDS files'
// pixels; in both formats, what Blender shows must be named after the model
// file. Blender starts once for each test.

#include "materials/PathExists.h"
#include "modelgen/DdsBuilder.h"
#include "modelgen/ModelBuilder.h"
#include "writers/Dds.h"

#include "tests/cli/HostCorners.h"
#include "tests/cli/ProgramFixture.h"

#include <nlohmann/json.hpp>

#include <gmock/gmock.h>

#include <array>
#include <cmath>
#include <fstream>
#include <map>
#include <tuple>

namespace {

using namespace orvex::testing;
using Json = nlohmann::json;
using orvex::ModelVertex;
using orvex::modelgen::ModelBuilder;

// Positions and UVs go through FBX as doubles made from the host's floats,
// and back into floats: exactly. Blender keeps custom normals in a compact
// form of its own, good to about 1e-4.
constexpr double kNormalTolerance = 2e-3;

// The mesh data Blender reads from our FBX holds the host's own axes.
std::array<double, 3> sameAxes(double x, double y, double z) {
    return {x, y, z};
}

std::uint32_t packedNormal(int x, int y, int z) {
    return std::uint32_t(x) << 16 | std::uint32_t(y) << 8 | std::uint32_t(z);
}

// Two meshes: a fan of four triangles with slanted normals and a texture
// whose every pixel differs, and a triangle whose texture is missing, whose
// second name holds a byte that is no UTF-8.
void writeGeneratedContent(const fs::path& content) {
    fs::create_directories(content / "meshes");
    fs::create_directories(content / "textures");
    orvex::modelgen::RgbaImage tile{4, 2, {}};
    for (int i = 0; i < 4 * 2 * 4; ++i) tile.rgba.push_back(std::uint8_t(i * 37 % 256));
    for (int i = 3; i < 4 * 2 * 4; i += 4) tile.rgba[std::size_t(i)] = 255;
    orvex::modelgen::writeFile((content / "textures" / "tile.1024.dds").string(),
                               orvex::modelgen::buildDds(tile, orvex::modelgen::DdsFormat::Rgba32));
    std::vector<ModelVertex> fan(5);
    const float xs[] = {0, 1, 0.5f, -0.5f, -1};
    const float zs[] = {0, 0.25f, 1, 1, 0.25f};
    for (std::size_t k = 0; k < fan.size(); ++k) {
        fan[k].x = xs[k];
        fan[k].y = 0.125f * float(k);
        fan[k].z = zs[k];
        fan[k].normal = packedNormal(40 + 30 * int(k), 200, 90);
        fan[k].u = 0.2f * float(k);
        fan[k].v = 0.9f - 0.15f * float(k);
    }
    std::vector<ModelVertex> lone(3);
    lone[1].x = 2;
    lone[2].y = 3;
    for (ModelVertex& vertex : lone) vertex.normal = packedNormal(128, 255, 128);
    ModelBuilder model;
    model.beginMeshList()
        .mesh(std::string("tile\0fan top\0lod0", 17), fan, {0, 1, 2, 0, 2, 3, 0, 3, 4, 4, 3, 1})
        .mesh(std::string("props\\absent") + '\0' + "caf\xE9" + '\0', lone, {0, 1, 2})
        .endMeshList();
    orvex::modelgen::writeFile((content / "meshes" / "pieces.model").string(), model.bytes());
}

const Json* findByName(const Json& list, const std::string& name) {
    for (const Json& entry : list) {
        if (entry["name"] == name) return &entry;
    }
    return nullptr;
}

// The name the outputs give the host mesh shape, from the scene JSON.
std::string outputNameOf(const Json& host, const std::string& shape) {
    for (const Json& mesh : host["model"]["meshes"]) {
        if (mesh["shape"] == shape) return mesh["name"];
    }
    return {};
}

std::size_t countOfType(const Json& objects, const std::string& type) {
    std::size_t count = 0;
    for (const Json& object : objects) count += object["type"] == type;
    return count;
}

// Every corner of every host mesh against the loop Blender made of it.
void expectCornersOfTheHostScene(const Json& host, const Json& blender) {
    std::size_t meshes = 0;
    for (const Json& node : host["nodes"]) {
        if (node["type"] != "mesh") continue;
        ++meshes;
        const std::string name = outputNameOf(host, node["name"]);
        SCOPED_TRACE(name);
        const Json* object = findByName(blender["objects"], name);
        ASSERT_NE(object, nullptr);
        EXPECT_EQ((*object)["mesh"], name);
        EXPECT_EQ((*object)["parent"], host["model"]["name"]);
        EXPECT_EQ((*object)["uvLayers"], Json::array({"map1"}));
        const Json& mesh = node["mesh"];
        ASSERT_EQ((*object)["corners"].size(), mesh["polygonConnects"].size());
        EXPECT_EQ(countCornersUnlikeTheHost(mesh, (*object)["corners"], sameAxes, {kNormalTolerance, 0.0}), 0u);
    }
    EXPECT_EQ(countOfType(blender["objects"], "MESH"), meshes);
}

// The node whose attribute feeds `into` ("node.attribute"), from the scene
// JSON's connections; empty for none.
std::string sourceNodeOf(const Json& host, const std::string& into) {
    for (const Json& connection : host["connections"]) {
        if (connection["destination"] != into) continue;
        const std::string source = connection["source"];
        return source.substr(0, source.find('.'));
    }
    return {};
}

// The file texture node that a mesh shows: its shading group's shader's
// colour source; empty for none.
std::string fileNodeOf(const Json& host, const std::string& shape, const std::string& transform) {
    for (const Json& node : host["nodes"]) {
        if (node["type"] != "shadingEngine") continue;
        const Json& members = node["members"];
        const auto member = [&](const std::string& name) {
            return std::find(members.begin(), members.end(), name) != members.end() ||
                   std::find(members.begin(), members.end(), "|" + name) != members.end();
        };
        if (!member(shape) && !member(transform)) continue;
        const std::string shader = sourceNodeOf(host, node["name"].get<std::string>() + ".surfaceShader");
        if (!shader.empty()) return sourceNodeOf(host, shader + ".color");
    }
    return {};
}

// How the images go with an FBX file.
enum class Images { kPngBeside, kPngInside, kDdsBeside };

// The file texture of each host mesh, decoded from its DDS file, against
// every image of the material Blender gives the mesh; none where the file
// is missing. DDS files beside the output are the game's, unchanged.
void expectImagesOfTheDdsFiles(const Json& host, const Json& blender, Images images) {
    const bool embedded = images == Images::kPngInside;
    std::size_t textured = 0;
    for (const Json& node : host["nodes"]) {
        if (node["type"] != "mesh") continue;
        const Json* object = findByName(blender["objects"], outputNameOf(host, node["name"]));
        ASSERT_NE(object, nullptr);
        ASSERT_EQ((*object)["materials"].size(), 1u);
        const Json* material = findByName(blender["materials"], (*object)["materials"][0]);
        ASSERT_NE(material, nullptr);
        SCOPED_TRACE((*material)["name"].get<std::string>());
        const Json* file = findByName(host["nodes"], fileNodeOf(host, node["name"], node["parent"]));
        const std::optional<std::string> dds =
            file != nullptr ? orvex::findExistingPath((*file)["values"]["fileTextureName"]) : std::nullopt;
        if (!dds) {
            EXPECT_TRUE((*material)["images"].empty());
            continue;
        }
        ++textured;
        std::ifstream in(*dds, std::ios::binary);
        const std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(in), {}};
        std::string whyNot;
        const std::optional<orvex::writers::Image> decoded = orvex::writers::decodeDds(bytes, whyNot);
        ASSERT_TRUE(decoded) << whyNot;
        ASSERT_FALSE((*material)["images"].empty());
        for (const Json& name : (*material)["images"]) {
            const Json* image = findByName(blender["images"], name);
            ASSERT_NE(image, nullptr) << name;
            EXPECT_EQ((*image)["packed"], embedded) << name;
            if (!embedded) {
                const fs::path beside = (*image)["file"].get<std::string>();
                EXPECT_TRUE(fs::exists(beside)) << name;
                EXPECT_EQ(beside.extension(), images == Images::kDdsBeside ? ".dds" : ".png") << name;
                if (images == Images::kDdsBeside) {
                    std::ifstream copied(beside, std::ios::binary);
                    EXPECT_TRUE(std::vector<std::uint8_t>(std::istreambuf_iterator<char>(copied), {}) == bytes)
                        << name;
                }
            }
            EXPECT_EQ((*image)["width"], decoded->width) << name;
            EXPECT_EQ((*image)["height"], decoded->height) << name;
            EXPECT_EQ((*image)["rgba"].get<std::vector<int>>(),
                      std::vector<int>(decoded->rgba.begin(), decoded->rgba.end()))
                << name;
        }
    }
    EXPECT_GT(textured, 0u);
}

class BlenderFbxTest : public ProgramTest {
protected:
    void SetUp() override {
        ProgramTest::SetUp();
        if (std::system("command -v blender >/dev/null 2>&1") != 0)
            GTEST_SKIP() << "blender is not installed: the files were not opened in Blender";
    }

    // What Blender holds after importing each file, in order.
    Json importInBlender(const std::vector<fs::path>& files) const {
        std::string command = "blender -b --factory-startup --python-exit-code 1 --python " +
                              quoted(ORVEX_BLENDER_SCRIPT) + " -- " + quoted((scratch_ / "blender.json").string());
        for (const fs::path& file : files) command += " " + quoted(file.string());
        command += " >" + quoted((scratch_ / "blender.log").string()) + " 2>&1";
        if (std::system(command.c_str()) != 0) {
            ADD_FAILURE() << readText(scratch_ / "blender.log");
            return Json::array();
        }
        return Json::parse(readText(scratch_ / "blender.json"));
    }
};

TEST_F(BlenderFbxTest, BlenderHoldsTheHostCornersAndTheDdsPixelsWithImagesBesideOrInsideOrTheDdsFiles) {
    const fs::path content = scratch_ / "game" / "content";
    writeGeneratedContent(content);
    const fs::path models[] = {kSample, content / "meshes" / "pieces.model"};

    struct Converted {
        fs::path fbx;
        Json host;
        Images images;
    };
    std::vector<Converted> converted;
    std::vector<fs::path> files;
    for (const fs::path& model : models) {
        const std::string name = model.stem().string();
        ASSERT_EQ(run({model.string(), "-o", out(name + ".json").string()}).status, 0) << name;
        const Json host = Json::parse(readText(out(name + ".json")));
        for (const auto& [images, folder, option] :
             {std::tuple{Images::kPngBeside, "beside", std::vector<std::string>{}},
              std::tuple{Images::kPngInside, "inside", std::vector<std::string>{"--embed-textures"}},
              std::tuple{Images::kDdsBeside, "dds", std::vector<std::string>{"--textures", "dds"}}}) {
            const fs::path fbx = out(std::string(folder) + "/" + name + ".fbx");
            fs::create_directories(fbx.parent_path());
            std::vector<std::string> arguments = {model.string(), "-o", fbx.string()};
            arguments.insert(arguments.end(), option.begin(), option.end());
            const Outcome result = run(arguments);
            ASSERT_EQ(result.status, 0) << result.err;
            converted.push_back({fbx, host, images});
            files.push_back(fbx);
        }
    }
    EXPECT_EQ(filesUnder(out("inside")), (std::vector<fs::path>{"pieces.fbx", "yard.fbx"}));

    const Json blender = importInBlender(files);
    ASSERT_EQ(blender.size(), converted.size());
    for (std::size_t i = 0; i < converted.size(); ++i) {
        SCOPED_TRACE(converted[i].fbx.string());
        expectCornersOfTheHostScene(converted[i].host, blender[i]);
        expectImagesOfTheDdsFiles(converted[i].host, blender[i], converted[i].images);
    }
}

// One parent named after the model file, mesh objects named after the file
// and their positions in it, materials after their textures, and the file's
// names of each mesh as custom properties, a byte that is no UTF-8 escaped.
TEST_F(BlenderFbxTest, BlenderShowsTheNamesFromTheModelFileInGlbAndFbx) {
    const fs::path content = scratch_ / "game" / "content";
    writeGeneratedContent(content);
    const fs::path model = content / "meshes" / "pieces.model";
    std::vector<fs::path> files;
    for (const char* name : {"pieces.glb", "pieces.fbx"}) {
        ASSERT_EQ(run({model.string(), "-o", out(name).string()}).status, 0) << name;
        files.push_back(out(name));
    }
    const Json blender = importInBlender(files);
    ASSERT_EQ(blender.size(), files.size());
    for (std::size_t i = 0; i < files.size(); ++i) {
        SCOPED_TRACE(files[i].string());
        const Json& objects = blender[i]["objects"];
        const Json* root = findByName(objects, "pieces");
        ASSERT_NE(root, nullptr);
        EXPECT_EQ((*root)["type"], "EMPTY");
        EXPECT_EQ((*root)["parent"], nullptr);
        const struct {
            const char* object;
            const char* material;
            Json properties;
        } meshes[] = {
            {"pieces.0 tile", "tile", {{"modelName1", "tile"}, {"modelName2", "fan top"}, {"modelName3", "lod0"}}},
            {"pieces.1 absent", "absent",
             {{"modelName1", "props\\absent"}, {"modelName2", "caf%E9"}, {"modelName3", ""}}},
        };
        for (const auto& expected : meshes) {
            const Json* object = findByName(objects, expected.object);
            ASSERT_NE(object, nullptr) << expected.object;
            EXPECT_EQ((*object)["type"], "MESH");
            EXPECT_EQ((*object)["parent"], "pieces");
            EXPECT_EQ((*object)["materials"], Json::array({expected.material}));
            for (const auto& [key, value] : expected.properties.items())
                EXPECT_EQ((*object)["properties"][key], value) << expected.object << " " << key;
        }
        EXPECT_EQ(objects.size(), 3u);
    }
}

}  // namespace
