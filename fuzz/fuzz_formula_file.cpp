// Formula files (.frc): ten lines a user may have edited by hand or taken from anywhere.
#include <cstdint>
#include <optional>
#include <string>

#include "formula_file.h"
#include "fuzz_support.h"

namespace {

// The start coordinate a line must give, if it gives one: blanks, one sign, leading zeros
// and then exactly the digits of the value.
void CheckCoordinate(std::string_view line) {
    const std::optional<std::int32_t> value = lsystem::ParseStartCoordinate(line);
    if (!value) {
        return;
    }
    std::size_t i = 0;
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) {
        ++i;
    }
    bool negative = false;
    if (i < line.size() && (line[i] == '+' || line[i] == '-')) {
        negative = line[i] == '-';
        ++i;
    }
    while (i + 1 < line.size() && line[i] == '0') {
        ++i;
    }
    const std::int64_t wide = *value;
    FUZZ_CHECK(negative ? wide <= 0 : wide >= 0);
    FUZZ_CHECK(line.substr(i) == std::to_string(wide < 0 ? -wide : wide));
    // What the program writes back must read as the same number.
    FUZZ_CHECK(lsystem::ParseStartCoordinate(std::to_string(*value)) == value);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes = fuzz_support::AsText(data, size);
    const lsystem::FormulaFileText split = lsystem::SplitFormulaText(bytes);

    // The file reader is the memory reader behind open and read; both must agree.
    static const std::string path = fuzz_support::PrivateFolder() + "/fuzz.frc";
    fuzz_support::WriteWholeFile(path, data, size);
    const lsystem::FormulaFileText read = lsystem::ReadFormulaFile(path);
    FUZZ_CHECK(read.error == split.error);
    FUZZ_CHECK(read.lines == split.lines);

    if (!split.ok()) {
        FUZZ_CHECK(split.lines.empty());
        return 0;
    }
    std::size_t total = 0;
    for (const std::string& line : split.lines) {
        FUZZ_CHECK(line.find('\n') == std::string::npos);
        FUZZ_CHECK(line.find('\0') == std::string::npos);
        total += line.size();
        CheckCoordinate(line);
    }
    FUZZ_CHECK(total <= size);

    // Saving what was read and reading it again keeps every line, unless the first line itself
    // begins with a second byte-order mark, which the second reading takes for the first.
    const std::string saved = lsystem::FormatFormulaFile(split.lines);
    if ((split.lines.empty() || !split.lines.front().starts_with("\xEF\xBB\xBF")) &&
        saved.size() <= lsystem::kMaxFormulaFileBytes) {
        const lsystem::FormulaFileText again = lsystem::SplitFormulaText(saved);
        FUZZ_CHECK(again.ok());
        FUZZ_CHECK(again.lines == split.lines);
    }
    return 0;
}
