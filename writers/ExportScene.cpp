#include "writers/ExportScene.h"

#include "materials/PathExists.h"
#include "writers/Ascii.h"
#include "writers/Dds.h"
#include "writers/NameText.h"
#include "writers/Parallel.h"
#include "writers/Png.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <set>

namespace orvex::writers {

namespace {

using standin::MeshData;
using standin::Node;
using standin::NodeId;

constexpr char kUvSetName[] = "map1";
// Host normals are unit vectors rounded to 32 bits; only a larger error means
// one that is not.
constexpr float kUnitTolerance = 1e-4f;
constexpr std::size_t kMaxImageStemLength = 64;

const standin::UVSet* findUvSet(const MeshData& mesh) {
    for (const standin::UVSet& set : mesh.uvSets) {
        if (set.name == kUvSetName) return &set;
    }
    return nullptr;
}

// Makes the connects the indices as they stand, for the usual mesh whose
// every polygon is a triangle of vertices that exist; false, leaving
// `indices` to be made afresh, for any other. The connects are read once,
// while copied, and neither loop exits early, so that both vectorise.
bool copyGoodTriangles(const MeshData& mesh, std::vector<std::uint32_t>& indices) {
    const std::vector<int>& counts = mesh.polygonCounts;
    const std::vector<int>& connects = mesh.polygonConnects;
    if (connects.size() != 3 * counts.size()) return false;
    std::uint32_t other = 0;
    for (const int count : counts) other |= std::uint32_t(count != 3);
    if (other != 0) return false;
    // A negative vertex becomes 2^31 or more, past any limit up to 2^31.
    const auto limit = std::uint32_t(std::min(mesh.points.size(), std::size_t{1} << 31));
    indices.resize(connects.size());
    std::uint32_t outside = 0;
    for (std::size_t k = 0; k < connects.size(); ++k) {
        indices[k] = std::uint32_t(connects[k]);
        outside |= std::uint32_t(indices[k] >= limit);
    }
    return outside == 0;
}

// Fan triangles of every polygon, in polygon order. Polygons past the end of
// the connects, and triangles naming a vertex that does not exist, are
// counted in `dropped` instead.
void triangulate(const MeshData& mesh, std::vector<std::uint32_t>& indices, std::size_t& dropped) {
    if (copyGoodTriangles(mesh, indices)) return;
    indices.clear();
    const std::vector<int>& connects = mesh.polygonConnects;
    // Exact for triangles, which is what most meshes hold.
    indices.reserve(connects.size());
    const auto vertexCount = std::int64_t(mesh.points.size());
    std::size_t first = 0;
    for (const int count : mesh.polygonCounts) {
        if (count < 0 || std::size_t(count) > connects.size() - first) {
            ++dropped;
            break;
        }
        for (int corner = 1; corner + 1 < count; ++corner) {
            const std::array<int, 3> triangle = {connects[first], connects[first + corner],
                                                 connects[first + corner + 1]};
            if (std::any_of(triangle.begin(), triangle.end(),
                            [&](int v) { return v < 0 || v >= vertexCount; })) {
                ++dropped;
                continue;
            }
            indices.insert(indices.end(), triangle.begin(), triangle.end());
        }
        first += std::size_t(count);
    }
}

// What making a mesh's geometry good changed, for the warnings.
struct Repairs {
    std::size_t dropped = 0;
    std::size_t missingUvs = 0;
    std::size_t nonFinite = 0;
    std::size_t normals = 0;
};

// Point and UV coordinates that are not finite numbers are written as 0.
float finiteOrZero(float value, std::size_t& replaced) {
    const bool finite = std::isfinite(value);
    replaced += std::size_t(!finite);
    return finite ? value : 0.0f;
}

// The UV of each vertex: the one that its first polygon corner was given,
// or, for a vertex that no assigned corner names, UV number k for vertex k.
void vertexUvs(const MeshData& mesh, const standin::UVSet& set, std::vector<std::array<float, 2>>& uvs,
               Repairs& repairs) {
    const std::size_t vertexCount = mesh.points.size();
    const std::size_t uvCount = std::min(set.u.size(), set.v.size());
    std::size_t nonFinite = 0;
    auto uvAt = [&](std::size_t uv) {
        return std::array<float, 2>{finiteOrZero(set.u[uv], nonFinite), finiteOrZero(set.v[uv], nonFinite)};
    };
    uvs.resize(vertexCount);
    // Corners that name the UV of their own vertex, as importers that keep
    // one UV per vertex assign them, give every vertex UV number k. The host
    // then hands back the connects themselves, which spares comparing them.
    const std::vector<int>& uvIds = standin::uvIdsOf(mesh, set);
    if (&uvIds == &mesh.polygonConnects || uvIds == mesh.polygonConnects) {
        const std::size_t given = std::min(uvCount, vertexCount);
        for (std::size_t k = 0; k < given; ++k) uvs[k] = uvAt(k);
        std::fill(uvs.begin() + std::ptrdiff_t(given), uvs.end(), std::array<float, 2>{0.0f, 0.0f});
        repairs.missingUvs += vertexCount - given;
        repairs.nonFinite += nonFinite;
        return;
    }
    std::vector<std::int64_t> uvOfVertex(vertexCount, -1);
    if (uvIds.size() == mesh.polygonConnects.size()) {
        for (std::size_t corner = 0; corner < uvIds.size(); ++corner) {
            const int vertex = mesh.polygonConnects[corner];
            if (vertex >= 0 && std::size_t(vertex) < vertexCount && uvOfVertex[std::size_t(vertex)] < 0) {
                uvOfVertex[std::size_t(vertex)] = uvIds[corner];
            }
        }
    }
    for (std::size_t k = 0; k < vertexCount; ++k) {
        const std::int64_t uv = uvOfVertex[k] >= 0 ? uvOfVertex[k] : std::int64_t(k);
        if (std::uint64_t(uv) < uvCount) {
            uvs[k] = uvAt(std::size_t(uv));
        } else {
            uvs[k] = {0.0f, 0.0f};
            ++repairs.missingUvs;
        }
    }
    repairs.nonFinite += nonFinite;
}

using Vector = std::array<float, 3>;

Vector subtract(const Vector& a, const Vector& b) {
    return {a[0] - b[0], a[1] - b[1], a[2] - b[2]};
}

Vector cross(const Vector& a, const Vector& b) {
    return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
}

float length(const Vector& v) {
    return std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
}

// The host's normals, with those that are not unit vectors normalised, and
// those without a direction (zero or not finite) replaced by the sum of the
// normals of the vertex's triangles, weighted by area; a vertex without one
// gets +Y. Counts the normals changed in `repaired`.
void vertexNormals(const MeshData& mesh, const std::vector<Vector>& positions,
                   const std::vector<std::uint32_t>& indices, std::vector<Vector>& normals, std::size_t& repaired) {
    if (mesh.vertexNormals.size() != positions.size()) {
        normals.clear();
        return;
    }
    const std::size_t vertexCount = positions.size();
    normals.resize(vertexCount);
    std::size_t rescaled = 0;
    // One flag per vertex, made only once a normal without direction turns
    // up, as it does in few meshes.
    std::vector<std::uint8_t> directionless;
    const standin::Normal* given = mesh.vertexNormals.data();
    Vector* made = normals.data();
    for (std::size_t k = 0; k < vertexCount; ++k) {
        const standin::Normal& n = given[k];
        Vector normal = {n.x, n.y, n.z};
        const float size = length(normal);
        if (!std::isfinite(size) || size == 0.0f) {
            if (directionless.empty()) directionless.resize(vertexCount);
            directionless[k] = 1;
            normal = {0.0f, 0.0f, 0.0f};
        } else if (std::abs(size - 1.0f) > kUnitTolerance) {
            normal = {normal[0] / size, normal[1] / size, normal[2] / size};
            ++rescaled;
        }
        made[k] = normal;
    }
    repaired += rescaled;
    if (directionless.empty()) return;
    for (std::size_t t = 0; t + 2 < indices.size(); t += 3) {
        const Vector face = cross(subtract(positions[indices[t + 1]], positions[indices[t]]),
                                  subtract(positions[indices[t + 2]], positions[indices[t]]));
        for (std::size_t corner = 0; corner < 3; ++corner) {
            Vector& sum = normals[indices[t + corner]];
            if (directionless[indices[t + corner]] == 0) continue;
            for (std::size_t c = 0; c < 3; ++c) sum[c] += face[c];
        }
    }
    for (std::size_t k = 0; k < normals.size(); ++k) {
        if (directionless[k] == 0) continue;
        ++repaired;
        const float size = length(normals[k]);
        normals[k] = std::isfinite(size) && size > 0.0f
                         ? Vector{normals[k][0] / size, normals[k][1] / size, normals[k][2] / size}
                         : Vector{0.0f, 1.0f, 0.0f};
    }
}

// Without triangles, only the indices are made. The vectors keep their
// storage, so that mesh after mesh reuses memory already touched instead of
// faulting in new pages; each is resized to the mesh and then written whole.
void buildGeometry(const MeshData& data, MeshGeometry& geometry, Repairs& repairs) {
    triangulate(data, geometry.indices, repairs.dropped);
    if (geometry.indices.empty()) {
        geometry.positions.clear();
        geometry.uvs.clear();
        geometry.normals.clear();
        return;
    }
    geometry.positions.resize(data.points.size());
    std::size_t nonFinite = 0;
    for (std::size_t k = 0; k < data.points.size(); ++k) {
        const standin::Point& p = data.points[k];
        geometry.positions[k] = {finiteOrZero(p.x, nonFinite), finiteOrZero(p.y, nonFinite),
                                 finiteOrZero(p.z, nonFinite)};
    }
    repairs.nonFinite += nonFinite;
    if (const standin::UVSet* set = findUvSet(data); set != nullptr && !set->u.empty()) {
        vertexUvs(data, *set, geometry.uvs, repairs);
    } else {
        geometry.uvs.clear();
    }
    vertexNormals(data, geometry.positions, geometry.indices, geometry.normals, repairs.normals);
}

// What decoding a DDS file looks at: its header, then level 0, each read in
// one piece.
std::optional<std::vector<std::uint8_t>> readDdsLevelZero(const std::string& path) {
    const std::filesystem::path file = std::filesystem::u8path(path);
    // The texture lookup takes a folder for a file, as the host's does. A
    // folder opens as a stream on some systems, with a size of its own, and
    // a pipe would wait for a writer.
    std::error_code error;
    if (!std::filesystem::is_regular_file(file, error)) return std::nullopt;
    const std::uintmax_t size = std::filesystem::file_size(file, error);
    if (error) return std::nullopt;
    std::ifstream in(file, std::ios::binary);
    if (!in) return std::nullopt;
    const auto readTo = [&](std::vector<std::uint8_t>& bytes, std::uintmax_t end) {
        const std::size_t from = bytes.size();
        bytes.resize(std::size_t(std::min(size, end)));
        in.read(reinterpret_cast<char*>(bytes.data() + from), std::streamsize(bytes.size() - from));
        return std::size_t(in.gcount()) == bytes.size() - from;
    };
    std::vector<std::uint8_t> bytes;
    if (!readTo(bytes, kDdsHeaderBytes) || !readTo(bytes, ddsBytesToRead(bytes))) return std::nullopt;
    return bytes;
}

// The plug-in resolves a texture to its name alone when the model lies in no
// folder named "content", which the host, and so this program, then looks
// for from the working folder.
bool isBareName(const std::string& path) {
    const bool rooted = !path.empty() && (path[0] == '\\' || path[0] == '/');
    const bool onDrive = path.size() >= 2 && path[1] == ':';
    return !rooted && !onDrive;
}

constexpr char kNotFoundOutsideContent[] =
    "not found (the model lies in no folder named \"content\", so it was looked for from the working folder)";

// A texture's path in a line of a warning. It holds the model's texture
// name, which may hold any byte: written as names are (NameText.h), a line
// break in it cannot pass for a line of its own.
std::string pathText(const std::string& path) {
    return nameText(nativePath(path));
}

// Windows opens a device, not a file, under these names, whatever follows
// their first dot.
bool isDeviceName(const std::string& name) {
    std::string base = name.substr(0, name.find('.'));
    for (char& c : base) c = asciiLower(c);
    if (base == "con" || base == "prn" || base == "aux" || base == "nul") return true;
    return base.size() == 4 && (base.compare(0, 3, "com") == 0 || base.compare(0, 3, "lpt") == 0) &&
           base[3] >= '1' && base[3] <= '9';
}

// The game path's file name without its extension, reduced to characters
// that every file system and URI takes as they are.
std::string imageStem(const std::string& gamePath) {
    std::string name = gamePath.substr(gamePath.find_last_of("\\/") + 1);
    const std::string::size_type dot = name.find_last_of('.');
    if (dot != std::string::npos && dot > 0) name.erase(dot);
    for (char& c : name) {
        if (!isAsciiAlphanumeric(c) && c != '.' && c != '-' && c != '_') c = '_';
    }
    name.erase(0, name.find_first_not_of('.'));
    if (name.size() > kMaxImageStemLength) name.resize(kMaxImageStemLength);
    if (isDeviceName(name)) name.insert(std::min(name.find('.'), name.size()), "_");
    return name.empty() ? "texture" : name;
}

std::string lowercase(std::string text) {
    for (char& c : text) c = asciiLower(c);
    return text;
}

std::string pointsDigestOf(const MeshData& mesh) {
    PointsDigest digest;
    for (const standin::Point& point : mesh.points) digest.add(point.x, point.y, point.z);
    return digest.hex();
}

// Points alone would not do: a mesh that the host refused may share its
// points and its number of triangles with the next.
std::string cornersDigestOf(const MeshData& mesh) {
    CornersDigest digest;
    for (int corner : mesh.polygonConnects) digest.add(corner);
    return digest.hex();
}

bool madeFrom(const MeshData& mesh, const SourceMesh& source) {
    return mesh.points.size() == source.vertexCount && mesh.polygonCounts.size() == source.triangleCount &&
           pointsDigestOf(mesh) == source.pointsDigest &&
           cornersDigestOf(mesh) == source.cornersDigest;
}

std::string transformNameOf(const standin::Scene& scene, const Node& shape) {
    const Node* transform = scene.find(shape.parent);
    return transform != nullptr ? transform->name : shape.name;
}

constexpr char kUntexturedMaterial[] = "untextured";

class Collector {
public:
    Collector(const standin::Scene& scene, const SourceModel* source, std::vector<std::string>& warnings)
        : fScene(scene), fSource(source), fWarnings(warnings) {}

