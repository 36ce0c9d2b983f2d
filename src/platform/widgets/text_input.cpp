#include "platform/ui/text_input.h"

#include <algorithm>
#include <cctype>
#include <cmath>

#include "platform/ui/clipboard.h"
#include "platform/ui/painter.h"
#include "platform/ui/surface.h"
#include "platform/ui/text.h"
#include "platform/ui/theme.h"

namespace mail::ui {

namespace ts = text_selection;

namespace {

constexpr std::string_view bullet = "\xE2\x80\xA2";  // •
constexpr float pad_x = 10;
constexpr float pad_y = 7;

bool is_continuation(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

std::size_t count_chars(std::string_view text, std::size_t end) {
    std::size_t n = 0;
    for (std::size_t i = 0; i < end && i < text.size(); ++i) n += !is_continuation(text[i]);
    return n;
}

// The byte offset of character number `index` (the end when there are fewer).
std::size_t offset_of_char(std::string_view text, std::size_t index) {
    std::size_t i = 0;
    while (i < text.size() && index > 0) {
        i = ts::next_char_boundary(text, i);
        --index;
    }
    return i;
}

// Snaps an offset onto the start of the character that holds it.
std::size_t snap(std::string_view text, std::size_t offset) {
    if (offset >= text.size()) return text.size();
    while (offset > 0 && is_continuation(text[offset])) --offset;
    return offset;
}

// Line breaks become spaces in a single-line input, CR LF becomes LF in a multi-line one, and
// other control characters are dropped.
std::string clean_input(std::string_view typed, bool multiline) {
    std::string out;
    out.reserve(typed.size());
    for (std::size_t i = 0; i < typed.size(); ++i) {
        const char ch = typed[i];
        if (ch == '\r' || ch == '\n') {
            if (ch == '\r' && i + 1 < typed.size() && typed[i + 1] == '\n') ++i;
            out += multiline ? '\n' : ' ';
        } else if (ch == '\t') {
            out += multiline ? '\t' : ' ';
        } else if ((static_cast<unsigned char>(ch) < 0x20) || ch == 0x7F) {
            continue;
        } else {
            out += ch;
        }
    }
    return out;
}

bool is_space_at(std::string_view text, std::size_t i) {
    return i < text.size() && (text[i] == ' ' || text[i] == '\t' || text[i] == '\n');
}

// Whether the character at `i` belongs to a word, by the toolkit's own word boundaries.
bool is_word_at(std::string_view text, std::size_t i) {
    if (i >= text.size()) return false;
    std::size_t end = ts::next_word_boundary(text, i);
    return end > i && ts::prev_word_boundary(text, end) <= i;
}

// The word, run of blanks or run of punctuation around offset `at`.
std::pair<std::size_t, std::size_t> unit_around(std::string_view text, std::size_t at) {
    if (text.empty()) return {0, 0};
    std::size_t i = at >= text.size() ? ts::prev_char_boundary(text, text.size()) : snap(text, at);
    if (is_word_at(text, i)) {
        std::size_t end = ts::next_word_boundary(text, i);
        return {ts::prev_word_boundary(text, end), end};
    }
    const bool space = is_space_at(text, i);
    auto same = [&](std::size_t k) { return !is_word_at(text, k) && is_space_at(text, k) == space; };
    std::size_t start = i;
    while (start > 0) {
        std::size_t p = ts::prev_char_boundary(text, start);
        if (!same(p)) break;
        start = p;
    }
    std::size_t end = ts::next_char_boundary(text, i);
    while (end < text.size() && same(end)) end = ts::next_char_boundary(text, end);
    return {start, end};
}

}  // namespace

struct TextInput::Shape {
    std::string display;
    float wrap = 0;
    float size = 0;
    Color color;
    RichTextLayout layout;
};

TextInput TextInput::local(std::string id) { return TextInput(std::move(id)); }

TextInput&& TextInput::with_placeholder(std::string placeholder) && {
    placeholder_ = std::move(placeholder);
    return std::move(*this);
}

TextInput&& TextInput::with_initial_value(std::string value) && {
    text_ = std::move(value);
    caret_ = anchor_ = text_.size();
    scroll_dirty_ = true;
    return std::move(*this);
}

TextInput&& TextInput::with_kind(TextInputKind kind) && {
    set_kind(kind);
    return std::move(*this);
}

TextInput&& TextInput::with_label(std::string label) && {
    label_ = std::move(label);
    return std::move(*this);
}

TextInput&& TextInput::with_font_size(float size_pt) && {
    font_size_ = size_pt;
    return std::move(*this);
}

TextInput&& TextInput::with_frame(bool frame) && {
    frame_ = frame;
    return std::move(*this);
}

void TextInput::set_kind(TextInputKind kind) {
    kind_ = kind;
    scroll_dirty_ = true;
}

void TextInput::set_text(std::string text) {
    if (text == text_) {
        caret_ = anchor_ = text_.size();
        return;
    }
    text_ = std::move(text);
    caret_ = anchor_ = text_.size();
    goal_x_.reset();
    ++revision_;
    scroll_dirty_ = true;
}

void TextInput::set_focused(bool focused) {
    focused_ = focused;
    if (!focused) dragging_ = false;
}

std::string TextInput::selected_text() const {
    return text_.substr(selection_start(), selection_end() - selection_start());
}

void TextInput::set_selection(std::size_t anchor, std::size_t caret) {
    anchor_ = snap(text_, anchor);
    caret_ = snap(text_, caret);
    goal_x_.reset();
    scroll_dirty_ = true;
}

void TextInput::select_all() { set_selection(0, text_.size()); }

bool TextInput::take_edited() {
    bool was = edited_;
    edited_ = false;
    return was;
}

void TextInput::edited() {
    ++revision_;
    edited_ = true;
    goal_x_.reset();
    scroll_dirty_ = true;
}

void TextInput::erase_selection() {
    if (!has_selection()) return;
    const std::size_t start = selection_start();
    text_.erase(start, selection_end() - start);
    caret_ = anchor_ = start;
}

void TextInput::insert(std::string_view typed) {
    std::string clean = clean_input(typed, is_multiline());
    if (clean.empty() && !has_selection()) return;
    erase_selection();
    text_.insert(caret_, clean);
    caret_ += clean.size();
    anchor_ = caret_;
    edited();
}

void TextInput::move_caret(std::size_t to, bool extend) {
    caret_ = snap(text_, to);
    if (!extend) anchor_ = caret_;
    scroll_dirty_ = true;
}

bool TextInput::delete_backward(bool by_word) {
    if (has_selection()) {
        erase_selection();
        edited();
        return true;
    }
    if (caret_ == 0) return false;
    // A password has no visible words; a word deletion clears up to the caret.
    std::size_t from = by_word ? (is_password() ? 0 : ts::prev_word_boundary(text_, caret_))
                               : ts::prev_char_boundary(text_, caret_);
    text_.erase(from, caret_ - from);
    caret_ = anchor_ = from;
    edited();
    return true;
}

bool TextInput::delete_forward(bool by_word) {
    if (has_selection()) {
        erase_selection();
        edited();
        return true;
    }
    if (caret_ >= text_.size()) return false;
    std::size_t to = by_word ? (is_password() ? text_.size() : ts::next_word_boundary(text_, caret_))
                             : ts::next_char_boundary(text_, caret_);
    text_.erase(caret_, to - caret_);
    anchor_ = caret_;
    edited();
    return true;
}

void TextInput::copy_selection() const {
    // A password never leaves its field.
    if (is_password() || !has_selection()) return;
    set_clipboard_text(selected_text());
}

std::size_t TextInput::line_start(std::size_t offset) const {
    if (!is_multiline() || offset == 0) return 0;
    std::size_t nl = text_.rfind('\n', offset - 1);
    return nl == std::string::npos ? 0 : nl + 1;
}

std::size_t TextInput::line_end(std::size_t offset) const {
    if (!is_multiline()) return text_.size();
    std::size_t nl = text_.find('\n', offset);
    return nl == std::string::npos ? text_.size() : nl;
}

EventResult TextInput::handle_key(const KeyPress& key) {
    const Modifiers& m = key.modifiers;
    const bool word = m.ctrl || m.alt;
    const std::string& k = key.key;
    const bool vertical = k == "ArrowUp" || k == "ArrowDown";
    if (!vertical) goal_x_.reset();

    if (k == "ArrowLeft" || k == "ArrowRight") {
        const bool left = k == "ArrowLeft";
        if (has_selection() && !m.shift) {
            move_caret(left ? selection_start() : selection_end(), false);
            return EventResult::Handled;
        }
        std::size_t to;
        if (word && is_password()) to = left ? 0 : text_.size();
        else if (word) to = left ? ts::prev_word_boundary(text_, caret_) : ts::next_word_boundary(text_, caret_);
        else to = left ? ts::prev_char_boundary(text_, caret_) : ts::next_char_boundary(text_, caret_);
        move_caret(to, m.shift);
        return EventResult::Handled;
    }
    if (k == "Home" || k == "End") {
        const bool home = k == "Home";
        std::size_t to = m.ctrl ? (home ? 0 : text_.size()) : (home ? line_start(caret_) : line_end(caret_));
        move_caret(to, m.shift);
        return EventResult::Handled;
    }
    if (vertical) {
        if (!is_multiline()) return EventResult::Ignored;
        move_caret(vertical_move(k == "ArrowUp" ? -1 : 1), m.shift);
        return EventResult::Handled;
    }
    if (k == "Backspace") {
        delete_backward(word);
        return EventResult::Handled;  // never let an editing key fall through to a shortcut
    }
    if (k == "Delete") {
        delete_forward(word);
        return EventResult::Handled;
    }
    if (k == "Enter") {
        if (!is_multiline() || m.command() || m.alt) return EventResult::Ignored;
        insert("\n");
        return EventResult::Handled;
    }
    if (k == "Tab" || k == "Escape") return EventResult::Ignored;

    if (m.command() && !m.alt) {
        std::string lower = k.size() == 1 ? std::string(1, static_cast<char>(std::tolower(static_cast<unsigned char>(k[0])))) : k;
        if (lower == "a") {
            select_all();
            return EventResult::Handled;
        }
        if (lower == "c") {
            copy_selection();
            return EventResult::Handled;
        }
        if (lower == "x") {
            if (!is_password() && has_selection()) {
                copy_selection();
                erase_selection();
                edited();
            }
            return EventResult::Handled;
        }
        if (lower == "v") {
            std::string pasted = clipboard_text();
            if (!pasted.empty()) insert(pasted);
            return EventResult::Handled;
        }
        return EventResult::Ignored;
    }

    if (!key.text.empty()) {
        std::string clean = clean_input(key.text, false);
        if (clean.empty()) return EventResult::Ignored;
        insert(clean);
        return EventResult::Handled;
    }
    return EventResult::Ignored;
}

EventResult TextInput::handle_event(const Event& event) {
    if (auto* key = std::get_if<KeyPress>(&event)) {
        if (!focused_) return EventResult::Ignored;
        return handle_key(*key);
    }
    if (auto* commit = std::get_if<TextCommit>(&event)) {
        if (!focused_) return EventResult::Ignored;
        insert(commit->text);
        return EventResult::Handled;
    }
    if (auto* press = std::get_if<PointerPress>(&event)) {
        if (!bounds_.contains(press->position)) return EventResult::Ignored;
        focused_ = true;
        if (press->button != PointerButton::Left) return EventResult::Handled;
        const std::size_t at = hit(press->position);
        goal_x_.reset();
        dragging_ = true;
        if (press->click_count >= 3 || (press->click_count == 2 && is_password())) {
            drag_unit_ = 3;
            select_all();
        } else if (press->click_count == 2) {
            drag_unit_ = 2;
            auto [start, end] = unit_around(text_, at);
            drag_origin_start_ = start;
            drag_origin_end_ = end;
            set_selection(start, end);
        } else {
            drag_unit_ = 1;
            move_caret(at, press->modifiers.shift);
        }
        return EventResult::Handled;
    }
    if (auto* move = std::get_if<PointerMove>(&event)) {
        hovered_ = bounds_.contains(move->position);
        if (!dragging_) return EventResult::Ignored;
        const std::size_t at = hit(move->position);
        if (drag_unit_ == 1) {
            move_caret(at, true);
        } else if (drag_unit_ == 2) {
            auto [start, end] = unit_around(text_, at);
            if (at < drag_origin_start_) set_selection(drag_origin_end_, start);
            else set_selection(drag_origin_start_, std::max(end, drag_origin_end_));
        }
        return EventResult::Handled;
    }
    if (std::holds_alternative<PointerRelease>(event)) {
        if (!dragging_) return EventResult::Ignored;
        dragging_ = false;
        return EventResult::Handled;
    }
    if (auto* wheel = std::get_if<Wheel>(&event)) {
        if (!is_multiline() || !bounds_.contains(wheel->position)) return EventResult::Ignored;
        ensure_scrolled();
        const float step = wheel->unit == WheelUnit::Lines ? wheel->delta.y * font_size_ * 1.25f * 3 : wheel->delta.y;
        const float max_scroll = std::max(0.0f, shaped().layout.height() - text_area().height());
        const float next = std::clamp(scroll_y_ + step, 0.0f, max_scroll);
        if (next == scroll_y_) return EventResult::Ignored;  // at an end: let an outer view scroll
        scroll_y_ = next;
        return EventResult::Handled;
    }
    if (std::holds_alternative<PointerLeave>(event)) {
        hovered_ = false;
        return EventResult::Ignored;
    }
    if (auto* focus = std::get_if<WindowFocus>(&event)) {
        if (!focus->focused) dragging_ = false;
        return EventResult::Ignored;
    }
    return EventResult::Ignored;
}

// --- geometry -------------------------------------------------------------------------------

std::string TextInput::display_text() const {
    if (is_password()) {
        std::string out;
        const std::size_t n = count_chars(text_, text_.size());
        out.reserve(n * bullet.size());
        for (std::size_t i = 0; i < n; ++i) out += bullet;
        return out;
    }
    if (is_multiline()) return text_;
    std::string out = text_;
    std::replace_if(out.begin(), out.end(), [](char c) { return c == '\n' || c == '\r' || c == '\t'; }, ' ');
    return out;
}

std::size_t TextInput::to_display(std::size_t offset) const {
    if (!is_password()) return offset;
    return count_chars(text_, offset) * bullet.size();
}

std::size_t TextInput::from_display(std::size_t offset) const {
    if (!is_password()) return snap(text_, offset);
    return offset_of_char(text_, offset / bullet.size());
}

Rect TextInput::text_area() const {
    const float line = font_size_ * 1.25f;
    if (is_multiline()) return bounds_.inset(pad_x, pad_y + 1);
    // One line, vertically centred in the bounds.
    const float top = bounds_.y0 + std::max(0.0f, (bounds_.height() - line) / 2);
    return {bounds_.x0 + pad_x, top, bounds_.x1 - pad_x, top + line};
}

const TextInput::Shape& TextInput::shaped(Color color) const {
    std::string display = display_text();
    const float wrap = is_multiline() ? std::max(1.0f, text_area().width()) : 0.0f;
    const bool keep_color = color == Color{};
    if (shape_ && shape_->display == display && shape_->wrap == wrap && shape_->size == font_size_ &&
        (keep_color || shape_->color == color)) {
        return *shape_;
    }
    auto next = std::make_shared<Shape>();
    next->display = std::move(display);
    next->wrap = wrap;
    next->size = font_size_;
    next->color = keep_color && shape_ ? shape_->color : color;
    StyledText styled;
    styled.text = next->display;
    styled.size_pt = font_size_;
    styled.weight = 0;
    styled.color = next->color;
    next->layout = RichTextLayout::shape_styled(styled, wrap);
    shape_ = std::move(next);
    return *shape_;
}

void TextInput::ensure_scrolled() const {
    if (!scroll_dirty_) return;
    scroll_dirty_ = false;
    const Rect area = text_area();
    if (area.is_empty()) return;
    const Shape& s = shaped();
    const Rect caret = s.layout.caret_geometry(to_display(caret_));
    if (is_multiline()) {
        scroll_x_ = 0;
        const float max_scroll = std::max(0.0f, s.layout.height() - area.height());
        if (caret.y0 - scroll_y_ < 0) scroll_y_ = caret.y0;
        if (caret.y1 - scroll_y_ > area.height()) scroll_y_ = caret.y1 - area.height();
        scroll_y_ = std::clamp(scroll_y_, 0.0f, max_scroll);
        return;
    }
    scroll_y_ = 0;
    // Room for the caret itself past the last character.
    const float width = area.width() - 2;
    const float max_scroll = std::max(0.0f, s.layout.width() - width);
    if (caret.x0 - scroll_x_ < 0) scroll_x_ = caret.x0;
    if (caret.x0 - scroll_x_ > width) scroll_x_ = caret.x0 - width;
    scroll_x_ = std::clamp(scroll_x_, 0.0f, max_scroll);
}

std::size_t TextInput::hit(Point window_point) const {
    ensure_scrolled();
    const Rect area = text_area();
    Point local{window_point.x - area.x0 + scroll_x_, window_point.y - area.y0 + scroll_y_};
    if (!is_multiline()) local.y = font_size_ * 0.6f;
    return from_display(shaped().layout.hit(local));
}

std::size_t TextInput::vertical_move(int direction) const {
    const Shape& s = shaped();
    const Rect caret = s.layout.caret_geometry(to_display(caret_));
    const float x = goal_x_.value_or(caret.x0);
    goal_x_ = x;
    const float line = caret.height() > 0 ? caret.height() : font_size_ * 1.25f;
    const float y = direction < 0 ? caret.y0 - line / 2 : caret.y1 + line / 2;
    if (y < 0) return 0;
    if (y >= s.layout.height()) return text_.size();
    return from_display(s.layout.hit({x, y}));
}

Rect TextInput::caret_rect() const {
    ensure_scrolled();
    const Rect area = text_area();
    Rect c = shaped().layout.caret_geometry(to_display(caret_));
    return c.translated(area.x0 - scroll_x_, area.y0 - scroll_y_);
}

void TextInput::apply_layout_external(Rect rect) {
    if (!(rect == bounds_)) scroll_dirty_ = true;
    bounds_ = rect;
}

void TextInput::apply_layout(Rect bounds, const LayoutContext&) { apply_layout_external(bounds); }

Size TextInput::measure(Size available, const LayoutContext&) {
    if (is_multiline()) return available;
    return {available.width, std::ceil(font_size_ * 1.25f + 2 * pad_y + 2)};
}

void TextInput::draw(Painter& painter, const Theme& theme) {
    if (bounds_.is_empty()) return;
    const Colors& c = theme.colors;
    if (frame_) {
        const float radius = 8;
        Color fill = {c.surface.r + (c.background.r - c.surface.r) * 0.45f,
                      c.surface.g + (c.background.g - c.surface.g) * 0.45f,
                      c.surface.b + (c.background.b - c.surface.b) * 0.45f, 1};
        surface::card(painter, bounds_, radius, fill, Border{hovered_ && !focused_ ? Colors::lift(c.separator, 1) : c.separator, 1});
        if (error_) {
            painter.stroke_rounded_rect(bounds_.inset(0.75f), radius - 0.75f, c.danger, 1.5f);
        } else if (focused_) {
            painter.stroke_rounded_rect(bounds_.inset(0.75f), radius - 0.75f, c.focus_ring, 1.5f);
            painter.stroke_rounded_rect(bounds_.inset(-1.5f), radius + 1.5f, c.focus_ring.with_alpha(0.22f), 2.5f);
        }
    }

    const Rect area = text_area();
    const Shape& s = shaped(c.primary_text);
    ensure_scrolled();
    const Point origin{area.x0 - scroll_x_, area.y0 - scroll_y_};

    // Clip a little outside the text area so the caret at either end stays whole.
    Rect clip = is_multiline() ? bounds_.inset(pad_x - 2, 2) : Rect{area.x0 - 2, bounds_.y0 + 1, area.x1 + 2, bounds_.y1 - 1};
    painter.push_clip(clip);
    if (text_.empty()) {
        if (!placeholder_.empty()) {
            std::string shown = is_multiline() ? placeholder_
                                               : TextRenderer::elide_to_width(placeholder_, font_size_, 0, area.width());
            if (is_multiline()) {
                TextRenderer::draw_wrapped(painter, shown, {area.x0, area.y0}, font_size_, 0, c.secondary_text, area.width());
            } else {
                TextRenderer::draw_text(painter, shown, {area.x0, area.y0}, font_size_, 0, c.secondary_text);
            }
        }
    } else {
        if (has_selection()) {
            Color sel = focused_ ? c.accent.with_alpha(0.36f) : Colors::lift(c.surface, 1).with_alpha(0.55f);
            for (Rect r : s.layout.selection_rects(to_display(selection_start()), to_display(selection_end()))) {
                painter.fill_rect(r.translated(origin.x, origin.y), sel);
            }
        }
        s.layout.draw(painter, origin);
    }
    if (focused_) {
        Rect caret = s.layout.caret_geometry(to_display(caret_)).translated(origin.x, origin.y);
        const float x = std::round(caret.x0 * 2) / 2;
        const float top = caret.y0 + caret.height() * 0.08f;
        const float bottom = caret.y1 - caret.height() * 0.08f;
        painter.fill_rect({x - 0.75f, top, x + 0.75f, bottom}, c.focus_ring);
    }
    painter.pop_clip();
}

AccessNode TextInput::accessibility() const {
    AccessNode node(AccessRole::TextInput, label_.empty() ? placeholder_ : label_);
    node.key = id_;
    node.bounds = bounds_;
    if (is_password()) {
        // Assistive technology hears how many characters there are, never which.
        node.value = display_text();
    } else {
        node.value = text_;
    }
    if (!label_.empty() && !placeholder_.empty()) node.description = placeholder_;
    return node;
}

bool TextInput::perform_semantic_action(const SemanticAction& action) {
    if (action.id != id_) return false;
    switch (action.kind) {
    case SemanticKind::SetValue:
        set_text(clean_input(action.value, is_multiline()));
        edited_ = true;
        return true;
    case SemanticKind::Focus:
    case SemanticKind::Activate:
        set_focused(true);
        return true;
    default:
        return false;
    }
}

}  // namespace mail::ui
