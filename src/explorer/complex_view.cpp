#include "complex_view.h"

#include <array>
#include <charconv>
#include <cstdint>
#include <system_error>

namespace explorer {

namespace {

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
    // The sign says on which side of the axis a point lies, so a tiny negative value keeps it
    // even when its digits round to zero; only -0.0 and a nan's sign bit say nothing.
    if (!digits.empty() && digits.front() == '-' && !(v < 0.0)) {
        digits.remove_prefix(1);
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
