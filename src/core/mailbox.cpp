#include "core/mailbox.h"

#include <algorithm>
#include <atomic>

namespace mail {

std::uint64_t next_mailbox_revision() {
    static std::atomic<std::uint64_t> counter{0};
    return counter.fetch_add(1, std::memory_order_relaxed) + 1;
}

Mailbox::Mailbox() : revision_(next_mailbox_revision()), records_revision_(revision_) {}

Mailbox::Mailbox(StoredConfig account)
    : account(std::move(account)), revision_(next_mailbox_revision()), records_revision_(revision_) {}

Mailbox::Mailbox(const Mailbox& other)
    : account(other.account),
      order_(other.order_),
      messages_(other.messages_),
      revision_(other.revision_),
      records_revision_(other.records_revision_) {
    rebuild_ordered();
}

Mailbox& Mailbox::operator=(const Mailbox& other) {
    if (this != &other) {
        account = other.account;
        order_ = other.order_;
        messages_ = other.messages_;
        revision_ = other.revision_;
        records_revision_ = other.records_revision_;
        rebuild_ordered();
    }
    return *this;
}

void Mailbox::rebuild_ordered() {
    ordered_.clear();
    ordered_.reserve(order_.size());
    for (const StableId& id : order_) ordered_.push_back(&messages_.at(id));
}

const MailMessage* Mailbox::find(const StableId& id) const {
    auto it = messages_.find(id);
    return it == messages_.end() ? nullptr : &it->second;
}

void Mailbox::insert(MailMessage message) {
    StableId id = message.id;
    auto [it, inserted] = messages_.insert_or_assign(id, std::move(message));
    if (inserted) {
        order_.push_back(id);
        ordered_.push_back(&it->second);
    }
    revision_ = next_mailbox_revision();
    records_revision_ = revision_;
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
    if (auto at = std::find(order_.begin(), order_.end(), id); at != order_.end()) {
        ordered_.erase(ordered_.begin() + (at - order_.begin()));
        order_.erase(at);
    }
    revision_ = next_mailbox_revision();
    records_revision_ = revision_;
    return removed;
}

}  // namespace mail
