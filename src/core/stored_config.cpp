#include "core/stored_config.h"

#include "platform/base/uuid.h"
#include "platform/json/strict_json.h"

namespace mail {
namespace {

using json::Json;

Result<std::string> read_text(const Json& object, const char* key) {
    auto it = object.find(key);
    if (it == object.end()) return make_error(std::string("missing \"") + key + "\"");
    if (!it->is_string()) return make_error(std::string("\"") + key + "\" is not a string");
    return it->get<std::string>();
}

Result<bool> read_flag(const Json& object, const char* key) {
    auto it = object.find(key);
    if (it == object.end()) return make_error(std::string("missing \"") + key + "\"");
    if (!it->is_boolean()) return make_error(std::string("\"") + key + "\" is not a boolean");
    return it->get<bool>();
}

Result<std::uint16_t> read_port(const Json& object, const char* key) {
    auto it = object.find(key);
    if (it == object.end()) return make_error(std::string("missing \"") + key + "\"");
    bool in_range = false;
    std::uint64_t value = 0;
    if (it->is_number_unsigned()) {
        value = it->get<std::uint64_t>();
        in_range = value <= 65535;
    } else if (it->is_number_integer()) {
        std::int64_t signed_value = it->get<std::int64_t>();
        in_range = signed_value >= 0 && signed_value <= 65535;
        value = static_cast<std::uint64_t>(signed_value);
    } else {
        return make_error(std::string("\"") + key + "\" is not a port number");
    }
    if (!in_range) return make_error(std::string("\"") + key + "\" is outside 0..65535");
    return static_cast<std::uint16_t>(value);
}

}  // namespace

std::string_view auth_method_name(AuthMethod method) {
    return method == AuthMethod::OAuth ? "OAuth" : "Password";
}

std::string write_settings_json(const StoredConfig& config, bool collapsed) {
    json::OrderedJson out = json::OrderedJson::object();
    out["display_name"] = config.display_name;
    out["email"] = config.email;
    out["imap_host"] = config.imap_host;
    out["imap_port"] = config.imap_port;
    out["imap_tls"] = config.imap_tls;
    out["smtp_host"] = config.smtp_host;
    out["smtp_port"] = config.smtp_port;
    out["smtp_tls"] = config.smtp_tls;
    out["username"] = config.username;
    out["auth"] = std::string(auth_method_name(config.auth));
    out["collapsed"] = collapsed;
    // Invalid UTF-8 in a field is replaced rather than thrown: the settings stay writable.
    return out.dump(-1, ' ', false, json::OrderedJson::error_handler_t::replace);
}

Result<StoredSettings> read_settings_json(std::string_view text) {
    auto parsed = json::parse_strict(text);
    if (!parsed.ok()) return parsed.error();
    const Json& object = *parsed;
    if (!object.is_object()) return make_error("account settings are not a JSON object");

    StoredSettings settings;
    StoredConfig& c = settings.config;
    auto text_field = [&](const char* key, std::string& into) -> Status {
        auto value = read_text(object, key);
        if (!value.ok()) return value.error();
        into = std::move(*value);
        return {};
    };
    auto flag_field = [&](const char* key, bool& into) -> Status {
        auto value = read_flag(object, key);
        if (!value.ok()) return value.error();
        into = *value;
        return {};
    };
    auto port_field = [&](const char* key, std::uint16_t& into) -> Status {
        auto value = read_port(object, key);
        if (!value.ok()) return value.error();
        into = *value;
        return {};
    };
    MAIL_TRY(text_field("display_name", c.display_name));
    MAIL_TRY(text_field("email", c.email));
    MAIL_TRY(text_field("imap_host", c.imap_host));
    MAIL_TRY(port_field("imap_port", c.imap_port));
    MAIL_TRY(flag_field("imap_tls", c.imap_tls));
    MAIL_TRY(text_field("smtp_host", c.smtp_host));
    MAIL_TRY(port_field("smtp_port", c.smtp_port));
    MAIL_TRY(flag_field("smtp_tls", c.smtp_tls));
    MAIL_TRY(text_field("username", c.username));

    if (auto it = object.find("auth"); it != object.end()) {
        if (*it == "Password")
            c.auth = AuthMethod::Password;
        else if (*it == "OAuth")
            c.auth = AuthMethod::OAuth;
        else
            return make_error("\"auth\" is neither \"Password\" nor \"OAuth\"");
    }
    if (object.contains("collapsed")) MAIL_TRY(flag_field("collapsed", settings.collapsed));
    return settings;
}

std::string account_id_for(const StoredConfig& config) {
    if (!config.email.empty()) return config.email;
    return "account-" + Uuid::random_v4().to_string();
}

std::string account_label(const StoredConfig& config) {
    if (!config.email.empty()) return config.email;
    if (!config.display_name.empty()) return config.display_name;
    return "New account";
}

}  // namespace mail
