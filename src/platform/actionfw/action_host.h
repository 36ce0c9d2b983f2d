#pragma once
// The action framework's part the program uses: encoded actions, a registry of appliers by
// operation type, and the host that dispatches an action to the replica document. UI thread.
#include <functional>
#include <map>
#include <string>
#include <string_view>

#include "platform/base/result.h"

namespace mail::persist {
class Document;
}

namespace mail::actionfw {

// An action as the framework carries it: its operation type and its JSON text.
struct EncodedAction {
    std::string operation_type;
    std::string payload;
    friend bool operator==(const EncodedAction&, const EncodedAction&) = default;
};

// Who dispatched an action, for the platform's history and undo.
struct ActionContext {
    std::string application_id;
    std::string application_name;
    std::string title;  // shown to the user: the action's variant name made readable
};

// "SetRead" → "Set read", "add_label" → "Add label".
std::string humanize_identifier(std::string_view identifier);

class ActionRegistry {
public:
    // Decodes the payload and applies it to the document; answers the decoding or apply error.
    using Applier = std::function<Status(persist::Document&, std::string_view payload)>;

    void register_kind(std::string operation_type, Applier applier);
    bool has_kind(std::string_view operation_type) const;
    Status apply(persist::Document& document, const EncodedAction& action) const;

private:
    std::map<std::string, Applier, std::less<>> appliers_;
};

class ActionHost {
public:
    explicit ActionHost(const ActionRegistry& registry) : registry_(registry) {}

    // Applies the action through its registration. A failure is logged as "action dispatch
    // failed" and answered; the caller may ignore it.
    Status dispatch_with_context(persist::Document& document, const EncodedAction& action,
                                 const ActionContext& context) const;

private:
    const ActionRegistry& registry_;
};

}  // namespace mail::actionfw
