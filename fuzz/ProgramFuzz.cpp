// The program's own work on any bytes, in one process: the inspection as
// text and as JSON, then the import through the translator's read operation
// and a conversion to every output format into a folder in memory. Nothing
// may throw out of it, every JSON it prints or writes must parse, and so
// must the FBX file's records. Textures named as the sample's sit under the
// input's content folder, so that inputs naming them take the image paths
// too.

#include "cli/Convert.h"
#include "cli/Inspect.h"
#include "fuzz/FuzzSupport.h"
#include "fuzz/SampleTextures.h"
#include "fuzz/SceneOfOneRun.h"
#include "host/OrvexModelImport.h"
#include "modelgen/ModelBuilder.h"
#include "tests/writers/FbxReader.h"

#include <maya/MFileObject.h>
#include <standin/Scene.h>

#include <nlohmann/json.hpp>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

namespace {

namespace fs = std::filesystem;
using orvex::fuzz::require;

const orvex::fuzz::InputFile input;

// Beside the input, as the program's outputs would be beside any file.
const fs::path outputs = [] {
    const fs::path content = fs::path(input.path()).parent_path();
    orvex::fuzz::writeSampleTextures(content / "textures");
    fs::create_directories(content / "out");
    return content / "out";
}();

bool parses(const std::string& text) {
    return nlohmann::json::accept(text);
}

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void inspect(const std::string& path) {
    std::ostringstream text, json;
    require(orvex::cli::inspectModel(path, false, text), "the inspection reads the file");
    require(orvex::cli::inspectModel(path, true, json), "the JSON inspection reads the file");
    require(parses(json.str()), "the inspection's JSON parses");
}

void convert(const std::string& path) {
    const orvex::fuzz::SceneOfOneRun scene;
    MFileObject file;
    file.setRawFullName(path.c_str());
    if (orvex::OrvexModelImport().reader(file, "", MPxFileTranslator::kImportAccessMode) != MStatus::kSuccess)
        return;
    orvex::render::RenderOptions preview;
    preview.width = 32;
    preview.height = 24;
    std::vector<std::string> warnings;
    orvex::writers::SceneView view(standin::currentScene(), orvex::cli::readSourceModel(path, warnings));
    for (const char* name : {"scene.gltf", "scene.glb", "scene.obj", "scene.fbx", "scene.json", "scene.png"}) {
        orvex::cli::writeImportedScene(view, (outputs / name).string(), preview);
    }
    require(parses(readFile(outputs / "scene.json")), "the scene JSON parses");
    require(parses(readFile(outputs / "scene.gltf")), "the glTF JSON parses");
    bool fbxParses = true;
    try {
        orvex::writers::testing::parseFbx(readFile(outputs / "scene.fbx"));
    } catch (const std::exception&) {
        fbxParses = false;
    }
    require(fbxParses, "the FBX file's records parse");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string& path = input.write(data, size);
    inspect(path);
    convert(path);
    return 0;
}
