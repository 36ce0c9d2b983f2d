#pragma once
// The text rules of the search catalogue: how text is folded before it is indexed or matched,
// and what its words (tokens) and character trigrams (grams) are. Queries go through the same
// functions, so whatever the index holds a query can reach.
//
// Folding (normalize_search_text) works over UTF-8 with our own tables:
// - case: ASCII, Latin-1 Supplement, Latin Extended-A and -B, Latin Extended Additional,
//   Greek (monotonic), Cyrillic and Cyrillic Supplement, Armenian and fullwidth ASCII;
// - accents: letters of those Latin blocks become their base letters ("Réunion" → "reunion",
//   "Łódź" → "lodz"), Greek loses tonos and dialytika ("Άρτεμις" → "αρτεμις"), Cyrillic ё → е;
//   combining marks are dropped, so decomposed input folds like precomposed input;
// - expansions: ß and ẞ → "ss", æ → "ae", œ → "oe", þ → "th", ĳ → "ij", ﬁ-style ligatures;
// - final sigma → σ, µ → μ;
// - every kind of white space and control becomes one space, runs collapse, ends are trimmed;
//   soft hyphens, zero-width characters and variation selectors are dropped;
// - an apostrophe between two word characters is dropped ("O'Brien" → "obrien").
// Other scripts pass through unchanged (no case folding, no segmentation of CJK text); bytes that
// are not valid UTF-8 become U+FFFD.
//
// Tokens are maximal runs of word characters of the folded text: ASCII letters and digits and
// every other character outside the punctuation, symbol and emoji blocks. A token longer than
// max_token_chars characters is cut there. Grams are the trigrams of each token; tokens shorter
// than three characters have none.
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace mail::search {

inline constexpr std::size_t max_token_chars = 64;

std::string normalize_search_text(std::string_view text);

// The distinct tokens of already folded text, in order of first appearance.
std::vector<std::string> index_tokens(std::string_view normalized);

// The distinct trigrams of the tokens of already folded text (each three characters of UTF-8),
// in order of first appearance.
std::vector<std::string> index_grams(std::string_view normalized);

}  // namespace mail::search
