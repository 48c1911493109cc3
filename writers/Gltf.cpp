#include "writers/Ascii.h"
#include "writers/AtomicFile.h"
#include "writers/Companion.h"
#include "writers/Formats.h"
#include "writers/NameText.h"
#include "writers/WriteError.h"

#include <nlohmann/json.hpp>

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

// The glTF objects that point into the binary buffer, laid out before any
// byte of it is made: the buffer is written view by view, in the order they
// were added (writeBuffer), straight from the scene.
class Layout {
public:
    std::size_t addView(std::size_t size, std::optional<int> target) {
        fSize += padding(fSize);
        Json view = {{"buffer", 0}, {"byteOffset", fSize}, {"byteLength", size}};
        if (target) view["target"] = *target;
        fSize += size;
        fViews.push_back(std::move(view));
        return fViews.size() - 1;
    }

    std::size_t addAccessor(Json accessor) {
        fAccessors.push_back(std::move(accessor));
        return fAccessors.size() - 1;
    }

    // Every accessor's components, at most four bytes wide, stay aligned.
    static std::size_t padding(std::size_t offset) { return (4 - offset % 4) % 4; }

    std::size_t size() const { return fSize; }
    const Json& views() const { return fViews; }
    const Json& accessors() const { return fAccessors; }

private:
    std::size_t fSize = 0;
    Json fViews = Json::array();
    Json fAccessors = Json::array();
};

// The largest value of an index type means a primitive restart and may not
// be an index.
bool shortIndices(const ExportMesh& mesh) {
    return mesh.vertexCount <= std::numeric_limits<std::uint16_t>::max();
}

template <std::size_t N>
Json floatAccessor(Layout& layout, std::size_t count) {
    return {{"bufferView", layout.addView(count * N * sizeof(float), kArrayBuffer)},
            {"componentType", kFloat},
            {"count", count},
            {"type", N == 2 ? "VEC2" : "VEC3"}};
}

std::size_t addPositionAccessor(Layout& layout, const ExportMesh& mesh) {
    Json accessor = floatAccessor<3>(layout, mesh.vertexCount);
    accessor["min"] = mesh.minimum;
    accessor["max"] = mesh.maximum;
    return layout.addAccessor(std::move(accessor));
}

std::size_t addIndexAccessor(Layout& layout, const ExportMesh& mesh) {
    const bool narrow = shortIndices(mesh);
    const std::size_t size = mesh.indexCount * (narrow ? sizeof(std::uint16_t) : sizeof(std::uint32_t));
    return layout.addAccessor({{"bufferView", layout.addView(size, kElementArrayBuffer)},
                               {"componentType", narrow ? kUnsignedShort : kUnsignedInt},
                               {"count", mesh.indexCount},
                               {"type", "SCALAR"}});
}

Json meshJson(Layout& layout, const ExportMesh& mesh) {
    Json attributes = {{"POSITION", addPositionAccessor(layout, mesh)}};
    if (mesh.hasNormals) attributes["NORMAL"] = layout.addAccessor(floatAccessor<3>(layout, mesh.vertexCount));
    if (mesh.hasUvs) attributes["TEXCOORD_0"] = layout.addAccessor(floatAccessor<2>(layout, mesh.vertexCount));
    Json primitive = {{"attributes", std::move(attributes)}, {"indices", addIndexAccessor(layout, mesh)}};
    if (mesh.material) primitive["material"] = *mesh.material;
    return {{"name", mesh.meshName}, {"primitives", Json::array({std::move(primitive)})}};
}

// Writes the views in the order that writeGltf laid them out, making one
// mesh's geometry at a time. glTF's binary data is little-endian, as every
// platform we build for is, so the values go in as they lie in memory.
class BufferWriter {
public:
    explicit BufferWriter(AtomicFile& file) : fFile(file) {}

    void view(const void* data, std::size_t size) {
        static const char kZeros[4] = {};
        const std::size_t padding = Layout::padding(fWritten);
        fFile.write(kZeros, padding);
        fFile.write(data, size);
        fWritten += padding + size;
    }

    template <typename T>
    void view(const std::vector<T>& values) {
        view(values.data(), values.size() * sizeof(T));
    }

    void meshViews(const ExportMesh& mesh) {
        static_assert(sizeof(std::array<float, 3>) == 3 * sizeof(float), "vectors lie packed");
        static_assert(sizeof(std::array<float, 2>) == 2 * sizeof(float), "vectors lie packed");
        geometryOf(mesh, fGeometry);
        view(fGeometry.positions);
        if (mesh.hasNormals) view(fGeometry.normals);
        if (mesh.hasUvs) {
            // glTF's v runs down the image, the host's up.
            for (std::array<float, 2>& uv : fGeometry.uvs) uv[1] = 1.0f - uv[1];
            view(fGeometry.uvs);
        }
        if (shortIndices(mesh)) {
            fShortIndices.assign(fGeometry.indices.begin(), fGeometry.indices.end());
            view(fShortIndices);
        } else {
            view(fGeometry.indices);
        }
    }

    std::size_t written() const { return fWritten; }

private:
    AtomicFile& fFile;
    std::size_t fWritten = 0;
    // Kept from mesh to mesh, as geometryOf keeps the geometry's storage.
    MeshGeometry fGeometry;
    std::vector<std::uint16_t> fShortIndices;
};

