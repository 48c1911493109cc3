// A plug-in module for the plug-in loading tests, with two translators:
// ProbeGuess only guesses, from a file's first bytes; ProbeImport is sure
// of every file whose name ends in ".probe". Either reader leaves the path
// it was given in a new file node's "fileTextureName" for the test to read.

#include <maya/MFnDependencyNode.h>
#include <maya/MFnPlugin.h>
#include <maya/MPlug.h>
#include <maya/MPxFileTranslator.h>

#include <cstring>
#include <string>

namespace {

class ProbeReader : public MPxFileTranslator {
public:
    MStatus reader(const MFileObject& file, const MString& options, FileAccessMode mode) override {
        if (options.length() != 0 || mode != kImportAccessMode) return MStatus::kFailure;
        MFnDependencyNode node;
        MStatus status;
        node.create("file", &status);
        if (!status) return status;
        return node.findPlug("fileTextureName").setValue(file.resolvedFullName().asChar());
    }
};

class ProbeGuess : public ProbeReader {
public:
    static void* creator() { return new ProbeGuess; }

    // The host never hands over more than its fixed number of leading bytes.
    MFileKind identifyFile(const MFileObject&, const char* buffer, short size) const override {
        const bool guessed = size >= 5 && size <= 1024 && std::memcmp(buffer, "GUESS", 5) == 0;
        return guessed ? kCouldBeMyFileType : kNotMyFileType;
    }
};

class ProbeImport : public ProbeReader {
public:
    static void* creator() { return new ProbeImport; }

    MFileKind identifyFile(const MFileObject& file, const char*, short) const override {
        const std::string name = file.resolvedName().asChar();
        const std::string suffix = ".probe";
        const bool ours = name.size() > suffix.size() &&
                          name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0;
        return ours ? kIsMyFileType : kNotMyFileType;
    }
};

// Registration takes plain char pointers, so these texts cannot be const.
char kNoPixmap[] = "none";
char kEmptyPixmap[] = "";
char kOptionsScript[] = "probeOptions";
char kDefaultOptions[] = "-v";

}  // namespace

// Besides registering, tries two things the host must refuse, which the
// test reads from the journal: the plug-in object as a scene node, and a
// name registered twice.
PLUGIN_EXPORT MStatus initializePlugin(MObject obj) {
    MFnDependencyNode asNode(obj);
    MFnPlugin plugin(obj, "Probe Vendor", "1.0", "Any");
    MStatus status = plugin.registerFileTranslator("ProbeGuess", kNoPixmap, ProbeGuess::creator);
    if (!status) return status;
    plugin.registerFileTranslator("ProbeGuess", kNoPixmap, ProbeImport::creator);
    return plugin.registerFileTranslator("ProbeImport", kEmptyPixmap, ProbeImport::creator, kOptionsScript,
                                         kDefaultOptions, true);
}

PLUGIN_EXPORT MStatus uninitializePlugin(MObject obj) {
    MFnPlugin plugin(obj);
    const MStatus status = plugin.deregisterFileTranslator("ProbeImport");
    if (!status) return status;
    return plugin.deregisterFileTranslator("ProbeGuess");
}
