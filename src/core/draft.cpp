#include "core/draft.h"

#include <algorithm>

#include "core/text_case.h"
#include "platform/base/utf8.h"
#include "platform/json/strict_json.h"

namespace mail {
namespace {

using json::Json;
using json::OrderedJson;

constexpr char32_t kReplacement = 0xfffd;

using utf8::decode;
using utf8::encode;

bool is_control(char32_t cp) { return cp <= 31 || (cp >= 127 && cp <= 159); }

// Calls f(cp, bytes) for each scalar value; a malformed byte is reported as U+FFFD with an
// empty byte view. Stops early when f returns false.
template <typename F>
void for_each_scalar(std::string_view text, F&& f) {
    std::size_t at = 0;
    while (at < text.size()) {
        char32_t cp = 0;
        std::size_t len = decode(text, at, cp);
        if (len == 0) {
            if (!f(kReplacement, std::string_view{})) return;
            at += 1;
        } else {
            if (!f(cp, text.substr(at, len))) return;
            at += len;
        }
    }
}

std::string to_valid_utf8(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for_each_scalar(text, [&](char32_t cp, std::string_view bytes) {
        if (bytes.empty())
            encode(cp, out);
        else
            out.append(bytes);
        return true;
    });
    return out;
}

// Counts scalar values; nothing for malformed UTF-8.
std::optional<std::size_t> scalar_count(std::string_view text) {
    std::size_t count = 0;
    bool malformed = false;
    for_each_scalar(text, [&](char32_t, std::string_view bytes) {
        if (bytes.empty()) malformed = true;
        ++count;
        return !malformed;
    });
    if (malformed) return std::nullopt;
    return count;
}

std::string normalise_text(std::string_view text, std::size_t limit, bool keep_line_breaks) {
    std::string valid = to_valid_utf8(text);
    std::string_view trimmed = trim_white_space(valid);
    std::string out;
    out.reserve(std::min(trimmed.size(), limit * 4));
    std::size_t kept = 0;
    for_each_scalar(trimmed, [&](char32_t cp, std::string_view bytes) {
        bool line_break = cp == '\t' || cp == '\n' || cp == '\r';
        if (is_control(cp) && !(keep_line_breaks && line_break)) return true;
        if (kept == limit) return false;
        out.append(bytes);
        ++kept;
        return true;
    });
    return out;
}

bool is_lower_hex(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); }

std::size_t count_occurrences(std::string_view text, std::string_view needle) {
    std::size_t count = 0;
    for (std::size_t at = text.find(needle); at != std::string_view::npos;
         at = text.find(needle, at + needle.size()))
        ++count;
    return count;
}

std::string quoted(const char* key) { return std::string("\"") + key + "\""; }

Result<std::string> read_text(const Json& object, const char* key) {
    auto it = object.find(key);
    if (it == object.end()) return make_error("missing " + quoted(key));
    if (!it->is_string()) return make_error(quoted(key) + " is not a string");
    return it->get<std::string>();
}

Result<std::optional<std::string>> read_optional_text(const Json& object, const char* key) {
    auto it = object.find(key);
    if (it == object.end() || it->is_null()) return std::optional<std::string>{};
    if (!it->is_string()) return make_error(quoted(key) + " is not a string");
    return std::optional<std::string>{it->get<std::string>()};
}

Result<DraftAttachment> attachment_from_json(const Json& object) {
    if (!object.is_object()) return make_error("an attachment is not a JSON object");
    DraftAttachment attachment;
    auto content_id = read_text(object, "content_id");
    if (!content_id.ok()) return content_id.error();
    attachment.content_id = std::move(*content_id);
    auto filename = read_text(object, "filename");
    if (!filename.ok()) return filename.error();
    attachment.filename = std::move(*filename);
    auto mime = read_text(object, "mime");
    if (!mime.ok()) return mime.error();
    attachment.mime = std::move(*mime);
    auto size = object.find("size");
    if (size == object.end()) return make_error("missing \"size\"");
    if (!size->is_number_unsigned()) return make_error("\"size\" is not an unsigned integer");
    attachment.size = size->get<std::uint64_t>();
    return attachment;
}

Result<std::vector<DraftAttachment>> attachments_from_json(const Json& array) {
    if (!array.is_array()) return make_error("\"attachments\" is not a list");
    std::vector<DraftAttachment> list;
    list.reserve(array.size());
    for (const Json& entry : array) {
        auto attachment = attachment_from_json(entry);
        if (!attachment.ok()) return attachment.error();
        list.push_back(std::move(*attachment));
    }
    return list;
}

OrderedJson attachments_to_json(const std::vector<DraftAttachment>& attachments) {
    OrderedJson array = OrderedJson::array();
    for (const DraftAttachment& a : attachments) {
        OrderedJson entry = OrderedJson::object();
        entry["content_id"] = a.content_id;
        entry["filename"] = a.filename;
        entry["mime"] = a.mime;
        entry["size"] = a.size;
        array.push_back(std::move(entry));
    }
    return array;
}

std::string dump(const OrderedJson& value) {
    // Malformed UTF-8 is replaced rather than thrown: a draft always stays writable.
    return value.dump(-1, ' ', false, OrderedJson::error_handler_t::replace);
}

}  // namespace

