#include "writers/Ascii.h"
#include "writers/AtomicFile.h"
#include "writers/Formats.h"
#include "writers/WriteError.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstring>
#include <limits>
#include <string_view>

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
    // The whole buffer is sized once, so that it is never copied as it grows.
    void reserve(std::size_t size) { fBytes.reserve(size); }

    std::size_t addView(std::string_view data, std::optional<int> target) {
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

// glTF's binary data is little-endian, as every platform we build for is, so
// the values go in as they lie in memory.
template <typename T>
std::string_view bytesOf(const std::vector<T>& values) {
    return {reinterpret_cast<const char*>(values.data()), values.size() * sizeof(T)};
}

template <std::size_t N>
std::size_t addFloatAccessor(Buffer& buffer, const std::vector<std::array<float, N>>& values,
                             bool withBounds) {
    static_assert(sizeof(std::array<float, N>) == N * sizeof(float), "vectors lie packed");
    Json accessor = {{"bufferView", buffer.addView(bytesOf(values), kArrayBuffer)},
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

// The largest value of an index type means a primitive restart and may not
// be an index.
bool shortIndices(const ExportMesh& mesh) {
    return mesh.positions.size() <= std::numeric_limits<std::uint16_t>::max();
}

std::size_t addIndexAccessor(Buffer& buffer, const ExportMesh& mesh) {
    const bool narrow = shortIndices(mesh);
    std::size_t view = 0;
    if (narrow) {
        const std::vector<std::uint16_t> values(mesh.indices.begin(), mesh.indices.end());
        view = buffer.addView(bytesOf(values), kElementArrayBuffer);
    } else {
        view = buffer.addView(bytesOf(mesh.indices), kElementArrayBuffer);
    }
    return buffer.addAccessor({{"bufferView", view},
                               {"componentType", narrow ? kUnsignedShort : kUnsignedInt},
                               {"count", mesh.indices.size()},
                               {"type", "SCALAR"}});
}

Json meshJson(Buffer& buffer, const ExportMesh& mesh) {
    Json attributes = {{"POSITION", addFloatAccessor(buffer, mesh.positions, true)}};
    if (!mesh.normals.empty()) attributes["NORMAL"] = addFloatAccessor(buffer, mesh.normals, false);
    if (!mesh.uvs.empty()) {
        // glTF's v runs down the image, the host's up.
        std::vector<std::array<float, 2>> texcoords;
        texcoords.reserve(mesh.uvs.size());
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

// Written piece by piece, so that the binary chunk is not copied once more.
void writeGlb(const std::string& path, const std::string& json, const std::string& bin) {
    const std::size_t jsonPadding = (4 - json.size() % 4) % 4;
    const std::size_t binPadding = (4 - bin.size() % 4) % 4;
    std::size_t total = 12 + 8 + json.size() + jsonPadding;
    if (!bin.empty()) total += 8 + bin.size() + binPadding;
    if (total > std::numeric_limits<std::uint32_t>::max()) {
        throw WriteError(path + ": cannot write: more than a GLB file can hold (4 GiB)");
    }
    std::string header;
    appendU32(header, kGlbMagic);
    appendU32(header, kGlbVersion);
    appendU32(header, std::uint32_t(total));
    appendU32(header, std::uint32_t(json.size() + jsonPadding));
    appendU32(header, kJsonChunk);
    AtomicFile file(path);
    file.write(header);
    file.write(json);
    file.write(std::string(jsonPadding, ' '));
    if (!bin.empty()) {
        std::string binHeader;
        appendU32(binHeader, std::uint32_t(bin.size() + binPadding));
        appendU32(binHeader, kBinChunk);
        file.write(binHeader);
        file.write(bin);
        file.write(std::string(binPadding, '\0'));
    }
    file.commit();
}

std::string dumpJson(const Json& json, int indent) {
    // Host names are bytes without a declared encoding; what is not UTF-8 is
    // replaced rather than failing the whole file.
    return json.dump(indent, ' ', false, Json::error_handler_t::replace);
}

// Every view may start with up to three bytes of padding.
std::size_t bufferSize(const ExportScene& scene, bool binary) {
    constexpr std::size_t kPadding = 3;
    std::size_t size = 0;
    for (const ExportMesh& mesh : scene.meshes) {
        size += mesh.positions.size() * sizeof(mesh.positions[0]) + mesh.normals.size() * sizeof(mesh.normals[0]) +
                mesh.uvs.size() * sizeof(mesh.uvs[0]) +
                mesh.indices.size() * (shortIndices(mesh) ? sizeof(std::uint16_t) : sizeof(std::uint32_t)) +
                4 * kPadding;
    }
    if (binary) {
        for (const ExportTexture& texture : scene.textures) size += texture.png.size() + kPadding;
    }
    return size;
}

}  // namespace

void writeGltf(const ExportScene& scene, const std::string& path, bool binary) {
    Buffer buffer;
    buffer.reserve(bufferSize(scene, binary));
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
    if (binary) {
        writeGlb(path, dumpJson(document, -1), buffer.bytes());
        return;
    }
    const std::string main = dumpJson(document, 2) + "\n";
    files.push_back({path, main});
    writeFilesAtomically(files);
}

}  // namespace orvex::writers
