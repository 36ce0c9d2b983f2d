// Text over QTextLayout. One point is one layout unit on every paint device: fonts get the
// point size that resolves to exactly `size` pixels at the toolkit's default resolution, layouts
// are made without a device, and drawing reuses the laid-out glyphs, so what is measured is
// what is drawn on an image at any scale and in a window alike.
#include <QFont>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QTextCharFormat>
#include <QTextLayout>
#include <algorithm>
#include <cmath>
#include <list>
#include <mutex>
#include <unordered_map>

#include "platform/qt/qt_painter.h"
#include "platform/qt/utf8.h"
#include "platform/ui/offscreen.h"
#include "platform/ui/text.h"

Q_GUI_EXPORT int qt_defaultDpiY();

namespace mail::ui {
namespace {

constexpr float kLineFactor = 1.25f;
constexpr char kEllipsis[] = "\xE2\x80\xA6";  // …

int current_dpi() {
    if (!QGuiApplication::instance()) ensure_gui_application();
    int dpi = qt_defaultDpiY();
    return dpi > 0 ? dpi : 96;
}

QFont::Weight qt_weight(int weight) {
    switch (std::clamp(weight, 0, 3)) {
    case 1: return QFont::Medium;
    case 2: return QFont::DemiBold;
    case 3: return QFont::Bold;
    default: return QFont::Normal;
    }
}

struct FontKey {
    float size = 13;
    int weight = 0;
    bool italic = false;
    bool mono = false;
    bool emoji = false;
    friend bool operator==(const FontKey&, const FontKey&) = default;
};

QFont make_font(const FontKey& wanted, int dpi) {
    QFont font;
    if (wanted.emoji) {
        // Only emoji runs get the colour font: its spaces and digits are wide.
        font.setFamilies({QStringLiteral("Noto Color Emoji")});
    } else if (wanted.mono) {
        font.setFamilies({QStringLiteral("DejaVu Sans Mono")});
        font.setStyleHint(QFont::Monospace);
    } else {
        font.setFamilies({QStringLiteral("Inter"), QStringLiteral("DejaVu Sans")});
    }
    font.setPointSizeF(std::max(0.5f, wanted.size) * 72.0 / dpi);
    font.setWeight(qt_weight(wanted.weight));
    font.setItalic(wanted.italic);
    font.setHintingPreference(QFont::PreferNoHinting);
    font.setStyleStrategy(QFont::PreferAntialias);
    font.setKerning(true);
    return font;
}

struct FontMetrics {
    float ascent = 0;
    float descent = 0;
};

FontMetrics metrics_of(const FontKey& wanted, int dpi) {
    static std::mutex mutex;
    struct Entry {
        FontKey wanted;
        int dpi;
        FontMetrics metrics;
    };
    static std::vector<Entry> cache;
    std::lock_guard lock(mutex);
    for (const auto& e : cache) {
        if (e.dpi == dpi && e.wanted == wanted) return e.metrics;
    }
    FontKey plain = wanted;
    plain.emoji = false;  // line boxes follow the text font, not the emoji font
    QFontMetricsF fm(make_font(plain, dpi));
    FontMetrics m{static_cast<float>(fm.ascent()), static_cast<float>(fm.descent())};
    if (cache.size() > 256) cache.clear();
    cache.push_back({wanted, dpi, m});
    return m;
}

// --- emoji runs -------------------------------------------------------------------------------

bool emoji_presentation(char32_t c) {
    struct Range {
        char32_t lo, hi;
    };
    static constexpr Range ranges[] = {
        {0x231A, 0x231B},   {0x23E9, 0x23EC},   {0x23F0, 0x23F0},   {0x23F3, 0x23F3},   {0x25FD, 0x25FE},
        {0x2614, 0x2615},   {0x2648, 0x2653},   {0x267F, 0x267F},   {0x2693, 0x2693},   {0x26A1, 0x26A1},
        {0x26AA, 0x26AB},   {0x26BD, 0x26BE},   {0x26C4, 0x26C5},   {0x26CE, 0x26CE},   {0x26D4, 0x26D4},
        {0x26EA, 0x26EA},   {0x26F2, 0x26F3},   {0x26F5, 0x26F5},   {0x26FA, 0x26FA},   {0x26FD, 0x26FD},
        {0x2705, 0x2705},   {0x270A, 0x270B},   {0x2728, 0x2728},   {0x274C, 0x274C},   {0x274E, 0x274E},
        {0x2753, 0x2755},   {0x2757, 0x2757},   {0x2795, 0x2797},   {0x27B0, 0x27B0},   {0x27BF, 0x27BF},
        {0x2B1B, 0x2B1C},   {0x2B50, 0x2B50},   {0x2B55, 0x2B55},   {0x1F004, 0x1F004}, {0x1F0CF, 0x1F0CF},
        {0x1F18E, 0x1F18E}, {0x1F191, 0x1F19A}, {0x1F1E6, 0x1F1FF}, {0x1F201, 0x1F201}, {0x1F21A, 0x1F21A},
        {0x1F22F, 0x1F22F}, {0x1F232, 0x1F236}, {0x1F238, 0x1F23A}, {0x1F250, 0x1F251}, {0x1F300, 0x1F320},
        {0x1F32D, 0x1F335}, {0x1F337, 0x1F37C}, {0x1F37E, 0x1F393}, {0x1F3A0, 0x1F3CA}, {0x1F3CF, 0x1F3D3},
        {0x1F3E0, 0x1F3F0}, {0x1F3F4, 0x1F3F4}, {0x1F3F8, 0x1F43E}, {0x1F440, 0x1F440}, {0x1F442, 0x1F4FC},
        {0x1F4FF, 0x1F53D}, {0x1F54B, 0x1F54E}, {0x1F550, 0x1F567}, {0x1F57A, 0x1F57A}, {0x1F595, 0x1F596},
        {0x1F5A4, 0x1F5A4}, {0x1F5FB, 0x1F64F}, {0x1F680, 0x1F6C5}, {0x1F6CC, 0x1F6CC}, {0x1F6D0, 0x1F6D2},
        {0x1F6D5, 0x1F6D7}, {0x1F6DC, 0x1F6DF}, {0x1F6EB, 0x1F6EC}, {0x1F6F4, 0x1F6FC}, {0x1F7E0, 0x1F7EB},
        {0x1F7F0, 0x1F7F0}, {0x1F90C, 0x1F93A}, {0x1F93C, 0x1F945}, {0x1F947, 0x1F9FF}, {0x1FA70, 0x1FA7C},
        {0x1FA80, 0x1FA88}, {0x1FA90, 0x1FABD}, {0x1FABF, 0x1FAC5}, {0x1FACE, 0x1FADB}, {0x1FAE0, 0x1FAE8},
        {0x1FAF0, 0x1FAF8},
    };
    if (c < 0x231A) return false;
    auto it = std::upper_bound(std::begin(ranges), std::end(ranges), c,
                               [](char32_t v, const Range& r) { return v < r.lo; });
    if (it == std::begin(ranges)) return false;
    --it;
    return c >= it->lo && c <= it->hi;
}

bool extends_emoji(char32_t c) {
    return c == 0xFE0F || c == 0x20E3 || (c >= 0x1F3FB && c <= 0x1F3FF) || (c >= 0xE0020 && c <= 0xE007F);
}

// Marks the scalars that belong to emoji sequences (presentation emoji, VS16 forms, ZWJ chains,
// skin tones, keycaps, tag sequences).
std::vector<bool> emoji_flags(const std::vector<char32_t>& scalars) {
    std::vector<bool> flags(scalars.size(), false);
    std::size_t i = 0;
    const std::size_t n = scalars.size();
    while (i < n) {
        char32_t c = scalars[i];
        bool starts = emoji_presentation(c) ||
                      (i + 1 < n && scalars[i + 1] == 0xFE0F && !utf8::is_white_space(c) && c >= 0x20);
        if (!starts) {
            ++i;
            continue;
        }
        std::size_t j = i + 1;
        while (j < n) {
            if (scalars[j] == 0x200D && j + 1 < n) {
                j += 2;
            } else if (extends_emoji(scalars[j])) {
                ++j;
            } else {
                break;
            }
        }
        for (std::size_t k = i; k < j; ++k) flags[k] = true;
        i = j;
    }
    return flags;
}

bool is_rtl(char32_t c) {
    return (c >= 0x0590 && c <= 0x08FF) || (c >= 0xFB1D && c <= 0xFDFF) || (c >= 0xFE70 && c <= 0xFEFF) ||
           (c >= 0x10800 && c <= 0x10FFF) || (c >= 0x1E800 && c <= 0x1EFFF) || c == 0x200F || c == 0x202B ||
           c == 0x202E;
}

// --- shaping ------------------------------------------------------------------------------------

struct Piece {
    int start16 = 0;
    int end16 = 0;
    FontKey font;
};

struct Line {
    float top = 0;
    float height = 0;
    float baseline = 0;
    int start16 = 0;
    int end16 = 0;
    int content_end16 = 0;  // where the caret may stand last on this line
    bool hard_break = false;
    bool last = false;
};

class Shaped {
public:
    std::string utf8;
    QString q;
    std::vector<std::size_t> byte_of16;  // one entry per UTF-16 unit, plus the end
    bool has_rtl = false;
    std::unique_ptr<QTextLayout> layout;
    std::vector<Line> lines;
    float width = 0;
    float height = 0;
    float break_width = 0;  // how far a selected line break reaches past its line

