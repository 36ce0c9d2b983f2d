#include "platform/search/search_catalog.h"

#include <algorithm>
#include <atomic>
#include <charconv>
#include <cstring>
#include <new>
#include <utility>

#include "platform/search/text_scan.h"

namespace mail::search {

namespace {

using detail::GramKey;

constexpr std::uint32_t title_bit = 1;
constexpr std::uint32_t body_bit = 2;
constexpr std::size_t field_bits = 2;
// Postings keep the entry number above the two field bits, and token ids are 32 bits.
constexpr std::size_t max_indexable_entries = std::size_t{1} << (32 - field_bits);
constexpr std::size_t max_indexable_bytes = std::size_t{0xFFFFFFFF};
// More terms than this are ignored: each one costs a pass over its postings.
constexpr std::size_t max_query_terms = 32;

constexpr std::uint8_t whole_score = 6;
constexpr std::uint8_t prefix_score = 4;
constexpr std::uint8_t fragment_score = 2;

std::uint64_t next_instance() {
    static std::atomic<std::uint64_t> counter{0};
    return ++counter;
}

std::uint64_t hash_bytes(std::string_view text) {
    std::uint64_t h = 0x9E3779B97F4A7C15ULL ^ text.size();
    std::size_t i = 0;
    for (; i + 8 <= text.size(); i += 8) {
        std::uint64_t chunk;
        std::memcpy(&chunk, text.data() + i, 8);
        h = (h ^ chunk) * 0xFF51AFD7ED558CCDULL;
        h ^= h >> 32;
    }
    std::uint64_t tail = 0;
    if (i < text.size()) std::memcpy(&tail, text.data() + i, text.size() - i);
    h = (h ^ tail) * 0xC4CEB9FE1A85EC53ULL;
    return h ^ (h >> 29);
}

// Interns token texts into one buffer and numbers them in order of first sight. Open
// addressing over the ids keeps a lookup to one or two cache misses.
class TokenTable {
public:
    std::uint32_t intern(std::string_view token) {
        if ((count() + 1) * 2 > slots_.size()) grow();
        std::uint64_t h = hash_bytes(token);
        std::size_t mask = slots_.size() - 1;
        for (std::size_t at = h & mask;; at = (at + 1) & mask) {
            std::uint32_t slot = slots_[at];
            if (slot == 0) {
                std::uint32_t id = static_cast<std::uint32_t>(count());
                starts_.push_back(text_.size());
                text_ += token;
                hashes_.push_back(h);
                slots_[at] = id + 1;
                return id;
            }
            if (hashes_[slot - 1] == h && text(slot - 1) == token) return slot - 1;
        }
    }

    std::size_t count() const { return hashes_.size(); }
    std::string_view text(std::uint32_t id) const {
        std::size_t end = id + 1 < starts_.size() ? starts_[id + 1] : text_.size();
        return std::string_view(text_).substr(starts_[id], end - starts_[id]);
    }

private:
    void grow() {
        std::vector<std::uint32_t> slots(std::max<std::size_t>(1024, slots_.size() * 2), 0);
        std::size_t mask = slots.size() - 1;
        for (std::uint32_t id = 0; id < count(); ++id) {
            std::size_t at = hashes_[id] & mask;
            while (slots[at] != 0) at = (at + 1) & mask;
            slots[at] = id + 1;
        }
        slots_ = std::move(slots);
    }

    std::vector<std::uint32_t> slots_;  // id + 1, 0 when free
    std::vector<std::uint64_t> hashes_;
    std::vector<std::uint64_t> starts_;
    std::string text_;
};

}  // namespace

struct SearchCatalog::Index {
    std::uint64_t generation = 0;
    std::chrono::nanoseconds build_time{0};
    std::vector<Entry> entries;  // searchable_text emptied: only the result fields are kept

