#pragma once

#include <string>

#include "deep_render.h"
#include "outcome.h"

namespace render {

/// A deep view's reference orbits in a file of their own, so that the processes that render
/// the tiles or pictures of one view share the serial MPFR part: one process computes and saves
/// them, the others load them. The file names the view it belongs to, as plain text lines
/// before the numbers:
///
///     fractals-reference-orbit
///     version 1
///     kind mandelbrot                 (or julia, with a "julia RE IM" line after iterations)
///     centre RE IM
///     radius R
///     iterations N
///     precision BITS                  (ViewPrecision of the view, which follows its height)
///     points MAIN REBASE
///     crc32 HHHHHHHH                  (of the numbers' bytes)
///     data
///
/// followed by the MAIN points of the centre's orbit and the REBASE points of the orbit of 0
/// (Julia sets only), each as two little-endian IEEE doubles, real part first.

/// Writes the picture's orbits to `path`, whole or not at all.
[[nodiscard]] Outcome SaveReferenceFile(const std::string& path, const deep::DeepPicture& picture);

/// Reads the orbits saved for `view`. A file of another view (another centre, radius, iteration
/// limit, Julia constant or precision) is refused with what differs, as is a damaged file.
[[nodiscard]] Outcome LoadReferenceFile(const std::string& path, const deep::DeepView& view,
                                        deep::ReferenceOrbits& orbits);

} // namespace render
