#include "explorer_state.h"

#include <algorithm>

namespace explorer {

void MeasurePicture(ExplorerState& s, int clientWidth, int clientHeight) {
    s.PicWidth = clientWidth;
    s.PicHeight = clientHeight;
    s.frame = {0, s.PicWidth, 0, s.PicHeight};
}

void ClearPicture(ExplorerState& s, common::Canvas& canvas) {
    canvas.setRasterMode(common::RasterMode::Copy);
    canvas.fillRect({0, 0, s.PicWidth, s.PicHeight}, common::kBlack);
    canvas.setBrush({common::BrushStyle::Solid, common::kWhite});
    if (s.ZoomPending) {
        canvas.setRasterMode(common::RasterMode::NotXor);
    }
}

common::Rect BandBox(common::Point anchor, common::Point corner) {
    if (!BandValid(anchor, corner)) {
        return {};
    }
    return {anchor.x, corner.y, corner.x, anchor.y};
}

common::Rect Union(common::Rect a, common::Rect b) {
    if (a.width() <= 0 || a.height() <= 0) {
        return b;
    }
    if (b.width() <= 0 || b.height() <= 0) {
        return a;
    }
    return {std::min(a.left, b.left), std::min(a.top, b.top), std::max(a.right, b.right),
            std::max(a.bottom, b.bottom)};
}

void SetBandPen(common::Canvas& canvas) {
    canvas.setPen({common::kBlack, 2, common::PenStyle::Dotted});
    canvas.setRasterMode(common::RasterMode::Copy);
    canvas.setBrush({common::BrushStyle::Hollow, common::kWhite});
}

namespace {
void drawBand(const ExplorerState& s, common::Canvas& canvas) {
    canvas.rectangle(s.BandAnchor.x, s.BandAnchor.y, s.BandCorner.x, s.BandCorner.y);
}
} // namespace

void EraseBand(ExplorerState& s, common::Canvas& canvas) {
    canvas.setRasterMode(common::RasterMode::NotXor);
    if (BandValid(s.BandAnchor, s.BandCorner)) {
        drawBand(s, canvas);
        s.BandAnchor = {0, 0};
        s.BandCorner = {0, 0};
    }
    s.BandFinished = false;
}

void BandPress(ExplorerState& s, common::Canvas& canvas, bool exactlyLeft, common::Point at) {
    if (s.BandFinished) {
        EraseBand(s, canvas);
    }
    if (exactlyLeft && !s.BandFinished) {
        s.BandAnchor = at;
        s.BandCorner = at;
    }
}

std::string BandMove(ExplorerState& s, common::Canvas& canvas, bool exactlyLeft, common::Point at,
                     bool juliaWasLast) {
    if (!exactlyLeft || s.BandFinished) {
        return {};
    }
    if (BandValid(s.BandAnchor, s.BandCorner)) {
        drawBand(s, canvas);
    }
    s.BandCorner = at;
    if (BandValid(s.BandAnchor, s.BandCorner)) {
        drawBand(s, canvas);
    }
    s.ZoomLow = PixelToComplex(s.view, s.frame, s.BandAnchor);
    s.ZoomHigh = PixelToComplex(s.view, s.frame, s.BandCorner);
    std::string caption = " X / Y = " + FormatComplex(s.ZoomHigh);
    if (juliaWasLast) {
        caption += "   Start: " + FormatComplex(s.JuliaC);
    }
    return caption;
}

std::string BandRelease(ExplorerState& s) {
    s.BandFinished = true;
    s.ZoomPending = true;
    if (BandValid(s.BandAnchor, s.BandCorner)) {
        return ZoomCaption(s.ZoomLow, s.ZoomHigh);
    }
    return {};
}

} // namespace explorer
