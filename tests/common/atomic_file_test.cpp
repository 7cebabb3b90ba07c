#include "atomic_file.h"
#include "test_files.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace {

std::atomic<int> g_umaskCalls{0};

} // namespace

// Stands in for the C library's umask() in this test program, so a test can see whether the
// writer swaps the process-wide mask at all: a swap and its undo leave the same mask behind but
// change it meanwhile for every other thread that creates a file.
extern "C" mode_t umask(mode_t mask) noexcept {
    g_umaskCalls.fetch_add(1);
    return static_cast<mode_t>(::syscall(SYS_umask, mask));
}

namespace {

namespace fs = std::filesystem;
using testing_support::FileMode;
using testing_support::FolderEntries;
using testing_support::ReadFileBytes;
using testing_support::ScopedUmask;
using testing_support::WriteFileBytes;
using Names = std::vector<std::string>;

class AtomicFileTest : public testing::Test {
protected:
    /// Writes `text` to `target` through an AtomicFile; the system's reason when that fails.
    static std::string write(const fs::path& target, const std::string& text) {
        common::AtomicFile file;
        std::string error;
        if (!file.open(target.string(), error)) {
            return "open: " + error;
        }
        std::fputs(text.c_str(), file.file());
        if (!file.commit(error)) {
            return "commit: " + error;
        }
        return {};
    }

