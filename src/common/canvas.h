#pragma once

#include <cstdint>

#include "colour.h"
#include "rgb_image.h"

namespace common {

enum class PenStyle { Solid, Dotted };
enum class RasterMode { Copy, NotXor };
enum class BrushStyle { Solid, Hollow };

/// The widest pen: enough for any poster, small enough that no band or cap computation can
/// overflow.
inline constexpr int kMaxPenWidth = 1 << 16;

struct Pen {
    Colour colour = kBlack;
    int width = 1; // pixels, 1 to kMaxPenWidth; other values are clamped to that range
    PenStyle style = PenStyle::Solid;
};

struct Brush {
    BrushStyle style = BrushStyle::Solid;
    Colour colour = kWhite;
};

/// A 24-bit drawing surface with the drawing rules both programs were designed on:
/// - every write is clipped to the surface; coordinates far outside never write anywhere;
/// - `lineTo` with a one-pixel pen paints from the current position up to, not including, its
///   end point; a wider pen's end cap covers the end point as well (a line to the current
///   position paints nothing with any pen);
/// - `rectangle` and `ellipse` cover the box from left/top up to but not including right/bottom
///   (corners in any order): the outline is a band of the pen's width inside the box, the rest
///   is the brush (nothing for a hollow brush);
/// - in not-xor mode every covered pixel becomes ~(pen ^ pixel), each pixel at most once per
///   shape, so a shape drawn twice restores the surface;
/// - a dotted pen paints every other run of `width` pixels and leaves the gaps untouched;
/// - `setPixel` and `fillRect` ignore pen, brush and raster mode.
/// Deterministic to the pixel, so tests compare exact pixels.
class Canvas {
public:
    Canvas() = default;
    Canvas(int width, int height, Colour fill = kBlack);

    [[nodiscard]] int width() const { return m_image.width; }
    [[nodiscard]] int height() const { return m_image.height; }
    /// New size; the whole surface becomes `fill`.
    void resize(int width, int height, Colour fill = kBlack);

    [[nodiscard]] const RgbImage& image() const { return m_image; }
    /// Outside the surface gives black.
    [[nodiscard]] Colour pixel(int x, int y) const;
    void setPixel(int x, int y, Colour c);
    void fill(Colour c);
    /// A rectangle with right <= left or bottom <= top is empty (no corner swapping here, unlike
    /// `rectangle`, since a Rect is already a half-open range).
    void fillRect(Rect r, Colour c);

    void setPen(const Pen& pen) { m_pen = pen; }
    [[nodiscard]] const Pen& pen() const { return m_pen; }
    void setBrush(const Brush& brush) { m_brush = brush; }
    [[nodiscard]] const Brush& brush() const { return m_brush; }
    void setRasterMode(RasterMode mode) { m_mode = mode; }
    [[nodiscard]] RasterMode rasterMode() const { return m_mode; }

    void moveTo(int x, int y);
    /// Bresenham from the current position; a step exactly halfway between two pixels takes the
    /// one nearer the start. A width-2 pen adds the pixel below (mostly horizontal lines) or to
    /// the right (mostly vertical ones) and paints the end point's step too. A pen of width
    /// w >= 3 paints every pixel whose centre lies within w/2 of the segment (round caps, so
    /// joined lines meet without notches); for an even w the segment is taken half a pixel
    /// right of and below the pixel centres, as the width-2 pen's extra pixel lies. A dotted
    /// wide pen paints the pixels whose distance along the major axis from the start falls in
    /// every other run of w. The end point becomes the current position.
    void lineTo(int x, int y);
    [[nodiscard]] Point position() const { return m_position; }
    void rectangle(int left, int top, int right, int bottom);
    void ellipse(int left, int top, int right, int bottom);

    /// Copies `source` unscaled with its top-left corner at (x, y), clipped to both pictures.
    void drawImage(int x, int y, const RgbImage& source);
    /// Copies the rectangle `from` of this canvas, unscaled, into a new picture; parts outside
    /// the canvas are black. An inverted rectangle gives an empty picture.
    [[nodiscard]] RgbImage copyRect(Rect from) const;
    /// Stretches `source` into `target` (nearest neighbour, sampled at pixel centres), clipped to
    /// the canvas. An inverted target draws nothing.
    void stretchImage(Rect target, const RgbImage& source);

    /// Grows by one with every call that may change the pixels (even if everything was clipped
    /// away), so a view can tell when to repaint.
    [[nodiscard]] std::uint64_t generation() const { return m_generation; }

private:
    void wideLineTo(Point from, Point to, int penWidth);

    RgbImage m_image;
    Pen m_pen;
    Brush m_brush;
    RasterMode m_mode = RasterMode::Copy;
    Point m_position;
    std::uint64_t m_generation = 0;
};

} // namespace common
