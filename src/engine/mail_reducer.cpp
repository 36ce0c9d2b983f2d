#include "engine/mail_reducer.h"

#include <algorithm>

#include "core/folder_role.h"
#include "engine/replica_schema.h"

namespace mail::engine {
namespace {

using persist::MapView;
using persist::Transaction;

// The flags entry of each present id, made on the spot where missing.
template <typename Write>
Status for_each_present(persist::Document& doc, const std::vector<std::string>& raw_ids, Write&& write) {
    std::vector<std::string> ids = clean_id_list(raw_ids);
    return doc.change([&](Transaction& tx) {
        for (const std::string& id : ids) {
            if (!message_is_present(tx.root(), id)) continue;
            MapView flags = tx.ensure_map(tx.ensure_map(tx.root(), kFlagsKey), id);
            write(tx, flags);
        }
        return Status{};
    });
}

Status purge(persist::Document& doc, const std::vector<std::string>& raw_ids) {
    std::vector<std::string> ids = clean_id_list(raw_ids);
    return doc.change([&](Transaction& tx) -> Status {
        if (ids.empty()) return make_error(std::string(kPurgeRefusal));
        // Every id is checked before anything is written: all or nothing.
        MapView root = tx.root();
        auto flags = root.get_map(kFlagsKey);
        for (const std::string& id : ids) {
            if (!message_is_present(root, id)) return make_error(std::string(kPurgeRefusal));
            auto entry = flags ? flags->get_map(id) : std::nullopt;
            if (!entry || entry->get_text("folder") != "trash") return make_error(std::string(kPurgeRefusal));
        }
        for (const std::string& id : ids) {
            MapView entry = tx.ensure_map(tx.ensure_map(tx.root(), kMessagesKey), id);
            tx.put_bool(entry, "purged", true);
            tx.put_bool(entry, "present", false);
        }
        return Status{};
    });
}

bool folder_id_fits(std::string_view id) { return !id.empty() && char_count(id) <= kMaxIdChars; }

}  // namespace

Status apply_action(persist::Document& doc, const MailAction& action) {
    return std::visit(
        [&](const auto& a) -> Status {
            using T = std::decay_t<decltype(a)>;
            if constexpr (std::is_same_v<T, MailAction::SetRead>) {
                return for_each_present(doc, a.ids, [&](Transaction& tx, const MapView& f) {
                    tx.put_bool(f, "read", a.read);
                });
            } else if constexpr (std::is_same_v<T, MailAction::SetStarred>) {
                return for_each_present(doc, a.ids, [&](Transaction& tx, const MapView& f) {
                    tx.put_bool(f, "starred", a.starred);
                });
            } else if constexpr (std::is_same_v<T, MailAction::Move>) {
                if (!parse_folder_role(a.folder)) return {};
                return for_each_present(doc, a.ids, [&](Transaction& tx, const MapView& f) {
                    tx.put_text(f, "folder", a.folder);
                });
            } else if constexpr (std::is_same_v<T, MailAction::Purge>) {
                return purge(doc, a.ids);
            } else if constexpr (std::is_same_v<T, MailAction::AddLabel>) {
                std::string label = clean_single_line(a.label, kMaxLabelChars);
                if (label.empty()) return {};
                return for_each_present(doc, a.ids, [&](Transaction& tx, const MapView& f) {
                    persist::ListView labels = tx.ensure_list(f, "labels");
                    std::vector<std::string_view> texts = labels.texts();
                    if (std::find(texts.begin(), texts.end(), label) == texts.end()) tx.push_text(labels, label);
                });
            } else if constexpr (std::is_same_v<T, MailAction::RemoveLabel>) {
                std::string label = clean_single_line(a.label, kMaxLabelChars);
                if (label.empty()) return {};
                return for_each_present(doc, a.ids, [&](Transaction& tx, const MapView& f) {
                    auto labels = f.get_list("labels");
                    if (!labels) return;
                    // Every copy goes: replicas that added the label apart each left one.
                    for (std::size_t i = 0; i < labels->size(); ++i) {
                        persist::Scalar element = labels->at(i);
                        if (element.kind == persist::Kind::Text && element.text == label) tx.remove_at(*labels, i);
                    }
                });
            } else if constexpr (std::is_same_v<T, MailAction::CreateFolder> ||
                                 std::is_same_v<T, MailAction::RenameFolder>) {
                std::string name = clean_single_line(a.name, kMaxFolderNameChars);
                if (name.empty() || !folder_id_fits(a.id)) return {};
                return doc.change([&](Transaction& tx) {
                    if constexpr (std::is_same_v<T, MailAction::RenameFolder>) {
                        auto folders = tx.root().get_map(kFoldersKey);
                        if (!folders || !folders->contains(a.id)) return Status{};
                    }
                    tx.put_text(tx.ensure_map(tx.root(), kFoldersKey), a.id, name);
                    return Status{};
                });
            } else if constexpr (std::is_same_v<T, MailAction::DeleteFolder>) {
                if (!folder_id_fits(a.id)) return {};
                return doc.change([&](Transaction& tx) {
                    if (auto folders = tx.root().get_map(kFoldersKey)) tx.remove(*folders, a.id);
                    return Status{};
                });
            } else if constexpr (std::is_same_v<T, MailAction::SaveDraft>) {
                return doc.change([&](Transaction& tx) {
                    write_stored_draft(tx, a.draft);
                    return Status{};
                });
            } else {
                static_assert(std::is_same_v<T, MailAction::DiscardDraft>);
                return doc.change([&](Transaction& tx) {
                    discard_stored_draft(tx);
                    return Status{};
                });
            }
        },
        action.value);
}

}  // namespace mail::engine
