// Any bytes through the message parser, the HTML renderer and the Date reader: nothing may
// crash, hang or leak, and whatever parses must hold only valid UTF-8 and consistent sizes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "engine/html_text.h"
#include "engine/mail_date.h"
#include "engine/message_parser.h"

namespace {

void require(bool condition) {
    if (!condition) std::abort();
}

void check_text(std::string_view text) { require(mail::engine::is_valid_utf8(text)); }

void check_address(const mail::MailAddress& address) {
    check_text(address.address);
    if (address.name) {
        require(!address.name->empty());
        check_text(*address.name);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view raw(reinterpret_cast<const char*>(data), size);

    // Small limits, so inputs of a few kilobytes reach every refusal as well.
    mail::engine::ParseLimits limits;
    limits.max_header_bytes = 16 << 10;
    limits.max_header_fields = 200;
    limits.max_parts = 64;
    limits.max_decoded_bytes = 256 << 10;
    auto parsed = mail::engine::parse_message(raw, 0, mail::FolderRole::Inbox, limits);
    if (parsed.ok()) {
        const mail::MailMessage& m = *parsed;
        check_address(m.from);
        for (const auto& a : m.to) check_address(a);
        for (const auto& a : m.cc) check_address(a);
        check_text(m.subject);
        check_text(m.body);
        if (m.html_body) check_text(*m.html_body);
        if (m.message_id) check_text(*m.message_id);
        if (m.in_reply_to) check_text(*m.in_reply_to);
        for (const auto& attachment : m.attachments) {
            require(!attachment.file_name.empty());
            check_text(attachment.file_name);
            require(attachment.size == attachment.content.size());
            require(attachment.downloaded == (attachment.size != 0));
        }
    } else {
        const std::string& error = parsed.error_text();
        require(!error.empty() && error.find('\n') == std::string::npos);
    }

    check_text(mail::engine::html_to_text(raw));
    (void)mail::engine::message_date_minutes(raw);
    return 0;
}
