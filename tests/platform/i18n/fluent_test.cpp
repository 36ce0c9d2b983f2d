#include "platform/i18n/fluent.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using mail::i18n::FluentArgs;
using mail::i18n::FluentBundle;

std::string text_of(const char* source, const char* key, const FluentArgs& args = {}) {
    FluentBundle bundle;
    const auto added = bundle.add_resource(source);
    if (!added) return "parse error: " + added.error_text();
    return bundle.format(key, args, false).value_or("<missing>");
}

struct Case {
    const char* name;
    const char* source;
    const char* key;
    FluentArgs args;
    const char* expected;
};

// A case without an expected text only has to finish.
void run(const std::vector<Case>& cases) {
    for (const Case& c : cases) {
        const std::string text = text_of(c.source, c.key, c.args);
        if (c.expected) {
            EXPECT_EQ(text, c.expected) << c.name;
        }
    }
}

TEST(Fluent, MessagesAndPlaceables) {
    run({
        {"plain", "hello = Hello, world", "hello", {}, "Hello, world"},
        {"spaces around equals", "hello   =    Hi  ", "hello", {}, "Hi"},
        {"comments of three levels", "# one\n## two\n### three\n#\nk = v\n", "k", {}, "v"},
        {"utf-8 text and typographic marks", "k = Couldn’t save — “Verifying…”", "k", {},
         "Couldn’t save — “Verifying…”"},
        {"text argument", "k = Sign in with { $provider }", "k", {{"provider", "Google"}}, "Sign in with Google"},
        {"tight braces", "k = a{$x}b", "k", {{"x", "-"}}, "a-b"},
        {"integer argument", "k = { $n } new", "k", {{"n", 42}}, "42 new"},
        {"whole double as integer", "k = { $n }", "k", {{"n", 3.0}}, "3"},
        {"fraction kept", "k = { $n }", "k", {{"n", 2.5}}, "2.5"},
        {"negative number", "k = { $n }", "k", {{"n", -7}}, "-7"},
        {"missing argument shown", "k = Hi { $name }!", "k", {}, "Hi {$name}!"},
        {"argument text is not re-parsed", "k = { $v }", "k", {{"v", "{ $other } }"}}, "{ $other } }"},
        {"string literal", "k = { \"{\" }braces{ \"}\" }", "k", {}, "{braces}"},
        {"string escapes", "k = { \"a\\\"b\\\\c \\u00E9 \\U01F4CE\" }", "k", {}, "a\"b\\c é 📎"},
        {"number literal as written", "k = { 1.50 } and { -3 }", "k", {}, "1.50 and -3"},
        {"message reference", "brand = Mail\nk = Welcome to { brand }", "k", {}, "Welcome to Mail"},
        {"attribute reference", "m = x\n    .title = T\nk = { m.title }!", "k", {}, "T!"},
        {"unknown reference shown", "k = { nowhere }", "k", {}, "{nowhere}"},
        {"circular references are cut", "k = a{ k }\nx = <{ y }>\ny = ({ x })", "x", {}, "<({x})>"},
        {"fan-out of references is bounded", "a = {b}{b}{b}{b}\nb = {c}{c}{c}{c}\nc = {d}{d}{d}{d}\n"
         "d = {e}{e}{e}{e}\ne = {f}{f}{f}{f}\nf = x", "a", {}, nullptr},
        {"nested placeable", "k = { { $x } }", "k", {{"x", "y"}}, "y"},
        {"crlf line ends", "a = one\r\nb = two\r\n", "b", {}, "two"},
        {"later message replaces earlier", "k = old\nk = new", "k", {}, "new"},
    });
}

TEST(Fluent, MultiLineValues) {
    run({
        {"continuation joins with a line feed", "k = first\n    second\n", "k", {}, "first\nsecond"},
        {"value starting on next line", "k =\n    first\n    second", "k", {}, "first\nsecond"},
        {"common indent removed, extra kept", "k =\n    a\n      b\n    c", "k", {}, "a\n  b\nc"},
        {"blank lines inside kept", "k = a\n\n    b", "k", {}, "a\n\nb"},
        {"trailing blank lines dropped", "k = a\n    b\n\n\nnext = x", "k", {}, "a\nb"},
        {"block placeable", "k = a\n    { $x } b", "k", {{"x", "X"}}, "a\nX b"},
        {"unindented line ends the value", "k = a\nl = b", "k", {}, "a"},
        {"trailing spaces trimmed", "k = a   \n", "k", {}, "a"},
    });
}

TEST(Fluent, Attributes) {
    const char* source =
        "login =\n"
        "    .label = Sign in\n"
        "    .placeholder = you@example.org\n"
        "save = Save\n"
        "  .title = Save the draft\n"
        "      and close\n"
        "search = Search\n"
        ".tooltip = Search mail\n";
    run({
        {"attribute of a message without value", source, "login.label", {}, "Sign in"},
        {"second attribute", source, "login.placeholder", {}, "you@example.org"},
        {"value beside attribute", source, "save", {}, "Save"},
        {"multi-line attribute", source, "save.title", {}, "Save the draft\nand close"},
        {"attribute at the line start", source, "search.tooltip", {}, "Search mail"},
        {"message without value has none", source, "login", {}, "<missing>"},
        {"unknown attribute", source, "save.nope", {}, "<missing>"},
    });
}

