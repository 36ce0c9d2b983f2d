#include <gtest/gtest.h>

#include "core/folder_role.h"
#include "core/stable_id.h"

namespace mail {
namespace {

TEST(StableId, DerivedFromMessageIdIgnoringBracketsAndPadding) {
    for (const char* raw : {"abc", "<abc>", "  <abc>  ", "<<abc>>", "\t<abc>\n"})
        EXPECT_EQ(stable_id_from_message_id(raw).to_string(), "e71fa219-0541-574b-849d-e539a904eff8") << raw;
}

TEST(StableId, LetterCaseMakesADifferentId) {
    EXPECT_NE(stable_id_from_message_id("ABC"), stable_id_from_message_id("abc"));
}

TEST(StableId, RandomIdsAreVersionFourAndDistinct) {
    StableId a = new_stable_id(), b = new_stable_id();
    EXPECT_NE(a, b);
    EXPECT_EQ(a.to_string()[14], '4');
    EXPECT_EQ(a.bytes[8] & 0xc0, 0x80);
}

TEST(NormalizeMessageId, Cases) {
    struct Case {
        const char* raw;
        std::optional<std::string> expected;
    } cases[] = {
        {"<a@b>", "a@b"},
        {"a@b", "a@b"},
        {"  < a@b >  ", "a@b"},  // trimmed again inside the brackets
        {"<<a@b>>", "a@b"},
        {"A@B", "A@B"},  // case is kept
        {"<>", std::nullopt},
        {"   ", std::nullopt},
        {"", std::nullopt},
    };
    for (const auto& c : cases) EXPECT_EQ(normalize_message_id(c.raw), c.expected) << c.raw;
}

TEST(FolderRole, NamesIdentifiersAndParsing) {
    const char* names[] = {"Inbox", "Starred", "Sent", "Drafts", "Archive", "Trash", "Junk"};
    const char* ids[] = {"inbox", "starred", "sent", "drafts", "archive", "trash", "junk"};
    for (std::size_t i = 0; i < kFolderRoles.size(); ++i) {
        FolderRole role = kFolderRoles[i];
        EXPECT_EQ(static_cast<std::size_t>(role), i);
        EXPECT_EQ(folder_display_name(role), names[i]);
        EXPECT_EQ(folder_identifier(role), ids[i]);
        EXPECT_EQ(parse_folder_role(ids[i]), role);
    }
    for (const char* bad : {"Inbox", "INBOX", " inbox", "inbox ", "", "spam"})
        EXPECT_EQ(parse_folder_role(bad), std::nullopt) << bad;
    EXPECT_EQ(folder_role_from_number(6), FolderRole::Junk);
    EXPECT_EQ(folder_role_from_number(7), std::nullopt);
    EXPECT_EQ(folder_role_from_number(-1), std::nullopt);
}

}  // namespace
}  // namespace mail
