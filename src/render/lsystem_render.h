#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "canvas.h"
#include "formula_walk.h"
#include "lsystem_picture.h"

namespace render {

/// How a walk is watched: a stop request (Ctrl+C) ends it at the next step; the progress
/// callback gets the segments drawn and the number a whole walk draws, a few times a second.
struct WalkControl {
    const std::atomic<bool>* stop = nullptr;
    std::function<void(std::uint64_t done, double total)> progress;
    /// The rows of a pixel picture encoded so far, after every strip; the stop request is
    /// heeded there too.
    std::function<void(std::int64_t rowsDone, std::int64_t rows)> encodeProgress;
};

struct WalkResult {
    bool stopped = false;   // broken off by the stop request
    bool stackFull = false; // the formula nests more than ten brackets; the drawing ends there
    std::uint64_t segments = 0;
};

/// The window's drawing on a canvas of the area's size: cleared to the background, then the
/// walk with the window's own drawing code.
[[nodiscard]] WalkResult DrawOnCanvas(const LsystemPicture& picture, common::Canvas& canvas,
                                      const WalkControl& control);

/// The same walk with every segment going to `observer` instead of a canvas.
[[nodiscard]] WalkResult WalkSegments(const LsystemPicture& picture,
                                      const lsystem::FormulaWalk::SegmentObserver& observer,
                                      const WalkControl& control);

enum class WriteStatus { Done, Stopped, Failed };

/// Whether the format can carry the record: a JPEG comment segment holds at most 65533 bytes,
/// which a formula of tens of thousands of characters exceeds. Such a picture is written
/// without its record.
[[nodiscard]] bool FormatHoldsRecord(DrawingFormat format, std::string_view record);

/// Draws the picture into `path` (written beside it and renamed at the end) in the format;
/// `error` says why when it failed. A stack overflow still writes the drawing, as far as the
/// window draws it, and sets `stackFull`. A pixel picture's canvas is allocated before the file
/// is created, so too little memory leaves nothing behind. The stop request is looked at once
/// more with every signal held back just before the rename: a signal either comes before it and
/// nothing is written (Stopped), or after it and the file is complete under its name (Done).
[[nodiscard]] WriteStatus WriteLsystemPicture(const LsystemPicture& picture, const std::string& path,
                                              DrawingFormat format, const WalkControl& control,
                                              bool& stackFull, std::string& error);

} // namespace render
