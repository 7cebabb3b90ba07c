#include "zoom_flight.h"

#include <cmath>
#include <utility>

namespace render {

namespace {

struct Axis {
    double low;
    double high;
};

/// One axis at step t of 0..1: the extent geometric between the two, the centre moved by the
/// share of the extent already shed, so a deep zoom keeps its target in sight all the way.
Axis Interpolate(Axis from, Axis to, double t) {
    const double extentFrom = from.high - from.low;
    const double extentTo = to.high - to.low;
    const double extent = extentFrom * std::pow(extentTo / extentFrom, t);
    const double shed = extentFrom != extentTo ? (extent - extentTo) / (extentFrom - extentTo) : 1.0 - t;
    const double centreFrom = from.low + extentFrom / 2.0;
    const double centreTo = to.low + extentTo / 2.0;
    const double centre = centreTo + (centreFrom - centreTo) * shed;
    return {centre - extent / 2.0, centre + extent / 2.0};
}

bool Usable(const explorer::ViewRect& v) {
    const double re = v.ReMax - v.ReMin;
    const double im = v.ImMax - v.ImMin;
    return std::isfinite(re) && std::isfinite(im) && re != 0.0 && im != 0.0;
}

/// `axis` running the same way as `like`.
Axis OrientedLike(Axis axis, Axis like) {
    if ((axis.high > axis.low) != (like.high > like.low)) {
        std::swap(axis.low, axis.high);
    }
    return axis;
}

} // namespace

std::optional<std::vector<explorer::ViewRect>> ZoomFlight(const explorer::ViewRect& from,
                                                          const explorer::ViewRect& to, int frames) {
    if (frames < 2 || !Usable(from) || !Usable(to)) {
        return std::nullopt;
    }
    const Axis reFrom = OrientedLike({from.ReMin, from.ReMax}, {to.ReMin, to.ReMax});
    const Axis imFrom = OrientedLike({from.ImMin, from.ImMax}, {to.ImMin, to.ImMax});
    std::vector<explorer::ViewRect> views;
    views.reserve(static_cast<std::size_t>(frames));
    views.push_back({reFrom.low, reFrom.high, imFrom.low, imFrom.high});
    for (int k = 1; k + 1 < frames; ++k) {
        const double t = static_cast<double>(k) / static_cast<double>(frames - 1);
        const Axis re = Interpolate(reFrom, {to.ReMin, to.ReMax}, t);
        const Axis im = Interpolate(imFrom, {to.ImMin, to.ImMax}, t);
        views.push_back({re.low, re.high, im.low, im.high});
    }
    views.push_back(to);
    return views;
}

} // namespace render
