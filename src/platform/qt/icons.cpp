// The icon artwork, drawn on a 24-unit design grid and scaled to the requested square.
#include <algorithm>
#include <array>
#include <cmath>
#include <initializer_list>
#include <numbers>
#include <vector>

#include "platform/ui/icons.h"
#include "platform/ui/painter.h"

namespace mail::ui {
namespace {

constexpr float kGrid = 24;

struct P {
    float x, y;
};

// Builds paths in grid coordinates and paints them into the icon's square.
class Glyph {
public:
    Glyph(Painter& painter, Rect rect, Color color) : painter_(painter), color_(color) {
        const float side = std::max(0.0f, std::min(rect.width(), rect.height()));
        scale_ = side / kGrid;
        origin_ = {rect.center().x - side / 2, rect.center().y - side / 2};
        // 1.6 units at 16, growing more slowly than the icon so large icons stay light.
        const float device = side > 0 ? 1.6f * std::pow(side / 16.0f, 0.75f) : 0;
        width_ = scale_ > 0 ? device / scale_ : 0;
    }

    bool empty() const { return scale_ <= 0; }
    float width() const { return width_; }  // the line width in grid units

    // Rotates what follows by `degrees` (counter-clockwise on screen) around the grid centre.
    void rotate(float degrees) {
        rotation_ = degrees;
        const double r = degrees * std::numbers::pi / 180.0;
        cos_ = static_cast<float>(std::cos(r));
        sin_ = static_cast<float>(std::sin(r));
    }

    Point at(float x, float y) const {
        float dx = x - 12, dy = y - 12;
        float rx = dx * cos_ + dy * sin_;
        float ry = -dx * sin_ + dy * cos_;
        return {origin_.x + (12 + rx) * scale_, origin_.y + (12 + ry) * scale_};
    }

    Glyph& m(float x, float y) { path_.move_to(at(x, y)); return *this; }
    Glyph& l(float x, float y) { path_.line_to(at(x, y)); return *this; }
    Glyph& q(float cx, float cy, float x, float y) { path_.quad_to(at(cx, cy), at(x, y)); return *this; }
    Glyph& c(float x1, float y1, float x2, float y2, float x, float y) {
        path_.cubic_to(at(x1, y1), at(x2, y2), at(x, y));
        return *this;
    }
    Glyph& a(float cx, float cy, float r, float start, float sweep) {
        path_.arc(at(cx, cy), r * scale_, start + rotation_, sweep);
        return *this;
    }
    Glyph& z() { path_.close(); return *this; }

    Glyph& line(float x0, float y0, float x1, float y1) { return m(x0, y0).l(x1, y1); }
    Glyph& circle(float cx, float cy, float r) {
        path_.add_circle(at(cx, cy), r * scale_);
        return *this;
    }
    Glyph& ellipse(float cx, float cy, float rx, float ry) {
        constexpr float k = 0.5522848f;
        m(cx + rx, cy);
        c(cx + rx, cy + ry * k, cx + rx * k, cy + ry, cx, cy + ry);
        c(cx - rx * k, cy + ry, cx - rx, cy + ry * k, cx - rx, cy);
        c(cx - rx, cy - ry * k, cx - rx * k, cy - ry, cx, cy - ry);
        c(cx + rx * k, cy - ry, cx + rx, cy - ry * k, cx + rx, cy);
        return z();
    }

    // A polyline whose corners are rounded by `radius` (clamped to half of each segment).
    Glyph& poly(std::initializer_list<P> points, bool closed = false, float radius = 0) {
        std::vector<P> pts(points);
        return poly(pts, closed, radius);
    }
    Glyph& poly(const std::vector<P>& pts, bool closed, float radius) {
        const std::size_t n = pts.size();
        if (n < 2) return *this;
        auto towards = [](P from, P to, float d) {
            float dx = to.x - from.x, dy = to.y - from.y;
            float len = std::hypot(dx, dy);
            if (len <= 0) return from;
            float t = std::min(d, len / 2) / len;
            return P{from.x + dx * t, from.y + dy * t};
        };
        auto corner = [&](std::size_t i, bool first) {
            const P prev = pts[(i + n - 1) % n], here = pts[i], next = pts[(i + 1) % n];
            P in = towards(here, prev, radius), out = towards(here, next, radius);
            if (first) {
                m(in.x, in.y);
            } else {
                l(in.x, in.y);
            }
            q(here.x, here.y, out.x, out.y);
        };
        if (closed) {
            for (std::size_t i = 0; i < n; ++i) {
                if (radius > 0) {
                    corner(i, i == 0);
                } else if (i == 0) {
                    m(pts[i].x, pts[i].y);
                } else {
                    l(pts[i].x, pts[i].y);
                }
            }
            return z();
        }
        m(pts[0].x, pts[0].y);
        for (std::size_t i = 1; i + 1 < n; ++i) {
            if (radius > 0) {
                corner(i, false);
            } else {
                l(pts[i].x, pts[i].y);
            }
        }
        return l(pts[n - 1].x, pts[n - 1].y);
    }

    Glyph& rrect(float x0, float y0, float x1, float y1, float r) {
        return poly({{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}}, true, r);
    }

