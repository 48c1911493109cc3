#include "writers/Ascii.h"
#include "writers/AtomicFile.h"
#include "writers/Formats.h"
#include "writers/WriteError.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstring>
#include <limits>

namespace orvex::writers {

namespace {

using Json = nlohmann::ordered_json;

constexpr int kFloat = 5126;
constexpr int kUnsignedShort = 5123;
constexpr int kUnsignedInt = 5125;
constexpr int kArrayBuffer = 34962;
constexpr int kElementArrayBuffer = 34963;
constexpr int kLinear = 9729;
constexpr int kLinearMipmapLinear = 9987;
constexpr int kRepeat = 10497;
constexpr std::uint32_t kGlbMagic = 0x46546C67;  // "glTF"
constexpr std::uint32_t kGlbVersion = 2;
constexpr std::uint32_t kJsonChunk = 0x4E4F534A;  // "JSON"
constexpr std::uint32_t kBinChunk = 0x004E4942;   // "BIN\0"
// The host's default Lambert colour, for a shader without a texture: the
// scene keeps no colour values of its own.
constexpr float kUntexturedGrey = 0.5f;

void appendU32(std::string& bytes, std::uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8) bytes += char((value >> shift) & 0xFF);
}

void appendFloat(std::string& bytes, float value) {
    std::uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    appendU32(bytes, bits);
}

// Percent-encodes everything but the characters a URI takes as they are.
std::string uriOf(const std::string& name) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string uri;
    for (const char c : name) {
        if (isAsciiAlphanumeric(c) || c == '-' || c == '.' || c == '_' || c == '~') {
            uri += c;
        } else {
            uri += '%';
            const auto byte = static_cast<unsigned char>(c);
            uri += kHex[byte >> 4];
            uri += kHex[byte & 0xF];
        }
    }
    return uri;
}

// The binary buffer and the glTF objects that point into it.
class Buffer {
public:
    std::size_t addView(const std::string& data, std::optional<int> target) {
        // Every accessor's components, at most four bytes wide, stay aligned.
        fBytes.append((4 - fBytes.size() % 4) % 4, '\0');
        Json view = {{"buffer", 0}, {"byteOffset", fBytes.size()}, {"byteLength", data.size()}};
        if (target) view["target"] = *target;
        fBytes += data;
        fViews.push_back(std::move(view));
        return fViews.size() - 1;
    }

    std::size_t addAccessor(Json accessor) {
        fAccessors.push_back(std::move(accessor));
        return fAccessors.size() - 1;
    }

    const std::string& bytes() const { return fBytes; }
    const Json& views() const { return fViews; }
    const Json& accessors() const { return fAccessors; }

private:
    std::string fBytes;
    Json fViews = Json::array();
    Json fAccessors = Json::array();
};

template <std::size_t N>
std::size_t addFloatAccessor(Buffer& buffer, const std::vector<std::array<float, N>>& values,
                             bool withBounds) {
    std::string data;
    for (const std::array<float, N>& value : values) {
        for (const float component : value) appendFloat(data, component);
    }
    Json accessor = {{"bufferView", buffer.addView(data, kArrayBuffer)},
                     {"componentType", kFloat},
                     {"count", values.size()},
                     {"type", N == 2 ? "VEC2" : "VEC3"}};
    if (withBounds) {
        std::array<float, N> minimum = values.front();
        std::array<float, N> maximum = values.front();
        for (const std::array<float, N>& value : values) {
            for (std::size_t c = 0; c < N; ++c) {
                minimum[c] = std::min(minimum[c], value[c]);
                maximum[c] = std::max(maximum[c], value[c]);
            }
        }
        accessor["min"] = minimum;
        accessor["max"] = maximum;
    }
    return buffer.addAccessor(std::move(accessor));
}

std::size_t addIndexAccessor(Buffer& buffer, const ExportMesh& mesh) {
    // The largest value of an index type means a primitive restart and may
    // not be an index.
    const bool shortIndices = mesh.positions.size() <= std::numeric_limits<std::uint16_t>::max();
    std::string data;
    for (const std::uint32_t index : mesh.indices) {
        if (shortIndices) {
            data += char(index & 0xFF);
            data += char(index >> 8);
        } else {
            appendU32(data, index);
        }
    }
    return buffer.addAccessor({{"bufferView", buffer.addView(data, kElementArrayBuffer)},
                               {"componentType", shortIndices ? kUnsignedShort : kUnsignedInt},
                               {"count", mesh.indices.size()},
                               {"type", "SCALAR"}});
}

Json meshJson(Buffer& buffer, const ExportMesh& mesh) {
    Json attributes = {{"POSITION", addFloatAccessor(buffer, mesh.positions, true)}};
    if (!mesh.normals.empty()) attributes["NORMAL"] = addFloatAccessor(buffer, mesh.normals, false);
    if (!mesh.uvs.empty()) {
        // glTF's v runs down the image, the host's up.
        std::vector<std::array<float, 2>> texcoords;
        for (const std::array<float, 2>& uv : mesh.uvs) texcoords.push_back({uv[0], 1.0f - uv[1]});
        attributes["TEXCOORD_0"] = addFloatAccessor(buffer, texcoords, false);
    }
    Json primitive = {{"attributes", std::move(attributes)}, {"indices", addIndexAccessor(buffer, mesh)}};
    if (mesh.material) primitive["material"] = *mesh.material;
    return {{"name", mesh.meshName}, {"primitives", Json::array({std::move(primitive)})}};
}

