#pragma once
// Plain geometry and colour values in layout units (logical pixels).
#include <algorithm>
#include <cstdint>

namespace mail::ui {

struct Point {
    float x = 0;
    float y = 0;
    friend bool operator==(const Point&, const Point&) = default;
};

struct Size {
    float width = 0;
    float height = 0;
    friend bool operator==(const Size&, const Size&) = default;
};

struct Rect {
    float x0 = 0, y0 = 0, x1 = 0, y1 = 0;

    static Rect from_xywh(float x, float y, float w, float h) { return {x, y, x + w, y + h}; }
    float width() const { return x1 - x0; }
    float height() const { return y1 - y0; }
    Size size() const { return {width(), height()}; }
    Point center() const { return {(x0 + x1) / 2, (y0 + y1) / 2}; }
    bool contains(Point p) const { return p.x >= x0 && p.x < x1 && p.y >= y0 && p.y < y1; }
    bool is_empty() const { return x1 <= x0 || y1 <= y0; }
    Rect inset(float d) const { return {x0 + d, y0 + d, x1 - d, y1 - d}; }
    Rect inset(float dx, float dy) const { return {x0 + dx, y0 + dy, x1 - dx, y1 - dy}; }
    Rect translated(float dx, float dy) const { return {x0 + dx, y0 + dy, x1 + dx, y1 + dy}; }
    Rect intersected(const Rect& o) const {
        return {std::max(x0, o.x0), std::max(y0, o.y0), std::min(x1, o.x1), std::min(y1, o.y1)};
    }
    friend bool operator==(const Rect&, const Rect&) = default;
};

// Non-premultiplied RGBA, each channel 0..1.
struct Color {
    float r = 0, g = 0, b = 0, a = 1;

    static constexpr Color rgb(std::uint8_t r, std::uint8_t g, std::uint8_t b) {
        return {r / 255.0f, g / 255.0f, b / 255.0f, 1.0f};
    }
    static constexpr Color rgba(std::uint8_t r, std::uint8_t g, std::uint8_t b, float a) {
        return {r / 255.0f, g / 255.0f, b / 255.0f, a};
    }
    constexpr Color with_alpha(float alpha) const { return {r, g, b, alpha}; }
    // The colour at `factor` of its own opacity (90 % of the star colour, …).
    constexpr Color faded(float factor) const { return {r, g, b, a * factor}; }
    friend bool operator==(const Color&, const Color&) = default;
};

}  // namespace mail::ui
