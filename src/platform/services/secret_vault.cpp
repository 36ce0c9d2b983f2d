#include "platform/services/secret_vault.h"

#include "platform/json/strict_json.h"
#include "platform/services/files.h"
#include "platform/services/paths.h"

namespace mail::services {
namespace {
constexpr int kVersion = 1;
}

std::filesystem::path SecretVault::file_in(const std::filesystem::path& root) { return root / "vault.json"; }

Result<SecretVault> SecretVault::open() {
    auto root = config_root();
    if (!root) return make_error("no configuration directory for the secret vault");
    return open_in(*root);
}

Result<SecretVault> SecretVault::open_in(const std::filesystem::path& root) {
    SecretVault vault;
    vault.file_ = file_in(root);
    auto content = read_file(vault.file_);
    if (!content) return content.error();
    if (!content->has_value()) return vault;

    auto damaged = [&](const std::string& detail) {
        return make_error("damaged secret vault " + vault.file_.string() + ": " + detail);
    };
    auto parsed = json::parse_strict(**content);
    if (!parsed) return damaged(parsed.error_text());
    const json::Json& doc = *parsed;
    if (!doc.is_object()) return damaged("not a JSON object");
    auto version = doc.find("version");
    if (version == doc.end() || !version->is_number_integer()) return damaged("no \"version\"");
    if (version->get<std::int64_t>() != kVersion) return damaged("unsupported version " + version->dump());
    auto secrets = doc.find("secrets");
    if (secrets == doc.end() || !secrets->is_object()) return damaged("\"secrets\" must be an object");
    for (const auto& [id, entry] : secrets->items()) {
        if (!entry.is_object()) return damaged("secret \"" + id + "\" is not an object");
        auto password = entry.find("password");
        if (password == entry.end() || !password->is_string()) {
            return damaged("secret \"" + id + "\" has no password text");
        }
        Secret secret{password->get<std::string>(), std::nullopt};
        if (auto token = entry.find("token"); token != entry.end()) {
            if (!token->is_string()) return damaged("token of \"" + id + "\" must be a string");
            secret.token = token->get<std::string>();
        }
        vault.secrets_.emplace(id, std::move(secret));
    }
    return vault;
}

std::optional<Secret> SecretVault::get(const std::string& id) const {
    auto found = secrets_.find(id);
    if (found == secrets_.end()) return std::nullopt;
    return found->second;
}

void SecretVault::put(const std::string& id, Secret secret) { secrets_[id] = std::move(secret); }

void SecretVault::remove(const std::string& id) { secrets_.erase(id); }

Status SecretVault::try_save() const {
    if (file_.empty()) return make_error("the secret vault was not opened from a directory");
    json::OrderedJson secrets = json::OrderedJson::object();
    for (const auto& [id, secret] : secrets_) {
        json::OrderedJson entry;
        entry["password"] = secret.password;
        if (secret.token) entry["token"] = *secret.token;
        secrets[id] = std::move(entry);
    }
    json::OrderedJson doc;
    doc["version"] = kVersion;
    doc["secrets"] = std::move(secrets);
    // A text that is not UTF-8 fails the save: replacing bytes would silently change a secret.
    std::string text;
    try {
        text = doc.dump(2) + "\n";
    } catch (const json::OrderedJson::exception&) {
        return make_error("could not write " + file_.string() + ": a text is not valid UTF-8");
    }
    return write_file_atomic(file_, text, 0600);
}

}  // namespace mail::services
