// The response parser over complete buffers, every split of a stream, broken input and limits.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/imap_command.h"
#include "engine/imap_parser.h"

namespace mail::engine::imap {
namespace {

Response parse_one(std::string_view text) {
    ParseResult result = parse_response(text);
    if (auto* error = std::get_if<ProtocolError>(&result)) ADD_FAILURE() << error->message << " for " << text;
    if (std::holds_alternative<NeedMore>(result)) ADD_FAILURE() << "needs more for " << text;
    if (auto* complete = std::get_if<Complete>(&result)) {
        EXPECT_EQ(complete->consumed, text.size()) << text;
        return complete->response;
    }
    return {};
}

TEST(ImapParser, StatusResponsesAndCodes) {
    Response greeting = parse_one("* OK [CAPABILITY IMAP4rev1 SASL-IR AUTH=PLAIN] Dovecot ready.\r\n");
    EXPECT_EQ(greeting.kind, Response::Kind::Untagged);
    EXPECT_EQ(greeting.condition, Condition::Ok);
    EXPECT_EQ(greeting.code, "CAPABILITY");
    EXPECT_EQ(greeting.capabilities, (std::vector<std::string>{"IMAP4REV1", "SASL-IR", "AUTH=PLAIN"}));
    EXPECT_EQ(greeting.text, "Dovecot ready.");

    Response no = parse_one("a7 NO [AUTHENTICATIONFAILED] Authentication failed.\r\n");
    EXPECT_EQ(no.kind, Response::Kind::Tagged);
    EXPECT_EQ(no.tag, "a7");
    EXPECT_EQ(no.condition, Condition::No);
    EXPECT_EQ(no.code, "AUTHENTICATIONFAILED");
    EXPECT_EQ(no.text, "Authentication failed.");

    Response bad = parse_one("A1 bad Error in IMAP command: Unknown command.\r\n");
    EXPECT_EQ(bad.condition, Condition::Bad);

    Response uidnext = parse_one("* OK [UIDNEXT 4] Predicted next UID\r\n");
    EXPECT_EQ(uidnext.code, "UIDNEXT");
    EXPECT_EQ(uidnext.code_text, "4");

    Response bare = parse_one("a2 OK\r\n");
    EXPECT_EQ(bare.condition, Condition::Ok);
    EXPECT_EQ(bare.text, "");

    Response cont = parse_one("+ eyJzdGF0dXMiOiI0MDEifQ==\r\n");
    EXPECT_EQ(cont.kind, Response::Kind::Continuation);
    EXPECT_EQ(cont.text, "eyJzdGF0dXMiOiI0MDEifQ==");
    EXPECT_EQ(parse_one("+\r\n").kind, Response::Kind::Continuation);

    Response bye = parse_one("* BYE Logging out\r\n");
    EXPECT_EQ(bye.condition, Condition::Bye);

    // Status text ending like a literal size announces nothing: the response ends there.
    Response curly = parse_one("a3 NO odd text {5}\r\n");
    EXPECT_EQ(curly.text, "odd text {5}");
}

TEST(ImapParser, ListSearchAndCounts) {
    struct Row {
        const char* name;
        const char* text;
        std::vector<std::string> attributes;
        std::string delimiter;
        std::string mailbox;
    };
    const std::vector<Row> rows = {
        {"atom-name", "* LIST (\\HasNoChildren \\Sent) \"/\" Sent\r\n", {"\\HasNoChildren", "\\Sent"}, "/", "Sent"},
        {"quoted-name-with-escapes", "* LIST () \".\" \"a \\\"b\\\" \\\\c\"\r\n", {}, ".", "a \"b\" \\c"},
        {"nil-delimiter", "* LIST (\\Noselect) NIL \"\"\r\n", {"\\Noselect"}, "", ""},
        {"literal-name", "* LIST (\\Marked) \"/\" {8}\r\nwe\"ird )\r\n", {"\\Marked"}, "/", "we\"ird )"},
        {"extended-data", "* LIST (\\Subscribed) \"/\" INBOX (\"CHILDINFO\" (\"SUBSCRIBED\"))\r\n",
         {"\\Subscribed"}, "/", "INBOX"},
        {"name-with-bracket", "* LSUB () \"/\" foo]bar\r\n", {}, "/", "foo]bar"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Response r = parse_one(row.text);
        ASSERT_TRUE(r.list.has_value());
        EXPECT_EQ(r.list->attributes, row.attributes);
        EXPECT_EQ(r.list->delimiter, row.delimiter);
        EXPECT_EQ(r.list->name, row.mailbox);
    }

    EXPECT_EQ(parse_one("* SEARCH 1 2 3\r\n").search, (std::vector<std::uint32_t>{1, 2, 3}));
    EXPECT_TRUE(parse_one("* SEARCH\r\n").search.empty());
    EXPECT_EQ(parse_one("* SEARCH 5 4 \r\n").search, (std::vector<std::uint32_t>{5, 4}));  // trailing space
    EXPECT_EQ(parse_one("* SEARCH 9 (MODSEQ 1234)\r\n").search, (std::vector<std::uint32_t>{9}));
    EXPECT_EQ(parse_one("* SEARCH 4294967295\r\n").search, (std::vector<std::uint32_t>{4294967295u}));

    Response exists = parse_one("* 120 EXISTS\r\n");
    EXPECT_EQ(exists.name, "EXISTS");
    EXPECT_EQ(exists.number, 120u);
    EXPECT_EQ(parse_one("* CAPABILITY IMAP4rev1 MOVE uidplus\r\n").capabilities,
              (std::vector<std::string>{"IMAP4REV1", "MOVE", "UIDPLUS"}));
    // Data we do not use is read and dropped, literals included.
    EXPECT_EQ(parse_one("* ID (\"name\" \"Dovecot\" \"x\" {3}\r\na b)\r\n").name, "ID");
    EXPECT_EQ(parse_one("* FLAGS (\\Answered \\Flagged \\Deleted \\Seen \\Draft)\r\n").name, "FLAGS");
}

TEST(ImapParser, FetchItems) {
    const std::string body = "From: a@b\r\nSubject: {5}\r\n\r\n)\r\n* 2 FETCH (UID 9)\r\n";
    const std::string text = "* 1 FETCH (UID 120 FLAGS (\\Seen \\Flagged $Label) INTERNALDATE \"11-Dec-2026 12:15:00 +0100\" "
                             "RFC822.SIZE 44 ENVELOPE (NIL \"s\" ((\"n\" NIL \"a\" \"b\")) NIL NIL NIL NIL NIL NIL NIL) "
                             "BODY[HEADER.FIELDS (MESSAGE-ID)] {2}\r\nhi BODY[] {" +
                             std::to_string(body.size()) + "}\r\n" + body + ")\r\n";
    Response r = parse_one(text);
    ASSERT_TRUE(r.fetch.has_value());
    EXPECT_EQ(r.fetch->sequence, 1u);
    EXPECT_EQ(r.fetch->uid, 120u);
    EXPECT_EQ(r.fetch->flags, (std::vector<std::string>{"\\Seen", "\\Flagged", "$Label"}));
    EXPECT_EQ(r.fetch->internal_date, 1796987700);
    EXPECT_EQ(r.fetch->body, body);

    Response no_body = parse_one("* 3 FETCH (FLAGS () UID 7)\r\n");
    ASSERT_TRUE(no_body.fetch.has_value());
    EXPECT_EQ(no_body.fetch->uid, 7u);
    EXPECT_TRUE(no_body.fetch->flags->empty());
    EXPECT_FALSE(no_body.fetch->body.has_value());
    EXPECT_FALSE(no_body.fetch->internal_date.has_value());

    EXPECT_FALSE(parse_one("* 4 FETCH (UID 8 BODY[] NIL)\r\n").fetch->body.has_value());
    EXPECT_EQ(parse_one("* 5 FETCH (BODY[]<0> \"x\" UID 9)\r\n").fetch->body, "x");
    EXPECT_EQ(parse_one("* 6 FETCH (BODY[] {0}\r\n)\r\n").fetch->body, "");
}

// A stream of responses cut at every position: each prefix short of a response's end needs
// more, and once whole it parses to exactly that response. Literals hold CRLF and "{n}".
TEST(ImapParser, EverySplitOfAStream) {
    const std::vector<std::string> stream = {
        "* OK [CAPABILITY IMAP4rev1] ready\r\n",
        "* 1 FETCH (UID 1 BODY[] {13}\r\nab\r\n{3}\r\n)x\r\n)\r\n",
        "* LIST () \"/\" {4}\r\nA{1}\r\n",
        "a1 OK done\r\n",
    };
    std::string all;
    for (const auto& s : stream) all += s;
    std::size_t start = 0;
    for (const auto& expected : stream) {
        for (std::size_t cut = start; cut < start + expected.size(); ++cut) {
            ParseResult partial = parse_response(std::string_view(all).substr(start, cut - start));
            ASSERT_TRUE(std::holds_alternative<NeedMore>(partial)) << "cut at " << cut;
            EXPECT_GT(std::get<NeedMore>(partial).at_least, cut - start);
        }
        ParseResult whole = parse_response(std::string_view(all).substr(start));
        ASSERT_TRUE(std::holds_alternative<Complete>(whole)) << expected;
        EXPECT_EQ(std::get<Complete>(whole).consumed, expected.size());
        start += expected.size();
    }
    EXPECT_EQ(parse_one(stream[1]).fetch->body, "ab\r\n{3}\r\n)x\r\n");
    EXPECT_EQ(parse_one(stream[2]).list->name, "A{1}");
}

TEST(ImapParser, MalformedResponsesAreProtocolErrors) {
    const std::vector<std::pair<const char*, std::string>> rows = {
        {"tagged without status", "a1 FETCHED it\r\n"},
        {"untagged without name", "* \r\n"},
        {"number without name", "* 3\r\n"},
        {"fetch list not closed", "* 1 FETCH (UID 1\r\n"},
        {"uid not a number", "* 1 FETCH (UID x)\r\n"},
        {"uid overflow", "* 1 FETCH (UID 4294967296)\r\n"},
        {"bad internaldate", "* 1 FETCH (INTERNALDATE \"yesterday\")\r\n"},
        {"unterminated quote", "* LIST () \"/ INBOX\r\n"},
        {"list without name", "* LIST () \"/\"\r\n"},
        {"search garbage", "* SEARCH 1 two\r\n"},
        {"literal shorter than announced", "* 1 FETCH (BODY[] {3}\r\nab)\r\n"},
        {"bytes after the response", "* 1 FETCH (UID 1) junk\r\n"},
        {"deep nesting", "* 1 FETCH (X " + std::string(100, '(') + std::string(100, ')') + ")\r\n"},
        {"empty line", "\r\n"},
    };
    for (const auto& [name, text] : rows) {
        ParseResult result = parse_response(text);
        EXPECT_TRUE(std::holds_alternative<ProtocolError>(result)) << name;
    }
}

TEST(ImapParser, LimitsBoundWhatAServerCanMakeUsHold) {
    ParserLimits limits;
    limits.max_literal_bytes = 1000;
    limits.max_response_bytes = 4000;
    // Refused as soon as the size is announced, before any of the bytes arrive.
    ParseResult huge = parse_response("* 1 FETCH (BODY[] {1001}\r\n", limits);
    ASSERT_TRUE(std::holds_alternative<ProtocolError>(huge));
    EXPECT_NE(std::get<ProtocolError>(huge).message.find("1001"), std::string::npos);
    EXPECT_TRUE(std::holds_alternative<ProtocolError>(parse_response("* 1 FETCH (BODY[] {99999999999999999999}\r\n", limits)));
    // Many literals that each pass still add up.
    std::string many = "* ID (";
    for (int i = 0; i < 5; ++i) many += "{900}\r\n" + std::string(900, 'x') + " ";
    EXPECT_TRUE(std::holds_alternative<ProtocolError>(parse_response(many, limits)));
    // So does a line that never ends.
    EXPECT_TRUE(std::holds_alternative<ProtocolError>(parse_response("* OK " + std::string(5000, 'x'), limits)));
    EXPECT_TRUE(std::holds_alternative<NeedMore>(parse_response("* OK " + std::string(3000, 'x'), limits)));
}

TEST(ImapParser, InternalDates) {
    const std::vector<std::pair<const char*, std::optional<std::int64_t>>> rows = {
        {"01-Jan-1970 00:00:00 +0000", 0},
        {"17-Jul-1996 02:44:25 -0700", 837596665},
        {" 1-Feb-2024 10:00:00 +0000", 1706781600},
        {"1-Feb-2024 10:00:00 +0000", 1706781600},
        {"29-feb-2024 23:59:59 +0130", 1709251199 - 5400},
        {"31-Dec-1969 23:00:00 +0000", -3600},
        {"17-Jul-1996 02:44:25", std::nullopt},
        {"17-Jux-1996 02:44:25 +0000", std::nullopt},
        {"17-Jul-96 02:44:25 +0000", std::nullopt},
        {"32-Jul-1996 02:44:25 +0000", std::nullopt},
        {"", std::nullopt},
    };
    for (const auto& [text, seconds] : rows) EXPECT_EQ(parse_internal_date(text), seconds) << text;
}

TEST(ImapCommand, QuotingAndLiterals) {
    EXPECT_EQ(quote("pa\"ss\\word"), "\"pa\\\"ss\\\\word\"");
    EXPECT_EQ(quote(""), "\"\"");
    EXPECT_TRUE(quotable("plain text with spaces"));
    for (std::string_view bad : {std::string_view("a\r\nb"), std::string_view("a\nb"), std::string_view("\xC3\xA9"),
                                 std::string_view("nul\0byte", 8)})
        EXPECT_FALSE(quotable(bad));

    EXPECT_EQ(Command("LOGIN").string("me@x").string("p\"w").render("a1"),
              (std::vector<std::string>{"a1 LOGIN \"me@x\" \"p\\\"w\"\r\n"}));
    EXPECT_EQ(Command("LIST").string("").string("*").render("a2"),
              (std::vector<std::string>{"a2 LIST \"\" \"*\"\r\n"}));
    EXPECT_EQ(Command("UID FETCH").raw("3,2,1").raw("(UID FLAGS)").render("a3"),
              (std::vector<std::string>{"a3 UID FETCH 3,2,1 (UID FLAGS)\r\n"}));
    // A value that cannot be quoted goes as a literal; the rest follows after the continuation.
    EXPECT_EQ(Command("LOGIN").string("me").string("p\xC3\xA4ss").render("a4"),
              (std::vector<std::string>{"a4 LOGIN \"me\" {5}\r\n", "p\xC3\xA4ss\r\n"}));
    EXPECT_EQ(Command("SELECT").string("a\r\nb").raw("X").render("a5"),
              (std::vector<std::string>{"a5 SELECT {4}\r\n", "a\r\nb X\r\n"}));
    // What goes out parses back as the same string.
    Response echoed = parse_one("* LIST () \"/\" " + quote("q\"uo\\te") + "\r\n");
    EXPECT_EQ(echoed.list->name, "q\"uo\\te");
}

}  // namespace
}  // namespace mail::engine::imap
