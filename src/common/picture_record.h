#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

#include "exact_decimal.h"

namespace common {

/// The largest iteration limit of a deep view: a record asking for more is damaged, and the
/// renderer takes no more.
inline constexpr std::int64_t kMaxDeepIterations = 100'000'000;

/// The parameters a picture was made with, stored inside the picture file so that the picture
/// can be made again, larger or elsewhere. The text is plain ASCII, one "key values" line each:
///
///     fractals-picture-record
///     version 1
///     kind mandelbrot            (or julia, or lsystem)
///     ...
///
/// A reader accepts every version up to its own and refuses a newer one, whose meaning it
/// cannot know; unknown keys of an accepted version are skipped, so a later version may add
/// lines without breaking older readers as long as it does not change the meaning of old ones.
inline constexpr std::string_view kRecordIdentifier = "fractals-picture-record";
inline constexpr int kRecordVersion = 2;
/// The version written for a record that version 1 can hold; a deep view's record is written
/// as version 2, which older readers refuse instead of misreading it.
inline constexpr int kFirstRecordVersion = 1;

/// Readers of the files that carry a record take records up to this size; the longest record a
/// drawing can have (ten lines of a formula file of 1 MiB, escaped) is about 4 MiB.
inline constexpr std::size_t kMaxPictureRecordBytes = std::size_t{8} << 20;

/// The explorer's picture. Numbers are written in the shortest form that reads back to the
/// identical double (negative zero and subnormals included).
struct SetRecord {
    bool julia = false;
    double reMin = 0.0;
    double reMax = 0.0;
    double imMin = 0.0;
    double imMax = 0.0;
    double juliaRe = 0.0;
    double juliaIm = 0.0;
    std::array<int, 3> border{};
    std::array<int, 3> main{};
    bool additive = true;
    int width = 0; // pixels
    int height = 0;
};

/// The two backgrounds the generator draws on: black with yellow lines or white with black ones.
enum class LsystemBackground { White, Black };

/// The generator's picture: the ten formula-file lines as its parameter record holds them, the
/// drawing area's size and its background. The key "background" came after the first records
/// of version 1, so a record without it reads as white, the only background those were made on
/// by the renderer and the generator's first choice.
struct LsystemRecord {
    std::array<std::string, 10> lines;
    int width = 0; // pixels
    int height = 0;
    LsystemBackground background = LsystemBackground::White;
};

/// The explorer's picture at any depth (version 2): centre, radius and the Julia constant are
/// exact decimals, written in their canonical text, since a deep centre has far more digits
/// than a double holds. Pixel (x, y) of the W x H picture is
/// (re + R(2x - W)/H, im + R(H - 2y)/H); iterations is the count of a point that never escapes.
struct DeepSetRecord {
    bool julia = false;
    ExactDecimal re;
    ExactDecimal im;
    ExactDecimal radius;
    std::int64_t iterations = 256;
    ExactDecimal juliaRe;
    ExactDecimal juliaIm;
    std::array<int, 3> border{};
    std::array<int, 3> main{};
    bool additive = true;
    int width = 0; // pixels
    int height = 0;
};

using PictureRecord = std::variant<SetRecord, LsystemRecord, DeepSetRecord>;

/// The record as text. Bytes outside printable ASCII and the backslash in the formula lines
/// are written as \xHH, so any line survives.
[[nodiscard]] std::string FormatPictureRecord(const PictureRecord& record);

/// Whether the explorer's picture can be drawn again from the record: every number finite and
/// each side of the view of a non-zero, finite extent. A minimum above its maximum is fine: it
/// is the mirrored view a band dragged leftwards or downwards gives.
[[nodiscard]] bool IsDrawable(const SetRecord& record);

/// Reads a record. Nothing for a text that is not a record, is damaged (a missing or repeated
/// key, a number that does not read back whole, a size below 1, a view that is not drawable,
/// a radius not above zero, iterations below 1), or is of a newer version. A set's record with
/// a "centre" line is a deep view's.
[[nodiscard]] std::optional<PictureRecord> ParsePictureRecord(std::string_view text);

/// Whether the bytes start like a record, to pick it out among other comments of a file.
[[nodiscard]] bool LooksLikePictureRecord(std::string_view bytes);

} // namespace common
