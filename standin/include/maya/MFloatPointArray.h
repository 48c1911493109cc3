#ifndef MFLOATPOINTARRAY_H
#define MFLOATPOINTARRAY_H

#include <maya/MFloatPoint.h>
#include <maya/MStatus.h>
#include <maya/MTypes.h>

#include <vector>

namespace standin {
class ArrayAccess;
}

STANDIN_NAMESPACE_OPEN

class OPENMAYA_EXPORT MFloatPointArray {
public:
    MFloatPointArray();
    MFloatPointArray(const MFloatPointArray& other);
    MFloatPointArray(unsigned int initialSize, const MFloatPoint& initialValue = MFloatPoint::origin);
    ~MFloatPointArray();

    MFloatPointArray& operator=(const MFloatPointArray& other);
    const MFloatPoint& operator[](unsigned int index) const;
    MFloatPoint& operator[](unsigned int index);

    // Defined here rather than in the host library: importers fill points
    // one call per vertex, and a call across the library for each of them
    // costs more than the store it makes.
    MStatus set(unsigned int index, float x, float y, float z, float w = 1.0f) {
        if (index >= fPoints.size()) return MStatus::kFailure;
        MFloatPoint& point = fPoints[index];
        point.x = x;
        point.y = y;
        point.z = z;
        point.w = w;
        return MStatus::kSuccess;
    }
    unsigned int length() const;

private:
    friend class ::standin::ArrayAccess;
    std::vector<MFloatPoint> fPoints;
};

STANDIN_NAMESPACE_CLOSE

#endif
