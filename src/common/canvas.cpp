#include "canvas.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <utility>

#include "segment_clip.h"

namespace common {

namespace {

// Products of two coordinate differences reach 2^65 for lines between opposite int extremes;
// 128 bits keep the clipped pixels identical to what the unclipped line would have painted.
__extension__ typedef __int128 Wide;

using Int = std::int64_t;

int ClampedWidth(const Pen& pen) {
    return std::clamp(pen.width, 1, kMaxPenWidth);
}

Int FloorDiv2(Int v) {
    return v >= 0 ? v / 2 : -((-v + 1) / 2);
}

// Writes one colour in the given raster mode; not-xor keeps the pixel when `c` is white, which
// is why a white brush in not-xor mode leaves the inside of a shape as it was.
inline void ApplyRaster(std::uint8_t* p, Colour c, RasterMode mode) {
    if (mode == RasterMode::Copy) {
        p[0] = c.r;
        p[1] = c.g;
        p[2] = c.b;
    } else {
        p[0] = static_cast<std::uint8_t>(~(c.r ^ p[0]));
        p[1] = static_cast<std::uint8_t>(~(c.g ^ p[1]));
        p[2] = static_cast<std::uint8_t>(~(c.b ^ p[2]));
    }
}

// A box normalised to left < right, top < bottom (or empty), in 64 bits so that right - left
// cannot overflow for the int extremes.
struct Box {
    Int left;
    Int top;
    Int right;
    Int bottom;

    static Box normalised(int l, int t, int r, int b) {
        return {std::min<Int>(l, r), std::min<Int>(t, b), std::max<Int>(l, r), std::max<Int>(t, b)};
    }
    [[nodiscard]] bool empty() const { return right <= left || bottom <= top; }
};

// Paints the outline and inside runs of one shape row. The shape code only decides which runs
// belong to outline or inside; clipping, the dotted pattern and the raster mode live here so that
// rectangles and ellipses agree on them.
class ShapePainter {
public:
    ShapePainter(RgbImage& image, const Box& box, const Pen& pen, const Brush& brush, RasterMode mode)
        : m_image(image), m_box(box), m_width(ClampedWidth(pen)), m_pen(pen.colour),
          m_dotted(pen.style == PenStyle::Dotted), m_brush(brush.colour),
          m_fillInside(brush.style == BrushStyle::Solid), m_mode(mode) {}

    [[nodiscard]] int penWidth() const { return m_width; }

    void outline(Int y, Int x0, Int x1) { run(y, x0, x1, true); }
    void inside(Int y, Int x0, Int x1) {
        if (m_fillInside) {
            run(y, x0, x1, false);
        }
    }

private:
    void run(Int y, Int x0, Int x1, bool isOutline) {
        x0 = std::max<Int>(x0, 0);
        x1 = std::min<Int>(x1, Int{m_image.width} - 1);
        if (x0 > x1 || y < 0 || y >= m_image.height) {
            return;
        }
        std::uint8_t* row = m_image.row(static_cast<int>(y)).data();
        if (!isOutline) {
            for (Int x = x0; x <= x1; ++x) {
                ApplyRaster(row + x * 3, m_brush, m_mode);
            }
            return;
        }
        if (!m_dotted) {
            for (Int x = x0; x <= x1; ++x) {
                ApplyRaster(row + x * 3, m_pen, m_mode);
            }
            return;
        }
        // The checkerboard of width-sized cells is anchored at the box corner, not the surface,
        // so a shape looks the same wherever it is drawn.
        const Int rowCell = (y - m_box.top) / m_width;
        for (Int x = x0; x <= x1; ++x) {
            if (((x - m_box.left) / m_width + rowCell) % 2 == 0) {
                ApplyRaster(row + x * 3, m_pen, m_mode);
            }
        }
    }

