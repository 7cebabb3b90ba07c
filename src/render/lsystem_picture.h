#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "colour.h"
#include "formula_walk.h"
#include "picture_record.h"

namespace render {

/// The generator's drawing area as it was designed; formula files and presets are drawn on an
/// area of this size unless a size is asked for.
inline constexpr int kDesignSide = 493;

/// A drawing in pixels is held whole on a canvas while the walk draws on it, three bytes a
/// pixel: this caps that at 768 MB.
inline constexpr std::int64_t kCanvasPixelBudget = std::int64_t{1} << 28;
/// Vector drawings need no pixels; the cap keeps every coordinate exact in the files' numbers.
inline constexpr std::int64_t kMaxVectorSide = 1000000;
/// The widest line --pen-width takes, and the most an enlarged drawing scales its line to.
inline constexpr std::int32_t kMaxPenWidth = 10000;

enum class DrawingFormat { Png, Jpeg, Svg, Pdf };

/// The format a name asks for by its extension (any case); nothing for other names.
[[nodiscard]] std::optional<DrawingFormat> DrawingFormatForName(std::string_view path);

/// One drawing of the generator, every parameter decided and checked.
struct LsystemPicture {
    lsystem::WalkSettings settings; // without wait and pause: nobody watches it grow
    double factor = 1.0;
    common::Colour background = common::kWhite;
    common::Colour pen = common::kBlack;
    /// The ten lines and the area size: what the window would need to draw this very picture.
    common::LsystemRecord record;
    [[nodiscard]] int width() const { return record.width; }
    [[nodiscard]] int height() const { return record.height; }
};

/// The options of `lsystem` as typed; empty means not given.
struct LsystemOptions {
    std::string file;
    std::string preset;
    std::string from;
    std::string size;
    std::string background;
    std::string penWidth;
    std::string output;
    bool quiet = false;
};

/// A drawing, or why there is none: `usage` tells an option that is wrong (exit status 2) from
/// an input that cannot be drawn (status 1).
struct ResolvedLsystem {
    LsystemPicture picture;
    std::string error;
    bool usage = false;
    [[nodiscard]] bool ok() const { return error.empty(); }
};

/// The drawing of the lines of a formula file (or of a record) made for a refWidth x refHeight
/// area, drawn on a width x height area. Checked as the generator checks them, with its reasons
/// in plain words naming `source`. Another size scales the start length, the node radius and the
/// start point by the smaller of the two side ratios, rounded to whole pixels as the fields take
/// them, so the figure keeps its shape; the start point stays measured from the top-left corner.
/// The line width (`settings.penWidth`) is the smaller side over the design side (493), rounded,
/// at least 1: for a formula file or preset the ratio the lengths are scaled by, so a larger
/// drawing looks like the window's enlarged, and a drawing made larger keeps its width when it
/// is drawn again from its record at its own size.
[[nodiscard]] ResolvedLsystem LsystemFromLines(std::vector<std::string> lines, const std::string& source,
                                               int refWidth, int refHeight, int width, int height);

/// The drawing the options ask for: a formula file, a preset or a stored picture's record, at
/// the size asked for or else the design size (the stored picture's size with a record).
[[nodiscard]] ResolvedLsystem ResolveLsystem(const LsystemOptions& options,
                                             const std::optional<common::LsystemRecord>& record,
                                             DrawingFormat format);

/// The number of segments a complete walk draws: the formula's F count to the power of the
/// iterations (as a double, since it may exceed any integer).
[[nodiscard]] double SegmentsOfWalk(const lsystem::WalkSettings& settings);

} // namespace render
