#include "picture_files.h"
#include "set_record.h"

#include <cstdint>
#include <optional>
#include <string>

#include <gtest/gtest.h>

namespace explorer {
namespace {

TEST(NumberText, PadsToThreeDigitsBelowHundredOnly) {
    struct Row {
        const char* name;
        std::int32_t n;
        const char* text;
    };
    const Row rows[] = {
        {"zero", 0, "000"},
        {"one", 1, "001"},
        {"nine", 9, "009"},
        {"ten", 10, "010"},
        {"forty_two", 42, "042"},
        {"ninety_nine", 99, "099"},
        {"hundred", 100, "100"},
        {"nine_nine_nine", 999, "999"},
        {"four_digits", 1234, "1234"},
        {"largest", 2147483647, "2147483647"},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(NumberText(row.n), row.text) << row.name;
    }
}

TEST(PictureFileName, JoinsFolderBaseNumberAndUpperCaseExtension) {
    struct Row {
        const char* name;
        const char* folder;
        const char* base;
        std::int32_t n;
        const char* path;
    };
    const Row rows[] = {
        {"plain_folder", "/home/anna/Bilder", "Bild", 1, "/home/anna/Bilder/Bild_001.JPG"},
        {"folder_with_trailing_slash", "/home/anna/Bilder/", "Bild", 42, "/home/anna/Bilder//Bild_042.JPG"},
        {"four_digit_number", "/tmp", "Reihe", 1234, "/tmp/Reihe_1234.JPG"},
        // Found by the random-input run: with the folder emptied, S stored its pictures at "/".
        {"no_folder_is_the_current_one_not_the_root", "", "Bild", 1, "Bild_001.JPG"},
        {"blanks_and_umlauts_kept", "/tmp/Bilder ordner", "Äpfel 2", 100,
         "/tmp/Bilder ordner/Äpfel 2_100.JPG"},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(PictureFileName(row.folder, row.base, row.n), row.path) << row.name;
    }
}

TEST(SplitChosenPath, FolderKeepsItsSlashAndBothPartsAreTrimmed) {
    struct Row {
        const char* name;
        const char* path;
        const char* folder;
        const char* file;
    };
    const Row rows[] = {
        {"full_path", "/home/anna/Bilder/Test.jpg", "/home/anna/Bilder/", "Test.jpg"},
        {"root_folder", "/Test.jpg", "/", "Test.jpg"},
        {"no_folder", "Test.jpg", "", "Test.jpg"},
        {"no_file", "/home/anna/", "/home/anna/", ""},
        {"blanks_around_both", "  /tmp/a/  Test.jpg ", "/tmp/a/", "Test.jpg"},
        {"last_slash_counts", "/a/b.c/d/e.jpg", "/a/b.c/d/", "e.jpg"},
        {"empty", "", "", ""},
    };
    for (const Row& row : rows) {
        const ChosenFile chosen = SplitChosenPath(row.path);
        EXPECT_EQ(chosen.folder, row.folder) << row.name;
        EXPECT_EQ(chosen.name, row.file) << row.name;
    }
}

TEST(CutAtFirstDot, KeepsThePartBeforeTheFirstDot) {
    struct Row {
        const char* name;
        const char* in;
        const char* out;
    };
    const Row rows[] = {
        {"one_dot", "Bild.jpg", "Bild"},    {"several_dots", "Serie.v2.final.jpg", "Serie"},
        {"two_dots_in_a_row", "a..b", "a"}, {"no_dot", "Bild", "Bild"},
        {"leading_dot", ".jpg", ""},        {"empty", "", ""},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(CutAtFirstDot(row.in), row.out) << row.name;
    }
}

TEST(StartNumberFromAnswer, PositiveWholeNumbersOnlyElseOne) {
    struct Row {
        const char* name;
        const char* answer;
        std::int32_t number;
    };
    const Row rows[] = {
        {"twelve", "12", 12},
        {"leading_blank", " 12", 12},
        {"plus_sign", "+7", 7},
        {"one", "1", 1},
        {"largest", "2147483647", 2147483647},
        {"zero", "0", 1},
        {"negative", "-5", 1},
        {"letters", "abc", 1},
        {"empty", "", 1},
        {"trailing_blank", "12 ", 1},
        {"digits_then_letters", "12abc", 1},
        {"decimal", "1.5", 1},
        {"overflow", "2147483648", 1},
        {"sign_alone", "+", 1},
        {"two_signs", "+-3", 1},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(StartNumberFromAnswer(row.answer), row.number) << row.name;
    }
}

TEST(ShowDelaySecondsFromAnswer, OneToSixtyElseThree) {
    struct Row {
        const char* name;
        const char* answer;
        std::int32_t seconds;
    };
    const Row rows[] = {
        {"one", "1", 1},    {"sixty", "60", 60},    {"blanks_around", " 7 ", 7},
        {"zero", "0", 3},   {"sixty_one", "61", 3}, {"negative", "-1", 3},
        {"letter", "x", 3}, {"empty", "", 3},       {"decimal", "5.5", 3},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(ShowDelaySecondsFromAnswer(row.answer), row.seconds) << row.name;
    }
}

TEST(PrintScaleFromAnswer, PointDecimalsFromATenthToOneElseOne) {
    struct Row {
        const char* name;
        const char* answer;
        double scale;
    };
    const Row rows[] = {
        {"half", "0.5", 0.5},
        {"lowest", "0.1", 0.1},
        {"highest", "1.0", 1.0},
        {"quarter", "0.25", 0.25},
        {"leading_blanks", "  0.5", 0.5},
        {"comma", "0,5", 1.0},
        {"below_a_tenth", "0.05", 1.0},
        {"just_below_a_tenth", "0.0999", 1.0},
        {"above_one", "1.5", 1.0},
        {"just_above_one", "1.01", 1.0},
        {"negative", "-0.5", 1.0},
        {"letters", "abc", 1.0},
        {"trailing_blank", "0.5 ", 1.0},
        {"trailing_letter", "0.5x", 1.0},
        {"empty", "", 1.0},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(PrintScaleFromAnswer(row.answer), row.scale) << row.name;
    }
}

TEST(ReadNumberedName, PrefixBeforeFirstUnderscoreAndThreeCharactersAsNumber) {
    struct Row {
        const char* name;
        const char* file;
        std::optional<NumberedName> want;
    };
    const Row rows[] = {
        {"leading_zeros", "Bild_007.JPG", NumberedName{"Bild", 7}},
        {"three_digits", "Reihe_100.JPG", NumberedName{"Reihe", 100}},
        {"lower_case_extension", "Bild_042.jpg", NumberedName{"Bild", 42}},
        {"four_digits_read_as_three", "Bild_1234.JPG", NumberedName{"Bild", 123}},
        {"empty_prefix", "_005.JPG", NumberedName{"", 5}},
        {"name_ends_after_two_digits", "Bild_12", NumberedName{"Bild", 12}},
        {"second_underscore_not_a_number", "my_pic_001.JPG", std::nullopt},
        {"no_underscore", "Bild.JPG", std::nullopt},
        {"one_digit_then_dot", "Bild_1.JPG", std::nullopt},
        {"nothing_after_underscore", "Bild_", std::nullopt},
        {"letters_after_underscore", "Bild_abc.JPG", std::nullopt},
    };
    for (const Row& row : rows) {
        const std::optional<NumberedName> got = ReadNumberedName(row.file);
        ASSERT_EQ(got.has_value(), row.want.has_value()) << row.name;
        if (got) {
            EXPECT_EQ(got->prefix, row.want->prefix) << row.name;
            EXPECT_EQ(got->number, row.want->number) << row.name;
        }
    }
}

// A picture goes out with a record only when the record can draw it again.
TEST(SetRecordOf, FlatViewsGiveNoRecordAndMirroredOnesDo) {
    struct Row {
        const char* name;
        ViewRect view;
        bool recorded;
    };
    const Row rows[] = {
        {"default", DefaultView(SetKind::Mandelbrot), true},
        {"mirrored_both_ways", {1.0, -2.0, 1.5, -1.5}, true},
        {"band_straight_up", {0.25, 0.25, -1.0, 1.0}, false},
        {"band_straight_across", {-2.0, 1.0, 0.5, 0.5}, false},
        {"wider_than_a_double", {-1e308, 1e308, -1.0, 1.0}, false},
    };
    for (const Row& row : rows) {
        RenderJob job;
        job.view = row.view;
        job.frame = {0, 601, 0, 601};
        const std::optional<common::SetRecord> record = SetRecordOf(job, OriginalColours());
        ASSERT_EQ(record.has_value(), row.recorded) << row.name;
        if (record) {
            EXPECT_EQ(record->reMin, row.view.ReMin) << row.name;
            EXPECT_EQ(record->imMax, row.view.ImMax) << row.name;
        }
    }
}

} // namespace
} // namespace explorer
