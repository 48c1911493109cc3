#include "writers/AtomicFile.h"

#include "writers/Digest.h"
#include "writers/Files.h"
#include "writers/WriteError.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <utility>

namespace orvex::writers {

namespace {

// Temporary names left behind by a crashed run are stepped over, not reused,
// so that two runs never share one; the bound only stops a directory full of
// them from turning into an endless search.
constexpr int kTemporaryNameTries = 100;

constexpr char kTemporarySuffix[] = ".tmp";

// File systems take names of at most 255 bytes (Windows counts UTF-16
// units, never more than the bytes).
constexpr std::size_t kMaxFileName = 255;
constexpr std::size_t kLongestTemporarySuffix = sizeof kTemporarySuffix - 1 + 2;  // and the try's number
constexpr std::size_t kLongestKeptExtension = 16;

// What a file's temporary name begins with: its own name; or, where that
// and the suffix would be more than a file system takes, a digest of its
// name and its extension, which a batch clearing a stopped run's
// temporaries still knows for an output's.
std::string temporaryBaseOf(const std::string& path) {
    const std::filesystem::path file = std::filesystem::u8path(path);
    const std::string name = file.filename().u8string();
    if (name.size() + kLongestTemporarySuffix <= kMaxFileName) return path;
    std::string extension = file.extension().u8string();
    if (extension.size() > kLongestKeptExtension) extension.clear();
    return (file.parent_path() / std::filesystem::u8path("." + digestHex(name) + extension)).u8string();
}

std::function<void(std::size_t, std::size_t)>& commitObserver() {
    static std::function<void(std::size_t, std::size_t)> observer;
    return observer;
}

std::string describeErrno(int error) {
    return error != 0 ? std::strerror(error) : "unknown error";
}

bool stands(const std::string& path) {
    std::error_code ignored;
    return std::filesystem::is_regular_file(std::filesystem::u8path(path), ignored);
}

}  // namespace

AtomicFile::AtomicFile(std::string path) : fPath(std::move(path)) {
    const std::string base = temporaryBaseOf(fPath);
    int lastError = 0;
    for (int attempt = 0; attempt < kTemporaryNameTries && fFile == nullptr; ++attempt) {
        std::string candidate = base + kTemporarySuffix + std::to_string(attempt);
        errno = 0;
        fFile = openNewFile(candidate);
        lastError = errno;
        if (fFile != nullptr) {
            fTemporaryPath = std::move(candidate);
        } else if (lastError != EEXIST) {
            break;
        }
    }
    if (fFile == nullptr) throw WriteError(fPath + ": cannot write: " + describeErrno(lastError));
}

AtomicFile::~AtomicFile() {
    discard();
}

AtomicFile::AtomicFile(AtomicFile&& other) noexcept
    : fPath(std::move(other.fPath)),
      fTemporaryPath(std::move(other.fTemporaryPath)),
      fFile(std::exchange(other.fFile, nullptr)),
      fDigest(std::move(other.fDigest)),
      fKeepOneStanding(other.fKeepOneStanding),
      fWritten(other.fWritten),
      fPlaced(other.fPlaced),
      fReplacedOne(other.fReplacedOne) {
    other.fTemporaryPath.clear();
}

void AtomicFile::write(const void* data, std::size_t size) {
    if (fFile == nullptr) fail("the file is already closed");
    if (size == 0) return;
    errno = 0;
    if (std::fwrite(data, 1, size, fFile) != size) fail(describeErrno(errno));
    fDigest.add(data, size);
    fWritten += size;
}

void AtomicFile::commit() {
    if (fFile == nullptr) fail("the file is already closed");
    errno = 0;
    if (std::fflush(fFile) != 0 || std::ferror(fFile) != 0) fail(describeErrno(errno));
    std::FILE* file = std::exchange(fFile, nullptr);
    errno = 0;
    if (std::fclose(file) != 0) fail(describeErrno(errno));
    if (fKeepOneStanding && standsAsWritten()) {
        discard();
        return;
    }
    const bool stood = stands(fPath);
    std::string why;
    if (!replaceFile(fTemporaryPath, fPath, why)) {
        // Another writer put the same file there since the test above.
        if (fKeepOneStanding && stands(fPath)) {
            discard();
            return;
        }
        fail(why);
    }
    fTemporaryPath.clear();
    fPlaced = true;
    fReplacedOne = stood;
}

bool AtomicFile::standsAsWritten() const {
    const std::optional<FileDigest> standing = digestFile(fPath);
    return standing && standing->size == fWritten && standing->digest == fDigest.hex();
}

void AtomicFile::fail(const std::string& what) {
    discard();
    throw WriteError(fPath + ": cannot write: " + what);
}

void AtomicFile::discard() noexcept {
    if (fFile != nullptr) std::fclose(std::exchange(fFile, nullptr));
    if (!fTemporaryPath.empty()) {
        std::error_code ignored;
        std::filesystem::remove(std::filesystem::u8path(fTemporaryPath), ignored);
        fTemporaryPath.clear();
    }
}

bool isTemporaryFileName(const std::string& fileName) {
    const std::size_t suffix = fileName.rfind(kTemporarySuffix);
    if (suffix == std::string::npos || suffix == 0) return false;
    const std::size_t digits = suffix + sizeof kTemporarySuffix - 1;
    return digits < fileName.size() && fileName.find_first_not_of("0123456789", digits) == std::string::npos;
}

bool isTemporaryFileOf(const std::string& temporaryName, const std::string& fileName) {
    return isTemporaryFileName(temporaryName) && temporaryName.size() > fileName.size() &&
           temporaryName.compare(0, fileName.size(), fileName) == 0 &&
           temporaryName.compare(fileName.size(), sizeof kTemporarySuffix - 1, kTemporarySuffix) == 0;
}

void writeFileAtomically(const std::string& path, std::string_view bytes) {
    AtomicFile file(path);
    file.write(bytes);
    file.commit();
}

void writeFilesAtomically(const std::vector<FileBytes>& files) {
    std::vector<AtomicFile> staged;
    staged.reserve(files.size());
    for (const FileBytes& file : files) {
        if (file.namedByContent) {
            stageNamedByContent(staged, file.path, file.bytes);
        } else {
            staged.emplace_back(file.path);
            staged.back().write(file.bytes);
        }
    }
    commitTogether(staged);
}

void stageNamedByContent(std::vector<AtomicFile>& staged, const std::string& path, std::string_view bytes) {
    const std::optional<FileDigest> standing = digestFile(path);
    if (standing && standing->size == bytes.size() && standing->digest == digestHex(bytes)) return;
    staged.emplace_back(path);
    staged.back().keepOneStanding();
    staged.back().write(bytes);
}

void setCommitObserver(std::function<void(std::size_t committed, std::size_t total)> observer) {
    commitObserver() = std::move(observer);
}

void commitTogether(std::vector<AtomicFile>& staged) {
    std::size_t committed = 0;
    try {
        for (AtomicFile& file : staged) {
            file.commit();
            ++committed;
            if (commitObserver()) commitObserver()(committed, staged.size());
        }
    } catch (const WriteError&) {
        // Companions without the file that names them are no output at all:
        // take back the ones this call already put in place. One that took
        // the place of a file of its name stays: it is named by what it
        // holds, the old output may name it, and taking it back would leave
        // neither.
        for (std::size_t i = 0; i < committed; ++i) {
            if (!staged[i].placed() || staged[i].replacedOne()) continue;
            std::error_code ignored;
            std::filesystem::remove(std::filesystem::u8path(staged[i].path()), ignored);
        }
        throw;
    }
}

}  // namespace orvex::writers
