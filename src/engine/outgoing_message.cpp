#include "engine/outgoing_message.h"

#include <gmime/gmime.h>
#include <unistd.h>

#include <climits>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <set>

#include "engine/calendar_invite.h"
#include "engine/message_parser.h"
#include "platform/base/utf8.h"
#include "core/text_case.h"

namespace mail::engine {
namespace {

namespace blobstore = services::blobstore;

// ---- GObject ownership ----

struct Unref {
    void operator()(gpointer object) const {
        if (object) g_object_unref(object);
    }
};
template <typename T>
using Owned = std::unique_ptr<T, Unref>;

// One initialisation of the MIME library for parsing and building alike.
void ensure_gmime() { init_mime_library(); }

using utf8::decode;
const auto is_valid_utf8 = utf8::is_valid;

// A header value on one line: every control character (a CRLF pair counts as one) becomes a
// space, and malformed UTF-8 becomes U+FFFD, so nothing a user typed can start a new header.
std::string header_text(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t at = 0; at < text.size();) {
        char32_t cp = 0;
        std::size_t len = decode(text, at, cp);
        if (len == 0) {
            out += "\xef\xbf\xbd";
            at += 1;
            continue;
        }
        if (cp <= 31 || (cp >= 127 && cp <= 159)) {
            if (cp == '\r' && at + 1 < text.size() && text[at + 1] == '\n') ++at;
            out.push_back(' ');
        } else {
            out.append(text.substr(at, len));
        }
        at += len;
    }
    return out;
}

// ---- transfer encodings ----

// Text canonicalised to LF line ends; the writer emits each as CRLF.
std::string lf_lines(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '\r') {
            if (i + 1 < text.size() && text[i + 1] == '\n') continue;
            c = '\n';
        }
        out.push_back(c);
    }
    return out;
}

// 7bit needs ASCII without NUL, lines of at most 998 octets, and CR only as part of CRLF.
bool fits_seven_bit(std::string_view bytes) {
    std::size_t line = 0;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        auto c = static_cast<unsigned char>(bytes[i]);
        if (c == 0 || c >= 0x80) return false;
        if (c == '\r') {
            if (i + 1 >= bytes.size() || bytes[i + 1] != '\n') return false;
            continue;
        }
        if (c == '\n') {
            line = 0;
            continue;
        }
        if (++line > 998) return false;
    }
    return true;
}

// ---- content types ----

bool is_token(std::string_view text) {
    if (text.empty()) return false;
    for (char c : text) {
        auto u = static_cast<unsigned char>(c);
        if (u <= 32 || u >= 127) return false;
        if (std::string_view("()<>@,;:\\\"/[]?=").find(c) != std::string_view::npos) return false;
    }
    return true;
}

// The draft's MIME text as a content type. Control characters are blanked before parsing (a
// quoted parameter would otherwise carry a line break into the header); a type that does not
// read as token/token is sent as application/octet-stream.
Owned<GMimeContentType> content_type_for(std::string_view mime) {
    std::string clean = header_text(mime);
    // The parser is lenient ("a/b/c" reads as a/b), so the type itself is checked first.
    std::string_view essence = trim_white_space(std::string_view(clean).substr(0, clean.find(';')));
    std::size_t slash = essence.find('/');
    if (slash != std::string_view::npos && is_token(essence.substr(0, slash)) && is_token(essence.substr(slash + 1))) {
        Owned<GMimeContentType> type(g_mime_content_type_parse(nullptr, clean.c_str()));
        if (type) return type;
    }
    return Owned<GMimeContentType>(g_mime_content_type_new("application", "octet-stream"));
}

Owned<GMimePart> leaf_part(GMimeContentType* type, std::string_view bytes, GMimeContentEncoding encoding) {
    Owned<GMimePart> part(g_mime_part_new());
    g_mime_object_set_content_type(GMIME_OBJECT(part.get()), type);
    Owned<GMimeStream> stream(
        g_mime_stream_mem_new_with_buffer(bytes.data(), static_cast<gsize>(bytes.size())));
    Owned<GMimeDataWrapper> content(
        g_mime_data_wrapper_new_with_stream(stream.get(), GMIME_CONTENT_ENCODING_DEFAULT));
    g_mime_part_set_content(part.get(), content.get());
    g_mime_part_set_content_encoding(part.get(), encoding);
    return part;
}

