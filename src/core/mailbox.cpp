#include "core/mailbox.h"

#include <algorithm>
#include <atomic>

namespace mail {

std::uint64_t next_mailbox_revision() {
    static std::atomic<std::uint64_t> counter{0};
    return counter.fetch_add(1, std::memory_order_relaxed) + 1;
}

Mailbox::Mailbox() : revision_(next_mailbox_revision()) {}

Mailbox::Mailbox(StoredConfig account) : account(std::move(account)), revision_(next_mailbox_revision()) {}

const MailMessage* Mailbox::find(const StableId& id) const {
    auto it = messages_.find(id);
    return it == messages_.end() ? nullptr : &it->second;
}

void Mailbox::insert(MailMessage message) {
    StableId id = message.id;
    auto [it, inserted] = messages_.insert_or_assign(id, std::move(message));
    if (inserted) order_.push_back(id);
    revision_ = next_mailbox_revision();
}

bool Mailbox::set_seen(const StableId& id, bool seen) {
    auto it = messages_.find(id);
    if (it == messages_.end() || it->second.seen == seen) return false;
    it->second.seen = seen;
    revision_ = next_mailbox_revision();
    return true;
}

bool Mailbox::set_flagged(const StableId& id, bool flagged) {
    auto it = messages_.find(id);
    if (it == messages_.end() || it->second.flagged == flagged) return false;
    it->second.flagged = flagged;
    revision_ = next_mailbox_revision();
    return true;
}

bool Mailbox::set_folder(const StableId& id, FolderRole folder) {
    auto it = messages_.find(id);
    if (it == messages_.end() || it->second.folder == folder) return false;
    it->second.folder = folder;
    revision_ = next_mailbox_revision();
    return true;
}

std::optional<MailMessage> Mailbox::remove(const StableId& id) {
    auto it = messages_.find(id);
    if (it == messages_.end()) return std::nullopt;
    MailMessage removed = std::move(it->second);
    messages_.erase(it);
    if (auto at = std::find(order_.begin(), order_.end(), id); at != order_.end()) order_.erase(at);
    revision_ = next_mailbox_revision();
    return removed;
}

}  // namespace mail
