#pragma once
// The calendar invitation as it travels inside an outgoing message: one text/calendar part
// with method REQUEST, attached as "invitation.ics".
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/base/result.h"

namespace mail::engine {

inline constexpr std::string_view kInvitationFileName = "invitation.ics";
inline constexpr std::string_view kUnboundedInvitationError =
    "calendar invitation is not a bounded METHOD:REQUEST VCALENDAR";

struct InvitationPart {
    std::string media_type;
    std::string media_subtype;
    std::vector<std::pair<std::string, std::string>> parameters;  // in written order
    std::string filename;
    std::string body;  // the payload with LF line ends; the message writer puts CRLF back
};

// Refuses a payload that fails the bounded invitation test, so no path can send one that
// saving a draft would have dropped.
Result<InvitationPart> invitation_part(std::string_view calendar_ics);

}  // namespace mail::engine