    testing_support::TemporaryFolder scratch_{"atomic_file_test"};
    fs::path dir = scratch_.path();
};

struct ModeRow {
    const char* name;
    mode_t umask;
    mode_t existing; // 0: no file there before
    mode_t expected;
};

void PrintTo(const ModeRow& row, std::ostream* out) {
    *out << row.name;
}

class AtomicFileModeTest : public AtomicFileTest, public testing::WithParamInterface<ModeRow> {};

TEST_P(AtomicFileModeTest, ReplacedFileKeepsItsModeNewFileFollowsTheUmask) {
    const ModeRow& row = GetParam();
    const fs::path target = dir / "file.txt";
    if (row.existing != 0) {
        WriteFileBytes(target, "old");
        ASSERT_EQ(::chmod(target.c_str(), row.existing), 0);
    }
    const ScopedUmask mask(row.umask);
    const int callsBefore = g_umaskCalls.load();
    EXPECT_EQ(write(target, "new"), "");
    EXPECT_EQ(g_umaskCalls.load(), callsBefore) << "the process umask was changed while writing";
    EXPECT_EQ(FileMode(target), row.expected);
    EXPECT_EQ(ReadFileBytes(target), "new");
    EXPECT_EQ(FolderEntries(dir), Names{"file.txt"});
    // Still the mask the test set.
    EXPECT_EQ(::umask(row.umask), row.umask);
}

INSTANTIATE_TEST_SUITE_P(AtomicFile, AtomicFileModeTest,
                         testing::Values(ModeRow{"new_umask_022", 022, 0, 0644},
                                         ModeRow{"new_umask_002", 002, 0, 0664},
                                         ModeRow{"new_umask_077", 077, 0, 0600},
                                         ModeRow{"new_umask_000", 000, 0, 0666},
                                         ModeRow{"replaced_0640_umask_077", 077, 0640, 0640},
                                         ModeRow{"replaced_0604_umask_022", 022, 0604, 0604},
                                         ModeRow{"replaced_0755_umask_027", 027, 0755, 0755}),
                         [](const testing::TestParamInfo<ModeRow>& info) { return info.param.name; });

TEST_F(AtomicFileTest, NothingIsLeftWithoutACommit) {
    const fs::path target = dir / "keep.txt";
    WriteFileBytes(target, "keep me");
    {
        common::AtomicFile destroyed;
        std::string error;
        ASSERT_TRUE(destroyed.open(target.string(), error)) << error;
        std::fputs("half", destroyed.file());
        EXPECT_TRUE(fs::exists(destroyed.temporaryName()));
        EXPECT_EQ(FolderEntries(dir).size(), 2u);
    }
    EXPECT_EQ(FolderEntries(dir), Names{"keep.txt"});
    common::AtomicFile discarded;
    std::string error;
    ASSERT_TRUE(discarded.open(target.string(), error)) << error;
    discarded.discard();
    EXPECT_EQ(discarded.file(), nullptr);
    EXPECT_EQ(FolderEntries(dir), Names{"keep.txt"});
    EXPECT_EQ(ReadFileBytes(target), "keep me");
}

TEST_F(AtomicFileTest, FailureLeavesNothingBehind) {
    fs::create_directory(dir / "folder");
    WriteFileBytes(dir / "folder" / "inside", "x");
    fs::create_directory(dir / "locked");
    fs::permissions(dir / "locked", fs::perms::owner_read | fs::perms::owner_exec);
    struct Row {
        const char* name;
        fs::path target;
        const char* stage;
        bool needsNonRoot;
    };
    const Row rows[] = {
        {"target_is_a_folder", dir / "folder", "commit", false},
        {"folder_missing", dir / "absent" / "a.txt", "open", false},
        {"read_only_folder", dir / "locked" / "a.txt", "open", true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        if (row.needsNonRoot && ::geteuid() == 0) {
            continue; // root writes into read-only folders
        }
        const Names before = FolderEntries(dir);
        const std::string error = write(row.target, "text");
        EXPECT_TRUE(error.starts_with(row.stage)) << error;
        EXPECT_EQ(FolderEntries(dir), before);
        EXPECT_EQ(FolderEntries(dir / "folder"), Names{"inside"});
        EXPECT_TRUE(FolderEntries(dir / "locked").empty());
    }
}

// --- groups of files

/// Writes each name with its text into the group; false when one cannot be added.
bool AddAll(common::AtomicFileGroup& group, const std::vector<std::pair<fs::path, std::string>>& files) {
    for (const auto& [path, text] : files) {
        common::AtomicFile file;
        std::string error;
        if (!file.open(path.string(), error)) {
            ADD_FAILURE() << path << ": " << error;
            return false;
        }
        std::fputs(text.c_str(), file.file());
        if (!group.add(file, error)) {
            ADD_FAILURE() << path << ": " << error;
            return false;
        }
        EXPECT_EQ(file.file(), nullptr);
        EXPECT_TRUE(file.temporaryName().empty());
    }
    return true;
}

TEST_F(AtomicFileTest, GroupReplacesAllTargetsOnlyAtCommit) {
    WriteFileBytes(dir / "b", "old b");
    ASSERT_EQ(::chmod((dir / "b").c_str(), 0640), 0);
    const ScopedUmask mask(022);
    const int callsBefore = g_umaskCalls.load();
    common::AtomicFileGroup group;
    ASSERT_TRUE(AddAll(group, {{dir / "a", "new a"}, {dir / "b", "new b"}, {dir / "c", "new c"}}));
    // Until the commit only the temporary files are new.
    EXPECT_EQ(ReadFileBytes(dir / "b"), "old b");
    EXPECT_FALSE(fs::exists(dir / "a"));
    EXPECT_EQ(FolderEntries(dir).size(), 4u);

    std::string error;
    ASSERT_TRUE(group.commit(error)) << error;
    EXPECT_EQ(FolderEntries(dir), (Names{"a", "b", "c"}));
    EXPECT_EQ(ReadFileBytes(dir / "a"), "new a");
    EXPECT_EQ(ReadFileBytes(dir / "b"), "new b");
    EXPECT_EQ(FileMode(dir / "b"), 0640u);
    EXPECT_EQ(FileMode(dir / "c"), 0644u);
    EXPECT_EQ(g_umaskCalls.load(), callsBefore);
}

// The third rename fails: the first two targets are put back as they were, the old one byte
// for byte and with its mode, the new one removed.
TEST_F(AtomicFileTest, GroupFailingInTheMiddleUndoesTheRenamesBeforeIt) {
    WriteFileBytes(dir / "a", "old a");
    ASSERT_EQ(::chmod((dir / "a").c_str(), 0600), 0);
    WriteFileBytes(dir / "d", "old d");
    common::AtomicFileGroup group;
    ASSERT_TRUE(AddAll(
        group, {{dir / "a", "new a"}, {dir / "b", "new b"}, {dir / "c", "new c"}, {dir / "d", "new d"}}));
    // Taken by a folder after the file was written: only the rename finds it.
    fs::create_directory(dir / "c");

    std::string error;
    EXPECT_FALSE(group.commit(error));
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(group.failedTarget(), (dir / "c").string());
    EXPECT_EQ(FolderEntries(dir), (Names{"a", "c", "d"}));
    EXPECT_EQ(ReadFileBytes(dir / "a"), "old a");
    EXPECT_EQ(FileMode(dir / "a"), 0600u);
    EXPECT_EQ(ReadFileBytes(dir / "d"), "old d");
    EXPECT_TRUE(fs::is_empty(dir / "c"));
}

// --- folders made for the files

TEST_F(AtomicFileTest, MadeFoldersFollowTheUmaskAndGoUnlessKept) {
    const ScopedUmask mask(027);
    {
        common::MadeFolders made;
        std::string error;
        ASSERT_TRUE(made.make((dir / "x" / "y" / "z").string(), error)) << error;
        EXPECT_EQ(made.made(),
                  (Names{(dir / "x").string(), (dir / "x/y").string(), (dir / "x/y/z").string()}));
        EXPECT_EQ(FileMode(dir / "x" / "y"), 0750u);
    }
    EXPECT_TRUE(fs::is_empty(dir));

    fs::create_directory(dir / "x");
    {
        common::MadeFolders made;
        std::string error;
        // Doubled and trailing separators are one; folders already there are not made, nor removed.
        ASSERT_TRUE(made.make((dir / "x").string() + "//y/", error)) << error;
        EXPECT_EQ(made.made(), Names{(dir / "x").string() + "//y"});
        made.keep();
    }
    EXPECT_TRUE(fs::is_directory(dir / "x" / "y"));

    WriteFileBytes(dir / "file", "");
    {
        common::MadeFolders made;
        std::string error;
        ASSERT_TRUE(made.make((dir / "new" / "sub").string(), error)) << error;
        EXPECT_FALSE(made.make((dir / "file" / "deeper").string(), error));
        EXPECT_EQ(error, (dir / "file").string() + ": " + std::strerror(ENOTDIR));
    }
    EXPECT_EQ(FolderEntries(dir), (Names{"file", "x"}));
}

} // namespace
