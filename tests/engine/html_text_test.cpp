#include "engine/html_text.h"

#include <gtest/gtest.h>

#include <string>

namespace mail::engine {
namespace {

struct Case {
    const char* html;
    const char* text;
};

TEST(HtmlToText, BlocksListsLinksAndWhiteSpace) {
    const Case cases[] = {
        {"<p>one</p><p>two</p>", "one\n\ntwo"},
        {"<div>one</div><div>two</div>", "one\ntwo"},
        {"<h1>Title</h1>text", "Title\n\ntext"},
        {"a<br>b<br><br>c", "a\nb\n\nc"},
        {"<div>a<br></div><div>b</div>", "a\nb"},
        {"<div><div><p>deep</p></div></div>after", "deep\n\nafter"},
        {"<ul><li>one</li><li>two</li></ul>", "\u2022 one\n\u2022 two"},
        {"<ol><li>one</li><li>two</li></ol>", "1. one\n2. two"},
        {"<ol start=\"7\"><li>seven</li><li>eight</li></ol>", "7. seven\n8. eight"},
        {"<ul><li>outer<ul><li>inner</li></ul></li><li>next</li></ul>", "\u2022 outer\n  \u2022 inner\n\u2022 next"},
        {"<li>stray item</li>", "\u2022 stray item"},
        {"see <a href=\"https://example.com/x\">the report</a>.", "see the report."},
        {"  Three \n\t  things  ", "Three things"},
        {"a<b>b</b>c <i>d</i>", "abc d"},
        {"a&nbsp;&nbsp;b", "a  b"},
        {"<p>&nbsp;</p><p>&nbsp;</p><p>text</p>", "text"},
        {"&lt;tag&gt; &amp; &quot;q&quot; &#8364; &eacute;", "<tag> & \"q\" \u20ac \u00e9"},
        {"<pre>line 1\n  indented\n\n\nlast</pre>", "line 1\n  indented\n\nlast"},
        {"<pre>a&nbsp;b</pre>", "a b"},
        {"<p>me</p><blockquote><p>quoted</p><p>more</p></blockquote>", "me\n\n> quoted\n>\n> more"},
        {"<blockquote>a<blockquote>b</blockquote></blockquote>", "> a\n>\n> > b"},
        {"<table><tr><td>a</td><td>b</td></tr><tr><td>c</td><td>d</td></tr></table>", "a b\nc d"},
        {"<p>x</p><hr><p>y</p>", "x\n\ny"},
        {"", ""},
        {"   ", ""},
    };
    for (const Case& c : cases) EXPECT_EQ(html_to_text(c.html), c.text) << c.html;
}

TEST(HtmlToText, DropsWhatIsNotShown) {
    const Case cases[] = {
        {"<html><head><title>T</title><style>p{color:red}</style><meta charset=utf-8></head>"
         "<body><script>track()</script>Hi<!-- hidden --></body></html>",
         "Hi"},
        {"<template><p>later</p></template>ok", "ok"},
        {"a<svg><text>drawn</text></svg>b", "ab"},
        {"<p>a<img src=\"x.png\" alt=\"logo\">b</p>", "ab"},
        {"<select><option>one</option></select>ok", "ok"},
    };
    for (const Case& c : cases) EXPECT_EQ(html_to_text(c.html), c.text) << c.html;
}

TEST(HtmlToText, HostileNestingStaysBounded) {
    // Far deeper than any call stack would survive if the walk recursed.
    std::string deep;
    for (int i = 0; i < 200000; ++i) deep += "<div>";
    deep += "bottom";
    EXPECT_EQ(html_to_text(deep), "bottom");

    // Every line inside many quotes carries only a bounded prefix.
    std::string quotes;
    for (int i = 0; i < 5000; ++i) quotes += "<blockquote>";
    for (int i = 0; i < 5000; ++i) quotes += "line<br>";
    std::string text = html_to_text(quotes);
    EXPECT_LT(text.size(), quotes.size() * 4);
    EXPECT_TRUE(text.starts_with("> > > > > > > > line\n"));

    std::string lists;
    for (int i = 0; i < 5000; ++i) lists += "<ul><li>";
    lists += "x";
    EXPECT_LT(html_to_text(lists).size(), 100u);
}

TEST(HtmlToText, MalformedUtf8IsRepaired) {
    std::string text = html_to_text("caf\xE9 <b>\xFF</b>");
    EXPECT_TRUE(is_valid_utf8(text));
    EXPECT_EQ(text, "caf\uFFFD \uFFFD");
}

TEST(Utf8, RepairReplacesEachBadByte) {
    const Case cases[] = {
        {"plain", "plain"},
        {"\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80", "\u00e9\u20ac\U0001F600"},
        {"\xC0\xAF", "\uFFFD\uFFFD"},          // overlong
        {"\xED\xA0\x80", "\uFFFD\uFFFD\uFFFD"},  // surrogate
        {"\xF4\x90\x80\x80", "\uFFFD\uFFFD\uFFFD\uFFFD"},  // past U+10FFFF
        {"ab\xE2\x82", "ab\uFFFD\uFFFD"},      // cut short at the end
        {"\x80x", "\uFFFDx"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(repair_utf8(c.html), c.text) << c.html;
        EXPECT_TRUE(is_valid_utf8(repair_utf8(c.html)));
    }
    EXPECT_TRUE(is_valid_utf8("\xC3\xA9"));
    EXPECT_FALSE(is_valid_utf8("\xC3"));
    EXPECT_TRUE(is_valid_utf8(std::string("a\0b", 3)));
}

}  // namespace
}  // namespace mail::engine
