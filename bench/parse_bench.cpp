// Messages per second and bytes per second through parse_message, for typical mail (5–50 KB,
// plain and HTML alternatives), an HTML-only newsletter and a large message with attachments;
// and the same inputs through GMime's own parse alone, to show what share of the time the
// conversion around it costs.
#include <benchmark/benchmark.h>
#include <gmime/gmime.h>

#include <cstdint>
#include <string>

#include "engine/message_parser.h"

namespace {

// Deterministic filler text with some non-ASCII words, so charsets and QP have work to do.
std::string prose(std::size_t bytes, std::uint32_t seed) {
    static const char* const words[] = {"meeting", "quarterly", "numbers", "café", "über", "report", "déjà",
                                        "the",     "and",       "schedule", "naïve", "budget", "Zoë", "review",
                                        "next",    "week",      "attached", "résumé", "thanks", "regards"};
    std::string out;
    std::uint32_t state = seed;
    std::size_t line = 0;
    while (out.size() < bytes) {
        state = state * 1664525u + 1013904223u;
        const char* word = words[(state >> 16) % (sizeof words / sizeof *words)];
        out += word;
        line += std::char_traits<char>::length(word) + 1;
        if (line > 66) {
            out += (state & 0x700) == 0 ? ".\r\n\r\n" : "\r\n";
            line = 0;
        } else {
            out += ' ';
        }
    }
    return out;
}

std::string base64(const std::string& bytes) {
    static const char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    std::size_t column = 0;
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        std::uint32_t chunk = static_cast<std::uint8_t>(bytes[i]) << 16;
        if (i + 1 < bytes.size()) chunk |= static_cast<std::uint8_t>(bytes[i + 1]) << 8;
        if (i + 2 < bytes.size()) chunk |= static_cast<std::uint8_t>(bytes[i + 2]);
        out += alphabet[(chunk >> 18) & 63];
        out += alphabet[(chunk >> 12) & 63];
        out += i + 1 < bytes.size() ? alphabet[(chunk >> 6) & 63] : '=';
        out += i + 2 < bytes.size() ? alphabet[chunk & 63] : '=';
        if ((column += 4) == 76) {
            out += "\r\n";
            column = 0;
        }
    }
    return out + "\r\n";
}

std::string quoted_printable(const std::string& text) {
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    std::size_t column = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            out += "\r\n";
            column = 0;
            ++i;
            continue;
        }
        std::string piece = (c >= 33 && c <= 126 && c != '=') || c == ' '
                                ? std::string(1, static_cast<char>(c))
                                : std::string{'=', hex[c >> 4], hex[c & 15]};
        if (column + piece.size() > 75) {
            out += "=\r\n";
            column = 0;
        }
        out += piece;
        column += piece.size();
    }
    return out;
}

std::string binary(std::size_t bytes, std::uint32_t seed) {
    std::string out(bytes, '\0');
    std::uint32_t state = seed;
    for (char& c : out) {
        state = state * 1664525u + 1013904223u;
        c = static_cast<char>(state >> 24);
    }
    return out;
}

