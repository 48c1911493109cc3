#ifndef MVECTORARRAY_H
#define MVECTORARRAY_H

#include <maya/MStatus.h>
#include <maya/MTypes.h>
#include <maya/MVector.h>

#include <vector>

namespace standin {
class ArrayAccess;
}

STANDIN_NAMESPACE_OPEN

class OPENMAYA_EXPORT MVectorArray {
public:
    MVectorArray();
    MVectorArray(const MVectorArray& other);
    MVectorArray(const float vectors[][3], unsigned int count);
    ~MVectorArray();

    MVectorArray& operator=(const MVectorArray& other);
    const MVector& operator[](unsigned int index) const;
    MVector& operator[](unsigned int index);

    unsigned int length() const;

private:
    friend class ::standin::ArrayAccess;
    std::vector<MVector> fVectors;
};

STANDIN_NAMESPACE_CLOSE

#endif