    // Vocabulary in byte order, so a prefix is one contiguous range of token ids.
    std::string vocab_text;
    std::vector<std::uint64_t> vocab_offsets{0};
    // Token id -> entries holding it (entry << field_bits | field bits), in entry order.
    std::vector<std::uint64_t> posting_offsets{0};
    std::vector<std::uint32_t> postings;
    // Gram -> token ids holding it, ascending.
    std::vector<GramKey> gram_keys;
    std::vector<std::uint64_t> gram_offsets{0};
    std::vector<std::uint32_t> gram_tokens;

    std::size_t token_count() const { return vocab_offsets.size() - 1; }
    std::string_view token(std::size_t id) const {
        return std::string_view(vocab_text)
            .substr(vocab_offsets[id], vocab_offsets[id + 1] - vocab_offsets[id]);
    }
};

namespace {

using Index = SearchCatalog::Index;

Result<std::shared_ptr<Index>> build_index(std::vector<Entry> entries,
                                           const CatalogLimits& limits) {
    std::size_t max_entries = std::min(limits.max_entries, max_indexable_entries);
    if (entries.size() > max_entries) {
        return make_error("the catalogue holds at most " + std::to_string(max_entries) +
                          " entries, not " + std::to_string(entries.size()));
    }
    std::size_t max_bytes = std::min(limits.max_text_bytes, max_indexable_bytes);
    std::size_t text_bytes = 0;
    for (const Entry& e : entries) text_bytes += e.title.size() + e.searchable_text.size();
    if (text_bytes > max_bytes) {
        return make_error("the catalogue holds at most " + std::to_string(max_bytes) +
                          " bytes of text, not " + std::to_string(text_bytes));
    }

    auto index = std::make_shared<Index>();

    // Pass 1: every entry's distinct tokens, under provisional ids in order of first sight.
    TokenTable table;
    std::vector<std::uint32_t> entry_tokens;
    std::vector<std::uint8_t> entry_fields;
    std::vector<std::uint64_t> entry_offsets{0};
    entry_offsets.reserve(entries.size() + 1);
    // Per provisional id: the last entry (+1) that held it and where, to merge repeats in O(1).
    std::vector<std::uint32_t> last_entry;
    std::vector<std::uint64_t> last_slot;
    std::string folded;
    for (std::size_t e = 0; e < entries.size(); ++e) {
        auto collect = [&](std::string_view text, std::uint8_t field) {
            folded = normalize_search_text(text);
            detail::for_each_token(folded, [&](std::string_view token) {
                std::uint32_t id = table.intern(token);
                if (id == last_entry.size()) {
                    last_entry.push_back(0);
                    last_slot.push_back(0);
                }
                if (last_entry[id] == e + 1) {
                    entry_fields[last_slot[id]] |= field;
                    return;
                }
                last_entry[id] = static_cast<std::uint32_t>(e + 1);
                last_slot[id] = entry_tokens.size();
                entry_tokens.push_back(id);
                entry_fields.push_back(field);
            });
        };
        collect(entries[e].title, title_bit);
        collect(entries[e].searchable_text, body_bit);
        std::string().swap(entries[e].searchable_text);
        entry_offsets.push_back(entry_tokens.size());
    }
    std::vector<std::uint32_t>().swap(last_entry);
    std::vector<std::uint64_t>().swap(last_slot);

    // The vocabulary in byte order; rank maps a provisional id to its final one.
    const std::size_t token_count = table.count();
    std::vector<std::uint32_t> order(token_count);
    for (std::uint32_t i = 0; i < order.size(); ++i) order[i] = i;
    std::sort(order.begin(), order.end(),
              [&](std::uint32_t a, std::uint32_t b) { return table.text(a) < table.text(b); });
    std::vector<std::uint32_t> rank(token_count);
    std::size_t vocab_bytes = 0;
    for (std::uint32_t i = 0; i < order.size(); ++i) {
        rank[order[i]] = i;
        vocab_bytes += table.text(order[i]).size();
    }
    index->vocab_text.reserve(vocab_bytes);
    index->vocab_offsets.reserve(order.size() + 1);
    for (std::uint32_t id : order) {
        index->vocab_text += table.text(id);
        index->vocab_offsets.push_back(index->vocab_text.size());
    }
    table = {};

    // Postings by counting: walking the entries in order leaves every list sorted by entry.
    std::vector<std::uint64_t>& offsets = index->posting_offsets;
    offsets.assign(order.size() + 1, 0);
    for (std::uint32_t id : entry_tokens) ++offsets[rank[id] + 1];
    for (std::size_t i = 1; i < offsets.size(); ++i) offsets[i] += offsets[i - 1];
    index->postings.resize(entry_tokens.size());
    {
        std::vector<std::uint64_t> fill(offsets.begin(), offsets.end() - 1);
        for (std::size_t e = 0; e < entries.size(); ++e) {
            for (std::uint64_t k = entry_offsets[e]; k < entry_offsets[e + 1]; ++k) {
                index->postings[fill[rank[entry_tokens[k]]]++] =
                    static_cast<std::uint32_t>(e << field_bits) | entry_fields[k];
            }
        }
    }
    std::vector<std::uint32_t>().swap(entry_tokens);
    std::vector<std::uint8_t>().swap(entry_fields);

    // Grams of the vocabulary, each token once per gram.
    std::vector<std::pair<GramKey, std::uint32_t>> links;
    std::vector<GramKey> grams;
    for (std::uint32_t t = 0; t < index->token_count(); ++t) {
        grams.clear();
        detail::for_each_gram(index->token(t), [&](GramKey key) { grams.push_back(key); });
        std::sort(grams.begin(), grams.end());
        grams.erase(std::unique(grams.begin(), grams.end()), grams.end());
        for (GramKey key : grams) links.emplace_back(key, t);
    }
    std::sort(links.begin(), links.end());
    index->gram_tokens.reserve(links.size());
    for (std::size_t i = 0; i < links.size(); ++i) {
        if (i == 0 || links[i].first != links[i - 1].first) {
            if (i != 0) index->gram_offsets.push_back(index->gram_tokens.size());
            index->gram_keys.push_back(links[i].first);
        }
        index->gram_tokens.push_back(links[i].second);
    }
    if (!links.empty()) index->gram_offsets.push_back(index->gram_tokens.size());

    index->entries = std::move(entries);
    return index;
}

// ---- queries

struct Term {
    std::string text;
    std::size_t chars = 0;
};

std::vector<Term> query_terms(std::string_view query) {
    std::string folded = normalize_search_text(query);
    std::vector<Term> terms;
    detail::for_each_token(folded, [&](std::string_view token) {
        if (terms.size() >= max_query_terms) return;
        for (const Term& t : terms) {
            if (t.text == token) return;
        }
        terms.push_back({std::string(token), detail::char_count(token)});
    });
    return terms;
}

std::uint64_t query_fingerprint(const std::vector<Term>& terms) {
    std::uint64_t hash = 0xcbf29ce484222325ULL;  // FNV-1a
    for (const Term& t : terms) {
        for (unsigned char c : t.text) hash = (hash ^ c) * 0x100000001b3ULL;
        hash = (hash ^ 0xFF) * 0x100000001b3ULL;  // 0xFF never occurs in UTF-8
    }
    return hash;
}

struct TokenMatch {
    std::uint32_t token;
    std::uint8_t score;
};

// Tokens of the vocabulary that the term matches, with how well.
std::vector<TokenMatch> match_term(const Index& index, const Term& term) {
    std::vector<TokenMatch> matches;
    auto classify = [&](std::uint32_t t) {
        std::string_view token = index.token(t);
        std::size_t at = token.find(term.text);
        if (at == std::string_view::npos) return;
        std::uint8_t score = at != 0                            ? fragment_score
                             : token.size() == term.text.size() ? whole_score
                                                                : prefix_score;
        matches.push_back({t, score});
    };

    if (term.chars < 3) {
        // Too short for a gram: whole or prefix only, from the sorted vocabulary.
        std::uint32_t lo = 0;
        std::uint32_t hi = static_cast<std::uint32_t>(index.token_count());
        while (lo < hi) {
            std::uint32_t mid = lo + (hi - lo) / 2;
            if (index.token(mid) < term.text) lo = mid + 1;
            else hi = mid;
        }
        for (std::uint32_t t = lo; t < index.token_count() && index.token(t).starts_with(term.text);
             ++t) {
            classify(t);
        }
        return matches;
    }

    std::vector<GramKey> keys;
    detail::for_each_gram(term.text, [&](GramKey key) { keys.push_back(key); });
    std::sort(keys.begin(), keys.end());
    keys.erase(std::unique(keys.begin(), keys.end()), keys.end());
    struct Span {
        const std::uint32_t* begin;
        const std::uint32_t* end;
    };
    std::vector<Span> lists;
    for (GramKey key : keys) {
        auto it = std::lower_bound(index.gram_keys.begin(), index.gram_keys.end(), key);
        if (it == index.gram_keys.end() || *it != key) return matches;
        std::size_t g = static_cast<std::size_t>(it - index.gram_keys.begin());
        lists.push_back({index.gram_tokens.data() + index.gram_offsets[g],
                         index.gram_tokens.data() + index.gram_offsets[g + 1]});
    }
    std::sort(lists.begin(), lists.end(),
              [](const Span& a, const Span& b) { return a.end - a.begin < b.end - b.begin; });
    for (const std::uint32_t* p = lists[0].begin; p != lists[0].end; ++p) {
        bool in_all = std::all_of(lists.begin() + 1, lists.end(), [&](const Span& s) {
            return std::binary_search(s.begin, s.end, *p);
        });
        // Holding every gram is not yet holding them in order.
        if (in_all) classify(*p);
    }
    return matches;
}

// Per-thread score arrays, kept all zero between queries so that a query touches only the
// entries its terms reach.
struct Scratch {
    std::vector<std::uint8_t> best;    // best score of the current term
    std::vector<std::uint32_t> total;  // sum over the terms so far
    std::vector<std::uint16_t> terms;  // terms matched so far
    std::vector<std::uint32_t> first;  // entries that matched the first term
    std::vector<std::uint32_t> alive;  // entries that matched every term so far

