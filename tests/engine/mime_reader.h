#pragma once
// Reads built messages back with GMime, so tests check what a receiving client would see.
#include <gmime/gmime.h>

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace mail::engine::testing {

struct Unref {
    void operator()(gpointer object) const {
        if (object) g_object_unref(object);
    }
};
template <typename T>
using Owned = std::unique_ptr<T, Unref>;

inline Owned<GMimeMessage> parse_message(const std::string& bytes) {
    g_mime_init();
    Owned<GMimeStream> stream(g_mime_stream_mem_new_with_buffer(bytes.data(), bytes.size()));
    Owned<GMimeParser> parser(g_mime_parser_new_with_stream(stream.get()));
    return Owned<GMimeMessage>(g_mime_parser_construct_message(parser.get(), nullptr));
}

inline std::string mime_type_of(GMimeObject* object) {
    char* text = g_mime_content_type_get_mime_type(g_mime_object_get_content_type(object));
    std::string out(text);
    g_free(text);
    return out;
}

inline std::string parameter(GMimeObject* object, const char* name) {
    const char* value = g_mime_object_get_content_type_parameter(object, name);
    return value ? value : "";
}

inline std::string header(GMimeObject* object, const char* name) {
    const char* value = g_mime_object_get_header(object, name);
    return value ? value : "";
}

// The decoded content of a leaf part.
inline std::string decoded(GMimeObject* object) {
    GMimeDataWrapper* content = g_mime_part_get_content(GMIME_PART(object));
    Owned<GMimeStream> out(g_mime_stream_mem_new());
    g_mime_data_wrapper_write_to_stream(content, out.get());
    GByteArray* bytes = g_mime_stream_mem_get_byte_array(GMIME_STREAM_MEM(out.get()));
    return std::string(reinterpret_cast<const char*>(bytes->data), bytes->len);
}

inline std::string transfer_encoding(GMimeObject* object) {
    return g_mime_content_encoding_to_string(g_mime_part_get_content_encoding(GMIME_PART(object)));
}

inline std::vector<GMimeObject*> children(GMimeObject* multipart) {
    std::vector<GMimeObject*> out;
    int count = g_mime_multipart_get_count(GMIME_MULTIPART(multipart));
    for (int i = 0; i < count; ++i) out.push_back(g_mime_multipart_get_part(GMIME_MULTIPART(multipart), i));
    return out;
}

// Names of the top-level headers, in order.
inline std::vector<std::string> header_names(GMimeMessage* message) {
    std::vector<std::string> out;
    GMimeHeaderList* list = g_mime_object_get_header_list(GMIME_OBJECT(message));
    int count = g_mime_header_list_get_count(list);
    for (int i = 0; i < count; ++i) out.push_back(g_mime_header_get_name(g_mime_header_list_get_header_at(list, i)));
    return out;
}

// The raw lines of the message (without their CRLF); fails the expectation on any bare CR or LF.
inline std::vector<std::string> crlf_lines(std::string_view bytes, bool& only_crlf) {
    std::vector<std::string> lines;
    only_crlf = true;
    std::size_t start = 0;
    while (start < bytes.size()) {
        std::size_t lf = bytes.find('\n', start);
        if (lf == std::string_view::npos) {
            lines.emplace_back(bytes.substr(start));
            break;
        }
        if (lf == start || bytes[lf - 1] != '\r') only_crlf = false;
        std::string_view line = bytes.substr(start, lf - start);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (line.find('\r') != std::string_view::npos) only_crlf = false;
        lines.emplace_back(line);
        start = lf + 1;
    }
    return lines;
}

}  // namespace mail::engine::testing