Json materialJson(const ExportMaterial& material) {
    // A Lambert shader is a rough dielectric: no metal, no highlight.
    Json pbr = {{"metallicFactor", 0}, {"roughnessFactor", 1}};
    if (material.texture) {
        pbr["baseColorTexture"] = {{"index", *material.texture}};
    } else {
        pbr["baseColorFactor"] = {kUntexturedGrey, kUntexturedGrey, kUntexturedGrey, 1.0f};
    }
    return {{"name", material.name}, {"pbrMetallicRoughness", std::move(pbr)}};
}

std::string glbContainer(const std::string& path, const std::string& json, const std::string& bin) {
    const std::size_t jsonPadding = (4 - json.size() % 4) % 4;
    const std::size_t binPadding = (4 - bin.size() % 4) % 4;
    std::size_t total = 12 + 8 + json.size() + jsonPadding;
    if (!bin.empty()) total += 8 + bin.size() + binPadding;
    if (total > std::numeric_limits<std::uint32_t>::max()) {
        throw WriteError(path + ": cannot write: more than a GLB file can hold (4 GiB)");
    }
    std::string glb;
    appendU32(glb, kGlbMagic);
    appendU32(glb, kGlbVersion);
    appendU32(glb, std::uint32_t(total));
    appendU32(glb, std::uint32_t(json.size() + jsonPadding));
    appendU32(glb, kJsonChunk);
    glb += json;
    glb.append(jsonPadding, ' ');
    if (!bin.empty()) {
        appendU32(glb, std::uint32_t(bin.size() + binPadding));
        appendU32(glb, kBinChunk);
        glb += bin;
        glb.append(binPadding, '\0');
    }
    return glb;
}

std::string dumpJson(const Json& json, int indent) {
    // Host names are bytes without a declared encoding; what is not UTF-8 is
    // replaced rather than failing the whole file.
    return json.dump(indent, ' ', false, Json::error_handler_t::replace);
}

}  // namespace

void writeGltf(const ExportScene& scene, const std::string& path, bool binary) {
    Buffer buffer;
    Json document = {{"asset", {{"version", "2.0"}, {"generator", "OrvexImp"}}}, {"scene", 0}};
    Json nodes = Json::array();
    Json meshes = Json::array();
    for (const ExportMesh& mesh : scene.meshes) {
        nodes.push_back({{"name", mesh.nodeName}, {"mesh", meshes.size()}});
        meshes.push_back(meshJson(buffer, mesh));
    }
    Json sceneObject = Json::object();
    if (!nodes.empty()) {
        Json roots = Json::array();
        for (std::size_t i = 0; i < nodes.size(); ++i) roots.push_back(i);
        sceneObject["nodes"] = std::move(roots);
    }
    document["scenes"] = Json::array({std::move(sceneObject)});
    if (!nodes.empty()) document["nodes"] = std::move(nodes);
    if (!meshes.empty()) document["meshes"] = std::move(meshes);

    if (!scene.materials.empty()) {
        Json materials = Json::array();
        for (const ExportMaterial& material : scene.materials) materials.push_back(materialJson(material));
        document["materials"] = std::move(materials);
    }
    std::vector<FileBytes> files;
    if (!scene.textures.empty()) {
        Json textures = Json::array();
        Json images = Json::array();
        for (const ExportTexture& texture : scene.textures) {
            textures.push_back({{"sampler", 0}, {"source", images.size()}});
            if (binary) {
                images.push_back(
                    {{"bufferView", buffer.addView(texture.png, std::nullopt)}, {"mimeType", "image/png"}});
            } else {
                images.push_back({{"uri", uriOf(texture.imageName)}});
                files.push_back({pathBeside(path, texture.imageName), texture.png});
            }
        }
        document["textures"] = std::move(textures);
        document["images"] = std::move(images);
        document["samplers"] = Json::array({{{"magFilter", kLinear},
                                             {"minFilter", kLinearMipmapLinear},
                                             {"wrapS", kRepeat},
                                             {"wrapT", kRepeat}}});
    }
    if (!buffer.views().empty()) {
        if (!buffer.accessors().empty()) document["accessors"] = buffer.accessors();
        document["bufferViews"] = buffer.views();
        Json bufferObject = {{"byteLength", buffer.bytes().size()}};
        if (!binary) {
            const std::string binName = stemOf(path) + ".bin";
            bufferObject["uri"] = uriOf(binName);
            files.push_back({pathBeside(path, binName), buffer.bytes()});
        }
        document["buffers"] = Json::array({std::move(bufferObject)});
    }
    const std::string main =
        binary ? glbContainer(path, dumpJson(document, -1), buffer.bytes()) : dumpJson(document, 2) + "\n";
    files.push_back({path, main});
    writeFilesAtomically(files);
}

}  // namespace orvex::writers
