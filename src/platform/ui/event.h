#pragma once
// Input as the program sees it: the window layer turns every native input event into one of these.
#include <string>
#include <variant>

#include "platform/ui/geometry.h"

namespace mail::ui {

struct Modifiers {
    bool shift = false;
    bool ctrl = false;
    bool alt = false;
    bool meta = false;
    // The platform's command key: Ctrl here.
    bool command() const { return ctrl || meta; }
    bool none() const { return !shift && !ctrl && !alt && !meta; }
    friend bool operator==(const Modifiers&, const Modifiers&) = default;
};

enum class PointerButton { Left, Right, Middle };

struct PointerMove {
    Point position;
    Modifiers modifiers;
};

struct PointerPress {
    Point position;
    PointerButton button = PointerButton::Left;
    Modifiers modifiers;
    int click_count = 1;
};

struct PointerRelease {
    Point position;
    PointerButton button = PointerButton::Left;
    Modifiers modifiers;
};

// The pointer left the window.
struct PointerLeave {};

enum class WheelUnit { Pixels, Lines };

struct Wheel {
    Point position;
    Point delta;  // positive y scrolls the content up (towards later rows)
    WheelUnit unit = WheelUnit::Pixels;
    Modifiers modifiers;
};

// `key` uses the web's key names: "ArrowDown", "Enter", "Escape", "Tab", "Backspace", "Delete",
// "Home", "End", "PageUp", "PageDown", "F1"…, or the character itself ("a", "A", "/", "?").
struct KeyPress {
    std::string key;
    std::string text;  // what the key types, empty for control keys
    Modifiers modifiers;
    bool repeat = false;
};

// Text committed by the input method (or typed into a semantic set-value).
struct TextCommit {
    std::string text;
};

struct ScaleChanged {
    float scale = 1;
};

struct WindowFocus {
    bool focused = true;
};

using Event = std::variant<PointerMove, PointerPress, PointerRelease, PointerLeave, Wheel, KeyPress,
                           TextCommit, ScaleChanged, WindowFocus>;

// The pointer position an event carries, when it carries one.
inline const Point* event_position(const Event& event) {
    if (auto* e = std::get_if<PointerMove>(&event)) return &e->position;
    if (auto* e = std::get_if<PointerPress>(&event)) return &e->position;
    if (auto* e = std::get_if<PointerRelease>(&event)) return &e->position;
    if (auto* e = std::get_if<Wheel>(&event)) return &e->position;
    return nullptr;
}

enum class EventResult { Ignored, Handled };

}  // namespace mail::ui
