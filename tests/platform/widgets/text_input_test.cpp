#include "platform/ui/text_input.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/ui/clipboard.h"
#include "platform/ui/offscreen.h"

namespace mail::ui {
namespace {

PointerRelease release_at(Point p) {
    PointerRelease r;
    r.position = p;
    return r;
}

// "S-" shift, "C-" ctrl, "A-" alt before a key name; "=text" types text, "~text" commits it.
Event key_event(std::string written) {
    if (!written.empty() && written[0] == '=') return KeyPress{written.substr(1), written.substr(1), {}, false};
    if (!written.empty() && written[0] == '~') return TextCommit{written.substr(1)};
    Modifiers m;
    while (written.size() > 2 && written[1] == '-') {
        if (written[0] == 'S') m.shift = true;
        if (written[0] == 'C') m.ctrl = true;
        if (written[0] == 'A') m.alt = true;
        written = written.substr(2);
    }
    return KeyPress{written, "", m, false};
}

TextInput focused_input(const std::string& text, std::size_t caret, TextInputKind kind = TextInputKind::Plain) {
    TextInput input = TextInput::local("field").with_initial_value(text).with_kind(kind);
    input.set_focused(true);
    input.set_selection(caret, caret);
    return input;
}

void press_keys(TextInput& input, const std::vector<std::string>& keys) {
    for (const auto& k : keys) input.handle_event(key_event(k));
}

struct EditCase {
    const char* name;
    std::string text;
    std::size_t caret;
    std::vector<std::string> keys;
    std::string want_text;
    std::size_t want_caret;
    std::size_t want_sel_start;
    std::size_t want_sel_end;
    TextInputKind kind = TextInputKind::Plain;
};

TEST(TextInputEditing, KeySequencesGiveTextCaretAndSelection) {
    const std::string emoji = "a\xF0\x9F\x98\x80" "b";  // a😀b
    const std::vector<EditCase> cases = {
        {"backspace at end", "hello", 5, {"Backspace"}, "hell", 4, 4, 4},
        {"backspace removes a two-byte character", "h\xC3\xA9llo", 3, {"Backspace"}, "hllo", 1, 1, 1},
        {"backspace removes a four-byte character", emoji, 5, {"Backspace"}, "ab", 1, 1, 1},
        {"delete removes the character after", emoji, 1, {"Delete"}, "ab", 1, 1, 1},
        {"backspace at start does nothing", "abc", 0, {"Backspace"}, "abc", 0, 0, 0},
        {"delete at end does nothing", "abc", 3, {"Delete"}, "abc", 3, 3, 3},
        {"ctrl+backspace deletes a word", "hello world", 11, {"C-Backspace"}, "hello ", 6, 6, 6},
        {"ctrl+delete deletes a word", "hello world", 0, {"C-Delete"}, " world", 0, 0, 0},
        {"arrow steps over a multi-byte character", emoji, 1, {"ArrowRight"}, emoji, 5, 5, 5},
        {"shift+arrows select", "hello", 5, {"S-ArrowLeft", "S-ArrowLeft"}, "hello", 3, 3, 5},
        {"typing replaces the selection", "hello", 5, {"S-ArrowLeft", "S-ArrowLeft", "=p"}, "help", 4, 4, 4},
        {"backspace deletes the selection", "hello", 0, {"S-ArrowRight", "S-ArrowRight", "Backspace"}, "llo", 0, 0, 0},
        {"arrow collapses a selection to its edge", "abcd", 1, {"S-ArrowRight", "S-ArrowRight", "ArrowLeft"}, "abcd", 1, 1, 1},
        {"home and end", "abc", 1, {"Home"}, "abc", 0, 0, 0},
        {"shift+end selects to the end", "abc", 1, {"S-End"}, "abc", 3, 1, 3},
        {"ctrl+arrows move by word", "one two", 0, {"C-ArrowRight", "C-ArrowRight", "C-ArrowLeft"}, "one two", 4, 4, 4},
        {"select all then type", "old text", 2, {"C-a", "=x"}, "x", 1, 1, 1},
        {"typed text goes in at the caret", "ac", 1, {"=b"}, "abc", 2, 2, 2},
        {"committed text goes in at the caret", "ab", 1, {"~\xC3\xBC"}, "a\xC3\xBC" "b", 3, 3, 3},
        {"ctrl with a letter is not typing", "ab", 2, {"C-j"}, "ab", 2, 2, 2},
        {"enter is not typed in a single line", "ab", 1, {"Enter"}, "ab", 1, 1, 1},
        {"enter breaks a multi-line text", "ab", 1, {"Enter"}, "a\nb", 2, 2, 2, TextInputKind::Multiline},
        {"home goes to the start of the line", "ab\ncd", 5, {"Home"}, "ab\ncd", 3, 3, 3, TextInputKind::Multiline},
        {"end stops before the line break", "ab\ncd", 0, {"End"}, "ab\ncd", 2, 2, 2, TextInputKind::Multiline},
        {"ctrl+home goes to the start of the text", "ab\ncd", 5, {"C-Home"}, "ab\ncd", 0, 0, 0, TextInputKind::Multiline},
        {"ctrl+backspace clears a password to the caret", "ab cd", 5, {"C-Backspace"}, "", 0, 0, 0, TextInputKind::Password},
        {"ctrl+arrow in a password jumps to the end", "ab cd", 0, {"C-ArrowRight"}, "ab cd", 5, 5, 5, TextInputKind::Password},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TextInput input = focused_input(c.text, c.caret, c.kind);
        press_keys(input, c.keys);
        EXPECT_EQ(input.text(), c.want_text);
        EXPECT_EQ(input.caret(), c.want_caret);
        EXPECT_EQ(input.selection_start(), c.want_sel_start);
        EXPECT_EQ(input.selection_end(), c.want_sel_end);
    }
}

TEST(TextInputEditing, EditingKeysAreConsumedButShortcutsAndNavigationPassThrough) {
    TextInput input = focused_input("abc", 0);
    // Backspace at the start changes nothing but must not reach a "delete message" shortcut.
    EXPECT_EQ(input.handle_event(key_event("Backspace")), EventResult::Handled);
    EXPECT_EQ(input.handle_event(key_event("=j")), EventResult::Handled);
    EXPECT_EQ(input.handle_event(key_event("Escape")), EventResult::Ignored);
    EXPECT_EQ(input.handle_event(key_event("Tab")), EventResult::Ignored);
    EXPECT_EQ(input.handle_event(key_event("Enter")), EventResult::Ignored);
    EXPECT_EQ(input.handle_event(key_event("ArrowDown")), EventResult::Ignored);
    EXPECT_EQ(input.handle_event(key_event("C-n")), EventResult::Ignored);

    TextInput unfocused = TextInput::local("other").with_initial_value("abc");
    EXPECT_EQ(unfocused.handle_event(key_event("=x")), EventResult::Ignored);
    EXPECT_EQ(unfocused.handle_event(TextCommit{"x"}), EventResult::Ignored);
    EXPECT_EQ(unfocused.text(), "abc");
}

TEST(TextInputEditing, PasteCleansLineBreaksForOneLineAndKeepsThemForMany) {
    set_clipboard_text("one\r\ntwo\tthree\x01");
    TextInput line = focused_input("", 0);
    press_keys(line, {"C-v"});
    EXPECT_EQ(line.text(), "one two three");

    TextInput body = focused_input("", 0, TextInputKind::Multiline);
    press_keys(body, {"C-v"});
    EXPECT_EQ(body.text(), "one\ntwo\tthree");
}

TEST(TextInputClipboard, CopyAndCutPlainTextButNeverAPassword) {
    set_clipboard_text("before");
    TextInput secret = focused_input("hunter2", 0, TextInputKind::Password);
    press_keys(secret, {"C-a", "C-c"});
    EXPECT_EQ(clipboard_text(), "before");
    press_keys(secret, {"C-x"});
    EXPECT_EQ(clipboard_text(), "before");
    EXPECT_EQ(secret.text(), "hunter2");  // a cut that cannot copy must not delete either

    TextInput plain = focused_input("copy me", 0);
    press_keys(plain, {"S-End", "C-c"});
    EXPECT_EQ(clipboard_text(), "copy me");
    press_keys(plain, {"S-Home", "S-ArrowRight", "S-ArrowRight"});  // select "co"
    EXPECT_EQ(plain.selected_text(), "co");
    press_keys(plain, {"C-x"});
    EXPECT_EQ(clipboard_text(), "co");
    EXPECT_EQ(plain.text(), "py me");
    press_keys(plain, {"End", "C-v"});
    EXPECT_EQ(plain.text(), "py meco");
}

TEST(TextInputAccessibility, PasswordValueIsMaskedPerCharacter) {
    TextInput secret = TextInput::local("mail.setup:field:3")
                           .with_kind(TextInputKind::Password)
                           .with_label("Password")
                           .with_initial_value("p\xC3\xA4sswort");  // 8 characters, 9 bytes
    AccessNode node = secret.accessibility();
    EXPECT_EQ(node.role, AccessRole::TextInput);
    EXPECT_EQ(node.label, "Password");
    EXPECT_EQ(node.key, "mail.setup:field:3");
    std::string bullets;
    for (int i = 0; i < 8; ++i) bullets += "\xE2\x80\xA2";
    EXPECT_EQ(node.value, bullets);

    TextInput plain = TextInput::local("q").with_placeholder("Search").with_initial_value("abc");
    EXPECT_EQ(plain.accessibility().label, "Search");
    EXPECT_EQ(plain.accessibility().value, "abc");
}

TEST(TextInputSemantics, SetValueAndFocusByKey) {
    TextInput input = TextInput::local("mail.search");
    EXPECT_FALSE(input.perform_semantic_action({"other", SemanticKind::SetValue, "x"}));
    EXPECT_TRUE(input.perform_semantic_action({"mail.search", SemanticKind::SetValue, "invoice"}));
    EXPECT_EQ(input.text(), "invoice");
    EXPECT_EQ(input.caret(), 7u);
    EXPECT_TRUE(input.take_edited());
    EXPECT_FALSE(input.take_edited());
    EXPECT_FALSE(input.is_focused());
    EXPECT_TRUE(input.perform_semantic_action({"mail.search", SemanticKind::Focus, ""}));
    EXPECT_TRUE(input.is_focused());
}

TEST(TextInputSemantics, RevisionCountsChangesAndSetTextDropsTheSelection) {
    TextInput input = focused_input("abc", 0);
    const auto start = input.revision();
    press_keys(input, {"ArrowRight", "S-ArrowRight"});
    EXPECT_EQ(input.revision(), start);
    press_keys(input, {"=x"});
    EXPECT_EQ(input.revision(), start + 1);
    input.set_text("fresh");
    EXPECT_EQ(input.revision(), start + 2);
    EXPECT_FALSE(input.has_selection());
    EXPECT_EQ(input.caret(), 5u);
    // Offsets inside a character snap to its start.
    input.set_text("\xC3\xA9t\xC3\xA9");
    input.set_selection(1, 4);
    EXPECT_EQ(input.selection_start(), 0u);
    EXPECT_EQ(input.selection_end(), 3u);
}

// Pointer input and scrolling need real text layout.
class TextInputPointer : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ensure_gui_application(); }

