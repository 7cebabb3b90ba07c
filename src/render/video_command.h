#pragma once

#include <string>

#include "assemble.h"
#include "cli.h"
#include "outcome.h"
#include "set_options.h"

namespace render {

/// The options of `assemble` for a video: its keyframe folder and how to encode it.

/// `set --video OUT` and `set --keyframes-only`: the zoom video from the kind's default view
/// into the target, made from keyframes kept in a folder, encoded by ffmpeg while the next
/// keyframe is counted. `set --keyframes-count` only prints how many keyframes there are, so
/// that a script can cut them into ranges.
[[nodiscard]] Outcome RunVideo(const SetOptions& options, RunContext& context);

/// `assemble --video OUT --keyframes DIR`: the video from a complete keyframe folder, nothing
/// counted.
[[nodiscard]] Outcome AssembleVideo(const AssembleOptions& options, RunContext& context);

} // namespace render
