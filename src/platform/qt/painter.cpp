// Painter primitives over QPainter.
#include <QBrush>
#include <QPen>
#include <QTransform>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <list>
#include <mutex>
#include <tuple>

#include "platform/qt/qt_painter.h"

namespace mail::ui {

QPainterPath to_qpath(const Path& path) {
    QPainterPath out;
    out.setFillRule(Qt::OddEvenFill);
    for (const auto& e : path.elements()) {
        switch (e.verb) {
        case Path::Verb::Move: out.moveTo(to_qpoint(e.p[0])); break;
        case Path::Verb::Line: out.lineTo(to_qpoint(e.p[0])); break;
        case Path::Verb::Quad: out.quadTo(to_qpoint(e.p[0]), to_qpoint(e.p[1])); break;
        case Path::Verb::Cubic: out.cubicTo(to_qpoint(e.p[0]), to_qpoint(e.p[1]), to_qpoint(e.p[2])); break;
        case Path::Verb::Close: out.closeSubpath(); break;
        }
    }
    return out;
}

namespace {

Qt::PenCapStyle to_qcap(LineCap cap) {
    switch (cap) {
    case LineCap::Butt: return Qt::FlatCap;
    case LineCap::Square: return Qt::SquareCap;
    case LineCap::Round: break;
    }
    return Qt::RoundCap;
}

Qt::PenJoinStyle to_qjoin(LineJoin join) {
    switch (join) {
    case LineJoin::Miter: return Qt::MiterJoin;
    case LineJoin::Bevel: return Qt::BevelJoin;
    case LineJoin::Round: break;
    }
    return Qt::RoundJoin;
}

float clamp_radius(Rect r, float radius) {
    return std::clamp(radius, 0.0f, std::max(0.0f, std::min(r.width(), r.height()) / 2));
}

// Device pixels per layout unit under the painter's current transform.
double device_scale(QPainter* p) {
    const QTransform t = p->deviceTransform();
    double s = std::sqrt(std::abs(t.m11() * t.m22() - t.m12() * t.m21()));
    return s > 0 ? s : 1.0;
}

// One pass of a box blur of radius `r` along rows (stride 1) or columns (stride = width).
void box_blur_pass(std::vector<float>& src, std::vector<float>& dst, int count, int length, int step,
                   int stride_between, int r) {
    const float inv = 1.0f / (2 * r + 1);
    for (int line = 0; line < count; ++line) {
        const int base = line * stride_between;
        float sum = 0;
        auto at = [&](int i) { return (i < 0 || i >= length) ? 0.0f : src[base + i * step]; };
        for (int i = -r; i <= r; ++i) sum += at(i);
        for (int i = 0; i < length; ++i) {
            dst[base + i * step] = sum * inv;
            sum += at(i + r + 1) - at(i - r);
        }
    }
    std::swap(src, dst);
}

struct ShadowKey {
    int w, h, radius, blur;
    QRgb color;
    friend bool operator==(const ShadowKey&, const ShadowKey&) = default;
};

// Renders a blurred rounded rectangle (three box passes approximate a Gaussian).
QImage render_shadow(const ShadowKey& key, int margin) {
    const int width = key.w + 2 * margin;
    const int height = key.h + 2 * margin;
    QImage mask(width, height, QImage::Format_Alpha8);
    mask.fill(0);
    {
        QPainter mp(&mask);
        mp.setRenderHint(QPainter::Antialiasing);
        mp.setPen(Qt::NoPen);
        mp.setBrush(QColor(0, 0, 0, 255));
        mp.drawRoundedRect(QRectF(margin, margin, key.w, key.h), key.radius / 4.0, key.radius / 4.0);
    }
    std::vector<float> a(static_cast<std::size_t>(width) * height), b(a.size());
    for (int y = 0; y < height; ++y) {
        const uchar* line = mask.constScanLine(y);
        for (int x = 0; x < width; ++x) a[static_cast<std::size_t>(y) * width + x] = line[x] / 255.0f;
    }
    // Sigma is half the blur distance; three boxes of width w have variance (w² − 1) / 4.
    const double sigma = key.blur / 4.0 / 2.0;
    const int r = std::max(1, static_cast<int>(std::lround((std::sqrt(4.0 * sigma * sigma + 1) - 1) / 2.0)));
    for (int pass = 0; pass < 3; ++pass) box_blur_pass(a, b, height, width, 1, width, r);
    for (int pass = 0; pass < 3; ++pass) box_blur_pass(a, b, width, height, width, 1, r);

    QImage out(width, height, QImage::Format_ARGB32_Premultiplied);
    const float alpha = qAlpha(key.color) / 255.0f;
    for (int y = 0; y < height; ++y) {
        auto* line = reinterpret_cast<QRgb*>(out.scanLine(y));
        for (int x = 0; x < width; ++x) {
            float k = std::clamp(a[static_cast<std::size_t>(y) * width + x], 0.0f, 1.0f) * alpha;
            line[x] = qRgba(static_cast<int>(qRed(key.color) * k + 0.5f), static_cast<int>(qGreen(key.color) * k + 0.5f),
                            static_cast<int>(qBlue(key.color) * k + 0.5f), static_cast<int>(255 * k + 0.5f));
        }
    }
    return out;
}

// Shadows repeat from frame to frame with the same geometry: keep the last few.
QImage cached_shadow(const ShadowKey& key, int margin) {
    static std::mutex mutex;
    static std::list<std::pair<ShadowKey, QImage>> cache;
    std::lock_guard lock(mutex);
    for (auto it = cache.begin(); it != cache.end(); ++it) {
        if (it->first == key) {
            cache.splice(cache.begin(), cache, it);
            return cache.front().second;
        }
    }
    QImage image = render_shadow(key, margin);
    cache.emplace_front(key, image);
    if (cache.size() > 24) cache.pop_back();
    return image;
}

}  // namespace

void Painter::fill_rect(Rect rect, Color color) {
    if (rect.is_empty() || color.a <= 0) return;
    impl_->painter->fillRect(to_qrect(rect), to_qcolor(color));
}

void Painter::fill_rounded_rect(Rect rect, float radius, Color color) {
    if (rect.is_empty() || color.a <= 0) return;
    float r = clamp_radius(rect, radius);
    if (r <= 0) return fill_rect(rect, color);
    QPainter* p = impl_->painter;
    p->setPen(Qt::NoPen);
    p->setBrush(to_qcolor(color));
    p->drawRoundedRect(to_qrect(rect), r, r);
}

void Painter::stroke_rect(Rect rect, Color color, float width) {
    stroke_rounded_rect(rect, 0, color, width);
}

void Painter::stroke_rounded_rect(Rect rect, float radius, Color color, float width) {
    if (rect.is_empty() || color.a <= 0 || width <= 0) return;
    // The border lies inside the rectangle, so a 1-unit border on whole units stays crisp.
    Rect inner = rect.inset(width / 2);
    if (inner.width() < 0 || inner.height() < 0) return;
    QPainter* p = impl_->painter;
    QPen pen(to_qcolor(color), width);
    pen.setJoinStyle(radius > 0 ? Qt::RoundJoin : Qt::MiterJoin);
    p->setPen(pen);
    p->setBrush(Qt::NoBrush);
    float r = std::max(0.0f, clamp_radius(rect, radius) - width / 2);
    if (r > 0) {
        p->drawRoundedRect(to_qrect(inner), r, r);
    } else {
        p->drawRect(to_qrect(inner));
    }
}

void Painter::fill_circle(Point center, float radius, Color color) {
    if (radius <= 0 || color.a <= 0) return;
    QPainter* p = impl_->painter;
    p->setPen(Qt::NoPen);
    p->setBrush(to_qcolor(color));
    p->drawEllipse(to_qpoint(center), radius, radius);
}

void Painter::stroke_circle(Point center, float radius, Color color, float width) {
    if (radius <= 0 || color.a <= 0 || width <= 0) return;
    QPainter* p = impl_->painter;
    p->setPen(QPen(to_qcolor(color), width));
    p->setBrush(Qt::NoBrush);
    float r = std::max(0.0f, radius - width / 2);
    p->drawEllipse(to_qpoint(center), r, r);
}

void Painter::draw_line(Point from, Point to, Color color, float width) {
    if (color.a <= 0 || width <= 0) return;
    QPainter* p = impl_->painter;
    p->setPen(QPen(to_qcolor(color), width, Qt::SolidLine, Qt::FlatCap));
    p->drawLine(to_qpoint(from), to_qpoint(to));
}

void Painter::fill_path(const Path& path, Color color) {
    if (path.empty() || color.a <= 0) return;
    impl_->painter->fillPath(to_qpath(path), to_qcolor(color));
}

void Painter::stroke_path(const Path& path, Color color, Stroke stroke) {
    if (path.empty() || color.a <= 0 || stroke.width <= 0) return;
    QPainter* p = impl_->painter;
    p->setPen(QPen(to_qcolor(color), stroke.width, Qt::SolidLine, to_qcap(stroke.cap), to_qjoin(stroke.join)));
    p->setBrush(Qt::NoBrush);
    p->drawPath(to_qpath(path));
}

void Painter::draw_shadow(Rect rect, float radius, float blur, Point offset, Color color) {
    if (rect.is_empty() || color.a <= 0) return;
    Rect moved = rect.translated(offset.x, offset.y);
    if (blur < 0.5f) return fill_rounded_rect(moved, radius, color);
    QPainter* p = impl_->painter;
    const double scale = device_scale(p);
    // Quarter-pixel steps keep the cache keys few without visible rounding.
    ShadowKey key{static_cast<int>(std::lround(rect.width() * scale)), static_cast<int>(std::lround(rect.height() * scale)),
                  static_cast<int>(std::lround(clamp_radius(rect, radius) * scale * 4)),
                  static_cast<int>(std::lround(blur * scale * 4)), to_qcolor(color).rgba()};
    if (key.w <= 0 || key.h <= 0) return;
    const int margin = static_cast<int>(std::ceil(blur * scale * 1.25)) + 2;
    QImage image = cached_shadow(key, margin);
    QRectF target(moved.x0 - margin / scale, moved.y0 - margin / scale, image.width() / scale, image.height() / scale);
    p->drawImage(target, image);
}

std::optional<Image> Image::decode(std::span<const std::uint8_t> bytes) {
    if (bytes.empty()) return std::nullopt;
    QImage image;
    if (!image.loadFromData(bytes.data(), static_cast<int>(bytes.size())) || image.isNull() || image.width() <= 0 ||
        image.height() <= 0) {
        return std::nullopt;
    }
    auto data = std::make_shared<Data>();
    data->image = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    return Image(std::move(data));
}

int Image::width() const { return data_ ? data_->image.width() : 0; }
int Image::height() const { return data_ ? data_->image.height() : 0; }

void Painter::draw_image(const Image& image, Rect dest) {
    if (!image.data() || dest.is_empty() || image.width() <= 0 || image.height() <= 0) return;
    const QImage& img = image.data()->image;
    impl_->painter->drawImage(to_qrect(dest), img, QRectF(img.rect()));
}

void Painter::draw_image_in_circle(const Image& image, Point center, float radius, float scale) {
    if (!image.data() || radius <= 0 || scale <= 0 || image.width() <= 0 || image.height() <= 0) return;
    QPainter* p = impl_->painter;
    const QImage& img = image.data()->image;
    // A textured brush gives the circle an antialiased edge, which a clip path would not.
    QBrush brush(img);
    QTransform t;
    t.translate(center.x - img.width() * scale / 2.0, center.y - img.height() * scale / 2.0);
    t.scale(scale, scale);
    brush.setTransform(t);
    p->setPen(Qt::NoPen);
    p->setBrush(brush);
    p->drawEllipse(to_qpoint(center), radius, radius);
}

void Painter::push_clip(Rect rect) {
    impl_->painter->save();
    ++impl_->depth;
    impl_->painter->setClipRect(to_qrect(rect), Qt::IntersectClip);
}

void Painter::push_clip_rounded(Rect rect, float radius) {
    impl_->painter->save();
    ++impl_->depth;
    float r = clamp_radius(rect, radius);
    QPainterPath path;
    path.addRoundedRect(to_qrect(rect), r, r);
    impl_->painter->setClipPath(path, Qt::IntersectClip);
}

void Painter::pop_clip() {
    if (impl_->depth <= 0) return;
    --impl_->depth;
    impl_->painter->restore();
}

void Painter::push_opacity(float opacity) {
    impl_->painter->save();
    ++impl_->depth;
    impl_->painter->setOpacity(impl_->painter->opacity() * std::clamp(opacity, 0.0f, 1.0f));
}

void Painter::pop_opacity() { pop_clip(); }

void Painter::push_translation(float dx, float dy) {
    impl_->painter->save();
    ++impl_->depth;
    impl_->painter->translate(dx, dy);
}

void Painter::pop_translation() { pop_clip(); }

}  // namespace mail::ui
