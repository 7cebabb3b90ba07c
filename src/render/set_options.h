#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "colour_scheme.h"
#include "complex_view.h"
#include "deep_render.h"
#include "picture_record.h"

namespace render {

/// The explorer's picture size, which the renderer takes when nothing else says otherwise.
inline constexpr int kDefaultSide = 601;

/// The largest picture the renderer makes, in pixels: a little over a gigapixel, about
/// forty minutes of counting and encoding on two cores. Far more than a print needs.
inline constexpr std::int64_t kPixelBudget = std::int64_t{1} << 30;
/// Sides beyond these cannot be stored in the format.
inline constexpr std::int64_t kMaxJpegSide = 65500;
inline constexpr std::int64_t kMaxPngSide = 2147483647;

/// One picture of the explorer, every parameter decided.
struct SetPicture {
    explorer::SetKind kind = explorer::SetKind::Mandelbrot;
    explorer::ViewRect view = explorer::DefaultView(explorer::SetKind::Mandelbrot);
    explorer::TComplex juliaC;
    explorer::ColourScheme colours = explorer::OriginalColours();
    int width = kDefaultSide; // pixels
    int height = kDefaultSide;
    /// A view at any depth, counted by the deep engine; `view` and `juliaC` are then unused and
    /// its own width and height are set from the picture's when it is drawn.
    std::optional<deep::DeepView> deepView;
};

/// The smallest decimal magnitude a deep view's radius may have, as the manual page states: the
/// radius is at least 1e-100000, and at least 1e-100000 times a centre coordinate above 1, so the
/// reference orbit needs at most about 332,000 bits (about 1.2 ms an iteration).
inline constexpr std::int64_t kMinRadiusMagnitude = -100'000;

/// The options of `set` as typed; empty means not given.
struct SetOptions {
    std::string kind;
    std::string julia;
    std::vector<std::string> view;
    std::vector<std::string> border;
    std::vector<std::string> main;
    bool subtractive = false;
    bool additive = false;
    std::string size;
    std::string width;
    std::vector<std::string> centre;
    std::string radius;
    std::string iterations;
    std::string from;
    std::string output;
    std::string zoomSequence;
    std::string base;
    // A zoom video (video_command.h); the size then is the video's.
    std::string video;
    std::string fps;
    std::string doublingSeconds;
    std::string codec;
    std::string ffmpeg;
    std::string keyframes;
    bool keyframesOnly = false;
    bool keyframesCount = false; // only print how many keyframes the video has
    std::string range;
    bool quiet = false;
    std::string tile;          // "I/N": only that band of the picture, into its own PNG file
    std::string saveReference; // a deep view's reference orbits, written to this file
    std::string loadReference; // ... or read from it instead of computed
};

/// A number in the explorer's syntax ("." whatever the locale, optional exponent), blanks
/// around it ignored; nothing unless the whole text is one finite number.
[[nodiscard]] std::optional<double> ParseNumber(std::string_view text);

/// A count written with digits only (blanks around ignored), from 1 to 2^31 - 1: "3e0" or "3.0"
/// are no count, however whole their value.
[[nodiscard]] std::optional<std::int64_t> ParseCount(std::string_view text);

/// "RE/IM" as the explorer's start-point list writes it, both parts required and whole.
[[nodiscard]] std::optional<explorer::TComplex> ParseJuliaConstant(std::string_view text);

/// "WxH" (or "WXH"), each a whole number from 1 up (not beyond 2^31 - 1).
[[nodiscard]] std::optional<std::array<std::int64_t, 2>> ParseSize(std::string_view text);

/// The height that keeps the view's aspect at the given width: round(W * |Im| / |Re|).
/// Nothing when that is not a usable height (a view without width or height).
[[nodiscard]] std::optional<std::int64_t> HeightForWidth(std::int64_t width, const explorer::ViewRect& view);

/// Sets the centre and radius of `v` to the kind's default view (DefaultView's middle and
/// half-height), where a deep picture of that kind and a flight into one start.
void DefaultDeepCentre(explorer::SetKind kind, deep::DeepView& v);

/// Conversions between a picture and the record stored with it: a deep picture's record is a
/// DeepSetRecord, every other one a SetRecord.
[[nodiscard]] common::PictureRecord ToRecord(const SetPicture& picture);
[[nodiscard]] SetPicture FromRecord(const common::SetRecord& record);
[[nodiscard]] SetPicture FromRecord(const common::DeepSetRecord& record);

/// The colour of a deep view's count n of `iterations`: the main colour for n = iterations,
/// else the explorer's level colour of n, each channel wrapping as it does for counts up to
/// 256, so a view with 256 iterations has exactly the explorer's colours.
[[nodiscard]] common::Colour DeepCountColour(const explorer::ColourScheme& colours, std::int64_t n,
                                             std::int64_t iterations);

enum class ImageFormat { Png, Jpeg };

/// A picture from the options over a stored picture's record (when --from gave one) over the
/// explorer's defaults, its size checked for the format. `error` names the option that is wrong.
struct ResolvedSet {
    SetPicture picture;
    std::string error;
    [[nodiscard]] bool ok() const { return error.empty(); }
};
/// `record` is a SetRecord or a DeepSetRecord.
[[nodiscard]] ResolvedSet ResolveSet(const SetOptions& options,
                                     const std::optional<common::PictureRecord>& record, ImageFormat format);

/// Empty when a picture of this size fits the format and the budget; otherwise why not.
[[nodiscard]] std::string CheckSize(std::int64_t width, std::int64_t height, ImageFormat format);

/// The format a name asks for by its extension (any case); nothing for other names.
[[nodiscard]] std::optional<ImageFormat> FormatForName(std::string_view path);

} // namespace render
