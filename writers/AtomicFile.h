#ifndef ORVEX_WRITERS_ATOMICFILE_H
#define ORVEX_WRITERS_ATOMICFILE_H

#include "writers/Digest.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace orvex::writers {

// A file that appears under its name only once it is complete. The bytes go
// to a temporary file in the same directory (so that the final rename stays
// on one file system and replaces the old file in one step); commit renames
// it into place. A file that is destroyed uncommitted, or whose write or
// commit failed, removes its temporary and leaves any older file of that
// name untouched.
//
// Every failure throws WriteError with a line that names the final path.
class AtomicFile {
public:
    explicit AtomicFile(std::string path);
    ~AtomicFile();
    AtomicFile(AtomicFile&& other) noexcept;
    AtomicFile& operator=(AtomicFile&& other) = delete;
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    void write(const void* data, std::size_t size);
    void write(std::string_view text) { write(text.data(), text.size()); }
    // The digest of every byte written so far.
    std::string contentDigest() const { return fDigest.hex(); }
    // Makes commit put the file at `path` instead, in the same directory:
    // for a file named after what it holds, known only once it is written.
    void setFinalPath(std::string path) { fPath = std::move(path); }
    // For a file whose name says what it holds, such as an image named by
    // its digest: a file already under that name that holds these bytes is
    // as good as this one, so commit leaves it there and drops this one.
    // Outputs written at the same time into one folder share such files,
    // and on Windows a file that another process is reading cannot be
    // replaced. One that holds other bytes (damaged, or cut short by a
    // writer that died) is replaced.
    void keepOneStanding() { fKeepOneStanding = true; }
    void commit();
    // True once commit has put this file under its name, not merely found
    // one standing there.
    bool placed() const { return fPlaced; }
    // True when the file it put there took the place of one of that name.
    bool replacedOne() const { return fReplacedOne; }

    const std::string& path() const { return fPath; }

private:
    [[noreturn]] void fail(const std::string& what);
    void discard() noexcept;
    bool standsAsWritten() const;

    std::string fPath;
    std::string fTemporaryPath;
    std::FILE* fFile = nullptr;
    Digest fDigest;
    bool fKeepOneStanding = false;
    std::uint64_t fWritten = 0;
    bool fPlaced = false;
    bool fReplacedOne = false;
};

// True for the name that an AtomicFile gives its temporary beside the final
// file, so that a run stopped while writing can find what it left.
bool isTemporaryFileName(const std::string& fileName);

// True for the temporary of a file named `fileName`.
bool isTemporaryFileOf(const std::string& temporaryName, const std::string& fileName);

// Writes a whole file through AtomicFile.
void writeFileAtomically(const std::string& path, std::string_view bytes);

struct FileBytes {
    std::string path;
    std::string_view bytes;
    // See stageNamedByContent.
    bool namedByContent = false;
};

// Adds to `staged` a file whose name says what it holds (see
// AtomicFile::keepOneStanding), written in full, unless a file that holds
// these bytes stands under that name already: that one stays, so an output
// whose writing fails cannot take it away from the outputs that name it, and
// nothing is written. A damaged one is written again.
void stageNamedByContent(std::vector<AtomicFile>& staged, const std::string& path, std::string_view bytes);

// Writes files that belong together, such as a glTF file with its buffer and
// images: every one in full under its temporary name before any is renamed
// into place, then renamed in the order given, so that a file that names the
// others, given last, appears only after them. A failure while writing
// leaves none of them changed; a failure to rename removes those already
// renamed where no file of their name stood, so that no part of the set is
// left behind.
void writeFilesAtomically(const std::vector<FileBytes>& files);

// The second half of writeFilesAtomically, for files written in full by the
// caller: renames them into place in the order given, and on a failure
// removes those it renamed where none stood (not those it found standing or
// replaced: other outputs, or the old output, may name them).
void commitTogether(std::vector<AtomicFile>& staged);

// For tests: called by commitTogether after each file it puts in place,
// with how many of how many are in place. A WriteError that it throws is
// taken as the next rename's failure; anything else it throws stops the
// commit there with nothing taken back, as a stopped process would.
void setCommitObserver(std::function<void(std::size_t committed, std::size_t total)> observer);

}  // namespace orvex::writers

#endif
