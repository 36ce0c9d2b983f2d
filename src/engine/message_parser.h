#pragma once
// Raw RFC 5322 bytes into the reading model's message record. The MIME library stays inside
// the .cpp; callers see plain C++ types.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

#include "core/folder_role.h"
#include "core/mail_message.h"
#include "core/stable_id.h"
#include "platform/base/result.h"

namespace mail::engine {

// What one message may make the parser hold. A message past any of them is refused with a
// one-line error rather than parsed in part.
// The header limits matter most: the library spends up to fifty times a header's size on it,
// while bodies stay views into the input until they are decoded.
struct ParseLimits {
    std::size_t max_message_bytes = 64u << 20;
    std::size_t max_header_bytes = 1u << 20;   // all header blocks together (MTAs keep ~100 KB)
    std::size_t max_header_fields = 10000;     // all header blocks together
    int max_depth = 32;                        // multiparts and attached messages inside each other
    std::size_t max_parts = 2000;              // every MIME entity, containers included
    std::size_t max_charsets = 16;             // distinct names: the library caches each for good
    std::size_t max_decoded_bytes = 96u << 20;     // attachments and bodies after decoding
    std::size_t max_html_render_bytes = 2u << 20;  // HTML handed to the plain-text renderer
};

// Initialises the MIME library once per process; safe to call from any thread, any number of
// times. parse_message calls it itself.
void init_mime_library();

// Fills every field from the message except `date` and `folder` (the caller's) and `seen`,
// `flagged` and `labels` (false, false, empty). Fails only when the bytes are not a message or
// exceed the limits; missing headers fall back to their defaults.
Result<MailMessage> parse_message(std::string_view raw, std::int64_t date, FolderRole role,
                                  const ParseLimits& limits = {});

// The id of a message with this Message-ID: derived from it, so refreshes find the same record;
// a fresh random id when there is none or it is blank once brackets and white space are gone.
StableId stable_id_for_message(const std::optional<std::string>& message_id);

}  // namespace mail::engine
