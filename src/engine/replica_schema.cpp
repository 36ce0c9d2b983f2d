#include "engine/replica_schema.h"

#include <algorithm>
#include <array>
#include <unordered_set>

#include "core/folder_role.h"
#include "core/text_case.h"
#include "platform/base/utf8.h"

namespace mail::engine {
namespace {

using persist::MapView;
using persist::Transaction;

using utf8::decode;

void append_replacement(std::string& out) { out.append("\xef\xbf\xbd"); }

bool is_control(char32_t cp) { return cp <= 0x1f || (cp >= 0x7f && cp <= 0x9f); }

std::string clean(std::string_view text, std::size_t limit, bool keep_line_breaks) {
    std::string_view trimmed = trim_white_space(text);
    std::string out;
    out.reserve(std::min(trimmed.size(), limit * 4));
    std::size_t kept = 0;
    std::size_t at = 0;
    while (at < trimmed.size() && kept < limit) {
        char32_t cp = 0;
        std::size_t len = decode(trimmed, at, cp);
        if (len == 0) {
            append_replacement(out);
            ++kept;
            at += 1;
            continue;
        }
        bool line_break = cp == '\t' || cp == '\n' || cp == '\r';
        if (!is_control(cp) || (keep_line_breaks && line_break)) {
            out.append(trimmed.substr(at, len));
            ++kept;
        }
        at += len;
    }
    return out;
}

// The hyphenated lower-case form without an allocation: the projection does this per message.
class IdText {
public:
    explicit IdText(const StableId& id) {
        static constexpr char hex[] = "0123456789abcdef";
        std::size_t at = 0;
        for (std::size_t i = 0; i < 16; ++i) {
            if (i == 4 || i == 6 || i == 8 || i == 10) chars_[at++] = '-';
            chars_[at++] = hex[id.bytes[i] >> 4];
            chars_[at++] = hex[id.bytes[i] & 0xf];
        }
    }
    std::string_view view() const { return {chars_.data(), chars_.size()}; }

private:
    std::array<char, 36> chars_{};
};

bool present_in(const std::optional<MapView>& messages, const std::optional<MapView>& flags, std::string_view id) {
    if (messages) {
        if (auto entry = messages->get_map(id)) {
            return entry->get_bool("present") == true && entry->get_bool("purged") != true;
        }
    }
    return flags && flags->kind(id) == persist::Kind::Map;
}

bool labels_equal(const std::vector<std::string>& local, const std::vector<std::string_view>& stored) {
    if (local.size() != stored.size()) return false;
    for (std::size_t i = 0; i < local.size(); ++i)
        if (local[i] != stored[i]) return false;
    return true;
}

// The document's decisions about one message, written onto its record.
// The record is compared first so that an unchanged message costs no lookups in the mailbox.
bool apply_flags(const MapView& flags_entry, const MailMessage& message, Mailbox& mailbox) {
    const StableId id = message.id;
    bool changed = false;
    if (auto read = flags_entry.get_bool("read"); read && *read != message.seen)
        changed |= mailbox.set_seen(id, *read);
    if (auto starred = flags_entry.get_bool("starred"); starred && *starred != message.flagged)
        changed |= mailbox.set_flagged(id, *starred);
    if (auto folder = flags_entry.get_text("folder")) {
        if (auto role = parse_folder_role(*folder); role && *role != message.folder)
            changed |= mailbox.set_folder(id, *role);
    }
    if (auto labels = flags_entry.get_list("labels")) {
        // First occurrences: two replicas adding the same label apart leave two elements.
        std::vector<std::string_view> stored;
        for (std::string_view text : labels->texts())
            if (std::find(stored.begin(), stored.end(), text) == stored.end()) stored.push_back(text);
        if (!labels_equal(message.labels, stored)) {
            mailbox.update(id, [&](MailMessage& m) { m.labels.assign(stored.begin(), stored.end()); });
            changed = true;
        }
    }
    return changed;
}

bool is_purged(const std::optional<MapView>& messages, std::string_view id) {
    if (!messages) return false;
    auto entry = messages->get_map(id);
    return entry && entry->get_bool("purged") == true;
}

// One message of the mailbox brought in line with the document; false when it was already.
bool project_one(const std::optional<MapView>& flags, const std::optional<MapView>& messages,
                 const MailMessage& message, std::string_view text, Mailbox& mailbox) {
    if (is_purged(messages, text)) return mailbox.remove(message.id).has_value();
    if (!flags) return false;
    auto entry = flags->get_map(text);
    return entry ? apply_flags(*entry, message, mailbox) : false;
}

Status seed_all(persist::Document& doc, const MailMessage* messages, std::size_t count) {
    return doc.change([&](Transaction& tx) {
        MapView root = tx.root();
        std::optional<MapView> message_map = root.get_map(kMessagesKey);
        std::optional<MapView> flag_map = root.get_map(kFlagsKey);
        for (std::size_t i = 0; i < count; ++i) {
            const MailMessage& message = messages[i];
            IdText id(message.id);

            if (!message_map) message_map = tx.ensure_map(tx.root(), kMessagesKey);
            std::optional<MapView> entry = message_map->get_map(id.view());
            bool purged = entry && entry->get_bool("purged") == true;
            bool present = entry && entry->get_bool("present") == true;
            if (!purged && !present) {
                if (!entry) entry = tx.ensure_map(*message_map, id.view());
                tx.put_bool(*entry, "present", true);
            }

            std::optional<MapView> flags = flag_map ? flag_map->get_map(id.view()) : std::nullopt;
            bool need_read = !flags || !flags->get_bool("read");
            bool need_starred = !flags || !flags->get_bool("starred");
            bool need_folder = !flags || !flags->get_text("folder");
            if (!need_read && !need_starred && !need_folder) continue;
            if (!flag_map) flag_map = tx.ensure_map(tx.root(), kFlagsKey);
            if (!flags) flags = tx.ensure_map(*flag_map, id.view());
            if (need_read) tx.put_bool(*flags, "read", message.seen);
            if (need_starred) tx.put_bool(*flags, "starred", message.flagged);
            if (need_folder) tx.put_text(*flags, "folder", folder_identifier(message.folder));
        }
        return Status{};
    });
}

constexpr std::string_view kDraftKeys[] = {"to", "cc", "bcc", "subject", "body", "html_body", "calendar_ics",
                                           "attachments"};

}  // namespace

std::vector<std::string> clean_id_list(const std::vector<std::string>& ids) {
    std::vector<std::string> kept;
    std::unordered_set<std::string_view> seen;
    kept.reserve(std::min(ids.size(), kMaxActionIds));
    for (const std::string& raw : ids) {
        if (kept.size() == kMaxActionIds) break;
        std::string_view id = trim_white_space(raw);
        if (id.empty() || char_count(id) > kMaxIdChars || seen.count(id)) continue;
        seen.insert(id);  // views into ids, which outlive the walk
        kept.emplace_back(id);
    }
    return kept;
}

std::string clean_single_line(std::string_view text, std::size_t limit) { return clean(text, limit, false); }

std::string clean_multi_line(std::string_view text, std::size_t limit) { return clean(text, limit, true); }

std::size_t char_count(std::string_view text) {
    std::size_t count = 0;
    for (std::size_t at = 0; at < text.size(); ++count) {
        char32_t cp = 0;
        std::size_t len = decode(text, at, cp);
        at += len == 0 ? 1 : len;
    }
    return count;
}

bool message_is_present(const MapView& root, std::string_view id) {
    return present_in(root.get_map(kMessagesKey), root.get_map(kFlagsKey), id);
}

Status seed_message(persist::Document& doc, const MailMessage& message) { return seed_all(doc, &message, 1); }

Status seed_messages(persist::Document& doc, const std::vector<MailMessage>& messages) {
    if (messages.empty()) return {};
    return seed_all(doc, messages.data(), messages.size());
}

bool project_onto(const persist::Document& doc, Mailbox& mailbox) {
    MapView root = doc.root();
    std::optional<MapView> flags = root.get_map(kFlagsKey);
    std::optional<MapView> messages = root.get_map(kMessagesKey);
    if (!flags && !messages) return false;

    bool changed = false;
    std::vector<StableId> purged;
    for (const MailMessage* message : mailbox.ordered_messages()) {
        IdText id(message->id);
        if (is_purged(messages, id.view())) {
            purged.push_back(message->id);
        } else if (flags) {
            if (auto entry = flags->get_map(id.view())) changed |= apply_flags(*entry, *message, mailbox);
        }
    }
    for (const StableId& id : purged) changed |= mailbox.remove(id).has_value();
    return changed;
}

bool ReplicaProjection::project(const persist::Document& doc, Mailbox& mailbox) {
    bool same_document = projected_ && doc.replica_id() == replica_;
    // Local flag and folder changes were recorded in the document as actions, so only new,
    // replaced or removed records need every record looked at again.
    if (same_document && doc.generation() == generation_ && mailbox.records_revision() == records_revision_)
        return false;

    bool changed = false;
    bool full = !same_document || mailbox.records_revision() != records_revision_;
    if (!full) {
        MapView root = doc.root();
        std::optional<MapView> flags = root.get_map(kFlagsKey);
        std::optional<MapView> messages = root.get_map(kMessagesKey);
        std::vector<std::string_view> ids;
        for (const auto& map : {flags, messages}) {
            if (!map) continue;
            MapView::Changes changes = map->changes_since(generation_);
            if (changes.everything) {
                full = true;
                break;
            }
            ids.insert(ids.end(), changes.keys.begin(), changes.keys.end());
        }
        // A root key replaced by another kind hides its entries; locals keep their values then.
        if (!full) {
            std::sort(ids.begin(), ids.end());
            ids.erase(std::unique(ids.begin(), ids.end()), ids.end());
            for (std::string_view text : ids) {
                auto id = Uuid::parse(text);
                const MailMessage* message = id ? mailbox.find(*id) : nullptr;
                if (!message) continue;
                changed |= project_one(flags, messages, *message, text, mailbox);
            }
        }
    }
    if (full) changed = project_onto(doc, mailbox);

    projected_ = true;
    replica_ = doc.replica_id();
    generation_ = doc.generation();
    records_revision_ = mailbox.records_revision();
    return changed;
}

DraftData read_stored_draft(const persist::Document& doc) { return read_stored_draft(doc.root()); }

DraftData read_stored_draft(const MapView& root) {
    DraftData draft;
    auto stored = root.get_map(kDraftKey);
    if (!stored) return draft;
    auto text = [&](std::string_view key) { return std::string(stored->get_text(key).value_or("")); };
    draft.to = text("to");
    draft.cc = text("cc");
    draft.bcc = text("bcc");
    draft.subject = text("subject");
    draft.body = text("body");
    if (auto html = stored->get_text("html_body")) draft.html_body = std::string(*html);
    if (auto ics = stored->get_text("calendar_ics"); ics && is_bounded_invitation(*ics))
        draft.calendar_ics = std::string(*ics);
    if (auto attachments = stored->get_text("attachments")) {
        auto list = read_attachments_json(*attachments);
        if (list.ok()) draft.attachments = normalise_attachments(*list);
    }
    return draft;
}

void write_stored_draft(Transaction& tx, const DraftData& raw) {
    DraftData draft = normalise_draft(raw);
    MapView stored = tx.ensure_map(tx.root(), kDraftKey);
    tx.put_text(stored, "to", draft.to);
    tx.put_text(stored, "cc", draft.cc);
    tx.put_text(stored, "bcc", draft.bcc);
    tx.put_text(stored, "subject", draft.subject);
    tx.put_text(stored, "body", draft.body);
    if (draft.html_body) tx.put_text(stored, "html_body", *draft.html_body);
    else tx.remove(stored, "html_body");
    if (draft.calendar_ics) tx.put_text(stored, "calendar_ics", *draft.calendar_ics);
    else tx.remove(stored, "calendar_ics");
    tx.put_text(stored, "attachments", write_attachments_json(draft.attachments));
}

void discard_stored_draft(Transaction& tx) {
    auto stored = tx.root().get_map(kDraftKey);
    if (!stored) return;
    for (std::string_view key : kDraftKeys) tx.remove(*stored, key);
}

std::vector<UserFolder> list_user_folders(const persist::Document& doc) {
    std::vector<UserFolder> out;
    auto folders = doc.root().get_map(kFoldersKey);
    if (!folders) return out;
    for (std::string_view id : folders->keys()) {
        if (auto name = folders->get_text(id)) out.push_back(UserFolder{std::string(id), std::string(*name)});
    }
    return out;
}

}  // namespace mail::engine
