#pragma once

#include <string>
#include <string_view>

#include "colour.h"
#include "number_text.h"

namespace explorer {

/// A complex number as two IEEE-754 doubles.
struct TComplex {
    double Re = 0.0;
    double Im = 0.0;
    friend constexpr bool operator==(TComplex, TComplex) = default;
};

enum class SetKind { Mandelbrot, Julia };

/// The part of the complex plane shown: ReMin at x = FrameLeft, ReMax at x = FrameRight,
/// ImMin at y = FrameBottom, ImMax at y = FrameTop.
struct ViewRect {
    double ReMin = 0.0;
    double ReMax = 0.0;
    double ImMin = 0.0;
    double ImMax = 0.0;
    friend constexpr bool operator==(const ViewRect&, const ViewRect&) = default;
};

/// The pixel frame, bounds inclusive; the renderers visit FrameLeft..FrameRight by
/// FrameTop..FrameBottom.
struct PixelFrame {
    int FrameLeft = 0;
    int FrameRight = 0;
    int FrameTop = 0;
    int FrameBottom = 0;
    friend constexpr bool operator==(const PixelFrame&, const PixelFrame&) = default;
};

/// -2 .. 1 by -1.5 .. 1.5 for the Mandelbrot set, -1.5 .. 1.5 square for Julia sets.
[[nodiscard]] ViewRect DefaultView(SetKind kind);

/// The complex number at pixel p. The view's extent is multiplied by the pixel offset before
/// the division by the frame extent, and every step is rounded to a double, so the numbers are
/// the same on every machine (the build forbids fused multiply-adds).
[[nodiscard]] TComplex PixelToComplex(const ViewRect& view, const PixelFrame& frame, common::Point p);

/// Reads "re/im": blanks and control characters around the whole text and around each part are
/// ignored, the split is at the first "/", numbers use "." whatever the locale. No "/" gives
/// (0, 0); an empty part is 0; a part that is not a number gives the value of its longest
/// valid prefix (0 when there is none), so "1,5" reads as 1 and "nan" or "inf" as 0.
[[nodiscard]] TComplex ParseComplex(std::string_view text);

using common::NumberPrefix;
using common::ParseDecimalPrefix;

/// Real part, " / ", imaginary part, each with exactly 8 decimals and "." whatever the locale,
/// correctly rounded from the binary value. Every value below zero keeps its "-", also one that
/// rounds to zero (-1e-9 gives "-0.00000000"); -0.0 equals zero and gives "0.00000000";
/// non-finite parts give "inf", "-inf" or "nan".
[[nodiscard]] std::string FormatComplex(TComplex z);

/// "Zoom:  (" low ")  -  (" high ")".
[[nodiscard]] std::string ZoomCaption(TComplex low, TComplex high);
/// The zoom caption followed by "   Start:  (" c ")".
[[nodiscard]] std::string JuliaZoomCaption(TComplex low, TComplex high, TComplex c);

/// A rubber band is drawn and named only when dragged to the right and upwards.
[[nodiscard]] constexpr bool BandValid(common::Point anchor, common::Point corner) {
    return anchor.x < corner.x && corner.y < anchor.y;
}

} // namespace explorer
