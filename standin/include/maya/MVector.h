#ifndef MVECTOR_H
#define MVECTOR_H

#include <maya/MTypes.h>

class OPENMAYA_EXPORT MVector {
public:
    MVector();
    MVector(double xx, double yy, double zz = 0.0);

    double x;
    double y;
    double z;
};

#endif
