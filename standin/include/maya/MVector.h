#ifndef MVECTOR_H
#define MVECTOR_H

#include <maya/MTypes.h>

STANDIN_NAMESPACE_OPEN

class OPENMAYA_EXPORT MVector {
public:
    // Defined here rather than in the host library, where arrays of vectors
    // are built one element at a time: a call across the library for each
    // element costs more than the three stores.
    MVector() : x(0.0), y(0.0), z(0.0) {}
    MVector(double xx, double yy, double zz = 0.0) : x(xx), y(yy), z(zz) {}

    double x;
    double y;
    double z;
};

STANDIN_NAMESPACE_CLOSE

#endif
