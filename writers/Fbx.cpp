#include "writers/AtomicFile.h"
#include "writers/FbxRecords.h"
#include "writers/Formats.h"
#include "writers/NameText.h"
#include "writers/WriteError.h"

#include <array>
#include <cstdint>
#include <filesystem>
#include <string_view>

namespace orvex::writers {

namespace {

// Versions of the record layouts, as current FBX SDKs write them for FBX 7.4.
constexpr std::int32_t kHeaderVersion = 1003;
constexpr std::int32_t kSceneInfoVersion = 100;
constexpr std::int32_t kGlobalSettingsVersion = 1000;
constexpr std::int32_t kDefinitionsVersion = 100;
constexpr std::int32_t kModelVersion = 232;
constexpr std::int32_t kGeometryVersion = 124;
constexpr std::int32_t kLayerElementVersion = 101;
constexpr std::int32_t kLayerVersion = 100;
constexpr std::int32_t kMaterialVersion = 102;
constexpr std::int32_t kTextureVersion = 202;

constexpr char kCreator[] = "OrvexImp";
constexpr char kUvSetName[] = "map1";
// The host's default Lambert colour, for a shader without a texture: the
// scene keeps no colour values of its own.
constexpr double kUntexturedGrey = 0.5;
// One second in FBX time units, the length of the (empty) time line.
constexpr std::int64_t kOneSecond = 46186158000;
constexpr std::int32_t kTimeModeFrames24 = 11;
// Ids are numbered in the order the objects are written; 0 is the scene's
// root, to which every model connects.
constexpr std::int64_t kFirstId = 1000000;

using Vector = std::array<double, 3>;

// "Name\0\1Class", as FBX names every object in binary files.
std::string objectName(const std::string& name, std::string_view objectClass) {
    std::string text = name;
    text += '\0';
    text += '\1';
    text += objectClass;
    return text;
}

// The entries of a Properties70 record: a name, a type, a label and flags
// ("A" for animatable), then the value.
class Properties {
public:
    explicit Properties(FbxRecordWriter& out) : fOut(out) {}

    void integer(std::string_view name, std::int32_t value) { int32(name, "int", "Integer", "", value); }
    void enumeration(std::string_view name, std::int32_t value) { int32(name, "enum", "", "", value); }
    void boolean(std::string_view name, bool value) { int32(name, "bool", "", "", value ? 1 : 0); }
    void real(std::string_view name, std::string_view type, std::string_view label, std::string_view flags,
              double value) {
        begin(name, type, label, flags);
        fOut.addDouble(value);
        fOut.end();
    }
    void number(std::string_view name, double value) { real(name, "double", "Number", "", value); }
    void animatableNumber(std::string_view name, double value) { real(name, "Number", "", "A", value); }
    void vector(std::string_view name, std::string_view type, std::string_view label, std::string_view flags,
                const Vector& value) {
        begin(name, type, label, flags);
        for (const double component : value) fOut.addDouble(component);
        fOut.end();
    }
    void color(std::string_view name, const Vector& value) { vector(name, "Color", "", "A", value); }
    void colorRgb(std::string_view name, const Vector& value) {
        vector(name, "ColorRGB", "Color", "", value);
    }
    void vector3d(std::string_view name, const Vector& value) {
        vector(name, "Vector3D", "Vector", "", value);
    }
    void text(std::string_view name, std::string_view label, std::string_view value) {
        begin(name, "KString", label, "");
        fOut.addString(value);
        fOut.end();
    }
    // A property of the user's own, which readers keep as custom data.
    void userText(std::string_view name, std::string_view value) {
        begin(name, "KString", "", "U");
        fOut.addString(value);
        fOut.end();
    }
    void dateTime(std::string_view name, std::string_view value) {
        begin(name, "DateTime", "", "");
        fOut.addString(value);
        fOut.end();
    }
    void time(std::string_view name, std::int64_t value) {
        begin(name, "KTime", "Time", "");
        fOut.addInt64(value);
        fOut.end();
    }
    void valueless(std::string_view name, std::string_view type) {
        begin(name, type, "", "");
        fOut.end();
    }

private:
    void begin(std::string_view name, std::string_view type, std::string_view label, std::string_view flags) {
        fOut.begin("P");
        fOut.addString(name);
        fOut.addString(type);
        fOut.addString(label);
        fOut.addString(flags);
    }
    void int32(std::string_view name, std::string_view type, std::string_view label, std::string_view flags,
               std::int32_t value) {
        begin(name, type, label, flags);
        fOut.addInt32(value);
        fOut.end();
    }

