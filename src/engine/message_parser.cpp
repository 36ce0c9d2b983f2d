#include "engine/message_parser.h"

#include <gmime/gmime.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "core/text_case.h"
#include "engine/html_text.h"
#include "engine/mime_types.h"
#include "platform/base/base64.h"

namespace mail::engine {
namespace {

struct GObjectUnref {
    void operator()(gpointer object) const {
        if (object) g_object_unref(object);
    }
};
template <typename T>
using GRef = std::unique_ptr<T, GObjectUnref>;

struct GFree {
    void operator()(gpointer memory) const { g_free(memory); }
};
using GChars = std::unique_ptr<char, GFree>;

// The MIME library joins adjacent base64 encoded words of one charset before decoding them and
// stops at the first padding, so "=?UTF-8?B?SGVsbG8=?= =?UTF-8?B?IHdvcmxk?=" reads as "Hello".
// Senders split long names and subjects exactly that way. Such runs are merged into one word
// carrying the joined bytes, which the library then decodes whole.



struct EncodedWord {
    std::size_t begin = 0, end = 0;  // the whole "=?…?=" in the header value
    std::string_view charset;
    bool base64 = false;
    std::string_view data;
};

// The encoded word starting at value[at] ("=?charset?B?data?="), if one does.
std::optional<EncodedWord> encoded_word_at(std::string_view value, std::size_t at) {
    if (value.compare(at, 2, "=?") != 0) return std::nullopt;
    std::size_t q1 = value.find('?', at + 2);
    if (q1 == std::string_view::npos || q1 == at + 2 || q1 + 2 >= value.size() || value[q1 + 2] != '?')
        return std::nullopt;
    EncodedWord word;
    word.begin = at;
    word.charset = value.substr(at + 2, q1 - at - 2);
    if (word.charset.find_first_of(" \t\r\n") != std::string_view::npos) return std::nullopt;
    char encoding = value[q1 + 1];
    word.base64 = encoding == 'B' || encoding == 'b';
    std::size_t data_start = q1 + 3;
    std::size_t close = value.find("?=", data_start);
    if (close == std::string_view::npos) return std::nullopt;
    word.data = value.substr(data_start, close - data_start);
    if (word.data.find_first_of(" \t\r\n") != std::string_view::npos) return std::nullopt;
    word.end = close + 2;
    return word;
}

bool equal_ascii_ci(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
        if (x != y) return false;
    }
    return true;
}

// The header value with each affected run merged; nothing when no run needs it.
std::optional<std::string> join_split_base64_words(std::string_view value) {
    std::string out;
    std::size_t copied = 0;
    bool changed = false;
    for (std::size_t at = value.find("=?"); at != std::string_view::npos; at = value.find("=?", at)) {
        std::optional<EncodedWord> first = encoded_word_at(value, at);
        if (!first) {
            at += 2;
            continue;
        }
        std::vector<EncodedWord> run{*first};
        while (run.back().base64) {
            std::size_t next = run.back().end;
            while (next < value.size() && (value[next] == ' ' || value[next] == '\t' || value[next] == '\r' ||
                                           value[next] == '\n'))
                ++next;
            if (next == run.back().end) break;
            std::optional<EncodedWord> word = encoded_word_at(value, next);
            if (!word || !word->base64 || !equal_ascii_ci(word->charset, first->charset)) break;
            run.push_back(*word);
        }
        bool padded_inside = false;
        for (std::size_t k = 0; k + 1 < run.size(); ++k)
            if (run[k].data.find('=') != std::string_view::npos) padded_inside = true;
        if (padded_inside) {
            std::string bytes;
            for (const EncodedWord& word : run) base64::decode_lenient_append(word.data, bytes);
            out.append(value.substr(copied, first->begin - copied));
            out.append("=?").append(first->charset).append("?B?").append(base64::encode(bytes)).append("?=");
            copied = run.back().end;
            changed = true;
        }
        at = run.back().end;
    }
    if (!changed) return std::nullopt;
    out.append(value.substr(copied));
    return out;
}

// Raw values of every header of this name, in order.
std::vector<const char*> raw_headers(GMimeObject* object, std::string_view name) {
    std::vector<const char*> values;
    GMimeHeaderList* list = g_mime_object_get_header_list(object);
    if (!list) return values;
    int count = g_mime_header_list_get_count(list);
    for (int i = 0; i < count; ++i) {
        GMimeHeader* header = g_mime_header_list_get_header_at(list, i);
        const char* header_name = header ? g_mime_header_get_name(header) : nullptr;
        if (header_name && equal_ascii_ci(header_name, name))
            if (const char* raw = g_mime_header_get_raw_value(header)) values.push_back(raw);
    }
    return values;
}

std::string ascii_lower(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
}

bool is_blank(std::string_view text) { return trim_white_space(text).empty(); }

// Header text from the library is decoded to UTF-8 already; repair covers charsets it could
// not convert.
std::optional<std::string> present_text(const char* text) {
    if (!text || is_blank(text)) return std::nullopt;
    return repair_utf8(text);
}

constexpr int kMaxGroupDepth = 4;

void append_addresses(InternetAddressList* list, std::vector<MailAddress>& out, int depth = 0) {
    if (!list) return;
    int count = internet_address_list_length(list);
    for (int i = 0; i < count; ++i) {
        InternetAddress* address = internet_address_list_get_address(list, i);
        if (INTERNET_ADDRESS_IS_GROUP(address)) {
            if (depth < kMaxGroupDepth)
                append_addresses(internet_address_group_get_members(INTERNET_ADDRESS_GROUP(address)), out,
                                 depth + 1);
            continue;
        }
        if (!INTERNET_ADDRESS_IS_MAILBOX(address)) continue;
        MailAddress entry;
        const char* addr = internet_address_mailbox_get_addr(INTERNET_ADDRESS_MAILBOX(address));
        if (addr) entry.address = repair_utf8(addr);
        entry.name = present_text(internet_address_get_name(address));
        out.push_back(std::move(entry));
    }
}

// The addresses of every header of this name; `parsed` is the library's own reading, used
// unless split encoded words in a display name need joining first.
void append_header_addresses(GMimeMessage* message, std::string_view name, InternetAddressList* parsed,
                             std::vector<MailAddress>& out) {
    std::vector<const char*> raw = raw_headers(GMIME_OBJECT(message), name);
    std::vector<std::optional<std::string>> joined;
    bool any = false;
    for (const char* value : raw) {
        joined.push_back(join_split_base64_words(value));
        any = any || joined.back().has_value();
    }
    if (!any) {
        append_addresses(parsed, out);
        return;
    }
    for (std::size_t i = 0; i < raw.size(); ++i) {
        GRef<InternetAddressList> list(internet_address_list_parse(nullptr, joined[i] ? joined[i]->c_str() : raw[i]));
        append_addresses(list.get(), out);
    }
}

std::string subject_of(GMimeMessage* message) {
    std::vector<const char*> raw = raw_headers(GMIME_OBJECT(message), "Subject");
    if (!raw.empty()) {
        if (std::optional<std::string> joined = join_split_base64_words(raw.back())) {
            GChars unfolded(g_mime_utils_header_unfold(joined->c_str()));
            GChars decoded(unfolded ? g_mime_utils_header_decode_text(nullptr, unfolded.get()) : nullptr);
            if (decoded) return repair_utf8(decoded.get());
        }
    }
    const char* subject = g_mime_message_get_subject(message);
    return subject ? repair_utf8(subject) : "(no subject)";
}

// The ids of an In-Reply-To or References value. A single bare token (no angle brackets, as
// some clients write it) counts as one id, the way the Message-ID header itself is read.
std::vector<std::string> message_ids_in(const char* value) {
    std::vector<std::string> ids;
    if (!value) return ids;
    if (GMimeReferences* refs = g_mime_references_parse(nullptr, value)) {
        int count = g_mime_references_length(refs);
        for (int i = 0; i < count; ++i)
            if (auto id = present_text(g_mime_references_get_message_id(refs, i))) ids.push_back(std::move(*id));
        g_mime_references_free(refs);
    }
    if (ids.empty()) {
        std::string_view token = trim_white_space(value);
        bool single = !token.empty() && token.find_first_of(" \t\r\n<>,") == std::string_view::npos;
        if (single) ids.push_back(repair_utf8(token));
    }
    return ids;
}

std::string media_type_of(GMimeObject* object) {
    GMimeContentType* type = g_mime_object_get_content_type(object);
    if (!type) return "text/plain";
    const char* media = g_mime_content_type_get_media_type(type);
    const char* sub = g_mime_content_type_get_media_subtype(type);
    return ascii_lower(media ? media : "application") + "/" + ascii_lower(sub ? sub : "octet-stream");
}

bool is_inline_media(std::string_view type) {
    return type.starts_with("image/") || type.starts_with("audio/") || type.starts_with("video/");
}

// A parameter of a Content-Disposition or Content-Type header, read again from the raw value
// when split encoded words need joining.
std::optional<std::string> rejoined_parameter(GMimeObject* object, bool disposition, const char* name) {
    std::vector<const char*> raw = raw_headers(object, disposition ? "Content-Disposition" : "Content-Type");
    if (raw.empty()) return std::nullopt;
    // The library reads the last of repeated headers; so does this.
    std::optional<std::string> joined = join_split_base64_words(raw.back());
    if (!joined) return std::nullopt;
    if (disposition) {
        GRef<GMimeContentDisposition> parsed(g_mime_content_disposition_parse(nullptr, joined->c_str()));
        return parsed ? present_text(g_mime_content_disposition_get_parameter(parsed.get(), name)) : std::nullopt;
    }
    GRef<GMimeContentType> parsed(g_mime_content_type_parse(nullptr, joined->c_str()));
    return parsed ? present_text(g_mime_content_type_get_parameter(parsed.get(), name)) : std::nullopt;
}

// The Content-Disposition filename, else the Content-Type name, decoded.
std::optional<std::string> attachment_name(GMimeObject* object) {
    if (auto name = rejoined_parameter(object, true, "filename")) return name;
    if (auto name = present_text(g_mime_object_get_content_disposition_parameter(object, "filename"))) return name;
    if (auto name = rejoined_parameter(object, false, "name")) return name;
    return present_text(g_mime_object_get_content_type_parameter(object, "name"));
}

bool disposition_is_attachment(GMimeObject* object) {
    GMimeContentDisposition* disposition = g_mime_object_get_content_disposition(object);
    if (!disposition) return false;
    const char* value = g_mime_content_disposition_get_disposition(disposition);
    return value && ascii_lower(value) == "attachment";
}

// Bodies and attachments, classified the way JMAP's body structure does it: text parts are
// bodies unless marked or named like attachments, alternatives feed the plain and HTML lists
// separately, and images that sit among the text are listed as attachments as well.
class Structure {
public:
    explicit Structure(const ParseLimits& limits) : limits_(limits) {}

