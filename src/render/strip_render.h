#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

#include "escape_time.h"
#include "set_options.h"

namespace render {

/// Takes a picture's rows in order, top to bottom, three bytes a pixel.
class RowSink {
public:
    virtual ~RowSink() = default;
    virtual bool writeRows(const std::uint8_t* rgb, int rows, std::string& error) = 0;
};

/// The explorer's job for a picture: the frame 0..width by 0..height, as the window measures its
/// picture area, so every pixel gets the number the window gives it. The last column and row of
/// that frame lie outside the picture and are never stored.
[[nodiscard]] explorer::RenderJob JobFor(const SetPicture& picture);

/// Rows counted and encoded at a time: about a million pixels, so that a strip is large enough
/// to keep every core busy and small enough that memory stays flat at any height.
[[nodiscard]] int StripRows(int width);

struct RenderControl {
    /// Set from elsewhere (a signal handler) to break the render off.
    const std::atomic<bool>* stop = nullptr;
    /// Called from the rendering thread a few times a second with the rows the sink took.
    std::function<void(std::int64_t rowsDone, std::int64_t rows)> progress;
    /// The band of the picture's rows to render (a tile); the sink takes only these, and
    /// progress counts them. A count below 0 means up to the picture's last row.
    int firstRow = 0;
    int rowCount = -1;
};

enum class RenderStatus { Done, Failed, Stopped };

/// Counts the picture strip by strip on the engine's threads while another thread hands the
/// finished strips to the sink, so counting and encoding overlap. The colours are the
/// explorer's table for the counts the explorer's engine gives.
RenderStatus RenderSet(const SetPicture& picture, explorer::CountEngine& engine, RowSink& sink,
                       const RenderControl& control, std::string& error);

} // namespace render
