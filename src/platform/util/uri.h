#pragma once
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace mail::uri {

using QueryPairs = std::vector<std::pair<std::string, std::string>>;

// Decodes an application/x-www-form-urlencoded query ("a=1&b=two+words") into its pairs, in
// order, duplicates kept. A leading '?' and empty segments ("a=1&&b=2") are skipped; a segment
// without '=' is a name with an empty value. '+' is a space and %XX a byte; a '%' that does not
// start two hex digits is kept as it stands. Values are the decoded bytes, which need not be
// valid UTF-8.
QueryPairs parse_form_query(std::string_view query);

// Percent-encodes every byte except the unreserved ones (A-Z a-z 0-9 - . _ ~), with upper-case
// hex digits. Safe for a query name or value, a path segment, and form bodies.
std::string percent_encode(std::string_view text);

// "name=value&name=value" with both sides percent-encoded, for query strings and form bodies.
std::string encode_form_query(const QueryPairs& pairs);

}  // namespace mail::uri
