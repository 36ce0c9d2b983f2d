#include "platform/services/blake3.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace mail::services {
namespace {

constexpr std::size_t kBlockLen = 64;
constexpr std::size_t kChunkLen = 1024;

constexpr std::uint32_t kChunkStart = 1u << 0;
constexpr std::uint32_t kChunkEnd = 1u << 1;
constexpr std::uint32_t kParent = 1u << 2;
constexpr std::uint32_t kRoot = 1u << 3;

constexpr std::array<std::uint32_t, 8> kIv = {0x6A09E667, 0xBB67AE85, 0x3C6EF372, 0xA54FF53A,
                                              0x510E527F, 0x9B05688C, 0x1F83D9AB, 0x5BE0CD19};

// Word order of the message for each of the seven rounds (the fixed permutation applied
// repeatedly, unrolled once here).
constexpr std::uint8_t kSchedule[7][16] = {
    {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15},
    {2, 6, 3, 10, 7, 0, 4, 13, 1, 11, 12, 5, 9, 14, 15, 8},
    {3, 4, 10, 12, 13, 2, 7, 14, 6, 5, 9, 0, 11, 15, 8, 1},
    {10, 7, 12, 9, 14, 3, 13, 15, 4, 0, 11, 2, 5, 8, 1, 6},
    {12, 13, 9, 11, 15, 10, 14, 8, 7, 2, 5, 3, 0, 1, 6, 4},
    {9, 14, 11, 5, 8, 12, 15, 1, 13, 3, 0, 10, 2, 6, 4, 7},
    {11, 15, 5, 0, 1, 9, 8, 6, 14, 10, 2, 12, 3, 4, 7, 13},
};

inline std::uint32_t rotr(std::uint32_t w, int c) { return (w >> c) | (w << (32 - c)); }

inline std::uint32_t load32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

inline void store32(std::uint8_t* p, std::uint32_t w) {
    p[0] = static_cast<std::uint8_t>(w);
    p[1] = static_cast<std::uint8_t>(w >> 8);
    p[2] = static_cast<std::uint8_t>(w >> 16);
    p[3] = static_cast<std::uint8_t>(w >> 24);
}

inline void g(std::uint32_t* s, int a, int b, int c, int d, std::uint32_t x, std::uint32_t y) {
    s[a] = s[a] + s[b] + x;
    s[d] = rotr(s[d] ^ s[a], 16);
    s[c] = s[c] + s[d];
    s[b] = rotr(s[b] ^ s[c], 12);
    s[a] = s[a] + s[b] + y;
    s[d] = rotr(s[d] ^ s[a], 8);
    s[c] = s[c] + s[d];
    s[b] = rotr(s[b] ^ s[c], 7);
}

template <std::size_t R>
inline void round(std::uint32_t* s, const std::uint32_t* m) {
    constexpr const std::uint8_t* r = kSchedule[R];
    g(s, 0, 4, 8, 12, m[r[0]], m[r[1]]);
    g(s, 1, 5, 9, 13, m[r[2]], m[r[3]]);
    g(s, 2, 6, 10, 14, m[r[4]], m[r[5]]);
    g(s, 3, 7, 11, 15, m[r[6]], m[r[7]]);
    g(s, 0, 5, 10, 15, m[r[8]], m[r[9]]);
    g(s, 1, 6, 11, 12, m[r[10]], m[r[11]]);
    g(s, 2, 7, 8, 13, m[r[12]], m[r[13]]);
    g(s, 3, 4, 9, 14, m[r[14]], m[r[15]]);
}

// The compression function; fills all 16 output words (the first 8 are the chaining value).
void compress(const std::array<std::uint32_t, 8>& cv, const std::uint8_t block[kBlockLen], std::uint64_t counter,
              std::uint32_t block_len, std::uint32_t flags, std::uint32_t out[16]) {
    std::uint32_t m[16];
    for (int i = 0; i < 16; ++i) m[i] = load32(block + 4 * i);
    std::uint32_t s[16] = {cv[0], cv[1], cv[2], cv[3], cv[4], cv[5], cv[6], cv[7],
                           kIv[0], kIv[1], kIv[2], kIv[3],
                           static_cast<std::uint32_t>(counter), static_cast<std::uint32_t>(counter >> 32),
                           block_len, flags};
    // Rounds unrolled at compile time so every message index is a constant.
    [&]<std::size_t... R>(std::index_sequence<R...>) { (round<R>(s, m), ...); }(std::make_index_sequence<7>());
    for (int i = 0; i < 8; ++i) {
        out[i] = s[i] ^ s[i + 8];
        out[i + 8] = s[i + 8] ^ cv[i];
    }
}

std::array<std::uint32_t, 8> compress_cv(const std::array<std::uint32_t, 8>& cv, const std::uint8_t* block,
                                         std::uint64_t counter, std::uint32_t block_len, std::uint32_t flags) {
    std::uint32_t out[16];
    compress(cv, block, counter, block_len, flags, out);
    std::array<std::uint32_t, 8> next;
    std::copy(out, out + 8, next.begin());
    return next;
}

// What is needed to produce a node's chaining value, or, for the root, its output bytes.
struct Output {
    std::array<std::uint32_t, 8> cv;
    std::array<std::uint8_t, kBlockLen> block;
    std::uint64_t counter;
    std::uint32_t block_len;
    std::uint32_t flags;