    std::vector<GMimeObject*> text;
    std::vector<GMimeObject*> html;
    std::vector<GMimeObject*> attachments;
    std::optional<std::string> error;

    void read(GMimeObject* top) {
        if (!top) return;
        std::vector<GMimeObject*> parts{top};
        walk(parts, "mixed", false, true, true, 0);
    }

private:
    void walk(const std::vector<GMimeObject*>& parts, std::string_view multipart, bool in_alternative,
              bool text_on, bool html_on, int depth) {
        std::size_t text_before = text.size();
        std::size_t html_before = html.size();
        for (std::size_t i = 0; i < parts.size() && !error; ++i) {
            GMimeObject* part = parts[i];
            if (++seen_ > limits_.max_parts) {
                error = "message has more than " + std::to_string(limits_.max_parts) + " parts";
                return;
            }
            std::string type = media_type_of(part);
            if (GMIME_IS_MULTIPART(part)) {
                if (depth + 1 > limits_.max_depth) {
                    error = "message nests parts more than " + std::to_string(limits_.max_depth) + " levels deep";
                    return;
                }
                auto* container = GMIME_MULTIPART(part);
                std::vector<GMimeObject*> children;
                int count = g_mime_multipart_get_count(container);
                for (int k = 0; k < count; ++k)
                    if (GMimeObject* child = g_mime_multipart_get_part(container, k)) children.push_back(child);
                std::string sub = type.substr(type.find('/') + 1);
                walk(children, sub, in_alternative || sub == "alternative", text_on, html_on, depth + 1);
                continue;
            }
            bool is_text = type == "text/plain" || type == "text/html";
            bool inline_body =
                !disposition_is_attachment(part) && (is_text || is_inline_media(type)) &&
                (i == 0 || (multipart != "related" && (is_inline_media(type) || !attachment_name(part))));
            if (!inline_body) {
                attachments.push_back(part);
                continue;
            }
            if (multipart == "alternative") {
                if (type == "text/plain") {
                    if (text_on) text.push_back(part);
                } else if (type == "text/html") {
                    if (html_on) html.push_back(part);
                } else {
                    attachments.push_back(part);
                }
                continue;
            }
            if (in_alternative) {
                if (type == "text/plain") html_on = false;
                if (type == "text/html") text_on = false;
            }
            if (text_on) text.push_back(part);
            if (html_on) html.push_back(part);
            // The record has no place for an image shown between texts; listing it keeps it.
            if (is_inline_media(type)) attachments.push_back(part);
        }
        // An alternative that offered only one of the two forms serves both lists.
        if (multipart == "alternative" && text_on && html_on) {
            if (text.size() == text_before && html.size() != html_before)
                text.insert(text.end(), html.begin() + static_cast<std::ptrdiff_t>(html_before), html.end());
            else if (html.size() == html_before && text.size() != text_before)
                html.insert(html.end(), text.begin() + static_cast<std::ptrdiff_t>(text_before), text.end());
        }
    }