    void fit(std::size_t n) {
        if (best.size() >= n) return;
        best.resize(n);
        total.resize(n);
        terms.resize(n);
    }
};

thread_local Scratch scratch;

// Zeroes what a query wrote into the scratch arrays, also when it leaves early.
struct ScratchReset {
    Scratch& s;
    ~ScratchReset() {
        for (std::uint32_t e : s.first) {
            s.best[e] = 0;
            s.total[e] = 0;
            s.terms[e] = 0;
        }
        s.first.clear();
        s.alive.clear();
    }
};

struct Hit {
    std::uint32_t entry;
    std::uint32_t score;
};

// Higher score first, then the order the entries were given in.
bool ranks_before(const Hit& a, const Hit& b) {
    return a.score != b.score ? a.score > b.score : a.entry < b.entry;
}

struct TermMatches {
    std::vector<TokenMatch> tokens;
    std::uint64_t postings = 0;

    static std::uint8_t score_of(const TokenMatch& t, std::uint32_t posting) {
        return t.score + ((posting & title_bit) ? 1 : 0);
    }
};

std::vector<Hit> score_entries(const Index& index, const std::vector<Term>& terms) {
    std::vector<Hit> hits;
    std::vector<TermMatches> matched;
    for (const Term& term : terms) {
        TermMatches m;
        m.tokens = match_term(index, term);
        if (m.tokens.empty()) return hits;
        for (const TokenMatch& t : m.tokens) {
            m.postings += index.posting_offsets[t.token + 1] - index.posting_offsets[t.token];
        }
        matched.push_back(std::move(m));
    }
    // The rarest term first: later terms only confirm the survivors.
    std::sort(matched.begin(), matched.end(),
              [](const TermMatches& a, const TermMatches& b) { return a.postings < b.postings; });

    Scratch& s = scratch;
    s.fit(index.entries.size());
    ScratchReset reset{s};
    auto postings_of = [&](std::uint32_t token) {
        return std::pair{index.postings.data() + index.posting_offsets[token],
                         index.postings.data() + index.posting_offsets[token + 1]};
    };
    for (std::size_t i = 0; i < matched.size(); ++i) {
        const TermMatches& m = matched[i];
        std::vector<std::uint32_t> next;
        // Few survivors against long lists: look each survivor up instead of walking the lists.
        bool look_up = i > 0 && s.alive.size() * m.tokens.size() * 16 < m.postings;
        if (look_up) {
            for (std::uint32_t e : s.alive) {
                std::uint8_t best = 0;
                for (const TokenMatch& t : m.tokens) {
                    auto [begin, end] = postings_of(t.token);
                    const std::uint32_t* p = std::lower_bound(begin, end, e << field_bits);
                    if (p != end && *p >> field_bits == e) {
                        best = std::max<std::uint8_t>(best, m.score_of(t, *p));
                    }
                }
                if (best == 0) continue;
                s.total[e] += best;
                next.push_back(e);
            }
        } else {
            for (const TokenMatch& t : m.tokens) {
                auto [p, end] = postings_of(t.token);
                for (; p != end; ++p) {
                    std::uint32_t e = *p >> field_bits;
                    if (s.terms[e] != i) continue;  // missed an earlier term
                    if (i == 0 && s.best[e] == 0) s.first.push_back(e);
                    if (s.best[e] == 0) next.push_back(e);
                    s.best[e] = std::max<std::uint8_t>(s.best[e], m.score_of(t, *p));
                }
            }
            for (std::uint32_t e : next) {
                s.total[e] += s.best[e];
                s.best[e] = 0;
            }
        }
        for (std::uint32_t e : next) s.terms[e] = static_cast<std::uint16_t>(i + 1);
        s.alive = std::move(next);
        if (s.alive.empty()) return hits;
    }
    hits.reserve(s.alive.size());
    for (std::uint32_t e : s.alive) hits.push_back({e, s.total[e]});
    return hits;
}

// ---- cursors: "sc1" and six hexadecimal fields

struct Cursor {
    std::uint64_t instance = 0;
    std::uint64_t generation = 0;
    std::uint64_t query = 0;
    std::uint64_t emitted = 0;
    std::uint64_t score = 0;
    std::uint64_t entry = 0;
};

constexpr std::string_view cursor_tag = "sc1";

std::string encode_cursor(const Cursor& c) {
    std::string out(cursor_tag);
    for (std::uint64_t field : {c.instance, c.generation, c.query, c.emitted, c.score, c.entry}) {
        char buffer[17];
        auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, field, 16);
        (void)ec;
        out += '.';
        out.append(buffer, end);
    }
    return out;
}

std::optional<Cursor> decode_cursor(std::string_view text) {
    if (!text.starts_with(cursor_tag)) return std::nullopt;
    text.remove_prefix(cursor_tag.size());
    Cursor c;
    for (std::uint64_t* field :
         {&c.instance, &c.generation, &c.query, &c.emitted, &c.score, &c.entry}) {
        if (text.empty() || text.front() != '.') return std::nullopt;
        text.remove_prefix(1);
        std::size_t length = std::min(text.find('.'), text.size());
        if (length == 0 || length > 16) return std::nullopt;
        auto [end, ec] = std::from_chars(text.data(), text.data() + length, *field, 16);
        if (ec != std::errc() || end != text.data() + length) return std::nullopt;
        text.remove_prefix(length);
    }
    if (!text.empty()) return std::nullopt;
    return c;
}

}  // namespace

