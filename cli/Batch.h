#ifndef ORVEX_CLI_BATCH_H
#define ORVEX_CLI_BATCH_H

#include "writers/TextureFiles.h"

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
    std::string pluginPath;    // empty for the default
    std::string pluginModule;  // the module the workers load, the default or pluginPath
    std::string size;        // --size as given, for PNG outputs; empty for the default
    std::string view;        // --view as given; empty for the default
    std::string report;      // a JSON file to write at the end, or empty for none
    bool overwrite = false;  // convert files whose output is up to date too
    bool dryRun = false;     // list the work on standard output and do none of it
    bool embedTextures = false;  // FBX outputs: images inside the file
    writers::TextureFiles textureFiles = writers::TextureFiles::kPng;  // FBX and OBJ outputs
};

// Converts every file whose output a conversion now would not give (see
// OutputRecord.h), each by a worker process running this program on that
// one file, and skips the others, keeping a record of what each output was
// made from under the output folder; reports on standard
// error: a progress bar when it is a terminal, else one line per file in
// input order; then a summary, and the report when one is asked for. An
// interrupt or termination request stops the workers, removes what they
// were writing and ends the batch there, summary and report included.
// Returns the exit status: 0 when no file failed, 1 when any did, 3 when
// only the contact sheet could not be written, 130, 143 or 129 when stopped; a
// dry run 0, or 2 when outputs collide. Throws Failure for inputs that
// cannot be turned into a list of work.
int runBatch(const BatchOptions& options);

}  // namespace orvex::cli

#endif
