#include "writers/SceneWriter.h"

#include "writers/AtomicFile.h"
#include "writers/Companion.h"
#include "writers/Parallel.h"

#include "tests/writers/FbxReader.h"
#include "tests/writers/TestSupport.h"

#include <maya/MDGModifier.h>
#include <maya/MFloatArray.h>
#include <maya/MFloatPointArray.h>
#include <maya/MFnDagNode.h>
#include <maya/MFnDependencyNode.h>
#include <maya/MFnMesh.h>
#include <maya/MGlobal.h>
#include <maya/MIntArray.h>
#include <maya/MSelectionList.h>
#include <maya/MVectorArray.h>
#include <standin/Scene.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <tiny_gltf.h>
#include <nlohmann/json.hpp>

#include <chrono>
#include <cstdlib>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <tuple>

namespace orvex::writers {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using testing::readFile;
using ::testing::StartsWith;
using testing::TempDirectory;
using ::testing::UnorderedElementsAre;
using Vec3 = std::array<float, 3>;

// --- Scenes built through the host API, as the importer builds them.

std::string run(const std::string& command) {
    MString result;
    EXPECT_EQ(MGlobal::executeCommand(command.c_str(), result), MStatus::kSuccess) << command;
    return result.asChar();
}

MObject nodeNamed(const std::string& name) {
    MSelectionList list;
    list.add(name.c_str());
    MObject node;
    list.getDependNode(0, node);
    return node;
}

void connect(const std::string& source, const std::string& destination) {
    auto plug = [](const std::string& name) {
        const std::string::size_type dot = name.find('.');
        MObject node = nodeNamed(name.substr(0, dot));
        return MFnDependencyNode(node).findPlug(name.substr(dot + 1).c_str());
    };
    MDGModifier modifier;
    modifier.connect(plug(source), plug(destination));
    modifier.doIt();
}

struct MeshSpec {
    std::vector<Vec3> points;
    std::vector<int> counts;
    std::vector<int> connects;
    std::vector<Vec3> normals;  // none set when empty
};

// UV k, for vertex k: binary fractions, so that 1 - v is exact.
float uOf(std::size_t k) {
    return 0.125f * float(k);
}
float vOf(std::size_t k) {
    return 0.25f + 0.125f * float(k);
}

// Returns the new transform's name.
std::string addMesh(const MeshSpec& spec) {
    const unsigned int n = unsigned(spec.points.size());
    MFloatPointArray points(n);
    MFloatArray u(n);
    MFloatArray v(n);
    for (unsigned int k = 0; k < n; ++k) {
        points.set(k, spec.points[k][0], spec.points[k][1], spec.points[k][2]);
        u[k] = uOf(k);
        v[k] = vOf(k);
    }
    const MIntArray counts(spec.counts.data(), unsigned(spec.counts.size()));
    MIntArray connects(spec.connects.data(), unsigned(spec.connects.size()));
    MFnMesh mesh;
    MStatus status;
    MObject transform = mesh.create(int(n), int(spec.counts.size()), points, counts, connects, u, v,
                                    MObject::kNullObj, &status);
    EXPECT_EQ(status, MStatus::kSuccess);
    const MString map1("map1");
    mesh.assignUVs(counts, connects, &map1);
    if (!spec.normals.empty()) {
        std::vector<int> ids(n);
        for (unsigned int k = 0; k < n; ++k) ids[k] = int(k);
        MIntArray vertexList(ids.data(), n);
        MVectorArray normals(reinterpret_cast<const float(*)[3]>(spec.normals.data()), n);
        mesh.unlockVertexNormals(vertexList);
        mesh.setVertexNormals(normals, vertexList, MSpace::kWorld);
    }
    return MFnDagNode(transform).name().asChar();
}

std::string addFileTexture(const std::string& gamePath) {
    const std::string file = run("shadingNode -asTexture file");
    MObject node = nodeNamed(file);
    MFnDependencyNode(node).findPlug("fileTextureName").setValue(gamePath.c_str());
    return file;
}

// Gives the mesh its own Lambert shader and shading group; returns the shader.
std::string shade(const std::string& transform, const std::string& file) {
    const std::string lambert = run("shadingNode -asShader lambert ");
    const std::string group = run("sets -renderable true -noSurfaceShader true -empty;");
    if (!file.empty()) connect(file + ".outColor", lambert + ".color");
    connect(lambert + ".outColor", group + ".surfaceShader");
    run("sets -e -forceElement " + group + " |" + transform + ";");
    return lambert;
}

std::string gamePathOf(std::string nativePath) {
    for (char& c : nativePath) {
        if (c == '/') c = '\\';
    }
    return nativePath;
}

// The crate texture's image, named by a digest of its bytes. std::regex,
// since googletest's own regular expressions take no character classes on
// Windows.
const char kCrateImagePattern[] = R"(crate\.1024-[0-9a-f]{16}\.png)";
const auto kCrateImage = ::testing::Truly(
    [](const std::string& name) { return std::regex_match(name, std::regex(kCrateImagePattern)); });

// The buffer or materials file of an output named "scene", named by a
// digest of its bytes.
auto sceneCompanion(const char* extension) {
    return ::testing::Truly([extension](const std::string& name) {
        return std::regex_match(name, std::regex(std::string(R"(scene-[0-9a-f]{16}\.)") + extension));
    });
}

const std::vector<std::uint8_t> kTexturePixels = {255, 0, 0,   255, 0,  255, 0,  255,
                                                  0,   0, 255, 128, 10, 20,  30, 0};

const MeshSpec kSquare = {{{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}},
                          {3, 3},
                          {0, 1, 2, 0, 2, 3},
                          {{0, 0, 1}, {0, 0, 1}, {0, 0, 1}, {0, 0, 1}}};
// Vertex 1's normal has no direction, as a zero packed normal gives.
const MeshSpec kTriangle = {
    {{0, 0, 1}, {2, 0, 1}, {0, 3, 1}}, {3}, {0, 1, 2}, {{0, 0, 1}, {0, 0, 0}, {0, 0, 1}}};
const MeshSpec kQuad = {{{0, 0, 0.1f}, {1, 0, 0.1f}, {1, -1, 0.1f}, {0, -1, 0.1f}}, {4}, {0, 1, 2, 3}, {}};
const MeshSpec kPlainTriangle = {
    {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {3}, {0, 1, 2}, {{0, 0, 1}, {0, 0, 1}, {0, 0, 1}}};

class SceneWriterTest : public ::testing::Test {
protected:
    void SetUp() override { standin::newScene(); }

    // Six meshes: a textured square, a triangle sharing its texture, an
    // unshaded quad, a triangle whose texture is missing, one whose texture
    // is of an unsupported kind, and an empty mesh.
    void buildScene() {
        const std::string crate = fTextures.file("crate.1024.dds");
        testing::writeFile(
            crate, testing::ddsFile(2, 2, {testing::kRgbaFlags, 0, 32, {0xFF, 0xFF00, 0xFF0000, 0xFF000000}},
                                    kTexturePixels));
        fUnsupportedPath = fTextures.file("normal.dds");
        testing::writeFile(fUnsupportedPath,
                           testing::ddsFile(4, 4, {testing::kFourCcFlags, testing::fourCc("ATI2"), 0, {}},
                                            std::vector<std::uint8_t>(16)));
        fMissingPath = gamePathOf(fTextures.file("absent.512.dds"));
        fCrateFile = addFileTexture(gamePathOf(crate));
        fTransforms.push_back(addMesh(kSquare));
        fShaders.push_back(shade(fTransforms.back(), fCrateFile));
        fTransforms.push_back(addMesh(kTriangle));
        fShaders.push_back(shade(fTransforms.back(), fCrateFile));
        fTransforms.push_back(addMesh(kQuad));
        fTransforms.push_back(addMesh(kPlainTriangle));
        fShaders.push_back(shade(fTransforms.back(), addFileTexture(fMissingPath)));
        fTransforms.push_back(addMesh(kPlainTriangle));
        fShaders.push_back(shade(fTransforms.back(), addFileTexture(gamePathOf(fUnsupportedPath))));
        fEmptyShape = shapeOf(addMesh({{}, {}, {}, {}}));
    }

    static std::string shapeOf(const std::string& transform) {
        const standin::Scene& scene = standin::currentScene();
        return scene.find(scene.children(scene.findByName(transform)->id).front())->name;
    }

    TempDirectory fTextures;
    TempDirectory fOutput;
    std::vector<std::string> fTransforms;
    std::vector<std::string> fShaders;
    std::string fEmptyShape;
    std::string fCrateFile;
    std::string fMissingPath;
    std::string fUnsupportedPath;
};

// --- Reading the output back.

template <typename T>
std::vector<T> accessorValues(const tinygltf::Model& model, int index) {
    const tinygltf::Accessor& accessor = model.accessors.at(std::size_t(index));
    const tinygltf::BufferView& view = model.bufferViews.at(std::size_t(accessor.bufferView));
    const std::vector<unsigned char>& data = model.buffers.at(std::size_t(view.buffer)).data;
    const std::size_t count = accessor.count * std::size_t(tinygltf::GetNumComponentsInType(accessor.type));
    std::vector<T> values(count);
    std::memcpy(values.data(), data.data() + view.byteOffset + accessor.byteOffset, count * sizeof(T));
    return values;
}

std::vector<float> flat(const std::vector<Vec3>& vectors) {
    std::vector<float> values;
    for (const Vec3& v : vectors) values.insert(values.end(), v.begin(), v.end());
    return values;
}

std::vector<float> flippedUvs(std::size_t count) {
    std::vector<float> values;
    for (std::size_t k = 0; k < count; ++k) values.insert(values.end(), {uOf(k), 1.0f - vOf(k)});
    return values;
}

struct ObjObject {
    std::string name;
    std::size_t vertices = 0;
    std::size_t triangles = 0;
    std::string material;
};

// Objects with their counts. A face that is not a triangle, or whose
// position, UV or normal number lies outside those its object gave, counts
// in badFaces.
std::vector<ObjObject> readObj(const std::string& text, std::size_t& badFaces) {
    const std::string kinds[] = {"v", "vt", "vn"};
    std::map<std::string, unsigned long> given;
    std::map<std::string, unsigned long> before;  // given when the object began
    std::vector<ObjObject> objects;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        std::istringstream words(line);
        std::string keyword;
        words >> keyword;
        ++given[keyword];
        if (keyword == "o") objects.push_back({line.substr(2), 0, 0, {}}), before = given;
        if (objects.empty()) continue;
        if (keyword == "v") ++objects.back().vertices;
        if (keyword == "usemtl") words >> objects.back().material;
        if (keyword != "f") continue;
        std::size_t corners = 0;
        for (std::string corner; words >> corner; ++corners) {
            std::istringstream numbers(corner);
            std::string number;
            for (std::size_t i = 0; std::getline(numbers, number, '/') && i < 3; ++i) {
                if (number.empty()) continue;
                const unsigned long index = std::stoul(number);
                if (index <= before[kinds[i]] || index > given[kinds[i]]) ++badFaces;
            }
        }
        if (corners != 3) ++badFaces;
        ++objects.back().triangles;
    }
    return objects;
}

// Runs the Khronos validator; marks the test skipped where node is missing.
void expectValid(const std::string& path) {
    if (std::system("node --version >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "node is not installed: not validated";
    EXPECT_EQ(std::system(("node '" ORVEX_VALIDATOR_SCRIPT "' '" + path + "'").c_str()), 0) << path;
}

// The name of an FBX object, without the class that follows it.
std::string fbxName(const testing::FbxNode& object) {
    const std::string& name = object.properties.at(1).bytes;
    return name.substr(0, name.find(std::string("\0\1", 2)));
}

// The value properties of the Properties70 entry `name`, or null.
const testing::FbxNode* fbxProperty(const testing::FbxNode& node, const std::string& name) {
    const testing::FbxNode* properties = node.child("Properties70");
    if (properties == nullptr) return nullptr;
    for (const testing::FbxNode* entry : properties->all("P")) {
        if (entry->properties.at(0).bytes == name) return entry;
    }
    return nullptr;
}

const testing::FbxProperty& fbxArray(const testing::FbxNode& node, const std::string& path) {
    const testing::FbxNode* at = &node;
    std::istringstream names(path);
    for (std::string name; std::getline(names, name, '/');) {
        at = at->child(name);
        if (at == nullptr) throw std::runtime_error("no " + path);
    }
    return at->properties.at(0);
}

std::vector<double> widened(const std::vector<float>& values) {
    return std::vector<double>(values.begin(), values.end());
}

// --- Tests.

TEST_F(SceneWriterTest, GltfAndGlbHoldEveryMeshWithItsMaterialAndTexture) {
    buildScene();
    for (const char* name : {"scene.gltf", "scene.glb"}) {
        SCOPED_TRACE(name);
        const std::string path = fOutput.file(name);
        const WriteReport report = writeScene(standin::currentScene(), path);
        EXPECT_THAT(report.warnings,
                    UnorderedElementsAre(
                        // The game's paths, as this system writes them.
                        HasSubstr("texture " + fTextures.file("absent.512.dds") + ": not found"),
                        HasSubstr("texture " + fUnsupportedPath + ": unsupported compression 'ATI2'"),
                        HasSubstr(shapeOf(fTransforms[1]) + ": 1 vertex normals are not unit vectors"),
                        HasSubstr(fEmptyShape + ": no triangles; left out")));

        expectValid(path);
        tinygltf::TinyGLTF loader;
        tinygltf::Model model;
        std::string error;
        std::string warning;
        const bool binary = formatForPath(path) == Format::kGlb;
        ASSERT_TRUE(binary ? loader.LoadBinaryFromFile(&model, &error, &warning, path)
                           : loader.LoadASCIIFromFile(&model, &error, &warning, path))
            << error;
        ASSERT_EQ(model.nodes.size(), 5u);
        ASSERT_EQ(model.meshes.size(), 5u);
        for (std::size_t i = 0; i < 5; ++i) {
            EXPECT_EQ(model.nodes[i].name, fTransforms[i]);
            EXPECT_EQ(model.nodes[i].mesh, int(i));
            EXPECT_EQ(model.meshes[i].name, shapeOf(fTransforms[i]));
        }
        const tinygltf::Primitive& square = model.meshes[0].primitives.at(0);
        EXPECT_EQ(accessorValues<float>(model, square.attributes.at("POSITION")), flat(kSquare.points));
        EXPECT_EQ(accessorValues<float>(model, square.attributes.at("NORMAL")), flat(kSquare.normals));
        EXPECT_EQ(accessorValues<float>(model, square.attributes.at("TEXCOORD_0")), flippedUvs(4));
        EXPECT_THAT(accessorValues<std::uint16_t>(model, square.indices), ElementsAre(0, 1, 2, 0, 2, 3));

        const tinygltf::Primitive& triangle = model.meshes[1].primitives.at(0);
        EXPECT_EQ(accessorValues<float>(model, triangle.attributes.at("NORMAL")),
                  flat({{0, 0, 1}, {0, 0, 1}, {0, 0, 1}}));

        const tinygltf::Primitive& quad = model.meshes[2].primitives.at(0);
        EXPECT_THAT(accessorValues<std::uint16_t>(model, quad.indices), ElementsAre(0, 1, 2, 0, 2, 3));
        EXPECT_EQ(quad.attributes.count("NORMAL"), 0u);

        // Square and triangle share the texture through one file node: one image.
        const int materialOfMesh[] = {0, 1, -1, 2, 3};
        const int textureOfMaterial[] = {0, 0, -1, -1};
        ASSERT_EQ(model.materials.size(), 4u);
        for (std::size_t i = 0; i < 5; ++i)
            EXPECT_EQ(model.meshes[i].primitives.at(0).material, materialOfMesh[i]);
        for (std::size_t i = 0; i < 4; ++i) {
            EXPECT_EQ(model.materials[i].name, fShaders[i]);
            EXPECT_EQ(model.materials[i].pbrMetallicRoughness.baseColorTexture.index, textureOfMaterial[i]);
        }
        ASSERT_EQ(model.images.size(), 1u);
        EXPECT_EQ(model.images[0].width, 2);
        EXPECT_EQ(model.images[0].image,
                  std::vector<unsigned char>(kTexturePixels.begin(), kTexturePixels.end()));
    }
    EXPECT_THAT(fOutput.entries(), ElementsAre(kCrateImage, sceneCompanion("bin"), "scene.glb", "scene.gltf"));
}

TEST_F(SceneWriterTest, GltfAndGlbOfAnEmptySceneAreValid) {
    for (const char* name : {"empty.gltf", "empty.glb"}) {
        const std::string path = fOutput.file(name);
        EXPECT_THAT(writeScene(standin::currentScene(), path).warnings, ElementsAre(HasSubstr("no mesh")));
        expectValid(path);
    }
}

TEST_F(SceneWriterTest, FbxOfAnEmptySceneHoldsNoObjects) {
    const std::string path = fOutput.file("empty.fbx");
    EXPECT_THAT(writeScene(standin::currentScene(), path).warnings, ElementsAre(HasSubstr("no mesh")));
    testing::FbxFile file;
    ASSERT_NO_THROW(file = testing::parseFbx(readFile(path)));
    ASSERT_NE(file.root.child("Objects"), nullptr);
    EXPECT_TRUE(file.root.child("Objects")->children.empty());
    EXPECT_EQ(file.root.child("Definitions")->all("ObjectType").size(), 1u);
}

TEST_F(SceneWriterTest, ObjLoadsBackWithTheSameVerticesAndTriangles) {
    buildScene();
    const std::string path = fOutput.file("scene.obj");
    const WriteReport report = writeScene(standin::currentScene(), path);
    std::size_t badFaces = 0;
    const std::vector<ObjObject> objects = readObj(readFile(path), badFaces);
    EXPECT_EQ(badFaces, 0u);
    ASSERT_EQ(objects.size(), 5u);
    const std::size_t vertices[] = {4, 3, 4, 3, 3};
    const std::size_t triangles[] = {2, 1, 2, 1, 1};
    for (std::size_t i = 0; i < objects.size(); ++i) {
        EXPECT_EQ(objects[i].name, fTransforms[i]);
        EXPECT_EQ(objects[i].vertices, vertices[i]);
        EXPECT_EQ(objects[i].triangles, triangles[i]);
    }
    EXPECT_EQ(objects[0].material, fShaders[0]);
    EXPECT_EQ(objects[2].material, "default");
    ASSERT_EQ(report.files.size(), 3u);
    const std::string mtl = readFile(report.files[1]);
    EXPECT_THAT(readFile(path), StartsWith("# OrvexImp\nmtllib " +
                                          std::filesystem::path(report.files[1]).filename().string() + "\n"));
    EXPECT_TRUE(std::regex_search(
        mtl, std::regex("newmtl " + fShaders[0] + "\nKd 1 1 1\nmap_Kd " + kCrateImagePattern + "\n")))
        << mtl;
    EXPECT_THAT(mtl, HasSubstr("newmtl " + fShaders[2] + "\nKd 0.5 0.5 0.5\n"));
    EXPECT_THAT(fOutput.entries(), ElementsAre(kCrateImage, sceneCompanion("mtl"), "scene.obj"));
}

// Models that use different textures of one name, as models from two games
// may, converted into one folder: neither replaces the other's image, and a
// third model with the first one's image shares its file.
TEST_F(SceneWriterTest, OutputsInOneFolderKeepTheirOwnImagesAndShareIdenticalOnes) {
    const std::vector<std::uint8_t> otherPixels = {0, 255, 0, 255, 9, 9, 9, 255, 1, 2, 3, 4, 200, 100, 50, 25};
    for (const char* format : {"gltf", "obj"}) {
        SCOPED_TRACE(format);
        const TempDirectory output;
        const std::pair<const char*, const std::vector<std::uint8_t>&> models[] = {
            {"first", kTexturePixels}, {"second", otherPixels}, {"third", kTexturePixels}};
        std::vector<std::string> imagesOf;
        std::vector<std::string> companionOf;
        std::filesystem::file_time_type firstImageTime;
        for (const auto& [model, pixels] : models) {
            standin::newScene();
            const TempDirectory textures;
            const std::string crate = textures.file("crate.1024.dds");
            testing::writeFile(
                crate, testing::ddsFile(
                           2, 2, {testing::kRgbaFlags, 0, 32, {0xFF, 0xFF00, 0xFF0000, 0xFF000000}}, pixels));
            shade(addMesh(kSquare), addFileTexture(gamePathOf(crate)));
            const WriteReport report =
                writeScene(standin::currentScene(), output.file(std::string(model) + "." + format));
            ASSERT_EQ(report.files.size(), 3u);
            imagesOf.push_back(std::filesystem::path(report.files[0]).filename().string());
            companionOf.push_back(report.files[1]);
            if (imagesOf.size() == 1) {
                firstImageTime = std::filesystem::last_write_time(report.files[0]);
                // Earlier than anything the other models may write, on any clock.
                std::filesystem::last_write_time(report.files[0], firstImageTime - std::chrono::hours(1));
                firstImageTime = std::filesystem::last_write_time(report.files[0]);
            }
        }
        EXPECT_NE(imagesOf[0], imagesOf[1]);
        EXPECT_EQ(imagesOf[0], imagesOf[2]);
        EXPECT_EQ(firstImageTime, std::filesystem::last_write_time(output.file(imagesOf[0])))
            << "an image that is there is not written again";
        std::size_t images = 0;
        for (const std::string& entry : output.entries()) images += entry.rfind("crate.1024-", 0) == 0;
        EXPECT_EQ(images, 2u);
        if (std::string(format) == "gltf") {
            for (const auto& [model, pixels] : models) {
                tinygltf::Model loaded;
                std::string error;
                std::string warning;
                ASSERT_TRUE(tinygltf::TinyGLTF().LoadASCIIFromFile(&loaded, &error, &warning,
                                                                   output.file(std::string(model) + ".gltf")))
                    << error;
                ASSERT_EQ(loaded.images.size(), 1u);
                EXPECT_EQ(loaded.images[0].image, std::vector<unsigned char>(pixels.begin(), pixels.end()))
                    << model;
            }
        } else {
            EXPECT_THAT(readFile(companionOf[0]), HasSubstr("map_Kd " + imagesOf[0] + "\n"));
            EXPECT_THAT(readFile(companionOf[1]), HasSubstr("map_Kd " + imagesOf[1] + "\n"));
        }
    }
}

// The layout readers through the FBX SDK expect, the host's geometry as it
// is, and one Texture and Video for a file texture node however many
// materials use it; the images beside the file or inside it.
TEST_F(SceneWriterTest, FbxHoldsEveryMeshWithItsMaterialAndTexture) {
    buildScene();
    std::string png;
    std::string image;  // named by its pixels, the same beside the file or inside it
    for (const bool embed : {false, true}) {
        SCOPED_TRACE(embed ? "embedded" : "beside");
        const TempDirectory output;
        const std::string path = output.file("scene.fbx");
        WriteOptions options;
        options.embedTextures = embed;
        EXPECT_EQ(writeScene(standin::currentScene(), path, options).warnings.size(), 4u);
        if (embed) {
            EXPECT_THAT(output.entries(), ElementsAre("scene.fbx"));
        } else {
            ASSERT_THAT(output.entries(), ElementsAre(kCrateImage, "scene.fbx"));
            image = output.entries()[0];
            png = readFile(output.file(image));
        }
        testing::FbxFile file;
        ASSERT_NO_THROW(file = testing::parseFbx(readFile(path)));
        EXPECT_EQ(file.version, 7400u);
        std::vector<std::string> topLevel;
        for (const testing::FbxNode& node : file.root.children) topLevel.push_back(node.name);
        EXPECT_THAT(topLevel,
                    ElementsAre("FBXHeaderExtension", "FileId", "CreationTime", "Creator", "GlobalSettings",
                                "Documents", "References", "Definitions", "Objects", "Connections", "Takes"));
        const testing::FbxNode& settings = *file.root.child("GlobalSettings");
        for (const char* axis : {"UpAxis", "UpAxisSign", "FrontAxisSign", "CoordAxisSign"})
            EXPECT_EQ(fbxProperty(settings, axis)->properties.at(4).integer, 1) << axis;
        EXPECT_EQ(fbxProperty(settings, "FrontAxis")->properties.at(4).integer, 2);
        EXPECT_EQ(fbxProperty(settings, "CoordAxis")->properties.at(4).integer, 0);
        EXPECT_EQ(fbxProperty(settings, "UnitScaleFactor")->properties.at(4).real, 1.0);

        std::map<std::string, std::int64_t> defined;
        for (const testing::FbxNode* type : file.root.child("Definitions")->all("ObjectType"))
            defined[type->properties.at(0).bytes] = type->child("Count")->properties.at(0).integer;
        const std::map<std::string, std::int64_t> expected = {{"GlobalSettings", 1}, {"Model", 5},
                                                              {"Geometry", 5},       {"Material", 4},
                                                              {"Texture", 1},        {"Video", 1}};
        EXPECT_EQ(defined, expected);
        EXPECT_EQ(file.root.child("Definitions")->child("Count")->properties.at(0).integer, 17);

        // Objects by id, named "Class:name" for the connections.
        const testing::FbxNode& objects = *file.root.child("Objects");
        std::map<std::int64_t, std::string> names = {{0, "root"}};
        for (const testing::FbxNode& object : objects.children)
            names[object.properties.at(0).integer] = object.name + ":" + fbxName(object);
        EXPECT_EQ(names.size(), 1u + 16);
        std::set<std::tuple<std::string, std::string, std::string>> connections;
        for (const testing::FbxNode* c : file.root.child("Connections")->all("C")) {
            const std::string property = c->properties.size() > 3 ? c->properties[3].bytes : "";
            connections.insert(
                {names.at(c->properties.at(1).integer), names.at(c->properties.at(2).integer), property});
        }
        std::set<std::tuple<std::string, std::string, std::string>> wanted;
        const int materialOfMesh[] = {0, 1, -1, 2, 3};
        for (std::size_t i = 0; i < 5; ++i) {
            const std::string model = "Model:" + fTransforms[i];
            wanted.insert({model, "root", ""});
            wanted.insert({"Geometry:" + shapeOf(fTransforms[i]), model, ""});
            if (materialOfMesh[i] >= 0)
                wanted.insert({"Material:" + fShaders[std::size_t(materialOfMesh[i])], model, ""});
        }
        const std::string imageStem = image.substr(0, image.size() - 4);
        for (std::size_t i = 0; i < 2; ++i)
            wanted.insert({"Texture:" + imageStem, "Material:" + fShaders[i], "DiffuseColor"});
        wanted.insert({"Video:" + imageStem, "Texture:" + imageStem, ""});
        EXPECT_EQ(connections, wanted);

        const std::vector<const testing::FbxNode*> geometries = objects.all("Geometry");
        ASSERT_EQ(geometries.size(), 5u);
        const testing::FbxNode& square = *geometries[0];
        EXPECT_EQ(fbxArray(square, "Vertices").reals, widened(flat(kSquare.points)));
        EXPECT_THAT(fbxArray(square, "PolygonVertexIndex").integers, ElementsAre(0, 1, -3, 0, 2, -4));
        EXPECT_EQ(fbxArray(square, "LayerElementNormal/Normals").reals, widened(flat(kSquare.normals)));
        EXPECT_EQ(fbxArray(square, "LayerElementNormal/MappingInformationType").bytes, "ByVertice");
        EXPECT_EQ(fbxArray(square, "LayerElementUV/Name").bytes, "map1");
        std::vector<float> uvs;
        for (std::size_t k = 0; k < 4; ++k) uvs.insert(uvs.end(), {uOf(k), vOf(k)});
        EXPECT_EQ(fbxArray(square, "LayerElementUV/UV").reals, widened(uvs));
        EXPECT_THAT(fbxArray(square, "LayerElementUV/UVIndex").integers, ElementsAre(0, 1, 2, 0, 2, 3));
        EXPECT_EQ(fbxArray(square, "LayerElementMaterial/MappingInformationType").bytes, "AllSame");
        EXPECT_EQ(square.child("Layer")->all("LayerElement").size(), 3u);
        // The unshaded quad, as triangles, with neither normals nor material.
        const testing::FbxNode& quad = *geometries[2];
        EXPECT_THAT(fbxArray(quad, "PolygonVertexIndex").integers, ElementsAre(0, 1, -3, 0, 2, -4));
        EXPECT_EQ(quad.child("LayerElementNormal"), nullptr);
        EXPECT_EQ(quad.child("LayerElementMaterial"), nullptr);

        for (const testing::FbxNode* material : objects.all("Material"))
            EXPECT_EQ(material->child("ShadingModel")->properties.at(0).bytes, "lambert");
        const testing::FbxNode& texture = *objects.child("Texture");
        EXPECT_EQ(texture.child("FileName")->properties.at(0).bytes, image);
        EXPECT_EQ(texture.child("RelativeFilename")->properties.at(0).bytes, image);
        const testing::FbxNode* content = objects.child("Video")->child("Content");
        EXPECT_EQ(content != nullptr, embed);
        if (content != nullptr) {
            EXPECT_EQ(content->properties.at(0).bytes, png);
        }
    }
}

TEST_F(SceneWriterTest, JsonHoldsEveryNodeConnectionAndSetMember) {
    buildScene();
    const std::string path = fOutput.file("scene.json");
    EXPECT_THAT(writeScene(standin::currentScene(), path).warnings, IsEmpty());
    const nlohmann::json document = nlohmann::json::parse(readFile(path));
    const standin::Scene& scene = standin::currentScene();
    ASSERT_EQ(document["nodes"].size(), scene.nodes().size());
    for (std::size_t i = 0; i < scene.nodes().size(); ++i) {
        EXPECT_EQ(document["nodes"][i]["name"], scene.nodes()[i].name);
        EXPECT_EQ(document["nodes"][i]["type"], scene.nodes()[i].type);
    }
    auto node = [&](const std::string& name) {
        for (const nlohmann::json& entry : document["nodes"]) {
            if (entry["name"] == name) return entry;
        }
        return nlohmann::json();
    };
    const nlohmann::json quad = node(shapeOf(fTransforms[2]));
    EXPECT_EQ(quad["parent"], fTransforms[2]);
    EXPECT_EQ(quad["mesh"]["points"][0], nlohmann::json({0, 0, 0.1, 1}));
    EXPECT_EQ(quad["mesh"]["polygonCounts"], nlohmann::json({4}));
    EXPECT_EQ(quad["mesh"]["uvSets"][0]["name"], "map1");
    EXPECT_EQ(quad["mesh"]["uvSets"][0]["v"], nlohmann::json({0.25, 0.375, 0.5, 0.625}));
    EXPECT_EQ(quad["mesh"]["uvSets"][0]["uvIds"], nlohmann::json({0, 1, 2, 3}));
    EXPECT_EQ(node(fCrateFile)["values"]["fileTextureName"], gamePathOf(fTextures.file("crate.1024.dds")));
    const nlohmann::json colour = {{"source", fCrateFile + ".outColor"},
                                   {"destination", fShaders[0] + ".color"}};
    EXPECT_EQ(std::count(document["connections"].begin(), document["connections"].end(), colour), 1);
    const standin::NodeId group = scene.setsContaining(scene.findByName(shapeOf(fTransforms[0]))->id).at(0);
    EXPECT_EQ(node(scene.find(group)->name)["members"], nlohmann::json({shapeOf(fTransforms[0])}));
}

// On one thread or several: the textures are decoded and encoded, and the
// arrays deflated, on as many as the process's share of the cores.
TEST_F(SceneWriterTest, SameSceneGivesTheSameBytesAndWarningsOnAnyNumberOfThreads) {
    buildScene();
    for (const char* name : {"scene.gltf", "scene.glb", "scene.obj", "scene.fbx", "scene.json"}) {
        SCOPED_TRACE(name);
        TempDirectory first;
        TempDirectory second;
        setThreadShare(1);
        const WriteReport one = writeScene(standin::currentScene(), first.file(name));
        setThreadShare(4);
        const WriteReport several = writeScene(standin::currentScene(), second.file(name));
        setThreadShare(0);
        EXPECT_EQ(one.warnings, several.warnings);
        ASSERT_EQ(first.entries(), second.entries());
        for (const std::string& entry : first.entries()) {
            EXPECT_EQ(readFile(first.file(entry)), readFile(second.file(entry))) << entry;
        }
    }
}

std::string writeErrorOf(const std::string& path) {
    try {
        writeScene(standin::currentScene(), path);
    } catch (const WriteError& error) {
        return error.what();
    }
    return "no error";
}

TEST_F(SceneWriterTest, FailedWriteNamesTheFileAndLeavesNothingOfTheOutput) {
    buildScene();
    EXPECT_THAT(writeErrorOf(fOutput.file("scene.dae")),
                StartsWith(fOutput.file("scene.dae") + ": unknown output format"));
    // A directory where the buffer should go refuses it after every file
    // was written: a folder takes the buffer's name, learnt from a write
    // elsewhere.
    const TempDirectory elsewhere;
    const auto nameOf = [](const std::string& path) { return std::filesystem::path(path).filename().string(); };
    const std::string buffer = nameOf(writeScene(standin::currentScene(), elsewhere.file("scene.gltf")).files[1]);
    std::filesystem::create_directories(fOutput.file(buffer + "/keep"));
    EXPECT_THAT(writeErrorOf(fOutput.file("scene.gltf")), StartsWith(fOutput.file(buffer) + ": cannot write: "));
    EXPECT_THAT(fOutput.entries(), ElementsAre(buffer));
    // The same for an FBX file whose image cannot be written beside it.
    const std::string image = nameOf(writeScene(standin::currentScene(), elsewhere.file("scene.fbx")).files.front());
    std::filesystem::create_directories(fOutput.file(image + "/keep"));
    EXPECT_THAT(writeErrorOf(fOutput.file("scene.fbx")), StartsWith(fOutput.file(image) + ": cannot write: "));
    EXPECT_THAT(fOutput.entries(), ElementsAre(image, buffer));
}

// An image takes its texture's name, as every file system takes it: other
// characters become "_", and a name that Windows keeps for a device gets a
// "_" after it, so that outputs made elsewhere can be copied there. (Windows
// holds no texture of such a name to begin with.)
TEST_F(SceneWriterTest, NamesImagesAsEveryFileSystemTakesThem) {
    const struct {
        const char* texture;
        const char* image;
    } cases[] = {
#ifndef _WIN32
        {"con.1024.dds", "con_.1024-"}, {"Aux.dds", "Aux_-"}, {"com1.dds", "com1_-"}, {"lpt9.512.dds", "lpt9_.512-"},
#endif
        {"console.dds", "console-"},    {"odd name#.dds", "odd_name_-"}};
    for (const auto& c : cases) {
        const std::string file = fTextures.file(c.texture);
        testing::writeFile(
            file, testing::ddsFile(2, 2, {testing::kRgbaFlags, 0, 32, {0xFF, 0xFF00, 0xFF0000, 0xFF000000}},
                                   kTexturePixels));
        shade(addMesh(kPlainTriangle), addFileTexture(gamePathOf(file)));
    }
    const WriteReport report = writeScene(standin::currentScene(), fOutput.file("scene.gltf"));
    std::vector<std::string> images;
    for (const std::string& path : report.files) {
        const std::string name = std::filesystem::path(path).filename().string();
        if (name.size() > 4 && name.compare(name.size() - 4, 4, ".png") == 0) images.push_back(name);
    }
    ASSERT_EQ(images.size(), std::size(cases));
    for (const auto& c : cases) {
        EXPECT_EQ(std::count_if(images.begin(), images.end(),
                                [&](const std::string& image) { return image.rfind(c.image, 0) == 0; }),
                  1)
            << c.texture;
    }
}

// Two scenes, the second one mesh more: an output written from the first
// and then replaced by the second.
class ReplacementTest : public SceneWriterTest {
protected:
    void buildFirstScene() {
        standin::newScene();
        const std::string crate = fTextures.file("crate.1024.dds");
        testing::writeFile(
            crate, testing::ddsFile(2, 2, {testing::kRgbaFlags, 0, 32, {0xFF, 0xFF00, 0xFF0000, 0xFF000000}},
                                    kTexturePixels));
        shade(addMesh(kSquare), addFileTexture(gamePathOf(crate)));
    }
    static void addSecondMesh() { addMesh(kPlainTriangle); }

    static std::string nameOf(const std::string& path) { return std::filesystem::path(path).filename().string(); }
};

// Writing an output again leaves its new set alone: the companion that the
// old output named goes, and so do one under the name earlier versions gave
// it, one that a stopped write left without its output, and the
// temporaries of the output, its companions and its images. Images stay, as
// other outputs may name them, and so does everything else.
TEST_F(ReplacementTest, WritingAnOutputAgainLeavesOnlyItsNewSet) {
    for (const std::string format : {"gltf", "obj"}) {
        SCOPED_TRACE(format);
        const std::string extension = format == "gltf" ? "bin" : "mtl";
        const TempDirectory output;
        const std::string path = output.file("scene." + format);
        buildFirstScene();
        const WriteReport first = writeScene(standin::currentScene(), path);
        ASSERT_EQ(first.files.size(), 3u);
        // The first set as earlier versions named it.
        const std::string legacy = "scene." + extension;
        std::filesystem::rename(first.files[1], output.file(legacy));
        std::string main = readFile(path);
        main.replace(main.find(nameOf(first.files[1])), nameOf(first.files[1]).size(), legacy);
        testing::writeFile(path, main);
        const std::string image = nameOf(first.files[0]);
        const std::vector<std::string> leftovers = {
            "scene." + format + ".tmp7", legacy + ".tmp0", "scene-0123456789abcdef." + extension,
            "scene-0123456789abcdef." + extension + ".tmp2", image + ".tmp1"};
        const std::vector<std::string> others = {"other-0123456789abcdef." + extension, "scene.glb",
                                                 "notes.txt"};
        for (const std::vector<std::string>& names : {leftovers, others}) {
            for (const std::string& name : names) testing::writeFile(output.file(name), "left");
        }

        addSecondMesh();
        const WriteReport second = writeScene(standin::currentScene(), path);
        ASSERT_EQ(second.files.size(), 3u);
        EXPECT_THAT(companionNamedBy(path), ::testing::Optional(nameOf(second.files[1])));
        std::vector<std::string> expected = others;
        expected.insert(expected.end(), {image, nameOf(second.files[1]), "scene." + format});
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(output.entries(), expected);
    }
}

// An output whose name a URI or a line of OBJ escapes names its companion
// by the escaped name, which is read back as the file's, so that clearing
// leftovers keeps it; and beside it, the companion that an earlier version
// gave an output named as the escapes spell ("a%20b.gltf") stays that one's.
TEST_F(ReplacementTest, KeepsTheCompanionsThatOutputsNameWhateverTheirNames) {
    for (const std::string format : {"gltf", "obj"}) {
        SCOPED_TRACE(format);
        const std::string extension = format == "gltf" ? "bin" : "mtl";
        const TempDirectory output;
        const std::string older = "a%20b-0123456789abcdef." + extension;
        testing::writeFile(output.file(older), "older");
        testing::writeFile(output.file("a%20b." + format),
                           format == "gltf" ? R"({"buffers": [{"uri": "a%2520b-0123456789abcdef.bin"}]})"
                                            : "mtllib " + older + "\n");
        const std::string path = output.file("a b(1)." + format);
        buildFirstScene();
        writeScene(standin::currentScene(), path);
        const std::optional<std::string> companion = companionNamedBy(path);
        ASSERT_TRUE(companion);
        EXPECT_TRUE(std::filesystem::is_regular_file(output.file(*companion))) << *companion;
        removeLeftovers(path, companion, std::nullopt);
        EXPECT_TRUE(std::filesystem::is_regular_file(output.file(*companion))) << *companion;

        writeScene(standin::currentScene(), output.file("a b." + format));
        EXPECT_EQ(readFile(output.file(older)), "older");
    }
}

#ifdef _WIN32
// Windows ignores letter case: "scene.gltf" written over "Scene.gltf" is the
// same output, and the companion that the old one named goes.
TEST_F(ReplacementTest, AnOutputWrittenAgainInOtherLetterCaseLeavesOnlyItsNewSet) {
    for (const std::string format : {"gltf", "obj"}) {
        SCOPED_TRACE(format);
        const TempDirectory output;
        buildFirstScene();
        const WriteReport first = writeScene(standin::currentScene(), output.file("Scene." + format));
        addSecondMesh();
        const WriteReport second = writeScene(standin::currentScene(), output.file("scene." + format));
        EXPECT_FALSE(std::filesystem::exists(first.files[1])) << first.files[1];
        EXPECT_TRUE(std::filesystem::exists(second.files[1])) << second.files[1];
    }
}
#endif

// An image named by its digest that stands damaged, or cut short by a
// writer that died, is written again whole; one that holds its bytes is
// left as it is, as other outputs may be reading it.
TEST_F(ReplacementTest, AnImageThatStandsDamagedIsWrittenAgainWhole) {
    for (const std::string format : {"gltf", "obj", "fbx"}) {
        SCOPED_TRACE(format);
        const TempDirectory output;
        const std::string path = output.file("scene." + format);
        buildFirstScene();
        const std::string image = writeScene(standin::currentScene(), path).files[0];
        const std::string bytes = readFile(image);
        testing::writeFile(image, "");
        writeScene(standin::currentScene(), path);
        EXPECT_EQ(readFile(image), bytes);
    }
}

// Written again from the same scene, the companion keeps its name, and is
// written again whole. A replacement that then fails to put the output in
// place leaves the old output naming that companion, so it has to stay.
TEST_F(ReplacementTest, AFailedReplacementKeepsTheCompanionThatTheOldOutputNames) {
    for (const std::string format : {"gltf", "obj"}) {
        SCOPED_TRACE(format);
        const TempDirectory output;
        const std::string path = output.file("scene." + format);
        buildFirstScene();
        writeScene(standin::currentScene(), path);
        const std::optional<std::string> companion = companionNamedBy(path);
        ASSERT_TRUE(companion);
        const std::string companionBytes = readFile(output.file(*companion));
        // Damaged since, as a file cut short by a full disk would be.
        testing::writeFile(output.file(*companion), companionBytes.substr(0, 10));

        // The rename after the first fails, if there is one.
        setCommitObserver([](std::size_t committed, std::size_t total) {
            if (committed < total) throw WriteError("cannot rename");
        });
        try {
            writeScene(standin::currentScene(), path);
        } catch (const WriteError&) {
        }
        setCommitObserver(nullptr);
        EXPECT_EQ(companionNamedBy(path), companion);
        EXPECT_TRUE(std::filesystem::exists(output.file(*companion)) &&
                    readFile(output.file(*companion)) == companionBytes);
    }
}

// A replacement stopped after any of its renames, as a killed process
// stops, leaves the old set whole: the output, put in place last, still
// names its own companion, which the new one does not replace. Stopped after
// the last, it leaves the new set. Writing it again completes the new set
// and takes the old companion away.
TEST_F(ReplacementTest, AReplacementStoppedAtAnyRenameLeavesTheOldSetWhole) {
    struct Stopped {};
    for (const std::string format : {"gltf", "obj", "fbx"}) {
        SCOPED_TRACE(format);
        std::string finalMain;
        {
            const TempDirectory reference;
            buildFirstScene();
            addSecondMesh();
            writeScene(standin::currentScene(), reference.file("scene." + format));
            finalMain = readFile(reference.file("scene." + format));
        }
        bool finished = false;
        for (std::size_t stopAfter = 1; !finished; ++stopAfter) {
            SCOPED_TRACE(stopAfter);
            const TempDirectory output;
            const std::string path = output.file("scene." + format);
            buildFirstScene();
            writeScene(standin::currentScene(), path);
            const std::string oldMain = readFile(path);
            const std::optional<std::string> oldCompanion = companionNamedBy(path);
            const std::string oldCompanionBytes = oldCompanion ? readFile(output.file(*oldCompanion)) : "";

            addSecondMesh();
            setCommitObserver([&](std::size_t committed, std::size_t) {
                if (committed == stopAfter) throw Stopped{};
            });
            try {
                writeScene(standin::currentScene(), path);
                ADD_FAILURE() << "no rename " << stopAfter;
            } catch (const Stopped&) {
            }
            setCommitObserver(nullptr);
            const std::string main = readFile(path);
            finished = main == finalMain;
            if (finished) {
                const std::optional<std::string> companion = companionNamedBy(path);
                EXPECT_TRUE(!companion || std::filesystem::exists(output.file(*companion)));
                break;
            }
            EXPECT_TRUE(main == oldMain) << "neither the old output nor the new one";
            EXPECT_EQ(companionNamedBy(path), oldCompanion);
            if (oldCompanion) {
                EXPECT_TRUE(readFile(output.file(*oldCompanion)) == oldCompanionBytes) << *oldCompanion;
            }

            writeScene(standin::currentScene(), path);
            EXPECT_TRUE(readFile(path) == finalMain) << "written again, the output is not the new one";
            if (oldCompanion) {
                EXPECT_FALSE(std::filesystem::exists(output.file(*oldCompanion)));
            }
            for (const std::string& entry : output.entries())
                EXPECT_EQ(entry.find(".tmp"), std::string::npos) << entry;
        }
    }
}

}  // namespace
}  // namespace orvex::writers
