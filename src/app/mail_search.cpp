#include "app/mail_search.h"

#include <pthread.h>

#include <algorithm>

#include "core/text_case.h"
#include "platform/ui/icons.h"

namespace mail::app {

namespace {

constexpr FolderRole kFolderEntryOrder[] = {FolderRole::Inbox,   FolderRole::Starred, FolderRole::Sent,
                                            FolderRole::Drafts,  FolderRole::Archive, FolderRole::Junk,
                                            FolderRole::Trash};

ui::IconName folder_icon(FolderRole role) {
    switch (role) {
        case FolderRole::Inbox: return ui::IconName::Inbox;
        case FolderRole::Starred: return ui::IconName::Star;
        case FolderRole::Sent: return ui::IconName::Sent;
        case FolderRole::Drafts: return ui::IconName::Drafts;
        case FolderRole::Archive: return ui::IconName::Archive;
        case FolderRole::Trash: return ui::IconName::Trash;
        case FolderRole::Junk: return ui::IconName::Blocked;
    }
    return ui::IconName::Folder;
}

std::string joined_labels(const std::vector<std::string>& labels) {
    std::string out;
    for (const auto& label : labels) {
        if (!out.empty()) out.push_back(' ');
        out += label;
    }
    return out;
}

}  // namespace

std::vector<search::Entry> catalogue_entries(const Mailbox& mailbox) {
    std::vector<search::Entry> entries;
    entries.reserve(std::size(kFolderEntryOrder) + mailbox.size());
    for (FolderRole role : kFolderEntryOrder) {
        search::Entry e;
        e.action_address = "mail.folder:" + std::string(folder_identifier(role));
        e.action = "open";
        e.title = folder_display_name(role);
        e.subtitle = "Mail folder";
        e.section = "Mail folders";
        e.kind = "mail.folder";
        e.icon = ui::icon_name(folder_icon(role));
        e.searchable_text = e.title;
        entries.push_back(std::move(e));
    }
    const std::string message_icon = ui::icon_name(ui::IconName::Envelope);
    for (const MailMessage* message : mailbox.ordered_messages()) {
        if (message->folder == FolderRole::Trash) continue;
        search::Entry e;
        e.action_address = "mail.message:" + message->id.to_string();
        e.action = "open";
        e.title = trim_white_space(message->subject).empty() ? "(no subject)" : message->subject;
        e.subtitle = message->from.shown();
        e.section = "Mail";
        e.kind = "mail.message";
        e.icon = message_icon;
        e.searchable_text.reserve(message->subject.size() + message->body.size() + 128);
        e.searchable_text += message->subject;
        e.searchable_text += '\n';
        e.searchable_text += message->from.shown();
        e.searchable_text += '\n';
        e.searchable_text += message->from.address;
        e.searchable_text += '\n';
        e.searchable_text += message->body;
        e.searchable_text += '\n';
        e.searchable_text += joined_labels(message->labels);
        entries.push_back(std::move(e));
    }
    return entries;
}

MailCatalogue::MailCatalogue(search::SearchCatalogHandle catalog) : catalog_(std::move(catalog)) {
    auto jobs = make_channel<Job>();
    auto outcomes = make_channel<Outcome>();
    jobs_ = std::move(jobs.sender);
    outcomes_ = std::move(outcomes.receiver);
    indexer_ = std::thread([catalog = catalog_, jobs = std::move(jobs.receiver),
                            outcomes = std::move(outcomes.sender)]() mutable {
        pthread_setname_np(pthread_self(), "mail-search");
        while (auto job = jobs.recv()) outcomes.send(Outcome{job->revision, catalog->replace(std::move(job->entries))});
    });
}

MailCatalogue::~MailCatalogue() {
    jobs_ = Sender<Job>();  // closes the channel: the indexer ends after the job in hand
    if (indexer_.joinable()) indexer_.join();
}

std::optional<std::string> MailCatalogue::take_in(Outcome outcome) {
    in_flight_.reset();
    if (!outcome.status) {
        error_ = outcome.status.error_text();
        return "Mail search could not replace its catalogue: " + *error_;
    }
    built_revision_ = outcome.revision;
    error_.reset();
    return std::nullopt;
}

std::optional<std::string> MailCatalogue::refresh(const Mailbox& mailbox) {
    std::optional<std::string> failure;
    if (auto outcome = outcomes_.try_recv()) failure = take_in(std::move(*outcome));
    if (in_flight_) return failure;  // one rebuild at a time; the next sync looks again
    if (built_revision_ == mailbox.revision() && !error_) return failure;
    // A rebuild that just failed is tried again on the next sync, not in this one.
    if (failure) return failure;
    in_flight_ = mailbox.revision();
    jobs_.send(Job{mailbox.revision(), catalogue_entries(mailbox)});
    return std::nullopt;
}

std::optional<std::string> MailCatalogue::wait_for_rebuild() {
    if (!in_flight_) return std::nullopt;
    auto outcome = outcomes_.recv();
    if (!outcome) return std::nullopt;
    return take_in(std::move(*outcome));
}

Result<search::SearchPage> MailCatalogue::query_page(std::string_view query, std::string_view cursor,
                                                     std::size_t page_size, std::size_t limit) const {
    std::string_view trimmed = trim_white_space(query);
    if (trimmed.empty()) return search::SearchPage{};
    return catalog_->query_page(trimmed, cursor, std::min(page_size, kQueryCap), std::min(limit, kQueryCap));
}

std::optional<SearchStatusResource> MailCatalogue::status_resource() const {
    if (!error_) return std::nullopt;
    return SearchStatusResource{"Search index unavailable: " + *error_};
}

}  // namespace mail::app