std::shared_ptr<SearchCatalog> SearchCatalog::create(std::string name, CatalogLimits limits) {
    return std::make_shared<SearchCatalog>(std::move(name), limits);
}

SearchCatalog::SearchCatalog(std::string name, CatalogLimits limits)
    : name_(std::move(name)),
      limits_(limits),
      instance_(next_instance()),
      index_(std::make_shared<const Index>()) {}

SearchCatalog::~SearchCatalog() = default;

std::shared_ptr<const SearchCatalog::Index> SearchCatalog::current() const {
    std::shared_lock lock(lock_);
    return index_;
}

Status SearchCatalog::replace(std::vector<Entry> entries) {
    {
        std::lock_guard hook(hook_lock_);
        if (forced_failure_) return make_error(*forced_failure_);
    }
    auto started = std::chrono::steady_clock::now();
    std::shared_ptr<Index> next;
    try {
        auto built = build_index(std::move(entries), limits_);
        if (!built.ok()) return built.error();
        next = std::move(built.value());
    } catch (const std::bad_alloc&) {
        return make_error("not enough memory to build the search index");
    }
    next->build_time = std::chrono::duration_cast<std::chrono::nanoseconds>(
        std::chrono::steady_clock::now() - started);

    std::shared_ptr<const Index> old;
    {
        std::unique_lock lock(lock_);
        next->generation = index_->generation + 1;
        old = std::exchange(index_, std::move(next));
    }
    // `old` is freed here, outside the lock, unless a query still holds it.
    return {};
}