bool attachment_is_valid(const DraftAttachment& a) {
    auto hash = attachment_hash(a.content_id);
    if (!hash || hash->size() != 64) return false;
    for (char c : *hash)
        if (!is_lower_hex(c)) return false;

    if (a.filename.empty() || a.filename.find_first_of("/\\") != std::string::npos) return false;
    auto name_chars = scalar_count(a.filename);
    if (!name_chars || *name_chars > kMaxAttachmentNameChars) return false;
    bool has_control = false;
    for_each_scalar(a.filename, [&](char32_t cp, std::string_view) {
        has_control = is_control(cp);
        return !has_control;
    });
    if (has_control) return false;

    auto mime_chars = scalar_count(a.mime);
    if (!mime_chars || *mime_chars > kMaxMimeTypeChars) return false;
    if (a.mime.find('/') == std::string::npos) return false;

    return a.size <= kMaxAttachmentBytes;
}

std::vector<DraftAttachment> normalise_attachments(const std::vector<DraftAttachment>& list) {
    std::vector<DraftAttachment> kept;
    std::uint64_t total = 0;
    for (const DraftAttachment& a : list) {
        if (kept.size() >= kMaxDraftAttachments) break;  // nothing later can be kept
        if (!attachment_is_valid(a)) continue;
        // Both operands are bounded by the limits, so the sum cannot wrap; checked anyway.
        if (a.size > kMaxDraftAttachmentBytes - total) continue;
        bool duplicate = false;
        for (const DraftAttachment& k : kept)
            if (k.content_id == a.content_id) duplicate = true;
        if (duplicate) continue;
        total += a.size;
        kept.push_back(a);
    }
    return kept;
}

DraftData normalise_draft(DraftData draft) {
    draft.to = normalise_text(draft.to, kMaxRecipientChars, false);
    draft.cc = normalise_text(draft.cc, kMaxRecipientChars, false);
    draft.bcc = normalise_text(draft.bcc, kMaxRecipientChars, false);
    draft.subject = normalise_text(draft.subject, kMaxSubjectChars, false);
    draft.body = normalise_text(draft.body, kMaxBodyChars, true);
    if (draft.html_body) draft.html_body = normalise_text(*draft.html_body, kMaxBodyChars, true);
    if (draft.calendar_ics && !is_bounded_invitation(*draft.calendar_ics)) draft.calendar_ics.reset();
    draft.attachments = normalise_attachments(draft.attachments);
    return draft;
}

bool is_bounded_invitation(std::string_view text) {
    return text.size() <= kMaxInvitationBytes && text.find('\0') == std::string_view::npos &&
           text.starts_with("BEGIN:VCALENDAR\r\n") &&
           text.find("\r\nMETHOD:REQUEST\r\n") != std::string_view::npos &&
           count_occurrences(text, "BEGIN:VEVENT") == 1 && text.ends_with("END:VCALENDAR\r\n");
}

