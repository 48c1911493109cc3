#include "host/OrvexModelImport.h"

#include "mesh/MeshBuilder.h"
#include "model/HostPath.h"
#include "model/Model.h"

#include <maya/MObject.h>
#include <maya/MTypes.h>

#include <cstring>
#include <string>

namespace orvex {

namespace {

const char kModelSuffix[] = ".model";
constexpr std::size_t kModelSuffixLength = sizeof(kModelSuffix) - 1;

char toLowerAscii(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool endsWithModelSuffix(const char* name, std::size_t length)
{
    const char* tail = name + length - kModelSuffixLength;
    for (std::size_t i = 0; i < kModelSuffixLength; ++i) {
        if (toLowerAscii(tail[i]) != kModelSuffix[i]) return false;
    }
    return true;
}

// Devkits from 2019 on deprecate fullName() and name() in favour of their
// resolved forms; with older ones the plug-in keeps the calls it was first
// built with.
#if MAYA_API_VERSION >= 20190000
MString fullNameOf(const MFileObject& file)
{
    return file.resolvedFullName();
}

MString nameOf(const MFileObject& file)
{
    return file.resolvedName();
}
#else
MString fullNameOf(const MFileObject& file)
{
    return file.fullName();
}

MString nameOf(const MFileObject& file)
{
    return file.name();
}
#endif

}  // namespace

void* OrvexModelImport::creator()
{
    return new OrvexModelImport;
}

MStatus OrvexModelImport::reader(const MFileObject& file, const MString&, FileAccessMode)
{
    // The host process must never see an exception: running out of memory
    // on a hostile file, for one, becomes a failed import. The model is
    // released by then, whatever was thrown.
    try {
        const std::string modelPath = pathFromHost(fullNameOf(file));
        Model model;
        if (!loadModel(modelPath, model)) return MStatus::kFailure;
        return buildScene(model, MObject::kNullObj) ? MStatus::kSuccess : MStatus::kFailure;
    } catch (...) {
        return MStatus::kFailure;
    }
}

bool OrvexModelImport::haveReadMethod() const
{
    return true;
}

bool OrvexModelImport::haveWriteMethod() const
{
    return false;
}

MString OrvexModelImport::defaultExtension() const
{
    return "model";
}

bool OrvexModelImport::canBeOpened() const
{
    return false;
}

MPxFileTranslator::MFileKind OrvexModelImport::identifyFile(const MFileObject& file, const char*, short) const
{
    const MString name = nameOf(file);
    const char* text = name.asChar();
    const std::size_t length = std::strlen(text);
    if (length <= kModelSuffixLength) return kNotMyFileType;
    return endsWithModelSuffix(text, length) ? kIsMyFileType : kNotMyFileType;
}

}  // namespace orvex
