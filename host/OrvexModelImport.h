#ifndef ORVEX_HOST_ORVEXMODELIMPORT_H
#define ORVEX_HOST_ORVEXMODELIMPORT_H

#include <maya/MFileObject.h>
#include <maya/MPxFileTranslator.h>
#include <maya/MStatus.h>
#include <maya/MString.h>

namespace orvex {

// The ".model" import translator. It only reads, has no options and keeps
// nothing between calls: every instance behaves the same.
class OrvexModelImport : public MPxFileTranslator {
public:
    static void* creator();

    // Imports one model file into the open scene. Reports kFailure when the
    // file cannot be opened or when no mesh of it could be created. Nothing
    // it throws reaches the host; nodes already made stay in the scene.
    MStatus reader(const MFileObject& file, const MString& optionsString, FileAccessMode mode) override;

    bool haveReadMethod() const override;
    bool haveWriteMethod() const override;
    MString defaultExtension() const override;
    bool canBeOpened() const override;

    // Claims a file by its name alone: longer than ".model" and ending in it,
    // in any letter case. The file's first bytes are not looked at.
    MFileKind identifyFile(const MFileObject& file, const char* buffer, short size) const override;
};

}  // namespace orvex

#endif