    FbxRecordWriter& fOut;
};

template <typename Fill>
void properties70(FbxRecordWriter& out, Fill fill) {
    out.begin("Properties70");
    Properties properties(out);
    fill(properties);
    out.end();
}

void single(FbxRecordWriter& out, std::string_view name, std::int32_t value) {
    out.begin(name);
    out.addInt32(value);
    out.end();
}

void single(FbxRecordWriter& out, std::string_view name, std::string_view value) {
    out.begin(name);
    out.addString(value);
    out.end();
}

// The file's names and dates, fixed so that the same scene gives the same
// bytes: the creation time is the one that kFbxFileId goes with.
void writeHeaderExtension(FbxRecordWriter& out, const std::string& fileName) {
    out.begin("FBXHeaderExtension");
    single(out, "FBXHeaderVersion", kHeaderVersion);
    single(out, "FBXVersion", std::int32_t(kFbxVersion));
    single(out, "EncryptionType", 0);
    out.begin("CreationTimeStamp");
    const std::pair<const char*, std::int32_t> stamp[] = {{"Version", 1000}, {"Year", 1970},    {"Month", 1},
                                                          {"Day", 1},        {"Hour", 10},      {"Minute", 0},
                                                          {"Second", 0},     {"Millisecond", 0}};
    for (const auto& [name, value] : stamp) single(out, name, value);
    out.end();
    single(out, "Creator", kCreator);
    out.begin("SceneInfo");
    out.addString(objectName("GlobalInfo", "SceneInfo"));
    out.addString("UserData");
    single(out, "Type", "UserData");
    single(out, "Version", kSceneInfoVersion);
    out.begin("MetaData");
    single(out, "Version", kSceneInfoVersion);
    for (const char* name : {"Title", "Subject", "Author", "Keywords", "Revision", "Comment"})
        single(out, name, "");
    out.end();
    properties70(out, [&](Properties& properties) {
        properties.text("DocumentUrl", "Url", fileName);
        properties.text("SrcDocumentUrl", "Url", fileName);
        for (const std::string group : {"Original", "LastSaved"}) {
            properties.valueless(group, "Compound");
            properties.text(group + "|ApplicationVendor", "", kCreator);
            properties.text(group + "|ApplicationName", "", kCreator);
            properties.text(group + "|ApplicationVersion", "", "");
            properties.dateTime(group + "|DateTime_GMT", "01/01/1970 10:00:00.000");
        }
        properties.text("Original|FileName", "", fileName);
    });
    out.end();  // SceneInfo
    out.end();  // FBXHeaderExtension

    out.begin("FileId");
    out.addRaw(std::string_view(reinterpret_cast<const char*>(kFbxFileId.data()), kFbxFileId.size()));
    out.end();
    single(out, "CreationTime", kFbxCreationTime);
    single(out, "Creator", kCreator);
}

// The host's axes and unit are FBX's own: Y up, Z to the front, X across
// (right-handed), centimetres; the geometry goes in unchanged.
void writeGlobalSettings(FbxRecordWriter& out) {
    out.begin("GlobalSettings");
    single(out, "Version", kGlobalSettingsVersion);
    properties70(out, [&](Properties& properties) {
        properties.integer("UpAxis", 1);
        properties.integer("UpAxisSign", 1);
        properties.integer("FrontAxis", 2);
        properties.integer("FrontAxisSign", 1);
        properties.integer("CoordAxis", 0);
        properties.integer("CoordAxisSign", 1);
        properties.integer("OriginalUpAxis", 1);
        properties.integer("OriginalUpAxisSign", 1);
        properties.number("UnitScaleFactor", 1.0);
        properties.number("OriginalUnitScaleFactor", 1.0);
        properties.colorRgb("AmbientColor", {0.0, 0.0, 0.0});
        properties.text("DefaultCamera", "", "Producer Perspective");
        properties.enumeration("TimeMode", kTimeModeFrames24);
        properties.time("TimeSpanStart", 0);
        properties.time("TimeSpanStop", kOneSecond);
        properties.number("CustomFrameRate", 24.0);
    });
    out.end();
}

void writeDocuments(FbxRecordWriter& out, std::int64_t documentId) {
    out.begin("Documents");
    single(out, "Count", 1);
    out.begin("Document");
    out.addInt64(documentId);
    out.addString("Scene");
    out.addString("Scene");
    properties70(out, [&](Properties& properties) {
        properties.valueless("SourceObject", "object");
        properties.text("ActiveAnimStackName", "", "");
    });
    out.begin("RootNode");
    out.addInt64(0);
    out.end();
    out.end();  // Document
    out.end();  // Documents
    out.begin("References");
    out.end();
}

// The defaults of each kind of object: readers through the FBX SDK take a
// property that an object leaves out from its kind's template.
void modelTemplate(Properties& p) {
    p.enumeration("QuaternionInterpolate", 0);
    for (const char* name : {"RotationOffset", "RotationPivot", "ScalingOffset", "ScalingPivot"})
        p.vector3d(name, {0.0, 0.0, 0.0});
    p.enumeration("RotationOrder", 0);
    for (const char* name : {"PreRotation", "PostRotation", "GeometricTranslation", "GeometricRotation"})
        p.vector3d(name, {0.0, 0.0, 0.0});
    p.vector3d("GeometricScaling", {1.0, 1.0, 1.0});
    p.enumeration("InheritType", 0);
    p.boolean("Show", true);
    p.integer("DefaultAttributeIndex", -1);
    p.vector("Lcl Translation", "Lcl Translation", "", "A", {0.0, 0.0, 0.0});
    p.vector("Lcl Rotation", "Lcl Rotation", "", "A", {0.0, 0.0, 0.0});
    p.vector("Lcl Scaling", "Lcl Scaling", "", "A", {1.0, 1.0, 1.0});
    p.real("Visibility", "Visibility", "", "A", 1.0);
}

void geometryTemplate(Properties& p) {
    p.colorRgb("Color", {0.8, 0.8, 0.8});
    p.vector3d("BBoxMin", {0.0, 0.0, 0.0});
    p.vector3d("BBoxMax", {0.0, 0.0, 0.0});
    p.boolean("Primary Visibility", true);
    p.boolean("Casts Shadows", true);
    p.boolean("Receive Shadows", true);
}

void materialTemplate(Properties& p) {
    p.text("ShadingModel", "", "Lambert");
    p.boolean("MultiLayer", false);
    p.color("EmissiveColor", {0.0, 0.0, 0.0});
    p.animatableNumber("EmissiveFactor", 1.0);
    p.color("AmbientColor", {0.2, 0.2, 0.2});
    p.animatableNumber("AmbientFactor", 1.0);
    p.color("DiffuseColor", {0.8, 0.8, 0.8});
    p.animatableNumber("DiffuseFactor", 1.0);
    p.vector3d("NormalMap", {0.0, 0.0, 0.0});
    p.vector3d("Bump", {0.0, 0.0, 0.0});
    p.number("BumpFactor", 1.0);
    p.color("TransparentColor", {0.0, 0.0, 0.0});
    p.animatableNumber("TransparencyFactor", 0.0);
    p.colorRgb("DisplacementColor", {0.0, 0.0, 0.0});
    p.number("DisplacementFactor", 1.0);
    p.colorRgb("VectorDisplacementColor", {0.0, 0.0, 0.0});
    p.number("VectorDisplacementFactor", 1.0);
}

void textureTemplate(Properties& p) {
    p.enumeration("TextureTypeUse", 0);
    p.number("Texture alpha", 1.0);
    p.enumeration("CurrentMappingType", 0);
    p.enumeration("WrapModeU", 0);
    p.enumeration("WrapModeV", 0);
    p.boolean("UVSwap", false);
    p.boolean("PremultiplyAlpha", true);
    p.vector("Translation", "Vector", "", "A", {0.0, 0.0, 0.0});
    p.vector("Rotation", "Vector", "", "A", {0.0, 0.0, 0.0});
    p.vector("Scaling", "Vector", "", "A", {1.0, 1.0, 1.0});
    p.vector3d("TextureRotationPivot", {0.0, 0.0, 0.0});
    p.vector3d("TextureScalingPivot", {0.0, 0.0, 0.0});
    p.enumeration("CurrentTextureBlendMode", 1);
    p.text("UVSet", "", "default");
    p.boolean("UseMaterial", false);
    p.boolean("UseMipMap", false);
}

void videoTemplate(Properties& p) {
    p.integer("Width", 0);
    p.integer("Height", 0);
    p.text("Path", "XRefUrl", "");
    p.enumeration("AccessMode", 0);
}

void writeDefinitions(FbxRecordWriter& out, const ExportScene& scene) {
    struct Kind {
        const char* type;
        std::size_t count;
        const char* templateName;
        void (*properties)(Properties&);
    };
    const Kind kinds[] = {{"GlobalSettings", 1, nullptr, nullptr},
                          {"Model", scene.meshes.size() + (scene.rootName.empty() ? 0 : 1), "FbxNode",
                           modelTemplate},
                          {"Geometry", scene.meshes.size(), "FbxMesh", geometryTemplate},
                          {"Material", scene.materials.size(), "FbxSurfaceLambert", materialTemplate},
                          {"Texture", scene.textures.size(), "FbxFileTexture", textureTemplate},
                          {"Video", scene.textures.size(), "FbxVideo", videoTemplate}};
    std::size_t total = 0;
    for (const Kind& kind : kinds) total += kind.count;
    out.begin("Definitions");
    single(out, "Version", kDefinitionsVersion);
    single(out, "Count", std::int32_t(total));
    for (const Kind& kind : kinds) {
        if (kind.count == 0) continue;
        out.begin("ObjectType");
        out.addString(kind.type);
        single(out, "Count", std::int32_t(kind.count));
        if (kind.templateName != nullptr) {
            out.begin("PropertyTemplate");
            out.addString(kind.templateName);
            properties70(out, kind.properties);
            out.end();
        }
        out.end();
    }
    out.end();
}

// The arrays of one geometry, kept from mesh to mesh as geometryOf keeps its
// vectors. The record writer makes the double arrays from the geometry.
struct GeometryArrays {
    MeshGeometry mesh;
    std::vector<std::int32_t> polygonVertexIndex;
    std::vector<std::int32_t> uvIndex;
};

// The components of `vectors`, one after another, widened to doubles.
template <std::size_t N>
FbxRecordWriter::DoubleSource componentsOf(const std::vector<std::array<float, N>>& vectors) {
    return [&vectors](std::size_t first, std::size_t count, double* out) {
        for (std::size_t i = 0; i < count; ++i) out[i] = vectors[(first + i) / N][(first + i) % N];
    };
}

void layerElement(FbxRecordWriter& out, std::string_view type, std::string_view name,
                  std::string_view mapping, std::string_view reference) {
    out.begin(type);
    out.addInt32(0);
    single(out, "Version", kLayerElementVersion);
    single(out, "Name", name);
    single(out, "MappingInformationType", mapping);
    single(out, "ReferenceInformationType", reference);
}

void doubleArray(FbxRecordWriter& out, std::string_view name, std::size_t count,
                 const FbxRecordWriter::DoubleSource& values) {
    out.begin(name);
    out.addDoubleArray(count, values);
    out.end();
}

void int32Array(FbxRecordWriter& out, std::string_view name, const std::vector<std::int32_t>& values) {
    out.begin(name);
    out.addInt32Array(values);
    out.end();
}

void writeGeometry(FbxRecordWriter& out, const ExportMesh& mesh, std::int64_t id, GeometryArrays& arrays) {
    geometryOf(mesh, arrays.mesh);
    const MeshGeometry& geometry = arrays.mesh;
    out.begin("Geometry");
    out.addInt64(id);
    out.addString(objectName(mesh.meshName, "Geometry"));
    out.addString("Mesh");
    single(out, "GeometryVersion", kGeometryVersion);

    // Written first: a file that holds this many vertices holds fewer than
    // 2^31, so every vertex number below fits the 32-bit indices.
    doubleArray(out, "Vertices", 3 * geometry.positions.size(), componentsOf(geometry.positions));
    // The last corner of each polygon is written as -(index + 1).
    const std::vector<std::uint32_t>& indices = geometry.indices;
    arrays.polygonVertexIndex.resize(indices.size());
    for (std::size_t i = 0; i < indices.size(); ++i) {
        const auto index = std::int32_t(indices[i]);
        arrays.polygonVertexIndex[i] = i % 3 == 2 ? ~index : index;
    }
    int32Array(out, "PolygonVertexIndex", arrays.polygonVertexIndex);

    if (mesh.hasNormals) {
        // One normal per vertex, as the host holds them: the same normals
        // in about a sixth of the bytes that one per triangle corner takes.
        layerElement(out, "LayerElementNormal", "", "ByVertice", "Direct");
        doubleArray(out, "Normals", 3 * geometry.normals.size(), componentsOf(geometry.normals));
        out.end();
    }
    if (mesh.hasUvs) {
        // The host's v runs up the image, as FBX's does.
        layerElement(out, "LayerElementUV", kUvSetName, "ByPolygonVertex", "IndexToDirect");
        doubleArray(out, "UV", 2 * geometry.uvs.size(), componentsOf(geometry.uvs));
        arrays.uvIndex.assign(indices.begin(), indices.end());
        int32Array(out, "UVIndex", arrays.uvIndex);
        out.end();
    }
    if (mesh.material) {
        layerElement(out, "LayerElementMaterial", "", "AllSame", "IndexToDirect");
        int32Array(out, "Materials", {0});
        out.end();
    }
    out.begin("Layer");
    out.addInt32(0);
    single(out, "Version", kLayerVersion);
    const std::pair<bool, const char*> elements[] = {{mesh.hasNormals, "LayerElementNormal"},
                                                     {mesh.material.has_value(), "LayerElementMaterial"},
                                                     {mesh.hasUvs, "LayerElementUV"}};
    for (const auto& [present, type] : elements) {
        if (!present) continue;
        out.begin("LayerElement");
        single(out, "Type", type);
        single(out, "TypedIndex", 0);
        out.end();
    }
    out.end();  // Layer
    out.end();  // Geometry
}

// A mesh's model ("Mesh"), or the model's one parent ("Null"), with the
// file's names of a mesh as user properties.
void writeModel(FbxRecordWriter& out, const std::string& name, const char* type,
                const std::optional<std::array<std::string, 3>>& sourceNames, std::int64_t id) {
    out.begin("Model");
    out.addInt64(id);
    out.addString(objectName(name, "Model"));
    out.addString(type);
    single(out, "Version", kModelVersion);
    properties70(out, [&](Properties& properties) {
        properties.enumeration("InheritType", 1);
        properties.integer("DefaultAttributeIndex", std::string_view(type) == "Mesh" ? 0 : -1);
        if (sourceNames) {
            for (std::size_t i = 0; i < sourceNames->size(); ++i)
                properties.userText("modelName" + std::to_string(i + 1), nameText((*sourceNames)[i]));
        }
    });
    single(out, "MultiLayer", 0);
    single(out, "MultiTake", 0);
    out.begin("Shading");
    out.addBool(true);
    out.end();
    single(out, "Culling", "CullingOff");
    out.end();
}

void writeMaterial(FbxRecordWriter& out, const ExportMaterial& material, std::int64_t id) {
    out.begin("Material");
    out.addInt64(id);
    out.addString(objectName(material.name, "Material"));
    out.addString("");
    single(out, "Version", kMaterialVersion);
    single(out, "ShadingModel", "lambert");
    single(out, "MultiLayer", 0);
    properties70(out, [&](Properties& properties) {
        // The texture, where there is one, takes the colour's place.
        const double grey = material.texture ? 1.0 : kUntexturedGrey;
        properties.color("DiffuseColor", {grey, grey, grey});
        properties.animatableNumber("DiffuseFactor", 1.0);
    });
    out.end();
}

struct TextureFile {
    std::string name;      // of the Texture and Video objects
    std::string fileName;  // beside the output
};

void writeTexture(FbxRecordWriter& out, const TextureFile& image, std::int64_t id) {
    out.begin("Texture");
    out.addInt64(id);
    out.addString(objectName(image.name, "Texture"));
    out.addString("");
    single(out, "Type", "TextureVideoClip");
    single(out, "Version", kTextureVersion);
    single(out, "TextureName", objectName(image.name, "Texture"));
    properties70(out, [&](Properties& properties) {
        properties.boolean("UseMaterial", true);
        properties.text("UVSet", "", kUvSetName);
    });
    single(out, "Media", objectName(image.name, "Video"));
    // Both names are the image's own, relative to the output, so that the
    // output and its images can move together.
    single(out, "FileName", image.fileName);
    single(out, "RelativeFilename", image.fileName);
    out.begin("ModelUVTranslation");
    out.addDouble(0.0);
    out.addDouble(0.0);
    out.end();
    out.begin("ModelUVScaling");
    out.addDouble(1.0);
    out.addDouble(1.0);
    out.end();
    single(out, "Texture_Alpha_Source", "None");
    out.begin("Cropping");
    for (int i = 0; i < 4; ++i) out.addInt32(0);
    out.end();
    out.end();
}

void writeVideo(FbxRecordWriter& out, const TextureFile& image, const std::string* content, std::int64_t id) {
    out.begin("Video");
    out.addInt64(id);
    out.addString(objectName(image.name, "Video"));
    out.addString("Clip");
    single(out, "Type", "Clip");
    properties70(out, [&](Properties& properties) { properties.text("Path", "XRefUrl", image.fileName); });
    single(out, "UseMipMap", 0);
    single(out, "Filename", image.fileName);
    single(out, "RelativeFilename", image.fileName);
    if (content != nullptr) {
        out.begin("Content");
        out.addRaw(*content);
        out.end();
    }
    out.end();
}

void connection(FbxRecordWriter& out, std::int64_t child, std::int64_t parent,
                const char* property = nullptr) {
    out.begin("C");
    out.addString(property != nullptr ? "OP" : "OO");
    out.addInt64(child);
    out.addInt64(parent);
    if (property != nullptr) out.addString(property);
    out.end();
}

void encodeFbx(const ExportScene& scene, const std::string& path, bool embedTextures, TextureFiles files,
               const FbxRecordWriter::Sink& write) {
    FbxRecordWriter out;
    writeHeaderExtension(out, std::filesystem::u8path(path).filename().u8string());
    writeGlobalSettings(out);

    std::int64_t nextId = kFirstId;
    writeDocuments(out, nextId++);
    writeDefinitions(out, scene);

    std::vector<TextureFile> images;
    for (const ExportTexture& texture : scene.textures) {
        const std::string fileName = imageFileOf(texture, files).name;
        images.push_back({stemOf(fileName), fileName});
    }
    const std::int64_t firstGeometry = nextId;
    const std::int64_t firstModel = firstGeometry + std::int64_t(scene.meshes.size());
    const std::int64_t firstMaterial = firstModel + std::int64_t(scene.meshes.size());
    const std::int64_t firstTexture = firstMaterial + std::int64_t(scene.materials.size());
    const std::int64_t firstVideo = firstTexture + std::int64_t(scene.textures.size());
    const bool rooted = !scene.rootName.empty();
    const std::int64_t root = firstVideo + std::int64_t(scene.textures.size());

    out.begin("Objects");
    GeometryArrays arrays;
    for (std::size_t i = 0; i < scene.meshes.size(); ++i) {
        writeGeometry(out, scene.meshes[i], firstGeometry + std::int64_t(i), arrays);
    }
    for (std::size_t i = 0; i < scene.meshes.size(); ++i) {
        const ExportMesh& mesh = scene.meshes[i];
        writeModel(out, mesh.nodeName, "Mesh", mesh.sourceNames, firstModel + std::int64_t(i));
    }
    if (rooted) writeModel(out, scene.rootName, "Null", std::nullopt, root);
    for (std::size_t i = 0; i < scene.materials.size(); ++i) {
        writeMaterial(out, scene.materials[i], firstMaterial + std::int64_t(i));
    }
    for (std::size_t i = 0; i < images.size(); ++i) {
        writeTexture(out, images[i], firstTexture + std::int64_t(i));
        writeVideo(out, images[i], embedTextures ? &scene.textures[i].png : nullptr,
                   firstVideo + std::int64_t(i));
    }
    out.end();

    out.begin("Connections");
    if (rooted) connection(out, root, 0);
    for (std::size_t i = 0; i < scene.meshes.size(); ++i) {
        const std::int64_t model = firstModel + std::int64_t(i);
        connection(out, model, rooted ? root : 0);
        connection(out, firstGeometry + std::int64_t(i), model);
        if (scene.meshes[i].material)
            connection(out, firstMaterial + std::int64_t(*scene.meshes[i].material), model);
    }
    for (std::size_t i = 0; i < scene.materials.size(); ++i) {
        if (scene.materials[i].texture) {
            connection(out, firstTexture + std::int64_t(*scene.materials[i].texture),
                       firstMaterial + std::int64_t(i), "DiffuseColor");
        }
    }
    for (std::size_t i = 0; i < images.size(); ++i) {
        connection(out, firstVideo + std::int64_t(i), firstTexture + std::int64_t(i));
    }
    out.end();

    out.begin("Takes");
    single(out, "Current", "");
    out.end();
    out.finish(write);
}

}  // namespace

// The images first, then the file that names them, which goes out piece by
// piece as the record writer hands it over; all are put in place together.
void writeFbx(const ExportScene& scene, const std::string& path, bool embedTextures, TextureFiles textureFiles) {
    std::vector<AtomicFile> staged;
    staged.reserve(scene.textures.size() + 1);
    if (!embedTextures) {
        for (const ExportTexture& texture : scene.textures) {
            const ImageFile image = imageFileOf(texture, textureFiles);
            stageNamedByContent(staged, pathBeside(path, image.name), image.bytes);
        }
    }
    AtomicFile& fbx = staged.emplace_back(path);
    try {
        encodeFbx(scene, path, embedTextures, textureFiles,
                  [&fbx](const char* bytes, std::size_t size) { fbx.write(bytes, size); });
    } catch (const FbxTooLarge& tooLarge) {
        throw WriteError(path + ": cannot write: " + tooLarge.what());
    }
    commitTogether(staged);
}

}  // namespace orvex::writers
