#include "exact_decimal.h"

#include <algorithm>

namespace common {

namespace {

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

/// An exponent's digits beyond this value cannot give an accepted nonzero value (the mantissa
/// shifts the magnitude by at most kMaxDecimalDigits), so reading stops growing there and the
/// int64 never overflows, however many digits are written.
constexpr std::int64_t kExponentSaturation = 1'000'000'000'000'000;

bool IsZero(const ExactDecimal& value) {
    return value.digits == "0";
}

} // namespace

std::optional<ExactDecimal> ParseExactDecimal(std::string_view text) {
    std::size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    std::string mantissa;
    std::int64_t fractionDigits = 0;
    while (i < text.size() && IsDigit(text[i])) {
        mantissa += text[i++];
        if (mantissa.size() > kMaxDecimalDigits) {
            return std::nullopt;
        }
    }
    if (i < text.size() && text[i] == '.') {
        ++i;
        while (i < text.size() && IsDigit(text[i])) {
            mantissa += text[i++];
            ++fractionDigits;
            if (mantissa.size() > kMaxDecimalDigits) {
                return std::nullopt;
            }
        }
    }
    if (mantissa.empty()) {
        return std::nullopt;
    }
    std::int64_t written = 0;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        bool exponentNegative = false;
        if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
            exponentNegative = text[i] == '-';
            ++i;
        }
        if (i == text.size() || !IsDigit(text[i])) {
            return std::nullopt;
        }
        while (i < text.size() && IsDigit(text[i])) {
            written = std::min(written * 10 + (text[i++] - '0'), kExponentSaturation);
        }
        if (exponentNegative) {
            written = -written;
        }
    }
    if (i != text.size()) {
        return std::nullopt;
    }

    const auto first = mantissa.find_first_not_of('0');
    if (first == std::string::npos) {
        return ExactDecimal{};
    }
    const auto last = mantissa.find_last_not_of('0');
    ExactDecimal value;
    value.negative = negative;
    value.digits = mantissa.substr(first, last - first + 1);
    value.exponent = written - fractionDigits + static_cast<std::int64_t>(mantissa.size() - 1 - last);
    const std::int64_t magnitude = DecimalMagnitude(value);
    if (magnitude > kMaxDecimalMagnitude || magnitude < -kMaxDecimalMagnitude) {
        return std::nullopt;
    }
    return value;
}

std::int64_t DecimalMagnitude(const ExactDecimal& value) {
    if (IsZero(value)) {
        return 0;
    }
    return value.exponent + static_cast<std::int64_t>(value.digits.size()) - 1;
}

std::string FormatExactDecimal(const ExactDecimal& value) {
    if (IsZero(value)) {
        return "0";
    }
    std::string text = value.negative ? "-" : "";
    const std::int64_t magnitude = DecimalMagnitude(value);
    const auto count = static_cast<std::int64_t>(value.digits.size());
    if (magnitude >= -7 && magnitude <= 20) {
        if (value.exponent >= 0) {
            text += value.digits;
            text.append(static_cast<std::size_t>(value.exponent), '0');
        } else if (const std::int64_t whole = count + value.exponent; whole > 0) {
            text += value.digits.substr(0, static_cast<std::size_t>(whole));
            text += '.';
            text += value.digits.substr(static_cast<std::size_t>(whole));
        } else {
            text += "0.";
            text.append(static_cast<std::size_t>(-whole), '0');
            text += value.digits;
        }
        return text;
    }
    text += value.digits[0];
    if (count > 1) {
        text += '.';
        text.append(value.digits, 1);
    }
    text += magnitude < 0 ? "e-" : "e+";
    text += std::to_string(magnitude < 0 ? -magnitude : magnitude);
    return text;
}

} // namespace common
