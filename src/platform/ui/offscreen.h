#pragma once
// Rendering without a window: one frame into a PNG file, for tests, scenes and tools.
#include <filesystem>
#include <functional>

#include "platform/base/result.h"
#include "platform/ui/geometry.h"

namespace mail::ui {

class Painter;

// Makes sure the toolkit's application object exists, creating one for the process when none
// does (the offscreen platform when there is no display). The program's launch creates its own
// before drawing anything; tests and tools call this instead. Call it on the main thread.
void ensure_gui_application();

// Paints `draw` into an image of `logical` layout units at `scale` device pixels per unit
// (round(logical × scale) pixels, transparent at the start) and writes it as a PNG.
Status render_png(Size logical, float scale, const std::function<void(Painter&)>& draw,
                  const std::filesystem::path& png);

}  // namespace mail::ui
