#include "formula_file.h"
#include "test_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace lsystem {
namespace {

namespace fs = std::filesystem;

const std::string kBom = "\xEF\xBB\xBF";

using testing_support::FolderEntries;
using testing_support::ReadFileBytes;
using testing_support::WriteFileBytes;

template <typename Row> std::string rowName(const ::testing::TestParamInfo<Row>& info) {
    return info.param.name;
}

/// A private folder for every case that touches the file system.
class TempFolder : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "formula_file_XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        dir = pattern;
    }
    void TearDown() override {
        std::error_code ignored;
        fs::permissions(dir, fs::perms::owner_all, fs::perm_options::add, ignored);
        fs::remove_all(dir, ignored);
    }
    fs::path dir;
};

// --- the file's text

struct FormatRow {
    std::string name;
    std::vector<std::string> lines;
    std::string expected;
};

class FormatFormulaFileTest : public ::testing::TestWithParam<FormatRow> {};

TEST_P(FormatFormulaFileTest, EndsEveryLineWithCrLfAndReadsBackTheSame) {
    const FormatRow& row = GetParam();
    const std::string text = FormatFormulaFile(row.lines);
    EXPECT_EQ(text, row.expected);
    const FormulaFileText back = SplitFormulaText(text);
    ASSERT_TRUE(back.ok()) << back.error;
    EXPECT_EQ(back.lines, row.lines);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, FormatFormulaFileTest,
    ::testing::Values(FormatRow{"NoLines", {}, ""}, FormatRow{"OneEmptyLine", {""}, "\r\n"},
                      FormatRow{"BlanksKept", {" 4 ", "1 "}, " 4 \r\n1 \r\n"},
                      FormatRow{"Umlauts", {"Größe"}, "Größe\r\n"},
                      FormatRow{"KochFile",
                                {"F-F++F-F", "1", "60", "60", "6", "0", "3", "40", "400", "1"},
                                "F-F++F-F\r\n1\r\n60\r\n60\r\n6\r\n0\r\n3\r\n40\r\n400\r\n1\r\n"},
                      FormatRow{"EmptyLinesInside", {"F", "", "", "x"}, "F\r\n\r\n\r\nx\r\n"}),
    rowName<FormatRow>);

struct SplitRow {
    std::string name;
    std::string bytes;
    std::vector<std::string> lines;
    std::string errorWords; // non-empty: the text must be refused with an error containing it
};

class SplitFormulaTextTest : public ::testing::TestWithParam<SplitRow> {};

TEST_P(SplitFormulaTextTest, GivesTheLinesOrAClearError) {
    const SplitRow& row = GetParam();
    const FormulaFileText result = SplitFormulaText(row.bytes);
    if (row.errorWords.empty()) {
        EXPECT_TRUE(result.ok()) << result.error;
        EXPECT_EQ(result.lines, row.lines);
    } else {
        EXPECT_FALSE(result.ok());
        EXPECT_NE(result.error.find(row.errorWords), std::string::npos) << result.error;
        EXPECT_TRUE(result.lines.empty());
    }
}

const std::string kLongLine(5000, 'F');

INSTANTIATE_TEST_SUITE_P(
    Rows, SplitFormulaTextTest,
    ::testing::Values(
        SplitRow{"CrLf", "a\r\nb\r\n", {"a", "b"}, ""}, SplitRow{"LfOnly", "a\nb\n", {"a", "b"}, ""},
        SplitRow{"NoFinalBreak", "a\r\nb", {"a", "b"}, ""},
        SplitRow{"MixedBreaks", "a\nb\r\nc", {"a", "b", "c"}, ""}, SplitRow{"Empty", "", {}, ""},
        SplitRow{"OnlyOneBreak", "\r\n", {""}, ""},
        SplitRow{"EmptyLinesKept", "\r\n\n x \r\n", {"", "", " x "}, ""},
        SplitRow{"ByteOrderMarkRemoved", kBom + "F-F\r\n1\r\n", {"F-F", "1"}, ""},
        SplitRow{"ByteOrderMarkOnly", kBom, {}, ""},
        SplitRow{"ByteOrderMarkOnSecondLineKept", "a\r\n" + kBom + "b", {"a", kBom + "b"}, ""},
        SplitRow{"LoneCarriageReturnKept", "a\rb\n", {"a\rb"}, ""},
        SplitRow{"OnlyOneCarriageReturnRemoved", "a\r\r\n", {"a\r"}, ""},
        SplitRow{"Utf8Kept", "Größe\n", {"Größe"}, ""},
        SplitRow{"LineLongerThan4096", kLongLine + "\r\n1", {kLongLine, "1"}, ""},
        SplitRow{"ExactlyTheLimit",
                 std::string(kMaxFormulaFileBytes, 'F'),
                 {std::string(kMaxFormulaFileBytes, 'F')},
                 ""},
        SplitRow{"OneByteOverTheLimit", std::string(kMaxFormulaFileBytes + 1, 'F'), {}, "zu groß"},
        SplitRow{"NulByte", std::string("F-F\r\n1\0\r\n", 10), {}, "keine Textdatei"},
        SplitRow{"NulRightAfterByteOrderMark", kBom + std::string(1, '\0') + "F", {}, "keine Textdatei"}),
    rowName<SplitRow>);