    std::array<std::uint32_t, 8> chaining_value() const {
        return compress_cv(cv, block.data(), counter, block_len, flags);
    }

    void root_bytes(std::uint8_t* out, std::size_t size) const {
        std::uint64_t output_block = 0;
        while (size > 0) {
            std::uint32_t words[16];
            compress(cv, block.data(), output_block++, block_len, flags | kRoot, words);
            std::uint8_t bytes[64];
            for (int i = 0; i < 16; ++i) store32(bytes + 4 * i, words[i]);
            std::size_t take = std::min(size, sizeof bytes);
            std::memcpy(out, bytes, take);
            out += take;
            size -= take;
        }
    }
};

Output parent_output(const std::array<std::uint32_t, 8>& left, const std::array<std::uint32_t, 8>& right,
                     const std::array<std::uint32_t, 8>& key) {
    Output o{key, {}, 0, kBlockLen, kParent};
    for (int i = 0; i < 8; ++i) {
        store32(o.block.data() + 4 * i, left[i]);
        store32(o.block.data() + 32 + 4 * i, right[i]);
    }
    return o;
}

}  // namespace

Blake3::Blake3() : key_(kIv) { chunk_.cv = key_; }

void Blake3::push_chunk_cv(std::array<std::uint32_t, 8> cv, std::uint64_t total_chunks) {
    // Each trailing zero bit of the chunk count is a completed subtree to merge with.
    while ((total_chunks & 1) == 0) {
        cv = parent_output(stack_[--stack_len_], cv, key_).chaining_value();
        total_chunks >>= 1;
    }
    stack_[stack_len_++] = cv;
}

void Blake3::update(const void* data, std::size_t size) {
    const auto* input = static_cast<const std::uint8_t*>(data);
    while (size > 0) {
        if (chunk_.len() == kChunkLen) {
            // A full chunk is closed only once more input shows it is not the last one.
            // A full chunk ends with a full block, so no padding is needed here.
            std::uint32_t flags = kChunkEnd | (chunk_.blocks_compressed == 0 ? kChunkStart : 0);
            auto cv = compress_cv(chunk_.cv, chunk_.block.data(), chunk_.counter, chunk_.block_len, flags);
            std::uint64_t total = chunk_.counter + 1;
            push_chunk_cv(cv, total);
            chunk_ = ChunkState{};
            chunk_.cv = key_;
            chunk_.counter = total;
        }
        std::size_t room = kChunkLen - chunk_.len();
        std::size_t take = std::min(size, room);
        std::size_t end = take;
        std::size_t pos = 0;
        while (pos < end) {
            if (chunk_.block_len == kBlockLen) {
                std::uint32_t flags = chunk_.blocks_compressed == 0 ? kChunkStart : 0;
                chunk_.cv = compress_cv(chunk_.cv, chunk_.block.data(), chunk_.counter, kBlockLen, flags);
                ++chunk_.blocks_compressed;
                chunk_.block_len = 0;
            }
            // Whole blocks straight from the input, keeping the last one buffered: it may end the chunk.
            if (chunk_.block_len == 0) {
                while (end - pos > kBlockLen) {
                    std::uint32_t flags = chunk_.blocks_compressed == 0 ? kChunkStart : 0;
                    chunk_.cv = compress_cv(chunk_.cv, input + pos, chunk_.counter, kBlockLen, flags);
                    ++chunk_.blocks_compressed;
                    pos += kBlockLen;
                }
            }
            std::size_t n = std::min(end - pos, kBlockLen - chunk_.block_len);
            std::memcpy(chunk_.block.data() + chunk_.block_len, input + pos, n);
            chunk_.block_len = static_cast<std::uint8_t>(chunk_.block_len + n);
            pos += n;
        }
        input += take;
        size -= take;
    }
}

void Blake3::finalize(std::uint8_t* out, std::size_t size) const {
    std::uint32_t flags = kChunkEnd | (chunk_.blocks_compressed == 0 ? kChunkStart : 0);
    Output output{chunk_.cv, chunk_.block, chunk_.counter, chunk_.block_len, flags};
    // The buffer may still hold bytes of an earlier block; the last block is zero-padded.
    std::fill(output.block.begin() + chunk_.block_len, output.block.end(), std::uint8_t{0});
    for (int i = stack_len_; i > 0; --i) {
        output = parent_output(stack_[i - 1], output.chaining_value(), key_);
    }
    output.root_bytes(out, size);
}

std::array<std::uint8_t, Blake3::kOutLen> Blake3::finalize() const {
    std::array<std::uint8_t, kOutLen> out;
    finalize(out.data(), out.size());
    return out;
}

std::string Blake3::finalize_hex() const {
    static constexpr char kHex[] = "0123456789abcdef";
    auto bytes = finalize();
    std::string text;
    text.reserve(2 * bytes.size());
    for (std::uint8_t b : bytes) {
        text.push_back(kHex[b >> 4]);
        text.push_back(kHex[b & 15]);
    }
    return text;
}

std::string blake3_hex(std::string_view bytes) {
    Blake3 hasher;
    hasher.update(bytes);
    return hasher.finalize_hex();
}

}  // namespace mail::services
