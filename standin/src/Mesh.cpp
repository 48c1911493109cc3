#include "Host.h"

#include <maya/MFnMesh.h>

#include <algorithm>
#include <cstdint>

namespace standin {
namespace {

const char* const kDefaultUVSet = "map1";

bool meshShape(const Node& node) {
    return node.type == "mesh";
}

// Without an early exit the test of a whole corner list vectorises; as
// unsigned values, negative ids are beyond every limit.
bool allBelow(const MIntArray& ids, std::size_t limit) {
    const auto bound = static_cast<unsigned int>(std::min<std::size_t>(limit, 1u << 31));
    bool beyond = false;
    for (const int id : ArrayAccess::values(ids)) beyond |= static_cast<unsigned int>(id) >= bound;
    return !beyond;
}

// What the host refuses to build a mesh from.
bool consistentMesh(int numVertices, int numPolygons, const MFloatPointArray& points, const MIntArray& counts,
                    const MIntArray& connects, const MFloatArray& u, const MFloatArray& v) {
    if (numVertices < 0 || numPolygons < 0) return false;
    if (static_cast<unsigned int>(numVertices) != points.length() ||
        static_cast<unsigned int>(numPolygons) != counts.length() || u.length() != v.length()) {
        return false;
    }
    std::uint64_t corners = 0;
    bool degenerate = false;
    for (const int count : ArrayAccess::values(counts)) {
        degenerate |= count < 3;
        corners += static_cast<std::uint64_t>(static_cast<unsigned int>(count));
    }
    return !degenerate && corners == connects.length() && allBelow(connects, static_cast<std::size_t>(numVertices));
}

MeshData meshData(const MFloatPointArray& points, const MIntArray& counts, const MIntArray& connects,
                  const MFloatArray& u, const MFloatArray& v) {
    MeshData mesh;
    mesh.points = ArrayAccess::values(points);
    mesh.polygonCounts = ArrayAccess::values(counts);
    mesh.polygonConnects = ArrayAccess::values(connects);
    mesh.uvSets.push_back({kDefaultUVSet, ArrayAccess::values(u), ArrayAccess::values(v), {}, {}, false});
    mesh.normalLocked.assign(points.length(), false);
    return mesh;
}

UVSet* findUVSet(MeshData& mesh, const std::string& name) {
    for (UVSet& set : mesh.uvSets) {
        if (set.name == name) return &set;
    }
    return nullptr;
}

Node* attachedMesh(const MObject& object) {
    Node* node = findNode(object);
    return node && meshShape(*node) ? node : nullptr;
}

}  // namespace
}  // namespace standin

using standin::HostCall;
using standin::journaled;

MFnMesh::MFnMesh() = default;

MFnMesh::MFnMesh(MObject& object, MStatus* ReturnStatus) {
    standin::report(standin::attachFunctionSet(fObject, "MFnMesh::attach", object, standin::meshShape),
                    ReturnStatus);
}

MFnMesh::~MFnMesh() = default;

MStatus MFnMesh::setObject(MObject& object) {
    return standin::attachFunctionSet(fObject, "MFnMesh::attach", object, standin::meshShape);
}

MObject MFnMesh::create(int numVertices, int numPolygons, const MFloatPointArray& vertexArray,
                        const MIntArray& polygonCounts, const MIntArray& polygonConnects,
                        const MFloatArray& uArray, const MFloatArray& vArray, MObject parentOrOwner,
                        MStatus* ReturnStatus) {
    HostCall call{
        "MFnMesh::create",
        {},
        "numVertices=" + std::to_string(numVertices) + " numPolygons=" + std::to_string(numPolygons),
        {"mesh"},
        {}};
    MObject made;
    const MStatus status = journaled(std::move(call), [&]() -> MStatus {
        const standin::Node* parent = standin::findNode(parentOrOwner);
        if (!parentOrOwner.isNull() && !(parent && parent->type == "transform")) return MStatus::kFailure;
        if (!standin::consistentMesh(numVertices, numPolygons, vertexArray, polygonCounts, polygonConnects,
                                     uArray, vArray)) {
            return MStatus::kFailure;
        }
        // The host's names for a mesh that it makes here and for the
        // transform that it makes above it.
        const bool underParent = parent != nullptr;
        const standin::NodeId transform =
            underParent ? parent->id : standin::addNode("transform", "polySurface").id;
        standin::Node& shape = standin::addNode("mesh", "polySurfaceShape", transform);
        shape.mesh = standin::meshData(vertexArray, polygonCounts, polygonConnects, uArray, vArray);
        fObject = standin::objectOf(shape.id);
        made = underParent ? fObject : standin::objectOf(transform);
        return MStatus::kSuccess;
    });
    standin::report(status, ReturnStatus);
    return made;
}

