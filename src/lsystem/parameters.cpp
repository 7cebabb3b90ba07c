#include "parameters.h"

#include <charconv>
#include <cmath>
#include <system_error>
#include <utility>

namespace lsystem {

namespace {

constexpr char kMarker = '\x01';

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// Only ASCII letters fold: the formula alphabet and the parameter texts are ASCII, and folding
// single bytes of UTF-8 sequences would corrupt them.
char asciiUpper(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

bool matchesAt(const std::string& text, std::size_t at, std::string_view what, bool ignoreCase) {
    if (text.size() - at < what.size()) {
        return false;
    }
    for (std::size_t i = 0; i < what.size(); ++i) {
        const char a = text[at + i];
        const char b = what[i];
        if (ignoreCase ? asciiUpper(a) != asciiUpper(b) : a != b) {
            return false;
        }
    }
    return true;
}

std::size_t skipDigits(std::string_view s, std::size_t i) {
    while (i < s.size() && isDigit(s[i])) {
        ++i;
    }
    return i;
}

// The accepted form, checked first because std::from_chars alone would take "inf" and "nan"
// and stop quietly before a bare exponent letter: an optional sign, digits with at most one
// decimal point where the digits may be missing on one side of the point but not on both
// ("5." and ".5" are numbers, "." is not), then an optional exponent with at least one digit.
bool isDecimalNumber(std::string_view s) {
    std::size_t i = 0;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
        ++i;
    }
    const std::size_t intStart = i;
    i = skipDigits(s, i);
    std::size_t digits = i - intStart;
    if (i < s.size() && s[i] == '.') {
        const std::size_t fracStart = ++i;
        i = skipDigits(s, i);
        digits += i - fracStart;
    }
    if (digits == 0) {
        return false;
    }
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        ++i;
        if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
            ++i;
        }
        const std::size_t expStart = i;
        i = skipDigits(s, i);
        if (i == expStart) {
            return false;
        }
    }
    return i == s.size();
}

} // namespace

std::string RemoveBlanks(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        if (c != ' ') {
            out += c;
        }
    }
    return out;
}

int ReplaceAll(std::string& text, std::string_view from, std::string_view to, bool ignoreCase) {
    if (text.empty() || from.empty() || to.empty()) {
        return 0;
    }
    // First every occurrence becomes the marker, then every marker becomes the replacement, so
    // a replacement containing the searched text is never searched again. The price of the two
    // passes: a character 1 that was in the text before is replaced as well (without being
    // counted); parameter texts never contain one.
    std::string marked;
    marked.reserve(text.size());
    int count = 0;
    std::size_t i = 0;
    while (i < text.size()) {
        if (matchesAt(text, i, from, ignoreCase)) {
            marked += kMarker;
            i += from.size();
            ++count;
        } else {
            marked += text[i];
            ++i;
        }
    }
    std::string result;
    result.reserve(marked.size());
    for (const char c : marked) {
        if (c == kMarker) {
            result.append(to);
        } else {
            result += c;
        }
    }
    text = std::move(result);
    return count;
}

std::optional<double> ParseFieldFloat(std::string_view text) {
    std::string s = RemoveBlanks(text);
    // Users type the decimal comma or point as they are used to; the C and C++ locales must
    // have no say, which is why the conversion is std::from_chars and not strtod or a stream.
    for (char& c : s) {
        if (c == ',') {
            c = '.';
        }
    }
    if (!isDecimalNumber(s)) {
        return std::nullopt;
    }
    // std::from_chars takes a minus sign but no plus sign.
    const char* first = s.data();
    const char* last = s.data() + s.size();
    if (*first == '+') {
        ++first;
    }
    double value = 0.0;
    const auto [end, error] = std::from_chars(first, last, value, std::chars_format::general);
    if (error != std::errc() || end != last || !std::isfinite(value)) {
        return std::nullopt;
    }
    return value;
}

