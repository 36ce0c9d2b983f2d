#pragma once
// The local message store. Every change goes through a member that takes the next number of
// one process-wide counter, so equal revisions always mean equal content; views cache on it.
#include <cstdint>
#include <optional>
#include <unordered_map>
#include <utility>
#include <vector>

#include "core/mail_message.h"
#include "core/stored_config.h"

namespace mail {

// The next number of the counter shared by every mailbox of the process; never repeats.
std::uint64_t next_mailbox_revision();

class Mailbox {
public:
    Mailbox();
    explicit Mailbox(StoredConfig account);
    Mailbox(const Mailbox& other);
    Mailbox& operator=(const Mailbox& other);
    Mailbox(Mailbox&&) noexcept = default;
    Mailbox& operator=(Mailbox&&) noexcept = default;

    // The account whose mail this is (the new-account defaults when there is none).
    StoredConfig account;

    // Ids in the order in which their messages first arrived; each occurs once.
    const std::vector<StableId>& order() const { return order_; }
    // The records in arrival order, parallel to order(): walks without a lookup per id.
    const std::vector<const MailMessage*>& ordered_messages() const { return ordered_; }
    const std::unordered_map<StableId, MailMessage>& messages() const { return messages_; }
    const MailMessage* find(const StableId& id) const;
    bool contains(const StableId& id) const { return messages_.count(id) != 0; }
    std::size_t size() const { return messages_.size(); }
    std::uint64_t revision() const { return revision_; }
    // The revision of the last change that added, replaced or removed a record, as opposed to
    // one of the setters below: a reader that keeps per-record state walks again only then.
    std::uint64_t records_revision() const { return records_revision_; }

    // Stores the record under its id, replacing one with the same id; a new id goes to the
    // end of the arrival order.
    void insert(MailMessage message);
    // Each returns whether the record exists and the value differed; only then is a new
    // revision taken.
    bool set_seen(const StableId& id, bool seen);
    bool set_flagged(const StableId& id, bool flagged);
    bool set_folder(const StableId& id, FolderRole folder);
    // For changes the setters above do not cover. Always takes a new revision when the record
    // exists; false when it does not.
    template <typename Change>
    bool update(const StableId& id, Change&& change) {
        auto it = messages_.find(id);
        if (it == messages_.end()) return false;
        std::forward<Change>(change)(it->second);
        it->second.id = id;  // the key and the record's id stay the same
        revision_ = next_mailbox_revision();
        records_revision_ = revision_;
        return true;
    }
    // Removes the record and its arrival entry; returns the removed record.
    std::optional<MailMessage> remove(const StableId& id);

private:
    void rebuild_ordered();

    std::vector<StableId> order_;
    std::unordered_map<StableId, MailMessage> messages_;
    std::vector<const MailMessage*> ordered_;  // into messages_' nodes, which never move
    std::uint64_t revision_;
    std::uint64_t records_revision_;
};

}  // namespace mail
