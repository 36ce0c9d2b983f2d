#include "platform/services/blake3.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>

namespace mail::services {
namespace {

// The inputs of the published BLAKE3 test vectors: byte i is i % 251.
std::string vector_input(std::size_t length) {
    std::string bytes(length, '\0');
    for (std::size_t i = 0; i < length; ++i) bytes[i] = static_cast<char>(i % 251);
    return bytes;
}

std::string hex(const std::uint8_t* bytes, std::size_t size) {
    static constexpr char digits[] = "0123456789abcdef";
    std::string text;
    for (std::size_t i = 0; i < size; ++i) {
        text.push_back(digits[bytes[i] >> 4]);
        text.push_back(digits[bytes[i] & 15]);
    }
    return text;
}

struct Vector {
    std::size_t length;
    const char* hash;
};

// Computed with b3sum; they agree with the published vectors. The lengths sit on both sides of
// the block, chunk and subtree boundaries.
constexpr Vector kVectors[] = {
    {0, "af1349b9f5f9a1a6a0404dea36dcc9499bcb25c9adc112b7cc9a93cae41f3262"},
    {1, "2d3adedff11b61f14c886e35afa036736dcd87a74d27b5c1510225d0f592e213"},
    {1023, "10108970eeda3eb932baac1428c7a2163b0e924c9a9e25b35bba72b28f70bd11"},
    {1024, "42214739f095a406f3fc83deb889744ac00df831c10daa55189b5d121c855af7"},
    {1025, "d00278ae47eb27b34faecf67b4fe263f82d5412916c1ffd97c8cb7fb814b8444"},
    {2048, "e776b6028c7cd22a4d0ba182a8bf62205d2ef576467e838ed6f2529b85fba24a"},
    {2049, "5f4d72f40d7a5f82b15ca2b2e44b1de3c2ef86c426c95c1af0b6879522563030"},
    {3072, "b98cb0ff3623be03326b373de6b9095218513e64f1ee2edd2525c7ad1e5cffd2"},
    {3073, "7124b49501012f81cc7f11ca069ec9226cecb8a2c850cfe644e327d22d3e1cd3"},
    {4096, "015094013f57a5277b59d8475c0501042c0b642e531b0a1c8f58d2163229e969"},
    {4097, "9b4052b38f1c5fc8b1f9ff7ac7b27cd242487b3d890d15c96a1c25b8aa0fb995"},
    {5120, "9cadc15fed8b5d854562b26a9536d9707cadeda9b143978f319ab34230535833"},
    {31744, "62b6960e1a44bcc1eb1a611a8d6235b6b4b78f32e7abc4fb4c6cdcce94895c47"},
    {102400, "bc3e3d41a1146b069abffad3c0d44860cf664390afce4d9661f7902e7943e085"},
};

TEST(Blake3, MatchesTheReferenceVectors) {
    for (const Vector& v : kVectors) {
        EXPECT_EQ(blake3_hex(vector_input(v.length)), v.hash) << "length " << v.length;
    }
}

TEST(Blake3, AnySplitOfTheInputGivesTheSameHash) {
    std::mt19937 random(7);
    for (const Vector& v : kVectors) {
        std::string input = vector_input(v.length);
        for (std::size_t step : {std::size_t{1}, std::size_t{63}, std::size_t{64}, std::size_t{65}, std::size_t{1024}, std::size_t{0}}) {
            Blake3 hasher;
            std::size_t pos = 0;
            while (pos < input.size()) {
                std::size_t n = step ? step : 1 + random() % 3000;
                n = std::min(n, input.size() - pos);
                hasher.update(input.data() + pos, n);
                pos += n;
            }
            hasher.update("", 0);
            EXPECT_EQ(hasher.finalize_hex(), v.hash) << "length " << v.length << " step " << step;
        }
    }
}

TEST(Blake3, FinalizingDoesNotEndTheHasher) {
    std::string input = vector_input(4097);
    Blake3 hasher;
    hasher.update(input.substr(0, 2048));
    EXPECT_EQ(hasher.finalize_hex(), "e776b6028c7cd22a4d0ba182a8bf62205d2ef576467e838ed6f2529b85fba24a");
    hasher.update(input.substr(2048));
    EXPECT_EQ(hasher.finalize_hex(), "9b4052b38f1c5fc8b1f9ff7ac7b27cd242487b3d890d15c96a1c25b8aa0fb995");
}

TEST(Blake3, ExtendedOutputStartsWithTheHash) {
    Blake3 hasher;
    hasher.update(vector_input(1025));
    std::uint8_t out[131];
    hasher.finalize(out, sizeof out);
    // b3sum -l 131 of the same input.
    EXPECT_EQ(hex(out, sizeof out),
              "d00278ae47eb27b34faecf67b4fe263f82d5412916c1ffd97c8cb7fb814b8444f4c4a22b4b399155358a994e52bf255de600"
              "35742ec71bd08ac275a1b51cc6bfe332b0ef84b409108cda080e6269ed4b3e2c3f7d722aa4cdc98d16deb554e5627be8f955"
              "c98e1d5f9565a9194cad0c4285f93700062d9595adb992ae68ff12800ab67a");
}

// The installed reference tool as an oracle, for lengths and output sizes beyond the table.
std::optional<std::string> b3sum(const std::string& input, std::size_t out_len) {
    if (std::system("command -v b3sum >/dev/null 2>&1") != 0) return std::nullopt;
    auto file = std::filesystem::temp_directory_path() / ("blake3-oracle-" + std::to_string(::getpid()));
    std::ofstream(file, std::ios::binary).write(input.data(), static_cast<std::streamsize>(input.size()));
    std::string command = "b3sum --no-names -l " + std::to_string(out_len) + " '" + file.string() + "'";
    std::string output;
    if (FILE* pipe = ::popen(command.c_str(), "r")) {
        char buffer[512];
        while (std::fgets(buffer, sizeof buffer, pipe)) output += buffer;
        ::pclose(pipe);
    }
    std::filesystem::remove(file);
    while (!output.empty() && (output.back() == '\n' || output.back() == ' ')) output.pop_back();
    return output;
}

TEST(Blake3, AgreesWithB3sum) {
    if (!b3sum("", 32)) GTEST_SKIP() << "b3sum is not on PATH; the embedded vectors still ran";
    for (std::size_t length : {std::size_t{63}, std::size_t{64}, std::size_t{65}, std::size_t{8193},
                               std::size_t{16384}, std::size_t{65535}, std::size_t{1048577}, std::size_t{3 * 1048576 + 5}}) {
        std::string input = vector_input(length);
        EXPECT_EQ(blake3_hex(input), b3sum(input, 32)) << "length " << length;
    }
    std::string input = vector_input(31744);
    Blake3 hasher;
    hasher.update(input);
    std::uint8_t out[1000];
    hasher.finalize(out, sizeof out);
    EXPECT_EQ(hex(out, sizeof out), b3sum(input, sizeof out));
}

}  // namespace
}  // namespace mail::services
