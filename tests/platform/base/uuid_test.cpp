#include "platform/base/uuid.h"

#include <gtest/gtest.h>

#include <set>

namespace mail {
namespace {

TEST(Uuid, RandomIdsAreVersionFourAndDistinct) {
    std::set<std::string> seen;
    for (int i = 0; i < 200; ++i) {
        Uuid id = Uuid::random_v4();
        std::string text = id.to_string();
        ASSERT_EQ(text.size(), 36u);
        EXPECT_EQ(text[14], '4');
        EXPECT_TRUE(std::string("89ab").find(text[19]) != std::string::npos) << text;
        seen.insert(text);
    }
    EXPECT_EQ(seen.size(), 200u);
}

TEST(Uuid, TextFormRoundTripsAndRejectsMalformedText) {
    Uuid id = Uuid::random_v4();
    EXPECT_EQ(Uuid::parse(id.to_string()), id);
    EXPECT_EQ(Uuid::parse("E71FA219-0541-574B-849D-E539A904EFF8")->to_string(),
              "e71fa219-0541-574b-849d-e539a904eff8");
    for (const char* bad : {"", "e71fa219-0541-574b-849d-e539a904eff", "e71fa2190541-574b-849d-e539a904eff8x",
                            "g71fa219-0541-574b-849d-e539a904eff8", "e71fa219+0541-574b-849d-e539a904eff8"}) {
        EXPECT_FALSE(Uuid::parse(bad).has_value()) << bad;
    }
}

}  // namespace
}  // namespace mail
