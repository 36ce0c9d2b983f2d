#pragma once
// Drawing primitives over the toolkit's raster engine. Coordinates are layout units; the painter
// applies the window's scale factor itself.
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "platform/ui/geometry.h"

namespace mail::ui {

// A vector outline for icons and custom shapes.
class Path {
public:
    enum class Verb { Move, Line, Quad, Cubic, Close };
    struct Element {
        Verb verb;
        Point p[3];
    };

    Path& move_to(Point p);
    Path& line_to(Point p);
    Path& quad_to(Point control, Point end);
    Path& cubic_to(Point c1, Point c2, Point end);
    // A circular arc around `center`, angles in degrees, counter-clockwise positive (y down).
    Path& arc(Point center, float radius, float start_degrees, float sweep_degrees);
    Path& add_circle(Point center, float radius);
    Path& add_rounded_rect(Rect rect, float radius);
    Path& close();

    const std::vector<Element>& elements() const { return elements_; }
    bool empty() const { return elements_.empty(); }

private:
    std::vector<Element> elements_;
};

enum class LineCap { Butt, Round, Square };
enum class LineJoin { Miter, Round, Bevel };

struct Stroke {
    float width = 1;
    LineCap cap = LineCap::Round;
    LineJoin join = LineJoin::Round;
};

// A decoded raster image; cheap to copy (shared pixels).
class Image {
public:
    // PNG, JPEG, GIF or any format the toolkit decodes; nothing for bytes that are not an image.
    static std::optional<Image> decode(std::span<const std::uint8_t> bytes);
    int width() const;
    int height() const;

    struct Data;
    explicit Image(std::shared_ptr<const Data> data) : data_(std::move(data)) {}
    const Data* data() const { return data_.get(); }

private:
    std::shared_ptr<const Data> data_;
};

class Painter {
public:
    struct Impl;
    explicit Painter(Impl* impl) : impl_(impl) {}
    Impl* impl() const { return impl_; }

    // Borders of rectangles and circles lie inside the shape; a line is centred on the segment
    // between its ends, with flat ends. Paths fill by the even-odd rule: inner contours cut holes.
    void fill_rect(Rect rect, Color color);
    void fill_rounded_rect(Rect rect, float radius, Color color);
    void stroke_rect(Rect rect, Color color, float width = 1);
    void stroke_rounded_rect(Rect rect, float radius, Color color, float width = 1);
    void fill_circle(Point center, float radius, Color color);
    void stroke_circle(Point center, float radius, Color color, float width = 1);
    void draw_line(Point from, Point to, Color color, float width = 1);
    void fill_path(const Path& path, Color color);
    void stroke_path(const Path& path, Color color, Stroke stroke = {});

    // A soft shadow behind a rounded rectangle: `blur` units of falloff, moved by `offset`.
    void draw_shadow(Rect rect, float radius, float blur, Point offset, Color color);

    // The image scaled to fill `dest`.
    void draw_image(const Image& image, Rect dest);
    // The image scaled by `scale` and centred on `center`, clipped to the circle of `radius`.
    void draw_image_in_circle(const Image& image, Point center, float radius, float scale);

    // Clipping and opacity nest; every push has its pop.
    void push_clip(Rect rect);
    void push_clip_rounded(Rect rect, float radius);
    void pop_clip();
    void push_opacity(float opacity);
    void pop_opacity();

    // Moves the origin for everything drawn until the matching pop.
    void push_translation(float dx, float dy);
    void pop_translation();

private:
    Impl* impl_;
};

}  // namespace mail::ui
