#include "platform/json/strict_json.h"

#include <gtest/gtest.h>

namespace mail::json {
namespace {

TEST(StrictJson, RepeatedKeysAreErrorsAtEveryDepth) {
    struct Case {
        const char* name;
        const char* text;
        bool ok;
    };
    const Case cases[] = {
        {"plain object", R"({"a":1,"b":{"a":2}})", true},
        {"same key in sibling objects", R"([{"a":1},{"a":2}])", true},
        {"repeated at top", R"({"a":1,"a":2})", false},
        {"repeated inside nested object", R"({"x":{"k":1,"k":1}})", false},
        {"repeated inside object in array", R"({"x":[{"k":1},{"k":1,"k":2}]})", false},
        {"key reused after nested object closes", R"({"k":{"k":1},"j":2})", true},
        {"not JSON", R"({"a":)", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(parse_strict(c.text).ok(), c.ok) << c.name;
    }
    EXPECT_EQ(parse_strict(R"({"email":"a","email":"b"})").error_text(), "duplicate key \"email\"");
}

}  // namespace
}  // namespace mail::json
