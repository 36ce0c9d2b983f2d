#pragma once
// Internal to the toolkit: the Painter over a QPainter. The window layer builds a Painter over
// its own QPainter with it:  Painter::Impl impl(&qpainter); Painter painter(&impl);
#include <QColor>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QRectF>

#include "platform/ui/painter.h"

namespace mail::ui {

struct Painter::Impl {
    explicit Impl(QPainter* p) : painter(p) {
        painter->setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing |
                                QPainter::SmoothPixmapTransform);
    }
    QPainter* painter;
    int depth = 0;  // open pushes, for a sanity check at the end of a frame
};

struct Image::Data {
    QImage image;
};

inline QColor to_qcolor(Color c) {
    auto clamp01 = [](float v) { return v < 0 ? 0.0f : (v > 1 ? 1.0f : v); };
    return QColor::fromRgbF(clamp01(c.r), clamp01(c.g), clamp01(c.b), clamp01(c.a));
}

inline QRectF to_qrect(Rect r) { return QRectF(r.x0, r.y0, r.width(), r.height()); }
inline QPointF to_qpoint(Point p) { return QPointF(p.x, p.y); }

QPainterPath to_qpath(const Path& path);

// The QPainter behind a Painter.
inline QPainter* qpainter_of(Painter& painter) { return painter.impl()->painter; }

}  // namespace mail::ui
