#ifndef MPXFILETRANSLATOR_H
#define MPXFILETRANSLATOR_H

#include <maya/MFileObject.h>
#include <maya/MStatus.h>
#include <maya/MString.h>
#include <maya/MTypes.h>

STANDIN_NAMESPACE_OPEN

class OPENMAYA_EXPORT MPxFileTranslator {
public:
    enum MFileKind { kIsMyFileType, kCouldBeMyFileType, kNotMyFileType };

    enum FileAccessMode {
        kUnknownAccessMode,
        kOpenAccessMode,
        kReferenceAccessMode,
        kImportAccessMode,
        kSaveAccessMode,
        kExportAccessMode,
        kExportActiveAccessMode
    };

    MPxFileTranslator();
    virtual ~MPxFileTranslator();

    virtual MStatus reader(const MFileObject& file, const MString& optionsString, FileAccessMode mode);
    virtual MStatus writer(const MFileObject& file, const MString& optionsString, FileAccessMode mode);
    virtual bool haveReadMethod() const;
    virtual bool haveWriteMethod() const;
    virtual bool haveNamespaceSupport() const;
    virtual bool haveReferenceMethod() const;
    virtual MString defaultExtension() const;
    virtual MString filter() const;
    virtual bool canBeOpened() const;
    virtual MFileKind identifyFile(const MFileObject& file, const char* buffer, short size) const;
};

STANDIN_NAMESPACE_CLOSE

#endif
