#include <gtest/gtest.h>

#include <QBuffer>
#include <QImage>
#include <filesystem>

#include "platform/ui/painter.h"
#include "qt_test_support.h"

namespace mail::ui {
namespace {

using testing_support::ink_bounds;
using testing_support::paint;
using testing_support::pixel_at;

const Color kRed{1, 0, 0, 1};
const Color kWhite{1, 1, 1, 1};

class PainterTest : public ::testing::Test {
protected:
    void SetUp() override { ensure_gui_application(); }
};

TEST_F(PainterTest, RenderPngWritesTheRequestedPixelSize) {
    const auto dir = std::filesystem::temp_directory_path() / "mail_toolkit_render_png";
    std::filesystem::create_directories(dir);
    struct Case {
        Size logical;
        float scale;
        int width, height;
    };
    for (Case c : {Case{{100.5f, 40}, 2, 201, 80}, Case{{64, 32}, 1.5f, 96, 48}, Case{{30, 20}, 1, 30, 20}}) {
        const auto file = dir / "frame.png";
        std::filesystem::remove(file);
        Status st = render_png(c.logical, c.scale, [&](Painter& p) {
            p.fill_rect({0, 0, c.logical.width / 2, c.logical.height}, kRed);
        }, file);
        ASSERT_TRUE(st.ok()) << st.error_text();
        QImage read(QString::fromStdString(file.string()), "PNG");
        ASSERT_FALSE(read.isNull());
        EXPECT_EQ(read.width(), c.width);
        EXPECT_EQ(read.height(), c.height);
        EXPECT_EQ(QColor::fromRgba(read.pixel(1, 1)), QColor(255, 0, 0));
        EXPECT_EQ(qAlpha(read.pixel(c.width - 1, c.height - 1)), 0);  // unpainted stays transparent
    }
    EXPECT_FALSE(render_png({10, 10}, 1, [](Painter&) {}, dir / "missing" / "x.png").ok());
    EXPECT_FALSE(render_png({0, 10}, 1, [](Painter&) {}, dir / "empty.png").ok());
    EXPECT_FALSE(render_png({10, 10}, 0, [](Painter&) {}, dir / "empty.png").ok());
    std::filesystem::remove_all(dir);
}

TEST_F(PainterTest, ClipsOpacityAndTranslationNest) {
    QImage image = paint({100, 100}, 1, [](Painter& p) {
        p.push_translation(10, 10);
        p.push_clip({0, 0, 60, 60});        // 10..70 on the image
        p.push_clip({30, 30, 90, 90});      // intersected: 40..70
        p.push_opacity(0.5f);
        p.push_opacity(0.5f);
        p.fill_rect({-10, -10, 100, 100}, kWhite);  // a quarter opaque, only in 40..70
        p.pop_opacity();
        p.pop_opacity();
        p.pop_clip();
        p.fill_rect({0, 0, 5, 5}, kRed);     // outer clip only: 10..15
        p.pop_clip();
        p.pop_translation();
        p.fill_rect({90, 90, 100, 100}, kRed);  // nothing left: untranslated, unclipped
    });
    EXPECT_NEAR(pixel_at(image, 55, 55).alphaF(), 0.25, 0.02);
    EXPECT_EQ(pixel_at(image, 35, 55).alpha(), 0);
    EXPECT_EQ(pixel_at(image, 75, 55).alpha(), 0);
    EXPECT_EQ(pixel_at(image, 12, 12), QColor(255, 0, 0));
    EXPECT_EQ(pixel_at(image, 95, 95), QColor(255, 0, 0));
    EXPECT_EQ(pixel_at(image, 5, 5).alpha(), 0);
}

TEST_F(PainterTest, StrokesOfShapesStayInsideTheirBounds) {
    QImage image = paint({60, 60}, 2, [](Painter& p) {
        p.stroke_rect({10, 10, 50, 50}, kWhite, 1);
        p.stroke_rounded_rect({20, 20, 40, 40}, 6, kWhite, 2);
        p.stroke_circle({30, 30}, 4, kWhite, 1);
    });
    auto ink = ink_bounds(image, 0);
    EXPECT_FLOAT_EQ(ink.x0, 10);
    EXPECT_FLOAT_EQ(ink.y0, 10);
    EXPECT_FLOAT_EQ(ink.x1, 50);
    EXPECT_FLOAT_EQ(ink.y1, 50);
    EXPECT_EQ(pixel_at(image, 10.2f, 30).alpha(), 255);  // a crisp one-unit border on whole units
    EXPECT_EQ(pixel_at(image, 11.2f, 30).alpha(), 0);
    EXPECT_EQ(pixel_at(image, 30, 30).alpha(), 0);       // circles are outlines only
}

TEST_F(PainterTest, ShadowsFadeOutsideTheShape) {
    const Rect card{40, 40, 120, 100};
    QImage image = paint({160, 160}, 1, [&](Painter& p) {
        p.draw_shadow(card, 10, 16, {0, 6}, Color{0, 0, 0, 0.8f});
    });
    const float below[] = {106, 112, 118, 124};
    float previous = 1.1f;
    for (float y : below) {
        float a = pixel_at(image, 80, y).alphaF();
        EXPECT_LT(a, previous) << y;
        previous = a;
    }
    EXPECT_GT(pixel_at(image, 80, 108).alphaF(), 0.1);
    EXPECT_GT(pixel_at(image, 80, 75).alphaF(), 0.7);   // full under the middle
    EXPECT_EQ(pixel_at(image, 80, 150).alpha(), 0);     // nothing far away
    EXPECT_LT(pixel_at(image, 80, 36).alphaF(), pixel_at(image, 80, 112).alphaF());  // moved down
}

QByteArray encoded(const QImage& image, const char* format) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return bytes;
}

std::span<const std::uint8_t> as_span(const QByteArray& bytes) {
    return {reinterpret_cast<const std::uint8_t*>(bytes.constData()), static_cast<std::size_t>(bytes.size())};
}

TEST_F(PainterTest, ImagesDecodeAndDrawScaledOrInACircle) {
    QImage source(40, 20, QImage::Format_RGB32);
    source.fill(QColor(0, 0, 255));
    for (const char* format : {"PNG", "JPEG"}) {
        auto decoded = Image::decode(as_span(encoded(source, format)));
        ASSERT_TRUE(decoded.has_value()) << format;
        EXPECT_EQ(decoded->width(), 40);
        EXPECT_EQ(decoded->height(), 20);
    }
    const QByteArray junk("not an image at all");
    EXPECT_FALSE(Image::decode(as_span(junk)).has_value());
    EXPECT_FALSE(Image::decode({}).has_value());

    Image image = *Image::decode(as_span(encoded(source, "PNG")));
    QImage out = paint({100, 100}, 2, [&](Painter& p) {
        p.draw_image(image, {0, 0, 20, 10});
        // Scaled by 2 around (60, 60) the image spans 20..100 × 40..80; the circle clips it.
        p.draw_image_in_circle(image, {60, 60}, 15, 2);
    });
    EXPECT_EQ(pixel_at(out, 19, 9), QColor(0, 0, 255));
    EXPECT_EQ(pixel_at(out, 21, 9).alpha(), 0);
    EXPECT_EQ(pixel_at(out, 60, 60), QColor(0, 0, 255));
    EXPECT_EQ(pixel_at(out, 60, 46), QColor(0, 0, 255));
    EXPECT_EQ(pixel_at(out, 47, 47).alpha(), 0);  // corner of the circle's square
    EXPECT_EQ(pixel_at(out, 60, 76).alpha(), 0);  // outside the circle, inside the scaled image
}

TEST_F(PainterTest, ArcsTurnCounterClockwiseOnScreen) {
    Path quarter;
    quarter.arc({50, 50}, 20, 0, 90);
    ASSERT_FALSE(quarter.empty());
    EXPECT_EQ(quarter.elements().front().verb, Path::Verb::Move);
    EXPECT_NEAR(quarter.elements().front().p[0].x, 70, 1e-4);
    const auto& end = quarter.elements().back();
    ASSERT_EQ(end.verb, Path::Verb::Cubic);
    EXPECT_NEAR(end.p[2].x, 50, 1e-4);
    EXPECT_NEAR(end.p[2].y, 30, 1e-4);  // 90° is straight up

    // A path circle and a filled circle cover the same pixels.
    Path circle;
    circle.add_circle({30, 30}, 12);
    QImage a = paint({60, 60}, 2, [&](Painter& p) { p.fill_path(circle, kWhite); });
    QImage b = paint({60, 60}, 2, [&](Painter& p) { p.fill_circle({30, 30}, 12, kWhite); });
    int differing = 0;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) differing += std::abs(qAlpha(a.pixel(x, y)) - qAlpha(b.pixel(x, y))) > 40;
    }
    EXPECT_LT(differing, 8);

    // An inner contour cuts a hole.
    Path ring;
    ring.add_circle({30, 30}, 20).add_circle({30, 30}, 10);
    QImage r = paint({60, 60}, 1, [&](Painter& p) { p.fill_path(ring, kWhite); });
    EXPECT_EQ(pixel_at(r, 30, 30).alpha(), 0);
    EXPECT_EQ(pixel_at(r, 30, 15).alpha(), 255);
}

}  // namespace
}  // namespace mail::ui
