#include "writers/Digest.h"

#define XXH_INLINE_ALL
#include <xxhash.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <vector>

namespace orvex::writers {

struct Digest::State {
    XXH3_state_t xxh3;
};

Digest::Digest() : fState(std::make_unique<State>()) {
    XXH3_64bits_reset(&fState->xxh3);
}

Digest::~Digest() = default;
Digest::Digest(Digest&& other) noexcept = default;
Digest& Digest::operator=(Digest&& other) noexcept = default;

void Digest::add(const void* data, std::size_t size) {
    XXH3_64bits_update(&fState->xxh3, data, size);
}

std::string Digest::hex() const {
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(XXH3_64bits_digest(&fState->xxh3)));
    return text;
}

std::string digestHex(std::string_view bytes) {
    Digest digest;
    digest.add(bytes);
    return digest.hex();
}

std::optional<FileDigest> digestFile(const std::string& path) {
    // A pipe would keep the reader waiting, and a device such as /dev/zero
    // has no end.
    std::error_code error;
    if (!std::filesystem::is_regular_file(std::filesystem::u8path(path), error)) return std::nullopt;
    std::ifstream in(std::filesystem::u8path(path), std::ios::binary);
    if (!in) return std::nullopt;
    constexpr std::size_t kPiece = std::size_t{1} << 20;
    std::vector<char> piece(kPiece);
    Digest digest;
    FileDigest result;
    while (in) {
        in.read(piece.data(), static_cast<std::streamsize>(piece.size()));
        const auto got = static_cast<std::size_t>(in.gcount());
        digest.add(piece.data(), got);
        result.size += got;
    }
    if (in.bad()) return std::nullopt;
    result.digest = digest.hex();
    return result;
}

}  // namespace orvex::writers
