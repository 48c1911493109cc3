// The host's value types: handles, strings, points and arrays. None of
// these touch the scene, so none of them is journaled.

#include <maya/MFloatArray.h>
#include <maya/MFloatPoint.h>
#include <maya/MFloatPointArray.h>
#include <maya/MIntArray.h>
#include <maya/MObject.h>
#include <maya/MString.h>
#include <maya/MVector.h>
#include <maya/MVectorArray.h>

#include "Text.h"

#include <string>

// --- MObject ----------------------------------------------------------------

const MObject MObject::kNullObj;

MObject::MObject() : fHandle(0) {}
MObject::MObject(const MObject& other) = default;
MObject& MObject::operator=(const MObject& other) = default;
MObject::~MObject() = default;

bool MObject::isNull() const {
    return fHandle == 0;
}
bool MObject::operator==(const MObject& other) const {
    return fHandle == other.fHandle;
}
bool MObject::operator!=(const MObject& other) const {
    return fHandle != other.fHandle;
}

// --- MString ----------------------------------------------------------------

MString::MString() = default;
MString::MString(const char* charString) : fText(standin::fromLocale(charString)) {}
MString::MString(const char* charString, int charLength)
    : fText(charString && charLength > 0
                ? standin::fromLocale(charString, static_cast<std::size_t>(charLength))
                : std::string()) {}
MString::MString(const MString& other) = default;
MString::~MString() = default;

MString& MString::operator=(const MString& other) = default;
MString& MString::operator=(const char* other) {
    fText = standin::fromLocale(other);
    return *this;
}
MString& MString::operator+=(const MString& other) {
    fText += other.fText;
    return *this;
}
MString& MString::operator+=(const char* other) {
    fText += standin::fromLocale(other);
    return *this;
}
bool MString::operator==(const MString& other) const {
    return fText == other.fText;
}
bool MString::operator==(const char* other) const {
    return fText == standin::fromLocale(other);
}
bool MString::operator!=(const MString& other) const {
    return !(*this == other);
}
bool MString::operator!=(const char* other) const {
    return !(*this == other);
}

const char* MString::asChar() const {
    if (standin::localeIsUtf8()) return fText.c_str();
    fLocaleText = standin::localeFromUtf8(fText);
    return fLocaleText.c_str();
}
#if MAYA_API_VERSION >= 201100
const char* MString::asUTF8() const {
    return fText.c_str();
}
const wchar_t* MString::asWChar() const {
    fWideText = standin::wideFromUtf8(fText);
    return fWideText.c_str();
}
MStatus MString::setUTF8(const char* utf8String) {
    fText = utf8String ? utf8String : "";
    return MStatus::kSuccess;
}
#endif
unsigned int MString::length() const {
    return static_cast<unsigned int>(fText.size());
}

STANDIN_NAMESPACE_OPEN

MString operator+(const MString& left, const MString& right) {
    MString sum(left);
    sum += right;
    return sum;
}
MString operator+(const MString& left, const char* right) {
    MString sum(left);
    sum += right;
    return sum;
}
MString operator+(const char* left, const MString& right) {
    MString sum(left);
    sum += right;
    return sum;
}

STANDIN_NAMESPACE_CLOSE

// --- Points and vectors -----------------------------------------------------

const MFloatPoint MFloatPoint::origin;

MFloatPoint::MFloatPoint() : x(0.0f), y(0.0f), z(0.0f), w(1.0f) {}
MFloatPoint::MFloatPoint(float xx, float yy, float zz, float ww) : x(xx), y(yy), z(zz), w(ww) {}

// --- Arrays -----------------------------------------------------------------
// A null source with a count of 0 is an empty array, so the copy is skipped
// rather than doing arithmetic on a null pointer.

MIntArray::MIntArray() = default;
MIntArray::MIntArray(const MIntArray& other) = default;
MIntArray::MIntArray(unsigned int initialSize, int initialValue) : fValues(initialSize, initialValue) {}
MIntArray::MIntArray(const int src[], unsigned int count) {
    if (count > 0) fValues.assign(src, src + count);
}
MIntArray::~MIntArray() = default;
MIntArray& MIntArray::operator=(const MIntArray& other) = default;
int MIntArray::operator[](unsigned int index) const {
    return fValues[index];
}
int& MIntArray::operator[](unsigned int index) {
    return fValues[index];
}
unsigned int MIntArray::length() const {
    return static_cast<unsigned int>(fValues.size());
}

MFloatArray::MFloatArray() = default;
MFloatArray::MFloatArray(const MFloatArray& other) = default;
MFloatArray::MFloatArray(unsigned int initialSize, float initialValue) : fValues(initialSize, initialValue) {}
MFloatArray::MFloatArray(const float src[], unsigned int count) {
    if (count > 0) fValues.assign(src, src + count);
}
MFloatArray::~MFloatArray() = default;
MFloatArray& MFloatArray::operator=(const MFloatArray& other) = default;
float MFloatArray::operator[](unsigned int index) const {
    return fValues[index];
}
float& MFloatArray::operator[](unsigned int index) {
    return fValues[index];
}
unsigned int MFloatArray::length() const {
    return static_cast<unsigned int>(fValues.size());
}

MFloatPointArray::MFloatPointArray() = default;
MFloatPointArray::MFloatPointArray(const MFloatPointArray& other) = default;
MFloatPointArray::MFloatPointArray(unsigned int initialSize, const MFloatPoint& initialValue)
    : fPoints(initialSize, initialValue) {}
MFloatPointArray::~MFloatPointArray() = default;
MFloatPointArray& MFloatPointArray::operator=(const MFloatPointArray& other) = default;
const MFloatPoint& MFloatPointArray::operator[](unsigned int index) const {
    return fPoints[index];
}
MFloatPoint& MFloatPointArray::operator[](unsigned int index) {
    return fPoints[index];
}
unsigned int MFloatPointArray::length() const {
    return static_cast<unsigned int>(fPoints.size());
}

MVectorArray::MVectorArray() = default;
MVectorArray::MVectorArray(const MVectorArray& other) = default;
MVectorArray::MVectorArray(const float vectors[][3], unsigned int count) : fVectors(count) {
    for (unsigned int i = 0; i < count; ++i) {
        fVectors[i] = MVector(vectors[i][0], vectors[i][1], vectors[i][2]);
    }
}
MVectorArray::~MVectorArray() = default;
MVectorArray& MVectorArray::operator=(const MVectorArray& other) = default;
const MVector& MVectorArray::operator[](unsigned int index) const {
    return fVectors[index];
}
MVector& MVectorArray::operator[](unsigned int index) {
    return fVectors[index];
}
unsigned int MVectorArray::length() const {
    return static_cast<unsigned int>(fVectors.size());
}
