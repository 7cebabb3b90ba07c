#pragma once

#include <string>
#include <vector>

namespace explorer {

/// The help text, line by line (UTF-8). A line holding only "." starts a new printed page.
[[nodiscard]] const std::vector<std::string>& HelpLines();

} // namespace explorer
