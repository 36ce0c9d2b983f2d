#include "platform/ui/gallery.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>

namespace mail::ui {
namespace {

namespace fs = std::filesystem;

struct PngSize {
    std::uint32_t width = 0, height = 0;
};

// Width and height from the IHDR chunk, or nothing when the file is not a PNG.
std::optional<PngSize> png_size(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    unsigned char head[24] = {};
    if (!in.read(reinterpret_cast<char*>(head), sizeof head)) return std::nullopt;
    const unsigned char magic[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    if (!std::equal(magic, magic + 8, head)) return std::nullopt;
    auto be32 = [&](int at) {
        return (std::uint32_t(head[at]) << 24) | (std::uint32_t(head[at + 1]) << 16) | (std::uint32_t(head[at + 2]) << 8) |
               std::uint32_t(head[at + 3]);
    };
    return PngSize{be32(16), be32(20)};
}

TEST(Gallery, WritesOnePngPerSubject) {
    const fs::path dir = fs::temp_directory_path() / ("widget-gallery-" + std::to_string(::getpid())) / "nested";
    fs::remove_all(dir.parent_path());
    ASSERT_TRUE(write_gallery(dir).ok());
    const char* files[] = {"buttons.png", "toggles.png", "text_inputs.png", "icons.png", "toasts.png",
                           "nav_shell_wide.png", "nav_shell_compact.png", "nav_shell_drawer.png", "nav_shell_detail.png",
                           "empty_state.png", "modal.png", "surfaces.png", "rich_text.png"};
    for (const char* file : files) {
        auto size = png_size(dir / file);
        ASSERT_TRUE(size) << file;
        EXPECT_GT(size->width, 200u) << file;
        EXPECT_GT(size->height, 100u) << file;
    }
    EXPECT_EQ(png_size(dir / "nav_shell_compact.png")->width, 840u);  // 420 units at scale 2
    fs::remove_all(dir.parent_path());
}

TEST(Gallery, ReportsADirectoryThatCannotBeMade) {
    const fs::path file = fs::temp_directory_path() / ("widget-gallery-file-" + std::to_string(::getpid()));
    std::ofstream(file) << "x";
    auto result = write_gallery(file / "sub");
    EXPECT_FALSE(result.ok());
    fs::remove(file);
}

}  // namespace
}  // namespace mail::ui
