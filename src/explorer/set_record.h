#pragma once

#include "colour_scheme.h"
#include "escape_time.h"
#include "picture_record.h"

namespace explorer {

/// The record stored with a picture of this job in these colours: enough to count and colour
/// every pixel again. The size is the frame's extent, the picture the window shows for it.
[[nodiscard]] common::SetRecord SetRecordOf(const RenderJob& job, const ColourScheme& colours);

} // namespace explorer
