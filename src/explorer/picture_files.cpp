#include "picture_files.h"

#include <charconv>
#include <cstdlib>

#include "complex_view.h"

namespace explorer {

std::string NumberText(std::int32_t n) {
    std::string digits = std::to_string(n);
    if (n < 10) {
        return "00" + digits;
    }
    if (n < 100) {
        return "0" + digits;
    }
    return digits;
}

std::string PictureFileName(std::string_view folder, std::string_view base, std::int32_t n) {
    std::string name(folder);
    // No folder means the current one: a separator before the name would put the file at the
    // root of the file system.
    if (!folder.empty()) {
        name += '/';
    }
    name += base;
    name += '_';
    name += NumberText(n);
    name += ".JPG";
    return name;
}

std::string TrimBlanks(std::string_view text) {
    const auto blank = [](char c) {
        return static_cast<unsigned char>(c) <= 32;
    };
    while (!text.empty() && blank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && blank(text.back())) {
        text.remove_suffix(1);
    }
    return std::string(text);
}

ChosenFile SplitChosenPath(std::string_view path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string_view::npos) {
        return {"", TrimBlanks(path)};
    }
    return {TrimBlanks(path.substr(0, slash + 1)), TrimBlanks(path.substr(slash + 1))};
}

std::string CutAtFirstDot(std::string_view name) {
    return std::string(name.substr(0, name.find('.')));
}

std::optional<std::int32_t> ParseDecimalInt(std::string_view text) {
    while (!text.empty() && text.front() == ' ') {
        text.remove_prefix(1);
    }
    if (!text.empty() && text.front() == '+') {
        text.remove_prefix(1);
        if (!text.empty() && text.front() == '-') {
            return std::nullopt;
        }
    }
    std::int32_t value = 0;
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (ec != std::errc() || ptr != end || text.empty()) {
        return std::nullopt;
    }
    return value;
}

std::int32_t StartNumberFromAnswer(std::string_view answer) {
    const std::optional<std::int32_t> n = ParseDecimalInt(answer);
    return n && *n >= 1 ? *n : 1;
}

std::int32_t ShowDelaySecondsFromAnswer(std::string_view answer) {
    const std::optional<std::int32_t> n = ParseDecimalInt(TrimBlanks(answer));
    return n && *n >= 1 && *n <= 60 ? *n : 3;
}

double PrintScaleFromAnswer(std::string_view answer) {
    while (!answer.empty() && answer.front() == ' ') {
        answer.remove_prefix(1);
    }
    const NumberPrefix number = ParseDecimalPrefix(answer);
    if (!number.whole || !(number.value >= 0.1 && number.value <= 1.0)) {
        return 1.0;
    }
    return number.value;
}

std::optional<NumberedName> ReadNumberedName(std::string_view name) {
    const std::size_t underscore = name.find('_');
    if (underscore == std::string_view::npos) {
        return std::nullopt;
    }
    const std::optional<std::int32_t> number = ParseDecimalInt(name.substr(underscore + 1, 3));
    if (!number) {
        return std::nullopt;
    }
    return NumberedName{std::string(name.substr(0, underscore)), *number};
}

} // namespace explorer
