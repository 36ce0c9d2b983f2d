// The JSON forms --engine-request reads and prints.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "engine/engine_request_json.h"

namespace mail::engine {
namespace {

const char* kAccount =
    R"({"display_name":"Ann","email":"ann@example.test","imap_host":"localhost","imap_port":10993,"imap_tls":true,)"
    R"("smtp_host":"localhost","smtp_port":10465,"smtp_tls":true,"username":"","auth":"Password","password":"pw"})";

TEST(EngineRequestJson, RequestsOfEveryImapKind) {
    auto connect = request_from_json(std::string(R"({"request":"Connect","account":)") + kAccount + "}");
    ASSERT_TRUE(connect.ok()) << connect.error_text();
    const auto& c = std::get<Connect>(*connect);
    EXPECT_EQ(c.account.email, "ann@example.test");
    EXPECT_EQ(c.account.imap_port, 10993);
    EXPECT_EQ(c.account.password, "pw");

    auto refresh = request_from_json(std::string(R"({"request":"RefreshFolder","role":"starred","account":)") + kAccount + "}");
    ASSERT_TRUE(refresh.ok()) << refresh.error_text();
    EXPECT_EQ(std::get<RefreshFolder>(*refresh).role, FolderRole::Starred);

    const std::string message =
        R"({"message_id":"m1@x","seen":true,"flagged":false,"folder":"trash","date":28401121,)"
        R"("from":{"address":"a@b","name":"A"},"to":[{"address":"c@d","name":null}],)"
        R"("attachments":[{"file_name":"f.bin","mime_type":"application/octet-stream","content":"AAEC/w=="}]})";
    auto move = request_from_json(std::string(R"({"request":"MoveMessage","destination":"archive","account":)") + kAccount +
                                  R"(,"message":)" + message + "}");
    ASSERT_TRUE(move.ok()) << move.error_text();
    const auto& m = std::get<MoveMessage>(*move);
    EXPECT_EQ(m.destination, FolderRole::Archive);
    EXPECT_EQ(m.message.folder, FolderRole::Trash);
    EXPECT_EQ(m.message.message_id, "m1@x");
    EXPECT_TRUE(m.message.seen);
    EXPECT_EQ(m.message.to.at(0).address, "c@d");
    EXPECT_EQ(m.message.attachments.at(0).content, std::string("\x00\x01\x02\xff", 4));
    EXPECT_EQ(m.message.id, stable_id_from_message_id("m1@x"));  // no id given: derived as the parser does

    for (const char* kind : {"SyncFlags", "PurgeMessage"}) {
        auto r = request_from_json(std::string(R"({"request":")") + kind + R"(","account":)" + kAccount +
                                   R"(,"message":)" + message + "}");
        EXPECT_TRUE(r.ok()) << kind;
    }
}

TEST(EngineRequestJson, BrokenRequestsSayWhatIsWrong) {
    const std::string account = std::string(R"("account":)") + kAccount;
    const std::vector<std::pair<std::string, std::string>> rows = {
        {"[1]", "the request must be a JSON object"},
        {"{\"account\":{}}", "\"request\" must name the request"},
        {"{\"request\":\"Connect\"}", "\"account\" must be the account's settings object"},
        {"{\"request\":\"Fly\"," + account + "}", "unknown request \"Fly\""},
        {"{\"request\":\"RefreshFolder\"," + account + "}", "\"role\" must be a role (\"inbox\", …)"},
        {"{\"request\":\"RefreshFolder\",\"role\":\"Inbox\"," + account + "}", "unknown role in \"role\": Inbox"},
        {"{\"request\":\"SyncFlags\"," + account + "}", "\"message\" is missing"},
        {"{\"request\":\"SyncFlags\",\"message\":{\"seen\":1}," + account + "}", "message.seen must be true or false"},
        {"{\"request\":\"PurgeMessage\",\"message\":{\"id\":\"x\"}," + account + "}", "message.id must be a UUID"},
    };
    for (const auto& [text, expected] : rows) {
        auto r = request_from_json(text);
        ASSERT_FALSE(r.ok()) << text;
        EXPECT_EQ(r.error_text(), expected) << text;
    }
    EXPECT_FALSE(request_from_json(R"({"request":"Connect","request":"Connect"})").ok());  // repeated key
    EXPECT_FALSE(request_from_json(R"({"request":"Connect","account":{"email":"x"}})").ok());  // settings incomplete
}

TEST(EngineRequestJson, EventsAsOneLineEach) {
    Uuid id = *Uuid::parse("0f8fad5b-d9cb-469f-a165-70867728950e");
    const std::string i = "\"id\":\"0f8fad5b-d9cb-469f-a165-70867728950e\"";
    EXPECT_EQ(event_to_json(event::Connected{id, "ann@x"}), "{\"event\":\"Connected\"," + i + ",\"account\":\"ann@x\"}");
    EXPECT_EQ(event_to_json(event::FoldersListed{id, "ann@x", {"INBOX", "Sent"}}),
              "{\"event\":\"FoldersListed\"," + i + ",\"folders\":[\"INBOX\",\"Sent\"]}");
    EXPECT_EQ(event_to_json(event::Failed{RequestKind::PurgeMessage, id, "purge", "message not found on the server"}),
              "{\"event\":\"Failed\"," + i + ",\"kind\":4,\"stage\":\"purge\",\"message\":\"message not found on the server\"}");
    EXPECT_EQ(event_to_json(event::Finished{id, RequestKind::RefreshFolder}), "{\"event\":\"Finished\"," + i + ",\"kind\":1}");
    EXPECT_EQ(event_to_json(event::Delivered{123, id}), "{\"event\":\"Delivered\"," + i + ",\"bytes\":123}");

    MailMessage m;
    m.subject = "Bad \xff byte";  // not UTF-8: replaced, never a throw
    m.message_id = "m@x";
    m.attachments.push_back({"a.bin", "application/octet-stream", std::string("\x00\xfe", 2), std::nullopt, 2, true});
    m.folder = FolderRole::Starred;
    std::string line = event_to_json(event::FolderSynced{FolderRole::Starred, id, "ann@x", {m}});
    EXPECT_EQ(line.find('\n'), std::string::npos);
    auto j = nlohmann::json::parse(line);
    EXPECT_EQ(j["role"], "starred");
    EXPECT_EQ(j["messages"][0]["folder"], "starred");
    EXPECT_EQ(j["messages"][0]["id"], m.id.to_string());
    // What is printed reads back as the same message, attachment bytes included.
    auto back = message_from_json(j["messages"][0].dump());
    ASSERT_TRUE(back.ok()) << back.error_text();
    EXPECT_EQ(back->attachments, m.attachments);
    EXPECT_EQ(back->message_id, m.message_id);
    EXPECT_EQ(back->id, m.id);
}

}  // namespace
}  // namespace mail::engine

namespace mail::engine {
namespace {

TEST(EngineRequestJson, SendAndSignInRequests) {
    auto send = request_from_json(std::string(R"({"request":"SendMessage","account":)") + kAccount +
                                  R"(,"draft":{"to":"bob@example.test","cc":"","bcc":"","subject":"Hi","body":"Hello","attachments":[]}})");
    ASSERT_TRUE(send.ok()) << send.error_text();
    const auto& s = std::get<SendMessage>(*send);
    EXPECT_EQ(s.draft.to, "bob@example.test");
    EXPECT_EQ(s.draft.subject, "Hi");

    auto sign_in = request_from_json(
        R"({"request":"OAuthSignIn","account_key":"ada@gmail.com","login_hint":"ada@gmail.com","provider":"google"})");
    ASSERT_TRUE(sign_in.ok()) << sign_in.error_text();
    EXPECT_EQ(std::get<OAuthSignIn>(*sign_in).provider, OAuthProvider::Google);
    EXPECT_EQ(std::get<OAuthSignIn>(*sign_in).account_key, "ada@gmail.com");

    EXPECT_FALSE(request_from_json(R"({"request":"OAuthSignIn","account_key":"a","login_hint":"a","provider":"yahoo"})").ok());
    EXPECT_FALSE(request_from_json(std::string(R"({"request":"SendMessage","account":)") + kAccount + "}").ok());
}

}  // namespace
}  // namespace mail::engine
