#pragma once
// The mailbox as the platform's search sees it: the catalogue "Mail" with one entry per folder
// and one per message outside Trash, rebuilt only when the mailbox changed (or the last rebuild
// failed). UI thread; the catalogue itself is shared with the platform's search.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "core/mailbox.h"
#include "platform/base/channel.h"
#include "platform/search/search_catalog.h"

namespace mail::app {

// The entries of a mailbox: the 7 folders (Trash last), then every message outside Trash.
std::vector<search::Entry> catalogue_entries(const Mailbox& mailbox);

// The resource the action framework reads while the last rebuild failed.
struct SearchStatusResource {
    static constexpr const char* address = "mail.search-status";
    static constexpr const char* kind = "mail.search_status";
    std::string text;
};

// Indexing a large mailbox takes a while, so the index is built on a thread of its own
// ("mail-search"); the UI thread only collects the entries and later takes in the outcome.
class MailCatalogue {
public:
    static constexpr std::size_t kQueryCap = 256;

    explicit MailCatalogue(search::SearchCatalogHandle catalog = search::SearchCatalog::create("Mail"));
    ~MailCatalogue();
    MailCatalogue(const MailCatalogue&) = delete;
    MailCatalogue& operator=(const MailCatalogue&) = delete;

    // Takes in a finished rebuild, then starts one when the mailbox revision differs from the
    // one built, or while an error is stored. Answers the status line text of a failed rebuild;
    // the old content stays searchable meanwhile. UI thread.
    std::optional<std::string> refresh(const Mailbox& mailbox);

    // A rebuild has been started and its outcome not yet taken in.
    bool rebuilding() const { return in_flight_.has_value(); }
    // Blocks until the rebuild in flight is done and takes in its outcome (tests, shutdown).
    std::optional<std::string> wait_for_rebuild();

    // Provider operations for the platform's search.
    Result<search::SearchPage> query_page(std::string_view query, std::string_view cursor, std::size_t page_size,
                                          std::size_t limit) const;
    search::SearchStats stats() const { return catalog_->stats(); }
    bool cursor_is_current(std::string_view cursor) const { return catalog_->cursor_is_current(cursor); }

    std::optional<SearchStatusResource> status_resource() const;
    const std::optional<std::string>& error() const { return error_; }
    std::optional<std::uint64_t> built_revision() const { return built_revision_; }
    const search::SearchCatalogHandle& catalog() const { return catalog_; }

private:
    struct Job {
        std::uint64_t revision;
        std::vector<search::Entry> entries;
    };
    struct Outcome {
        std::uint64_t revision;
        Status status;
    };
    std::optional<std::string> take_in(Outcome outcome);

    search::SearchCatalogHandle catalog_;
    std::optional<std::uint64_t> built_revision_;
    std::optional<std::string> error_;
    std::optional<std::uint64_t> in_flight_;  // the revision being indexed
    Sender<Job> jobs_;
    Receiver<Outcome> outcomes_;
    std::thread indexer_;
};

}  // namespace mail::app
