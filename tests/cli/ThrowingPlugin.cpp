// A plug-in module whose reader claims every ".model" file and then throws,
// as a faulty build of a plug-in might: the program must fail the import in
// one line, never abort. A file whose name holds "crash" takes the process
// down instead, as a fault that no handler catches does; "term" ends it
// through std::terminate, which the program turns into a line; and one whose
// name holds "hang" keeps the reader busy for an hour.

#include <maya/MFnPlugin.h>
#include <maya/MPxFileTranslator.h>

#include <chrono>
#include <cstdlib>
#include <exception>
#include <stdexcept>
#include <string>
#include <thread>

namespace {

class ThrowingImport : public MPxFileTranslator {
public:
    static void* creator() { return new ThrowingImport; }

    MStatus reader(const MFileObject& file, const MString&, FileAccessMode) override {
        const std::string name = file.resolvedName().asChar();
        if (name.find("crash") != std::string::npos) std::abort();
        if (name.find("term") != std::string::npos) std::terminate();
        if (name.find("hang") != std::string::npos) std::this_thread::sleep_for(std::chrono::hours(1));
        throw std::logic_error("a reader that throws");
    }

    MFileKind identifyFile(const MFileObject& file, const char*, short) const override {
        const std::string name = file.resolvedName().asChar();
        const std::string suffix = ".model";
        const bool ours = name.size() > suffix.size() &&
                          name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0;
        return ours ? kIsMyFileType : kNotMyFileType;
    }
};

// Registration takes plain char pointers, so this text cannot be const.
char kNoPixmap[] = "none";

}  // namespace

PLUGIN_EXPORT MStatus initializePlugin(MObject obj) {
    MFnPlugin plugin(obj, "Test Vendor", "1.0", "Any");
    return plugin.registerFileTranslator("ThrowingImport", kNoPixmap, ThrowingImport::creator);
}

PLUGIN_EXPORT MStatus uninitializePlugin(MObject obj) {
    MFnPlugin plugin(obj);
    return plugin.deregisterFileTranslator("ThrowingImport");
}
