#include "platform/actionfw/action_host.h"

#include <cctype>

#include "platform/log/log.h"

namespace mail::actionfw {

std::string humanize_identifier(std::string_view identifier) {
    std::string out;
    for (std::size_t i = 0; i < identifier.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(identifier[i]);
        if (c == '_' || c == '-') {
            if (!out.empty() && out.back() != ' ') out.push_back(' ');
            continue;
        }
        if (std::isupper(c) && !out.empty() && out.back() != ' ') out.push_back(' ');
        out.push_back(out.empty() ? static_cast<char>(std::toupper(c)) : static_cast<char>(std::tolower(c)));
    }
    return out;
}

void ActionRegistry::register_kind(std::string operation_type, Applier applier) {
    appliers_[std::move(operation_type)] = std::move(applier);
}

bool ActionRegistry::has_kind(std::string_view operation_type) const {
    return appliers_.find(operation_type) != appliers_.end();
}

Status ActionRegistry::apply(persist::Document& document, const EncodedAction& action) const {
    auto it = appliers_.find(action.operation_type);
    if (it == appliers_.end()) return make_error("no action is registered for " + action.operation_type);
    return it->second(document, action.payload);
}

Status ActionHost::dispatch_with_context(persist::Document& document, const EncodedAction& action,
                                         const ActionContext& context) const {
    Status applied = registry_.apply(document, action);
    if (!applied)
        log::event("platform::actions", log::Level::Warn, "action dispatch failed",
                   {{"operation", action.operation_type},
                    {"title", context.title},
                    {"application", context.application_id},
                    {"error", applied.error_text()}});
    return applied;
}

}  // namespace mail::actionfw
