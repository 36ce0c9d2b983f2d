#include "core/conversations.h"

#include <algorithm>
#include <cstdint>
#include <unordered_map>

#include "core/text_case.h"

namespace mail {
namespace {

// normalize_message_id without the copy: a view into the original text, empty for none.
std::string_view normalized_view(std::string_view raw) {
    std::string_view text = trim_white_space(raw);
    while (!text.empty() && text.front() == '<') text.remove_prefix(1);
    while (!text.empty() && text.back() == '>') text.remove_suffix(1);
    return trim_white_space(text);
}

std::string_view normalized_view(const std::optional<std::string>& raw) {
    return raw ? normalized_view(std::string_view(*raw)) : std::string_view();
}

// The folder list with every member assigned to a conversation. Views point into the records.
struct Threading {
    std::vector<const MailMessage*> list;
    std::vector<std::uint32_t> conversation_of;  // per list position
    std::vector<std::uint32_t> roots;            // per conversation, a list position
    std::vector<std::uint32_t> sizes;            // per conversation
    std::vector<std::uint32_t> last_member;      // per conversation, the oldest member's position
};

Threading thread_view(const Mailbox& mailbox, FolderRole role) {
    Threading t;
    t.list = folder_list(mailbox, role);
    const std::size_t n = t.list.size();

    std::vector<std::string_view> own(n);
    // The first (newest) record with a Message-ID stands for every record that shares it.
    std::vector<std::uint32_t> canonical(n);
    std::unordered_map<std::string_view, std::uint32_t> by_message_id;
    by_message_id.reserve(n);
    for (std::uint32_t i = 0; i < n; ++i) {
        own[i] = normalized_view(t.list[i]->message_id);
        canonical[i] = own[i].empty() ? i : by_message_id.emplace(own[i], i).first->second;
    }
    constexpr std::uint32_t kNone = UINT32_MAX;
    std::vector<std::uint32_t> parent(n, kNone);
    for (std::size_t i = 0; i < n; ++i) {
        std::string_view target = normalized_view(t.list[i]->in_reply_to);
        if (target.empty()) continue;
        if (auto it = by_message_id.find(target); it != by_message_id.end()) parent[i] = it->second;
    }

    // Roots are memoised, so long reply chains are walked once.
    std::vector<std::uint32_t> root(n, kNone);
    std::vector<std::uint32_t> path_position(n, kNone);
    std::vector<std::uint32_t> path;
    for (std::uint32_t start = 0; start < n; ++start) {
        if (root[start] != kNone) continue;
        path.clear();
        std::uint32_t found = kNone;
        for (std::uint32_t at = start;;) {
            if (root[at] != kNone) {
                found = root[at];
                break;
            }
            if (path_position[at] != kNone) {
                // A cycle: root it at its newest member so every way into it agrees.
                found = *std::min_element(path.begin() + path_position[at], path.end());
                break;
            }
            path_position[at] = static_cast<std::uint32_t>(path.size());
            path.push_back(at);
            if (parent[at] == kNone) {
                found = at;
                break;
            }
            at = parent[at];
        }
        for (std::uint32_t i : path) {
            root[i] = found;
            path_position[i] = kNone;
        }
    }

    // Conversations share a key when their roots share a Message-ID, so they are grouped by the
    // root's canonical record. The list is newest first, so conversations are created in the
    // order of their newest member: already sorted.
    std::vector<std::uint32_t> conversation_of_root(n, kNone);
    t.conversation_of.resize(n);
    for (std::uint32_t i = 0; i < n; ++i) {
        std::uint32_t group = canonical[root[i]];
        std::uint32_t& c = conversation_of_root[group];
        if (c == kNone) {
            c = static_cast<std::uint32_t>(t.roots.size());
            t.roots.push_back(root[i]);
            t.sizes.push_back(0);
        }
        t.conversation_of[i] = c;
        ++t.sizes[c];
    }
    t.last_member.resize(t.roots.size());
    for (std::uint32_t i = 0; i < n; ++i) t.last_member[t.conversation_of[i]] = i;
    return t;
}

std::string key_of(const Threading& t, std::uint32_t conversation) {
    const MailMessage* root = t.list[t.roots[conversation]];
    std::string_view key = normalized_view(root->message_id);
    return key.empty() ? root->id.to_string() : std::string(key);
}

}  // namespace

std::vector<const MailMessage*> folder_list(const Mailbox& mailbox, FolderRole role) {
    struct Entry {
        std::int64_t date;
        std::uint32_t position;
        const MailMessage* message;
    };
    std::vector<Entry> entries;
    entries.reserve(mailbox.size());
    for (const MailMessage* message : mailbox.ordered_messages()) {
        bool keep = role == FolderRole::Starred ? message->flagged && message->folder != FolderRole::Trash
                                                : message->folder == role;
        if (keep) entries.push_back({message->date, static_cast<std::uint32_t>(entries.size()), message});
    }
    // Newest first; the arrival position breaks ties, which makes the sort stable.
    std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) {
        return a.date != b.date ? a.date > b.date : a.position < b.position;
    });
    std::vector<const MailMessage*> list;
    list.reserve(entries.size());
    for (const Entry& e : entries) list.push_back(e.message);
    return list;
}

std::vector<Conversation> conversations(const Mailbox& mailbox, FolderRole role) {
    Threading t = thread_view(mailbox, role);
    std::vector<Conversation> result(t.roots.size());
    for (std::uint32_t c = 0; c < result.size(); ++c) {
        result[c].key = key_of(t, c);
        result[c].ids.reserve(t.sizes[c]);
    }
    for (std::size_t i = 0; i < t.list.size(); ++i) result[t.conversation_of[i]].ids.push_back(t.list[i]->id);
    return result;
}

std::vector<VisibleRow> conversation_rows(const Mailbox& mailbox, FolderRole role) {
    Threading t = thread_view(mailbox, role);
    std::vector<VisibleRow> rows;
    rows.reserve(t.roots.size());
    for (std::size_t c = 0; c < t.roots.size(); ++c) rows.push_back(VisibleRow{t.list[t.last_member[c]]->id, t.sizes[c]});
    return rows;
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
    for (const MailMessage* message : mailbox.ordered_messages()) {
        if (message->folder == chosen->folder && subject_key(message->subject) == key)
            members.push_back(message);
    }
    std::stable_sort(members.begin(), members.end(),
                     [](const MailMessage* a, const MailMessage* b) { return a->date < b->date; });
    return members;
}

}  // namespace mail