    const ParseLimits& limits_;
    std::size_t seen_ = 0;
};

// Nothing when the library knows no converter for the charset.
std::optional<std::string> convert_to_utf8(std::string_view bytes, const char* charset) {
    iconv_t cd = g_mime_iconv_open("UTF-8", charset);
    if (cd == reinterpret_cast<iconv_t>(-1)) return std::nullopt;
    std::string out;
    out.reserve(bytes.size() + bytes.size() / 2 + 16);
    char buffer[4096];
    char* in = const_cast<char*>(bytes.data());
    std::size_t in_left = bytes.size();
    while (true) {
        char* dest = buffer;
        std::size_t dest_left = sizeof buffer;
        std::size_t result = in_left > 0 ? iconv(cd, &in, &in_left, &dest, &dest_left)
                                         : iconv(cd, nullptr, nullptr, &dest, &dest_left);
        out.append(buffer, static_cast<std::size_t>(dest - buffer));
        if (result != static_cast<std::size_t>(-1)) {
            if (in_left == 0 && dest != buffer) continue;  // the flush may need another round
            if (in_left == 0) break;
            continue;
        }
        if (errno == E2BIG) continue;
        // An invalid or cut-off sequence: mark it and go on after its first byte.
        out.append("\xEF\xBF\xBD");
        if (in_left == 0) break;
        ++in;
        --in_left;
    }
    g_mime_iconv_close(cd);
    return out;
}

class Decoder {
public:
    explicit Decoder(const ParseLimits& limits) : left_(limits.max_decoded_bytes), limit_(limits.max_decoded_bytes) {}

