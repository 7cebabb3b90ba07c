#pragma once

#include <cstdint>
#include <string>

#include "canvas.h"
#include "colour_scheme.h"
#include "complex_view.h"

namespace explorer {

/// Every variable of the set explorer, zeroed at program start and given working values at
/// window creation and activation. One instance lives in the window.
struct ExplorerState {
    // picture area and view
    int PicWidth = 0;
    int PicHeight = 0;
    PixelFrame frame;
    ViewRect view;
    // rubber band and zoom
    common::Point BandAnchor;
    common::Point BandCorner;
    TComplex ZoomLow;
    TComplex ZoomHigh;
    bool ZoomPending = false;
    bool BandFinished = false;
    // renderers
    TComplex JuliaC;
    TComplex PrevJuliaC;
    double EscapeRadius = 0.0;
    double MaxIter = 0.0;
    bool MandelbrotRunning = false;
    bool JuliaRunning = false;
    bool StartPressed = false;
    // colours
    ColourScheme colours{0, 0, 0, 0, 0, 0, false};
    bool UseOriginalColours = false;
    // keys
    int LastKey = 0;
    // picture files and show
    std::string PicDir;
    std::string PicBaseName;
    std::int32_t PicNumber = 0;
    std::int32_t ShowDelay = 0;
    std::int32_t ShowFirst = 0;
    std::int32_t ShowLast = 0;
    bool ShowPaused = false;
    // printing
    double PrintScale = 0.0;

    [[nodiscard]] bool drawing() const { return MandelbrotRunning || JuliaRunning; }
};

/// Measures the picture area: size and the pixel frame 0..width by 0..height.
void MeasurePicture(ExplorerState& s, int clientWidth, int clientHeight);

/// Blanks the picture area and leaves the surface ready for the rubber band: a white brush
/// (which under not-xor leaves the inside of the band unchanged), and not-xor mode while a zoom
/// is pending so a band on the blank picture can still be erased. The caller resets the caption.
void ClearPicture(ExplorerState& s, common::Canvas& canvas);

/// The pixels a band between these corners covers: none unless it is valid.
[[nodiscard]] common::Rect BandBox(common::Point anchor, common::Point corner);

/// The smallest rectangle holding both; an empty one adds nothing.
[[nodiscard]] common::Rect Union(common::Rect a, common::Rect b);

/// The pen of the rubber band: black, width 2, dotted, mode copy, hollow brush.
void SetBandPen(common::Canvas& canvas);

/// Removes a valid band from the picture by drawing it once more, and opens a new drag.
void EraseBand(ExplorerState& s, common::Canvas& canvas);

/// Press of a mouse button over the picture. `exactlyLeft`: the left button alone, without
/// Shift, Ctrl or Alt.
void BandPress(ExplorerState& s, common::Canvas& canvas, bool exactlyLeft, common::Point at);

/// A move during a drag; gives the new caption, or an empty text when the move is ignored.
[[nodiscard]] std::string BandMove(ExplorerState& s, common::Canvas& canvas, bool exactlyLeft,
                                   common::Point at, bool juliaWasLast);

/// Release of any button: the zoom is pending whatever the band's shape. Gives the zoom caption
/// for a valid band, an empty text otherwise.
[[nodiscard]] std::string BandRelease(ExplorerState& s);

} // namespace explorer