std::string headers(const char* content_type) {
    return "Return-Path: <zoe@example.org>\r\n"
           "Received: from mx1.example.org (mx1.example.org [192.0.2.7])\r\n\tby imap.example.com with ESMTPS id 4f2a\r\n"
           "\tfor <team@example.com>; Tue, 04 Feb 2025 09:30:12 +0000\r\n"
           "Received: from laptop (unknown [198.51.100.23])\r\n\tby mx1.example.org; Tue, 04 Feb 2025 09:30:10 +0000\r\n"
           "DKIM-Signature: v=1; a=rsa-sha256; c=relaxed/relaxed; d=example.org; s=mail;\r\n"
           "\th=from:to:subject:date:message-id; bh=47DEQpj8HBSa+/TImW+5JCeuQeRkm5NMpJWZG3hSuFU=;\r\n"
           "\tb=dGhpcyBpcyBub3QgYSByZWFsIHNpZ25hdHVyZSBidXQgaXQgaGFzIHRoZSByaWdodCBzaGFwZQ==\r\n"
           "From: =?UTF-8?B?Wm/DqyDDhW5nc3Ryw7Zt?= <zoe@example.org>\r\n"
           "To: Team: ann@example.com, \"Bob B.\" <bob@example.com>;, carol@example.com\r\n"
           "Cc: =?UTF-8?Q?D=C3=A9sir=C3=A9e?= <desiree@example.net>\r\n"
           "Subject: =?UTF-8?B?UXVhcnRlcmx5IG51bWJlcnMg4oCUIA==?=\r\n =?UTF-8?B?ZmluYWwg4pyT?=\r\n"
           "Date: Tue, 04 Feb 2025 10:30:00 +0100\r\n"
           "Message-ID: <q3-numbers.1738661400@example.org>\r\n"
           "In-Reply-To: <q3-request@example.com>\r\n"
           "References: <root@example.com> <q3-request@example.com>\r\n"
           "MIME-Version: 1.0\r\n"
           "Content-Type: " +
           std::string(content_type) + "\r\n\r\n";
}

std::string html_of(const std::string& text) {
    std::string html = "<html><head><style>p{margin:0}</style></head><body><div>";
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find("\r\n\r\n", start);
        if (end == std::string::npos) end = text.size();
        html += "<p>" + text.substr(start, end - start) + "</p>\r\n";
        start = end + 4;
    }
    return html + "<ul><li>one</li><li>two</li></ul></div></body></html>\r\n";
}

std::string alternative_body(std::size_t text_bytes, const char* boundary) {
    std::string text = prose(text_bytes, 7);
    std::string b = boundary;
    return "--" + b + "\r\nContent-Type: text/plain; charset=utf-8\r\nContent-Transfer-Encoding: quoted-printable\r\n\r\n" +
           quoted_printable(text) + "\r\n--" + b +
           "\r\nContent-Type: text/html; charset=utf-8\r\nContent-Transfer-Encoding: base64\r\n\r\n" +
           base64(html_of(text)) + "--" + b + "--\r\n";
}

// A plain and HTML alternative of about `bytes` in all.
std::string typical_message(std::size_t bytes) {
    std::size_t text = bytes > 4000 ? (bytes - 1800) * 10 / 25 : 400;
    return headers("multipart/alternative; boundary=\"=-alt-9f8e\"") + alternative_body(text, "=-alt-9f8e");
}

std::string html_only_message(std::size_t bytes) {
    std::string html = html_of(prose(bytes - 2500, 11));
    return headers("text/html; charset=utf-8") + html;
}

// Text alternatives plus a 2 MiB document, a 1 MiB image and a small text file.
std::string large_message() {
    std::string raw = headers("multipart/mixed; boundary=\"mixed-1\"") +
                      "--mixed-1\r\nContent-Type: multipart/alternative; boundary=\"alt-1\"\r\n\r\n" +
                      alternative_body(8000, "alt-1") +
                      "--mixed-1\r\nContent-Type: application/pdf\r\n"
                      "Content-Disposition: attachment; filename*=UTF-8''%E2%82%AC%20rates%202025.pdf\r\n"
                      "Content-Transfer-Encoding: base64\r\n\r\n" +
                      base64(binary(2u << 20, 3)) +
                      "--mixed-1\r\nContent-Type: image/jpeg; name=\"photo.jpg\"\r\nContent-Disposition: attachment\r\n"
                      "Content-Transfer-Encoding: base64\r\n\r\n" +
                      base64(binary(1u << 20, 5)) +
                      "--mixed-1\r\nContent-Type: text/plain; name=\"notes.txt\"\r\nContent-Disposition: attachment\r\n\r\n" +
                      prose(20000, 9) + "\r\n--mixed-1--\r\n";
    return raw;
}

