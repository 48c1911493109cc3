#ifndef STANDIN_SCENE_H
#define STANDIN_SCENE_H

// The stand-in host's in-memory scene, as the tests and the orvex-import
// program read it. The importer itself never includes this header: it sees
// the scene only through the host API under maya/.

#include <maya/MFloatPoint.h>
#include <maya/MObject.h>
#include <maya/MTypes.h>

#include <map>
#include <string>
#include <vector>

namespace standin {

using NodeId = unsigned int;
constexpr NodeId kNoNode = 0;

// Points are kept as the host API hands them over, so that a mesh's points
// are taken in one copy.
using Point = MFloatPoint;

struct Normal {
    float x, y, z;
};

// The UVs of a set are assigned to polygon corners by per-polygon counts and
// per-corner ids. Importers that keep one UV per vertex assign the mesh's own
// polygon counts and connects; the host then sets `idsAreConnects` and keeps
// uvCounts and uvIds empty instead of holding a second copy of the largest
// arrays of the mesh. Read the assignment through uvCountsOf and uvIdsOf,
// which see through either form.
struct UVSet {
    std::string name;
    std::vector<float> u;         // one value per UV
    std::vector<float> v;
    std::vector<int> uvCounts;    // per polygon, once assigned; empty before, or when idsAreConnects
    std::vector<int> uvIds;       // per polygon corner, once assigned; empty before, or when idsAreConnects
    bool idsAreConnects = false;  // assigned: corner k has UV polygonConnects[k]
};

struct MeshData {
    std::vector<Point> points;
    std::vector<int> polygonCounts;
    std::vector<int> polygonConnects;
    std::vector<UVSet> uvSets;          // the set "map1" first
    std::vector<Normal> vertexNormals;  // one per vertex once any normal is set, else empty
    std::vector<bool> normalLocked;     // one per vertex
};

// The per-polygon UV counts of a set of `mesh`; empty before any assignment.
inline const std::vector<int>& uvCountsOf(const MeshData& mesh, const UVSet& set) {
    return set.idsAreConnects ? mesh.polygonCounts : set.uvCounts;
}

// The per-corner UV ids of a set of `mesh`; empty before any assignment.
inline const std::vector<int>& uvIdsOf(const MeshData& mesh, const UVSet& set) {
    return set.idsAreConnects ? mesh.polygonConnects : set.uvIds;
}

struct Node {
    NodeId id = kNoNode;
    std::string type;
    std::string name;                                // unique in the scene
    NodeId parent = kNoNode;                         // DAG parent; kNoNode for the world
    bool dag = false;                                // transform or shape
    std::map<std::string, std::string> stringValues; // attributes given a text value
    MeshData mesh;                                   // used by nodes of type "mesh"
    std::vector<NodeId> members;                     // used by sets, in order of joining
};

struct Connection {
    NodeId sourceNode;
    std::string sourceAttribute;
    NodeId destinationNode;
    std::string destinationAttribute;
};

// Pointers and references into the scene stay valid until the scene next
// changes.
class OPENMAYA_EXPORT Scene {
public:
    // Every node in creation order, the default nodes of a new scene first.
    const std::vector<Node>& nodes() const;
    const Node* find(NodeId id) const;
    const Node* find(const MObject& object) const;
    const Node* findByName(const std::string& name) const;
    std::vector<NodeId> children(NodeId parent) const;
    std::string fullPathName(NodeId id) const;
    // The attributes that nodes of a type have, in a fixed order; empty for an unknown type.
    const std::vector<std::string>& attributes(const std::string& type) const;
    const std::vector<Connection>& connections() const;
    // The connection into a destination plug, if any.
    const Connection* connectionInto(NodeId node, const std::string& attribute) const;
    // The sets that list a node as a member.
    std::vector<NodeId> setsContaining(NodeId node) const;
};

// The scene of this host process.
OPENMAYA_EXPORT const Scene& currentScene();

// Starts a new scene, as the host's File > New does: the default nodes
// ("lambert1", "initialShadingGroup") and nothing else. Also clears the
// journal and every injected fault.
OPENMAYA_EXPORT void newScene();

// The object handle of a node, as the host API hands it out.
OPENMAYA_EXPORT MObject objectOf(NodeId id);

}  // namespace standin

#endif
