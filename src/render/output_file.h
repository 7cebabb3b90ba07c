#pragma once

#include <cstdio>
#include <string>

namespace render {

/// A file being written: it lives under a temporary name beside the target until commit()
/// renames it, so a failure, a cancelled render or a crash never leaves a half-written picture
/// under the target's name, and an existing target stays whole until the new one is complete.
/// Destroyed without commit(), the temporary file is removed.
class OutputFile {
public:
    OutputFile() = default;
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    /// Creates the temporary file; false with the system's reason.
    bool open(const std::string& target, std::string& error);
    [[nodiscard]] std::FILE* file() const { return m_file; }
    /// Flushes, closes and renames over the target.
    bool commit(std::string& error);
    /// Closes and removes the temporary file.
    void discard();

private:
    std::string m_target;
    std::string m_temp;
    std::FILE* m_file = nullptr;
};

} // namespace render