    int u16_of_byte(std::size_t byte) const {
        auto it = std::lower_bound(byte_of16.begin(), byte_of16.end(), byte);
        return static_cast<int>(it - byte_of16.begin());
    }
    std::size_t snap(std::size_t byte) const {
        return utf8::char_start(utf8, std::min(byte, utf8.size()));
    }
    const Line& line_for(int i16) const {
        for (const auto& line : lines) {
            if (i16 < line.end16) return line;
        }
        return lines.back();
    }
    float x_at(const Line& line, int i16) const {
        int index = static_cast<int>(&line - lines.data());
        if (index >= layout->lineCount()) return 0;
        return static_cast<float>(layout->lineAt(index).cursorToX(i16));
    }
};

struct ShapeInput {
    std::string_view text;
    FontKey base;
    Color base_color;
    const std::vector<StyledRun>* runs = nullptr;
    float wrap_width = 0;
    bool multiline = false;
    bool colored = false;  // formats carry colours (rich text); otherwise the pen colours it
};

std::shared_ptr<Shaped> shape(const ShapeInput& in) {
    const int dpi = current_dpi();
    auto out = std::make_shared<Shaped>();
    out->utf8 = std::string(in.text);
    const std::string& text = out->utf8;

    // UTF-8 → UTF-16 with a map back; control characters become spaces, and line feeds become
    // line separators when the text may break lines. Every replacement keeps one unit per byte
    // run, so the maps stay exact.
    std::vector<char32_t> scalars;
    std::vector<std::size_t> scalar_byte;
    out->q.reserve(static_cast<qsizetype>(text.size()));
    out->byte_of16.reserve(text.size() + 1);
    for (std::size_t i = 0; i < text.size();) {
        std::size_t len = 1;
        char32_t c = utf8::decode(text, i, len);
        if (c == '\n' || c == 0x2028 || c == 0x2029) {
            c = in.multiline ? 0x2028 : ' ';
        } else if ((c < 0x20 && c != '\t') || c == 0x7F || (c >= 0x80 && c < 0xA0)) {
            c = ' ';
        }
        if (is_rtl(c)) out->has_rtl = true;
        scalars.push_back(c);
        scalar_byte.push_back(i);
        if (c >= 0x10000) {
            out->q.append(QChar(QChar::highSurrogate(c)));
            out->q.append(QChar(QChar::lowSurrogate(c)));
            out->byte_of16.push_back(i);
            out->byte_of16.push_back(i);
        } else {
            out->q.append(QChar(static_cast<char16_t>(c)));
            out->byte_of16.push_back(i);
        }
        i += len;
    }
    out->byte_of16.push_back(text.size());
    std::vector<bool> emoji = emoji_flags(scalars);

    // Style spans over bytes: the runs, clamped and snapped, with the base style between them.
    struct Span {
        std::size_t b0, b1;
        const TextSpanStyle* style;
    };
    std::vector<Span> spans;
    std::size_t cursor = 0;
    if (in.runs) {
        for (const auto& run : *in.runs) {
            std::size_t s = out->snap(run.start);
            std::size_t e = out->snap(run.end);
            if (s < cursor) s = cursor;
            if (e <= s) continue;
            if (s > cursor) spans.push_back({cursor, s, nullptr});
            spans.push_back({s, e, &run.style});
            cursor = e;
        }
    }
    if (cursor < text.size()) spans.push_back({cursor, text.size(), nullptr});

    QList<QTextLayout::FormatRange> formats;
    std::vector<Piece> pieces;
    std::size_t scalar_index = 0;
    for (const Span& span : spans) {
        FontKey font = in.base;
        Color color = in.base_color;
        if (span.style) {
            if (span.style->size_pt) font.size = *span.style->size_pt;
            if (span.style->weight) font.weight = *span.style->weight;
            font.italic = span.style->italic;
            font.mono = span.style->monospace;
            if (span.style->color) color = *span.style->color;
        }
        while (scalar_index < scalars.size() && scalar_byte[scalar_index] < span.b0) ++scalar_index;
        while (scalar_index < scalars.size() && scalar_byte[scalar_index] < span.b1) {
            bool is_emoji = emoji[scalar_index];
            std::size_t first = scalar_index;
            while (scalar_index < scalars.size() && scalar_byte[scalar_index] < span.b1 &&
                   emoji[scalar_index] == is_emoji) {
                ++scalar_index;
            }
            std::size_t end_byte = scalar_index < scalars.size() ? scalar_byte[scalar_index] : text.size();
            Piece piece{out->u16_of_byte(scalar_byte[first]), out->u16_of_byte(std::min(end_byte, span.b1)), font};
            piece.font.emoji = is_emoji;
            pieces.push_back(piece);

            bool plain = !span.style && !is_emoji && font == in.base;
            if (plain && !in.colored) continue;
            QTextLayout::FormatRange range;
            range.start = piece.start16;
            range.length = piece.end16 - piece.start16;
            range.format.setFont(make_font(piece.font, dpi), QTextCharFormat::FontPropertiesAll);
            if (in.colored) range.format.setForeground(QBrush(to_qcolor(color)));
            if (span.style) {
                if (span.style->underline) range.format.setFontUnderline(true);
                if (span.style->strikethrough) range.format.setFontStrikeOut(true);
                if (span.style->background) range.format.setBackground(QBrush(to_qcolor(*span.style->background)));
            }
            formats.push_back(range);
        }
    }

    out->layout = std::make_unique<QTextLayout>(out->q, make_font(in.base, dpi));
    QTextOption option;
    option.setUseDesignMetrics(true);
    option.setWrapMode(in.wrap_width > 0 ? QTextOption::WrapAtWordBoundaryOrAnywhere : QTextOption::NoWrap);
    out->layout->setTextOption(option);
    out->layout->setFormats(formats);
    out->layout->setCacheEnabled(true);

    const FontMetrics base_metrics = metrics_of(in.base, dpi);
    out->break_width = in.base.size * 0.3f;
    float y = 0;
    out->layout->beginLayout();
    for (;;) {
        QTextLine ql = out->layout->createLine();
        if (!ql.isValid()) break;
        ql.setLineWidth(in.wrap_width > 0 ? in.wrap_width : 1.0e6);
        Line line;
        line.start16 = ql.textStart();
        line.end16 = ql.textStart() + ql.textLength();
        // The line box: 1.25 × the largest size on the line, the text centred in it.
        float size = 0, ascent = 0, descent = 0;
        for (const Piece& piece : pieces) {
            bool touches = piece.start16 < line.end16 && piece.end16 > line.start16;
            if (line.start16 == line.end16) touches = piece.start16 <= line.start16 && piece.end16 >= line.start16;
            if (!touches) continue;
            FontMetrics m = metrics_of(piece.font, dpi);
            size = std::max(size, piece.font.size);
            ascent = std::max(ascent, m.ascent);
            descent = std::max(descent, m.descent);
        }
        if (size <= 0) {
            size = in.base.size;
            ascent = base_metrics.ascent;
            descent = base_metrics.descent;
        }
        line.top = y;
        line.height = size * kLineFactor;
        line.baseline = y + (line.height - (ascent + descent)) / 2 + ascent;
        ql.setPosition(QPointF(0, line.baseline - ql.ascent()));
        y += line.height;
        out->lines.push_back(line);
    }
    out->layout->endLayout();

    if (out->lines.empty()) {
        // An empty layout still has one line for the caret.
        out->lines.push_back(Line{0, in.base.size * kLineFactor,
                                  (in.base.size * kLineFactor - (base_metrics.ascent + base_metrics.descent)) / 2 +
                                      base_metrics.ascent,
                                  0, 0, 0, false, true});
    }
    out->lines.back().last = true;
    for (std::size_t i = 0; i < out->lines.size(); ++i) {
        Line& line = out->lines[i];
        line.hard_break = line.end16 > line.start16 && out->q[line.end16 - 1] == QChar(QChar::LineSeparator);
        line.content_end16 = line.hard_break ? line.end16 - 1 : line.end16;
        float w = 0;
        if (i < static_cast<std::size_t>(out->layout->lineCount())) {
            QTextLine ql = out->layout->lineAt(static_cast<int>(i));
            w = static_cast<float>(ql.naturalTextWidth());
            if (line.hard_break || line.last) w = std::max(w, static_cast<float>(ql.cursorToX(line.content_end16)));
        }
        out->width = std::max(out->width, w);
    }
    out->height = out->lines.back().top + out->lines.back().height;
    return out;
}

// Plain layouts repeat from frame to frame: keep recent ones.
struct PlainKey {
    std::string text;
    float size;
    int weight;
    float wrap;
    bool multiline;
    int dpi;
    friend bool operator==(const PlainKey&, const PlainKey&) = default;
};

struct PlainKeyHash {
    std::size_t operator()(const PlainKey& k) const {
        std::size_t h = std::hash<std::string>()(k.text);
        auto mixin = [&](std::size_t v) { h ^= v + 0x9e3779b97f4a7c15ULL + (h << 6) + (h >> 2); };
        mixin(std::hash<float>()(k.size));
        mixin(static_cast<std::size_t>(k.weight));
        mixin(std::hash<float>()(k.wrap));
        mixin(k.multiline ? 1 : 0);
        mixin(static_cast<std::size_t>(k.dpi));
        return h;
    }
};

std::shared_ptr<Shaped> shape_plain(std::string_view text, float size, int weight, float wrap, bool multiline) {
    static std::mutex mutex;
    static std::list<std::pair<PlainKey, std::shared_ptr<Shaped>>> order;
    static std::unordered_map<PlainKey, decltype(order)::iterator, PlainKeyHash> index;
    PlainKey key{std::string(text), size, std::clamp(weight, 0, 3), wrap, multiline, current_dpi()};
    {
        std::lock_guard lock(mutex);
        auto it = index.find(key);
        if (it != index.end()) {
            order.splice(order.begin(), order, it->second);
            return it->second->second;
        }
    }
    ShapeInput in;
    in.text = text;
    in.base = FontKey{size, key.weight};
    in.wrap_width = wrap;
    in.multiline = multiline;
    auto shaped = shape(in);
    std::lock_guard lock(mutex);
    if (index.find(key) == index.end()) {
        order.emplace_front(key, shaped);
        index.emplace(std::move(key), order.begin());
        if (order.size() > 768) {
            index.erase(order.back().first);
            order.pop_back();
        }
    }
    return shaped;
}

float measure_uncached(std::string_view text, float size, int weight) {
    ShapeInput in;
    in.text = text;
    in.base = FontKey{size, std::clamp(weight, 0, 3)};
    return shape(in)->width;
}

void draw_shaped(Painter& painter, const Shaped& shaped, Point origin, Color color) {
    QPainter* p = qpainter_of(painter);
    // Runs without a format are painted with the pen.
    p->setPen(to_qcolor(color));
    p->setBrush(Qt::NoBrush);
    shaped.layout->draw(p, QPointF(origin.x, origin.y));
}

ShapeInput rich_input(const StyledText& text, float wrap_width) {
    ShapeInput in;
    in.text = text.text;
    in.base = FontKey{text.size_pt, std::clamp(text.weight, 0, 3)};
    in.base_color = text.color;
    in.runs = &text.runs;
    in.wrap_width = std::max(0.0f, wrap_width);
    in.multiline = true;
    in.colored = true;
    return in;
}

TextMetrics metrics(const Shaped& shaped) {
    return {shaped.width, shaped.height, shaped.lines.front().baseline};
}

}  // namespace

// --- TextRenderer ---------------------------------------------------------------------------------

TextMetrics TextRenderer::measure(std::string_view text, float size_pt, int weight) {
    return metrics(*shape_plain(text, size_pt, weight, 0, false));
}

void TextRenderer::draw_text(Painter& painter, std::string_view text, Point origin, float size_pt, int weight,
                             Color color) {
    if (text.empty() || color.a <= 0) return;
    draw_shaped(painter, *shape_plain(text, size_pt, weight, 0, false), origin, color);
}

void TextRenderer::draw_text_aligned(Painter& painter, std::string_view text, Rect box, TextAlign align, float size_pt,
                                     int weight, Color color) {
    if (text.empty() || color.a <= 0) return;
    auto shaped = shape_plain(text, size_pt, weight, 0, false);
    float x = box.x0;
    if (align == TextAlign::Center) x = box.x0 + (box.width() - shaped->width) / 2;
    if (align == TextAlign::Right) x = box.x1 - shaped->width;
    float y = box.y0 + (box.height() - shaped->height) / 2;
    draw_shaped(painter, *shaped, {x, y}, color);
}

std::string TextRenderer::elide_to_width(std::string_view text, float size_pt, int weight, float width) {
    if (width <= 1) return {};
    auto full = shape_plain(text, size_pt, weight, 0, false);
    if (full->width <= width) return std::string(text);

    // Candidates far wider than the limit (judged from the full line's glyph positions) need no
    // shaping of their own; the rest are measured exactly, longest first.
    const bool estimate = !full->has_rtl;
    const float ellipsis = TextRenderer::measure(kEllipsis, size_pt, weight).width;
    std::string_view work = text;
    for (;;) {
        if (work.empty()) return kEllipsis;
        work = work.substr(0, text_selection::prev_char_boundary(work, work.size()));
        while (!work.empty()) {
            std::size_t p = text_selection::prev_char_boundary(work, work.size());
            std::size_t len = 1;
            if (!utf8::is_white_space(utf8::decode(work, p, len)) || p + len != work.size()) break;
            work = work.substr(0, p);
        }
        if (work.empty()) return kEllipsis;
        if (estimate) {
            const Line& line = full->lines.front();
            float prefix = full->x_at(line, full->u16_of_byte(work.size()));
            if (prefix + ellipsis > width + size_pt) continue;
        }
        std::string candidate = std::string(work) + kEllipsis;
        if (measure_uncached(candidate, size_pt, weight) <= width) return candidate;
    }
}

TextMetrics TextRenderer::measure_wrapped(std::string_view text, float size_pt, int weight, float wrap_width) {
    return metrics(*shape_plain(text, size_pt, weight, std::max(0.0f, wrap_width), true));
}

TextMetrics TextRenderer::draw_wrapped(Painter& painter, std::string_view text, Point origin, float size_pt, int weight,
                                       Color color, float wrap_width) {
    auto shaped = shape_plain(text, size_pt, weight, std::max(0.0f, wrap_width), true);
    if (!text.empty() && color.a > 0) draw_shaped(painter, *shaped, origin, color);
    return metrics(*shaped);
}

TextMetrics TextRenderer::draw_rich(Painter& painter, const StyledText& text, Point origin, float wrap_width) {
    auto shaped = shape(rich_input(text, wrap_width));
    if (!text.text.empty()) draw_shaped(painter, *shaped, origin, text.color);
    return metrics(*shaped);
}

// --- RichTextLayout ---------------------------------------------------------------------------------

struct RichTextLayout::Impl {
    std::shared_ptr<Shaped> shaped;
    Color color;
};

RichTextLayout::RichTextLayout() : impl_(std::make_unique<Impl>()) {}
RichTextLayout::RichTextLayout(RichTextLayout&&) noexcept = default;
RichTextLayout& RichTextLayout::operator=(RichTextLayout&&) noexcept = default;
RichTextLayout::~RichTextLayout() = default;

RichTextLayout RichTextLayout::shape_styled(const StyledText& text, float wrap_width) {
    RichTextLayout layout;
    layout.impl_->shaped = shape(rich_input(text, wrap_width));
    layout.impl_->color = text.color;
    return layout;
}

std::size_t RichTextLayout::hit(Point point) const {
    const Shaped* s = impl_->shaped.get();
    if (!s) return 0;
    const Line* line = &s->lines.back();
    for (const auto& l : s->lines) {
        if (point.y < l.top + l.height) {
            line = &l;
            break;
        }
    }
    // The last position on a line: before a line break, before the space a soft wrap hangs,
    // the line's end otherwise. (QTextLine::xToCursor misplaces points past a trailing space.)
    int limit = line->content_end16;
    if (!line->last && !line->hard_break && limit > line->start16) {
        QChar last = s->q[limit - 1];
        if (last.isSpace()) limit -= 1;
    }
    // Qt's answer is close; the nearest of its neighbours and the line's two ends is exact.
    const int index = static_cast<int>(line - s->lines.data());
    int around = line->start16;
    if (index < s->layout->lineCount()) {
        around = s->layout->lineAt(index).xToCursor(point.x, QTextLine::CursorBetweenCharacters);
    }
    around = std::clamp(around, line->start16, std::max(line->start16, limit));
    int from = around;
    for (int k = 0; k < 3 && from > line->start16; ++k) from = std::max(line->start16, s->layout->previousCursorPosition(from));
    int best = line->start16;
    float best_distance = std::abs(s->x_at(*line, best) - point.x);
    auto consider = [&](int i) {
        float distance = std::abs(s->x_at(*line, i) - point.x);
        if (distance < best_distance) {
            best_distance = distance;
            best = i;
        }
    };
    consider(limit);
    for (int i = from, k = 0; i < limit && k < 7; ++k) {
        consider(i);
        int next = s->layout->nextCursorPosition(i);
        if (next <= i) break;
        i = std::min(next, limit);
    }
    return s->byte_of16[static_cast<std::size_t>(best)];
}

Rect RichTextLayout::caret_geometry(std::size_t offset) const {
    const Shaped* s = impl_->shaped.get();
    if (!s) return {0, 0, 1, 0};
    int i16 = s->u16_of_byte(s->snap(offset));
    const Line& line = s->line_for(i16);
    float x = s->x_at(line, i16);
    return {x, line.top, x + 1, line.top + line.height};
}

std::vector<Rect> RichTextLayout::selection_rects(std::size_t start, std::size_t end) const {
    std::vector<Rect> rects;
    const Shaped* s = impl_->shaped.get();
    if (!s || s->layout->lineCount() == 0) return rects;
    if (start > end) std::swap(start, end);
    int a16 = s->u16_of_byte(s->snap(start));
    int b16 = s->u16_of_byte(s->snap(end));
    if (a16 >= b16) return rects;
    for (const auto& line : s->lines) {
        int a = std::max(a16, line.start16);
        int b = std::min(b16, line.end16);
        if (a >= b) continue;
        bool takes_break = line.hard_break && b == line.end16;
        int text_end = std::min(b, line.content_end16);
        float x0 = s->x_at(line, a);
        float x1 = s->x_at(line, std::max(a, text_end));
        if (x1 < x0) std::swap(x0, x1);
        if (takes_break) x1 += s->break_width;
        if (x1 > x0) rects.push_back({x0, line.top, x1, line.top + line.height});
    }
    return rects;
}

float RichTextLayout::height() const { return impl_->shaped ? impl_->shaped->height : 0; }
float RichTextLayout::width() const { return impl_->shaped ? impl_->shaped->width : 0; }
std::size_t RichTextLayout::line_count() const { return impl_->shaped ? impl_->shaped->lines.size() : 0; }

const std::string& RichTextLayout::text() const {
    static const std::string empty;
    return impl_->shaped ? impl_->shaped->utf8 : empty;
}

void RichTextLayout::draw(Painter& painter, Point origin) const {
    if (!impl_->shaped || impl_->shaped->utf8.empty()) return;
    draw_shaped(painter, *impl_->shaped, origin, impl_->color);
}

}  // namespace mail::ui
