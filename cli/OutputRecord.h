#ifndef ORVEX_CLI_OUTPUTRECORD_H
#define ORVEX_CLI_OUTPUTRECORD_H

// What a batch's output was made from, kept in the output folder so that a
// later batch converts a file again exactly when a fresh conversion would
// give something else. File times cannot tell that: a model restored from a
// backup keeps its old time, and a texture that appears or disappears
// changes no time the output could be compared with. So the record holds
// digests of everything the conversion reads (the model and each texture
// file the import finds, under the plug-in's own rules), of the program and
// the plug-in, the options that shape the output, and the digests of the
// files written.

#include "writers/Digest.h"

#include <nlohmann/json.hpp>

#include <cstddef>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace orvex::cli {

struct FileState {
    std::string path;
    std::uint64_t size = 0;
    std::string digest;
};

struct TextureState {
    std::string name;                // as the model names it
    std::string resolved;            // the path the plug-in resolves it to
    std::optional<FileState> found;  // the file on disk that path names, as this system names it
};

// What a conversion reads: the model and, for each texture name it holds,
// the file the import uses. Taken before the conversion reads anything, so
// that a file that changes meanwhile is seen as changed by the next batch.
struct InputState {
    FileState model;
    std::string contentRoot;
    std::vector<TextureState> textures;  // one per distinct texture name, in the model's order
    std::size_t meshes = 0;
    std::size_t vertices = 0;
    std::size_t triangles = 0;
};

struct OutputRecord {
    std::string program;  // digests
    std::string plugin;
    std::string options;  // those that shape the output, as given on the command line
    InputState inputs;
    std::vector<FileState> outputs;  // names in the output's folder, the output last
};

// Digests of files, each read once however many models name it.
class DigestCache {
public:
    std::optional<writers::FileDigest> digest(const std::string& path);

private:
    std::map<std::string, std::optional<writers::FileDigest>> fDigests;
};

// Reads the model at `modelPath` (absolute, as the plug-in is given it) and
// finds its textures as the import does. Nothing when the model cannot be
// read. Any bytes are safe; throws std::bad_alloc.
std::optional<InputState> readInputs(const std::string& modelPath, DigestCache& digests);

// Why a conversion now would not give what `record` describes, in one line
// naming what changed; empty when it would. `current` holds the record's
// program, plug-in, options and inputs as they are now; the outputs are
// looked for in `outputFolder`.
std::string whatChanged(const OutputRecord& record, const OutputRecord& current, const std::string& outputFolder,
                        DigestCache& digests);

nlohmann::ordered_json toJson(const OutputRecord& record);

// Names and paths are bytes without a declared encoding. Text that is not
// UTF-8 is kept as {"bytes": HEX}, so that it reads back as it was written.
nlohmann::ordered_json textJson(const std::string& text);

// The text that textJson wrote, or a plain string as it is. Throws
// std::exception for anything else.
std::string textFrom(const nlohmann::ordered_json& json);

// The record at `path`, or nothing when there is none or it is not one.
std::optional<OutputRecord> readRecord(const std::string& path);

// Writes the record whole or not at all. Throws WriteError.
void writeRecord(const std::string& path, const OutputRecord& record);

}  // namespace orvex::cli

#endif
