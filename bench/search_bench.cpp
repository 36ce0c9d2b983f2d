// The search catalogue is rebuilt after every mailbox change and queried while the user types:
// a rebuild should cost in proportion to the mail, and a query in proportion to what it finds.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "platform/search/search_catalog.h"

namespace {

using namespace mail::search;

// Made-up words from syllables, used with a skewed frequency like real prose.
class Words {
public:
    explicit Words(std::mt19937_64& rng) : rng_(rng) {
        const char* syllables[] = {"ka",  "lo",  "mi",  "ren", "to",  "sa",  "vel", "dor",
                                   "qui", "ne",  "bra", "sti", "po",  "lu",  "gan", "che",
                                   "fi",  "mor", "ta",  "zen", "an",  "ber", "cos", "dri",
                                   "el",  "fur", "gi",  "hal", "is",  "jo",  "kel", "lam",
                                   "mun", "nor", "op",  "pre", "ras", "sol", "tur", "ux"};
        const char* accents[] = {"é", "ü", "ø", "ß"};
        std::uniform_int_distribution<int> count(2, 3);
        std::uniform_int_distribution<std::size_t> pick(0, std::size(syllables) - 1);
        std::uniform_int_distribution<int> accent(0, 30);
        for (int i = 0; i < 20000; ++i) {
            std::string w;
            for (int s = count(rng_); s > 0; --s) w += syllables[pick(rng_)];
            if (int a = accent(rng_); a < 4) w += accents[a];
            words_.push_back(std::move(w));
        }
    }
    const std::string& common() {
        double u = std::uniform_real_distribution<double>(0, 1)(rng_);
        return words_[static_cast<std::size_t>(std::pow(u, 3.0) * words_.size())];
    }
    const std::string& any() {
        return words_[std::uniform_int_distribution<std::size_t>(0, words_.size() - 1)(rng_)];
    }

private:
    std::mt19937_64& rng_;
    std::vector<std::string> words_;
};

const char* first_names[] = {"Alice", "Bob",   "Chloé", "Dmitri", "Eva",    "François",
                             "Grace", "Hiro",  "Ines",  "Jörg",   "Kamala", "Lars",
                             "Maria", "Nikos", "Olga",  "Pedro"};
const char* last_names[] = {"Smith",  "Dupont", "Müller", "Petrov",       "Rossi",   "Tanaka",
                            "García", "Nowak",  "Jensen", "Papadopoulos", "O'Brien", "Kowalski"};
const char* domains[] = {"example.com", "example.org", "mail.example.net", "corp.example",
                         "uni.example.edu"};

struct Mail {
    std::vector<Entry> entries;
    std::vector<std::string> query_words;  // for queries
    std::vector<std::string> addresses;
};

const Mail& mail_of(std::size_t n) {
    static std::map<std::size_t, std::unique_ptr<Mail>> cache;
    auto& slot = cache[n];
    if (slot) return *slot;
    slot = std::make_unique<Mail>();
    std::mt19937_64 rng(42);
    Words words(rng);
    std::uniform_int_distribution<int> body_chars(200, 2000);
    std::uniform_int_distribution<int> subject_words(3, 8);
    std::uniform_int_distribution<int> roll(0, 99);
    for (std::size_t i = 0; i < n; ++i) {
        std::string first = first_names[rng() % std::size(first_names)];
        std::string last = last_names[rng() % std::size(last_names)];
        std::string sender = first + " " + last;
        std::string address = first + "." + last + std::to_string(rng() % 500) + "@" +
                              domains[rng() % std::size(domains)];
        std::string subject = roll(rng) < 30 ? "Re: " : "";
        for (int w = subject_words(rng); w > 0; --w) subject += words.common() + " ";
        subject.pop_back();
        std::string body;
        std::size_t target = static_cast<std::size_t>(body_chars(rng));
        while (body.size() < target) {
            int r = roll(rng);
            if (r < 2) body += "order #" + std::to_string(rng() % 1000000) + " ";
            else if (r < 3)
                body += "https://" + std::string(domains[rng() % std::size(domains)]) + "/p/" +
                        std::to_string(rng() % 100000) + " ";
            else body += (r < 10 ? words.any() : words.common()) + (r % 9 == 0 ? ". " : " ");
        }
        Entry e;
        e.action_address = "mail.message:" + std::to_string(i);
        e.action = "open";
        e.title = subject;
        e.subtitle = sender;
        e.section = "Mail";
        e.kind = "mail.message";
        e.icon = "mail";
        e.searchable_text = subject + "\n" + sender + "\n" + address + "\n" + body + "\ninbox";
        if (i % 97 == 0) slot->query_words.push_back(words.any());
        if (i % 101 == 0) slot->addresses.push_back(address);
        slot->entries.push_back(std::move(e));
    }
    return *slot;
}

void BM_Rebuild(benchmark::State& state) {
    const Mail& mail = mail_of(static_cast<std::size_t>(state.range(0)));
    auto catalog = SearchCatalog::create("Mail");
    std::size_t bytes = 0;
    for (const Entry& e : mail.entries) bytes += e.searchable_text.size();
    for (auto _ : state) {
        state.PauseTiming();
        std::vector<Entry> copy = mail.entries;
        state.ResumeTiming();
        if (!catalog->replace(std::move(copy)).ok()) state.SkipWithError("replace failed");
    }
    SearchStats s = catalog->stats();
    state.counters["tokens"] = static_cast<double>(s.tokens);
    state.counters["postings"] = static_cast<double>(s.postings);
    state.counters["grams"] = static_cast<double>(s.grams);
    state.SetBytesProcessed(static_cast<std::int64_t>(bytes * state.iterations()));
}
BENCHMARK(BM_Rebuild)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(3);

enum QueryKind { WholeWord, Prefix, AddressFragment, TwoWords, ShortPrefix };

std::vector<std::string> queries_for(const Mail& mail, QueryKind kind) {
    std::vector<std::string> out;
    for (std::size_t i = 0; i < 64; ++i) {
        const std::string& w = mail.query_words[i % mail.query_words.size()];
        const std::string& a = mail.addresses[i % mail.addresses.size()];
        switch (kind) {
            case WholeWord: out.push_back(w); break;
            case Prefix: out.push_back(w.substr(0, std::max<std::size_t>(3, w.size() - 2))); break;
            case AddressFragment: {
                // From inside the last name across the "@": "ller42@exam".
                std::size_t dot = a.find('.');
                out.push_back(a.substr(dot + 3, 12));
                break;
            }
            case TwoWords: {
                const std::string& other = mail.query_words[(i + 7) % mail.query_words.size()];
                out.push_back(w + " " + other.substr(0, 4));
                break;
            }
            case ShortPrefix: out.push_back(w.substr(0, 2)); break;
        }
    }
    return out;
}

void BM_Query(benchmark::State& state) {
    static std::map<std::size_t, std::shared_ptr<SearchCatalog>> catalogs;
    std::size_t n = static_cast<std::size_t>(state.range(0));
    const Mail& mail = mail_of(n);
    auto& catalog = catalogs[n];
    if (!catalog) {
        catalog = SearchCatalog::create("Mail");
        if (!catalog->replace(mail.entries).ok()) state.SkipWithError("replace failed");
    }
    std::vector<std::string> queries = queries_for(mail, static_cast<QueryKind>(state.range(1)));
    std::size_t i = 0;
    std::size_t matched = 0;
    for (auto _ : state) {
        auto page = catalog->query_page(queries[i++ % queries.size()], "", 50, 256);
        if (!page.ok()) state.SkipWithError("query failed");
        matched += page->matched;
        benchmark::DoNotOptimize(page);
    }
    state.counters["matched"] =
        benchmark::Counter(static_cast<double>(matched), benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_Query)
    ->ArgsProduct({{10000, 100000}, {WholeWord, Prefix, AddressFragment, TwoWords, ShortPrefix}})
    ->ArgNames({"entries", "kind"})
    ->Unit(benchmark::kMicrosecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

}  // namespace
