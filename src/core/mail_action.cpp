#include "core/mail_action.h"

#include "platform/base/fatal.h"
#include "platform/json/strict_json.h"

namespace mail {
namespace {

using json::Json;
using json::OrderedJson;

constexpr std::string_view kNames[] = {"SetRead",      "SetStarred",   "Move",         "Purge",
                                       "AddLabel",     "RemoveLabel",  "CreateFolder", "RenameFolder",
                                       "DeleteFolder", "SaveDraft",    "DiscardDraft"};

OrderedJson ids_json(const std::vector<std::string>& ids) {
    OrderedJson out = OrderedJson::array();
    for (const std::string& id : ids) out.push_back(id);
    return out;
}

OrderedJson fields(const MailAction& action) {
    OrderedJson f = OrderedJson::object();
    std::visit(
        [&](const auto& a) {
            using T = std::decay_t<decltype(a)>;
            if constexpr (std::is_same_v<T, MailAction::SetRead>) {
                f["ids"] = ids_json(a.ids);
                f["read"] = a.read;
            } else if constexpr (std::is_same_v<T, MailAction::SetStarred>) {
                f["ids"] = ids_json(a.ids);
                f["starred"] = a.starred;
            } else if constexpr (std::is_same_v<T, MailAction::Move>) {
                f["ids"] = ids_json(a.ids);
                f["folder"] = a.folder;
            } else if constexpr (std::is_same_v<T, MailAction::Purge>) {
                f["ids"] = ids_json(a.ids);
            } else if constexpr (std::is_same_v<T, MailAction::AddLabel> || std::is_same_v<T, MailAction::RemoveLabel>) {
                f["ids"] = ids_json(a.ids);
                f["label"] = a.label;
            } else if constexpr (std::is_same_v<T, MailAction::CreateFolder> ||
                                 std::is_same_v<T, MailAction::RenameFolder>) {
                f["id"] = a.id;
                f["name"] = a.name;
            } else if constexpr (std::is_same_v<T, MailAction::DeleteFolder>) {
                f["id"] = a.id;
            }
        },
        action.value);
    return f;
}

std::string in_quotes(std::string_view text) { return "\"" + std::string(text) + "\""; }

Result<std::vector<std::string>> read_ids(const Json& f) {
    auto it = f.find("ids");
    if (it == f.end()) return make_error("missing field \"ids\"");
    if (!it->is_array()) return make_error("\"ids\" is not an array");
    std::vector<std::string> ids;
    ids.reserve(it->size());
    for (const Json& id : *it) {
        if (!id.is_string()) return make_error("an entry of \"ids\" is not a string");
        ids.push_back(id.get<std::string>());
    }
    return ids;
}

Result<std::string> read_text(const Json& f, const char* key) {
    auto it = f.find(key);
    if (it == f.end()) return make_error("missing field " + in_quotes(key));
    if (!it->is_string()) return make_error(in_quotes(key) + " is not a string");
    return it->get<std::string>();
}

Result<bool> read_bool(const Json& f, const char* key) {
    auto it = f.find(key);
    if (it == f.end()) return make_error("missing field " + in_quotes(key));
    if (!it->is_boolean()) return make_error(in_quotes(key) + " is not a boolean");
    return it->get<bool>();
}

// Unwraps the reader results of one variant, passing the first error up.
#define MAIL_FIELD(var, expr)            \
    auto var##_result = (expr);          \
    if (!var##_result.ok()) return var##_result.error(); \
    auto var = std::move(var##_result).value()

bool is_variant_name(std::string_view name) {
    for (std::string_view known : kNames)
        if (known == name) return true;
    return false;
}

Result<MailAction> read_variant(std::string_view name, const Json& f) {
    if (!is_variant_name(name)) return make_error("unknown MailAction variant " + in_quotes(name));
    if (name == "DiscardDraft") return make_error("\"DiscardDraft\" has no fields and is written as a string");
    if (name == "SaveDraft") {
        if (!f.is_object()) return make_error("\"SaveDraft\" does not hold a DraftData object");
        auto draft = read_draft_json(f.dump());
        if (!draft.ok()) return draft.error();
        return MailAction(MailAction::SaveDraft{std::move(*draft)});
    }
    if (!f.is_object()) return make_error(in_quotes(name) + " does not hold an object of fields");
    if (name == "SetRead") {
        MAIL_FIELD(ids, read_ids(f));
        MAIL_FIELD(read, read_bool(f, "read"));
        return MailAction(MailAction::SetRead{std::move(ids), read});
    }
    if (name == "SetStarred") {
        MAIL_FIELD(ids, read_ids(f));
        MAIL_FIELD(starred, read_bool(f, "starred"));
        return MailAction(MailAction::SetStarred{std::move(ids), starred});
    }
    if (name == "Move") {
        MAIL_FIELD(ids, read_ids(f));
        MAIL_FIELD(folder, read_text(f, "folder"));
        return MailAction(MailAction::Move{std::move(ids), std::move(folder)});
    }
    if (name == "Purge") {
        MAIL_FIELD(ids, read_ids(f));
        return MailAction(MailAction::Purge{std::move(ids)});
    }
    if (name == "AddLabel" || name == "RemoveLabel") {
        MAIL_FIELD(ids, read_ids(f));
        MAIL_FIELD(label, read_text(f, "label"));
        if (name == "AddLabel") return MailAction(MailAction::AddLabel{std::move(ids), std::move(label)});
        return MailAction(MailAction::RemoveLabel{std::move(ids), std::move(label)});
    }
    if (name == "CreateFolder" || name == "RenameFolder") {
        MAIL_FIELD(id, read_text(f, "id"));
        MAIL_FIELD(folder_name, read_text(f, "name"));
        if (name == "CreateFolder") return MailAction(MailAction::CreateFolder{std::move(id), std::move(folder_name)});
        return MailAction(MailAction::RenameFolder{std::move(id), std::move(folder_name)});
    }
    if (name == "DeleteFolder") {
        MAIL_FIELD(id, read_text(f, "id"));
        return MailAction(MailAction::DeleteFolder{std::move(id)});
    }
    return make_error("unknown MailAction variant " + in_quotes(name));
}

#undef MAIL_FIELD

}  // namespace

std::string_view mail_action_name(const MailAction& action) { return kNames[action.value.index()]; }

std::string write_mail_action_json(const MailAction& action) {
    try {
        if (std::holds_alternative<MailAction::DiscardDraft>(action.value)) return "\"DiscardDraft\"";
        if (const auto* save = std::get_if<MailAction::SaveDraft>(&action.value))
            return "{\"SaveDraft\":" + write_draft_json(save->draft) + "}";
        OrderedJson out = OrderedJson::object();
        out[std::string(mail_action_name(action))] = fields(action);
        return out.dump(-1, ' ', false, OrderedJson::error_handler_t::replace);
    } catch (...) {
        fatal("MailAction is always serializable");
    }
}

Result<MailAction> read_mail_action_json(std::string_view text) {
    auto parsed = json::parse_strict(text);
    if (!parsed.ok()) return parsed.error();
    const Json& value = *parsed;
    if (value.is_string()) {
        std::string name = value.get<std::string>();
        if (name == "DiscardDraft") return MailAction(MailAction::DiscardDraft{});
        if (is_variant_name(name)) return make_error(in_quotes(name) + " needs its fields");
        return make_error("unknown MailAction variant " + in_quotes(name));
    }
    if (!value.is_object()) return make_error("a MailAction is a string or an object");
    if (value.size() != 1) return make_error("a MailAction object has exactly one key, the variant name");
    return read_variant(value.begin().key(), value.begin().value());
}

EncodedAction encode_mail_action(const MailAction& action) {
    return EncodedAction{std::string(kMailActionType), write_mail_action_json(action)};
}

Result<MailAction> decode_mail_action(const EncodedAction& encoded) {
    if (encoded.operation_type != kMailActionType)
        return make_error(encoded.operation_type + ": not a " + std::string(kMailActionType) + " payload");
    auto action = read_mail_action_json(encoded.payload);
    if (!action.ok()) return make_error(std::string(kMailActionType) + ": " + action.error_text());
    return action;
}

}  // namespace mail
