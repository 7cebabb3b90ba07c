#include "number_text.h"

#include <charconv>
#include <cstdint>
#include <system_error>

namespace common {

namespace {

[[nodiscard]] constexpr bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// Saturates instead of overflowing: an exponent of a billion digits means the same as one
// of a few thousand.
constexpr long kExponentCap = 100'000;

} // namespace

NumberPrefix ParseDecimalPrefix(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && text[i] == ' ') {
        ++i;
    }
    const std::size_t numberStart = i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    // from_chars does not take a "+", so the number handed to it starts behind that.
    const std::size_t convertStart = negative ? numberStart : i;

    const std::size_t intStart = i;
    while (i < text.size() && IsDigit(text[i])) {
        ++i;
    }
    const std::size_t intDigits = i - intStart;
    std::size_t fracDigits = 0;
    std::size_t fracStart = i;
    if (i < text.size() && text[i] == '.') {
        fracStart = i + 1;
        std::size_t j = fracStart;
        while (j < text.size() && IsDigit(text[j])) {
            ++j;
        }
        fracDigits = j - fracStart;
        if (intDigits + fracDigits > 0) {
            i = j;
        }
    }
    if (intDigits + fracDigits == 0) {
        return {};
    }

    long exponent = 0;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        std::size_t j = i + 1;
        bool negativeExponent = false;
        if (j < text.size() && (text[j] == '+' || text[j] == '-')) {
            negativeExponent = text[j] == '-';
            ++j;
        }
        if (j < text.size() && IsDigit(text[j])) {
            while (j < text.size() && IsDigit(text[j])) {
                if (exponent < kExponentCap) {
                    exponent = exponent * 10 + (text[j] - '0');
                }
                ++j;
            }
            if (negativeExponent) {
                exponent = -exponent;
            }
            i = j;
        }
    }

    const bool whole = i == text.size();
    double value = 0.0;
    const char* first = text.data() + convertStart;
    const char* last = text.data() + i;
    const auto [ptr, ec] = std::from_chars(first, last, value, std::chars_format::general);
    if (ec == std::errc{} && ptr == last) {
        return {value, whole};
    }
    if (ec == std::errc::result_out_of_range) {
        // Decide between too large and too small from the decimal position of the leading
        // non-zero digit.
        long leading = 0;
        bool found = false;
        for (std::size_t k = 0; k < intDigits && !found; ++k) {
            if (text[intStart + k] != '0') {
                leading = static_cast<long>(intDigits - 1 - k);
                found = true;
            }
        }
        for (std::size_t k = 0; k < fracDigits && !found; ++k) {
            if (text[fracStart + k] != '0') {
                leading = -static_cast<long>(k + 1);
                found = true;
            }
        }
        if (found && leading + exponent > 0) {
            // Too large for a double: an infinite bound would poison every later step, so
            // the number counts as none.
            return {0.0, false};
        }
        // Too small: zero is the correctly rounded value.
        return {negative ? -0.0 : 0.0, whole};
    }
    // The syntax above is a subset of what from_chars reads, so this is not reached; zero is
    // the safe answer all the same.
    return {};
}

} // namespace common
