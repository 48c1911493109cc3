#ifndef MINTARRAY_H
#define MINTARRAY_H

#include <maya/MStatus.h>
#include <maya/MTypes.h>

#include <vector>

namespace standin {
class ArrayAccess;
}

STANDIN_NAMESPACE_OPEN

class OPENMAYA_EXPORT MIntArray {
public:
    MIntArray();
    MIntArray(const MIntArray& other);
    MIntArray(unsigned int initialSize, int initialValue = 0);
    MIntArray(const int src[], unsigned int count);
    ~MIntArray();

    MIntArray& operator=(const MIntArray& other);
    int operator[](unsigned int index) const;
    int& operator[](unsigned int index);

    unsigned int length() const;

private:
    friend class ::standin::ArrayAccess;
    std::vector<int> fValues;
};

STANDIN_NAMESPACE_CLOSE

#endif
