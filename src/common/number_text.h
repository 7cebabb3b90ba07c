#pragma once

#include <string_view>

namespace common {

/// Reads a number in the locale-independent syntax: optional leading spaces, optional sign,
/// digits with "." (digits before or after the point may be absent), optional exponent.
/// An "e" without exponent digits ends the number before it. Gives the value of the longest
/// valid prefix and whether the whole text was that number; trailing blanks make it not whole.
/// A number too large for a double gives 0 and is not whole (an infinite bound would spoil
/// every later computation); one too small gives 0 with its sign, as rounding would.
struct NumberPrefix {
    double value = 0.0;
    bool whole = false; // the whole text was one valid number
};
[[nodiscard]] NumberPrefix ParseDecimalPrefix(std::string_view text);

} // namespace common
