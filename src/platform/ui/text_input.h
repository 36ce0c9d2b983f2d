#pragma once
// An editable text field, single- or multi-line: caret, selection, clipboard, input-method
// commits, horizontal scrolling that keeps the caret in view, and an accessible node.
// Offsets are byte offsets into the UTF-8 text, always on character boundaries.
#include <cstddef>
#include <algorithm>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform/ui/widget.h"

namespace mail::ui {

// Password masks the text and keeps it off the clipboard; Multiline wraps and takes line
// breaks; the other kinds edit like Plain and name what the field expects.
enum class TextInputKind { Plain, Email, Password, Number, Url, Multiline };

class TextInput : public Widget {
public:
    // An input whose accessible key is `id`.
    static TextInput local(std::string id);

    TextInput&& with_placeholder(std::string placeholder) &&;
    TextInput&& with_initial_value(std::string value) &&;
    TextInput&& with_kind(TextInputKind kind) &&;
    TextInput&& with_label(std::string label) &&;
    TextInput&& with_font_size(float size_pt) &&;
    // A field surface with a border (focus ring while focused) behind the text; off by default,
    // for owners that draw their own field around the input.
    TextInput&& with_frame(bool frame) &&;

    const std::string& id() const { return id_; }
    const std::string& text() const { return text_; }
    const std::string& placeholder() const { return placeholder_; }
    TextInputKind kind() const { return kind_; }
    bool is_multiline() const { return kind_ == TextInputKind::Multiline; }
    bool is_password() const { return kind_ == TextInputKind::Password; }

    // Replaces the text; the caret goes to its end and the selection is dropped.
    void set_text(std::string text);
    void set_placeholder(std::string placeholder) { placeholder_ = std::move(placeholder); }
    void set_kind(TextInputKind kind);
    void set_label(std::string label) { label_ = std::move(label); }
    // The error look of the frame (a danger-coloured border).
    void set_error(bool error) { error_ = error; }
    void set_font_size(float size_pt) { font_size_ = size_pt; }

    // A press inside the input focuses it; a press elsewhere leaves the focus to the owner.
    bool is_focused() const { return focused_; }
    void set_focused(bool focused);

    std::size_t caret() const { return caret_; }
    // The selection as ordered offsets; empty (start == end) when there is none.
    std::size_t selection_start() const { return std::min(anchor_, caret_); }
    std::size_t selection_end() const { return std::max(anchor_, caret_); }
    bool has_selection() const { return anchor_ != caret_; }
    std::string selected_text() const;
    // Puts the caret at `caret` with the selection running from `anchor` (both snapped to
    // character boundaries and clamped to the text).
    void set_selection(std::size_t anchor, std::size_t caret);
    void select_all();

    // Counts every change of the text by the user or by set_text.
    std::uint64_t revision() const { return revision_; }
    // Whether the user edited the text since the last call.
    bool take_edited();

    // Lays the input out at `rect` without a layout pass (owners that place fields themselves).
    void apply_layout_external(Rect rect);
    // The horizontal scroll of a single-line input: how far the text is moved left.
    float scroll_offset() const {
        ensure_scrolled();
        return scroll_x_;
    }
    // The caret's rectangle in window coordinates after the last layout.
    Rect caret_rect() const;

    void apply_layout(Rect bounds, const LayoutContext& context) override;
    Size measure(Size available, const LayoutContext& context) override;
    void draw(Painter& painter, const Theme& theme) override;
    EventResult handle_event(const Event& event) override;
    AccessNode accessibility() const override;
    bool perform_semantic_action(const SemanticAction& action) override;
    std::string_view debug_type_name() const override { return "TextInput"; }

private:
    explicit TextInput(std::string id) : id_(std::move(id)) {}

    EventResult handle_key(const KeyPress& key);
    void insert(std::string_view typed);
    void erase_selection();
    void move_caret(std::size_t to, bool extend);
    bool delete_backward(bool by_word);
    bool delete_forward(bool by_word);
    void edited();
    void copy_selection() const;

    // What is shown: the text, or one bullet per character for a password.
    std::string display_text() const;
    std::size_t to_display(std::size_t offset) const;
    std::size_t from_display(std::size_t offset) const;
    Rect text_area() const;
    struct Shape;
    const Shape& shaped(Color color = {}) const;
    void ensure_scrolled() const;
    std::size_t hit(Point window_point) const;
    std::size_t vertical_move(int direction) const;
    std::size_t line_start(std::size_t offset) const;
    std::size_t line_end(std::size_t offset) const;

    std::string id_;
    std::string text_;
    std::string placeholder_;
    std::string label_;
    TextInputKind kind_ = TextInputKind::Plain;
    float font_size_ = 13;
    bool frame_ = false;
    bool error_ = false;

    bool focused_ = false;
    bool hovered_ = false;
    std::size_t caret_ = 0;
    std::size_t anchor_ = 0;
    mutable std::optional<float> goal_x_;  // kept across Up/Down so the caret returns to its column
    bool dragging_ = false;
    std::size_t drag_origin_start_ = 0, drag_origin_end_ = 0;  // the word or line a drag extends
    int drag_unit_ = 1;  // 1 character, 2 word, 3 everything

    std::uint64_t revision_ = 0;
    bool edited_ = false;

    // Scrolling and shaping are worked out lazily, so editing needs no text layout.
    mutable float scroll_x_ = 0;
    mutable float scroll_y_ = 0;
    mutable bool scroll_dirty_ = true;
    mutable std::shared_ptr<const Shape> shape_;  // the laid-out display text
};

}  // namespace mail::ui
