#include "platform/services/sync_reporter.h"

#include <chrono>

#include "platform/json/strict_json.h"
#include "platform/services/blake3.h"
#include "platform/services/files.h"

namespace mail::services {
namespace {

constexpr SyncState kStates[] = {SyncState::Started, SyncState::Succeeded, SyncState::Offline,
                                 SyncState::NeedsAuthentication, SyncState::Failed};

bool is_blank(std::string_view text) {
    return text.find_first_not_of(" \t\r\n\f\v") == std::string_view::npos;
}

std::filesystem::path status_file(const std::filesystem::path& root, const AccountId& account) {
    return root / "sync-status" / (blake3_hex(account) + ".json");
}

std::int64_t now_seconds() {
    return std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch()).count();
}

}  // namespace

std::string_view sync_state_name(SyncState state) {
    switch (state) {
        case SyncState::Started: return "started";
        case SyncState::Succeeded: return "succeeded";
        case SyncState::Offline: return "offline";
        case SyncState::NeedsAuthentication: return "needs_authentication";
        case SyncState::Failed: return "failed";
    }
    return "started";
}

Result<std::optional<SyncStatus>> read_sync_status(const std::filesystem::path& root, const AccountId& account) {
    std::filesystem::path file = status_file(root, account);
    auto content = read_file(file);
    if (!content) return content.error();
    if (!content->has_value()) return std::optional<SyncStatus>();
    auto damaged = [&](const std::string& detail) {
        return make_error("damaged sync status " + file.string() + ": " + detail);
    };
    auto parsed = json::parse_strict(**content);
    if (!parsed) return damaged(parsed.error_text());
    const json::Json& doc = *parsed;
    if (!doc.is_object()) return damaged("not a JSON object");
    SyncStatus status;
    auto id = doc.find("account");
    if (id == doc.end() || !id->is_string()) return damaged("no account");
    status.account = id->get<std::string>();
    auto state = doc.find("state");
    if (state == doc.end() || !state->is_string()) return damaged("no state");
    bool known = false;
    for (SyncState s : kStates) {
        if (sync_state_name(s) == state->get<std::string>()) {
            status.state = s;
            known = true;
        }
    }
    if (!known) return damaged("unknown state " + state->dump());
    if (auto error = doc.find("error"); error != doc.end() && error->is_string()) status.error = error->get<std::string>();
    if (auto at = doc.find("updated_at"); at != doc.end() && at->is_number_integer()) status.updated_at = at->get<std::int64_t>();
    if (auto at = doc.find("last_success_at"); at != doc.end() && at->is_number_integer()) {
        status.last_success_at = at->get<std::int64_t>();
    }
    return std::optional<SyncStatus>(std::move(status));
}

AccountSyncReporter::AccountSyncReporter(AccountId account, std::filesystem::path root)
    : account_(std::move(account)), root_(std::move(root)) {}

Status AccountSyncReporter::started() const { return report(SyncState::Started, {}); }
Status AccountSyncReporter::succeeded() const { return report(SyncState::Succeeded, {}); }
Status AccountSyncReporter::offline() const { return report(SyncState::Offline, {}); }
Status AccountSyncReporter::needs_authentication() const { return report(SyncState::NeedsAuthentication, {}); }
Status AccountSyncReporter::failed(std::string_view text) const { return report(SyncState::Failed, text); }

Status AccountSyncReporter::report(SyncState state, std::string_view error) const {
    if (is_blank(account_)) return {};
    if (root_.empty()) return make_error("no configuration directory for the sync status");
    std::int64_t now = now_seconds();
    // The previous record only carries the time of the last success; a damaged one is replaced.
    std::optional<std::int64_t> last_success;
    if (auto previous = read_sync_status(root_, account_); previous.ok() && previous->has_value()) {
        last_success = (*previous)->last_success_at;
    }
    if (state == SyncState::Succeeded) last_success = now;

    json::OrderedJson doc;
    doc["account"] = account_;
    doc["state"] = sync_state_name(state);
    if (state == SyncState::Failed) doc["error"] = error;
    doc["updated_at"] = now;
    if (last_success) doc["last_success_at"] = *last_success;
    // Server error texts may carry stray bytes; the status is informational, so replace them.
    std::string text = doc.dump(-1, ' ', false, json::OrderedJson::error_handler_t::replace) + "\n";
    return write_file_atomic(status_file(root_, account_), text, 0600);
}

}  // namespace mail::services