    ExportScene collect() {
        if (fSource != nullptr) fResult.rootName = nameText(fSource->name);
        std::size_t nextSourceMesh = 0;
        for (const MeshNaming& naming : nameMeshes(fScene, fSource)) {
            if (naming.sourceMesh) {
                warnRefusedUpTo(nextSourceMesh, *naming.sourceMesh);
                nextSourceMesh = *naming.sourceMesh + 1;
            }
            addMesh(*fScene.find(naming.shape), naming);
        }
        if (fSource != nullptr) warnRefusedUpTo(nextSourceMesh, fSource->meshes.size());
        decodeTextures();
        return std::move(fResult);
    }

private:
    void warn(std::string line) { fWarnings.push_back(std::move(line)); }

    // The file's meshes from `first` up to `end` have no host mesh: the
    // host refused them, which the plug-in, as a host plug-in, does not say.
    void warnRefusedUpTo(std::size_t first, std::size_t end) {
        for (std::size_t k = first; k < end; ++k) {
            warn("mesh " + meshObjectName(fSource->name, k, fSource->meshes[k].names[0]) +
                 ": the host refused it; left out");
        }
    }

    void addMesh(const Node& shape, const MeshNaming& naming) {
        ExportMesh mesh;
        if (fSource != nullptr) {
            mesh.nodeName = mesh.meshName = naming.name;
            if (naming.sourceMesh) mesh.sourceNames = fSource->meshes[*naming.sourceMesh].names;
        } else {
            mesh.meshName = shape.name;
            mesh.nodeName = naming.name;
        }
        mesh.data = &shape.mesh;
        Repairs repairs;
        MeshGeometry& geometry = fGeometry;
        buildGeometry(shape.mesh, geometry, repairs);
        if (repairs.dropped > 0) {
            warn("mesh " + mesh.meshName + ": " + std::to_string(repairs.dropped) +
                 " polygons or triangles refer to corners or vertices that do not exist; left out");
        }
        if (geometry.indices.empty()) {
            warn("mesh " + mesh.meshName + ": no triangles; left out");
            return;
        }
        if (repairs.missingUvs > 0) {
            warn("mesh " + mesh.meshName + ": " + std::to_string(repairs.missingUvs) +
                 " vertices have no UV in " + kUvSetName + "; given (0, 0)");
        }
        if (repairs.nonFinite > 0) {
            warn("mesh " + mesh.meshName + ": " + std::to_string(repairs.nonFinite) +
                 " point or UV coordinates are not finite numbers; written as 0");
        }
        if (repairs.normals > 0) {
            warn("mesh " + mesh.meshName + ": " + std::to_string(repairs.normals) +
                 " vertex normals are not unit vectors; normalised, or taken from the faces where they have "
                 "no direction");
        }
        mesh.vertexCount = geometry.positions.size();
        mesh.indexCount = geometry.indices.size();
        mesh.hasNormals = !geometry.normals.empty();
        mesh.hasUvs = !geometry.uvs.empty();
        // Kept in locals, which the compiler holds in registers, rather than
        // in the mesh, which it stores to on every point.
        std::array<float, 3> minimum = geometry.positions.front();
        std::array<float, 3> maximum = minimum;
        for (const std::array<float, 3>& position : geometry.positions) {
            for (std::size_t c = 0; c < 3; ++c) {
                minimum[c] = std::min(minimum[c], position[c]);
                maximum[c] = std::max(maximum[c], position[c]);
            }
        }
        mesh.minimum = minimum;
        mesh.maximum = maximum;
        mesh.material = materialFor(shape, mesh.sourceNames);
        fResult.meshes.push_back(std::move(mesh));
    }

