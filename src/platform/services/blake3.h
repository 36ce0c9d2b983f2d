#pragma once
// BLAKE3 hashing (the plain hash mode), portable C++. The content hash of the blob store.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace mail::services {

class Blake3 {
public:
    static constexpr std::size_t kOutLen = 32;

    Blake3();

    // Feeds more input; any split of the same bytes gives the same hash.
    void update(const void* data, std::size_t size);
    void update(std::string_view bytes) { update(bytes.data(), bytes.size()); }

    // The hash of everything fed so far; the hasher can keep going afterwards.
    std::array<std::uint8_t, kOutLen> finalize() const;
    // Extendable output: any number of bytes, the first 32 being the ordinary hash.
    void finalize(std::uint8_t* out, std::size_t size) const;
    // Lower-case hexadecimal of the 32-byte hash.
    std::string finalize_hex() const;

private:
    struct ChunkState {
        std::array<std::uint32_t, 8> cv;
        std::uint64_t counter = 0;
        std::array<std::uint8_t, 64> block{};
        std::uint8_t block_len = 0;
        std::uint8_t blocks_compressed = 0;
        std::size_t len() const { return 64u * blocks_compressed + block_len; }
    };

    void push_chunk_cv(std::array<std::uint32_t, 8> cv, std::uint64_t total_chunks);

    std::array<std::uint32_t, 8> key_;
    ChunkState chunk_;
    // Chaining values of completed subtrees; 54 levels cover 2^64 bytes.
    std::array<std::array<std::uint32_t, 8>, 54> stack_{};
    std::uint8_t stack_len_ = 0;
};

std::string blake3_hex(std::string_view bytes);

}  // namespace mail::services
