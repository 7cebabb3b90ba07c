#include "segment_clip.h"

#include <algorithm>

namespace common {

bool ClipSegment(double& x0, double& y0, double& x1, double& y1, const ClipBox& box) {
    const double dx = x1 - x0;
    const double dy = y1 - y0;
    double t0 = 0.0;
    double t1 = 1.0;
    const double p[4] = {-dx, dx, -dy, dy};
    const double q[4] = {x0 - box.left, box.right - x0, y0 - box.top, box.bottom - y0};
    for (int i = 0; i < 4; ++i) {
        if (p[i] == 0.0) {
            if (q[i] < 0.0) {
                return false;
            }
            continue;
        }
        const double t = q[i] / p[i];
        if (p[i] < 0.0) {
            t0 = std::max(t0, t);
        } else {
            t1 = std::min(t1, t);
        }
        if (t0 > t1) {
            return false;
        }
    }
    const double startX = x0;
    const double startY = y0;
    x0 = startX + t0 * dx;
    y0 = startY + t0 * dy;
    x1 = startX + t1 * dx;
    y1 = startY + t1 * dy;
    return true;
}

} // namespace common