    RgbImage& m_image;
    Box m_box;
    int m_width;
    Colour m_pen;
    bool m_dotted;
    Colour m_brush;
    bool m_fillInside;
    RasterMode m_mode;
};

// One row of an axis-aligned ellipse with centre cx = (left + right) / 2 and horizontal radius
// a: the pixels whose centres satisfy u*u + vv <= 1, u = (x + 0.5 - cx) / a. Because x + 0.5 - cx
// is exact and every later step rounds monotonically, the set is an interval symmetric about
// cx, so only its right end is searched; sqrt gives a starting guess and the exact test settles
// the last pixel, which keeps the result independent of how sqrt rounds.
struct Span {
    Int lo = 0;
    Int hi = -1;
    [[nodiscard]] bool empty() const { return hi < lo; }
};

Span EllipseRow(Int left, Int right, double a, double vv) {
    if (!(vv <= 1.0) || !(a > 0.0) || right <= left) {
        return {};
    }
    const double cx = (static_cast<double>(left) + static_cast<double>(right)) / 2.0;
    const auto in = [&](Int x) {
        const double u = (static_cast<double>(x) + 0.5 - cx) / a;
        return u * u + vv <= 1.0;
    };
    const Int nearest = FloorDiv2(left + right); // a pixel whose centre is closest to cx
    if (!in(nearest)) {
        return {};
    }
    const double guess = std::floor(cx + a * std::sqrt(1.0 - vv) - 0.5);
    Int hi = nearest;
    if (guess > static_cast<double>(nearest)) {
        hi = guess >= static_cast<double>(right - 1) ? right - 1 : static_cast<Int>(guess);
    }
    while (hi > nearest && !in(hi)) {
        --hi;
    }
    while (hi < right - 1 && in(hi + 1)) {
        ++hi;
    }
    return {left + right - 1 - hi, hi};
}

double Square(double v) {
    return v * v;
}

} // namespace

Canvas::Canvas(int width, int height, Colour fill) : m_image(width, height, fill) {}

void Canvas::resize(int width, int height, Colour fill) {
    m_image = RgbImage(width, height, fill);
    ++m_generation;
}

Colour Canvas::pixel(int x, int y) const {
    if (static_cast<unsigned>(x) >= static_cast<unsigned>(m_image.width) ||
        static_cast<unsigned>(y) >= static_cast<unsigned>(m_image.height)) {
        return kBlack;
    }
    return m_image.at(x, y);
}

void Canvas::setPixel(int x, int y, Colour c) {
    ++m_generation;
    // Negative coordinates turn into huge unsigned ones, so one comparison per axis clips.
    if (static_cast<unsigned>(x) >= static_cast<unsigned>(m_image.width) ||
        static_cast<unsigned>(y) >= static_cast<unsigned>(m_image.height)) {
        return;
    }
    std::uint8_t* p =
        m_image.pixels.data() + (static_cast<std::size_t>(y) * static_cast<std::size_t>(m_image.width) +
                                 static_cast<std::size_t>(x)) *
                                    3;
    p[0] = c.r;
    p[1] = c.g;
    p[2] = c.b;
}

void Canvas::fill(Colour c) {
    ++m_generation;
    if (m_image.empty()) {
        return;
    }
    std::uint8_t* p = m_image.pixels.data();
    for (std::size_t i = 0; i < m_image.pixels.size(); i += 3) {
        p[i] = c.r;
        p[i + 1] = c.g;
        p[i + 2] = c.b;
    }
}

void Canvas::fillRect(Rect r, Colour c) {
    ++m_generation;
    const Int x0 = std::max<Int>(r.left, 0);
    const Int x1 = std::min<Int>(r.right, m_image.width);
    const Int y0 = std::max<Int>(r.top, 0);
    const Int y1 = std::min<Int>(r.bottom, m_image.height);
    for (Int y = y0; y < y1; ++y) {
        std::uint8_t* row = m_image.row(static_cast<int>(y)).data();
        for (Int x = x0; x < x1; ++x) {
            row[x * 3] = c.r;
            row[x * 3 + 1] = c.g;
            row[x * 3 + 2] = c.b;
        }
    }
}

void Canvas::moveTo(int x, int y) {
    m_position = {x, y};
}

void Canvas::lineTo(int x, int y) {
    ++m_generation;
    const Point from = m_position;
    m_position = {x, y};

    const Int dx = Int{x} - from.x;
    const Int dy = Int{y} - from.y;
    const bool xMajor = std::abs(dx) >= std::abs(dy);
    // Work in major/minor axes so one loop serves all octants.
    const Int steps = xMajor ? std::abs(dx) : std::abs(dy);
    const Int minorDelta = xMajor ? std::abs(dy) : std::abs(dx);
    const Int majorStart = xMajor ? from.x : from.y;
    const Int minorStart = xMajor ? from.y : from.x;
    const Int majorDir = (xMajor ? dx : dy) < 0 ? -1 : 1;
    const Int minorDir = (xMajor ? dy : dx) < 0 ? -1 : 1;
    const Int majorSize = xMajor ? m_image.width : m_image.height;
    const Int minorSize = xMajor ? m_image.height : m_image.width;
    if (steps == 0 || m_image.empty()) {
        return;
    }

    const int penWidth = ClampedWidth(m_pen);
    if (penWidth >= 3) {
        wideLineTo(from, {x, y}, penWidth);
        return;
    }
    // A one-pixel line stops short of its end point, so that a polyline paints each joint once.
    // A wider pen has end caps, and the cap at the end covers the end point: the step that
    // reaches it is walked too.
    const Int lastStep = penWidth == 1 ? steps - 1 : steps;

    // Only steps whose major coordinate lies on the surface are walked, which bounds the loop
    // by the surface size however far away the end points are.
    Int first = majorDir > 0 ? -majorStart : majorStart - (majorSize - 1);
    Int last = majorDir > 0 ? majorSize - 1 - majorStart : majorStart;
    first = std::max<Int>(first, 0);
    last = std::min<Int>(last, lastStep);
    if (first > last) {
        return;
    }

    // Step i sits floor((2*i*minorDelta + steps - 1) / (2*steps)) minor pixels from the start:
    // the ideal line rounded to the nearest pixel, halfway cases towards the start. Seeding the
    // error term from this closed form lets a clipped line pick up exactly where the full one
    // would be.
    const Int denominator = 2 * steps;
    Int offset = 0;
    Int error = steps - 1;
    if (first > 0) {
        const Wide numerator = Wide{2} * first * minorDelta + steps - 1;
        offset = static_cast<Int>(numerator / denominator);
        error = static_cast<Int>(numerator % denominator);
    }
    Int minor = minorStart + minorDir * offset;
    Int major = majorStart + majorDir * first;

    const bool dotted = m_pen.style == PenStyle::Dotted;
    const Colour colour = m_pen.colour;
    const RasterMode mode = m_mode;
    std::uint8_t* const data = m_image.pixels.data();
    const Int rowBytes = static_cast<Int>(m_image.rowBytes());
    // Byte distances of one major and one minor pixel; the second pixel of a width-2 pen is
    // always one further along the minor axis in the positive direction.
    const Int majorStride = xMajor ? 3 : rowBytes;
    const Int minorStride = xMajor ? rowBytes : 3;
    const Int twiceMinorDelta = 2 * minorDelta;

    if (!dotted && penWidth == 1 && mode == RasterMode::Copy) {
        // The turtle draws millions of these: a plain store per step, one bounds test.
        // The byte offset moves along with the coordinates, so no step multiplies; it is only
        // used while the minor coordinate is on the surface.
        const auto size = static_cast<std::uint64_t>(minorSize);
        const Int majorStep = majorDir * majorStride;
        const Int minorStep = minorDir * minorStride;
        Int at = major * majorStride + minor * minorStride;
        for (Int i = first; i <= last; ++i) {
            if (static_cast<std::uint64_t>(minor) < size) {
                data[at] = colour.r;
                data[at + 1] = colour.g;
                data[at + 2] = colour.b;
            }
            at += majorStep;
            error += twiceMinorDelta;
            if (error >= denominator) {
                error -= denominator;
                minor += minorDir;
                at += minorStep;
            }
        }
        return;
    }

    // Every step has its own major coordinate, so no pixel is covered twice even at width 2 and
    // not-xor needs no record of what it has already touched.
    for (Int i = first; i <= last; ++i) {
        if (!dotted || (i / penWidth) % 2 == 0) {
            std::uint8_t* base = data + major * majorStride;
            if (minor >= 0 && minor < minorSize) {
                ApplyRaster(base + minor * minorStride, colour, mode);
            }
            if (penWidth == 2 && minor + 1 >= 0 && minor + 1 < minorSize) {
                ApplyRaster(base + (minor + 1) * minorStride, colour, mode);
            }
        }
        major += majorDir;
        error += twiceMinorDelta;
        if (error >= denominator) {
            error -= denominator;
            minor += minorDir;
        }
    }
}

void Canvas::wideLineTo(Point from, Point to, int penWidth) {
    const double r = penWidth / 2.0;
    const double shift = penWidth % 2 == 0 ? 0.5 : 0.0;
    double ax = from.x + shift;
    double ay = from.y + shift;
    double bx = to.x + shift;
    double by = to.y + shift;
    // Only the part of the segment within r + 1 of the surface can paint a pixel; cutting the
    // rest off keeps the row loop bounded by the surface and the numbers small, so far end
    // points cost nothing and lose no precision that matters.
    const double margin = r + 1.0;
    const ClipBox box{-margin, -margin, m_image.width - 1 + margin, m_image.height - 1 + margin};
    if (!ClipSegment(ax, ay, bx, by, box)) {
        return;
    }

    const double dx = bx - ax;
    const double dy = by - ay;
    const double length = std::sqrt(dx * dx + dy * dy);
    const double lengthSquared = dx * dx + dy * dy;
    const bool xMajor = std::abs(Int{to.x} - from.x) >= std::abs(Int{to.y} - from.y);
    const Int majorFrom = xMajor ? from.x : from.y;
    const Int majorDir = (xMajor ? Int{to.x} - from.x : Int{to.y} - from.y) < 0 ? -1 : 1;
    const bool dotted = m_pen.style == PenStyle::Dotted;

    const Int y0 = std::max<Int>(0, static_cast<Int>(std::ceil(std::min(ay, by) - r)));
    const Int y1 = std::min<Int>(Int{m_image.height} - 1, static_cast<Int>(std::floor(std::max(ay, by) + r)));
    for (Int y = y0; y <= y1; ++y) {
        const double py = static_cast<double>(y);
        double lo = std::numeric_limits<double>::infinity();
        double hi = -lo;
        const auto take = [&lo, &hi](double a, double b) {
            if (a <= b) {
                lo = std::min(lo, a);
                hi = std::max(hi, b);
            }
        };
        // The round caps.
        for (const auto& [cx, cy] : {std::pair{ax, ay}, std::pair{bx, by}}) {
            const double v = py - cy;
            if (v * v <= r * r) {
                const double h = std::sqrt(r * r - v * v);
                take(cx - h, cx + h);
            }
        }
        // The band: within r of the line and between the perpendiculars through both ends.
        if (lengthSquared > 0.0) {
            const double v = py - ay;
            double bandLo = -std::numeric_limits<double>::infinity();
            double bandHi = std::numeric_limits<double>::infinity();
            const auto within = [&bandLo, &bandHi](double a, double b) {
                bandLo = std::max(bandLo, std::min(a, b));
                bandHi = std::min(bandHi, std::max(a, b));
            };
            // |dx * v - dy * (x - ax)| <= r * length
            if (dy != 0.0) {
                within(ax + (dx * v - r * length) / dy, ax + (dx * v + r * length) / dy);
            } else if (std::abs(dx * v) > r * length) {
                bandHi = bandLo - 1.0;
            }
            // 0 <= (x - ax) * dx + v * dy <= lengthSquared
            if (dx != 0.0) {
                within(ax - v * dy / dx, ax + (lengthSquared - v * dy) / dx);
            } else if (v * dy < 0.0 || v * dy > lengthSquared) {
                bandHi = bandLo - 1.0;
            }
            take(bandLo, bandHi);
        }
        if (!(lo <= hi)) {
            continue;
        }
        const Int x0 = std::max<Int>(0, static_cast<Int>(std::ceil(lo)));
        const Int x1 = std::min<Int>(Int{m_image.width} - 1, static_cast<Int>(std::floor(hi)));
        std::uint8_t* row = m_image.row(static_cast<int>(y)).data();
        for (Int x = x0; x <= x1; ++x) {
            if (dotted) {
                const Int along = ((xMajor ? x : y) - majorFrom) * majorDir;
                const Int cell = along >= 0 ? along / penWidth : -((-along + penWidth - 1) / penWidth);
                if (cell % 2 != 0) {
                    continue;
                }
            }
            ApplyRaster(row + x * 3, m_pen.colour, m_mode);
        }
    }
}

void Canvas::rectangle(int left, int top, int right, int bottom) {
    ++m_generation;
    const Box box = Box::normalised(left, top, right, bottom);
    if (box.empty()) {
        return;
    }
    ShapePainter paint(m_image, box, m_pen, m_brush, m_mode);
    const Int w = paint.penWidth();
    const Int y0 = std::max<Int>(box.top, 0);
    const Int y1 = std::min<Int>(box.bottom, m_image.height);
    // The right band starts after the left one in boxes narrower than two pen widths, so no
    // pixel is painted twice.
    const Int leftBandEnd = std::min(box.left + w, box.right);
    const Int rightBandStart = std::max(box.right - w, leftBandEnd);
    for (Int y = y0; y < y1; ++y) {
        if (y - box.top < w || box.bottom - 1 - y < w) {
            paint.outline(y, box.left, box.right - 1);
            continue;
        }
        paint.outline(y, box.left, leftBandEnd - 1);
        paint.inside(y, leftBandEnd, rightBandStart - 1);
        paint.outline(y, rightBandStart, box.right - 1);
    }
}

void Canvas::ellipse(int left, int top, int right, int bottom) {
    ++m_generation;
    const Box box = Box::normalised(left, top, right, bottom);
    if (box.empty()) {
        return;
    }
    ShapePainter paint(m_image, box, m_pen, m_brush, m_mode);
    const Int w = paint.penWidth();
    const double cy = (static_cast<double>(box.top) + static_cast<double>(box.bottom)) / 2.0;
    const double a = static_cast<double>(box.right - box.left) / 2.0;
    const double b = static_cast<double>(box.bottom - box.top) / 2.0;
    // The inside is the same ellipse with both radii shrunk by the pen width; its box is the
    // outer box shrunk by w on every side, which keeps the centre.
    const double innerA = a - static_cast<double>(w);
    const double innerB = b - static_cast<double>(w);
    const bool hasInner = innerA > 0.0 && innerB > 0.0;

    const Int y0 = std::max<Int>(box.top, 0);
    const Int y1 = std::min<Int>(box.bottom, m_image.height);
    for (Int y = y0; y < y1; ++y) {
        const double py = static_cast<double>(y) + 0.5;
        const Span outer = EllipseRow(box.left, box.right, a, Square((py - cy) / b));
        if (outer.empty()) {
            continue;
        }
        Span inner;
        if (hasInner) {
            inner = EllipseRow(box.left + w, box.right - w, innerA, Square((py - cy) / innerB));
            inner.lo = std::max(inner.lo, outer.lo);
            inner.hi = std::min(inner.hi, outer.hi);
        }
        if (inner.empty()) {
            paint.outline(y, outer.lo, outer.hi);
            continue;
        }
        paint.outline(y, outer.lo, inner.lo - 1);
        paint.inside(y, inner.lo, inner.hi);
        paint.outline(y, inner.hi + 1, outer.hi);
    }
}

void Canvas::drawImage(int x, int y, const RgbImage& source) {
    if (&source == &m_image) {
        // Overlapping rows would read pixels already overwritten.
        const RgbImage copy = source;
        drawImage(x, y, copy);
        return;
    }
    ++m_generation;
    if (source.empty() ||
        source.pixels.size() < source.rowBytes() * static_cast<std::size_t>(source.height)) {
        return;
    }
    const Int x0 = std::max<Int>(x, 0);
    const Int x1 = std::min<Int>(Int{x} + source.width, m_image.width);
    const Int y0 = std::max<Int>(y, 0);
    const Int y1 = std::min<Int>(Int{y} + source.height, m_image.height);
    if (x0 >= x1) {
        return;
    }
    const std::size_t bytes = static_cast<std::size_t>(x1 - x0) * 3;
    for (Int ty = y0; ty < y1; ++ty) {
        const std::uint8_t* from = source.row(static_cast<int>(ty - y)).data() + (x0 - x) * 3;
        std::memcpy(m_image.row(static_cast<int>(ty)).data() + x0 * 3, from, bytes);
    }
}

RgbImage Canvas::copyRect(Rect from) const {
    constexpr Int kMaxSide = std::numeric_limits<int>::max();
    const Int width = std::clamp<Int>(Int{from.right} - from.left, 0, kMaxSide);
    const Int height = std::clamp<Int>(Int{from.bottom} - from.top, 0, kMaxSide);
    RgbImage out(static_cast<int>(width), static_cast<int>(height), kBlack);
    const Int x0 = std::max<Int>(from.left, 0);
    const Int x1 = std::min<Int>(Int{from.left} + width, m_image.width);
    const Int y0 = std::max<Int>(from.top, 0);
    const Int y1 = std::min<Int>(Int{from.top} + height, m_image.height);
    if (x0 >= x1) {
        return out;
    }
    const std::size_t bytes = static_cast<std::size_t>(x1 - x0) * 3;
    for (Int y = y0; y < y1; ++y) {
        std::memcpy(out.row(static_cast<int>(y - from.top)).data() + (x0 - from.left) * 3,
                    m_image.row(static_cast<int>(y)).data() + x0 * 3, bytes);
    }
    return out;
}

void Canvas::stretchImage(Rect target, const RgbImage& source) {
    if (&source == &m_image) {
        // Overlapping rows would read pixels already overwritten.
        const RgbImage copy = source;
        stretchImage(target, copy);
        return;
    }
    ++m_generation;
    const Int targetWidth = Int{target.right} - target.left;
    const Int targetHeight = Int{target.bottom} - target.top;
    if (targetWidth <= 0 || targetHeight <= 0 || source.empty() ||
        source.pixels.size() < source.rowBytes() * static_cast<std::size_t>(source.height)) {
        return;
    }
    const Int x0 = std::max<Int>(target.left, 0);
    const Int x1 = std::min<Int>(target.right, m_image.width);
    const Int y0 = std::max<Int>(target.top, 0);
    const Int y1 = std::min<Int>(target.bottom, m_image.height);
    if (x0 >= x1) {
        return;
    }
    // Target pixel t samples source pixel floor((t + 0.5) * sourceSize / targetSize), kept as
    // a quotient and remainder so that columns advance without a division each.
    const Int columnDenominator = 2 * targetWidth;
    const Int columnStep = 2 * Int{source.width};
    const Int stepWhole = columnStep / columnDenominator;
    const Int stepRest = columnStep % columnDenominator;
    const Wide firstColumn = (Wide{2} * (x0 - target.left) + 1) * source.width;
    const Int firstWhole = static_cast<Int>(firstColumn / columnDenominator);
    const Int firstRest = static_cast<Int>(firstColumn % columnDenominator);
    for (Int y = y0; y < y1; ++y) {
        const Wide rowNumerator = (Wide{2} * (y - target.top) + 1) * source.height;
        const Int sy = static_cast<Int>(rowNumerator / (Wide{2} * targetHeight));
        const std::uint8_t* from = source.row(static_cast<int>(sy)).data();
        std::uint8_t* to = m_image.row(static_cast<int>(y)).data();
        Int sx = firstWhole;
        Int rest = firstRest;
        for (Int x = x0; x < x1; ++x) {
            std::memcpy(to + x * 3, from + sx * 3, 3);
            sx += stepWhole;
            rest += stepRest;
            if (rest >= columnDenominator) {
                rest -= columnDenominator;
                ++sx;
            }
        }
    }
}

} // namespace common
