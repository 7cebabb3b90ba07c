#include <ostream>
#include <string>

#include <QString>
#include <QStringList>

#include <gtest/gtest.h>

#include "qt_services.h"

namespace {

struct FilterCase {
    const char* name;
    std::string filter;
    QStringList expected;
};

void PrintTo(const FilterCase& c, std::ostream* os) {
    *os << c.name;
}

class FileFilterTest : public ::testing::TestWithParam<FilterCase> {};

TEST_P(FileFilterTest, ConvertsToQtNameFilters) {
    const FilterCase& c = GetParam();
    EXPECT_EQ(platform::convertFileFilter(c.filter), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Filters, FileFilterTest,
    ::testing::Values(
        FilterCase{"description_with_trailing_blank", "JPG-Dateien |*.jpg", {"JPG-Dateien (*.jpg)"}},
        FilterCase{"pattern_already_in_description",
                   "FRA-Fractaldateien (*.frc)|*.frc",
                   {"FRA-Fractaldateien (*.frc)"}},
        FilterCase{"several_patterns", "Bilder|*.jpg;*.jpeg", {"Bilder (*.jpg *.jpeg)"}},
        FilterCase{"several_patterns_already_in_description",
                   "Bilder (*.jpg;*.jpeg)|*.jpg;*.jpeg",
                   {"Bilder (*.jpg *.jpeg)"}},
        FilterCase{"two_entries_and_all_files",
                   "JPG-Dateien|*.jpg|Alle Dateien|*.*",
                   {"JPG-Dateien (*.jpg)", "Alle Dateien (*)"}},
        FilterCase{"other_brackets_in_description", "Daten (alt)|*.dat", {"Daten (alt) (*.dat)"}},
        FilterCase{"blanks_around_pattern", "Text| *.txt ", {"Text (*.txt)"}},
        FilterCase{"no_description", "|*.txt", {"(*.txt)"}},
        FilterCase{"no_pattern_means_all", "Alles|", {"Alles (*)"}},
        FilterCase{"trailing_description_dropped", "JPG|*.jpg|Rest", {"JPG (*.jpg)"}},
        FilterCase{"umlauts_kept", "Formeln für Bäume|*.lsy", {QStringLiteral("Formeln für Bäume (*.lsy)")}},
        FilterCase{"empty", "", {}}, FilterCase{"description_only", "Nur Text", {}}),
    [](const ::testing::TestParamInfo<FilterCase>& info) { return std::string(info.param.name); });

} // namespace
