#pragma once

#include "canvas.h"
#include "escape_time.h"

namespace explorer {

/// The picture once more at the screen's device pixels, for a screen with more of them than
/// logical pixels (a device pixel ratio above 1). The logical canvas stays the picture that is
/// stored, printed and drawn on, counted as ever; this one is counted from the same view on the
/// finer grid and only shown. Whatever is drawn on the logical canvas besides the counts is
/// repeated here on the device pixels of each logical pixel, so the two never disagree.
class DevicePicture {
public:
    /// Makes a black device canvas for a logical canvas of this size; a ratio of 1 or less
    /// switches the device picture off.
    void resize(double ratio, int logicalWidth, int logicalHeight);
    [[nodiscard]] bool active() const { return m_ratio > 1.0; }
    [[nodiscard]] double ratio() const { return m_ratio; }
    [[nodiscard]] common::Canvas& canvas() { return m_canvas; }
    [[nodiscard]] const common::Canvas& canvas() const { return m_canvas; }

    /// Where logical column (or row) `logical` begins in device pixels: logical * ratio, rounded.
    [[nodiscard]] int edge(int logical) const;

    /// The job's view counted on device pixels: every edge of the frame moves to its device
    /// position, so the complex rectangle stays and a ratio of 2 gives twice the samples each way
    /// (at even device pixels exactly the logical pixels' numbers).
    [[nodiscard]] RenderJob deviceJob(const RenderJob& logical) const;

    void clear();
    /// Each pixel of `image` as its block of device pixels from the top-left corner, black around:
    /// a stored picture looks as it does on the logical canvas.
    void showImage(const common::RgbImage& image);

    /// Notes the logical pixels inside `area` before drawing calls on `logical` that change
    /// nothing outside it.
    void noteBefore(const common::Canvas& logical, common::Rect area);
    /// Repeats on the device pixels what those calls changed, drawn in the logical canvas's
    /// current raster mode. Not-xor changes every pixel by a mask that does not depend on the
    /// pixel, so the device pixels take the same mask and keep their finer detail (and a band
    /// drawn twice restores them too). A copy writes its colour over the whole block; it is seen
    /// only where it changed the logical pixel, which suffices because copies land only on a
    /// cleared or a stored picture, whose blocks are of one colour each.
    void repeatChanges(const common::Canvas& logical);

private:
    double m_ratio = 1.0;
    common::Canvas m_canvas;
    common::Rect m_noted;
    common::RgbImage m_before;
};

} // namespace explorer