    // The outline of a stroke along `pts` with round caps, as a closed contour for cut-outs.
    Glyph& outline(std::initializer_list<P> points, float w) {
        std::vector<P> pts(points);
        const float h = w / 2;
        const std::size_t n = pts.size();
        if (n < 2) return *this;
        std::vector<P> normals;
        for (std::size_t i = 0; i + 1 < n; ++i) {
            float dx = pts[i + 1].x - pts[i].x, dy = pts[i + 1].y - pts[i].y;
            float len = std::max(1e-6f, std::hypot(dx, dy));
            normals.push_back({-dy / len, dx / len});
        }
        auto offset_side = [&](float sign, std::vector<P>& out) {
            out.push_back({pts[0].x + sign * normals[0].x * h, pts[0].y + sign * normals[0].y * h});
            for (std::size_t i = 1; i + 1 < n; ++i) {
                P n0 = normals[i - 1], n1 = normals[i];
                P mid{n0.x + n1.x, n0.y + n1.y};
                float len = std::max(1e-6f, std::hypot(mid.x, mid.y));
                mid = {mid.x / len, mid.y / len};
                float k = h / std::max(0.3f, mid.x * n1.x + mid.y * n1.y);
                out.push_back({pts[i].x + sign * mid.x * k, pts[i].y + sign * mid.y * k});
            }
            out.push_back({pts[n - 1].x + sign * normals[n - 2].x * h, pts[n - 1].y + sign * normals[n - 2].y * h});
        };
        std::vector<P> left, right;
        offset_side(1, left);
        offset_side(-1, right);
        auto cap = [&](P centre, P from_normal, std::vector<P>& out) {
            // Half a circle from +normal to −normal, bulging away from the line.
            float base = std::atan2(from_normal.y, from_normal.x);
            for (int k = 1; k < 8; ++k) {
                float t = base - static_cast<float>(std::numbers::pi) * k / 8;
                out.push_back({centre.x + std::cos(t) * h, centre.y + std::sin(t) * h});
            }
        };
        std::vector<P> contour = left;
        cap(pts[n - 1], normals[n - 2], contour);
        for (auto it = right.rbegin(); it != right.rend(); ++it) contour.push_back(*it);
        cap(pts[0], P{-normals[0].x, -normals[0].y}, contour);
        return poly(contour, true, 0);
    }

