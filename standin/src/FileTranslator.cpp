// The translator base class answers as the host's own does for a
// translator that overrides nothing: it can neither read nor write and
// claims no file.

#include "Host.h"

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

namespace {

// Either separator counts, since the importer's paths are Windows paths
// whichever system the host runs on.
MString fileNameOf(const MString& fullName) {
    const std::string& path = standin::StringAccess::text(fullName);
    const std::string::size_type separator = path.find_last_of("/\\");
    return separator == std::string::npos ? fullName
                                          : standin::StringAccess::fromText(path.substr(separator + 1));
}

// Journaled so that a test can tell which of the forms a plug-in calls.
MString journaledName(const char* operation, const MString& result) {
    standin::record({operation, standin::StringAccess::text(result), "", {}, {}}, true);
    return result;
}

}  // namespace

MString MFileObject::resolvedFullName() const {
    return journaledName("MFileObject::resolvedFullName", fFullName);
}

MString MFileObject::resolvedName() const {
    return journaledName("MFileObject::resolvedName", fileNameOf(fFullName));
}

MString MFileObject::fullName() const {
    return journaledName("MFileObject::fullName", fFullName);
}

MString MFileObject::name() const {
    return journaledName("MFileObject::name", fileNameOf(fFullName));
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