// A body text (plain, HTML, calendar): UTF-8, 7bit when it can be, else quoted-printable.
Owned<GMimePart> text_part(const char* subtype, std::string_view text,
                           const std::vector<std::pair<std::string, std::string>>& parameters) {
    std::string canonical = lf_lines(text);
    Owned<GMimeContentType> type(g_mime_content_type_new("text", subtype));
    for (const auto& [name, value] : parameters)
        g_mime_content_type_set_parameter(type.get(), name.c_str(), value.c_str());
    auto encoding = fits_seven_bit(canonical) ? GMIME_CONTENT_ENCODING_7BIT
                                              : GMIME_CONTENT_ENCODING_QUOTEDPRINTABLE;
    return leaf_part(type.get(), canonical, encoding);
}

void force_utf8_parameter(GMimeParamList* list, const char* name) {
    if (!list) return;
    if (GMimeParam* param = g_mime_param_list_get_parameter(list, name))
        g_mime_param_set_charset(param, "UTF-8");
}

// Disposition "attachment" with the file name; names outside ASCII go out as UTF-8 (RFC 2231)
// rather than whatever smaller charset the library would pick.
void set_attachment_name(GMimePart* part, std::string_view filename) {
    std::string name = header_text(filename);
    g_mime_object_set_disposition(GMIME_OBJECT(part), GMIME_DISPOSITION_ATTACHMENT);
    g_mime_part_set_filename(part, name.c_str());
    force_utf8_parameter(
        g_mime_content_disposition_get_parameters(g_mime_object_get_content_disposition(GMIME_OBJECT(part))),
        "filename");
    force_utf8_parameter(g_mime_content_type_get_parameters(g_mime_object_get_content_type(GMIME_OBJECT(part))),
                         "name");
}

// ---- attachments ----

using BlobReader = std::function<std::optional<std::string>(std::string_view hash)>;

Result<std::string> load_attachment(const DraftAttachment& attachment, const BlobReader& read_blob) {
    const std::string& name = attachment.filename;
    if (!attachment_is_valid(attachment)) return make_error("attachment " + name + " has invalid metadata");
    auto hash = attachment_hash(attachment.content_id);
    if (!hash) return make_error("attachment " + name + " has invalid content identity");
    auto bytes = read_blob(*hash);
    if (!bytes) return make_error("attachment " + name + " is not available on this device yet");
    if (bytes->size() > kMaxAttachmentBytes || bytes->size() != attachment.size ||
        !blobstore::verify(*hash, *bytes))
        return make_error("attachment " + name + " failed integrity validation");
    return std::move(*bytes);
}

// A draft that did not pass through normalisation (an engine request, say) could name any
// number of blobs; the same limits keep sending bounded in memory.
Status check_attachment_limits(const std::vector<DraftAttachment>& attachments) {
    std::uint64_t total = 0;
    for (const DraftAttachment& a : attachments)
        if (a.size <= kMaxAttachmentBytes) total += a.size;  // oversized ones fail on their own
    if (attachments.size() > kMaxDraftAttachments || total > kMaxDraftAttachmentBytes)
        return make_error("the attachments exceed Mail's limits of 16 files and 128 MiB per message");
    return {};
}

Owned<GMimePart> attachment_part(const DraftAttachment& attachment, std::string_view bytes) {
    Owned<GMimeContentType> type = content_type_for(attachment.mime);
    // Plain ASCII text travels readable; anything else is base64 so its bytes arrive intact.
    bool text = g_ascii_strcasecmp(g_mime_content_type_get_media_type(type.get()), "text") == 0;
    auto encoding = text && fits_seven_bit(bytes) ? GMIME_CONTENT_ENCODING_7BIT : GMIME_CONTENT_ENCODING_BASE64;
    Owned<GMimePart> part = leaf_part(type.get(), bytes, encoding);
    set_attachment_name(part.get(), attachment.filename);
    return part;
}

// ---- headers ----

InternetAddress* mailbox(std::string_view name, std::string_view address) {
    std::string clean_name = header_text(name);
    std::string clean_address = header_text(address);
    InternetAddress* entry =
        internet_address_mailbox_new(clean_name.empty() ? nullptr : clean_name.c_str(), clean_address.c_str());
    internet_address_set_charset(entry, "UTF-8");
    return entry;
}

void add_recipients(GMimeMessage* message, GMimeAddressType kind, const std::vector<MailAddress>& list) {
    InternetAddressList* header = g_mime_message_get_addresses(message, kind);
    for (const MailAddress& address : list) {
        Owned<InternetAddress> entry(mailbox(address.name.value_or(""), address.address));
        internet_address_list_add(header, entry.get());
    }
}

bool is_message_id_host(std::string_view host) {
    if (host.empty() || host.front() == '.' || host.back() == '.' || host.find("..") != std::string_view::npos)
        return false;
    if (!is_valid_utf8(host)) return false;
    for (char c : host) {
        auto u = static_cast<unsigned char>(c);
        bool atext = g_ascii_isalnum(c) || std::string_view("!#$%&'*+-/=?^_`{|}~.").find(c) != std::string_view::npos;
        if (u < 0x80 && !atext) return false;
    }
    return true;
}

