#pragma once

#include <string>
#include <vector>

#include "cli.h"
#include "outcome.h"

namespace render {

/// The options of `assemble` as typed.
struct AssembleOptions {
    std::vector<std::string> inputs; // tiles: files or folders
    std::string output;              // the picture made of the tiles
    std::string video;               // the video made of a keyframe folder
    std::string keyframes;
    std::string size;
    std::string fps;
    std::string doublingSeconds;
    std::string codec;
    std::string ffmpeg;
    bool quiet = false;
};

/// Puts together what was rendered in parts. What is given decides the work: a keyframe folder
/// (--keyframes, --video) makes its video; tiles of one picture (`set --tile`), named one by one
/// or as the folder that holds them, make that picture.
Outcome RunAssemble(const AssembleOptions& options, RunContext& context);

} // namespace render