    std::optional<std::string> error;

    // The part's content with its transfer encoding undone; an attached message as its bytes.
    std::string bytes(GMimeObject* object) {
        GRef<GMimeStream> stream(g_mime_stream_mem_new());
        if (GMIME_IS_PART(object)) {
            if (GMimeDataWrapper* content = g_mime_part_get_content(GMIME_PART(object)))
                g_mime_data_wrapper_write_to_stream(content, stream.get());
        } else if (GMIME_IS_MESSAGE_PART(object)) {
            if (GMimeMessage* inner = g_mime_message_part_get_message(GMIME_MESSAGE_PART(object)))
                g_mime_object_write_to_stream(GMIME_OBJECT(inner), nullptr, stream.get());
        }
        GByteArray* array = g_mime_stream_mem_get_byte_array(GMIME_STREAM_MEM(stream.get()));
        if (!array || !take(array->len)) return {};
        return std::string(reinterpret_cast<const char*>(array->data), array->len);
    }

    // The text of a text part in UTF-8, converted from its declared charset. Bytes the charset
    // cannot read become U+FFFD; text without a usable charset is valid UTF-8 as it stands or
    // is guessed among the library's fallback charsets.
    std::string text(GMimeObject* object) {
        std::string raw = bytes(object);
        const char* declared = g_mime_object_get_content_type_parameter(object, "charset");
        const char* canonical = declared ? g_mime_charset_canon_name(declared) : nullptr;
        bool unicode_or_ascii = !canonical || equal_ascii_ci(canonical, "utf-8") || equal_ascii_ci(canonical, "us-ascii");
        if (unicode_or_ascii && is_valid_utf8(raw)) return raw;
        if (!unicode_or_ascii) {
            if (std::optional<std::string> converted = convert_to_utf8(raw, declared)) return repair_utf8(*converted);
        }
        GChars guessed(g_mime_utils_decode_8bit(nullptr, raw.data(), raw.size()));
        return repair_utf8(guessed ? std::string_view(guessed.get()) : std::string_view(raw));
    }

private:
    bool take(std::size_t n) {
        if (error) return false;
        if (n > left_) {
            error = "message decodes to more than " + std::to_string(limit_) + " bytes";
            return false;
        }
        left_ -= n;
        return true;
    }

