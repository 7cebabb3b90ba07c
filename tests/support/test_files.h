// Whole files as byte strings, and a folder's listing, for the tests that work on real files.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include <sys/stat.h>

namespace testing_support {

/// The file's bytes; empty when it cannot be read.
std::string ReadFileBytes(const std::filesystem::path& path);

/// Replaces the file with these bytes.
void WriteFileBytes(const std::filesystem::path& path, std::string_view bytes);

/// The names in a folder, sorted: what a failed save may have left behind.
std::vector<std::string> FolderEntries(const std::filesystem::path& folder);

/// Sets the process umask for one test and puts the old one back, whatever happens between.
class ScopedUmask {
public:
    explicit ScopedUmask(mode_t mask) : previous_(::umask(mask)) {}
    ~ScopedUmask() { ::umask(previous_); }
    ScopedUmask(const ScopedUmask&) = delete;
    ScopedUmask& operator=(const ScopedUmask&) = delete;

private:
    mode_t previous_;
};

/// The permission bits of a file (a gtest failure when it cannot be read).
mode_t FileMode(const std::filesystem::path& path);

/// A private folder under the test program's temporary folder, removed with all it holds (its
/// permissions opened first, for tests that closed them) when the object ends.
class TemporaryFolder {
public:
    explicit TemporaryFolder(std::string_view prefix);
    ~TemporaryFolder();
    TemporaryFolder(const TemporaryFolder&) = delete;
    TemporaryFolder& operator=(const TemporaryFolder&) = delete;
    [[nodiscard]] const std::filesystem::path& path() const { return m_path; }

private:
    std::filesystem::path m_path;
};

} // namespace testing_support
