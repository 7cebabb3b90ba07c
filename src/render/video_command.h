#pragma once

#include <string>

#include "cli.h"
#include "outcome.h"
#include "set_options.h"

namespace render {

/// The options of `assemble` for a video: its keyframe folder and how to encode it.
struct AssembleOptions {
    std::string video;
    std::string keyframes;
    std::string size;
    std::string fps;
    std::string doublingSeconds;
    std::string codec;
    std::string ffmpeg;
    bool quiet = false;
};

/// `set --video OUT` and `set --keyframes-only`: the zoom video from the kind's default view
/// into the target, made from keyframes kept in a folder, encoded by ffmpeg while the next
/// keyframe is counted.
[[nodiscard]] Outcome RunVideo(const SetOptions& options, RunContext& context);

/// `assemble --video OUT --keyframes DIR`: the video from a complete keyframe folder, nothing
/// counted.
[[nodiscard]] Outcome RunAssemble(const AssembleOptions& options, RunContext& context);

} // namespace render
