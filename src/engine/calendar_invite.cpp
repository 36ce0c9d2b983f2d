#include "engine/calendar_invite.h"

#include "core/draft.h"

namespace mail::engine {

Result<InvitationPart> invitation_part(std::string_view calendar_ics) {
    if (!is_bounded_invitation(calendar_ics)) return make_error(std::string(kUnboundedInvitationError));
    InvitationPart part;
    part.media_type = "text";
    part.media_subtype = "calendar";
    // The payload may carry UTF-8 (summaries, names); say so rather than leave it to us-ascii.
    part.parameters = {{"method", "REQUEST"}, {"charset", "utf-8"}};
    part.filename = std::string(kInvitationFileName);
    part.body.reserve(calendar_ics.size());
    for (std::size_t i = 0; i < calendar_ics.size(); ++i) {
        char c = calendar_ics[i];
        if (c == '\r' && i + 1 < calendar_ics.size() && calendar_ics[i + 1] == '\n') continue;
        part.body.push_back(c == '\r' ? '\n' : c);
    }
    return part;
}

}  // namespace mail::engine