std::optional<std::string_view> attachment_hash(std::string_view content_id) {
    if (!content_id.starts_with(kAttachmentContentIdPrefix)) return std::nullopt;
    return content_id.substr(kAttachmentContentIdPrefix.size());
}

std::string attachment_content_id(std::string_view hash) {
    std::string id(kAttachmentContentIdPrefix);
    id.append(hash);
    return id;
}

std::vector<MailAddress> parse_recipients(std::string_view text) {
    std::vector<MailAddress> out;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find_first_of(",;", start);
        if (end == std::string_view::npos) end = text.size();
        std::string_view piece = trim_white_space(text.substr(start, end - start));
        start = end + 1;
        if (piece.empty()) continue;

        MailAddress address;
        std::size_t open = piece.find('<');
        std::size_t close = open == std::string_view::npos ? open : piece.find('>', open + 1);
        if (close != std::string_view::npos) {
            std::string_view name = trim_white_space(piece.substr(0, open));
            while (!name.empty() && name.front() == '"') name.remove_prefix(1);
            while (!name.empty() && name.back() == '"') name.remove_suffix(1);
            address.address = std::string(trim_white_space(piece.substr(open + 1, close - open - 1)));
            if (!name.empty()) address.name = std::string(name);
        } else {
            address.address = std::string(piece);
        }
        out.push_back(std::move(address));
    }
    return out;
}

std::string format_address(const MailAddress& address) {
    if (address.name && !address.name->empty()) return *address.name + " <" + address.address + ">";
    return address.address;
}

std::string format_address_list(const std::vector<MailAddress>& addresses) {
    std::string out;
    for (const MailAddress& address : addresses) {
        if (!out.empty()) out += ", ";
        out += format_address(address);
    }
    return out;
}

std::string write_draft_json(const DraftData& draft) {
    OrderedJson out = OrderedJson::object();
    out["to"] = draft.to;
    out["cc"] = draft.cc;
    out["bcc"] = draft.bcc;
    out["subject"] = draft.subject;
    out["body"] = draft.body;
    if (draft.html_body) out["html_body"] = *draft.html_body;
    if (draft.calendar_ics) out["calendar_ics"] = *draft.calendar_ics;
    out["attachments"] = attachments_to_json(draft.attachments);
    return dump(out);
}

Result<DraftData> read_draft_json(std::string_view text) {
    auto parsed = json::parse_strict(text);
    if (!parsed.ok()) return parsed.error();
    const Json& object = *parsed;
    if (!object.is_object()) return make_error("the draft is not a JSON object");

    DraftData draft;
    auto text_field = [&](const char* key, std::string& into) -> Status {
        auto value = read_text(object, key);
        if (!value.ok()) return value.error();
        into = std::move(*value);
        return {};
    };
    auto optional_field = [&](const char* key, std::optional<std::string>& into) -> Status {
        auto value = read_optional_text(object, key);
        if (!value.ok()) return value.error();
        into = std::move(*value);
        return {};
    };
    MAIL_TRY(text_field("to", draft.to));
    MAIL_TRY(text_field("cc", draft.cc));
    MAIL_TRY(text_field("bcc", draft.bcc));
    MAIL_TRY(text_field("subject", draft.subject));
    MAIL_TRY(text_field("body", draft.body));
    MAIL_TRY(optional_field("html_body", draft.html_body));
    MAIL_TRY(optional_field("calendar_ics", draft.calendar_ics));
    if (auto it = object.find("attachments"); it != object.end()) {
        auto list = attachments_from_json(*it);
        if (!list.ok()) return list.error();
        draft.attachments = std::move(*list);
    }
    return draft;
}

std::string write_attachments_json(const std::vector<DraftAttachment>& attachments) {
    return dump(attachments_to_json(attachments));
}

Result<std::vector<DraftAttachment>> read_attachments_json(std::string_view text) {
    auto parsed = json::parse_strict(text);
    if (!parsed.ok()) return parsed.error();
    return attachments_from_json(*parsed);
}

}  // namespace mail
