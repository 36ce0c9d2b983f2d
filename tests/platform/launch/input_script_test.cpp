#include "platform/launch/input_script.h"

#include <gtest/gtest.h>

namespace mail::launch {
namespace {

TEST(InputScript, TurnsLinesIntoEventsWaitsAndSemanticActions) {
    auto steps = parse_input_script(
        "{\"key\":\"ArrowDown\",\"mods\":[\"shift\"]}\n"
        "\n"
        "{\"key\":\"a\",\"mods\":[\"ctrl\"]}\n"
        "{\"key\":\"x\"}\n"
        "{\"text\":\"héllo\"}\r\n"
        "{\"click\":[10,20]}\n"
        "{\"wheel\":[0,3]}\n"
        "{\"wait_ms\":100}\n"
        "{\"wait_idle\":5}\n"
        "{\"semantic\":\"mail.bulk:toggle\"}\n"
        "{\"semantic\":\"search\",\"kind\":\"set_value\",\"value\":\"spatial\"}");
    ASSERT_TRUE(steps.ok()) << steps.error_text();
    ASSERT_EQ(steps->size(), 10u);

    auto events = [&](std::size_t i) { return std::get<std::vector<ui::Event>>((*steps)[i].action); };
    auto down = std::get<ui::KeyPress>(events(0)[0]);
    EXPECT_EQ(down.key, "ArrowDown");
    EXPECT_TRUE(down.modifiers.shift);
    EXPECT_EQ(down.text, "");
    EXPECT_EQ((*steps)[1].line, 3);  // the blank line still counts
    EXPECT_EQ(std::get<ui::KeyPress>(events(1)[0]).text, "");   // a command chord types nothing
    EXPECT_EQ(std::get<ui::KeyPress>(events(2)[0]).text, "x");
    EXPECT_EQ(std::get<ui::TextCommit>(events(3)[0]).text, "héllo");
    auto click = events(4);
    ASSERT_EQ(click.size(), 3u);
    EXPECT_TRUE(std::holds_alternative<ui::PointerPress>(click[1]));
    EXPECT_EQ(std::get<ui::PointerRelease>(click[2]).position, (ui::Point{10, 20}));
    EXPECT_EQ(std::get<WaitMs>((*steps)[6].action).milliseconds, 100);
    EXPECT_DOUBLE_EQ(std::get<WaitIdle>((*steps)[7].action).seconds, 5);
    auto toggle = std::get<ui::SemanticAction>((*steps)[8].action);
    EXPECT_EQ(toggle.id, "mail.bulk:toggle");
    EXPECT_EQ(toggle.kind, ui::SemanticKind::Activate);
    auto set = std::get<ui::SemanticAction>((*steps)[9].action);
    EXPECT_EQ(set.kind, ui::SemanticKind::SetValue);
    EXPECT_EQ(set.value, "spatial");
}

TEST(InputScript, ABadLineIsNamedByItsNumber) {
    struct Case {
        const char* text;
        const char* expected_prefix;
    };
    const Case cases[] = {
        {"{\"key\":\"a\"}\n{\"key\":", "input line 2: invalid JSON"},
        {"{\"jump\":1}", "input line 1: unknown input line"},
        {"{\"click\":[1]}", "input line 1: \"click\" wants [x, y]"},
        {"{\"key\":\"a\",\"mods\":[\"hyper\"]}", "input line 1: unknown modifier"},
        {"{\"semantic\":\"x\",\"kind\":\"set_value\"}", "input line 1: set_value wants"},
        {"[1,2]", "input line 1: each line must be a JSON object"},
        {"{\"wait_ms\":-5}", "input line 1: \"wait_ms\""},
    };
    for (const auto& c : cases) {
        auto steps = parse_input_script(c.text);
        ASSERT_FALSE(steps.ok()) << c.text;
        EXPECT_EQ(steps.error_text().rfind(c.expected_prefix, 0), 0u) << steps.error_text();
    }
}

}  // namespace
}  // namespace mail::launch
