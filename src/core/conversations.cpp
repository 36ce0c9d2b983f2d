#include "core/conversations.h"

#include <algorithm>
#include <unordered_map>

#include "core/text_case.h"

namespace mail {

std::vector<const MailMessage*> folder_list(const Mailbox& mailbox, FolderRole role) {
    std::vector<const MailMessage*> list;
    for (const StableId& id : mailbox.order()) {
        const MailMessage* message = mailbox.find(id);
        if (!message) continue;
        bool keep = role == FolderRole::Starred ? message->flagged && message->folder != FolderRole::Trash
                                                : message->folder == role;
        if (keep) list.push_back(message);
    }
    std::stable_sort(list.begin(), list.end(),
                     [](const MailMessage* a, const MailMessage* b) { return a->date > b->date; });
    return list;
}

std::vector<Conversation> conversations(const Mailbox& mailbox, FolderRole role) {
    std::vector<const MailMessage*> list = folder_list(mailbox, role);
    const std::size_t n = list.size();

    std::vector<std::optional<std::string>> normalized(n);
    std::unordered_map<std::string_view, std::size_t> by_message_id;
    by_message_id.reserve(n);
    for (std::size_t i = 0; i < n; ++i) {
        if (list[i]->message_id) normalized[i] = normalize_message_id(*list[i]->message_id);
        if (normalized[i]) by_message_id.emplace(*normalized[i], i);  // the newest of duplicates wins
    }
    auto parent_of = [&](std::size_t i) -> std::optional<std::size_t> {
        if (!list[i]->in_reply_to) return std::nullopt;
        auto parent = normalize_message_id(*list[i]->in_reply_to);
        if (!parent) return std::nullopt;
        auto it = by_message_id.find(*parent);
        if (it == by_message_id.end()) return std::nullopt;
        return it->second;
    };

    // Roots are memoised, so long reply chains are walked once.
    constexpr std::size_t kUnknown = static_cast<std::size_t>(-1);
    std::vector<std::size_t> root(n, kUnknown);
    std::vector<std::size_t> path_position(n, kUnknown);
    std::vector<std::size_t> path;
    for (std::size_t start = 0; start < n; ++start) {
        if (root[start] != kUnknown) continue;
        path.clear();
        std::size_t found = kUnknown;
        std::size_t at = start;
        while (true) {
            if (root[at] != kUnknown) {
                found = root[at];
                break;
            }
            if (path_position[at] != kUnknown) {
                // A cycle: root it at its newest member so every entry point agrees.
                found = *std::min_element(path.begin() + static_cast<std::ptrdiff_t>(path_position[at]), path.end());
                break;
            }
            path_position[at] = path.size();
            path.push_back(at);
            auto parent = parent_of(at);
            if (!parent) {
                found = at;
                break;
            }
            at = *parent;
        }
        for (std::size_t i : path) {
            root[i] = found;
            path_position[i] = kUnknown;
        }
    }

    std::vector<Conversation> result;
    std::vector<std::int64_t> newest;
    std::unordered_map<std::string, std::size_t> by_key;
    for (std::size_t i = 0; i < n; ++i) {
        std::size_t r = root[i];
        std::string key = normalized[r] ? *normalized[r] : list[r]->id.to_string();
        auto [it, created] = by_key.emplace(std::move(key), result.size());
        if (created) {
            result.push_back(Conversation{it->first, {}});
            newest.push_back(list[i]->date);
        }
        result[it->second].ids.push_back(list[i]->id);
        newest[it->second] = std::max(newest[it->second], list[i]->date);
    }

    // The list is newest first, so this is normally already in order; the stable sort keeps
    // creation order among equal dates.
    std::vector<std::size_t> index(result.size());
    for (std::size_t i = 0; i < index.size(); ++i) index[i] = i;
    std::stable_sort(index.begin(), index.end(), [&](std::size_t a, std::size_t b) { return newest[a] > newest[b]; });
    std::vector<Conversation> ordered;
    ordered.reserve(result.size());
    for (std::size_t i : index) ordered.push_back(std::move(result[i]));
    return ordered;
}

std::string_view subject_key(std::string_view subject) {
    std::string_view key = trim_white_space(subject);
    static constexpr std::string_view kPrefixes[] = {"re:", "fwd:", "fw:"};
    bool stripped = true;
    while (stripped) {
        stripped = false;
        for (std::string_view prefix : kPrefixes) {
            if (starts_with_ascii_ci(key, prefix)) {
                key = trim_white_space_start(key.substr(prefix.size()));
                stripped = true;
                break;
            }
        }
    }
    return key;
}

std::vector<const MailMessage*> reader_conversation(const Mailbox& mailbox, const StableId& selected) {
    std::vector<const MailMessage*> members;
    const MailMessage* chosen = mailbox.find(selected);
    if (!chosen) return members;
    std::string_view key = subject_key(chosen->subject);
    for (const StableId& id : mailbox.order()) {
        const MailMessage* message = mailbox.find(id);
        if (message && message->folder == chosen->folder && subject_key(message->subject) == key)
            members.push_back(message);
    }
    std::stable_sort(members.begin(), members.end(),
                     [](const MailMessage* a, const MailMessage* b) { return a->date < b->date; });
    return members;
}

}  // namespace mail
