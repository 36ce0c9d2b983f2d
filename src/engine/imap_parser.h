#pragma once
// IMAP server responses (RFC 3501) from bytes. A pure function over a buffer: it answers one
// complete response and how many bytes it took, that more bytes are needed, or that the server
// broke the protocol. No I/O and no state between calls, so any split of the stream parses the
// same, and the fuzzer can explore it.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace mail::engine::imap {

// What one response may make us hold. A server past them is refused, not followed.
struct ParserLimits {
    std::size_t max_literal_bytes = 64u << 20;   // larger than any message the parser would take
    std::size_t max_response_bytes = 96u << 20;  // one response, lines and literals together
    int max_depth = 32;                          // parenthesised lists inside each other
};

enum class Condition { None, Ok, No, Bad, Preauth, Bye };

struct ListEntry {
    std::vector<std::string> attributes;  // "\HasNoChildren", "\Sent", …
    std::string delimiter;                // empty when the server says NIL
    std::string name;
};

struct FetchData {
    std::uint32_t sequence = 0;
    std::optional<std::uint32_t> uid;
    std::optional<std::vector<std::string>> flags;
    std::optional<std::int64_t> internal_date;  // seconds since the epoch, UTC
    std::optional<std::string> body;            // BODY[] (or RFC822): the whole message
};

struct Response {
    enum class Kind { Tagged, Untagged, Continuation };
    Kind kind = Kind::Untagged;
    std::string tag;                         // tagged responses
    Condition condition = Condition::None;   // tagged, and untagged OK/NO/BAD/PREAUTH/BYE
    std::string code;                        // response code atom, upper-cased: "CAPABILITY", "UIDNEXT", …
    std::string code_text;                   // what follows the code atom inside the brackets
    std::string text;                        // human-readable text; a continuation's whole text
    std::string name;                        // untagged data, upper-cased: "FETCH", "LIST", "SEARCH", "EXISTS", …
    std::optional<std::uint32_t> number;     // "* 3 EXISTS", "* 7 FETCH …"
    std::vector<std::uint32_t> search;       // SEARCH results in the server's order
    std::optional<ListEntry> list;           // LIST and LSUB
    std::optional<FetchData> fetch;
    std::vector<std::string> capabilities;   // CAPABILITY data or a [CAPABILITY …] code, upper-cased
};

struct Complete {
    Response response;
    std::size_t consumed = 0;  // bytes of the buffer this response took, line ending included
};

struct NeedMore {
    std::size_t at_least = 0;  // the buffer must grow to at least this many bytes before it can end
};

struct ProtocolError {
    std::string message;
};

using ParseResult = std::variant<Complete, NeedMore, ProtocolError>;

// Parses the response at the start of `buffer`.
ParseResult parse_response(std::string_view buffer, const ParserLimits& limits = {});

// Only where the response at the start of `buffer` ends (literals skipped unread): its length,
// NeedMore, or a ProtocolError for a literal or response past the limits. parse_response
// frames first, so a large literal arriving in pieces costs one scan of its header per read.
std::variant<std::size_t, NeedMore, ProtocolError> frame_response(std::string_view buffer,
                                                                  const ParserLimits& limits = {});

// "17-Jul-1996 02:44:25 -0700" as seconds since the epoch (UTC); nothing when malformed.
std::optional<std::int64_t> parse_internal_date(std::string_view text);

}  // namespace mail::engine::imap
