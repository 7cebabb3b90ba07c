#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace lsystem {

/// Deletes every blank (code 32); other white space stays.
[[nodiscard]] std::string RemoveBlanks(std::string_view text);

/// Replaces every occurrence of `from` by `to` (ignoring letter case when asked) and gives the
/// number of replacements; nothing happens when any of the three texts is empty. Occurrences
/// are first marked with the character 1, so a replacement that contains `from` is not
/// replaced again.
int ReplaceAll(std::string& text, std::string_view from, std::string_view to, bool ignoreCase);

/// A parameter field's floating-point number: blanks removed, "." and "," both taken as the
/// decimal point whatever the locale, optional sign and exponent. Anything else fails.
[[nodiscard]] std::optional<double> ParseFieldFloat(std::string_view text);

/// A parameter field's integer: blanks removed, an optionally signed decimal integer within
/// the 32-bit range. Anything else, the empty text included, fails.
[[nodiscard]] std::optional<std::int32_t> ParseFieldInt(std::string_view text);

/// The formula as drawn: blanks removed, letters a to z in upper case.
[[nodiscard]] std::string NormaliseFormula(std::string_view text);

} // namespace lsystem
