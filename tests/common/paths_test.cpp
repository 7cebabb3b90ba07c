#include "paths.h"

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;

// ---------------------------------------------------------------------------------------------
// Pure text helpers

struct TextRow {
    const char* name;
    std::string input;
    std::string expected;
};

std::string RowName(const testing::TestParamInfo<TextRow>& info) {
    return info.param.name;
}

class PathStripTrailingSlashTest : public testing::TestWithParam<TextRow> {};

TEST_P(PathStripTrailingSlashTest, RemovesAtMostOneSlash) {
    EXPECT_EQ(common::StripTrailingSlash(GetParam().input), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Path, PathStripTrailingSlashTest,
                         testing::Values(TextRow{"empty", "", ""}, TextRow{"root_only", "/", ""},
                                         TextRow{"one_slash", "a/", "a"}, TextRow{"two_slashes", "a//", "a/"},
                                         TextRow{"no_slash", "/usr/lib", "/usr/lib"},
                                         TextRow{"leading_slash_kept", "/a", "/a"},
                                         TextRow{"blank_after_slash_kept", "a/ ", "a/ "},
                                         TextRow{"nul_after_slash_kept", "a/\0"s, "a/\0"s}),
                         RowName);

class PathTrimControlsTest : public testing::TestWithParam<TextRow> {};

TEST_P(PathTrimControlsTest, TrimsBothEnds) {
    EXPECT_EQ(common::TrimControls(GetParam().input), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Path, PathTrimControlsTest,
    testing::Values(
        TextRow{"empty", "", ""}, TextRow{"only_blanks", "    ", ""},
        TextRow{"only_controls", "\t\r\n\v\f\x01\x1f "s, ""}, TextRow{"only_nuls", std::string(5, '\0'), ""},
        TextRow{"nuls_around", "\0\0abc\0"s, "abc"}, TextRow{"embedded_nul_kept", "\0a\0b\0"s, "a\0b"s},
        TextRow{"inner_blanks_kept", "  a b  ", "a b"}, TextRow{"line_breaks", "\r\n/home/x\r\n", "/home/x"},
        TextRow{"code_32_trimmed_33_kept", " !x! ", "!x!"},
        TextRow{"code_127_kept",
                "\x7f"
                "a\x7f",
                "\x7f"
                "a\x7f"},
        // Bytes above 127 are negative as plain char; they must not count as controls.
        TextRow{"high_bytes_kept", "\xc3\xa4x\xc3\xa4", "\xc3\xa4x\xc3\xa4"},
        TextRow{"single_char", "x", "x"}),
    RowName);

// ---------------------------------------------------------------------------------------------
// Fixture with its own temporary folder as $TMPDIR; the environment and the current directory
// are process-wide, so both are put back whatever a test did.

class TempRootFixture : public testing::Test {
protected:
    void SetUp() override {
        if (const char* old = std::getenv("TMPDIR")) {
            oldTmpdir_ = old;
        }
        oldCwd_ = fs::current_path();
        std::string pattern = (fs::temp_directory_path() / "paths_test_XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        root_ = fs::canonical(pattern);
        ASSERT_EQ(::setenv("TMPDIR", root_.c_str(), 1), 0);
    }

    void TearDown() override {
        std::error_code ignored;
        fs::current_path(oldCwd_, ignored);
        if (oldTmpdir_) {
            ::setenv("TMPDIR", oldTmpdir_->c_str(), 1);
        } else {
            ::unsetenv("TMPDIR");
        }
        if (!root_.empty()) {
            fs::remove_all(root_, ignored);
        }
    }

    static void WriteBytes(const fs::path& path, const std::string& bytes) {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        ASSERT_TRUE(out) << path;
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        ASSERT_TRUE(out) << path;
    }

    fs::path root_;

private:
    std::optional<std::string> oldTmpdir_;
    fs::path oldCwd_;
};

// ---------------------------------------------------------------------------------------------
// GetTempFolder

struct TempFolderRow {
    const char* name;
    std::optional<std::string> tmpdir; // nullopt: unset
    std::string expected;
};

class TempFolderTest : public TempRootFixture, public testing::WithParamInterface<TempFolderRow> {};

TEST_P(TempFolderTest, ReadsTrimsAndStrips) {
    const TempFolderRow& row = GetParam();
    if (row.tmpdir) {
        ASSERT_EQ(::setenv("TMPDIR", row.tmpdir->c_str(), 1), 0);
    } else {
        ASSERT_EQ(::unsetenv("TMPDIR"), 0);
    }
    EXPECT_EQ(common::GetTempFolder(), row.expected);
}

// 200 characters with the slash; the second is far beyond PATH_MAX-sized buffers.
const std::string kLongFolder = "/" + std::string(198, 'd') + "/";
const std::string kHugeFolder = "/" + std::string(5000, 'h') + "/";

INSTANTIATE_TEST_SUITE_P(
    TempFolder, TempFolderTest,
    testing::Values(TempFolderRow{"unset", std::nullopt, "/tmp"}, TempFolderRow{"empty", "", "/tmp"},
                    TempFolderRow{"blanks_and_slash", "  /x/y/ \n", "/x/y"},
                    TempFolderRow{"plain", "/var/tmp", "/var/tmp"},
                    TempFolderRow{"two_slashes", "/x//", "/x/"}, TempFolderRow{"only_blanks", " \t\n", ""},
                    TempFolderRow{"root", "/", ""},
                    TempFolderRow{"long_path", kLongFolder + "\n",
                                  kLongFolder.substr(0, kLongFolder.size() - 1)},
                    TempFolderRow{"huge_path", kHugeFolder, kHugeFolder.substr(0, kHugeFolder.size() - 1)}),
    [](const testing::TestParamInfo<TempFolderRow>& info) { return info.param.name; });

// ---------------------------------------------------------------------------------------------
// Current directory

using PathCurrentDirectoryTest = TempRootFixture;

TEST_F(PathCurrentDirectoryTest, FollowsChanges) {
    ASSERT_TRUE(common::SetCurrentDirectory(root_.string()));
    EXPECT_EQ(common::CurrentDirectory(), root_.string());

    fs::create_directories(root_ / "sub");
    ASSERT_TRUE(common::SetCurrentDirectory("sub"));
    EXPECT_EQ(common::CurrentDirectory(), (root_ / "sub").string());
}

TEST_F(PathCurrentDirectoryTest, HandlesDeepFolders) {
    // Deeper than the first buffer getcwd is given, so the buffer has to grow.
    fs::path deep = root_;
    for (int i = 0; i < 12; ++i) {
        deep /= std::string(40, static_cast<char>('a' + i));
    }
    fs::create_directories(deep);
    ASSERT_TRUE(common::SetCurrentDirectory(deep.string()));
    EXPECT_EQ(common::CurrentDirectory(), deep.string());
}

TEST_F(PathCurrentDirectoryTest, SetRefusesBadTargets) {
    ASSERT_TRUE(common::SetCurrentDirectory(root_.string()));
    WriteBytes(root_ / "plain_file", "x");
    fs::create_directories(root_ / "a");

    EXPECT_FALSE(common::SetCurrentDirectory(""));
    EXPECT_FALSE(common::SetCurrentDirectory("does_not_exist"));
    EXPECT_FALSE(common::SetCurrentDirectory("plain_file"));
    // Without the check the NUL would cut the text to "a" and enter that folder.
    EXPECT_FALSE(common::SetCurrentDirectory("a\0b"s));
    EXPECT_EQ(common::CurrentDirectory(), root_.string());
}

// ---------------------------------------------------------------------------------------------
// Start-folder handover

std::string Count(std::int32_t n) {
    const auto u = static_cast<std::uint32_t>(n);
    return {static_cast<char>(u & 0xff), static_cast<char>((u >> 8) & 0xff),
            static_cast<char>((u >> 16) & 0xff), static_cast<char>((u >> 24) & 0xff)};
}

constexpr char kSentinel[] = "untouched";
constexpr char kStartFolder[] = "start/a"; // seven characters, relative to the temporary root

struct HandoverRow {
    const char* name;
    bool makeFolder;
    std::optional<std::string> file; // nullopt: no vivod.stm
    std::string expectedWorkDir;
    std::string expectedCwd; // relative to the temporary root; "" means it stays there
};

class HandoverFixture : public TempRootFixture {
protected:
    void SetUp() override {
        TempRootFixture::SetUp();
        ASSERT_FALSE(HasFatalFailure());
        fs::create_directories(root_ / kStartFolder);
        ASSERT_TRUE(common::SetCurrentDirectory(root_.string()));
    }

    fs::path handoverFolder() const { return root_ / common::kHandoverFolderName; }
    fs::path handoverFile() const { return handoverFolder() / common::kHandoverFileName; }
};

class HandoverTest : public HandoverFixture, public testing::WithParamInterface<HandoverRow> {};

TEST_P(HandoverTest, TakesOverWhatCanBeRead) {
    const HandoverRow& row = GetParam();
    if (row.makeFolder) {
        fs::create_directories(handoverFolder());
    }
    if (row.file) {
        WriteBytes(handoverFile(), *row.file);
    }

    std::string workDir = kSentinel;
    common::TakeOverStartFolder(workDir);

    EXPECT_EQ(workDir, row.expectedWorkDir);
    const fs::path expectedCwd = row.expectedCwd.empty() ? root_ : fs::canonical(root_ / row.expectedCwd);
    EXPECT_EQ(common::CurrentDirectory(), expectedCwd.string());
}

INSTANTIATE_TEST_SUITE_P(
    Handover, HandoverTest,
    testing::Values(
        HandoverRow{"no_folder", false, std::nullopt, kSentinel, ""},
        HandoverRow{"folder_without_file", true, std::nullopt, kSentinel, ""},
        HandoverRow{"empty_file", true, "", kSentinel, ""},
        HandoverRow{"three_byte_file", true, "\x07\0\0"s, kSentinel, ""},
        HandoverRow{"count_beyond_file", true, Count(20) + "start/a", kSentinel, ""},
        HandoverRow{"count_one_beyond_file", true, Count(8) + "start/a", kSentinel, ""},
        HandoverRow{"count_max_with_ten_bytes", true, Count(0x7fffffff) + "0123456789", kSentinel, ""},
        HandoverRow{"negative_count", true, Count(-1) + "start/a", kSentinel, ""},
        HandoverRow{"most_negative_count", true, Count(INT32_MIN) + "start/a", kSentinel, ""},
        HandoverRow{"blanks_and_uncovered_line_break", true, Count(9) + "  start/a\n", kStartFolder,
                    kStartFolder},
        HandoverRow{"exact_count_no_tail", true, Count(7) + "start/a", kStartFolder, kStartFolder},
        HandoverRow{"tail_after_count_ignored", true, Count(7) + "start/abc", kStartFolder, kStartFolder},
        HandoverRow{"controls_and_nuls_trimmed", true, Count(13) + "\0\t start/a\r\n\0"s, kStartFolder,
                    kStartFolder},
        HandoverRow{"count_zero", true, Count(0) + "start/a", "", ""},
        HandoverRow{"count_zero_nothing_after", true, Count(0), "", ""},
        HandoverRow{"blanks_only", true, Count(4) + "  \t ", "", ""},
        HandoverRow{"missing_folder_kept", true, Count(11) + "no/such/dir", "no/such/dir", ""},
        HandoverRow{"trailing_slash_kept", true, Count(8) + "start/a/", "start/a/", kStartFolder},
        HandoverRow{"absolute_path", true, Count(1) + "/", "/", "/"}),
    [](const testing::TestParamInfo<HandoverRow>& info) { return info.param.name; });

using HandoverPlacesTest = HandoverFixture;

TEST_F(HandoverPlacesTest, FindsFolderThroughUntidyTmpdir) {
    fs::create_directories(handoverFolder());
    WriteBytes(handoverFile(), Count(7) + "start/a");
    // Both trailing slashes go: one with the temp folder, one more before the name is added.
    const std::string untidy = " \t" + root_.string() + "//\n";
    ASSERT_EQ(::setenv("TMPDIR", untidy.c_str(), 1), 0);

    std::string workDir = kSentinel;
    common::TakeOverStartFolder(workDir);

    EXPECT_EQ(workDir, kStartFolder);
    EXPECT_EQ(common::CurrentDirectory(), (root_ / kStartFolder).string());
}

TEST_F(HandoverPlacesTest, FileNamedLikeFolderChangesNothing) {
    WriteBytes(handoverFolder(), Count(7) + "start/a");

    std::string workDir = kSentinel;
    common::TakeOverStartFolder(workDir);

    EXPECT_EQ(workDir, kSentinel);
    EXPECT_EQ(common::CurrentDirectory(), root_.string());
}

TEST_F(HandoverPlacesTest, DirectoryInPlaceOfFileChangesNothing) {
    fs::create_directories(handoverFile());

    std::string workDir = kSentinel;
    common::TakeOverStartFolder(workDir);

    EXPECT_EQ(workDir, kSentinel);
    EXPECT_EQ(common::CurrentDirectory(), root_.string());
}

TEST_F(HandoverPlacesTest, FifoInPlaceOfFileChangesNothing) {
    // No writer ever opens the FIFO: a blocking open would hang here.
    fs::create_directories(handoverFolder());
    ASSERT_EQ(::mkfifo(handoverFile().c_str(), 0600), 0);

    std::string workDir = kSentinel;
    common::TakeOverStartFolder(workDir);

    EXPECT_EQ(workDir, kSentinel);
    EXPECT_EQ(common::CurrentDirectory(), root_.string());
}

using HandoverReadTest = HandoverFixture;

TEST_F(HandoverReadTest, TellsEmptyTextFromFailure) {
    WriteBytes(root_ / "zero", Count(0));
    WriteBytes(root_ / "short", Count(3) + "ab");

    EXPECT_EQ(common::ReadPrefixedText(root_.string(), "zero"), std::optional<std::string>(""));
    EXPECT_EQ(common::ReadPrefixedText(root_.string(), "short"), std::nullopt);
    EXPECT_EQ(common::ReadPrefixedText(root_.string(), "missing"), std::nullopt);
}

#if !defined(__SANITIZE_ADDRESS__)
// Runs in the death-test child: under a 512 MB data limit, reserving the claimed 2 GB before
// looking at the file size throws, and the child dies instead of exiting cleanly.
[[noreturn]] void ReadUnderDataLimit(const std::string& folder, const char* name) {
    const rlimit limit{rlim_t{512} << 20, rlim_t{512} << 20};
    if (::setrlimit(RLIMIT_DATA, &limit) != 0) {
        std::_Exit(2);
    }
    std::_Exit(common::ReadPrefixedText(folder, name) ? 1 : 0);
}

TEST_F(HandoverReadTest, RefusesHugeCountWithoutReservingIt) {
    WriteBytes(root_ / "huge", Count(0x7fffffff) + "0123456789");
    EXPECT_EXIT(ReadUnderDataLimit(root_.string(), "huge"), testing::ExitedWithCode(0), "");
}
#endif

} // namespace