    std::optional<std::size_t> materialFor(const Node& shape,
                                           const std::optional<std::array<std::string, 3>>& sourceNames) {
        for (const NodeId setId : fScene.setsContaining(shape.id)) {
            const Node* set = fScene.find(setId);
            if (set == nullptr || set->type != "shadingEngine") continue;
            const standin::Connection* shader = fScene.connectionInto(setId, "surfaceShader");
            if (shader == nullptr) return std::nullopt;
            const standin::Connection* color = fScene.connectionInto(shader->sourceNode, "color");
            const Node* file = color != nullptr ? fScene.find(color->sourceNode) : nullptr;
            if (file != nullptr && file->type != "file") file = nullptr;
            if (fSource == nullptr) return materialOf(shader->sourceNode, fScene.find(shader->sourceNode)->name, file);
            // Meshes share the file texture node of one texture path, and so
            // the material named after it.
            if (!sourceNames) return materialOf(file != nullptr ? file->id : standin::kNoNode,
                                                file != nullptr ? file->name : kUntexturedMaterial, file);
            const std::string base = textureBaseName((*sourceNames)[0]);
            if (file == nullptr || base.empty()) return materialOf(standin::kNoNode, kUntexturedMaterial, nullptr);
            return materialOf(file->id, nameText(base), file);
        }
        return std::nullopt;
    }

