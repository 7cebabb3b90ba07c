// The generator's parameter fields and formula: typed by the user or read from a formula file.
#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>

#include <fuzzer/FuzzedDataProvider.h>

#include "fuzz_support.h"
#include "parameters.h"

namespace {

void CheckBlanksAndFormula(std::string_view text) {
    const std::string noBlanks = lsystem::RemoveBlanks(text);
    FUZZ_CHECK(noBlanks.find(' ') == std::string::npos);
    FUZZ_CHECK(noBlanks.size() ==
               text.size() - static_cast<std::size_t>(std::count(text.begin(), text.end(), ' ')));
    const std::string formula = lsystem::NormaliseFormula(text);
    FUZZ_CHECK(formula.size() == noBlanks.size());
    for (std::size_t i = 0; i < formula.size(); ++i) {
        const char c = noBlanks[i];
        FUZZ_CHECK(formula[i] == (c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c));
    }
    FUZZ_CHECK(lsystem::NormaliseFormula(formula) == formula);
}

void CheckFieldFloat(std::string_view text) {
    const std::optional<double> value = lsystem::ParseFieldFloat(text);
    if (!value) {
        return;
    }
    FUZZ_CHECK(std::isfinite(*value));
    // An accepted field is a plain decimal number once the blanks are gone and the comma is a
    // point, which the C library (in the "C" locale the fuzzer never leaves) reads alike.
    std::string plain = lsystem::RemoveBlanks(text);
    std::replace(plain.begin(), plain.end(), ',', '.');
    errno = 0;
    char* end = nullptr;
    const double expected = std::strtod(plain.c_str(), &end);
    FUZZ_CHECK(end == plain.c_str() + plain.size());
    FUZZ_CHECK(*value == expected);
    FUZZ_CHECK(std::signbit(*value) == std::signbit(expected));
}

void CheckFieldInt(std::string_view text) {
    const std::optional<std::int32_t> value = lsystem::ParseFieldInt(text);
    const std::string plain = lsystem::RemoveBlanks(text);
    if (!value) {
        // Refused: not an optionally signed run of digits, or beyond 32 bits.
        if (!plain.empty() && plain.find_first_not_of("+-0123456789") == std::string::npos &&
            plain.find_first_of("+-", 1) == std::string::npos &&
            plain.find_first_of("0123456789") != std::string::npos) {
            errno = 0;
            const long long wide = std::strtoll(plain.c_str(), nullptr, 10);
            FUZZ_CHECK(errno == ERANGE || wide < INT32_MIN || wide > INT32_MAX);
        }
        return;
    }
    FUZZ_CHECK(plain.find_first_not_of("+-0123456789") == std::string::npos);
    errno = 0;
    char* end = nullptr;
    const long long expected = std::strtoll(plain.c_str(), &end, 10);
    FUZZ_CHECK(errno == 0 && end == plain.c_str() + plain.size());
    FUZZ_CHECK(*value == expected);
    // The field shows what the program holds; it must read back as the same number.
    const std::string canonical = std::to_string(*value);
    FUZZ_CHECK(lsystem::ParseFieldInt(canonical) == value);
}

void CheckReplaceAll(FuzzedDataProvider& provider) {
    const bool ignoreCase = provider.ConsumeBool();
    const std::string from = provider.ConsumeRandomLengthString(16);
    const std::string to = provider.ConsumeRandomLengthString(16);
    const std::string original = provider.ConsumeRemainingBytesAsString();
    std::string text = original;
    const int count = lsystem::ReplaceAll(text, from, to, ignoreCase);
    FUZZ_CHECK(count >= 0);
    if (original.empty() || from.empty() || to.empty()) {
        FUZZ_CHECK(count == 0);
        FUZZ_CHECK(text == original);
        return;
    }
    FUZZ_CHECK(static_cast<std::size_t>(count) * from.size() <= original.size());
    if (original.find('\x01') != std::string::npos) {
        return; // documented: a character 1 already there is replaced as well
    }
    const auto expectedSize = static_cast<long long>(original.size()) +
                              static_cast<long long>(count) *
                                  (static_cast<long long>(to.size()) - static_cast<long long>(from.size()));
    FUZZ_CHECK(static_cast<long long>(text.size()) == expectedSize);
    if (to.find('\x01') == std::string::npos) {
        FUZZ_CHECK(text.find('\x01') == std::string::npos);
    }
    if (count == 0) {
        FUZZ_CHECK(text == original);
    }
    // Replacing a text by itself changes nothing (when case counts; otherwise the matched
    // letters take the case of the replacement).
    if (!ignoreCase) {
        std::string same = original;
        FUZZ_CHECK(lsystem::ReplaceAll(same, from, from, false) == count);
        FUZZ_CHECK(same == original);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text = fuzz_support::AsText(data, size);
    CheckBlanksAndFormula(text);
    CheckFieldFloat(text);
    CheckFieldInt(text);
    FuzzedDataProvider provider(data, size);
    CheckReplaceAll(provider);
    return 0;
}
