#include "mesh/MeshBuilder.h"

#include "materials/ShadingNetwork.h"

#include <maya/MFloatArray.h>
#include <maya/MFloatPoint.h>
#include <maya/MFloatPointArray.h>
#include <maya/MFnMesh.h>
#include <maya/MIntArray.h>
#include <maya/MStatus.h>
#include <maya/MString.h>
#include <maya/MTypes.h>
#include <maya/MVectorArray.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <memory>
#include <numeric>
#include <vector>

namespace orvex {
namespace {

// The game's x and z axes are the host's z and x; y is up in both.
MFloatPointArray meshPoints(const ModelMesh& mesh) {
    MFloatPointArray points(mesh.vertexCount, MFloatPoint::origin);
    for (unsigned int k = 0; k < mesh.vertexCount; ++k) {
        const ModelVertex& vertex = mesh.vertices[k];
        points.set(k, vertex.z, vertex.y, vertex.x, 1.0f);
    }
    return points;
}

MIntArray meshPolygonConnects(const ModelMesh& mesh) {
    const std::vector<int> connects(mesh.indices.begin(), mesh.indices.end());
    return MIntArray(connects.data(), mesh.indexCount);
}

MFloatArray meshUValues(const ModelMesh& mesh) {
    std::vector<float> u(mesh.vertexCount);
    for (unsigned int k = 0; k < mesh.vertexCount; ++k) {
        u[k] = mesh.vertices[k].u;
    }
    return MFloatArray(u.data(), mesh.vertexCount);
}

// The file's v runs from the top of the texture, the host's from the bottom.
MFloatArray meshVValues(const ModelMesh& mesh) {
    std::vector<float> v(mesh.vertexCount);
    for (unsigned int k = 0; k < mesh.vertexCount; ++k) {
        v[k] = 1.0f - mesh.vertices[k].v;
    }
    return MFloatArray(v.data(), mesh.vertexCount);
}

// Each byte encodes a signed component: 0 is -1 and 255 is +1. Decoded once
// for every byte value rather than three times for every vertex.
const std::array<float, 256>& normalComponents() {
    static const std::array<float, 256> components = [] {
        std::array<float, 256> table{};
        for (unsigned int byte = 0; byte < table.size(); ++byte) {
            table[byte] = static_cast<float>(2.0 * byte / 255.0 - 1.0);
        }
        return table;
    }();
    return components;
}

float decodeNormalComponent(std::uint32_t packed, unsigned int shift) {
    return normalComponents()[(packed >> shift) & 0xFF];
}

MVectorArray meshNormals(const ModelMesh& mesh) {
    const auto normals = std::make_unique<float[][3]>(mesh.vertexCount);
    for (unsigned int k = 0; k < mesh.vertexCount; ++k) {
        const std::uint32_t packed = mesh.vertices[k].normal;
        const float nx = decodeNormalComponent(packed, 16);
        const float ny = decodeNormalComponent(packed, 8);
        const float nz = decodeNormalComponent(packed, 0);
        // No byte decodes to 0, so the length is never 0. The axes swap as
        // for the points.
        const float length = std::sqrt((nx * nx + ny * ny) + nz * nz);
        normals[k][0] = nz / length;
        normals[k][1] = ny / length;
        normals[k][2] = nx / length;
    }
    return MVectorArray(normals.get(), mesh.vertexCount);
}

// Filled here and handed over whole: every element access of a host array
// is a call into the host.
MIntArray vertexNumbers(unsigned int vertexCount) {
    std::vector<int> numbers(vertexCount);
    std::iota(numbers.begin(), numbers.end(), 0);
    return MIntArray(numbers.data(), vertexCount);
}

}  // namespace

bool buildScene(Model& model, const MObject& /*parent*/) {
    bool built = false;
    for (const ModelMesh& mesh : model.meshes) {
        if (buildMesh(model, mesh)) {
            built = true;
        }
    }
    return built;
}

bool buildMesh(Model& model, const ModelMesh& mesh) {
    MStatus status = MStatus::kFailure;
    MFnMesh fnMesh;
    MObject meshObject;
    bool normalsUnlocked = false;
    {
        // The points and UVs live only through the creation and the topology
        // until the normals are unlocked: the host holds its own copies, and
        // an import of a large file then holds one step's arrays of a mesh
        // beside the scene, not all of them.
        const unsigned int triangleCount = mesh.indexCount / 3;
        const MIntArray polygonCounts(triangleCount, 3);
        MIntArray polygonConnects = meshPolygonConnects(mesh);
        meshObject = fnMesh.create(static_cast<int>(mesh.vertexCount), static_cast<int>(triangleCount),
                                   meshPoints(mesh), polygonCounts, polygonConnects, meshUValues(mesh),
                                   meshVValues(mesh), MObject::kNullObj, &status);
        if (!status) {
            return false;
        }
        const MString uvSetName("map1");
        fnMesh.assignUVs(polygonCounts, polygonConnects, &uvSetName);
        normalsUnlocked = static_cast<bool>(fnMesh.unlockVertexNormals(polygonConnects));
    }
    if (normalsUnlocked) {
        MVectorArray normals = meshNormals(mesh);
        MIntArray normalVertices = vertexNumbers(mesh.vertexCount);
        fnMesh.setVertexNormals(normals, normalVertices, MSpace::kWorld);
    }
    assignMaterial(model, mesh, meshObject);
    return true;
}

}  // namespace orvex
