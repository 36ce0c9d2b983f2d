#pragma once
// An in-memory search catalogue that the platform's search queries and an application fills.
//
// Content is an immutable index; replace() builds a new one without any lock and swaps it in
// under the write lock, so a query (which takes the read lock only to pick up the current index)
// sees either the old or the new content, never a mix, and never waits for a rebuild.
//
// Matching: the query is folded and split into terms like the indexed text (search_text.h);
// an entry matches when every term matches one of its tokens, in its title or its searchable
// text. A term matches a token whole, as its prefix, or (three characters or more) as a fragment
// inside it. Ranking adds, per term, the best of: whole 6, prefix 4, fragment 2, plus 1 when that
// match is in the title; equal scores keep the order of the entries given to replace().
//
// Index: tokens point to the entries that hold them; grams point to the tokens that hold them,
// so a fragment narrows the vocabulary first and never walks the entries.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <shared_mutex>
#include <string>
#include <string_view>
#include <vector>

#include "platform/base/result.h"
#include "platform/search/search_text.h"

namespace mail::search {

// One searchable item. Only the title and the searchable text are searched; the other fields
// come back with each result.
struct Entry {
    std::string action_address;  // "mail.message:<uuid>"
    std::string action;          // "open"
    std::string title;
    std::string subtitle;
    std::string section;
    std::string kind;
    std::string icon;
    std::string searchable_text;
};

struct SearchResult {
    std::string action_address;
    std::string action;
    std::string title;
    std::string subtitle;
    std::string section;
    std::string kind;
    std::string icon;
    std::uint32_t score = 0;
};

struct SearchPage {
    std::vector<SearchResult> results;
    // Pass back to query_page for the next page; empty when this page is the last.
    std::string next_cursor;
    // Entries that match the query, before the limit.
    std::size_t matched = 0;
};

struct SearchStats {
    std::size_t entries = 0;
    std::size_t tokens = 0;        // distinct tokens
    std::size_t grams = 0;         // distinct trigrams of those tokens
    std::size_t postings = 0;      // (token, entry) pairs
    std::size_t gram_links = 0;    // (gram, token) pairs
    std::uint64_t generation = 0;  // 0 for the empty catalogue, +1 per successful replace
    std::chrono::nanoseconds last_rebuild{0};
};

struct CatalogLimits {
    std::size_t max_entries = 1'000'000;
    std::size_t max_text_bytes = std::size_t{1} << 30;  // titles and searchable texts together
};

class SearchCatalog {
public:
    static std::shared_ptr<SearchCatalog> create(std::string name, CatalogLimits limits = {});

    SearchCatalog(std::string name, CatalogLimits limits);
    SearchCatalog(const SearchCatalog&) = delete;
    SearchCatalog& operator=(const SearchCatalog&) = delete;
    ~SearchCatalog();

    const std::string& name() const { return name_; }

    // Replaces the whole content in one step. On failure (a limit, no memory, the test hook)
    // the old content, its generation and its cursors stay as they were.
    Status replace(std::vector<Entry> entries);

    // One page of at most page_size results, ranked; across the pages of one query at most
    // `limit` results, each entry at most once. An empty cursor starts at the first page. A
    // cursor from older content, from another catalogue or from another query is an error, as
    // is text that is not a cursor. A query without terms, a page_size or a limit of 0 answer an
    // empty last page.
    Result<SearchPage> query_page(std::string_view query, std::string_view cursor,
                                  std::size_t page_size, std::size_t limit) const;

    // Whether the cursor was made from the current content (false for an empty or foreign one).
    bool cursor_is_current(std::string_view cursor) const;

    SearchStats stats() const;

    // Test hook: while set, replace() fails with this text and changes nothing.
    void set_replace_failure_for_testing(std::optional<std::string> error);

    struct Index;

private:
    std::shared_ptr<const Index> current() const;

    const std::string name_;
    const CatalogLimits limits_;
    const std::uint64_t instance_;
    mutable std::shared_mutex lock_;
    std::shared_ptr<const Index> index_;  // guarded by lock_
    std::mutex hook_lock_;
    std::optional<std::string> forced_failure_;  // guarded by hook_lock_
};

using SearchCatalogHandle = std::shared_ptr<SearchCatalog>;

}  // namespace mail::search
