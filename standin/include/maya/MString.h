#ifndef MSTRING_H
#define MSTRING_H

#include <maya/MTypes.h>

#include <string>

// Narrow text, copied byte for byte without any encoding conversion.
class OPENMAYA_EXPORT MString {
public:
    MString();
    MString(const char* charString);
    MString(const char* charString, int charLength);
    MString(const MString& other);
    ~MString();

    MString& operator=(const MString& other);
    MString& operator=(const char* other);
    MString& operator+=(const MString& other);
    MString& operator+=(const char* other);
    bool operator==(const MString& other) const;
    bool operator==(const char* other) const;
    bool operator!=(const MString& other) const;
    bool operator!=(const char* other) const;

    const char* asChar() const;
    unsigned int length() const;

private:
    std::string fText;
};

OPENMAYA_EXPORT MString operator+(const MString& left, const MString& right);
OPENMAYA_EXPORT MString operator+(const MString& left, const char* right);
OPENMAYA_EXPORT MString operator+(const char* left, const MString& right);

#endif