// --- reading a file

struct ReadRow {
    std::string name;
    /// Creates what the path names inside the folder.
    std::function<void(const fs::path& path)> make;
    std::vector<std::string> lines;
    std::string errorWords;
};

class ReadFormulaFileTest : public TempFolder, public ::testing::WithParamInterface<ReadRow> {};

TEST_P(ReadFormulaFileTest, ReadsTextFilesAndRefusesEverythingElse) {
    const ReadRow& row = GetParam();
    const fs::path path = dir / "formel.frc";
    row.make(path);
    // A FIFO without a writer would block an ordinary open for good.
    const FormulaFileText result = ReadFormulaFile(path.string());
    if (row.errorWords.empty()) {
        EXPECT_TRUE(result.ok()) << result.error;
        EXPECT_EQ(result.lines, row.lines);
    } else {
        EXPECT_FALSE(result.ok());
        EXPECT_NE(result.error.find(row.errorWords), std::string::npos) << result.error;
        EXPECT_TRUE(result.lines.empty());
    }
}

std::string twoMegabytes() {
    std::string bytes = "F-F++F-F\r\n1\r\n60\r\n60\r\n6\r\n0\r\n3\r\n40\r\n400\r\n1\r\n";
    bytes.resize(2 * 1024 * 1024, 'F');
    return bytes;
}

INSTANTIATE_TEST_SUITE_P(
    Rows, ReadFormulaFileTest,
    ::testing::Values(
        ReadRow{"KochFile",
                [](const fs::path& p) {
                    WriteFileBytes(p, "F-F++F-F\r\n1\r\n60\r\n60\r\n6\r\n0\r\n3\r\n40\r\n400\r\n1\r\n");
                },
                {"F-F++F-F", "1", "60", "60", "6", "0", "3", "40", "400", "1"},
                ""},
        ReadRow{"LfOnlyWithByteOrderMark",
                [](const fs::path& p) { WriteFileBytes(p, kBom + "F\n1\n"); },
                {"F", "1"},
                ""},
        ReadRow{"EmptyFile", [](const fs::path& p) { WriteFileBytes(p, ""); }, {}, ""},
        ReadRow{"ExactlyTheLimit",
                [](const fs::path& p) { WriteFileBytes(p, std::string(kMaxFormulaFileBytes, 'F')); },
                {std::string(kMaxFormulaFileBytes, 'F')},
                ""},
        ReadRow{"Missing", [](const fs::path&) {}, {}, "kann nicht geöffnet werden"},
        ReadRow{
            "Directory", [](const fs::path& p) { fs::create_directory(p); }, {}, "keine gewöhnliche Datei"},
        ReadRow{"Fifo",
                [](const fs::path& p) { ASSERT_EQ(::mkfifo(p.c_str(), 0600), 0); },
                {},
                "keine gewöhnliche Datei"},
        ReadRow{"TwoMegabytes", [](const fs::path& p) { WriteFileBytes(p, twoMegabytes()); }, {}, "zu groß"},
        ReadRow{"NulBytes",
                [](const fs::path& p) {
                    WriteFileBytes(p, std::string("\x7F"
                                                  "ELF\0\0\0\x01",
                                                  8));
                },
                {},
                "keine Textdatei"}),
    rowName<ReadRow>);

// --- writing a file

using WriteFileAtomicallyTest = TempFolder;

TEST_F(WriteFileAtomicallyTest, WritesNewAndReplacesOldFilesWhole) {
    const fs::path path = dir / "a.frc";
    struct Step {
        const char* name;
        std::string content;
    };
    // Each step replaces the previous content; a shorter one must not leave the old tail.
    const Step steps[] = {
        {"new", "F-F\r\n1\r\n"}, {"longer", std::string(10000, 'x')}, {"shorter", "F\r\n"}, {"empty", ""}};
    for (const Step& step : steps) {
        SCOPED_TRACE(step.name);
        std::string error;
        ASSERT_TRUE(WriteFileAtomically(path.string(), step.content, error)) << error;
        EXPECT_TRUE(error.empty());
        EXPECT_EQ(ReadFileBytes(path), step.content);
        EXPECT_EQ(FolderEntries(dir), std::vector<std::string>{"a.frc"}); // no temporary file left
    }
}