// The right-hand side of the Message-ID: this machine's name when it can stand there.
std::string message_id_host() {
    char buffer[HOST_NAME_MAX + 1] = {};
    if (gethostname(buffer, sizeof buffer - 1) != 0) return "localhost";
    std::string host(buffer);
    return is_message_id_host(host) ? host : "localhost";
}

// ---- writing ----

Result<std::string> write_message(GMimeMessage* message) {
    Owned<GMimeStream> stream(g_mime_stream_mem_new());
    GMimeFormatOptions* options = g_mime_format_options_new();
    g_mime_format_options_set_newline_format(options, GMIME_NEWLINE_FORMAT_DOS);
    ssize_t written = g_mime_object_write_to_stream(GMIME_OBJECT(message), options, stream.get());
    g_mime_format_options_free(options);
    if (written < 0) return make_error("the message could not be written");
    GByteArray* bytes = g_mime_stream_mem_get_byte_array(GMIME_STREAM_MEM(stream.get()));
    return std::string(reinterpret_cast<const char*>(bytes->data), bytes->len);
}

Result<std::string> build_with(const MailAddress& sender, const DraftData& draft, const BlobReader& read_blob) {
    ensure_gmime();

    std::vector<MailAddress> to = parse_recipients(draft.to);
    std::vector<MailAddress> cc = parse_recipients(draft.cc);

    MAIL_TRY(check_attachment_limits(draft.attachments));
    std::optional<InvitationPart> invitation;
    if (draft.calendar_ics) {
        auto part = invitation_part(*draft.calendar_ics);
        if (!part.ok()) return part.error();
        invitation = std::move(*part);
    }

    Owned<GMimeMessage> message(g_mime_message_new(FALSE));
    std::string phrase = sender.name && !sender.name->empty() ? *sender.name : sender.address;
    {
        Owned<InternetAddress> from(mailbox(phrase, sender.address));
        internet_address_list_add(g_mime_message_get_from(message.get()), from.get());
    }
    add_recipients(message.get(), GMIME_ADDRESS_TYPE_TO, to);
    add_recipients(message.get(), GMIME_ADDRESS_TYPE_CC, cc);
    g_mime_message_set_subject(message.get(), header_text(draft.subject).c_str(), "UTF-8");
    {
        GDateTime* now = g_date_time_new_now_utc();
        g_mime_message_set_date(message.get(), now);
        g_date_time_unref(now);
    }
    {
        std::string host = message_id_host();
        char* id = g_mime_utils_generate_message_id(host.c_str());
        g_mime_message_set_message_id(message.get(), id);
        g_free(id);
    }

    const std::vector<std::pair<std::string, std::string>> utf8 = {{"charset", "utf-8"}};
    Owned<GMimeObject> body(GMIME_OBJECT(text_part("plain", draft.body, utf8).release()));
    if (draft.html_body) {
        Owned<GMimeMultipart> alternative(g_mime_multipart_new_with_subtype("alternative"));
        g_mime_multipart_add(alternative.get(), body.get());
        Owned<GMimePart> html = text_part("html", *draft.html_body, utf8);
        g_mime_multipart_add(alternative.get(), GMIME_OBJECT(html.get()));
        body.reset(GMIME_OBJECT(alternative.release()));
    }

    if (!draft.attachments.empty() || invitation) {
        Owned<GMimeMultipart> mixed(g_mime_multipart_new_with_subtype("mixed"));
        g_mime_multipart_add(mixed.get(), body.get());
        for (const DraftAttachment& attachment : draft.attachments) {
            auto bytes = load_attachment(attachment, read_blob);
            if (!bytes.ok()) return bytes.error();
            Owned<GMimePart> part = attachment_part(attachment, *bytes);
            g_mime_multipart_add(mixed.get(), GMIME_OBJECT(part.get()));
        }
        if (invitation) {
            Owned<GMimePart> part = text_part(invitation->media_subtype.c_str(), invitation->body, invitation->parameters);
            set_attachment_name(part.get(), invitation->filename);
            g_mime_multipart_add(mixed.get(), GMIME_OBJECT(part.get()));
        }
        body.reset(GMIME_OBJECT(mixed.release()));
    }
    g_mime_message_set_mime_part(message.get(), body.get());
    return write_message(message.get());
}

// ---- envelope addresses ----

bool is_atext(unsigned char c) {
    return g_ascii_isalnum(c) || c >= 0x80 || std::string_view("!#$%&'*+-/=?^_`{|}~").find(static_cast<char>(c)) != std::string_view::npos;
}