    static PointerPress click(Point p, int count = 1, bool shift = false) {
        PointerPress press;
        press.position = p;
        press.click_count = count;
        press.modifiers.shift = shift;
        return press;
    }
};

TEST_F(TextInputPointer, ClicksPlaceTheCaretAndSelectWords) {
    TextInput input = TextInput::local("f").with_initial_value("hello world");
    input.apply_layout_external({100, 50, 400, 84});
    EXPECT_EQ(input.handle_event(click({10, 60})), EventResult::Ignored);  // outside
    EXPECT_FALSE(input.is_focused());

    EXPECT_EQ(input.handle_event(click({395, 66})), EventResult::Handled);
    EXPECT_TRUE(input.is_focused());
    EXPECT_EQ(input.caret(), 11u);
    input.handle_event(release_at({395, 66}));

    input.handle_event(click({101, 66}));
    input.handle_event(release_at({101, 66}));
    EXPECT_EQ(input.caret(), 0u);

    // Shift+click extends from the caret.
    input.set_selection(8, 8);
    const float x_of_r = input.caret_rect().x0 + 2;  // just inside "r", nearer its left edge
    input.set_selection(2, 2);
    input.handle_event(click({x_of_r, 66}, 1, true));
    input.handle_event(release_at({x_of_r, 66}));
    EXPECT_EQ(input.selection_start(), 2u);
    EXPECT_EQ(input.selection_end(), 8u);

    // A double click selects the word under the pointer.
    input.handle_event(click({x_of_r, 66}, 2));
    EXPECT_EQ(input.selection_start(), 6u);
    EXPECT_EQ(input.selection_end(), 11u);
    EXPECT_EQ(input.selected_text(), "world");
}