    std::size_t left_;
    std::size_t limit_;
};

std::string unix_newlines(std::string text) {
    std::size_t write = text.find("\r\n");
    if (write == std::string::npos) return text;
    std::size_t read = write;
    while (read < text.size()) {
        // text[read] is the CR of a CR LF: skip it and move up the text to the next one.
        std::size_t from = read + 1;
        std::size_t next = text.find("\r\n", from);
        if (next == std::string::npos) next = text.size();
        std::memmove(text.data() + write, text.data() + from, next - from);
        write += next - from;
        read = next;
    }
    text.resize(write);
    return text;
}

// Cuts at most `limit` bytes without splitting a UTF-8 sequence.
std::string_view utf8_prefix(std::string_view text, std::size_t limit) {
    if (text.size() <= limit) return text;
    std::size_t end = limit;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
    return text.substr(0, end);
}

// A quick pass over the raw bytes that follows the MIME structure the way the library will
// (header blocks, declared boundaries, attached messages) and counts what the library would
// allocate for, so an oversized structure is refused before the library builds it. Boundary
// lines are matched by prefix and every "message/…" type counts as an attached message: where
// this pass and the library disagree, the pass counts more.
class Preflight {
public:
    explicit Preflight(const ParseLimits& limits) : limits_(limits) {}

    std::optional<std::string> check(std::string_view raw) {
        bool in_headers = true;
        std::size_t pos = 0;
        begin_entity();
        while (pos < raw.size() && !error_) {
            std::size_t end = raw.find('\n', pos);
            if (end == std::string_view::npos) end = raw.size();
            std::string_view line = raw.substr(pos, end - pos);
            pos = end + 1;
            if (!line.empty() && line.back() == '\r') line.remove_suffix(1);

            if (line.starts_with("--") && !boundaries_.empty()) {
                if (auto closing = boundary_line(line.substr(2))) {
                    if (in_headers) end_headers();
                    in_headers = !*closing;
                    if (in_headers) begin_entity();
                    continue;
                }
            }
            if (!in_headers) continue;
            if (line.empty()) {
                in_headers = end_headers();
                continue;
            }
            header_bytes_ += line.size() + 1;
            note_charsets(line);
            if (line.front() == ' ' || line.front() == '\t') {
                if (in_content_type_) content_type_.append(line);
            } else {
                ++header_fields_;
                std::size_t colon = line.find(':');
                std::string_view name = line.substr(0, colon);
                while (!name.empty() && (name.back() == ' ' || name.back() == '\t')) name.remove_suffix(1);
                in_content_type_ = colon != std::string_view::npos && equal_ascii_ci(name, "content-type");
                if (in_content_type_) content_type_.assign(line.substr(colon + 1));
            }
            if (header_bytes_ > limits_.max_header_bytes)
                fail("message headers exceed " + std::to_string(limits_.max_header_bytes) + " bytes");
            else if (header_fields_ > limits_.max_header_fields)
                fail("message has more than " + std::to_string(limits_.max_header_fields) + " header fields");
        }
        return error_;
    }

private:
    // A matching boundary line closes the deeper multiparts; true when it closes its own too.
    std::optional<bool> boundary_line(std::string_view rest) {
        for (std::size_t k = boundaries_.size(); k-- > 0;) {
            const std::string& boundary = boundaries_[k];
            if (!rest.starts_with(boundary)) continue;
            boundaries_.resize(k + 1);
            bool closing = rest.substr(boundary.size()).starts_with("--");
            if (closing) boundaries_.pop_back();
            return closing;
        }
        return std::nullopt;
    }

