#ifndef MFLOATARRAY_H
#define MFLOATARRAY_H

#include <maya/MStatus.h>
#include <maya/MTypes.h>

#include <vector>

namespace standin {
class ArrayAccess;
}

STANDIN_NAMESPACE_OPEN

class OPENMAYA_EXPORT MFloatArray {
public:
    MFloatArray();
    MFloatArray(const MFloatArray& other);
    MFloatArray(unsigned int initialSize, float initialValue = 0.0f);
    MFloatArray(const float src[], unsigned int count);
    ~MFloatArray();

    MFloatArray& operator=(const MFloatArray& other);
    float operator[](unsigned int index) const;
    float& operator[](unsigned int index);

    unsigned int length() const;

private:
    friend class ::standin::ArrayAccess;
    std::vector<float> fValues;
};

STANDIN_NAMESPACE_CLOSE

#endif
