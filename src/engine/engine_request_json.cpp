#include "engine/engine_request_json.h"

#include <fstream>
#include <iostream>
#include <sstream>

#include <nlohmann/json.hpp>

#include "core/draft.h"
#include "core/stored_config.h"
#include "engine/engine.h"
#include "engine/oauth_refresh.h"
#include "platform/base/base64.h"
#include "platform/json/strict_json.h"

namespace mail::engine {

namespace {

using Json = nlohmann::json;
using Ordered = nlohmann::ordered_json;

std::string dump_line(const Ordered& j) { return j.dump(-1, ' ', false, Json::error_handler_t::replace); }


Ordered address_json(const MailAddress& a) {
    Ordered j;
    j["address"] = a.address;
    j["name"] = a.name ? Ordered(*a.name) : Ordered(nullptr);
    return j;
}

Ordered addresses_json(const std::vector<MailAddress>& list) {
    Ordered j = Ordered::array();
    for (const auto& a : list) j.push_back(address_json(a));
    return j;
}

Ordered optional_text(const std::optional<std::string>& text) { return text ? Ordered(*text) : Ordered(nullptr); }

Ordered message_json(const MailMessage& m) {
    Ordered j;
    j["from"] = address_json(m.from);
    j["to"] = addresses_json(m.to);
    j["labels"] = m.labels;
    j["subject"] = m.subject;
    j["body"] = m.body;
    j["cc"] = addresses_json(m.cc);
    Ordered attachments = Ordered::array();
    for (const auto& a : m.attachments) {
        Ordered aj;
        aj["file_name"] = a.file_name;
        aj["mime_type"] = a.mime_type;
        aj["content"] = base64::encode(a.content);
        aj["content_id"] = optional_text(a.content_id);
        aj["size"] = a.size;
        aj["downloaded"] = a.downloaded;
        attachments.push_back(std::move(aj));
    }
    j["attachments"] = std::move(attachments);
    j["message_id"] = optional_text(m.message_id);
    j["in_reply_to"] = optional_text(m.in_reply_to);
    j["html_body"] = optional_text(m.html_body);
    j["id"] = m.id.to_string();
    j["date"] = m.date;
    j["seen"] = m.seen;
    j["flagged"] = m.flagged;
    j["folder"] = std::string(folder_identifier(m.folder));
    return j;
}

// Field readers that name what is wrong. Absent optional fields take their defaults.
struct Reader {
    const Json& j;
    std::string where;

