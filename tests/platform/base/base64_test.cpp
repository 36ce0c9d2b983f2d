#include "platform/base/base64.h"

#include <gtest/gtest.h>

namespace mail::base64 {
namespace {

TEST(Base64, ReferenceVectorsInBothAlphabets) {
    struct Case {
        const char* bytes;
        const char* standard;
        const char* url;
    };
    // RFC 4648, section 10, plus bytes that differ between the alphabets.
    const Case cases[] = {
        {"", "", ""},
        {"f", "Zg==", "Zg"},
        {"fo", "Zm8=", "Zm8"},
        {"foo", "Zm9v", "Zm9v"},
        {"foob", "Zm9vYg==", "Zm9vYg"},
        {"fooba", "Zm9vYmE=", "Zm9vYmE"},
        {"foobar", "Zm9vYmFy", "Zm9vYmFy"},
        {"\xfb\xff\xfe", "+//+", "-__-"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(encode(c.bytes), c.standard) << c.bytes;
        EXPECT_EQ(encode_url(c.bytes), c.url) << c.bytes;
        EXPECT_EQ(decode(c.standard), std::string(c.bytes)) << c.standard;
    }
}

TEST(Base64, StrictAndLenientDecoding) {
    EXPECT_FALSE(decode("Zm9v YmFy").has_value());
    EXPECT_FALSE(decode("Zm9v\r\n").has_value());
    std::string out;
    decode_lenient_append("Zm9v\r\nYmFy", out);
    EXPECT_EQ(out, "foobar");
}

}  // namespace
}  // namespace mail::base64
