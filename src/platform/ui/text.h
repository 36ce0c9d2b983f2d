#pragma once
// Text measuring, drawing and rich-text layout. Sizes are in points, and one point is one layout
// unit; a line is 1.25 × the size high. Weights run from 0 (regular) to 3 (boldest).
#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/ui/geometry.h"

namespace mail::ui {

class Painter;

struct TextMetrics {
    float width = 0;
    float height = 0;  // the line height: 1.25 × size for one line
    float ascent = 0;
};

enum class TextAlign { Left, Center, Right };

// One styled range of a StyledText, byte offsets into its UTF-8 text.
struct TextSpanStyle {
    std::optional<float> size_pt;  // the base size when absent
    std::optional<int> weight;     // the base weight when absent
    bool italic = false;
    bool underline = false;
    bool strikethrough = false;
    bool monospace = false;
    std::optional<Color> color;
    std::optional<Color> background;
};

struct StyledRun {
    std::size_t start = 0;
    std::size_t end = 0;
    TextSpanStyle style;
};

struct StyledText {
    std::string text;
    std::vector<StyledRun> runs;  // sorted, not overlapping; text outside them has the base style
    float size_pt = 13;
    int weight = 0;
    Color color;
};

class TextRenderer {
public:
    // One line (a line feed counts as a space); the width includes trailing spaces.
    static TextMetrics measure(std::string_view text, float size_pt, int weight = 0);
    // `origin` is the top left corner of the line box.
    static void draw_text(Painter& painter, std::string_view text, Point origin, float size_pt, int weight,
                          Color color);
    // Aligned horizontally as asked and centred vertically in `box`.
    static void draw_text_aligned(Painter& painter, std::string_view text, Rect box, TextAlign align,
                                  float size_pt, int weight, Color color);
    // The text cut at its end, with "…", so that it fits `width`; empty for a width of 1 or less.
    static std::string elide_to_width(std::string_view text, float size_pt, int weight, float width);

    // Wrapped to `wrap_width` (0: only at line feeds): the height of the laid-out paragraph.
    static TextMetrics measure_wrapped(std::string_view text, float size_pt, int weight, float wrap_width);
    static TextMetrics draw_wrapped(Painter& painter, std::string_view text, Point origin, float size_pt,
                                    int weight, Color color, float wrap_width);

    // Styled text wrapped to `wrap_width` (0: one line); answers the size it took.
    static TextMetrics draw_rich(Painter& painter, const StyledText& text, Point origin, float wrap_width = 0);
};

// A laid-out paragraph for editing: hit testing, caret and selection geometry. Positions are
// byte offsets into the UTF-8 text, always on character boundaries; coordinates are relative to
// the layout's top left corner.
class RichTextLayout {
public:
    static RichTextLayout shape_styled(const StyledText& text, float wrap_width);

    RichTextLayout();
    RichTextLayout(RichTextLayout&&) noexcept;
    RichTextLayout& operator=(RichTextLayout&&) noexcept;
    ~RichTextLayout();

    std::size_t hit(Point point) const;
    // A thin rectangle where the caret stands before the character at `offset`.
    Rect caret_geometry(std::size_t offset) const;
    std::vector<Rect> selection_rects(std::size_t start, std::size_t end) const;
    float height() const;
    float width() const;
    std::size_t line_count() const;
    const std::string& text() const;
    void draw(Painter& painter, Point origin) const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// Boundaries in UTF-8 text, for caret movement and deletion.
namespace text_selection {
std::size_t next_char_boundary(std::string_view text, std::size_t offset);
std::size_t prev_char_boundary(std::string_view text, std::size_t offset);
std::size_t next_word_boundary(std::string_view text, std::size_t offset);
std::size_t prev_word_boundary(std::string_view text, std::size_t offset);
}  // namespace text_selection

}  // namespace mail::ui
