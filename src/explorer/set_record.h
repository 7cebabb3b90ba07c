#pragma once

#include <optional>

#include "colour_scheme.h"
#include "escape_time.h"
#include "picture_record.h"

namespace explorer {

/// The record stored with a picture of this job in these colours: enough to count and colour
/// every pixel again. The size is the frame's extent, the picture the window shows for it.
/// Nothing for a view no record may hold (see common::IsDrawable): a band dragged straight up
/// or straight across zooms into a line, and such a flat picture is stored without a record.
[[nodiscard]] std::optional<common::SetRecord> SetRecordOf(const RenderJob& job, const ColourScheme& colours);

} // namespace explorer
