#pragma once

#include <string>

#include "colour_scheme.h"
#include "deep_render.h"
#include "strip_render.h"

namespace render {

/// Counts a prepared deep picture a strip of rows at a time and hands the coloured rows to the
/// sink, so memory stays that of one strip at any height; the next strip is counted while one
/// is encoded, and progress, the rows taken up so far, is reported a few times a second while a
/// strip is counted. The colours are DeepCountColour's.
/// Stopped when the stop flag ended the counting; nothing more reaches the sink then.
RenderStatus RenderDeep(const deep::DeepPicture& picture, const explorer::ColourScheme& colours,
                        RowSink& sink, const RenderControl& control, std::string& error);

} // namespace render