TEST(Fluent, SelectExpressions) {
    const char* source =
        "unread = { $count ->\n"
        "    [0] No unread messages\n"
        "    [one] One unread message\n"
        "   *[other] { $count } unread messages\n"
        "}\n"
        "role = { $kind ->\n"
        "        [admin] Administrator\n"
        "       *[user] User\n"
        "    }\n"
        "nested = Folder: { $n ->\n"
        "    [one] one item\n"
        "   *[other]\n"
        "        { $n } items\n"
        "        in total\n"
        " } done\n";
    run({
        {"exact value before category", source, "unread", {{"count", 0}}, "No unread messages"},
        {"plural one", source, "unread", {{"count", 1}}, "One unread message"},
        {"plural one from a whole double", source, "unread", {{"count", 1.0}}, "One unread message"},
        {"plural other", source, "unread", {{"count", 5}}, "5 unread messages"},
        {"fraction is other", source, "unread", {{"count", 1.5}}, "1.5 unread messages"},
        {"missing selector takes default", source, "unread", {}, "{$count} unread messages"},
        {"text selector", source, "role", {{"kind", "admin"}}, "Administrator"},
        {"unknown text takes default", source, "role", {{"kind", "guest"}}, "User"},
        {"number never matches identifier keys", source, "role", {{"kind", 1}}, "User"},
        {"select inside text, block variant", source, "nested", {{"n", 3}}, "Folder: 3 items\nin total done"},
        {"select inside text, inline variant", source, "nested", {{"n", 1}}, "Folder: one item done"},
    });
}

TEST(Fluent, ParseErrorsNameTheLineAndAddNothing) {
    struct ErrorCase {
        const char* name;
        const char* source;
        const char* line;
    };
    const ErrorCase cases[] = {
        {"missing equals", "ok = fine\nbroken value\n", "line 2:"},
        {"unclosed placeable", "a = x\nb = y\nc = { $v\n", "line 3:"},
        {"stray closing brace", "a = b } c", "line 1:"},
        {"term", "a = 1\n-brand = Mail\n", "line 2:"},
        {"term reference", "a = { -brand }", "line 1:"},
        {"function call", "a = { NUMBER($n) }", "line 1:"},
        {"no default variant", "a = { $n ->\n  [one] x\n  [other] y\n}\n", "line 1:"},
        {"two default variants", "a = { $n ->\n *[one] x\n *[other] y\n}\n", "line 3:"},
        {"variant on the selector line", "a = { $n -> *[other] y }", "line 1:"},
        {"selector not a variable", "a = { \"x\" ->\n *[other] y\n}", "line 1:"},
        {"empty value", "a =\nb = x", "line 1:"},
        {"attribute without value", "a = x\n  .title =\n", "line 2:"},
        {"indented junk", "a = x\n\n  [one] y\n", "line 3:"},
        {"comment without space", "#comment\n", "line 1:"},
        {"four hashes", "#### x\n", "line 1:"},
        {"unterminated string", "a = { \"abc }\n", "line 1:"},
        {"bad escape", "a = { \"\\q\" }", "line 1:"},
        {"surrogate escape", "a = { \"\\uD800\" }", "line 1:"},
        {"bad name", "1a = x", "line 1:"},
        {"empty placeable", "a = { }", "line 1:"},
        {"unterminated variant key", "a = { $n ->\n *[other y\n}", "line 2:"},
    };
    for (const ErrorCase& c : cases) {
        FluentBundle bundle;
        const auto added = bundle.add_resource(std::string("first = kept?\n") + c.source);
        ASSERT_FALSE(added.ok()) << c.name;
        // The first line of the text is the prefix added above.
        const std::string expected_line = "line " + std::to_string(std::stoi(c.line + 5) + 1) + ":";
        EXPECT_EQ(added.error_text().rfind(expected_line, 0), 0u) << c.name << ": " << added.error_text();
        EXPECT_FALSE(bundle.has("first")) << c.name;
    }
}

TEST(Fluent, PseudoTextKeepsPlaceablesAndAddsBrackets) {
    FluentBundle bundle;
    ASSERT_TRUE(bundle.add_resource("k = Sign in with { $provider } { \"now\" }\n"
                                    "n = { $c ->\n [one] one file\n *[other] { $c } files\n}\n")
                    .ok());
    EXPECT_EQ(bundle.format("k", {{"provider", "Google"}}, true), "[Šîğñ îñ ŵîţĥ Google now]");
    EXPECT_EQ(bundle.format("n", {{"c", 3}}, true), "[3 ƒîļéš]");
    EXPECT_EQ(mail::i18n::pseudo_text("Mail 2 — ok"), "Ṁäîļ 2 — öķ");
}

TEST(Fluent, ChangedCountsOnlyNewOrDifferentMessages) {
    FluentBundle bundle;
    ASSERT_EQ(bundle.add_resource("a = 1\nb = 2\n").value(), 2u);
    EXPECT_EQ(bundle.add_resource("a = 1\nb = 2\n").value(), 0u);
    EXPECT_EQ(bundle.add_resource("# note\na = 1\nb = 3\nc = 4\n").value(), 2u);
    EXPECT_EQ(bundle.format("b", {}, false), "3");
}

}  // namespace