TEST_F(TextInputPointer, DragSelectsAndReleaseEndsTheDrag) {
    TextInput input = TextInput::local("f").with_initial_value("drag across this");
    input.apply_layout_external({0, 0, 400, 34});
    input.handle_event(click({1, 17}));
    input.handle_event(PointerMove{{399, 17}, {}});
    EXPECT_EQ(input.selection_start(), 0u);
    EXPECT_EQ(input.selection_end(), input.text().size());
    input.handle_event(release_at({399, 17}));
    input.handle_event(PointerMove{{1, 17}, {}});
    EXPECT_EQ(input.selection_end(), input.text().size());  // no drag after release
}

TEST_F(TextInputPointer, SingleLineScrollsToKeepTheCaretVisible) {
    TextInput input = focused_input("a rather long line of text that cannot fit in a narrow field", 0);
    input.apply_layout_external({0, 0, 120, 34});
    EXPECT_EQ(input.scroll_offset(), 0.0f);
    press_keys(input, {"End"});
    EXPECT_GT(input.scroll_offset(), 0.0f);
    Rect caret = input.caret_rect();
    EXPECT_GE(caret.x0, 0.0f);
    EXPECT_LE(caret.x1, 120.0f);
    press_keys(input, {"Home"});
    EXPECT_EQ(input.scroll_offset(), 0.0f);
    EXPECT_GE(input.caret_rect().x0, 0.0f);
}