    // Charset names in encoded words ("=?name?"), charset parameters and RFC 2231 values
    // ("*=name'"). A name split across folded lines is not seen, which only lowers the count
    // for text that fails to decode anyway.
    void note_charsets(std::string_view line) {
        auto add = [&](std::string_view name) {
            if (name.empty() || name.size() > 64) return;
            std::string lower = ascii_lower(name);
            if (std::find(charsets_.begin(), charsets_.end(), lower) != charsets_.end()) return;
            charsets_.push_back(std::move(lower));
            if (charsets_.size() > limits_.max_charsets)
                fail("message names more than " + std::to_string(limits_.max_charsets) + " charsets");
        };
        for (std::size_t at = line.find("=?"); at != std::string_view::npos; at = line.find("=?", at + 2)) {
            std::size_t end = line.find('?', at + 2);
            if (end != std::string_view::npos) add(line.substr(at + 2, end - at - 2));
        }
        for (std::size_t at = line.find("*="); at != std::string_view::npos; at = line.find("*=", at + 2)) {
            std::size_t end = line.find('\'', at + 2);
            if (end != std::string_view::npos) add(trim_white_space(line.substr(at + 2, end - at - 2)));
        }
        std::string lower = ascii_lower(line);
        for (std::size_t at = lower.find("charset="); at != std::string::npos; at = lower.find("charset=", at + 8)) {
            std::string_view value = std::string_view(line).substr(at + 8);
            if (!value.empty() && value.front() == '"') value.remove_prefix(1);
            add(value.substr(0, value.find_first_of("\"; \t")));
        }
    }

    void begin_entity() {
        content_type_.clear();
        in_content_type_ = false;
        if (++parts_ > limits_.max_parts) fail("message has more than " + std::to_string(limits_.max_parts) + " parts");
    }

    // Ends a header block; true when the body is itself a header block (an attached message).
    bool end_headers() {
        in_content_type_ = false;
        if (content_type_.empty()) return false;
        GRef<GMimeContentType> type(g_mime_content_type_parse(nullptr, content_type_.c_str()));
        content_type_.clear();
        if (!type) return false;
        const char* media = g_mime_content_type_get_media_type(type.get());
        if (media && equal_ascii_ci(media, "multipart")) {
            const char* boundary = g_mime_content_type_get_parameter(type.get(), "boundary");
            if (!boundary || !*boundary) return false;
            if (!nest()) return false;
            // Longer boundaries are matched on their start, which only ever matches more lines.
            boundaries_.emplace_back(std::string_view(boundary).substr(0, 200));
            return false;
        }
        if (media && equal_ascii_ci(media, "message")) {
            if (!nest()) return false;
            begin_entity();
            return true;
        }
        return false;
    }

    bool nest() {
        if (++depth_ > limits_.max_depth) {
            fail("message nests parts more than " + std::to_string(limits_.max_depth) + " levels deep");
            return false;
        }
        return true;
    }

    void fail(std::string message) {
        if (!error_) error_ = std::move(message);
    }

    const ParseLimits& limits_;
    std::vector<std::string> boundaries_;
    std::vector<std::string> charsets_;
    std::string content_type_;
    bool in_content_type_ = false;
    std::size_t header_bytes_ = 0;
    std::size_t header_fields_ = 0;
    std::size_t parts_ = 0;
    int depth_ = 0;
    std::optional<std::string> error_;
};

}  // namespace

void init_mime_library() {
    static std::once_flag once;
    std::call_once(once, [] { g_mime_init(); });
}