    Status need_object() const {
        if (!j.is_object()) return make_error(where + " must be an object");
        return {};
    }
    const Json* find(const char* key) const {
        auto it = j.find(key);
        return it == j.end() || it->is_null() ? nullptr : &*it;
    }
    Status text(const char* key, std::string& out) const {
        const Json* v = find(key);
        if (!v) return {};
        if (!v->is_string()) return make_error(where + "." + key + " must be a string");
        out = v->get<std::string>();
        return {};
    }
    Status optional_text(const char* key, std::optional<std::string>& out) const {
        const Json* v = find(key);
        if (!v) return {};
        if (!v->is_string()) return make_error(where + "." + key + " must be a string or null");
        out = v->get<std::string>();
        return {};
    }
    Status boolean(const char* key, bool& out) const {
        const Json* v = find(key);
        if (!v) return {};
        if (!v->is_boolean()) return make_error(where + "." + key + " must be true or false");
        out = v->get<bool>();
        return {};
    }
    template <typename N>
    Status number(const char* key, N& out) const {
        const Json* v = find(key);
        if (!v) return {};
        if (!v->is_number_integer()) return make_error(where + "." + key + " must be a whole number");
        out = v->get<N>();
        return {};
    }
};

Result<MailAddress> read_address(const Json& j, const std::string& where) {
    Reader r{j, where};
    MAIL_TRY(r.need_object());
    MailAddress a;
    MAIL_TRY(r.text("address", a.address));
    MAIL_TRY(r.optional_text("name", a.name));
    if (a.name && a.name->empty()) a.name.reset();
    return a;
}

Status read_addresses(const Reader& r, const char* key, std::vector<MailAddress>& out) {
    const Json* v = r.find(key);
    if (!v) return {};
    if (!v->is_array()) return make_error(r.where + "." + key + " must be a list");
    for (const Json& item : *v) {
        auto a = read_address(item, r.where + "." + key + "[]");
        if (!a) return a.error();
        out.push_back(std::move(*a));
    }
    return {};
}

Result<FolderRole> read_role(const Json& j, const char* key) {
    auto it = j.find(key);
    if (it == j.end() || !it->is_string()) return make_error(std::string("\"") + key + "\" must be a role (\"inbox\", …)");
    auto role = parse_folder_role(it->get<std::string>());
    if (!role) return make_error(std::string("unknown role in \"") + key + "\": " + it->get<std::string>());
    return *role;
}

Result<MailMessage> read_message(const Json& j) {
    Reader r{j, "message"};
    MAIL_TRY(r.need_object());
    MailMessage m;
    if (const Json* from = r.find("from")) {
        auto a = read_address(*from, "message.from");
        if (!a) return a.error();
        m.from = std::move(*a);
    }
    MAIL_TRY(read_addresses(r, "to", m.to));
    MAIL_TRY(read_addresses(r, "cc", m.cc));
    if (const Json* labels = r.find("labels")) {
        if (!labels->is_array()) return make_error("message.labels must be a list");
        for (const Json& l : *labels) {
            if (!l.is_string()) return make_error("message.labels must hold strings");
            m.labels.push_back(l.get<std::string>());
        }
    }
    MAIL_TRY(r.text("subject", m.subject));
    MAIL_TRY(r.text("body", m.body));
    if (const Json* list = r.find("attachments")) {
        if (!list->is_array()) return make_error("message.attachments must be a list");
        for (const Json& item : *list) {
            Reader ar{item, "message.attachments[]"};
            MAIL_TRY(ar.need_object());
            AttachmentRef a;
            std::string encoded;
            MAIL_TRY(ar.text("file_name", a.file_name));
            MAIL_TRY(ar.text("mime_type", a.mime_type));
            MAIL_TRY(ar.text("content", encoded));
            auto decoded = base64::decode(encoded);
            if (!decoded) return make_error("attachment content is not base64");
            a.content = std::move(*decoded);
            MAIL_TRY(ar.optional_text("content_id", a.content_id));
            a.size = a.content.size();
            MAIL_TRY(ar.number("size", a.size));
            MAIL_TRY(ar.boolean("downloaded", a.downloaded));
            m.attachments.push_back(std::move(a));
        }
    }
    MAIL_TRY(r.optional_text("message_id", m.message_id));
    MAIL_TRY(r.optional_text("in_reply_to", m.in_reply_to));
    MAIL_TRY(r.optional_text("html_body", m.html_body));
    std::string id;
    MAIL_TRY(r.text("id", id));
    if (!id.empty()) {
        auto parsed = Uuid::parse(id);
        if (!parsed) return make_error("message.id must be a UUID");
        m.id = *parsed;
    } else {
        m.id = m.message_id ? stable_id_from_message_id(*m.message_id) : new_stable_id();
    }
    MAIL_TRY(r.number("date", m.date));
    MAIL_TRY(r.boolean("seen", m.seen));
    MAIL_TRY(r.boolean("flagged", m.flagged));
    if (r.find("folder")) {
        auto role = read_role(j, "folder");
        if (!role) return role.error();
        m.folder = *role;
    }
    return m;
}

Result<StoredConfig> read_account(const Json& j) {
    auto it = j.find("account");
    if (it == j.end() || !it->is_object()) return make_error("\"account\" must be the account's settings object");
    auto settings = read_settings_json(it->dump());
    if (!settings) return make_error("account: " + settings.error_text());
    StoredConfig config = std::move(settings->config);
    if (auto p = it->find("password"); p != it->end()) {
        if (!p->is_string()) return make_error("account.password must be a string");
        config.password = p->get<std::string>();
    }
    return config;
}

}  // namespace

std::string message_to_json(const MailMessage& message) { return dump_line(message_json(message)); }

Result<MailMessage> message_from_json(std::string_view text) {
    auto parsed = json::parse_strict(text);
    if (!parsed) return parsed.error();
    return read_message(*parsed);
}

Result<EngineRequest> request_from_json(std::string_view text) {
    auto parsed = json::parse_strict(text);
    if (!parsed) return parsed.error();
    const Json& j = *parsed;
    if (!j.is_object()) return make_error("the request must be a JSON object");
    auto name_it = j.find("request");
    if (name_it == j.end() || !name_it->is_string()) return make_error("\"request\" must name the request");
    const std::string name = name_it->get<std::string>();
    if (name == "OAuthSignIn") {
        auto text = [&](const char* key) -> Result<std::string> {
            auto it = j.find(key);
            if (it == j.end() || !it->is_string()) return make_error(std::string("\"") + key + "\" must be a string");
            return it->get<std::string>();
        };
        auto key = text("account_key");
        if (!key) return key.error();
        auto hint = text("login_hint");
        if (!hint) return hint.error();
        auto provider = text("provider");
        if (!provider) return provider.error();
        if (*provider != "google" && *provider != "microsoft")
            return make_error("\"provider\" must be \"google\" or \"microsoft\"");
        return EngineRequest(OAuthSignIn(std::move(*key), std::move(*hint),
                                         *provider == "google" ? OAuthProvider::Google : OAuthProvider::Microsoft));
    }
    auto account = read_account(j);
    if (!account) return account.error();
    auto message = [&]() -> Result<MailMessage> {
        auto it = j.find("message");
        if (it == j.end()) return make_error("\"message\" is missing");
        return read_message(*it);
    };
    if (name == "Connect") return EngineRequest(Connect(std::move(*account)));
    if (name == "RefreshFolder") {
        auto role = read_role(j, "role");
        if (!role) return role.error();
        return EngineRequest(RefreshFolder(std::move(*account), *role));
    }
    if (name == "SyncFlags" || name == "MoveMessage" || name == "PurgeMessage") {
        auto m = message();
        if (!m) return m.error();
        if (name == "SyncFlags") return EngineRequest(SyncFlags(std::move(*account), std::move(*m)));
        if (name == "PurgeMessage") return EngineRequest(PurgeMessage(std::move(*account), std::move(*m)));
        auto destination = read_role(j, "destination");
        if (!destination) return destination.error();
        return EngineRequest(MoveMessage(std::move(*account), std::move(*m), *destination));
    }
    if (name == "SendMessage") {
        auto it = j.find("draft");
        if (it == j.end()) return make_error("\"draft\" is missing");
        auto draft = read_draft_json(it->dump());
        if (!draft) return make_error("\"draft\": " + draft.error_text());
        return EngineRequest(SendMessage(std::move(*account), std::move(*draft)));
    }
    return make_error("unknown request \"" + name + "\"");
}

std::string event_to_json(const EngineEvent& e) {
    Ordered j;
    std::visit(
        [&](const auto& v) {
            using T = std::decay_t<decltype(v)>;
            if constexpr (std::is_same_v<T, event::Connected>) {
                j["event"] = "Connected";
                j["id"] = v.id.to_string();
                j["account"] = v.account;
            } else if constexpr (std::is_same_v<T, event::FoldersListed>) {
                j["event"] = "FoldersListed";
                j["id"] = v.id.to_string();
                j["folders"] = v.folders;
            } else if constexpr (std::is_same_v<T, event::FolderSynced>) {
                j["event"] = "FolderSynced";
                j["id"] = v.id.to_string();
                j["role"] = std::string(folder_identifier(v.role));
                Ordered messages = Ordered::array();
                for (const auto& m : v.messages) messages.push_back(message_json(m));
                j["messages"] = std::move(messages);
            } else if constexpr (std::is_same_v<T, event::Delivered>) {
                j["event"] = "Delivered";
                j["id"] = v.id.to_string();
                j["bytes"] = v.bytes;
            } else if constexpr (std::is_same_v<T, event::SignedIn>) {
                j["event"] = "SignedIn";
                j["id"] = v.id.to_string();
                j["account_key"] = v.account_key;
            } else if constexpr (std::is_same_v<T, event::Failed>) {
                j["event"] = "Failed";
                j["id"] = v.id.to_string();
                j["kind"] = static_cast<int>(v.kind);
                j["stage"] = v.stage;
                j["message"] = v.message;
            } else {
                j["event"] = "Finished";
                j["id"] = v.id.to_string();
                j["kind"] = static_cast<int>(v.kind);
            }
        },
        e);
    return dump_line(j);
}

int run_engine_request_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        std::cerr << "cannot read " << path << "\n";
        return 2;
    }
    std::stringstream text;
    text << in.rdbuf();
    auto request = request_from_json(text.str());
    if (!request) {
        std::cerr << path << ": " << request.error_text() << "\n";
        return 2;
    }
    EngineHandle engine = start_engine();
    engine.send(std::move(*request));
    while (auto e = engine.events.recv()) {
        std::cout << event_to_json(*e) << "\n" << std::flush;
        if (std::holds_alternative<event::Finished>(*e)) return 0;
    }
    std::cerr << "the engine ended before the request finished\n";
    return 1;
}

}  // namespace mail::engine
