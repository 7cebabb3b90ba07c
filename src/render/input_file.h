#pragma once

#include <cstdio>
#include <string>

namespace render {

/// Opens a file to read a picture's record from. A folder, a pipe or a device is refused before
/// it is opened for reading (a pipe would wait for a writer), with `error` saying what it is;
/// other failures give the system's reason.
[[nodiscard]] std::FILE* OpenRegularFile(const std::string& path, std::string& error);

} // namespace render
