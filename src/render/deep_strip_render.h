#pragma once

#include <string>

#include "colour_scheme.h"
#include "deep_render.h"
#include "strip_render.h"

namespace render {

/// Pixels of one call of DeepPicture::countRows() when the render reports progress: a strip of
/// a picture 1024 pixels wide is the whole picture up to 1024 rows high, and at the deepest
/// views a megapixel takes seconds, so progress comes after each band of about this many.
inline constexpr int kDeepBandPixels = 65536;

/// The rows of one band: about kDeepBandPixels pixels, but at least eight rows for every core
/// up to 64 rows (countRows() shares a band's rows among the cores), and at most a strip.
[[nodiscard]] int DeepBandRows(int width, int stripRows);

/// Counts a prepared deep picture a strip of rows at a time and hands the coloured rows to the
/// sink, so memory stays that of one strip at any height; progress is reported after every
/// band of DeepBandRows() rows. The colours are DeepCountColour's.
/// Stopped when the stop flag ended the counting; nothing more reaches the sink then.
RenderStatus RenderDeep(const deep::DeepPicture& picture, const explorer::ColourScheme& colours,
                        RowSink& sink, const RenderControl& control, std::string& error);

} // namespace render
