#pragma once

#include <string>

namespace CLI {
class App;
}

namespace render {

/// The first fault of a command line in plain words, or nothing when the option parser may have
/// it. Checked before parsing because the parser, given these, would blame the wrong word: an
/// unknown subcommand or option, an option whose values are missing ("--size -o a.png" would
/// take "-o" as the size), an empty value, an option given twice, a word nothing takes.
/// A word in a value's place is the value unless it names an option; "-.25" or "-5" never does,
/// so numbers are read as typed after every option that takes values.
[[nodiscard]] std::string CheckCommandLine(const CLI::App& app, int argc, const char* const* argv);

} // namespace render
