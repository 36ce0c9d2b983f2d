// The IMAP response parser over arbitrary bytes: it must never crash, hang or read out of
// bounds, and framing must agree with parsing: a complete response's every prefix needs more.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <variant>

#include "engine/imap_parser.h"

using namespace mail::engine::imap;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    ParserLimits limits;
    limits.max_literal_bytes = 1 << 16;
    limits.max_response_bytes = 1 << 17;
    std::string_view stream(reinterpret_cast<const char*>(data), size);
    // Walk the stream as the connection does, response by response.
    while (!stream.empty()) {
        ParseResult result = parse_response(stream, limits);
        auto* complete = std::get_if<Complete>(&result);
        if (!complete) break;
        if (complete->consumed == 0 || complete->consumed > stream.size()) std::abort();
        for (std::size_t cut : {complete->consumed - 1, complete->consumed / 2}) {
            if (!std::holds_alternative<NeedMore>(parse_response(stream.substr(0, cut), limits))) std::abort();
        }
        if (complete->response.fetch && complete->response.fetch->body &&
            complete->response.fetch->body->size() > limits.max_literal_bytes)
            std::abort();
        stream.remove_prefix(complete->consumed);
    }
    return 0;
}
