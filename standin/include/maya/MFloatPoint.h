#ifndef MFLOATPOINT_H
#define MFLOATPOINT_H

#include <maya/MTypes.h>

STANDIN_NAMESPACE_OPEN

class OPENMAYA_EXPORT MFloatPoint {
public:
    MFloatPoint();
    MFloatPoint(float xx, float yy, float zz = 0.0f, float ww = 1.0f);

    static const MFloatPoint origin;

    float x;
    float y;
    float z;
    float w;
};

STANDIN_NAMESPACE_CLOSE

#endif
