#include "parameters.h"

#include <clocale>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace lsystem {
namespace {

// --- floating-point fields

struct FloatRow {
    std::string name;
    std::string text;
    std::optional<double> expected;
};

const std::vector<FloatRow>& floatRows() {
    static const std::vector<FloatRow> rows = {
        {"DecimalComma", "0,7", 0.7},
        {"DecimalPoint", "0.7", 0.7},
        {"BlanksAnywhere", " 0 . 7 ", 0.7},
        {"Exponent", "1e2", 100.0},
        {"UpperCaseExponentWithSign", "2.5E+1", 25.0},
        {"Negative", "-3", -3.0},
        {"ExplicitPlus", "+4,25", 4.25},
        {"NoDigitsBeforeThePoint", ".5", 0.5},
        {"NoDigitsAfterThePoint", "5.", 5.0},
        {"CommaAndNegativeExponent", "1,5e-1", 0.15},
        {"NegativeZero", "-0", -0.0},
        {"SmallestNormal", "2.2250738585072014e-308", 2.2250738585072014e-308},
        {"Empty", "", std::nullopt},
        {"OnlyBlanks", "   ", std::nullopt},
        {"Letters", "abc", std::nullopt},
        {"TwoPoints", "1.2.3", std::nullopt},
        {"CommaAndPoint", "1,2.3", std::nullopt},
        {"PointAndComma", "1.2,3", std::nullopt},
        {"Hexadecimal", "0x10", std::nullopt},
        {"Infinity", "inf", std::nullopt},
        {"NotANumber", "nan", std::nullopt},
        {"ExponentWithoutDigits", "1e", std::nullopt},
        {"ExponentSignWithoutDigits", "1e+", std::nullopt},
        {"DoubleSign", "--1", std::nullopt},
        {"SignOnly", "-", std::nullopt},
        {"PointOnly", ".", std::nullopt},
        {"PointWithExponentOnly", ".e1", std::nullopt},
        {"TooLarge", "1e999", std::nullopt},
        {"TrailingLetter", "1.5x", std::nullopt},
        {"TabIsNoBlank", "\t1.5", std::nullopt},
        {"ThousandsSeparators", "1.000,5", std::nullopt},
    };
    return rows;
}

class ParseFloatTest : public ::testing::TestWithParam<FloatRow> {};

void expectFloatRow(const FloatRow& row) {
    const std::optional<double> value = ParseFieldFloat(row.text);
    ASSERT_EQ(value.has_value(), row.expected.has_value()) << "\"" << row.text << "\"";
    if (value) {
        EXPECT_EQ(*value, *row.expected) << "\"" << row.text << "\"";
        EXPECT_EQ(std::signbit(*value), std::signbit(*row.expected));
    }
}

TEST_P(ParseFloatTest, AcceptsOnlyDecimalNumbers) {
    expectFloatRow(GetParam());
}

INSTANTIATE_TEST_SUITE_P(Rows, ParseFloatTest, ::testing::ValuesIn(floatRows()),
                         [](const ::testing::TestParamInfo<FloatRow>& info) { return info.param.name; });

// The C library's conversions follow LC_NUMERIC; the field must read the same under a locale
// whose decimal separator is the comma.
TEST(ParseFieldFloat, SameResultsUnderACommaLocale) {
    const std::string previous = std::setlocale(LC_NUMERIC, nullptr);
    const char* found = nullptr;
    for (const char* name :
         {"de_DE.UTF-8", "de_DE.utf8", "de_DE", "fr_FR.UTF-8", "de_AT.UTF-8", "nl_NL.UTF-8"}) {
        if (std::setlocale(LC_NUMERIC, name) != nullptr &&
            std::strcmp(std::localeconv()->decimal_point, ",") == 0) {
            found = name;
            break;
        }
    }
    if (found == nullptr) {
        std::setlocale(LC_NUMERIC, previous.c_str());
        FAIL() << "no locale with a decimal comma: make's set-up generates de_DE.UTF-8";
    }
    for (const FloatRow& row : floatRows()) {
        SCOPED_TRACE(row.name);
        expectFloatRow(row);
    }
    std::setlocale(LC_NUMERIC, previous.c_str());
}

// --- integer fields

struct IntRow {
    std::string name;
    std::string text;
    std::optional<std::int32_t> expected;
};

class ParseIntTest : public ::testing::TestWithParam<IntRow> {};

TEST_P(ParseIntTest, AcceptsOnlyDecimalIntegersInRange) {
    const IntRow& row = GetParam();
    EXPECT_EQ(ParseFieldInt(row.text), row.expected) << "\"" << row.text << "\"";
}

INSTANTIATE_TEST_SUITE_P(
    Rows, ParseIntTest,
    ::testing::Values(
        IntRow{"Plain", "3", 3}, IntRow{"BlanksRemoved", " 1 0 ", 10}, IntRow{"Negative", "-1", -1},
        IntRow{"ExplicitPlus", "+7", 7}, IntRow{"LeadingZeros", "007", 7},
        IntRow{"Largest", "2147483647", 2147483647}, IntRow{"Smallest", "-2147483648", INT32_MIN},
        IntRow{"OneAboveTheLargest", "2147483648", std::nullopt},
        IntRow{"OneBelowTheSmallest", "-2147483649", std::nullopt}, IntRow{"Empty", "", std::nullopt},
        IntRow{"OnlyBlanks", "  ", std::nullopt}, IntRow{"Fraction", "1.0", std::nullopt},
        IntRow{"DollarHexadecimal", "$10", std::nullopt}, IntRow{"CHexadecimal", "0x10", std::nullopt},
        IntRow{"Exponent", "1e2", std::nullopt}, IntRow{"TabIsNoBlank", "\t3", std::nullopt},
        IntRow{"SignOnly", "-", std::nullopt}, IntRow{"DoubleSign", "+-3", std::nullopt},
        IntRow{"TrailingLetter", "12a", std::nullopt}),
    [](const ::testing::TestParamInfo<IntRow>& info) { return info.param.name; });

// --- replacing

struct ReplaceRow {
    std::string name;
    std::string text;
    std::string from;
    std::string to;
    bool ignoreCase;
    std::string expectedText;
    int expectedCount;
};

class ReplaceAllTest : public ::testing::TestWithParam<ReplaceRow> {};

TEST_P(ReplaceAllTest, ReplacesEveryOccurrenceOnce) {
    const ReplaceRow& row = GetParam();
    std::string text = row.text;
    EXPECT_EQ(ReplaceAll(text, row.from, row.to, row.ignoreCase), row.expectedCount);
    EXPECT_EQ(text, row.expectedText);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, ReplaceAllTest,
    ::testing::Values(
        ReplaceRow{"Single", "F+F", "+", "-", false, "F-F", 1},
        ReplaceRow{"Several", "F+F+F", "F", "FF", false, "FF+FF+FF", 3},
        ReplaceRow{"ReplacementContainsTheSearchedText", "aXa", "a", "aa", false, "aaXaa", 2},
        ReplaceRow{"LongerSearchText", "abcabc", "bc", "X", false, "aXaX", 2},
        ReplaceRow{"NonOverlappingFromTheLeft", "aaa", "aa", "b", false, "ba", 1},
        ReplaceRow{"CaseMatters", "Ff", "f", "G", false, "FG", 1},
        ReplaceRow{"IgnoreCase", "Ff", "f", "G", true, "GG", 2},
        ReplaceRow{"IgnoreCaseInTheSearchText", "xAbY", "aB", "-", true, "x-Y", 1},
        ReplaceRow{"IgnoreCaseOnlyForAsciiLetters", "\xC3\xA4\xC3\x84", "\xC3\xA4", "a", true, "a\xC3\x84",
                   1},
        ReplaceRow{"NotFound", "F+F", "X", "Y", false, "F+F", 0},
        ReplaceRow{"EmptyText", "", "a", "b", false, "", 0},
        ReplaceRow{"EmptySearchText", "abc", "", "b", false, "abc", 0},
        ReplaceRow{"EmptyReplacement", "abc", "b", "", false, "abc", 0},
        // The marker of the first pass: a character 1 already in the text is
        // replaced too, though not counted.
        ReplaceRow{"MarkerCharacterAlreadyInTheText", std::string("a\x01") + "b", "a", "c", false, "ccb", 1},
        ReplaceRow{"MarkerCharacterWithoutMatch", std::string("x\x01"), "y", "z", false, "xz", 0}),
    [](const ::testing::TestParamInfo<ReplaceRow>& info) { return info.param.name; });

// --- blanks and formulas

struct TextRow {
    std::string name;
    std::string text;
    std::string expected;
};

class RemoveBlanksTest : public ::testing::TestWithParam<TextRow> {};

TEST_P(RemoveBlanksTest, DeletesBlanksOnly) {
    EXPECT_EQ(RemoveBlanks(GetParam().text), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Rows, RemoveBlanksTest,
                         ::testing::Values(TextRow{"Inside", "F + F", "F+F"}, TextRow{"Around", "  F  ", "F"},
                                           TextRow{"OnlyBlanks", "   ", ""}, TextRow{"Empty", "", ""},
                                           TextRow{"OtherWhiteSpaceStays", "F\t+\nF\r", "F\t+\nF\r"},
                                           TextRow{"NoBreakSpaceStays",
                                                   "F\xC2\xA0"
                                                   "F",
                                                   "F\xC2\xA0"
                                                   "F"}),
                         [](const ::testing::TestParamInfo<TextRow>& info) { return info.param.name; });

class NormaliseFormulaTest : public ::testing::TestWithParam<TextRow> {};

TEST_P(NormaliseFormulaTest, RemovesBlanksAndRaisesAsciiLetters) {
    EXPECT_EQ(NormaliseFormula(GetParam().text), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, NormaliseFormulaTest,
    ::testing::Values(TextRow{"Typical", "f(-f)+f- ", "F(-F)+F-"},
                      TextRow{"WholeAlphabet", "abcdefghijklmnopqrstuvwxyz", "ABCDEFGHIJKLMNOPQRSTUVWXYZ"},
                      TextRow{"UpperCaseAndSymbolsStay", "F+-()X[]1", "F+-()X[]1"},
                      TextRow{"UmlautUnchanged", "\xC3\xA4", "\xC3\xA4"}, TextRow{"Empty", "", ""}),
    [](const ::testing::TestParamInfo<TextRow>& info) { return info.param.name; });

// --- the checks of "Erzeugen"

struct CheckRow {
    std::string name;
    ParameterTexts texts;
    ParameterFault fault;
    ParameterField field;
    const char* message;
};

ParameterTexts validTexts() {
    return {"f(-f)+f-", "0,70", "20", "20", "16", "4", "3", "1"};
}

ParameterTexts with(ParameterField field, std::string text) {
    ParameterTexts t = validTexts();
    std::string* slots[] = {&t.formula,     &t.factor, &t.rightAngle, &t.leftAngle,
                            &t.startLength, &t.radius, &t.iterations, &t.waitMs};
    *slots[static_cast<int>(field)] = std::move(text);
    return t;
}

std::vector<CheckRow> checkRows() {
    using F = ParameterField;
    constexpr auto kNone = ParameterFault::None;
    constexpr auto kNaN = ParameterFault::NotANumber;
    constexpr auto kRange = ParameterFault::OutOfRange;
    ParameterTexts twoBad = with(F::Iterations, "0");
    twoBad.factor = "0";
    ParameterTexts twoUnreadable = with(F::Iterations, "x");
    twoUnreadable.factor = "x";
    return {
        {"Valid", validTexts(), kNone, F::Formula, ""},
        {"FactorOneIsAllowed", with(F::Factor, "1"), kNone, F::Formula, ""},
        {"RadiusAboveTenIsAllowed", with(F::Radius, "25"), kNone, F::Formula, ""},
        {"AngleAboveFullTurnIsAllowed", with(F::RightAngle, "720"), kNone, F::Formula, ""},
        {"TenIterations", with(F::Iterations, "10"), kNone, F::Formula, ""},
        {"BlankFormula", with(F::Formula, "   "), ParameterFault::EmptyFormula, F::Formula,
         "Bitte eine zulässige Formel eingeben !"},
        {"EmptyWait", with(F::WaitMs, ""), kNaN, F::WaitMs, " Unerlaubte Parametereingabe !"},
        {"LeftAngleText", with(F::LeftAngle, "abc"), kNaN, F::LeftAngle, " Unerlaubte Parametereingabe !"},
        {"FirstUnreadableInFieldOrder", twoUnreadable, kNaN, F::Factor, " Unerlaubte Parametereingabe !"},
        {"FactorZero", with(F::Factor, "0"), kRange, F::Factor, "Unerlaubte Parametereingabe !"},
        {"FactorAboveOne", with(F::Factor, "1.01"), kRange, F::Factor, "Unerlaubte Parametereingabe !"},
        {"ZeroIterations", with(F::Iterations, "0"), kRange, F::Iterations, "Unerlaubte Parametereingabe !"},
        {"ElevenIterations", with(F::Iterations, "11"), kRange, F::Iterations,
         "Unerlaubte Parametereingabe !"},
        {"StartLengthZero", with(F::StartLength, "0"), kRange, F::StartLength,
         "Unerlaubte Parametereingabe !"},
        {"NegativeRadius", with(F::Radius, "-1"), kRange, F::Radius, "Unerlaubte Parametereingabe !"},
        {"NegativeAngle", with(F::RightAngle, "-30"), kRange, F::RightAngle, "Unerlaubte Parametereingabe !"},
        {"IterationsCheckedBeforeFactor", twoBad, kRange, F::Iterations, "Unerlaubte Parametereingabe !"},
    };
}

class CheckParametersTest : public ::testing::TestWithParam<CheckRow> {};

TEST_P(CheckParametersTest, RefusesAsErzeugenDoes) {
    const CheckRow& row = GetParam();
    const DrawingParameters p = CheckDrawingParameters(row.texts);
    EXPECT_EQ(p.fault, row.fault);
    EXPECT_EQ(ParameterFaultMessage(p.fault), row.message);
    if (row.fault != ParameterFault::None) {
        EXPECT_EQ(p.field, row.field);
    }
}

INSTANTIATE_TEST_SUITE_P(Rows, CheckParametersTest, ::testing::ValuesIn(checkRows()),
                         [](const ::testing::TestParamInfo<CheckRow>& info) { return info.param.name; });

TEST(CheckDrawingParameters, ConvertsTheValidTexts) {
    const DrawingParameters p = CheckDrawingParameters(validTexts());
    ASSERT_TRUE(p.ok());
    EXPECT_EQ(p.formula, "F(-F)+F-");
    EXPECT_EQ(p.factor, 0.7);
    EXPECT_EQ(p.rightDegrees, 20.0);
    EXPECT_EQ(p.startLength, 16);
    EXPECT_EQ(p.radius, 4);
    EXPECT_EQ(p.iterations, 3);
    EXPECT_EQ(p.waitMs, 1);
}

} // namespace
} // namespace lsystem