void parse_whole(benchmark::State& state, const std::string& raw) {
    for (auto _ : state) {
        auto message = mail::engine::parse_message(raw, 0, mail::FolderRole::Inbox);
        if (!message.ok()) state.SkipWithError(message.error_text().c_str());
        benchmark::DoNotOptimize(message);
    }
    state.SetItemsProcessed(state.iterations());
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * raw.size()));
    state.counters["message_bytes"] = static_cast<double>(raw.size());
}

// GMime's parse alone, over the same in-place stream parse_message uses.
void gmime_construct_only(benchmark::State& state, const std::string& raw) {
    mail::engine::init_mime_library();
    for (auto _ : state) {
        GByteArray* array = g_byte_array_new_take(reinterpret_cast<guint8*>(const_cast<char*>(raw.data())), raw.size());
        GMimeStream* stream = g_mime_stream_mem_new_with_byte_array(array);
        g_mime_stream_mem_set_owner(GMIME_STREAM_MEM(stream), FALSE);
        GMimeParser* parser = g_mime_parser_new_with_stream(stream);
        GMimeMessage* message = g_mime_parser_construct_message(parser, nullptr);
        benchmark::DoNotOptimize(message);
        if (message) g_object_unref(message);
        g_object_unref(parser);
        g_object_unref(stream);
        g_byte_array_steal(array, nullptr);
        g_byte_array_free(array, TRUE);
    }
    state.SetItemsProcessed(state.iterations());
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * raw.size()));
}

const std::string& typical_5k() { static const std::string raw = typical_message(5 << 10); return raw; }
const std::string& typical_20k() { static const std::string raw = typical_message(20 << 10); return raw; }
const std::string& typical_50k() { static const std::string raw = typical_message(50 << 10); return raw; }
const std::string& html_only_30k() { static const std::string raw = html_only_message(30 << 10); return raw; }
const std::string& large() { static const std::string raw = large_message(); return raw; }

void BM_ParseMessage_Typical5K(benchmark::State& s) { parse_whole(s, typical_5k()); }
void BM_ParseMessage_Typical20K(benchmark::State& s) { parse_whole(s, typical_20k()); }
void BM_ParseMessage_Typical50K(benchmark::State& s) { parse_whole(s, typical_50k()); }
void BM_ParseMessage_HtmlOnly30K(benchmark::State& s) { parse_whole(s, html_only_30k()); }
void BM_ParseMessage_Large3MBAttachments(benchmark::State& s) { parse_whole(s, large()); }
void BM_GMimeConstructOnly_Typical5K(benchmark::State& s) { gmime_construct_only(s, typical_5k()); }
void BM_GMimeConstructOnly_Typical20K(benchmark::State& s) { gmime_construct_only(s, typical_20k()); }
void BM_GMimeConstructOnly_Typical50K(benchmark::State& s) { gmime_construct_only(s, typical_50k()); }
void BM_GMimeConstructOnly_HtmlOnly30K(benchmark::State& s) { gmime_construct_only(s, html_only_30k()); }
void BM_GMimeConstructOnly_Large3MBAttachments(benchmark::State& s) { gmime_construct_only(s, large()); }

}  // namespace

BENCHMARK(BM_ParseMessage_Typical5K);
BENCHMARK(BM_GMimeConstructOnly_Typical5K);
BENCHMARK(BM_ParseMessage_Typical20K);
BENCHMARK(BM_GMimeConstructOnly_Typical20K);
BENCHMARK(BM_ParseMessage_Typical50K);
BENCHMARK(BM_GMimeConstructOnly_Typical50K);
BENCHMARK(BM_ParseMessage_HtmlOnly30K);
BENCHMARK(BM_GMimeConstructOnly_HtmlOnly30K);
BENCHMARK(BM_ParseMessage_Large3MBAttachments)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GMimeConstructOnly_Large3MBAttachments)->Unit(benchmark::kMillisecond);