    void stroke(float factor = 1) {
        if (!path_.empty()) painter_.stroke_path(path_, color_, Stroke{width_ * factor * scale_});
        path_ = Path();
    }
    void fill() {
        if (!path_.empty()) painter_.fill_path(path_, color_);
        path_ = Path();
    }
    void dot(float cx, float cy, float r) { painter_.fill_circle(at(cx, cy), r * scale_, color_); }

private:
    Painter& painter_;
    Color color_;
    Path path_;
    Point origin_{};
    float scale_ = 0;
    float width_ = 0;
    float rotation_ = 0, cos_ = 1, sin_ = 0;
};

// --- shared shapes -----------------------------------------------------------------------------

void star_path(Glyph& g) {
    std::vector<P> pts;
    const float cx = 12, cy = 12.7f, outer = 9.6f, inner = 4.6f;
    for (int i = 0; i < 10; ++i) {
        float r = i % 2 == 0 ? outer : inner;
        float t = static_cast<float>(-std::numbers::pi / 2 + i * std::numbers::pi / 5);
        pts.push_back({cx + r * std::cos(t), cy + r * std::sin(t)});
    }
    g.poly(pts, true, 0.9f);
}

void envelope_flap(Glyph& g) { g.poly({{4, 7.6f}, {12, 13.2f}, {20, 7.6f}}, false, 1.2f); }

void trash_can(Glyph& g) {
    g.line(3.5f, 6.5f, 20.5f, 6.5f);
    g.poly({{9, 6.5f}, {9, 3.8f}, {15, 3.8f}, {15, 6.5f}}, false, 1.2f);
    g.m(5.6f, 6.5f).l(6.5f, 18.4f).q(6.7f, 20.4f, 8.7f, 20.4f).l(15.3f, 20.4f).q(17.3f, 20.4f, 17.5f, 18.4f).l(18.4f, 6.5f);
}

void reply_arrow(Glyph& g, float head_x, float tail_end_x, bool mirrored) {
    auto X = [&](float x) { return mirrored ? 24 - x : x; };
    g.poly({{X(head_x + 5.5f), 6}, {X(head_x), 11.5f}, {X(head_x + 5.5f), 17}}, false, 0);
    g.m(X(head_x), 11.5f).l(X(tail_end_x - 6), 11.5f).c(X(tail_end_x - 2.5f), 11.5f, X(tail_end_x), 13.8f, X(tail_end_x), 17.5f)
        .l(X(tail_end_x), 19);
}

void exclamation(Glyph& g, float top, float bottom, float dot_y) {
    g.line(12, top, 12, bottom);
    g.stroke();
    g.dot(12, dot_y, g.width() * 0.62f);
}

void paper_clip(Glyph& g) {
    g.m(14, 9).l(14, 15.5f).a(12, 15.5f, 2, 0, -180).l(10, 6.8f).a(13, 6.8f, 3, 180, -180).l(16, 16.3f)
        .a(12, 16.3f, 4, 0, -180).l(8, 9);
}

void check_mark(Glyph& g) { g.poly({{5, 12.6f}, {9.6f, 17.2f}, {19, 7.2f}}, false, 0.6f); }

// --- outline forms ------------------------------------------------------------------------------

void draw_outline(Glyph& g, IconName name) {
    switch (name) {
    case IconName::Inbox:
        g.rrect(3.5f, 4.5f, 20.5f, 19.5f, 2.8f);
        g.poly({{3.5f, 13}, {8, 13}, {9.6f, 15.6f}, {14.4f, 15.6f}, {16, 13}, {20.5f, 13}}, false, 0.8f);
        break;
    case IconName::Star: star_path(g); break;
    case IconName::Sent:
        g.poly({{20.8f, 3.2f}, {3.2f, 10.6f}, {10.4f, 13.6f}, {13.4f, 20.8f}}, true, 0.8f);
        g.line(20.8f, 3.2f, 10.4f, 13.6f);
        break;
    case IconName::Drafts:
        g.m(4.2f, 19.8f).l(5.2f, 15.2f).l(15.4f, 5).a(17.4f, 7, 2.83f, 135, -180).l(8.8f, 18.8f).z();
        g.line(13.3f, 7.1f, 16.9f, 10.7f);
        break;
    case IconName::Archive:
        g.rrect(3, 4, 21, 8.6f, 1.6f);
        g.m(4.6f, 8.6f).l(4.6f, 18).q(4.6f, 20, 6.6f, 20).l(17.4f, 20).q(19.4f, 20, 19.4f, 18).l(19.4f, 8.6f);
        g.line(10, 12.5f, 14, 12.5f);
        break;
    case IconName::Trash:
        trash_can(g);
        g.line(10, 10.5f, 10, 16.5f).line(14, 10.5f, 14, 16.5f);
        break;
    case IconName::TrashX:
        trash_can(g);
        g.line(9.9f, 11, 14.1f, 15.6f).line(14.1f, 11, 9.9f, 15.6f);
        break;
    case IconName::Junk:
        g.m(12, 3).l(19.5f, 5.8f).l(19.5f, 11.4f).c(19.5f, 15.9f, 16.4f, 19.3f, 12, 21)
            .c(7.6f, 19.3f, 4.5f, 15.9f, 4.5f, 11.4f).l(4.5f, 5.8f).z();
        exclamation(g, 8, 12.4f, 15.9f);
        break;
    case IconName::Folder:
        g.poly({{3.5f, 5}, {9.4f, 5}, {11.4f, 7.6f}, {20.5f, 7.6f}, {20.5f, 19}, {3.5f, 19}}, true, 2);
        break;
    case IconName::Envelope:
        g.rrect(3, 5, 21, 19, 2.6f);
        envelope_flap(g);
        break;
    case IconName::EnvelopeDot:
        g.poly({{13.2f, 5}, {3, 5}, {3, 19}, {21, 19}, {21, 11.2f}}, false, 2.6f);
        g.poly({{4, 7.6f}, {11.4f, 12.8f}, {14.6f, 10.6f}}, false, 1.2f);
        g.stroke();
        g.dot(19, 5.6f, 3.1f);
        break;
    case IconName::EnvelopeOpen:
        g.poly({{3, 10}, {12, 3.8f}, {21, 10}, {21, 18}, {3, 18}}, true, 2);
        g.poly({{3.8f, 10.8f}, {12, 16}, {20.2f, 10.8f}}, false, 1.2f);
        break;
    case IconName::Reply: reply_arrow(g, 4, 20, false); break;
    case IconName::ReplyAll:
        g.poly({{7.2f, 7}, {2.6f, 11.5f}, {7.2f, 16}}, false, 0);
        reply_arrow(g, 7.4f, 21, false);
        break;
    case IconName::Forward: reply_arrow(g, 4, 20, true); break;
    case IconName::Compose:
        g.poly({{12, 4.5f}, {4.5f, 4.5f}, {4.5f, 19.5f}, {19.5f, 19.5f}, {19.5f, 12}}, false, 2.6f);
        g.m(9.6f, 14.4f).l(10.3f, 11.5f).l(17.4f, 4.4f).a(18.5f, 5.5f, 1.56f, 135, -180).l(12.5f, 13.7f).z();
        break;
    case IconName::Send:
        g.poly({{3.6f, 4.2f}, {21, 12}, {3.6f, 19.8f}, {6.8f, 12}}, true, 1.2f);
        g.line(6.8f, 12, 12.5f, 12);
        break;
    case IconName::Attach:
        g.rotate(-42);
        paper_clip(g);
        break;
    case IconName::PaperClip: paper_clip(g); break;
    case IconName::Search:
        g.circle(10.6f, 10.6f, 6.6f);
        g.line(15.4f, 15.4f, 20.4f, 20.4f);
        break;
    case IconName::Clear:
        g.circle(12, 12, 9);
        g.line(9.2f, 9.2f, 14.8f, 14.8f).line(14.8f, 9.2f, 9.2f, 14.8f);
        break;
    case IconName::Refresh: {
        const float start = 30, sweep = -300;
        const float cx = 12, cy = 12.6f, r = 7.2f;
        g.a(cx, cy, r, start, sweep);
        // The head at the end of the clockwise sweep, pointing along it.
        const double end = (start + sweep) * std::numbers::pi / 180;
        const P tip{cx + r * static_cast<float>(std::cos(end)), cy - r * static_cast<float>(std::sin(end))};
        const P dir{static_cast<float>(std::sin(end)), static_cast<float>(std::cos(end))};
        const P side{-dir.y, dir.x};
        const float k = 3.2f;
        g.poly({{tip.x - dir.x * k + side.x * k, tip.y - dir.y * k + side.y * k},
                {tip.x, tip.y},
                {tip.x - dir.x * k - side.x * k, tip.y - dir.y * k - side.y * k}},
               false, 0);
        break;
    }
    case IconName::Check: check_mark(g); break;
    case IconName::SelectionBox: g.rrect(4, 4, 20, 20, 4); break;
    case IconName::Plus: g.line(12, 5, 12, 19).line(5, 12, 19, 12); break;
    case IconName::Minus: g.line(5, 12, 19, 12); break;
    case IconName::Close: g.line(6, 6, 18, 18).line(18, 6, 6, 18); break;
    case IconName::Back:
        g.line(19.5f, 12, 4.8f, 12);
        g.poly({{11, 5.8f}, {4.8f, 12}, {11, 18.2f}}, false, 0);
        break;
    case IconName::More:
        g.dot(5.5f, 12, 1.75f);
        g.dot(12, 12, 1.75f);
        g.dot(18.5f, 12, 1.75f);
        break;
    case IconName::Menu: g.line(4, 6.5f, 20, 6.5f).line(4, 12, 20, 12).line(4, 17.5f, 20, 17.5f); break;
    case IconName::Gear: {
        std::vector<P> pts;
        const float outer = 9.4f, inner = 7.0f;
        for (int k = 0; k < 8; ++k) {
            const float t = k * 45.0f;
            for (float d : {-17.0f, -8.5f, 8.5f, 17.0f}) {
                float r = std::abs(d) > 10 ? inner : outer;
                float rad = static_cast<float>((t + d) * std::numbers::pi / 180);
                pts.push_back({12 + r * std::cos(rad), 12 + r * std::sin(rad)});
            }
        }
        g.poly(pts, true, 0.7f);
        g.circle(12, 12, 3);
        break;
    }
    case IconName::ChevronDown: g.poly({{6, 9}, {12, 15}, {18, 9}}, false, 0); break;
    case IconName::ChevronUp: g.poly({{6, 15}, {12, 9}, {18, 15}}, false, 0); break;
    case IconName::ChevronRight: g.poly({{9, 6}, {15, 12}, {9, 18}}, false, 0); break;
    case IconName::ChevronLeft: g.poly({{15, 6}, {9, 12}, {15, 18}}, false, 0); break;
    case IconName::External:
        g.poly({{11, 4.8f}, {4.8f, 4.8f}, {4.8f, 19.2f}, {19.2f, 19.2f}, {19.2f, 13}}, false, 2.4f);
        g.line(10.5f, 13.5f, 19.5f, 4.5f);
        g.poly({{13.5f, 4.5f}, {19.5f, 4.5f}, {19.5f, 10.5f}}, false, 0);
        break;
    case IconName::Restore:
        g.rrect(4, 8.5f, 15.5f, 20, 2.2f);
        g.poly({{8.5f, 8.5f}, {8.5f, 4}, {20, 4}, {20, 15.5f}, {15.5f, 15.5f}}, false, 2.2f);
        break;
    case IconName::Picture:
        g.rrect(3.5f, 4.5f, 20.5f, 19.5f, 2.8f);
        g.poly({{3.8f, 17.6f}, {9.2f, 12.4f}, {13.6f, 16.6f}, {16.2f, 14.2f}, {20.2f, 18}}, false, 0.8f);
        g.stroke();
        g.dot(15.2f, 9.2f, 1.8f);
        break;
    case IconName::Document:
        g.poly({{6, 3.5f}, {13.8f, 3.5f}, {18.5f, 8.2f}, {18.5f, 20.5f}, {6, 20.5f}}, true, 1.8f);
        g.poly({{13.6f, 3.7f}, {13.6f, 8.4f}, {18.3f, 8.4f}}, false, 0.6f);
        g.line(9.2f, 13, 15.2f, 13).line(9.2f, 16.6f, 15.2f, 16.6f);
        break;
    case IconName::Calendar:
        g.rrect(3.5f, 5, 20.5f, 20, 2.6f);
        g.line(3.5f, 9.8f, 20.5f, 9.8f);
        g.line(8, 3, 8, 6.6f).line(16, 3, 16, 6.6f);
        g.stroke();
        for (float x : {8.0f, 12.0f, 16.0f}) g.dot(x, 14, 1.05f);
        g.dot(8, 17, 1.05f);
        g.dot(12, 17, 1.05f);
        break;
    case IconName::Save:
        g.poly({{4, 4}, {16.4f, 4}, {20, 7.6f}, {20, 20}, {4, 20}}, true, 2);
        g.poly({{8, 4.2f}, {8, 8.4f}, {14.6f, 8.4f}, {14.6f, 4.2f}}, false, 0.8f);
        g.poly({{7.5f, 19.8f}, {7.5f, 13.4f}, {16.5f, 13.4f}, {16.5f, 19.8f}}, false, 0.8f);
        break;
    case IconName::Download:
        g.line(12, 3.8f, 12, 15);
        g.poly({{7.2f, 10.4f}, {12, 15.2f}, {16.8f, 10.4f}}, false, 0);
        g.line(5, 19.6f, 19, 19.6f);
        break;
    case IconName::Link:
        g.rotate(45);
        g.rrect(2.4f, 8.6f, 13.6f, 15.4f, 3.4f);
        g.rrect(10.4f, 8.6f, 21.6f, 15.4f, 3.4f);
        break;
    case IconName::Code:
        g.poly({{8.4f, 6.8f}, {3.4f, 12}, {8.4f, 17.2f}}, false, 0);
        g.poly({{15.6f, 6.8f}, {20.6f, 12}, {15.6f, 17.2f}}, false, 0);
        g.line(13.6f, 4.8f, 10.4f, 19.2f);
        break;
    case IconName::Eye:
        g.m(2.6f, 12).c(5, 7.4f, 8.4f, 5.4f, 12, 5.4f).c(15.6f, 5.4f, 19, 7.4f, 21.4f, 12)
            .c(19, 16.6f, 15.6f, 18.6f, 12, 18.6f).c(8.4f, 18.6f, 5, 16.6f, 2.6f, 12).z();
        g.circle(12, 12, 3.1f);
        break;
    case IconName::EyeOff:
        g.m(6.6f, 7.2f).c(4.9f, 8.4f, 3.6f, 10.1f, 2.6f, 12).c(5, 16.6f, 8.4f, 18.6f, 12, 18.6f)
            .c(13.8f, 18.6f, 15.5f, 18.1f, 17, 17.3f);
        g.m(10, 5.6f).c(10.6f, 5.5f, 11.3f, 5.4f, 12, 5.4f).c(15.6f, 5.4f, 19, 7.4f, 21.4f, 12)
            .c(20.8f, 13.2f, 20.1f, 14.3f, 19.3f, 15.2f);
        g.m(9.9f, 9.8f).c(9.3f, 10.4f, 8.9f, 11.2f, 8.9f, 12).c(8.9f, 13.7f, 10.3f, 15.1f, 12, 15.1f)
            .c(12.8f, 15.1f, 13.6f, 14.8f, 14.2f, 14.2f);
        g.line(3.5f, 3.5f, 20.5f, 20.5f);
        break;
    case IconName::Blocked:
        g.circle(12, 12, 8.8f);
        g.line(5.8f, 5.8f, 18.2f, 18.2f);
        break;
    case IconName::Info:
        g.circle(12, 12, 9);
        g.line(12, 11, 12, 16.6f);
        g.stroke();
        g.dot(12, 7.8f, g.width() * 0.62f);
        break;
    case IconName::Warning:
        g.poly({{12, 3.4f}, {21.6f, 20}, {2.4f, 20}}, true, 2.4f);
        exclamation(g, 9.4f, 13.6f, 16.7f);
        break;
    case IconName::Error:
        g.circle(12, 12, 9);
        exclamation(g, 7.4f, 12.6f, 16.3f);
        break;
    case IconName::CheckCircle:
        g.circle(12, 12, 9);
        g.poly({{8, 12.4f}, {10.8f, 15.2f}, {16.2f, 9.4f}}, false, 0.5f);
        break;
    case IconName::Help:
        g.circle(12, 12, 9);
        g.m(9.4f, 9.6f).c(9.4f, 8, 10.6f, 6.9f, 12.1f, 6.9f).c(13.6f, 6.9f, 14.8f, 8, 14.8f, 9.4f)
            .c(14.8f, 11.4f, 12.1f, 11.6f, 12.1f, 13.6f);
        g.stroke();
        g.dot(12.1f, 16.8f, g.width() * 0.62f);
        break;
    case IconName::Spinner: g.a(12, 12, 8, 90, -270); break;
    case IconName::Offline:
        g.m(7.2f, 18.6f).c(4.8f, 18.6f, 3, 16.8f, 3, 14.6f).c(3, 12.6f, 4.5f, 11, 6.5f, 10.8f)
            .c(7.1f, 8.2f, 8.4f, 6.7f, 10.2f, 6.1f);
        g.m(14.2f, 6.2f).c(16.6f, 7, 18.4f, 9.1f, 18.8f, 11.6f).c(20.3f, 12.1f, 21.2f, 13.3f, 21.2f, 14.9f)
            .c(21.2f, 15.9f, 20.8f, 16.8f, 20.1f, 17.5f);
        g.m(16.6f, 18.6f).l(7.2f, 18.6f);
        g.line(3.6f, 3.6f, 20.4f, 20.4f);
        break;
    case IconName::Bold:
        g.m(7, 4.5f).l(12.8f, 4.5f).c(15.3f, 4.5f, 16.9f, 6.1f, 16.9f, 8.2f).c(16.9f, 10.3f, 15.3f, 11.9f, 12.8f, 11.9f)
            .l(7, 11.9f).z();
        g.m(7, 11.9f).l(13.8f, 11.9f).c(16.4f, 11.9f, 18, 13.6f, 18, 15.7f).c(18, 17.9f, 16.4f, 19.5f, 13.8f, 19.5f)
            .l(7, 19.5f).z();
        g.stroke(1.2f);
        return;
    case IconName::Italic:
        g.line(10, 4.5f, 18, 4.5f).line(6, 19.5f, 14, 19.5f).line(14, 4.5f, 10, 19.5f);
        break;
    case IconName::Underline:
        g.m(7, 4).l(7, 10.6f).c(7, 13.6f, 9.2f, 15.8f, 12, 15.8f).c(14.8f, 15.8f, 17, 13.6f, 17, 10.6f).l(17, 4);
        g.line(5.5f, 20, 18.5f, 20);
        break;
    case IconName::Strikethrough:
        g.m(16.6f, 7.2f).c(15.9f, 5.3f, 14.1f, 4.3f, 12, 4.3f).c(9.3f, 4.3f, 7.5f, 5.8f, 7.5f, 8)
            .c(7.5f, 9.5f, 8.3f, 10.5f, 9.8f, 11.1f);
        g.line(4, 12.2f, 20, 12.2f);
        g.m(14.8f, 13.6f).c(16.1f, 14.3f, 16.7f, 15.3f, 16.7f, 16.4f).c(16.7f, 18.5f, 14.8f, 19.8f, 12, 19.8f)
            .c(9.6f, 19.8f, 7.8f, 18.8f, 7.2f, 17);
        break;
    case IconName::Heading: g.line(6.5f, 5, 6.5f, 19).line(17.5f, 5, 17.5f, 19).line(6.5f, 12, 17.5f, 12); break;
    case IconName::BulletList:
        g.line(9.5f, 6.5f, 20, 6.5f).line(9.5f, 12, 20, 12).line(9.5f, 17.5f, 20, 17.5f);
        g.stroke();
        for (float y : {6.5f, 12.0f, 17.5f}) g.dot(4.8f, y, 1.45f);
        break;
    case IconName::NumberedList:
        g.line(11, 7.5f, 20.5f, 7.5f).line(11, 16.5f, 20.5f, 16.5f);
        g.stroke();
        g.poly({{4.2f, 5.8f}, {5.9f, 4.8f}, {5.9f, 10.2f}}, false, 0);
        g.m(3.9f, 14.6f).c(4, 13.6f, 4.8f, 13, 5.8f, 13).c(6.9f, 13, 7.7f, 13.7f, 7.7f, 14.7f)
            .c(7.7f, 15.9f, 4, 17.6f, 4, 19).l(7.9f, 19);
        g.stroke(0.72f);
        return;
    case IconName::Quote:
        for (float dx : {0.0f, 8.4f}) {
            g.m(4.9f + dx, 14.2f).c(4.9f + dx, 10.6f, 6.3f + dx, 8, 9.6f + dx, 6.6f);
            g.circle(7.4f + dx, 14.4f, 2.5f);
        }
        g.stroke();
        return;
    case IconName::User:
        g.circle(12, 8, 4);
        g.m(4.5f, 20).c(4.5f, 16.1f, 7.8f, 13.8f, 12, 13.8f).c(16.2f, 13.8f, 19.5f, 16.1f, 19.5f, 20);
        break;
    case IconName::Lock:
        g.rrect(5, 10.5f, 19, 20.5f, 2.6f);
        g.m(8, 10.5f).l(8, 7.6f).a(12, 7.6f, 4, 180, -180).l(16, 10.5f);
        g.stroke();
        g.dot(12, 15.5f, g.width() * 0.7f);
        break;
    case IconName::Key:
        g.circle(8, 16, 4.4f);
        g.line(11.2f, 12.8f, 20, 4);
        g.line(16.8f, 7.2f, 19.4f, 9.8f).line(14.6f, 9.4f, 16.4f, 11.2f);
        break;
    case IconName::Globe:
        g.circle(12, 12, 9);
        g.ellipse(12, 12, 3.9f, 9);
        g.line(3.2f, 12, 20.8f, 12);
        break;
    case IconName::Server:
        g.rrect(4, 4, 20, 10.6f, 2.2f);
        g.rrect(4, 13.4f, 20, 20, 2.2f);
        g.stroke();
        g.dot(7.8f, 7.3f, 1.1f);
        g.dot(7.8f, 16.7f, 1.1f);
        break;
    case IconName::Tag:
        g.poly({{3.5f, 3.5f}, {11.4f, 3.5f}, {20.5f, 12.6f}, {12.6f, 20.5f}, {3.5f, 11.4f}}, true, 2.2f);
        g.stroke();
        g.dot(8.2f, 8.2f, 1.6f);
        break;
    case IconName::Keyboard:
        g.rrect(2.5f, 5.5f, 21.5f, 18.5f, 2.6f);
        g.line(8, 15, 16, 15);
        g.stroke();
        for (float x : {6.5f, 10.2f, 13.8f, 17.5f}) g.dot(x, 9.4f, 1.0f);
        for (float x : {6.5f, 17.5f}) g.dot(x, 15, 1.0f);
        return;
    }
    g.stroke();
}

// --- filled forms -------------------------------------------------------------------------------

bool draw_solid(Glyph& g, IconName name) {
    const float w = g.width();
    const float h = w / 2;
    switch (name) {
    case IconName::Star:
        star_path(g);
        g.fill();
        star_path(g);
        g.stroke();
        return true;
    case IconName::Info:
        g.circle(12, 12, 9 + h);
        g.outline({{12, 11}, {12, 16.6f}}, w);
        g.circle(12, 7.8f, w * 0.62f);
        g.fill();
        return true;
    case IconName::Error:
        g.circle(12, 12, 9 + h);
        g.outline({{12, 7.4f}, {12, 12.6f}}, w);
        g.circle(12, 16.3f, w * 0.62f);
        g.fill();
        return true;
    case IconName::Help:
        g.circle(12, 12, 9 + h);
        g.outline({{9.5f, 9.4f}, {10.4f, 7.5f}, {12.1f, 6.9f}, {13.9f, 7.6f}, {14.8f, 9.4f}, {14, 11}, {12.1f, 12.3f},
                   {12.1f, 13.6f}},
                  w);
        g.circle(12.1f, 16.8f, w * 0.62f);
        g.fill();
        return true;
    case IconName::CheckCircle:
        g.circle(12, 12, 9 + h);
        g.outline({{8, 12.4f}, {10.8f, 15.2f}, {16.2f, 9.4f}}, w);
        g.fill();
        return true;
    case IconName::Clear: {
        g.circle(12, 12, 9 + h);
        // The cross as one contour, so the even-odd fill cuts it out whole.
        const float arm = 4.0f, half = h;
        std::vector<P> plus;
        auto add = [&](float x, float y) {
            const float k = 0.70710678f;
            plus.push_back({12 + (x - y) * k, 12 + (x + y) * k});
        };
        add(half, -half); add(arm, -half); add(arm, half); add(half, half); add(half, arm); add(-half, arm);
        add(-half, half); add(-arm, half); add(-arm, -half); add(-half, -half); add(-half, -arm); add(half, -arm);
        g.poly(plus, true, 0);
        g.fill();
        return true;
    }
    case IconName::Warning:
        g.poly({{12, 3.4f}, {21.6f, 20}, {2.4f, 20}}, true, 2.4f);
        g.outline({{12, 9.4f}, {12, 13.6f}}, w);
        g.circle(12, 16.7f, w * 0.62f);
        g.fill();
        g.poly({{12, 3.4f}, {21.6f, 20}, {2.4f, 20}}, true, 2.4f);
        g.stroke();
        return true;
    case IconName::SelectionBox:
        g.rrect(4 - h, 4 - h, 20 + h, 20 + h, 4 + h);
        g.outline({{7.6f, 12.2f}, {10.6f, 15.2f}, {16.6f, 8.8f}}, w);
        g.fill();
        return true;
    case IconName::Envelope:
        g.rrect(3 - h, 5 - h, 21 + h, 19 + h, 2.6f + h);
        g.outline({{4.6f, 8}, {12, 13.2f}, {19.4f, 8}}, w);
        g.fill();
        return true;
    case IconName::Tag:
        g.poly({{3.5f, 3.5f}, {11.4f, 3.5f}, {20.5f, 12.6f}, {12.6f, 20.5f}, {3.5f, 11.4f}}, true, 2.2f);
        g.circle(8.2f, 8.2f, 1.7f);
        g.fill();
        g.poly({{3.5f, 3.5f}, {11.4f, 3.5f}, {20.5f, 12.6f}, {12.6f, 20.5f}, {3.5f, 11.4f}}, true, 2.2f);
        g.stroke();
        return true;
    case IconName::User:
        g.circle(12, 8, 4 + h);
        g.fill();
        g.m(4.5f, 20).c(4.5f, 16.1f, 7.8f, 13.8f, 12, 13.8f).c(16.2f, 13.8f, 19.5f, 16.1f, 19.5f, 20).z();
        g.fill();
        g.m(4.5f, 20).c(4.5f, 16.1f, 7.8f, 13.8f, 12, 13.8f).c(16.2f, 13.8f, 19.5f, 16.1f, 19.5f, 20).z();
        g.stroke();
        return true;
    case IconName::Lock:
        g.rrect(5 - h, 10.5f - h, 19 + h, 20.5f + h, 2.6f + h);
        g.circle(12, 15.5f, w * 0.72f);
        g.fill();
        g.m(8, 10.5f).l(8, 7.6f).a(12, 7.6f, 4, 180, -180).l(16, 10.5f);
        g.stroke();
        return true;
    case IconName::Folder:
        g.poly({{3.5f, 5}, {9.4f, 5}, {11.4f, 7.6f}, {20.5f, 7.6f}, {20.5f, 19}, {3.5f, 19}}, true, 2);
        g.fill();
        g.poly({{3.5f, 5}, {9.4f, 5}, {11.4f, 7.6f}, {20.5f, 7.6f}, {20.5f, 19}, {3.5f, 19}}, true, 2);
        g.stroke();
        return true;
    default: return false;
    }
}

constexpr std::array kAll = {
    IconName::Inbox, IconName::Star, IconName::Sent, IconName::Drafts, IconName::Archive, IconName::Trash,
    IconName::TrashX, IconName::Junk, IconName::Folder, IconName::Envelope, IconName::EnvelopeDot,
    IconName::EnvelopeOpen, IconName::Reply, IconName::ReplyAll, IconName::Forward, IconName::Compose,
    IconName::Send, IconName::Attach, IconName::PaperClip, IconName::Search, IconName::Clear, IconName::Refresh,
    IconName::Check, IconName::SelectionBox, IconName::Plus, IconName::Minus, IconName::Close, IconName::Back,
    IconName::More, IconName::Menu, IconName::Gear, IconName::ChevronDown, IconName::ChevronRight,
    IconName::ChevronLeft, IconName::ChevronUp, IconName::External, IconName::Restore, IconName::Picture,
    IconName::Document, IconName::Calendar, IconName::Save, IconName::Download, IconName::Link, IconName::Code,
    IconName::Eye, IconName::EyeOff, IconName::Blocked, IconName::Info, IconName::Warning, IconName::Error,
    IconName::CheckCircle, IconName::Help, IconName::Spinner, IconName::Offline, IconName::Bold, IconName::Italic,
    IconName::Underline, IconName::Strikethrough, IconName::Heading, IconName::BulletList, IconName::NumberedList,
    IconName::Quote, IconName::User, IconName::Lock, IconName::Key, IconName::Globe, IconName::Server, IconName::Tag,
    IconName::Keyboard,
};

}  // namespace

void Icon::draw(Painter& painter, IconName name, Rect rect, Color color) {
    if (color.a <= 0) return;
    Glyph g(painter, rect, color);
    if (g.empty()) return;
    draw_outline(g, name);
}

void Icon::draw_filled(Painter& painter, IconName name, Rect rect, Color color) {
    if (color.a <= 0) return;
    Glyph g(painter, rect, color);
    if (g.empty()) return;
    if (!draw_solid(g, name)) draw_outline(g, name);
}

bool Icon::has_filled_form(IconName name) {
    switch (name) {
    case IconName::Star: case IconName::Info: case IconName::Error: case IconName::Help:
    case IconName::CheckCircle: case IconName::Clear: case IconName::Warning: case IconName::SelectionBox:
    case IconName::Envelope: case IconName::Tag: case IconName::User: case IconName::Lock: case IconName::Folder:
        return true;
    default: return false;
    }
}

const char* icon_name(IconName name) {
    switch (name) {
    case IconName::Inbox: return "inbox";
    case IconName::Star: return "star";
    case IconName::Sent: return "sent";
    case IconName::Drafts: return "drafts";
    case IconName::Archive: return "archive";
    case IconName::Trash: return "trash";
    case IconName::TrashX: return "trash_x";
    case IconName::Junk: return "junk";
    case IconName::Folder: return "folder";
    case IconName::Envelope: return "envelope";
    case IconName::EnvelopeDot: return "envelope_dot";
    case IconName::EnvelopeOpen: return "envelope_open";
    case IconName::Reply: return "reply";
    case IconName::ReplyAll: return "reply_all";
    case IconName::Forward: return "forward";
    case IconName::Compose: return "compose";
    case IconName::Send: return "send";
    case IconName::Attach: return "attach";
    case IconName::PaperClip: return "paper_clip";
    case IconName::Search: return "search";
    case IconName::Clear: return "clear";
    case IconName::Refresh: return "refresh";
    case IconName::Check: return "check";
    case IconName::SelectionBox: return "selection_box";
    case IconName::Plus: return "plus";
    case IconName::Minus: return "minus";
    case IconName::Close: return "close";
    case IconName::Back: return "back";
    case IconName::More: return "more";
    case IconName::Menu: return "menu";
    case IconName::Gear: return "gear";
    case IconName::ChevronDown: return "chevron_down";
    case IconName::ChevronRight: return "chevron_right";
    case IconName::ChevronLeft: return "chevron_left";
    case IconName::ChevronUp: return "chevron_up";
    case IconName::External: return "external";
    case IconName::Restore: return "restore";
    case IconName::Picture: return "picture";
    case IconName::Document: return "document";
    case IconName::Calendar: return "calendar";
    case IconName::Save: return "save";
    case IconName::Download: return "download";
    case IconName::Link: return "link";
    case IconName::Code: return "code";
    case IconName::Eye: return "eye";
    case IconName::EyeOff: return "eye_off";
    case IconName::Blocked: return "blocked";
    case IconName::Info: return "info";
    case IconName::Warning: return "warning";
    case IconName::Error: return "error";
    case IconName::CheckCircle: return "check_circle";
    case IconName::Help: return "help";
    case IconName::Spinner: return "spinner";
    case IconName::Offline: return "offline";
    case IconName::Bold: return "bold";
    case IconName::Italic: return "italic";
    case IconName::Underline: return "underline";
    case IconName::Strikethrough: return "strikethrough";
    case IconName::Heading: return "heading";
    case IconName::BulletList: return "bullet_list";
    case IconName::NumberedList: return "numbered_list";
    case IconName::Quote: return "quote";
    case IconName::User: return "user";
    case IconName::Lock: return "lock";
    case IconName::Key: return "key";
    case IconName::Globe: return "globe";
    case IconName::Server: return "server";
    case IconName::Tag: return "tag";
    case IconName::Keyboard: return "keyboard";
    }
    return "unknown";
}

std::span<const IconName> all_icons() { return kAll; }

}  // namespace mail::ui
