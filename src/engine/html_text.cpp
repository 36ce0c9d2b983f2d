#include "engine/html_text.h"

#include <gumbo.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <string>
#include <unordered_map>
#include <vector>

namespace mail::engine {
namespace {

// Deeper quotes and lists are drawn at this depth, so hostile nesting cannot make every line
// carry a prefix as long as the input.
constexpr int kMaxShownDepth = 8;

bool is_html_space(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f'; }

enum class Kind { Inline, Skip, Break, Paragraph, ListItem, List, Quote, Pre, Cell, LineBreak };

Kind kind_of(const GumboElement& element) {
    if (element.tag_namespace != GUMBO_NAMESPACE_HTML) return Kind::Skip;  // svg, math
    switch (element.tag) {
        case GUMBO_TAG_HEAD: case GUMBO_TAG_TITLE: case GUMBO_TAG_STYLE: case GUMBO_TAG_SCRIPT:
        case GUMBO_TAG_TEMPLATE: case GUMBO_TAG_IFRAME: case GUMBO_TAG_OBJECT:
        case GUMBO_TAG_EMBED: case GUMBO_TAG_APPLET: case GUMBO_TAG_CANVAS: case GUMBO_TAG_SELECT:
        case GUMBO_TAG_DATALIST: case GUMBO_TAG_NOFRAMES: case GUMBO_TAG_NOEMBED: case GUMBO_TAG_MAP:
        case GUMBO_TAG_VIDEO: case GUMBO_TAG_AUDIO: case GUMBO_TAG_BASE: case GUMBO_TAG_META:
        case GUMBO_TAG_LINK:
            return Kind::Skip;
        case GUMBO_TAG_BR:
            return Kind::LineBreak;
        case GUMBO_TAG_P: case GUMBO_TAG_H1: case GUMBO_TAG_H2: case GUMBO_TAG_H3: case GUMBO_TAG_H4:
        case GUMBO_TAG_H5: case GUMBO_TAG_H6: case GUMBO_TAG_HR: case GUMBO_TAG_TABLE:
        case GUMBO_TAG_FIGURE: case GUMBO_TAG_FIELDSET: case GUMBO_TAG_ADDRESS: case GUMBO_TAG_DL:
            return Kind::Paragraph;
        case GUMBO_TAG_PRE: case GUMBO_TAG_LISTING: case GUMBO_TAG_XMP: case GUMBO_TAG_PLAINTEXT:
            return Kind::Pre;
        case GUMBO_TAG_BLOCKQUOTE:
            return Kind::Quote;
        case GUMBO_TAG_UL: case GUMBO_TAG_OL: case GUMBO_TAG_MENU: case GUMBO_TAG_DIR:
            return Kind::List;
        case GUMBO_TAG_LI:
            return Kind::ListItem;
        case GUMBO_TAG_TD: case GUMBO_TAG_TH:
            return Kind::Cell;
        case GUMBO_TAG_DIV: case GUMBO_TAG_ARTICLE: case GUMBO_TAG_SECTION: case GUMBO_TAG_NAV:
        case GUMBO_TAG_ASIDE: case GUMBO_TAG_HGROUP: case GUMBO_TAG_HEADER: case GUMBO_TAG_FOOTER:
        case GUMBO_TAG_DT: case GUMBO_TAG_DD: case GUMBO_TAG_FIGCAPTION: case GUMBO_TAG_MAIN:
        case GUMBO_TAG_TR: case GUMBO_TAG_CAPTION: case GUMBO_TAG_FORM: case GUMBO_TAG_LEGEND:
        case GUMBO_TAG_DETAILS: case GUMBO_TAG_SUMMARY: case GUMBO_TAG_CENTER: case GUMBO_TAG_OPTION:
        case GUMBO_TAG_TEXTAREA: case GUMBO_TAG_BODY: case GUMBO_TAG_HTML: case GUMBO_TAG_FRAMESET:
        case GUMBO_TAG_MULTICOL:
            return Kind::Break;
        default:
            return Kind::Inline;
    }
}

int list_start(const GumboElement& element) {
    if (element.tag != GUMBO_TAG_OL) return 1;
    const GumboAttribute* start = gumbo_get_attribute(&element.attributes, "start");
    if (!start) return 1;
    // Digits only, and small: a marker is a few characters, never a huge number.
    long value = 0;
    bool negative = false;
    const char* p = start->value;
    while (is_html_space(*p)) ++p;
    if (*p == '-') negative = true, ++p;
    if (*p < '0' || *p > '9') return 1;
    for (; *p >= '0' && *p <= '9'; ++p) value = std::min<long>(value * 10 + (*p - '0'), 1'000'000'000L);
    return static_cast<int>(negative ? -value : value);
}

class Renderer {
public:
    void text(std::string_view run, bool preformatted) {
        for (std::size_t i = 0; i < run.size(); ++i) {
            char c = run[i];
            // U+00A0 (no-break space) reads as a plain space in text; it does not collapse.
            if (static_cast<unsigned char>(c) == 0xC2 && i + 1 < run.size() &&
                static_cast<unsigned char>(run[i + 1]) == 0xA0) {
                put_char(' ');
                ++i;
                continue;
            }
            if (preformatted) {
                if (c == '\r') continue;
                if (c == '\n') {
                    begin_content();
                    out_ += '\n';
                    at_line_start_ = true;
                    continue;
                }
                put_char(c);
                continue;
            }
            if (is_html_space(c)) {
                if (!at_line_start_) pending_space_ = true;
                continue;
            }
            put_char(c);
        }
    }

    void request_break(int lines) {
        pending_breaks_ = std::max(pending_breaks_, lines);
        break_quote_depth_ = std::min(break_quote_depth_, quote_depth);
        pending_space_ = false;
    }
    void line_break() {
        pending_breaks_ = std::min(pending_breaks_ + 1, 2);
        break_quote_depth_ = std::min(break_quote_depth_, quote_depth);
        pending_space_ = false;
    }
    void word_gap() {
        if (!at_line_start_) pending_space_ = true;
    }
    void set_marker(std::string marker) { marker_ = std::move(marker); }

    int quote_depth = 0;
    int list_depth = 0;

    std::string finish() {
        // Lines end without trailing blanks, and runs of empty lines (a quote's bare "> " counts
        // as empty) shrink to one.
        std::string result;
        result.reserve(out_.size());
        std::string_view pending_blank;
        bool have_blank = false;
        bool any = false;
        std::size_t start = 0;
        while (start <= out_.size()) {
            std::size_t end = out_.find('\n', start);
            if (end == std::string::npos) end = out_.size();
            std::string_view line(out_.data() + start, end - start);
            while (!line.empty() && (line.back() == ' ' || line.back() == '\t')) line.remove_suffix(1);
            if (line.find_first_not_of("> ") == std::string_view::npos) {
                pending_blank = line;
                have_blank = true;
            } else {
                if (any) {
                    result += '\n';
                    if (have_blank) result.append(pending_blank).append("\n");
                }
                result.append(line);
                any = true;
                have_blank = false;
            }
            start = end + 1;
        }
        return result;
    }

private:
    // Breaks and the line prefix wait until real content follows, so empty blocks add nothing.
    void begin_content() {
        if (pending_breaks_ > 0) {
            if (!out_.empty()) {
                // A blank line between two quote levels belongs to the outer one.
                for (int i = 0; i < pending_breaks_; ++i) {
                    out_ += '\n';
                    if (i + 1 < pending_breaks_) out_.append(quote_prefix(break_quote_depth_));
                }
                at_line_start_ = true;
            }
            pending_breaks_ = 0;
            pending_space_ = false;
        }
        break_quote_depth_ = quote_depth;
        if (at_line_start_) {
            out_.append(quote_prefix(quote_depth));
            int indent = std::min(list_depth, kMaxShownDepth) - 1;
            for (int i = 0; i < indent; ++i) out_.append("  ");
            at_line_start_ = false;
            pending_space_ = false;
        }
        if (!marker_.empty()) {
            out_.append(marker_);
            marker_.clear();
            pending_space_ = false;
        }
    }

    void put_char(char c) {
        begin_content();
        if (pending_space_) {
            out_ += ' ';
            pending_space_ = false;
        }
        out_ += c;
    }

    static std::string quote_prefix(int depth) {
        std::string prefix;
        for (int i = 0; i < std::min(depth, kMaxShownDepth); ++i) prefix.append("> ");
        return prefix;
    }

    std::string out_;
    std::string marker_;
    int pending_breaks_ = 0;
    int break_quote_depth_ = 0;
    bool pending_space_ = false;
    bool at_line_start_ = true;
};

struct ListState {
    bool ordered = false;
    int next = 1;
};

struct Frame {
    const GumboNode* node;
    std::size_t next_child = 0;
    Kind kind = Kind::Inline;
};

void render(const GumboNode* root, Renderer& out) {
    std::vector<Frame> stack;
    std::vector<ListState> lists;
    int pre_depth = 0;
    stack.push_back({root, 0, Kind::Break});
    while (!stack.empty()) {
        Frame& frame = stack.back();
        const GumboNode* node = frame.node;
        const GumboVector* children = nullptr;
        if (node->type == GUMBO_NODE_DOCUMENT) children = &node->v.document.children;
        else if (node->type == GUMBO_NODE_ELEMENT) children = &node->v.element.children;

        if (children && frame.next_child < children->length) {
            auto* child = static_cast<const GumboNode*>(children->data[frame.next_child++]);
            switch (child->type) {
                case GUMBO_NODE_TEXT: case GUMBO_NODE_WHITESPACE: case GUMBO_NODE_CDATA:
                    out.text(child->v.text.text, pre_depth > 0);
                    continue;
                case GUMBO_NODE_ELEMENT: break;
                default: continue;  // comments, templates
            }
            const GumboElement& element = child->v.element;
            Kind kind = kind_of(element);
            switch (kind) {
                case Kind::Skip: continue;
                case Kind::LineBreak: out.line_break(); continue;
                case Kind::Break: out.request_break(1); break;
                case Kind::Paragraph: out.request_break(2); break;
                case Kind::Pre: out.request_break(2); ++pre_depth; break;
                case Kind::Quote: out.request_break(2); ++out.quote_depth; break;
                case Kind::List:
                    out.request_break(out.list_depth == 0 ? 2 : 1);
                    ++out.list_depth;
                    lists.push_back({element.tag == GUMBO_TAG_OL, list_start(element)});
                    break;
                case Kind::ListItem:
                    out.request_break(1);
                    if (!lists.empty() && lists.back().ordered) out.set_marker(std::to_string(lists.back().next++) + ". ");
                    else out.set_marker("• ");
                    break;
                case Kind::Cell: out.word_gap(); break;
                case Kind::Inline: break;
            }
            stack.push_back({child, 0, kind});
            continue;
        }

        switch (frame.kind) {
            case Kind::Break: out.request_break(1); break;
            case Kind::Paragraph: out.request_break(2); break;
            case Kind::Pre: out.request_break(2); --pre_depth; break;
            case Kind::Quote: out.request_break(2); --out.quote_depth; break;
            case Kind::List:
                --out.list_depth;
                lists.pop_back();
                out.request_break(out.list_depth == 0 ? 2 : 1);
                break;
            case Kind::ListItem: out.request_break(1); out.set_marker({}); break;
            case Kind::Cell: out.word_gap(); break;
            default: break;
        }
        stack.pop_back();
    }
}

// Length of the well-formed UTF-8 sequence at text[i], or 0 when the byte there starts none.
std::size_t utf8_sequence_length(std::string_view text, std::size_t i) {
    auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    unsigned char b0 = byte(i);
    if (b0 < 0x80) return 1;
    std::size_t need = 0;
    unsigned char lo = 0x80, hi = 0xBF;
    if (b0 >= 0xC2 && b0 <= 0xDF) need = 1;
    else if (b0 == 0xE0) need = 2, lo = 0xA0;
    else if (b0 >= 0xE1 && b0 <= 0xEC) need = 2;
    else if (b0 == 0xED) need = 2, hi = 0x9F;
    else if (b0 >= 0xEE && b0 <= 0xEF) need = 2;
    else if (b0 == 0xF0) need = 3, lo = 0x90;
    else if (b0 >= 0xF1 && b0 <= 0xF3) need = 3;
    else if (b0 == 0xF4) need = 3, hi = 0x8F;
    else return 0;
    if (i + need >= text.size()) return 0;
    unsigned char b1 = byte(i + 1);
    if (b1 < lo || b1 > hi) return 0;
    for (std::size_t k = 2; k <= need; ++k)
        if (byte(i + k) < 0x80 || byte(i + k) > 0xBF) return 0;
    return need + 1;
}

// The HTML parser checks scopes by walking its stack of open elements, so its time grows with
// input size times nesting depth. Browsers stop nesting at a few hundred levels; this pass does
// the same before parsing: start tags past the cap are dropped, together with their end tags.
// Tags that close themselves (p, li, td, …), void tags and raw text are not counted.
constexpr int kMaxTagDepth = 256;

bool is_tag_name_char(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == ':';
}

bool one_of(std::string_view name, std::initializer_list<std::string_view> names) {
    return std::find(names.begin(), names.end(), name) != names.end();
}

bool uncounted_tag(std::string_view name) {
    return one_of(name, {"area", "base", "br", "col", "embed", "hr", "img", "input", "link", "meta", "param",
                         "source", "track", "wbr", "keygen", "p", "li", "dt", "dd", "td", "th", "tr", "option",
                         "optgroup", "rb", "rt", "rp", "rtc", "thead", "tbody", "tfoot", "colgroup", "caption",
                         "html", "head", "body", "frame", "image", "basefont", "bgsound", "menuitem"});
}

bool raw_text_tag(std::string_view name) {
    return one_of(name, {"script", "style", "textarea", "title", "xmp", "iframe", "noembed", "noframes"});
}

std::string limit_nesting(std::string_view html) {
    std::string out;
    out.reserve(html.size());
    std::unordered_map<std::string, int> dropped;  // end tags still to drop, by tag name
    int depth = 0;
    std::size_t i = 0;
    while (i < html.size()) {
        std::size_t lt = html.find('<', i);
        if (lt == std::string_view::npos) lt = html.size();
        out.append(html.substr(i, lt - i));
        i = lt;
        if (i >= html.size()) break;
        if (html.compare(i, 4, "<!--") == 0) {
            std::size_t close = html.find("-->", i + 4);
            std::size_t end = close == std::string_view::npos ? html.size() : close + 3;
            out.append(html.substr(i, end - i));
            i = end;
            continue;
        }
        bool closing = i + 1 < html.size() && html[i + 1] == '/';
        std::size_t name_start = i + (closing ? 2 : 1);
        std::size_t name_end = name_start;
        while (name_end < html.size() && is_tag_name_char(html[name_end])) ++name_end;
        if (name_end == name_start || (html[name_start] >= '0' && html[name_start] <= '9')) {
            out += '<';
            ++i;
            continue;
        }
        std::size_t gt = html.find('>', name_end);
        std::size_t tag_end = gt == std::string_view::npos ? html.size() : gt + 1;
        std::string name(html.substr(name_start, name_end - name_start));
        for (char& c : name)
            if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        bool self_closing = gt != std::string_view::npos && gt > name_end && html[gt - 1] == '/';
        bool keep = true;
        if (closing) {
            auto it = dropped.find(name);
            if (it != dropped.end() && it->second > 0) {
                --it->second;
                keep = false;
            } else if (!uncounted_tag(name) && !raw_text_tag(name) && depth > 0) {
                --depth;
            }
        } else if (raw_text_tag(name)) {
            // Copied through its end tag so markup-like text inside is not counted.
            std::string end_tag = "</" + name;
            std::size_t at = tag_end;
            std::size_t close = std::string_view::npos;
            while (at < html.size()) {
                std::size_t found = html.find("</", at);
                if (found == std::string_view::npos) break;
                if (found + end_tag.size() <= html.size() &&
                    std::equal(end_tag.begin(), end_tag.end(), html.begin() + static_cast<std::ptrdiff_t>(found),
                               [](char a, char b) { return a == (b >= 'A' && b <= 'Z' ? b - 'A' + 'a' : b); })) {
                    close = found;
                    break;
                }
                at = found + 2;
            }
            tag_end = close == std::string_view::npos ? html.size() : close;
        } else if (!self_closing && !uncounted_tag(name)) {
            if (depth >= kMaxTagDepth) {
                ++dropped[name];
                keep = false;
            } else {
                ++depth;
            }
        }
        if (keep) out.append(html.substr(i, tag_end - i));
        i = tag_end;
    }
    return out;
}

// Bytes from i on that are plain ASCII, eight at a time while they last.
std::size_t ascii_run(std::string_view text, std::size_t i) {
    std::size_t start = i;
    while (i + 8 <= text.size()) {
        std::uint64_t word;
        std::memcpy(&word, text.data() + i, 8);
        if (word & 0x8080808080808080ULL) break;
        i += 8;
    }
    while (i < text.size() && static_cast<unsigned char>(text[i]) < 0x80) ++i;
    return i - start;
}

}  // namespace

bool is_valid_utf8(std::string_view text) {
    for (std::size_t i = 0; i < text.size();) {
        i += ascii_run(text, i);
        if (i >= text.size()) break;
        std::size_t n = utf8_sequence_length(text, i);
        if (n == 0) return false;
        i += n;
    }
    return true;
}

std::string repair_utf8(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        std::size_t ascii = ascii_run(text, i);
        out.append(text.substr(i, ascii));
        i += ascii;
        if (i >= text.size()) break;
        std::size_t n = utf8_sequence_length(text, i);
        if (n == 0) {
            out.append("\xEF\xBF\xBD");
            ++i;
        } else {
            out.append(text.substr(i, n));
            i += n;
        }
    }
    return out;
}

std::string html_to_text(std::string_view html) {
    std::string input = limit_nesting(repair_utf8(html));
    GumboOptions options = kGumboDefaultOptions;
    options.max_errors = 0;  // the error list is never read; keeping it costs memory
    GumboOutput* output = gumbo_parse_with_options(&options, input.data(), input.size());
    if (!output) return {};
    Renderer renderer;
    render(output->document, renderer);
    gumbo_destroy_output(&options, output);
    return renderer.finish();
}

}  // namespace mail::engine
