#include "core/mail_state.h"

#include <algorithm>
#include <unordered_map>

#include "core/list_search.h"
#include "core/text_case.h"

namespace mail {

MailState::MailState(std::vector<MailAccount> accounts_in, std::size_t selected, std::int64_t now_minutes)
    : accounts(std::move(accounts_in)), selected_account(selected), now(now_minutes) {
    if (const MailAccount* account = current_account()) mailbox.account = account->config;
}

std::vector<const MailMessage*> MailState::folder_list(FolderRole role) const {
    return mail::folder_list(mailbox, role);
}

std::vector<Conversation> MailState::conversations(FolderRole role) const {
    return mail::conversations(mailbox, role);
}

const std::vector<VisibleRow>& MailState::visible_list() const {
    ListCache& cache = list_cache_;
    if (cache.valid && cache.revision == mailbox.revision() && cache.folder == folder && cache.query == search_query)
        return cache.rows;

    cache.rows.clear();
    cache.truncated = false;
    if (trim_white_space(search_query).empty()) {
        cache.rows = conversation_rows(mailbox, folder);
    } else {
        ListSearchResult found = list_search(mailbox, search_query, std::nullopt);
        cache.truncated = found.truncated;
        for (const MailMessage* message : found.matches) cache.rows.push_back(VisibleRow{message->id, 1});
    }
    cache.valid = true;
    cache.revision = mailbox.revision();
    cache.folder = folder;
    cache.query = search_query;
    return cache.rows;
}

bool MailState::visible_list_truncated() const {
    visible_list();
    return list_cache_.truncated;
}

std::vector<const MailMessage*> MailState::reader_conversation() const {
    if (!selected) return {};
    return mail::reader_conversation(mailbox, *selected);
}

const MailAccount* MailState::current_account() const {
    return selected_account < accounts.size() ? &accounts[selected_account] : nullptr;
}

void MailState::select_folder(FolderRole role) {
    folder = role;
    search_query.clear();
    select_first();
    if (const MailAccount* account = current_account())
        queue_command(command::Engine{RefreshFolder(account->config, role)});
}

void MailState::select_first() {
    std::vector<Conversation> list = conversations(folder);
    if (list.empty())
        selected.reset();
    else
        selected = list.front().ids.back();
    changed = true;
}

bool MailState::show(const StableId& id, bool as_preview) {
    const MailMessage* message = mailbox.find(id);
    if (!message) return false;
    folder = message->folder;
    search_query.clear();
    selected = id;
    if (as_preview) {
        previewing = id;
    } else {
        previewing.reset();
        if (!message->seen) set_read(id, true);
    }
    queue_command(command::ShowReadingPane{});
    changed = true;
    return true;
}

bool MailState::open(const StableId& id) { return show(id, false); }

bool MailState::preview(const StableId& id) { return show(id, true); }

void MailState::move_selection(std::ptrdiff_t delta) {
    const std::vector<VisibleRow>& rows = visible_list();
    if (rows.empty()) return;

    std::size_t position = 0;
    if (selected) {
        auto exact = std::find_if(rows.begin(), rows.end(), [&](const VisibleRow& row) { return row.id == *selected; });
        if (exact != rows.end()) {
            position = static_cast<std::size_t>(exact - rows.begin());
        } else {
            // The selection may be a newer member of a conversation the list shows by its oldest.
            std::unordered_map<StableId, const std::string*> key_of;
            std::vector<Conversation> threads = conversations(folder);
            for (const Conversation& conversation : threads)
                for (const StableId& member : conversation.ids) key_of.emplace(member, &conversation.key);
            auto selected_key = key_of.find(*selected);
            if (selected_key != key_of.end()) {
                for (std::size_t i = 0; i < rows.size(); ++i) {
                    auto row_key = key_of.find(rows[i].id);
                    if (row_key != key_of.end() && *row_key->second == *selected_key->second) {
                        position = i;
                        break;
                    }
                }
            }
        }
    }
    const auto last = static_cast<std::int64_t>(rows.size()) - 1;
    std::int64_t target = static_cast<std::int64_t>(position);
    // Clamp before adding so a huge delta cannot overflow.
    target = std::clamp<std::int64_t>(static_cast<std::int64_t>(delta), -last - 1, last + 1) + target;
    target = std::clamp<std::int64_t>(target, 0, last);
    selected = rows[static_cast<std::size_t>(target)].id;
    changed = true;
}

bool MailState::set_read(const StableId& id, bool read) {
    if (!mailbox.contains(id)) return false;
    mailbox.set_seen(id, read);
    pending_actions.push_back(MailAction::SetRead{{id.to_string()}, read});
    if (current_account()) queue_command(command::Engine{SyncFlags(mailbox.account, *mailbox.find(id))});
    changed = true;
    return true;
}

bool MailState::toggle_star(const StableId& id) {
    const MailMessage* message = mailbox.find(id);
    if (!message) return false;
    const bool starred = !message->flagged;
    mailbox.set_flagged(id, starred);
    pending_actions.push_back(MailAction::SetStarred{{id.to_string()}, starred});
    if (current_account()) queue_command(command::Engine{SyncFlags(mailbox.account, *mailbox.find(id))});
    changed = true;
    return true;
}

bool MailState::move_message(const StableId& id, FolderRole role) {
    const MailMessage* message = mailbox.find(id);
    if (!message) return false;
    MailMessage before = *message;  // the server still has it in the old folder
    const bool was_selected = selected == id;
    mailbox.set_folder(id, role);
    pending_actions.push_back(MailAction::Move{{id.to_string()}, std::string(folder_identifier(role))});
    if (current_account()) queue_command(command::Engine{MoveMessage(mailbox.account, std::move(before), role)});
    select_first();
    // A narrow layout showing the moved message goes back to the list.
    if (was_selected) queue_command(command::ShowList{});
    changed = true;
    return true;
}

bool MailState::delete_message(const StableId& id) {
    const MailMessage* message = mailbox.find(id);
    if (!message) return false;
    if (message->folder != FolderRole::Trash) return move_message(id, FolderRole::Trash);
    std::optional<MailMessage> removed = mailbox.remove(id);
    bulk_selection.erase(std::remove(bulk_selection.begin(), bulk_selection.end(), id), bulk_selection.end());
    pending_actions.push_back(MailAction::Purge{{id.to_string()}});
    if (current_account()) queue_command(command::Engine{PurgeMessage(mailbox.account, std::move(*removed))});
    if (selected == id) select_first();
    changed = true;
    return true;
}

bool MailState::toggle_bulk(const StableId& id) {
    if (!mailbox.contains(id)) return false;
    bulk_mode = true;
    auto at = std::find(bulk_selection.begin(), bulk_selection.end(), id);
    if (at != bulk_selection.end())
        bulk_selection.erase(at);
    else
        bulk_selection.push_back(id);
    changed = true;
    return true;
}

void MailState::insert_message(MailMessage message) {
    mailbox.insert(std::move(message));
    changed = true;
}

void MailState::queue_command(PaneCommand command) {
    commands.push_back(std::move(command));
    changed = true;
}

std::vector<PaneCommand> MailState::take_commands() {
    std::vector<PaneCommand> out;
    out.swap(commands);
    return out;
}

}  // namespace mail
