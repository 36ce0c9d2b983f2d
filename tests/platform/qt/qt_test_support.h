#pragma once
// Painting into images for the toolkit's tests.
#include <QImage>
#include <QPainter>
#include <cmath>
#include <functional>

#include "platform/qt/qt_painter.h"
#include "platform/ui/offscreen.h"

namespace mail::ui::testing_support {

// An image of `size` units at `scale`, optionally claiming another resolution (dots per inch).
inline QImage paint(Size size, float scale, const std::function<void(Painter&)>& draw, int dpi = 0) {
    ensure_gui_application();
    QImage image(static_cast<int>(std::lround(size.width * scale)), static_cast<int>(std::lround(size.height * scale)),
                 QImage::Format_ARGB32_Premultiplied);
    if (dpi > 0) {
        image.setDotsPerMeterX(static_cast<int>(std::lround(dpi / 0.0254)));
        image.setDotsPerMeterY(static_cast<int>(std::lround(dpi / 0.0254)));
    }
    image.setDevicePixelRatio(scale);
    image.fill(Qt::transparent);
    QPainter qp(&image);
    Painter::Impl impl(&qp);
    Painter painter(&impl);
    draw(painter);
    qp.end();
    return image;
}

// The box of pixels whose alpha exceeds `threshold`, in layout units (pixels / scale).
struct Ink {
    bool any = false;
    float x0 = 0, y0 = 0, x1 = 0, y1 = 0;
};

inline Ink ink_bounds(const QImage& image, int threshold = 24) {
    Ink ink;
    int minx = image.width(), miny = image.height(), maxx = -1, maxy = -1;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (qAlpha(image.pixel(x, y)) > threshold) {
                minx = std::min(minx, x);
                maxx = std::max(maxx, x);
                miny = std::min(miny, y);
                maxy = std::max(maxy, y);
            }
        }
    }
    if (maxx < 0) return ink;
    const float s = static_cast<float>(image.devicePixelRatio());
    ink.any = true;
    ink.x0 = minx / s;
    ink.y0 = miny / s;
    ink.x1 = (maxx + 1) / s;
    ink.y1 = (maxy + 1) / s;
    return ink;
}

// The pixel under a layout-unit point.
inline QColor pixel_at(const QImage& image, float x, float y) {
    const float s = static_cast<float>(image.devicePixelRatio());
    return QColor::fromRgba(image.pixel(static_cast<int>(x * s), static_cast<int>(y * s)));
}

}  // namespace mail::ui::testing_support