Result<SearchPage> SearchCatalog::query_page(std::string_view query, std::string_view cursor,
                                             std::size_t page_size, std::size_t limit) const {
    std::shared_ptr<const Index> index = current();
    std::vector<Term> terms = query_terms(query);
    std::uint64_t fingerprint = query_fingerprint(terms);

    Cursor from;
    if (!cursor.empty()) {
        std::optional<Cursor> decoded = decode_cursor(cursor);
        if (!decoded || decoded->instance != instance_)
            return make_error("search cursor is not valid");
        if (decoded->generation != index->generation) {
            return make_error("search cursor is out of date: the catalogue was replaced");
        }
        if (decoded->query != fingerprint)
            return make_error("search cursor belongs to another query");
        from = *decoded;
    }

    SearchPage page;
    if (terms.empty() || page_size == 0 || limit == 0) return page;

    std::vector<Hit> hits;
    try {
        hits = score_entries(*index, terms);
    } catch (const std::bad_alloc&) {
        return make_error("not enough memory to search the catalogue");
    }
    page.matched = hits.size();
    if (from.emitted >= limit) return page;

    if (from.emitted > 0) {
        Hit last{static_cast<std::uint32_t>(from.entry), static_cast<std::uint32_t>(from.score)};
        std::erase_if(hits, [&](const Hit& h) { return !ranks_before(last, h); });
    }
    std::size_t take =
        std::min({page_size, static_cast<std::size_t>(limit - from.emitted), hits.size()});
    std::partial_sort(hits.begin(), hits.begin() + static_cast<std::ptrdiff_t>(take), hits.end(),
                      ranks_before);

    page.results.reserve(take);
    for (std::size_t i = 0; i < take; ++i) {
        const Entry& e = index->entries[hits[i].entry];
        page.results.push_back({e.action_address, e.action, e.title, e.subtitle, e.section, e.kind,
                                e.icon, hits[i].score});
    }
    std::uint64_t emitted = from.emitted + take;
    if (take > 0 && hits.size() > take && emitted < limit) {
        page.next_cursor = encode_cursor({instance_, index->generation, fingerprint, emitted,
                                          hits[take - 1].score, hits[take - 1].entry});
    }
    return page;
}

bool SearchCatalog::cursor_is_current(std::string_view cursor) const {
    std::optional<Cursor> decoded = decode_cursor(cursor);
    return decoded && decoded->instance == instance_ &&
           decoded->generation == current()->generation;
}

SearchStats SearchCatalog::stats() const {
    std::shared_ptr<const Index> index = current();
    SearchStats s;
    s.entries = index->entries.size();
    s.tokens = index->token_count();
    s.grams = index->gram_keys.size();
    s.postings = index->postings.size();
    s.gram_links = index->gram_tokens.size();
    s.generation = index->generation;
    s.last_rebuild = index->build_time;
    return s;
}

void SearchCatalog::set_replace_failure_for_testing(std::optional<std::string> error) {
    std::lock_guard hook(hook_lock_);
    forced_failure_ = std::move(error);
}

}  // namespace mail::search
