#pragma once
// The one record of state that MailApp and its three panes share, with the operations the
// panes call. UI thread only.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/conversations.h"
#include "core/folder_role.h"
#include "core/mail_action.h"
#include "core/mail_account.h"
#include "core/mailbox.h"
#include "core/pane_command.h"

namespace mail {

namespace ui {
class ImageStore;
}


class MailState {
public:
    MailState() = default;
    // The mailbox is made for the selected account (the new-account defaults without one).
    MailState(std::vector<MailAccount> accounts, std::size_t selected_account, std::int64_t now);

    Mailbox mailbox;
    std::vector<MailAccount> accounts;
    std::size_t selected_account = 0;
    std::vector<StableId> bulk_selection;  // in the order chosen, no duplicates
    std::string search_query;              // blank means no search
    std::vector<PaneCommand> commands;
    std::optional<std::string> status;
    std::int64_t now = 0;  // minutes since the Unix epoch
    std::optional<StableId> selected;
    std::optional<StableId> previewing;
    FolderRole folder = FolderRole::Inbox;
    bool changed = false;
    bool bulk_mode = false;

    // Created by the launch code; the toolkit owns the type.
    std::shared_ptr<ui::ImageStore> image_store;
    // Local changes not yet recorded in the replica document: MailApp issues them, in order, at
    // its next sync, where it holds the document.
    std::vector<MailAction> pending_actions;

    // Queries: they change nothing, so drawing can call them freely.
    std::vector<const MailMessage*> folder_list(FolderRole role) const;
    std::vector<Conversation> conversations(FolderRole role) const;
    // Cached by (mailbox revision, folder, search query): repeated calls without a change cost
    // nothing. The reference stays valid until the next call after one of the three changed.
    const std::vector<VisibleRow>& visible_list() const;
    // Whether the search behind the visible list hit one of its limits.
    bool visible_list_truncated() const;
    std::vector<const MailMessage*> reader_conversation() const;
    const MailAccount* current_account() const;

    // Operations; each sets `changed`. Those taking an id do nothing and answer false when the
    // id is not in the mailbox.
    void select_folder(FolderRole role);
    void select_first();
    bool open(const StableId& id);
    bool preview(const StableId& id);
    void move_selection(std::ptrdiff_t delta);
    bool set_read(const StableId& id, bool read);
    // Flips the star, records it and queues the server update.
    bool toggle_star(const StableId& id);
    // The record moves to the role; the server move is queued with the record as it was.
    bool move_message(const StableId& id, FolderRole role);
    // Outside Trash a message moves to Trash; in Trash it is removed for good.
    bool delete_message(const StableId& id);
    bool toggle_bulk(const StableId& id);
    void insert_message(MailMessage message);
    void queue_command(PaneCommand command);
    // Empties `commands` and hands them over in order.
    std::vector<PaneCommand> take_commands();

private:
    bool show(const StableId& id, bool as_preview);

    struct ListCache {
        bool valid = false;
        std::uint64_t revision = 0;
        FolderRole folder = FolderRole::Inbox;
        std::string query;
        std::vector<VisibleRow> rows;
        bool truncated = false;
    };
    mutable ListCache list_cache_;
};

}  // namespace mail
