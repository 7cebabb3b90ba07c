#pragma once

#include <string>
#include <vector>

namespace lsystem {

/// The help text, line by line (UTF-8).
[[nodiscard]] const std::vector<std::string>& HelpLines();

} // namespace lsystem
