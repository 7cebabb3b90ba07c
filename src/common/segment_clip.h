#pragma once

namespace common {

/// A rectangle in surface coordinates, edges included.
struct ClipBox {
    double left, top, right, bottom;
};

/// Cuts the segment to the part that lies inside the box (Liang-Barsky); false when no part
/// does. Far end points become near ones, so what follows works with small numbers.
[[nodiscard]] bool ClipSegment(double& x0, double& y0, double& x1, double& y1, const ClipBox& box);

} // namespace common
