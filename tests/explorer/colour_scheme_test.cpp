#include <optional>
#include <ostream>
#include <string>

#include <gtest/gtest.h>

#include "colour_scheme.h"

namespace explorer {
namespace {

template <typename Row> std::string RowName(const ::testing::TestParamInfo<Row>& info) {
    return std::string(info.param.name);
}

constexpr ColourScheme kOriginal = OriginalColours();
constexpr ColourScheme kSubtractive{16, 2, 4, 255, 255, 0, false};
constexpr ColourScheme kWhiteBorder{255, 255, 255, 10, 20, 30, true};
constexpr ColourScheme kBlackSubtractive{0, 0, 0, 1, 2, 3, false};

struct ColourRow {
    const char* name;
    ColourScheme scheme;
    int count;
    common::Colour colour;
};

// Failures name the row instead of dumping its bytes.
void PrintTo(const ColourRow& row, std::ostream* os) {
    *os << row.name;
}

class PixelColourTest : public ::testing::TestWithParam<ColourRow> {};

TEST_P(PixelColourTest, ChannelsWrapToEightBits) {
    const ColourRow& row = GetParam();
    EXPECT_EQ(PixelColour(row.scheme, row.count), row.colour);
    // The table is what the renderer maps with; it must agree with the direct computation.
    EXPECT_EQ(ColourTable(row.scheme)[static_cast<std::size_t>(row.count)], row.colour);
    if (row.count < 256) {
        EXPECT_EQ(LevelColour(row.scheme, row.count), row.colour);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Schemes, PixelColourTest,
    ::testing::Values(ColourRow{"additive_level_0_black", kOriginal, 0, common::kBlack},
                      ColourRow{"additive_level_1_border", kOriginal, 1, {16, 2, 4}},
                      ColourRow{"additive_level_5", kOriginal, 5, {80, 10, 20}},
                      ColourRow{"additive_level_16_wraps_red", kOriginal, 16, {0, 32, 64}},
                      ColourRow{"additive_level_255", kOriginal, 255, {240, 254, 252}},
                      ColourRow{"additive_never_escaped_main", kOriginal, 256, common::kYellow},
                      ColourRow{"additive_white_border_wraps", kWhiteBorder, 255, {1, 1, 1}},
                      ColourRow{"additive_custom_main", kWhiteBorder, 256, {10, 20, 30}},
                      ColourRow{"subtractive_level_0_border", kSubtractive, 0, {16, 2, 4}},
                      ColourRow{"subtractive_level_1", kSubtractive, 1, {15, 1, 3}},
                      ColourRow{"subtractive_level_5_wraps", kSubtractive, 5, {11, 253, 255}},
                      ColourRow{"subtractive_never_escaped_main", kSubtractive, 256, common::kYellow},
                      ColourRow{"subtractive_black_border_level_1", kBlackSubtractive, 1, {255, 255, 255}},
                      ColourRow{"subtractive_black_border_level_255", kBlackSubtractive, 255, {1, 1, 1}},
                      ColourRow{"subtractive_custom_main", kBlackSubtractive, 256, {1, 2, 3}}),
    RowName<ColourRow>);

TEST(ColourTableTest, EveryCountMatchesPixelColour) {
    for (const ColourScheme& scheme : {kOriginal, kSubtractive, kWhiteBorder, kBlackSubtractive}) {
        const auto table = ColourTable(scheme);
        for (int count = 0; count <= 256; ++count) {
            EXPECT_EQ(table[static_cast<std::size_t>(count)], PixelColour(scheme, count))
                << "count " << count;
        }
    }
}

struct FieldRow {
    const char* name;
    std::string_view text;
    std::optional<int> value;
    bool inRange;
};

void PrintTo(const FieldRow& row, std::ostream* os) {
    *os << row.name;
}

class ParseColourFieldTest : public ::testing::TestWithParam<FieldRow> {};

TEST_P(ParseColourFieldTest, WholeFieldIsOneInteger) {
    const FieldRow& row = GetParam();
    const std::optional<int> got = ParseColourField(row.text);
    EXPECT_EQ(got, row.value) << "field \"" << row.text << "\"";
    EXPECT_EQ(got.has_value() && InColourRange(*got), row.inRange);
}

INSTANTIATE_TEST_SUITE_P(
    Fields, ParseColourFieldTest,
    ::testing::Values(
        FieldRow{"decimal", "16", 16, true}, FieldRow{"leading_spaces", "  16", 16, true},
        FieldRow{"trailing_space", "16 ", std::nullopt, false},
        FieldRow{"leading_tab", "\t16", std::nullopt, false}, FieldRow{"empty", "", std::nullopt, false},
        FieldRow{"only_spaces", "   ", std::nullopt, false}, FieldRow{"plus", "+7", 7, true},
        FieldRow{"minus_one_out_of_range", "-1", -1, false}, FieldRow{"sign_only", "-", std::nullopt, false},
        FieldRow{"double_sign", "+-5", std::nullopt, false}, FieldRow{"zero", "0", 0, true},
        FieldRow{"leading_zeros", "007", 7, true}, FieldRow{"top_of_range", "255", 255, true},
        FieldRow{"just_above_range", "256", 256, false}, FieldRow{"dollar_hex", "$FF", 255, true},
        FieldRow{"dollar_lower_hex", "$ff", 255, true}, FieldRow{"zero_x_hex", "0x1f", 31, true},
        FieldRow{"zero_capital_x_hex", "0X1F", 31, true}, FieldRow{"negative_hex", "-$10", -16, false},
        FieldRow{"spaced_signed_hex", " +0x0a", 10, true},
        FieldRow{"dollar_without_digits", "$", std::nullopt, false},
        FieldRow{"zero_x_without_digits", "0x", std::nullopt, false},
        FieldRow{"sign_after_dollar", "$-5", std::nullopt, false},
        FieldRow{"bad_hex_digit", "0x1g", std::nullopt, false},
        FieldRow{"hex_digit_in_decimal", "12a", std::nullopt, false},
        FieldRow{"inner_space", "1 2", std::nullopt, false},
        FieldRow{"decimal_point", "1.0", std::nullopt, false},
        FieldRow{"int_max", "2147483647", 2147483647, false},
        FieldRow{"int_min", "-2147483648", -2147483647 - 1, false},
        FieldRow{"just_above_int", "2147483648", std::nullopt, false},
        FieldRow{"hex_above_int", "0xFFFFFFFF", std::nullopt, false},
        FieldRow{"beyond_64_bits", "99999999999999999999", std::nullopt, false}),
    RowName<FieldRow>);

} // namespace
} // namespace explorer
