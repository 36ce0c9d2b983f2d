#include "core/mail_action.h"

#include <gtest/gtest.h>

namespace mail {
namespace {

const std::string kId = "0123abcd-0000-4000-8000-00000000beef";

TEST(MailActionJson, EachVariantIsWrittenExternallyTaggedWithFieldsInOrder) {
    DraftData draft;
    draft.to = "a@b.test";
    draft.subject = "Hi";
    const struct {
        MailAction action;
        const char* json;
        const char* name;
    } cases[] = {
        {MailAction::SetRead{{kId}, true}, R"({"SetRead":{"ids":["0123abcd-0000-4000-8000-00000000beef"],"read":true}})",
         "SetRead"},
        {MailAction::SetStarred{{kId, "x"}, false}, R"({"SetStarred":{"ids":["0123abcd-0000-4000-8000-00000000beef","x"],"starred":false}})",
         "SetStarred"},
        {MailAction::Move{{kId}, "archive"}, R"({"Move":{"ids":["0123abcd-0000-4000-8000-00000000beef"],"folder":"archive"}})",
         "Move"},
        {MailAction::Purge{{}}, R"({"Purge":{"ids":[]}})", "Purge"},
        {MailAction::AddLabel{{kId}, "Work"}, R"({"AddLabel":{"ids":["0123abcd-0000-4000-8000-00000000beef"],"label":"Work"}})",
         "AddLabel"},
        {MailAction::RemoveLabel{{kId}, "Work"}, R"({"RemoveLabel":{"ids":["0123abcd-0000-4000-8000-00000000beef"],"label":"Work"}})",
         "RemoveLabel"},
        {MailAction::CreateFolder{"f1", "Receipts"}, R"({"CreateFolder":{"id":"f1","name":"Receipts"}})", "CreateFolder"},
        {MailAction::RenameFolder{"f1", "Bills"}, R"({"RenameFolder":{"id":"f1","name":"Bills"}})", "RenameFolder"},
        {MailAction::DeleteFolder{"f1"}, R"({"DeleteFolder":{"id":"f1"}})", "DeleteFolder"},
        {MailAction::SaveDraft{draft},
         R"({"SaveDraft":{"to":"a@b.test","cc":"","bcc":"","subject":"Hi","body":"","attachments":[]}})", "SaveDraft"},
        {MailAction::DiscardDraft{}, R"("DiscardDraft")", "DiscardDraft"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(write_mail_action_json(c.action), c.json);
        EXPECT_EQ(mail_action_name(c.action), c.name);
        auto back = read_mail_action_json(c.json);
        ASSERT_TRUE(back.ok()) << c.json << ": " << back.error_text();
        EXPECT_EQ(*back, c.action) << c.json;

        EncodedAction encoded = encode_mail_action(c.action);
        EXPECT_EQ(encoded.operation_type, "mail.action");
        EXPECT_EQ(encoded.payload, c.json);
        auto decoded = decode_mail_action(encoded);
        ASSERT_TRUE(decoded.ok());
        EXPECT_EQ(*decoded, c.action);
    }
}

TEST(MailActionJson, DecodingIsStrict) {
    const struct {
        const char* json;
        const char* error;
    } cases[] = {
        {R"("Archive")", "unknown MailAction variant \"Archive\""},
        {R"({"Archive":{"ids":[]}})", "unknown MailAction variant \"Archive\""},
        {R"("SetRead")", "\"SetRead\" needs its fields"},
        {R"({"DiscardDraft":null})", "\"DiscardDraft\" has no fields and is written as a string"},
        {R"({"SetRead":{"ids":[]}})", "missing field \"read\""},
        {R"({"SetRead":{"read":true}})", "missing field \"ids\""},
        {R"({"SetRead":{"ids":["a"],"read":"true"}})", "\"read\" is not a boolean"},
        {R"({"SetRead":{"ids":"a","read":true}})", "\"ids\" is not an array"},
        {R"({"SetRead":{"ids":[1],"read":true}})", "an entry of \"ids\" is not a string"},
        {R"({"Move":{"ids":[],"folder":4}})", "\"folder\" is not a string"},
        {R"({"Purge":[]})", "\"Purge\" does not hold an object of fields"},
        {R"({"SetRead":{"ids":[],"read":true},"Purge":{"ids":[]}})",
         "a MailAction object has exactly one key, the variant name"},
        {R"({"SetRead":{"ids":[],"read":true,"read":false}})", "duplicate key \"read\""},
        {R"({"SaveDraft":{"cc":"","bcc":"","subject":"","body":""}})", "missing \"to\""},
        {R"(42)", "a MailAction is a string or an object"},
        {R"({"SetRead":)", "invalid JSON"},
    };
    for (const auto& c : cases) {
        auto result = read_mail_action_json(c.json);
        ASSERT_FALSE(result.ok()) << c.json;
        EXPECT_EQ(result.error_text(), c.error) << c.json;
    }
    // Unknown fields inside a variant are ignored, as the field order is the only contract.
    auto extra = read_mail_action_json(R"({"DeleteFolder":{"id":"f","note":1}})");
    ASSERT_TRUE(extra.ok());
    EXPECT_EQ(*extra, MailAction(MailAction::DeleteFolder{"f"}));
}

TEST(MailActionJson, DecodingErrorsNameTheOperationType) {
    auto bad = decode_mail_action(EncodedAction{"mail.action", R"("Nope")"});
    ASSERT_FALSE(bad.ok());
    EXPECT_EQ(bad.error_text(), "mail.action: unknown MailAction variant \"Nope\"");
    auto other = decode_mail_action(EncodedAction{"mail.operation", R"("ComposeNew")"});
    ASSERT_FALSE(other.ok());
    EXPECT_EQ(other.error_text(), "mail.operation: not a mail.action payload");
}

TEST(MailActionJson, MalformedTextIsStillWritten) {
    std::string written = write_mail_action_json(MailAction::AddLabel{{"\xff"}, "bad \xc3"});
    EXPECT_EQ(written, "{\"AddLabel\":{\"ids\":[\"\xef\xbf\xbd\"],\"label\":\"bad \xef\xbf\xbd\"}}");
    EXPECT_TRUE(read_mail_action_json(written).ok());
}

}  // namespace
}  // namespace mail
