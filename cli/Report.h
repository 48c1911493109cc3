#ifndef ORVEX_CLI_REPORT_H
#define ORVEX_CLI_REPORT_H

// The account of a run that --report writes, one record per input, in the
// layout docs/batch-report.md describes.

#include "cli/OutputRecord.h"

#include <standin/Scene.h>

#include <optional>
#include <string>
#include <vector>

namespace orvex::cli {

struct TextureRecord {
    std::string resolved;              // the path as the plug-in resolved it
    std::optional<std::string> found;  // the file on disk, as this system names it
    std::optional<int> resolution;     // from the file name's level (2048, 1024, 512)
};

struct FileRecord {
    std::string input;
    std::string status;  // "converted", "skipped" or "failed"
    std::string reason;  // one line, for "skipped" and "failed"
    std::string why;     // a batch's reason to convert a file it converted
    std::optional<OutputRecord> trusted;  // of a file a batch skipped: what its output was made from
    std::vector<std::string> outputs;
    std::size_t meshes = 0;
    std::size_t vertices = 0;
    std::size_t triangles = 0;
    std::vector<TextureRecord> textures;
    std::vector<std::string> warnings;
    double seconds = 0;
};

// What a texture path names on disk. Any string; asks the file system only
// whether paths exist.
TextureRecord describeTexture(const std::string& resolvedPath);

// Fills the record's meshes, vertices, triangles and textures (one per file
// texture node) from the host scene. Throws std::bad_alloc.
void describeScene(const standin::Scene& scene, FileRecord& record);

// How a report writes names and paths that are not UTF-8: for people, with
// U+FFFD in place of what is not; for the batch that reads a worker's
// report back, as their bytes, as records keep them.
enum class ReportTexts { kReadable, kExact };

// Writes the report whole or not at all. Throws WriteError.
void writeReport(const std::string& path, const std::vector<FileRecord>& files, ReportTexts texts);

// The first record of a report that this program wrote, or nothing when the
// file is missing or not such a report.
std::optional<FileRecord> readFirstRecord(const std::string& path);

}  // namespace orvex::cli

#endif
