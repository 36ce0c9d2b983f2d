#pragma once
// Placement and backdrop of a modal sheet over the window.
#include "platform/ui/geometry.h"

namespace mail::ui {

class Painter;
struct Theme;

struct ModalLayout {
    Rect window;
    Rect frame;    // the sheet itself
    Rect content;  // inside the frame's padding
    float radius = 14;

    // A press at `point` outside the sheet closes it.
    bool dismisses(Point point) const { return !frame.contains(point); }
};

class ModalFrame {
public:
    static constexpr float margin = 24;   // kept free around the sheet in a small window
    static constexpr float padding = 24;  // between the sheet's edge and its content

    // The sheet at `preferred` size, shrunk to leave the margin inside the window, centred.
    static ModalLayout layout(Rect window, Size preferred);
    // Dims everything behind the sheet; `opacity` 0..1 for fading in.
    static void paint_backdrop(Painter& painter, const Theme& theme, Rect window, float opacity = 1);
    // The sheet's shadow, surface and outline.
    static void paint_frame(Painter& painter, const Theme& theme, const ModalLayout& layout);
};

}  // namespace mail::ui
