#pragma once
// Buttons and switches, painted statelessly: the owner keeps hover and press state and hit
// regions, and asks for the face that matches.
#include <optional>
#include <string_view>

#include "platform/ui/geometry.h"
#include "platform/ui/icons.h"

namespace mail::ui {

class Painter;
struct Theme;

enum class ButtonKind {
    Standard,     // a lifted neutral surface
    Primary,      // the accent, for the one main action of a view
    Destructive,  // danger-tinted, for actions that remove things
    Ghost,        // no surface until hovered, for toolbars and quiet actions
};

enum class ButtonState { Rest, Hover, Pressed, Disabled };

// The colours of one button face.
struct ButtonFace {
    Color fill;
    Color border;   // transparent for no border
    Color content;  // label and icon

    static ButtonFace of(const Theme& theme, ButtonKind kind, ButtonState state = ButtonState::Rest);
};

// What sits on a button. Icon and label are centred together unless an offset places them
// (offsets are from the button's top left corner, the label's to its line box).
struct ButtonContent {
    std::string_view label;
    std::optional<IconName> icon;
    float label_size = 12.5f;
    int label_weight = 2;
    float icon_size = 16;
    float icon_gap = 7;
    std::optional<Color> icon_color;  // the face's content colour when absent
    std::optional<Point> icon_offset;
    std::optional<Point> label_offset;

    ButtonContent() = default;
    explicit ButtonContent(std::string_view text) : label(text) {}
    explicit ButtonContent(IconName glyph) : icon(glyph) {}
    ButtonContent(IconName glyph, std::string_view text) : label(text), icon(glyph) {}

    ButtonContent& with_label_style(float size_pt, int weight) {
        label_size = size_pt;
        label_weight = weight;
        return *this;
    }
    ButtonContent& with_icon_size(float size) {
        icon_size = size;
        return *this;
    }
    ButtonContent& with_gap(float gap) {
        icon_gap = gap;
        return *this;
    }
    ButtonContent& with_icon_color(Color color) {
        icon_color = color;
        return *this;
    }
    ButtonContent& with_icon_at(Point offset) {
        icon_offset = offset;
        return *this;
    }
    ButtonContent& with_label_at(Point offset) {
        label_offset = offset;
        return *this;
    }
};

class Button {
public:
    static void paint(Painter& painter, const Theme& theme, Rect rect, const ButtonFace& face,
                      const ButtonContent& content = {}, float radius = 8, bool focused = false);
    static void paint(Painter& painter, const Theme& theme, Rect rect, ButtonKind kind, ButtonState state,
                      const ButtonContent& content = {}, float radius = 8, bool focused = false);
    // The width the content needs with `padding` on either side.
    static float natural_width(const ButtonContent& content, float padding = 14);
};

// An on/off switch drawn as a track with a knob, sized to fit `rect` (left-aligned, vertically
// centred, at most 40 × 22).
class Toggle {
public:
    static void paint(Painter& painter, const Theme& theme, Rect rect, bool on, bool hovered = false,
                      bool disabled = false);
    static constexpr Size natural_size{40, 22};
};

}  // namespace mail::ui
