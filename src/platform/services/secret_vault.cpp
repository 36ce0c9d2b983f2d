#include "platform/services/secret_vault.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>

#include "platform/json/strict_json.h"
#include "platform/services/files.h"
#include "platform/services/paths.h"
#include "platform/services/versioned_json.h"

namespace mail::services {
namespace {
constexpr int kVersion = 1;
}

std::filesystem::path SecretVault::file_in(const std::filesystem::path& root) { return root / "vault.json"; }

Result<SecretVault> SecretVault::open() {
    auto root = config_root();
    if (!root) return SecretVault();
    return open_in(*root);
}

namespace {

using Secrets = std::map<std::string, Secret>;

Result<Secrets> read_secrets(const std::filesystem::path& file) {
    auto read = read_versioned_json(file, "secret vault", kVersion);
    if (!read) return read.error();
    Secrets secrets;
    if (!read->has_value()) return secrets;
    auto damaged = [&](const std::string& detail) { return damaged_file("secret vault", file, detail); };
    const json::Json& doc = **read;
    auto entries = doc.find("secrets");
    if (entries == doc.end() || !entries->is_object()) return damaged("\"secrets\" must be an object");
    for (const auto& [id, entry] : entries->items()) {
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
        secrets.emplace(id, std::move(secret));
    }
    return secrets;
}

// Serialises read-modify-write cycles of the vault between threads and processes. The lock is
// on a file of its own because the vault file itself is replaced by each save.
class VaultLock {
public:
    explicit VaultLock(const std::filesystem::path& vault) {
        std::filesystem::path lock = vault;
        lock += ".lock";
        fd_ = ::open(lock.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (fd_ < 0) return;
        while (::flock(fd_, LOCK_EX) != 0 && errno == EINTR) {
        }
    }
    ~VaultLock() {
        if (fd_ >= 0) ::close(fd_);  // closing releases the lock
    }
    VaultLock(const VaultLock&) = delete;
    VaultLock& operator=(const VaultLock&) = delete;

private:
    int fd_ = -1;
};

}  // namespace

Result<SecretVault> SecretVault::open_in(const std::filesystem::path& root) {
    SecretVault vault;
    vault.file_ = file_in(root);
    auto secrets = read_secrets(vault.file_);
    if (!secrets) return secrets.error();
    vault.secrets_ = std::move(*secrets);
    return vault;
}

std::optional<Secret> SecretVault::get(const std::string& id) const {
    auto found = secrets_.find(id);
    if (found == secrets_.end()) return std::nullopt;
    return found->second;
}

void SecretVault::put(const std::string& id, Secret secret) {
    changes_[id] = secret;
    secrets_[id] = std::move(secret);
}

void SecretVault::remove(const std::string& id) {
    changes_[id] = std::nullopt;
    secrets_.erase(id);
}

Status SecretVault::try_save() const {
    if (file_.empty()) return make_error("no configuration directory for the secret vault");
    std::error_code ec;
    std::filesystem::create_directories(file_.parent_path(), ec);
    if (ec) return make_error("could not write " + file_.string() + ": " + ec.message());
    VaultLock lock(file_);
    auto current = read_secrets(file_);
    if (!current) return current.error();
    Secrets merged = std::move(*current);
    for (const auto& [id, change] : changes_) {
        if (change) merged[id] = *change;
        else merged.erase(id);
    }
    json::OrderedJson secrets = json::OrderedJson::object();
    for (const auto& [id, secret] : merged) {
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