std::size_t writeBuffer(AtomicFile& file, const ExportScene& scene, bool withImages) {
    BufferWriter writer(file);
    for (const ExportMesh& mesh : scene.meshes) writer.meshViews(mesh);
    if (withImages) {
        for (const ExportTexture& texture : scene.textures) {
            writer.view(texture.png.data(), texture.png.size());
        }
    }
    return writer.written();
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

void writeGlb(const std::string& path, const std::string& json, const ExportScene& scene, std::size_t binSize) {
    const std::size_t jsonPadding = (4 - json.size() % 4) % 4;
    const std::size_t binPadding = (4 - binSize % 4) % 4;
    std::size_t total = 12 + 8 + json.size() + jsonPadding;
    if (binSize > 0) total += 8 + binSize + binPadding;
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
    if (binSize > 0) {
        std::string binHeader;
        appendU32(binHeader, std::uint32_t(binSize + binPadding));
        appendU32(binHeader, kBinChunk);
        file.write(binHeader);
        writeBuffer(file, scene, true);
        file.write(std::string(binPadding, '\0'));
    }
    file.commit();
}

std::string dumpJson(const Json& json, int indent) {
    // Host names are bytes without a declared encoding; what is not UTF-8 is
    // replaced rather than failing the whole file.
    return json.dump(indent, ' ', false, Json::error_handler_t::replace);
}

// The file's names of a mesh, as every format that can carry them names them.
Json sourceNamesJson(const std::array<std::string, 3>& names) {
    Json extras = Json::object();
    for (std::size_t i = 0; i < names.size(); ++i) extras["modelName" + std::to_string(i + 1)] = nameText(names[i]);
    return extras;
}

}  // namespace

std::string writeGltf(const ExportScene& scene, const std::string& path, bool binary) {
    Layout layout;
    Json document = {{"asset", {{"version", "2.0"}, {"generator", "OrvexImp"}}}, {"scene", 0}};
    Json nodes = Json::array();
    Json meshes = Json::array();
    // The model's one parent comes first, its meshes after it.
    const bool rooted = !scene.rootName.empty();
    if (rooted) nodes.push_back({{"name", scene.rootName}});
    for (const ExportMesh& mesh : scene.meshes) {
        Json node = {{"name", mesh.nodeName}, {"mesh", meshes.size()}};
        if (mesh.sourceNames) node["extras"] = sourceNamesJson(*mesh.sourceNames);
        nodes.push_back(std::move(node));
        meshes.push_back(meshJson(layout, mesh));
    }
    Json sceneObject = Json::object();
    if (rooted) {
        sceneObject["nodes"] = Json::array({0});
        if (nodes.size() > 1) {
            Json children = Json::array();
            for (std::size_t i = 1; i < nodes.size(); ++i) children.push_back(i);
            nodes[0]["children"] = std::move(children);
        }
    } else if (!nodes.empty()) {
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
    std::vector<FileBytes> images;
    if (!scene.textures.empty()) {
        Json textures = Json::array();
        Json imageObjects = Json::array();
        for (const ExportTexture& texture : scene.textures) {
            textures.push_back({{"sampler", 0}, {"source", imageObjects.size()}});
            if (binary) {
                imageObjects.push_back({{"bufferView", layout.addView(texture.png.size(), std::nullopt)},
                                        {"mimeType", "image/png"}});
            } else {
                const std::string imageFile = imageFileOf(texture, TextureFiles::kPng).name;
                imageObjects.push_back({{"uri", uriOf(imageFile)}});
                images.push_back({pathBeside(path, imageFile), texture.png});
            }
        }
        document["textures"] = std::move(textures);
        document["images"] = std::move(imageObjects);
        document["samplers"] = Json::array({{{"magFilter", kLinear},
                                             {"minFilter", kLinearMipmapLinear},
                                             {"wrapS", kRepeat},
                                             {"wrapT", kRepeat}}});
    }
    const bool buffered = !layout.views().empty();
    if (buffered) {
        if (!layout.accessors().empty()) document["accessors"] = layout.accessors();
        document["bufferViews"] = layout.views();
        document["buffers"] = Json::array({{{"byteLength", layout.size()}}});
    }
    if (binary) {
        writeGlb(path, dumpJson(document, -1), scene, layout.size());
        return {};
    }
    // Staged in the order that they are renamed: the file that names the
    // others last.
    std::vector<AtomicFile> staged;
    staged.reserve(images.size() + 2);
    for (const FileBytes& image : images) stageNamedByContent(staged, image.path, image.bytes);
    std::optional<std::string> binName;
    if (buffered) {
        // Streamed under the output's name, then named after what it holds.
        staged.emplace_back(pathBeside(path, stemOf(path) + ".bin"));
        writeBuffer(staged.back(), scene, false);
        binName = companionFileName(path, staged.back().contentDigest());
        staged.back().setFinalPath(pathBeside(path, *binName));
        document["buffers"][0]["uri"] = uriOf(*binName);
    }
    staged.emplace_back(path);
    staged.back().write(dumpJson(document, 2) + "\n");
    commitTogether(staged);
    return binName ? pathBeside(path, *binName) : std::string();
}

}  // namespace orvex::writers
