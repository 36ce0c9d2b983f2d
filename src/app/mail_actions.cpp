#include "app/mail_actions.h"

#include <string>

#include "engine/mail_reducer.h"

namespace mail::app {

void register_mail_actions(actionfw::ActionRegistry& registry) {
    registry.register_kind(std::string(kMailActionType), [](persist::Document& replica, std::string_view payload) -> Status {
        auto action = decode_mail_action(EncodedAction{std::string(kMailActionType), std::string(payload)});
        if (!action) return action.error();
        return engine::apply_action(replica, *action);
    });
}

void issue_action(persist::Document& replica, const actionfw::ActionHost& host, const MailAction& action) {
    const actionfw::ActionContext context{kApplicationId, "Mail",
                                          actionfw::humanize_identifier(mail_action_name(action))};
    (void)host.dispatch_with_context(replica, encode_mail_action(action), context);
}

}  // namespace mail::app
