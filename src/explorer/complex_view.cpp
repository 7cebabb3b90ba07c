#include "complex_view.h"

#include <array>
#include <charconv>
#include <cstdint>
#include <system_error>

namespace explorer {

namespace {

[[nodiscard]] constexpr bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// Everything up to and including the space counts as a blank: input pasted from elsewhere may
// carry tabs and line ends.
[[nodiscard]] constexpr bool IsBlank(char c) {
    return static_cast<unsigned char>(c) <= 32;
}

[[nodiscard]] std::string_view Trim(std::string_view s) {
    while (!s.empty() && IsBlank(s.front())) {
        s.remove_prefix(1);
    }
    while (!s.empty() && IsBlank(s.back())) {
        s.remove_suffix(1);
    }
    return s;
}

// Saturates instead of overflowing: an exponent of a billion digits means the same as one
// of a few thousand.
constexpr long kExponentCap = 100'000;

} // namespace

ViewRect DefaultView(SetKind kind) {
    if (kind == SetKind::Julia) {
        return {-1.5, 1.5, -1.5, 1.5};
    }
    return {-2.0, 1.0, -1.5, 1.5};
}

TComplex PixelToComplex(const ViewRect& view, const PixelFrame& frame, common::Point p) {
    // The differences of ints can exceed int, so they are formed in 64 bits; a zero frame
    // extent then divides only doubles, which IEEE defines.
    const auto dx = static_cast<double>(static_cast<std::int64_t>(p.x) - frame.FrameLeft);
    const auto width = static_cast<double>(static_cast<std::int64_t>(frame.FrameRight) - frame.FrameLeft);
    const auto dy = static_cast<double>(static_cast<std::int64_t>(p.y) - frame.FrameBottom);
    const auto height = static_cast<double>(static_cast<std::int64_t>(frame.FrameBottom) - frame.FrameTop);

    // Named steps keep each intermediate a rounded double.
    const double reExtent = view.ReMax - view.ReMin;
    const double reScaled = reExtent * dx;
    const double reOffset = reScaled / width;
    const double imExtent = view.ImMax - view.ImMin;
    const double imScaled = imExtent * dy;
    const double imOffset = imScaled / height;
    return {view.ReMin + reOffset, view.ImMin - imOffset};
}

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

TComplex ParseComplex(std::string_view text) {
    text = Trim(text);
    const std::size_t slash = text.find('/');
    if (slash == std::string_view::npos) {
        return {};
    }
    return {ParseDecimalPrefix(Trim(text.substr(0, slash))).value,
            ParseDecimalPrefix(Trim(text.substr(slash + 1))).value};
}

namespace {

void AppendFixed8(std::string& out, double v) {
    // 309 integer digits of the largest double, the point, 8 decimals and a sign fit.
    std::array<char, 400> buffer{};
    const auto [ptr, ec] =
        std::to_chars(buffer.data(), buffer.data() + buffer.size(), v, std::chars_format::fixed, 8);
    std::string_view digits(buffer.data(),
                            ec == std::errc{} ? static_cast<std::size_t>(ptr - buffer.data()) : 0);
    if (!digits.empty() && digits.front() == '-') {
        // A value that shows as zero (or as nan) carries no sign: "-0.00000000" would only
        // confuse the reader of a caption.
        bool allZero = true;
        for (char c : digits.substr(1)) {
            if (c != '0' && c != '.') {
                allZero = false;
                break;
            }
        }
        if (allZero || digits == "-nan") {
            digits.remove_prefix(1);
        }
    }
    out.append(digits);
}

} // namespace

std::string FormatComplex(TComplex z) {
    std::string out;
    AppendFixed8(out, z.Re);
    out += " / ";
    AppendFixed8(out, z.Im);
    return out;
}

std::string ZoomCaption(TComplex low, TComplex high) {
    return "Zoom:  (" + FormatComplex(low) + ")  -  (" + FormatComplex(high) + ")";
}

std::string JuliaZoomCaption(TComplex low, TComplex high, TComplex c) {
    return ZoomCaption(low, high) + "   Start:  (" + FormatComplex(c) + ")";
}

} // namespace explorer
