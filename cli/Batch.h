#ifndef ORVEX_CLI_BATCH_H
#define ORVEX_CLI_BATCH_H

#include <string>
#include <vector>

namespace orvex::cli {

struct BatchOptions {
    // ".model" files, and folders searched for them at every depth.
    std::vector<std::string> inputs;
    std::string outputDirectory;
    std::string format;        // the outputs' extension without its dot: glb, gltf, obj, fbx, json or png
    std::string contactSheet;  // a PNG file to write, or empty for none
    unsigned parallel = 1;
    std::string pluginPath;  // empty for the default
    std::string size;        // --size as given, for PNG outputs; empty for the default
    std::string view;        // --view as given; empty for the default
    bool embedTextures = false;  // FBX outputs: images inside the file
};

// Converts every file, each by a worker process running this program on
// that one file, and reports on standard error: a progress bar when it is
// a terminal, else one line per file in input order; then a summary.
// Returns the exit status: 0 when every file converted, 1 when any failed,
// 3 when only the contact sheet could not be written. Throws Failure for
// inputs that cannot be turned into a list of work.
int runBatch(const BatchOptions& options);

}  // namespace orvex::cli

#endif