    // The material of `key`, made on first use with a name that no other
    // material has.
    std::size_t materialOf(NodeId key, const std::string& name, const Node* file) {
        if (const auto known = fMaterials.find(key); known != fMaterials.end()) return known->second;
        ExportMaterial material;
        material.name = name;
        for (int number = 2; !fMaterialNames.insert(material.name).second; ++number)
            material.name = name + "-" + std::to_string(number);
        if (file != nullptr) material.texture = textureOf(*file);
        fResult.materials.push_back(std::move(material));
        return fMaterials[key] = fResult.materials.size() - 1;
    }

    // Textures are decoded once every mesh is collected, all at once, so
    // that the materials first hold the index of a texture to be read.
    std::optional<std::size_t> textureOf(const Node& file) {
        if (const auto known = fTextures.find(file.id); known != fTextures.end()) return known->second;
        std::optional<std::size_t> texture = findTexture(file);
        fTextures[file.id] = texture;
        return texture;
    }

    std::optional<std::size_t> findTexture(const Node& file) {
        const auto value = file.stringValues.find("fileTextureName");
        const std::string path = value != file.stringValues.end() ? value->second : std::string();
        if (path.empty()) return untextured("of " + file.name, "no file name");
        const std::optional<std::string> found = findExistingPath(path);
        if (!found)
            return untextured(pathText(path), isBareName(path) ? kNotFoundOutsideContent : "not found");
        fPending.push_back({path, *found, fWarnings.size(), {}, {}});
        return fPending.size() - 1;
    }

