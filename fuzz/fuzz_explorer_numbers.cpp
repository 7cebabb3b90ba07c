// The explorer's number texts: typed into input boxes, pasted from elsewhere, or taken from
// the names of picture files found in a folder.
#include <cerrno>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>

#include "colour_scheme.h"
#include "complex_view.h"
#include "fuzz_support.h"
#include "number_text.h"
#include "picture_files.h"

namespace {

std::string Hex(std::uint64_t v) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    do {
        out.insert(out.begin(), digits[v % 16]);
        v /= 16;
    } while (v != 0);
    return out;
}

void CheckDecimalPrefix(std::string_view text) {
    const common::NumberPrefix number = common::ParseDecimalPrefix(text);
    FUZZ_CHECK(std::isfinite(number.value));
    if (!number.whole) {
        return;
    }
    // A whole number is in a syntax the C library reads the same way (the fuzzer never sets a
    // locale, so its decimal point is "."); only the range errors are ours to decide.
    const std::string owned(text);
    errno = 0;
    char* end = nullptr;
    const double expected = std::strtod(owned.c_str(), &end);
    FUZZ_CHECK(end == owned.c_str() + owned.size());
    if (errno == ERANGE) {
        // Too large is never whole; too small rounds to zero or a subnormal.
        FUZZ_CHECK(std::fabs(expected) < DBL_MIN);
        FUZZ_CHECK(std::fabs(number.value) < DBL_MIN);
        FUZZ_CHECK(std::signbit(number.value) == std::signbit(expected));
    } else {
        FUZZ_CHECK(number.value == expected);
        FUZZ_CHECK(std::signbit(number.value) == std::signbit(expected));
    }
}

void CheckComplex(std::string_view text) {
    const explorer::TComplex z = explorer::ParseComplex(text);
    FUZZ_CHECK(std::isfinite(z.Re) && std::isfinite(z.Im));
    if (text.find('/') == std::string_view::npos) {
        FUZZ_CHECK(z == explorer::TComplex{});
    }
    // The caption shows what was read to 8 decimals; reading the caption gives it back to
    // within half a unit of the last decimal (plus the rounding of a huge part).
    const std::string shown = explorer::FormatComplex(z);
    FUZZ_CHECK(shown.find(" / ") != std::string::npos);
    const explorer::TComplex back = explorer::ParseComplex(shown);
    const auto close = [](double a, double b) {
        return std::fabs(a - b) <= 5.000001e-9 + std::fabs(a) * 4 * DBL_EPSILON;
    };
    FUZZ_CHECK(close(z.Re, back.Re));
    FUZZ_CHECK(close(z.Im, back.Im));
    (void)explorer::JuliaZoomCaption(z, back, z);
}

void CheckColourField(std::string_view text) {
    const std::optional<int> value = explorer::ParseColourField(text);
    if (!value) {
        return;
    }
    // Nothing may follow the digits.
    FUZZ_CHECK(!text.empty() && text.back() != ' ');
    FUZZ_CHECK(explorer::ParseColourField(std::to_string(*value)) == value);
    const std::int64_t wide = *value;
    const std::string sign = wide < 0 ? "-" : "";
    const auto magnitude = static_cast<std::uint64_t>(wide < 0 ? -wide : wide);
    FUZZ_CHECK(explorer::ParseColourField(sign + "$" + Hex(magnitude)) == value);
    FUZZ_CHECK(explorer::ParseColourField("  " + sign + "0X" + Hex(magnitude)) == value);
}

void CheckDecimalInt(std::string_view text) {
    const std::optional<std::int32_t> value = explorer::ParseDecimalInt(text);
    if (value) {
        FUZZ_CHECK(!text.empty() && text.back() >= '0' && text.back() <= '9');
        FUZZ_CHECK(explorer::ParseDecimalInt(std::to_string(*value)) == value);
        FUZZ_CHECK(explorer::ParseDecimalInt(" +" + std::to_string(*value)) ==
                   (*value >= 0 ? value : std::nullopt));
    }
    const std::int32_t start = explorer::StartNumberFromAnswer(text);
    FUZZ_CHECK(start >= 1);
    FUZZ_CHECK(start == (value && *value >= 1 ? *value : 1));
    const std::int32_t delay = explorer::ShowDelaySecondsFromAnswer(text);
    FUZZ_CHECK(delay >= 1 && delay <= 60);
    const double scale = explorer::PrintScaleFromAnswer(text);
    FUZZ_CHECK(scale >= 0.1 && scale <= 1.0);
}

void CheckNumberedName(std::string_view text) {
    const std::optional<explorer::NumberedName> name = explorer::ReadNumberedName(text);
    const std::size_t underscore = text.find('_');
    if (underscore == std::string_view::npos) {
        FUZZ_CHECK(!name);
        return;
    }
    if (!name) {
        return;
    }
    FUZZ_CHECK(name->prefix == text.substr(0, underscore));
    // At most three characters make the number.
    FUZZ_CHECK(name->number >= -99 && name->number <= 999);
    // The name the folder command gives that number reads back as it.
    if (name->number >= 0) {
        const auto again =
            explorer::ReadNumberedName(name->prefix + "_" + explorer::NumberText(name->number) + ".JPG");
        FUZZ_CHECK(again && again->prefix == name->prefix && again->number == name->number);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text = fuzz_support::AsText(data, size);
    CheckDecimalPrefix(text);
    CheckComplex(text);
    CheckColourField(text);
    CheckDecimalInt(text);
    CheckNumberedName(text);
    return 0;
}
