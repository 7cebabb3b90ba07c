#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace explorer {

/// Three digits with leading zeros below 100, the plain number from 100 up: 1 -> "001",
/// 42 -> "042", 1234 -> "1234".
[[nodiscard]] std::string NumberText(std::int32_t n);

/// folder + "/" + base + "_" + NumberText(n) + ".JPG". A folder that already ends in "/" gives
/// two in a row, which the file system reads as one; an empty folder gives a name in the current
/// folder.
[[nodiscard]] std::string PictureFileName(std::string_view folder, std::string_view base, std::int32_t n);

/// A confirmed dialog path split into its folder (up to and including the last "/") and its
/// file name, each with the blanks around it removed.
struct ChosenFile {
    std::string folder;
    std::string name;
};
[[nodiscard]] ChosenFile SplitChosenPath(std::string_view path);

/// The base name of a file name: the part before its first ".".
[[nodiscard]] std::string CutAtFirstDot(std::string_view name);

/// Removes blanks and control characters (codes 0 to 32) at both ends.
[[nodiscard]] std::string TrimBlanks(std::string_view text);

/// A decimal integer with leading blanks allowed and nothing after the digits; nothing for
/// anything else (an empty text, a sign alone, other characters, overflow).
[[nodiscard]] std::optional<std::int32_t> ParseDecimalInt(std::string_view text);

/// The start number of the folder command: a number below 1 or a text that is not a number
/// gives 1.
[[nodiscard]] std::int32_t StartNumberFromAnswer(std::string_view answer);

/// The show's wait in seconds: the trimmed answer as a number from 1 to 60, anything else 3.
[[nodiscard]] std::int32_t ShowDelaySecondsFromAnswer(std::string_view answer);

/// The print scale: a number with "." as the decimal point (leading blanks allowed, nothing
/// after it) from 0.1 to 1.0; anything else 1.0.
[[nodiscard]] double PrintScaleFromAnswer(std::string_view answer);

/// The prefix and number of a numbered picture's file name: the text before the first "_" and
/// the (up to) three characters after it read as a whole as a decimal integer ("Bild_007.JPG"
/// gives "Bild" and 7, "Bild_1234.JPG" gives 123). Nothing when there is no "_" or no number.
struct NumberedName {
    std::string prefix;
    std::int32_t number = 0;
};
[[nodiscard]] std::optional<NumberedName> ReadNumberedName(std::string_view name);

} // namespace explorer