    std::nullopt_t untextured(const std::string& texture, const std::string& why) {
        warn("texture " + texture + ": " + why + "; left untextured");
        return std::nullopt;
    }

    // Each texture read and decoded on a thread of its own; then, in the
    // order they were found, those that decoded become the scene's textures,
    // and a warning for each of the others goes where it would have gone had
    // it been decoded when found.
    void decodeTextures() {
        forEachIndex(fPending.size(), [&](std::size_t i) {
            PendingTexture& pending = fPending[i];
            const std::optional<std::vector<std::uint8_t>> bytes = readDdsLevelZero(pending.file);
            if (!bytes) {
                std::error_code ignored;
                const bool folder = std::filesystem::is_directory(std::filesystem::u8path(pending.file), ignored);
                pending.whyNot = folder ? "is a folder, not a file" : "cannot be read";
                return;
            }
            pending.image = decodeDds(*bytes, pending.whyNot);
        });
        std::vector<std::optional<std::size_t>> textureOfPending(fPending.size());
        std::vector<std::pair<std::size_t, std::string>> failures;
        for (std::size_t i = 0; i < fPending.size(); ++i) {
            PendingTexture& pending = fPending[i];
            if (!pending.image) {
                failures.emplace_back(pending.warningAt, "texture " + pathText(pending.path) + ": " +
                                                             pending.whyNot + "; left untextured");
                continue;
            }
            fResult.textures.push_back(
                {uniqueImageName(imageStem(pending.path)), std::move(*pending.image), {}, pending.file, {}});
            textureOfPending[i] = fResult.textures.size() - 1;
        }
        for (auto failure = failures.rbegin(); failure != failures.rend(); ++failure) {
            fWarnings.insert(fWarnings.begin() + std::ptrdiff_t(failure->first), std::move(failure->second));
        }
        for (ExportMaterial& material : fResult.materials) {
            if (material.texture) material.texture = textureOfPending[*material.texture];
        }
        fPending.clear();
    }

