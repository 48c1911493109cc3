#ifndef ORVEX_WRITERS_DIGEST_H
#define ORVEX_WRITERS_DIGEST_H

// Digests of file contents (64-bit XXH3), written as 16 hexadecimal digits:
// the name of a file beside an output that changes with what it holds, and
// the program's way of telling whether a file changed.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace orvex::writers {

// Digests bytes given in any number of pieces.
class Digest {
public:
    Digest();
    ~Digest();
    Digest(Digest&& other) noexcept;
    Digest& operator=(Digest&& other) noexcept;

    void add(const void* data, std::size_t size);
    void add(std::string_view bytes) { add(bytes.data(), bytes.size()); }
    // Of everything added so far.
    std::string hex() const;

private:
    struct State;
    std::unique_ptr<State> fState;
};

std::string digestHex(std::string_view bytes);

struct FileDigest {
    std::uint64_t size = 0;
    std::string digest;
};

// The digest of the file at `path` (UTF-8), read in pieces; nothing when it
// is no regular file or cannot be read to its end.
std::optional<FileDigest> digestFile(const std::string& path);

}  // namespace orvex::writers

#endif
