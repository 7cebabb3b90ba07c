#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace common {

/// A decimal number held exactly: value = (negative ? -1 : 1) × digits × 10^exponent.
///
/// The form is canonical, so two values are equal exactly when their fields are: `digits` has no
/// leading and no trailing zeros (trailing zeros move into `exponent`), and zero is
/// {false, "0", 0}. Deep-zoom centres are published with hundreds of digits and radii go far
/// below what a double holds, so neither may ever pass through a double.
struct ExactDecimal {
    bool negative = false;
    std::string digits = "0"; // '1'..'9' first, '1'..'9' last; or exactly "0"
    std::int64_t exponent = 0;

    friend bool operator==(const ExactDecimal&, const ExactDecimal&) = default;
};

/// Most digits a written mantissa may have (leading and trailing zeros included): a million
/// digits are about 3.3 million bits, far more than any view needs, and the cap keeps a mistyped
/// or hostile argument from taking the memory of the machine.
inline constexpr std::size_t kMaxDecimalDigits = 1'000'000;

/// Largest |m| of a nonzero value's decimal magnitude m = floor(log10 |value|). 10^±100,000,000
/// lies well inside MPFR's default exponent range (about 2^±1,073,741,823, i.e. 10^±323,228,496),
/// so converting it to MPFR never overflows or underflows, and every exponent sum below stays far from the
/// int64 limits.
inline constexpr std::int64_t kMaxDecimalMagnitude = 100'000'000;

/// Reads the whole text as a decimal: optional sign ('+' or '-'), digits with an optional '.'
/// (digits before or after the point may be absent, but not both), optional exponent ('e' or
/// 'E', optional sign, at least one digit). No blanks anywhere. std::nullopt for anything else,
/// for more than kMaxDecimalDigits mantissa digits, and for a nonzero value whose decimal
/// magnitude lies beyond ±kMaxDecimalMagnitude. "-0" reads as zero (zero has no sign).
[[nodiscard]] std::optional<ExactDecimal> ParseExactDecimal(std::string_view text);

/// The canonical text of the value, which ParseExactDecimal() reads back to the same value:
/// positional ("-0.00125", "1200") when the decimal magnitude is in [-7, 20], else one digit
/// before the point and an exponent ("1.5e-700", "2e+30"). Same value, same text.
[[nodiscard]] std::string FormatExactDecimal(const ExactDecimal& value);

/// floor(log10 |value|) for a nonzero value (the position of its leading digit); 0 for zero.
[[nodiscard]] std::int64_t DecimalMagnitude(const ExactDecimal& value);

} // namespace common