bool is_dot_atom(std::string_view text) {
    if (text.empty() || text.front() == '.' || text.back() == '.' || text.find("..") != std::string_view::npos)
        return false;
    for (char c : text)
        if (c != '.' && !is_atext(static_cast<unsigned char>(c))) return false;
    return true;
}

bool is_quoted_local(std::string_view text) {
    if (text.size() < 2 || text.front() != '"' || text.back() != '"') return false;
    std::string_view inner = text.substr(1, text.size() - 2);
    for (std::size_t i = 0; i < inner.size(); ++i) {
        auto c = static_cast<unsigned char>(inner[i]);
        if (c == '\\') {
            if (++i >= inner.size()) return false;
            continue;
        }
        if (c == '"') return false;
    }
    return true;
}

bool is_host_name(std::string_view domain) {
    std::size_t start = 0;
    while (true) {
        std::size_t dot = domain.find('.', start);
        std::string_view label = domain.substr(start, dot == std::string_view::npos ? std::string_view::npos : dot - start);
        if (label.empty() || label.size() > 63 || label.front() == '-' || label.back() == '-') return false;
        for (char c : label) {
            auto u = static_cast<unsigned char>(c);
            if (!(g_ascii_isalnum(c) || c == '-' || u >= 0x80)) return false;
        }
        if (dot == std::string_view::npos) return true;
        start = dot + 1;
    }
}

bool is_address_literal(std::string_view domain) {
    if (domain.size() < 3 || domain.front() != '[' || domain.back() != ']') return false;
    for (char c : domain.substr(1, domain.size() - 2)) {
        auto u = static_cast<unsigned char>(c);
        if (u < 33 || u > 126 || c == '[' || c == ']' || c == '\\') return false;
    }
    return true;
}

// Domains compare without regard to ASCII case; local parts exactly.
std::string recipient_key(std::string_view address) {
    std::size_t at = address.rfind('@');
    std::string key(address.substr(0, at + 1));
    for (char c : address.substr(at + 1)) key.push_back(g_ascii_tolower(c));
    return key;
}

}  // namespace

MailAddress sender_address(const StoredConfig& account) {
    MailAddress sender;
    sender.address = account.email;
    if (!account.display_name.empty()) sender.name = account.display_name;
    return sender;
}

Result<std::string> build_message(const MailAddress& sender, const DraftData& draft) {
    return build_with(sender, draft, [](std::string_view hash) { return blobstore::get(hash); });
}

Result<std::string> build_message(const MailAddress& sender, const DraftData& draft,
                                  const blobstore::BlobStore& blobs) {
    return build_with(sender, draft, [&blobs](std::string_view hash) { return blobs.get(hash); });
}

Result<std::string> parse_envelope_address(std::string_view text) {
    text = trim_white_space(text);
    if (text.empty()) return make_error("the address is empty");
    if (text.size() > 254) return make_error("the address is longer than 254 bytes");
    if (!is_valid_utf8(text)) return make_error("the address is not valid UTF-8");
    for (char c : text) {
        auto u = static_cast<unsigned char>(c);
        // SMTP commands carry the address: no byte may end or split the command line.
        if (u < 32 || u == 127) return make_error("the address contains a control character");
    }
    std::size_t at = text.rfind('@');
    if (at == std::string_view::npos) return make_error("the address has no @");
    std::string_view local = text.substr(0, at);
    std::string_view domain = text.substr(at + 1);
    if (local.empty()) return make_error("the address has no local part");
    if (domain.empty()) return make_error("the address has no domain");
    if (local.size() > 64) return make_error("the local part is longer than 64 bytes");
    if (!is_dot_atom(local) && !is_quoted_local(local)) return make_error("the local part is not valid");
    if (!is_host_name(domain) && !is_address_literal(domain)) return make_error("the domain is not valid");
    return std::string(text);
}

Result<SmtpEnvelope> build_envelope(const MailAddress& sender, std::string_view to, std::string_view cc,
                                    std::string_view bcc) {
    auto from = parse_envelope_address(sender.address);
    if (!from.ok()) return make_error("invalid From address: " + from.error_text());

    SmtpEnvelope envelope;
    envelope.sender = std::move(*from);
    std::set<std::string> seen;
    for (std::string_view field : {to, cc, bcc}) {
        for (const MailAddress& recipient : parse_recipients(field)) {
            auto address = parse_envelope_address(recipient.address);
            if (!address.ok()) continue;
            if (!seen.insert(recipient_key(*address)).second) continue;
            envelope.recipients.push_back(std::move(*address));
        }
    }
    if (envelope.recipients.empty()) return make_error("no valid recipients");
    return envelope;
}

}  // namespace mail::engine