MStatus MFnMesh::assignUVs(const MIntArray& uvCounts, const MIntArray& uvIds, const MString* uvSet) {
    standin::Node* node = standin::attachedMesh(fObject);
    const std::string setName = uvSet ? standin::StringAccess::text(*uvSet) : standin::kDefaultUVSet;
    HostCall call{"MFnMesh::assignUVs", setName, {}, standin::typesOf(node), {}};
    return journaled(std::move(call), [&]() -> MStatus {
        standin::UVSet* set = node ? standin::findUVSet(node->mesh, setName) : nullptr;
        if (!set) return MStatus::kFailure;
        const standin::MeshData& mesh = node->mesh;
        const std::vector<int>& counts = standin::ArrayAccess::values(uvCounts);
        const std::vector<int>& ids = standin::ArrayAccess::values(uvIds);
        const bool idsAreConnects = ids == mesh.polygonConnects;
        // Connects name existing vertices, so as ids they need no second
        // check when there is a UV for every vertex.
        const bool idsExist = (idsAreConnects && set->u.size() >= mesh.points.size()) ||
                              standin::allBelow(uvIds, set->u.size());
        if (counts != mesh.polygonCounts || ids.size() != mesh.polygonConnects.size() || !idsExist) {
            return MStatus::kFailure;
        }
        set->idsAreConnects = idsAreConnects;
        if (set->idsAreConnects) {
            std::vector<int>().swap(set->uvCounts);
            std::vector<int>().swap(set->uvIds);
        } else {
            set->uvCounts = counts;
            set->uvIds = ids;
        }
        return MStatus::kSuccess;
    });
}

MStatus MFnMesh::unlockVertexNormals(MIntArray& vertexList) {
    standin::Node* node = standin::attachedMesh(fObject);
    HostCall call{"MFnMesh::unlockVertexNormals", {}, {}, standin::typesOf(node), {}};
    return journaled(std::move(call), [&]() -> MStatus {
        if (!node || !standin::allBelow(vertexList, node->mesh.points.size())) return MStatus::kFailure;
        std::vector<bool>& locked = node->mesh.normalLocked;
        // Importers pass a vertex once per polygon corner, mostly before any
        // normal is set and locked: then the walk would change nothing. Only
        // setVertexNormals locks a normal, and it sets the normals first.
        if (node->mesh.vertexNormals.empty() || std::find(locked.begin(), locked.end(), true) == locked.end()) {
            return MStatus::kSuccess;
        }
        for (const int vertex : standin::ArrayAccess::values(vertexList)) {
            locked[static_cast<std::size_t>(vertex)] = false;
        }
        return MStatus::kSuccess;
    });
}

// The stand-in's transforms are never moved, so every space gives the same
// normals; the space is only journaled.
MStatus MFnMesh::setVertexNormals(MVectorArray& normals, MIntArray& vertexList, MSpace::Space space) {
    standin::Node* node = standin::attachedMesh(fObject);
    HostCall call{"MFnMesh::setVertexNormals",
                        {},
                        "space=" + std::to_string(static_cast<int>(space)),
                        standin::typesOf(node),
                        {}};
    return journaled(std::move(call), [&]() -> MStatus {
        if (!node || normals.length() != vertexList.length() ||
            !standin::allBelow(vertexList, node->mesh.points.size())) {
            return MStatus::kFailure;
        }
        standin::MeshData& mesh = node->mesh;
        mesh.vertexNormals.resize(mesh.points.size(), standin::Normal{0.0f, 0.0f, 0.0f});
        const std::vector<MVector>& vectors = standin::ArrayAccess::values(normals);
        const std::vector<int>& vertices = standin::ArrayAccess::values(vertexList);
        for (std::size_t i = 0; i < vertices.size(); ++i) {
            const auto vertex = static_cast<std::size_t>(vertices[i]);
            mesh.vertexNormals[vertex] = {static_cast<float>(vectors[i].x), static_cast<float>(vectors[i].y),
                                          static_cast<float>(vectors[i].z)};
            mesh.normalLocked[vertex] = true;
        }
        return MStatus::kSuccess;
    });
}
