#pragma once
// A round avatar of coloured initials, the fallback when there is no picture.
#include <string_view>

#include "platform/ui/geometry.h"

namespace mail::ui {

class Painter;

class Avatar {
public:
    // A circle filling `square` in `color`, with `initials` in white sized to it.
    static void draw_at(Painter& painter, Rect square, std::string_view initials, Color color);
};

}  // namespace mail::ui