TEST_F(TextInputPointer, UpAndDownMoveBetweenLinesKeepingTheColumn) {
    TextInput input = focused_input("abcd\nab\nabcd", 3, TextInputKind::Multiline);
    input.apply_layout_external({0, 0, 300, 120});
    press_keys(input, {"ArrowDown"});
    EXPECT_EQ(input.caret(), 7u);  // end of the short line
    press_keys(input, {"ArrowDown"});
    EXPECT_EQ(input.caret(), 11u);  // back in the remembered column
    press_keys(input, {"ArrowDown"});
    EXPECT_EQ(input.caret(), 12u);  // below the last line: the end
    press_keys(input, {"ArrowUp", "ArrowUp", "ArrowUp"});
    EXPECT_EQ(input.caret(), 0u);   // above the first line: the start
    press_keys(input, {"Home", "S-ArrowDown"});
    EXPECT_EQ(input.selection_start(), 0u);
    EXPECT_EQ(input.selection_end(), 5u);
}

TEST_F(TextInputPointer, WheelScrollsAMultiLineTextWithinItsEnds) {
    std::string text;
    for (int i = 0; i < 30; ++i) text += "line " + std::to_string(i) + "\n";
    TextInput input = focused_input(text, 0, TextInputKind::Multiline);
    input.apply_layout_external({0, 0, 200, 100});
    const float top = input.caret_rect().y0;
    Wheel wheel;
    wheel.position = {50, 50};
    wheel.delta = {0, 60};
    EXPECT_EQ(input.handle_event(wheel), EventResult::Handled);
    EXPECT_FLOAT_EQ(input.caret_rect().y0, top - 60);
    wheel.delta = {0, -1000};
    EXPECT_EQ(input.handle_event(wheel), EventResult::Handled);
    EXPECT_FLOAT_EQ(input.caret_rect().y0, top);
    EXPECT_EQ(input.handle_event(wheel), EventResult::Ignored);  // already at the top
    // Typing brings the caret back into view.
    wheel.delta = {0, 10000};
    input.handle_event(wheel);
    press_keys(input, {"=x"});
    EXPECT_GE(input.caret_rect().y0, 0.0f);
    EXPECT_LE(input.caret_rect().y1, 100.0f);
}

}  // namespace
}  // namespace mail::ui
