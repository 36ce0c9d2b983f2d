#pragma once
// The transient status toast: a floating pill near the bottom centre of an area.
#include <string_view>

#include "platform/ui/geometry.h"

namespace mail::ui {

class Painter;
struct Theme;

enum class ToastTone { Plain, Progress, Warning, Error };

namespace toast {

// Paints `text` (elided to fit) in the tone's look and answers the pill's rectangle.
// `presence` 0..1 fades and lifts the toast in while it appears.
Rect paint_transient(Painter& painter, const Theme& theme, Rect area, std::string_view text, ToastTone tone,
                     float presence = 1);

// Where the pill for `text` goes, without painting it.
Rect transient_rect(Rect area, std::string_view text);

}  // namespace toast

}  // namespace mail::ui