StableId stable_id_for_message(const std::optional<std::string>& message_id) {
    if (message_id && normalize_message_id(*message_id)) return stable_id_from_message_id(*message_id);
    return new_stable_id();
}

Result<MailMessage> parse_message(std::string_view raw, std::int64_t date, FolderRole role,
                                  const ParseLimits& limits) {
    if (raw.empty()) return make_error("not a MIME message");
    if (raw.size() > limits.max_message_bytes)
        return make_error("message is larger than " + std::to_string(limits.max_message_bytes) + " bytes");
    init_mime_library();
    if (std::optional<std::string> refused = Preflight(limits).check(raw)) return make_error(*refused);

    // The stream reads the caller's bytes in place; bodies stay views into them until decoded.
    // The array only borrows them: it is emptied, then freed, once the stream is gone.
    struct BorrowedBytes {
        GByteArray* array;
        ~BorrowedBytes() {
            g_byte_array_steal(array, nullptr);
            g_byte_array_free(array, TRUE);
        }
    } borrowed{g_byte_array_new_take(reinterpret_cast<guint8*>(const_cast<char*>(raw.data())), raw.size())};
    GRef<GMimeStream> stream(g_mime_stream_mem_new_with_byte_array(borrowed.array));
    g_mime_stream_mem_set_owner(GMIME_STREAM_MEM(stream.get()), FALSE);
    GRef<GMimeParser> parser(g_mime_parser_new_with_stream(stream.get()));
    GRef<GMimeMessage> message(g_mime_parser_construct_message(parser.get(), nullptr));
    if (!message) return make_error("not a MIME message");

    Structure structure(limits);
    structure.read(g_mime_message_get_mime_part(message.get()));
    if (structure.error) return make_error(*structure.error);

    MailMessage out;
    std::vector<MailAddress> from;
    append_header_addresses(message.get(), "From", g_mime_message_get_from(message.get()), from);
    out.from = from.empty() ? MailAddress{"unknown@unknown", std::nullopt} : std::move(from.front());
    append_header_addresses(message.get(), "To", g_mime_message_get_to(message.get()), out.to);
    append_header_addresses(message.get(), "Cc", g_mime_message_get_cc(message.get()), out.cc);
    out.subject = subject_of(message.get());

    Decoder decoder(limits);
    for (GMimeObject* part : structure.text) {
        std::string type = media_type_of(part);
        if (type == "text/plain") {
            out.body = unix_newlines(decoder.text(part));
            break;
        }
        if (type == "text/html") {
            std::string html = decoder.text(part);
            out.body = html_to_text(utf8_prefix(html, limits.max_html_render_bytes));
            break;
        }
    }
    for (GMimeObject* part : structure.html) {
        if (media_type_of(part) != "text/html") continue;
        std::string html = decoder.text(part);
        if (!is_blank(html)) {
            out.html_body = std::move(html);
            break;
        }
    }

    out.message_id = present_text(g_mime_message_get_message_id(message.get()));
    GMimeObject* headers = GMIME_OBJECT(message.get());
    std::vector<std::string> replied = message_ids_in(g_mime_object_get_header(headers, "In-Reply-To"));
    if (!replied.empty()) {
        out.in_reply_to = std::move(replied.front());
    } else {
        std::vector<std::string> references = message_ids_in(g_mime_object_get_header(headers, "References"));
        if (!references.empty()) out.in_reply_to = std::move(references.back());
    }

    for (GMimeObject* part : structure.attachments) {
        AttachmentRef attachment;
        attachment.file_name = attachment_name(part).value_or("attachment.bin");
        attachment.mime_type = std::string(mime_for_name(attachment.file_name));
        attachment.content = decoder.bytes(part);
        attachment.content_id = present_text(g_mime_object_get_content_id(part));
        attachment.size = attachment.content.size();
        attachment.downloaded = attachment.size != 0;
        out.attachments.push_back(std::move(attachment));
        if (decoder.error) break;
    }
    if (decoder.error) return make_error(*decoder.error);

    out.id = stable_id_for_message(out.message_id);
    out.date = date;
    out.folder = role;
    return out;
}

}  // namespace mail::engine
