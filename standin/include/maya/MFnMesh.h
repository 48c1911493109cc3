#ifndef MFNMESH_H
#define MFNMESH_H

#include <maya/MFloatArray.h>
#include <maya/MFloatPointArray.h>
#include <maya/MFnDagNode.h>
#include <maya/MIntArray.h>
#include <maya/MObject.h>
#include <maya/MStatus.h>
#include <maya/MString.h>
#include <maya/MTypes.h>
#include <maya/MVectorArray.h>

STANDIN_NAMESPACE_OPEN

class OPENMAYA_EXPORT MFnMesh : public MFnDagNode {
public:
    MFnMesh();
    MFnMesh(MObject& object, MStatus* ReturnStatus = NULL);
    ~MFnMesh() override;

    MStatus setObject(MObject& object) override;

    // Makes a mesh from complete arrays. With a null parent the host also
    // makes a transform for it and returns that transform; the function set
    // is then attached to the new mesh shape.
    MObject create(int numVertices, int numPolygons, const MFloatPointArray& vertexArray,
                   const MIntArray& polygonCounts, const MIntArray& polygonConnects,
                   const MFloatArray& uArray, const MFloatArray& vArray,
                   MObject parentOrOwner = MObject::kNullObj, MStatus* ReturnStatus = NULL);

    MStatus assignUVs(const MIntArray& uvCounts, const MIntArray& uvIds, const MString* uvSet = NULL);

    // The array parameters are not const in older host versions; declared the
    // same way here.
    MStatus unlockVertexNormals(MIntArray& vertexList);
    MStatus setVertexNormals(MVectorArray& normals, MIntArray& vertexList,
                             MSpace::Space space = MSpace::kObject);
};

STANDIN_NAMESPACE_CLOSE

#endif
