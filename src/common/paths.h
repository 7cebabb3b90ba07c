#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace common {

inline constexpr char kHandoverFolderName[] = "VEVIVU";
inline constexpr char kHandoverFileName[] = "vivod.stm";

/// The text without its last character if that is a '/', else unchanged. Only one is removed.
[[nodiscard]] std::string StripTrailingSlash(std::string_view path);

/// Removes every character with a code from 0 to 32 at both ends.
[[nodiscard]] std::string TrimControls(std::string_view text);

/// The temporary folder ($TMPDIR, else /tmp), trimmed, without a trailing '/'.
[[nodiscard]] std::string GetTempFolder();

/// Reads a file of a little-endian signed 32-bit count followed by that many text bytes and
/// gives the text trimmed of codes 0 to 32 at both ends. Nothing when the file cannot be
/// opened, is shorter than 4 bytes, or the count is negative or more than the file holds
/// (checked before anything is allocated). Bytes after the counted ones are ignored.
[[nodiscard]] std::optional<std::string> ReadPrefixedText(std::string_view folder, std::string_view fileName);

/// Reads <temp>/VEVIVU/vivod.stm; when it can be read, its text becomes `workDir` and, when
/// possible, the process's current directory. Every failure is silent.
void TakeOverStartFolder(std::string& workDir);

/// A mkstemp() template for a temporary file in the same folder as `path`, so that it can be
/// renamed over it: the file name with ".tmpXXXXXX" appended, the name shortened where needed so
/// the template is itself a valid name.
[[nodiscard]] std::string TemporaryTemplateBeside(std::string_view path);

/// The process's current directory, empty when it cannot be read.
[[nodiscard]] std::string CurrentDirectory();
/// Makes `path` the current directory; false when that fails (the empty text always fails).
bool SetCurrentDirectory(std::string_view path);

} // namespace common