TEST_F(WriteFileAtomicallyTest, TakesEveryNameTheFolderTakes) {
    const std::string names[] = {"a", "Größe.frc", std::string(251, 'n') + ".frc", std::string(255, 'n')};
    for (const std::string& name : names) {
        SCOPED_TRACE(name.size());
        std::string error;
        EXPECT_TRUE(WriteFileAtomically((dir / name).string(), "F\r\n", error)) << error;
        EXPECT_EQ(ReadFileBytes(dir / name), "F\r\n");
        EXPECT_TRUE(fs::remove(dir / name));
        EXPECT_TRUE(fs::is_empty(dir));
    }
}

TEST_F(WriteFileAtomicallyTest, NewFileGetsTheModeTheUmaskAllows) {
    struct Row {
        const char* name;
        mode_t umask;
        fs::perms expected;
    };
    using P = fs::perms;
    const Row rows[] = {
        {"usual", 022, P::owner_read | P::owner_write | P::group_read | P::others_read},
        {"private", 077, P::owner_read | P::owner_write},
        {"group_write", 002,
         P::owner_read | P::owner_write | P::group_read | P::group_write | P::others_read},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const mode_t old = ::umask(row.umask);
        std::string error;
        const fs::path path = dir / (std::string(row.name) + ".frc");
        const bool ok = WriteFileAtomically(path.string(), "F\r\n", error);
        ::umask(old);
        ASSERT_TRUE(ok) << error;
        EXPECT_EQ(fs::status(path).permissions() & P::all, row.expected);
    }
}

TEST_F(WriteFileAtomicallyTest, FailureLeavesNothingBehind) {
    struct Row {
        const char* name;
        std::function<fs::path()> target;
        bool needsNonRoot;
    };
    const Row rows[] = {
        {"target_is_a_folder",
         [&] {
             fs::create_directory(dir / "ordner");
             return dir / "ordner";
         },
         false},
        {"folder_missing", [&] { return dir / "fehlt" / "a.frc"; }, false},
        {"read_only_folder",
         [&] {
             fs::create_directory(dir / "gesperrt");
             fs::permissions(dir / "gesperrt", fs::perms::owner_read | fs::perms::owner_exec);
             return dir / "gesperrt" / "a.frc";
         },
         true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        if (row.needsNonRoot && ::geteuid() == 0) {
            continue; // root writes into read-only folders
        }
        const fs::path target = row.target();
        const std::vector<std::string> before = FolderEntries(dir);
        std::string error;
        EXPECT_FALSE(WriteFileAtomically(target.string(), "F\r\n", error));
        EXPECT_FALSE(error.empty());
        EXPECT_EQ(FolderEntries(dir), before);
        if (fs::is_directory(target)) {
            EXPECT_TRUE(fs::is_empty(target));
        }
    }
}

// --- start point lines

struct CoordinateRow {
    std::string name;
    std::string text;
    std::optional<std::int32_t> expected;
};

class ParseStartCoordinateTest : public ::testing::TestWithParam<CoordinateRow> {};

TEST_P(ParseStartCoordinateTest, TakesOnlyAWholeIntegerLine) {
    const CoordinateRow& row = GetParam();
    EXPECT_EQ(ParseStartCoordinate(row.text), row.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, ParseStartCoordinateTest,
    ::testing::Values(
        CoordinateRow{"Plain", "400", 400}, CoordinateRow{"Zero", "0", 0},
        CoordinateRow{"LeadingBlanks", "  40", 40}, CoordinateRow{"LeadingTab", "\t40", 40},
        CoordinateRow{"PlusSign", "+40", 40}, CoordinateRow{"MinusSign", "-40", -40},
        CoordinateRow{"Largest", "2147483647", 2147483647},
        CoordinateRow{"Smallest", "-2147483648", INT32_MIN},
        CoordinateRow{"TooLarge", "2147483648", std::nullopt},
        CoordinateRow{"TooSmall", "-2147483649", std::nullopt}, CoordinateRow{"Empty", "", std::nullopt},
        CoordinateRow{"OnlyBlanks", "   ", std::nullopt}, CoordinateRow{"TrailingBlank", "40 ", std::nullopt},
        CoordinateRow{"TrailingCarriageReturn", "40\r", std::nullopt},
        CoordinateRow{"Decimal", "40.5", std::nullopt}, CoordinateRow{"Exponent", "4e2", std::nullopt},
        CoordinateRow{"Hex", "0x10", std::nullopt}, CoordinateRow{"Letter", "4O", std::nullopt},
        CoordinateRow{"PlusMinus", "+-4", std::nullopt}, CoordinateRow{"TwoPlus", "++4", std::nullopt},
        CoordinateRow{"TwoMinus", "--4", std::nullopt}, CoordinateRow{"SignOnly", "-", std::nullopt},
        CoordinateRow{"BlankAfterSign", "- 4", std::nullopt}),
    rowName<CoordinateRow>);

} // namespace
} // namespace lsystem
