// Path building; arcs become cubic segments so every backend only needs the four verbs.
#include <algorithm>
#include <cmath>
#include <numbers>

#include "platform/ui/painter.h"

namespace mail::ui {

Path& Path::move_to(Point p) {
    elements_.push_back({Verb::Move, {p, {}, {}}});
    return *this;
}

Path& Path::line_to(Point p) {
    if (elements_.empty()) return move_to(p);
    elements_.push_back({Verb::Line, {p, {}, {}}});
    return *this;
}

Path& Path::quad_to(Point control, Point end) {
    if (elements_.empty()) move_to(control);
    elements_.push_back({Verb::Quad, {control, end, {}}});
    return *this;
}

Path& Path::cubic_to(Point c1, Point c2, Point end) {
    if (elements_.empty()) move_to(c1);
    elements_.push_back({Verb::Cubic, {c1, c2, end}});
    return *this;
}

Path& Path::close() {
    if (!elements_.empty() && elements_.back().verb != Verb::Close) elements_.push_back({Verb::Close, {}});
    return *this;
}

Path& Path::arc(Point center, float radius, float start_degrees, float sweep_degrees) {
    constexpr double to_rad = std::numbers::pi / 180.0;
    // Counter-clockwise on screen with y pointing down: y is subtracted.
    auto at = [&](double a) {
        return Point{static_cast<float>(center.x + radius * std::cos(a)),
                     static_cast<float>(center.y - radius * std::sin(a))};
    };
    double a0 = start_degrees * to_rad;
    double sweep = sweep_degrees * to_rad;
    Point start = at(a0);
    if (elements_.empty() || elements_.back().verb == Verb::Close) {
        move_to(start);
    } else {
        line_to(start);
    }
    if (sweep == 0 || radius <= 0) return *this;
    int segments = std::max(1, static_cast<int>(std::ceil(std::abs(sweep) / (std::numbers::pi / 2) - 1e-9)));
    double step = sweep / segments;
    double k = 4.0 / 3.0 * std::tan(step / 4);
    for (int i = 0; i < segments; ++i) {
        double s = a0 + step * i;
        double e = s + step;
        Point p0 = at(s);
        Point p3 = at(e);
        // Tangent of a counter-clockwise motion in y-down space is (-sin, -cos).
        Point c1{static_cast<float>(p0.x - k * radius * std::sin(s)),
                 static_cast<float>(p0.y - k * radius * std::cos(s))};
        Point c2{static_cast<float>(p3.x + k * radius * std::sin(e)),
                 static_cast<float>(p3.y + k * radius * std::cos(e))};
        elements_.push_back({Verb::Cubic, {c1, c2, p3}});
    }
    return *this;
}

Path& Path::add_circle(Point center, float radius) {
    if (!elements_.empty() && elements_.back().verb != Verb::Close) close();
    arc(center, radius, 0, 360);
    return close();
}

Path& Path::add_rounded_rect(Rect rect, float radius) {
    if (!elements_.empty() && elements_.back().verb != Verb::Close) close();
    float r = std::clamp(radius, 0.0f, std::min(rect.width(), rect.height()) / 2);
    if (r <= 0) {
        move_to({rect.x0, rect.y0});
        line_to({rect.x1, rect.y0});
        line_to({rect.x1, rect.y1});
        line_to({rect.x0, rect.y1});
        return close();
    }
    move_to({rect.x0 + r, rect.y0});
    arc({rect.x1 - r, rect.y0 + r}, r, 90, -90);
    arc({rect.x1 - r, rect.y1 - r}, r, 0, -90);
    arc({rect.x0 + r, rect.y1 - r}, r, 270, -90);
    arc({rect.x0 + r, rect.y0 + r}, r, 180, -90);
    return close();
}

}  // namespace mail::ui
