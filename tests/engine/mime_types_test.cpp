#include "engine/mime_types.h"

#include <gtest/gtest.h>

namespace mail::engine {
namespace {

TEST(MimeForName, EveryExtensionOfTheTable) {
    const std::pair<const char*, const char*> rows[] = {
        {"a.pdf", "application/pdf"},     {"a.png", "image/png"},
        {"a.jpg", "image/jpeg"},          {"a.jpeg", "image/jpeg"},
        {"a.gif", "image/gif"},           {"a.svg", "image/svg+xml"},
        {"a.txt", "text/plain"},          {"a.log", "text/plain"},
        {"a.md", "text/markdown"},        {"a.csv", "text/csv"},
        {"a.html", "text/html"},          {"a.htm", "text/html"},
        {"a.ics", "text/calendar"},       {"a.zip", "application/zip"},
        {"a.tar", "application/x-tar"},   {"a.gz", "application/gzip"},
        {"a.doc", "application/msword"},  {"a.docx", "application/msword"},
        {"a.xls", "application/vnd.ms-excel"}, {"a.xlsx", "application/vnd.ms-excel"},
        {"a.ppt", "application/vnd.ms-powerpoint"}, {"a.pptx", "application/vnd.ms-powerpoint"},
        {"a.json", "application/json"},
    };
    for (const auto& [name, type] : rows) EXPECT_EQ(mime_for_name(name), type) << name;
}

TEST(MimeForName, ExtensionIsTheTextAfterTheLastDot) {
    const std::pair<const char*, const char*> rows[] = {
        {"Report.PDF", "application/pdf"},
        {"photo.JpEg", "image/jpeg"},
        {"archive.tar.gz", "application/gzip"},
        {"notes.pdf.txt", "text/plain"},
        {"README", "application/octet-stream"},
        {"md", "text/markdown"},  // a name without a dot is compared whole
        {"PDF", "application/pdf"},
        {".json", "application/json"},
        {"trailing.", "application/octet-stream"},
        {"", "application/octet-stream"},
        {"scan.webp", "application/octet-stream"},
        {"a.pdf ", "application/octet-stream"},  // no trimming
        {"x.markdown", "application/octet-stream"},
        {"Résumé.DOCX", "application/msword"},
        {"a.p\xC4\xB1" "df", "application/octet-stream"},  // only ASCII letters fold
    };
    for (const auto& [name, type] : rows) EXPECT_EQ(mime_for_name(name), type) << name;
}

}  // namespace
}  // namespace mail::engine