    // Unique ignoring letter case, as file systems that ignore it need.
    std::string uniqueImageName(const std::string& stem) {
        std::string name = stem + ".png";
        for (int number = 2; !fImageNames.insert(lowercase(name)).second; ++number) {
            name = stem + "-" + std::to_string(number) + ".png";
        }
        return name;
    }

    const standin::Scene& fScene;
    const SourceModel* fSource;
    std::vector<std::string>& fWarnings;
    ExportScene fResult;
    std::map<NodeId, std::size_t> fMaterials;
    std::set<std::string> fMaterialNames;
    // Until decodeTextures, into fPending.
    std::map<NodeId, std::optional<std::size_t>> fTextures;
    struct PendingTexture {
        std::string path;        // as the file texture node names it
        std::string file;        // found on disk
        std::size_t warningAt;   // where a warning about it goes among the others
        std::optional<Image> image;
        std::string whyNot;
    };
    std::vector<PendingTexture> fPending;
    std::set<std::string> fImageNames;
    MeshGeometry fGeometry;
};

}  // namespace

void PointsDigest::add(float x, float y, float z) {
    const float point[3] = {x, y, z};
    fDigest.add(point, sizeof point);
}

std::string meshObjectName(const std::string& modelName, std::size_t position, const std::string& textureName) {
    const std::string base = textureBaseName(textureName);
    return nameText(modelName) + "." + std::to_string(position) + (base.empty() ? "" : " " + nameText(base));
}

std::vector<MeshNaming> nameMeshes(const standin::Scene& scene, const SourceModel* source) {
    std::vector<MeshNaming> namings;
    std::size_t next = 0;  // the first of the file's meshes not yet matched
    for (const Node& node : scene.nodes()) {
        if (node.type != "mesh") continue;
        MeshNaming naming{node.id, transformNameOf(scene, node), std::nullopt};
        if (source != nullptr) {
            for (std::size_t k = next; k < source->meshes.size(); ++k) {
                if (!madeFrom(node.mesh, source->meshes[k])) continue;
                naming.sourceMesh = k;
                naming.name = meshObjectName(source->name, k, source->meshes[k].names[0]);
                next = k + 1;
                break;
            }
        }
        namings.push_back(std::move(naming));
    }
    return namings;
}

ExportScene collectScene(const standin::Scene& scene, const SourceModel* source, std::vector<std::string>& warnings) {
    return Collector(scene, source, warnings).collect();
}

void encodeImages(ExportScene& scene) {
    forEachIndex(scene.textures.size(), [&](std::size_t i) {
        ExportTexture& texture = scene.textures[i];
        if (texture.png.empty()) texture.png = encodePng(texture.pixels);
    });
}

bool readDdsFiles(ExportScene& scene, std::string& whyNot) {
    for (ExportTexture& texture : scene.textures) {
        if (!texture.dds.empty()) continue;
        std::ifstream in(std::filesystem::u8path(texture.ddsPath), std::ios::binary);
        std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        if (!in.good() && !in.eof()) bytes.clear();
        if (bytes.empty()) {
            whyNot = pathText(texture.ddsPath) + ": cannot read the texture to copy it";
            return false;
        }
        texture.dds = std::move(bytes);
    }
    return true;
}

void geometryOf(const ExportMesh& mesh, MeshGeometry& geometry) {
    Repairs repairs;
    buildGeometry(*mesh.data, geometry, repairs);
}

}  // namespace orvex::writers