std::optional<std::int32_t> ParseFieldInt(std::string_view text) {
    const std::string s = RemoveBlanks(text);
    // Decimal only: "0x10" or "$10" are not numbers a parameter field expects.
    std::size_t i = 0;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
        ++i;
    }
    if (i == s.size() || skipDigits(s, i) != s.size()) {
        return std::nullopt;
    }
    const char* first = s.data();
    const char* last = s.data() + s.size();
    if (*first == '+') {
        ++first;
    }
    std::int32_t value = 0;
    const auto [end, error] = std::from_chars(first, last, value);
    if (error != std::errc() || end != last) {
        return std::nullopt;
    }
    return value;
}

std::string NormaliseFormula(std::string_view text) {
    std::string formula = RemoveBlanks(text);
    for (char& c : formula) {
        c = asciiUpper(c);
    }
    return formula;
}

DrawingParameters CheckDrawingParameters(const ParameterTexts& texts) {
    DrawingParameters p;
    p.formula = NormaliseFormula(texts.formula);
    if (p.formula.empty()) {
        p.fault = ParameterFault::EmptyFormula;
        p.field = ParameterField::Formula;
        return p;
    }
    const auto notANumber = [&p](ParameterField field) {
        p.fault = ParameterFault::NotANumber;
        p.field = field;
        return p;
    };
    const std::optional<double> factor = ParseFieldFloat(texts.factor);
    if (!factor) {
        return notANumber(ParameterField::Factor);
    }
    p.factor = *factor;
    const std::optional<double> right = ParseFieldFloat(texts.rightAngle);
    if (!right) {
        return notANumber(ParameterField::RightAngle);
    }
    p.rightDegrees = *right;
    const std::optional<double> left = ParseFieldFloat(texts.leftAngle);
    if (!left) {
        return notANumber(ParameterField::LeftAngle);
    }
    p.leftDegrees = *left;
    const std::optional<std::int32_t> length = ParseFieldInt(texts.startLength);
    if (!length) {
        return notANumber(ParameterField::StartLength);
    }
    p.startLength = *length;
    const std::optional<std::int32_t> radius = ParseFieldInt(texts.radius);
    if (!radius) {
        return notANumber(ParameterField::Radius);
    }
    p.radius = *radius;
    const std::optional<std::int32_t> iterations = ParseFieldInt(texts.iterations);
    if (!iterations) {
        return notANumber(ParameterField::Iterations);
    }
    p.iterations = *iterations;
    const std::optional<std::int32_t> wait = ParseFieldInt(texts.waitMs);
    if (!wait) {
        return notANumber(ParameterField::WaitMs);
    }
    p.waitMs = *wait;

    const std::pair<bool, ParameterField> ranges[] = {
        {p.iterations >= 1 && p.iterations <= 10, ParameterField::Iterations},
        {p.startLength >= 1, ParameterField::StartLength},
        {p.factor > 0.0 && p.factor <= 1.0, ParameterField::Factor},
        {p.radius >= 0, ParameterField::Radius},
        {p.rightDegrees >= 0.0, ParameterField::RightAngle},
        {p.leftDegrees >= 0.0, ParameterField::LeftAngle},
        {p.waitMs >= 0, ParameterField::WaitMs},
    };
    for (const auto& [inRange, field] : ranges) {
        if (!inRange) {
            p.fault = ParameterFault::OutOfRange;
            p.field = field;
            return p;
        }
    }
    return p;
}

std::string_view ParameterFaultMessage(ParameterFault fault) {
    switch (fault) {
    case ParameterFault::EmptyFormula:
        return "Bitte eine zulässige Formel eingeben !";
    case ParameterFault::NotANumber:
        return " Unerlaubte Parametereingabe !";
    case ParameterFault::OutOfRange:
        return "Unerlaubte Parametereingabe !";
    case ParameterFault::None:
        break;
    }
    return {};
}

} // namespace lsystem
