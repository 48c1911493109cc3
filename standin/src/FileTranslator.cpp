// The translator base class answers as the host's own does for a
// translator that overrides nothing: it can neither read nor write and
// claims no file.

#include <maya/MFileObject.h>
#include <maya/MPxFileTranslator.h>

#include <string>

MFileObject::MFileObject() = default;
MFileObject::MFileObject(const MFileObject& other) = default;
MFileObject& MFileObject::operator=(const MFileObject& other) = default;
MFileObject::~MFileObject() = default;

MStatus MFileObject::setRawFullName(const MString& fullName) {
    fFullName = fullName;
    return MStatus::kSuccess;
}

MString MFileObject::fullName(MStatus* ReturnStatus) const {
    if (ReturnStatus) *ReturnStatus = MStatus::kSuccess;
    return fFullName;
}

// Either separator counts, since the importer's paths are Windows paths
// whichever system the host runs on.
MString MFileObject::name(MStatus* ReturnStatus) const {
    if (ReturnStatus) *ReturnStatus = MStatus::kSuccess;
    const std::string path = fFullName.asChar();
    const std::string::size_type separator = path.find_last_of("/\\");
    return separator == std::string::npos ? fFullName : MString(path.substr(separator + 1).c_str());
}

MPxFileTranslator::MPxFileTranslator() = default;
MPxFileTranslator::~MPxFileTranslator() = default;

MStatus MPxFileTranslator::reader(const MFileObject&, const MString&, FileAccessMode) {
    return MStatus::kFailure;
}
MStatus MPxFileTranslator::writer(const MFileObject&, const MString&, FileAccessMode) {
    return MStatus::kFailure;
}
bool MPxFileTranslator::haveReadMethod() const {
    return false;
}
bool MPxFileTranslator::haveWriteMethod() const {
    return false;
}
bool MPxFileTranslator::haveNamespaceSupport() const {
    return false;
}
bool MPxFileTranslator::haveReferenceMethod() const {
    return false;
}
MString MPxFileTranslator::defaultExtension() const {
    return MString();
}
MString MPxFileTranslator::filter() const {
    return MString("*.*");
}
bool MPxFileTranslator::canBeOpened() const {
    return false;
}

MPxFileTranslator::MFileKind MPxFileTranslator::identifyFile(const MFileObject&, const char*, short) const {
    return kNotMyFileType;
}
