#ifndef ORVEX_WRITERS_FBXRECORDS_H
#define ORVEX_WRITERS_FBXRECORDS_H

// The binary FBX 7.4 encoding, and nothing of what the records mean. A file
// is a header, a list of named records and a footer. Each record holds typed
// properties and then a list of nested records, and begins with the offset of
// its own end from the start of the file, so that a reader can step over it;
// offsets and counts are 32 bits wide in this version. A list of nested
// records ends with a null record (13 zero bytes), and so does a record
// without properties or nested records unless it is the last of its list,
// as the FBX SDK writes them.
//
// Records are written in the order they are begun; a record's properties
// all come before its first nested record, and end() closes the record begun
// last. Every value goes out little-endian, and arrays of more than
// kStoredArrayLimit bytes are deflated at one fixed level, each as a zlib
// stream of its own, so that the same calls always give the same bytes.
// Arrays are deflated on the process's share of the cores (Parallel.h),
// several at once, while their place in the file waits for them: the
// offsets that follow one are made good once its size is known.

#include <array>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace orvex::writers {

constexpr std::uint32_t kFbxVersion = 7400;

// Readers that go through the FBX SDK check the footer's code against the
// file's FileId and CreationTime; these three values belong together.
constexpr char kFbxCreationTime[] = "1970-01-01 10:00:00:000";
constexpr std::array<std::uint8_t, 16> kFbxFileId = {0x28, 0xb3, 0x2a, 0xeb, 0xb6, 0x24, 0xcc, 0xc2,
                                                     0xbf, 0xc8, 0xb0, 0x2a, 0xa9, 0x2b, 0xfc, 0xf1};

// Arrays of at most this many bytes are stored as they are: deflate would
// barely shrink them.
constexpr std::size_t kStoredArrayLimit = 128;

// Thrown when the file would pass what 32-bit offsets and counts can
// describe (4 GiB).
class FbxTooLarge : public std::exception {
public:
    const char* what() const noexcept override { return "more than an FBX 7.4 file can hold (4 GiB)"; }
};

class FbxRecordWriter {
public:
    // Starts the file with its header.
    FbxRecordWriter();

    void begin(std::string_view name);
    void end();

    void addBool(bool value);                                     // C
    void addInt32(std::int32_t value);                            // I
    void addInt64(std::int64_t value);                            // L
    void addDouble(double value);                                 // D
    void addString(std::string_view value);                       // S
    void addRaw(std::string_view bytes);                          // R
    void addInt32Array(const std::vector<std::int32_t>& values);  // i
    void addDoubleArray(const std::vector<double>& values);       // d

    // Writes values[first, first + count) of the array to `out`.
    using DoubleSource = std::function<void(std::size_t first, std::size_t count, double* out)>;
    // A double array of `count` values that the writer makes itself, into
    // the memory it deflates from, so that the caller need never hold it:
    // mesh data widened from floats, or spread from vertices to triangle
    // corners.
    void addDoubleArray(std::size_t count, const DoubleSource& values);  // d

    // Closes the top level and hands the whole file, footer included, to
    // `write` piece by piece, in order. Every record begun must have ended.
    // Throws FbxTooLarge before anything is written, and std::bad_alloc when
    // memory runs out, as every call here may; what `write` throws passes.
    using Sink = std::function<void(const char* bytes, std::size_t size)>;
    void finish(const Sink& write);

private:
    struct Open {
        std::size_t start = 0;  // of the record's header
        std::size_t propertiesStart = 0;
        std::uint32_t properties = 0;
        bool propertiesClosed = false;
        bool hasChildren = false;
        // The last nested record has neither properties nor nested records,
        // and so ends in a null record that the last of a list goes without.
        bool lastChildBare = false;
        std::size_t lastChildStart = 0;
    };

    // Memory for an array's values, handed from array to array, so that
    // each round of arrays reuses what the last one touched.
    struct Buffer {
        std::unique_ptr<unsigned char[]> data;
        std::size_t capacity = 0;
    };
    struct FreeDeleter {
        void operator()(unsigned char* bytes) const;
    };

    // A deflated array's bytes, which go at `at` in fBytes, where its
    // compressed length stands just before.
    struct Deflated {
        std::size_t at = 0;
        Buffer values;  // until deflated
        std::size_t valueBytes = 0;
        std::unique_ptr<unsigned char, FreeDeleter> bytes;  // from malloc, shrunk to its size
        std::size_t size = 0;
    };

    // A 32-bit value in fBytes that counts bytes of the file: an offset
    // from its start, or the length of a span that starts at `spanStart`.
    // Both grow by the deflated arrays before the offset or in the span.
    struct Offset {
        std::size_t at = 0;
        bool isSpan = false;
        std::size_t spanStart = 0;
    };

    void beginProperty(char type);
    void closeProperties(Open& record);
    void closeList(Open& record);
    void appendU32(std::size_t value);
    void patchOffset(std::size_t at, std::size_t offset);
    void patchSpan(std::size_t at, std::size_t spanStart);
    using Source = std::function<void(std::size_t first, std::size_t count, void* out)>;
    void appendArray(char type, std::size_t count, std::size_t elementSize, const Source& values);
    void deflatePending();
    Buffer takeBuffer(std::size_t size);

    // The file without its deflated arrays, whose places are in fArrays.
    std::string fBytes;
    std::vector<Deflated> fArrays;
    std::vector<Buffer> fFreeBuffers;
    std::size_t fFirstPending = 0;  // of fArrays, the first not yet deflated
    std::size_t fPendingBytes = 0;
    std::vector<Offset> fOffsets;
    // The records begun and not yet ended, below them the top level.
    std::vector<Open> fOpen;
};

}  // namespace orvex::writers

#endif
