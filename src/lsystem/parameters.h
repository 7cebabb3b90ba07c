#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace lsystem {

/// Deletes every blank (code 32); other white space stays.
[[nodiscard]] std::string RemoveBlanks(std::string_view text);

/// Replaces every occurrence of `from` by `to` (ignoring letter case when asked) and gives the
/// number of replacements; nothing happens when any of the three texts is empty. Occurrences
/// are first marked with the character 1, so a replacement that contains `from` is not
/// replaced again.
int ReplaceAll(std::string& text, std::string_view from, std::string_view to, bool ignoreCase);

/// A parameter field's floating-point number: blanks removed, "." and "," both taken as the
/// decimal point whatever the locale, optional sign and exponent. Anything else fails.
[[nodiscard]] std::optional<double> ParseFieldFloat(std::string_view text);

/// A parameter field's integer: blanks removed, an optionally signed decimal integer within
/// the 32-bit range. Anything else, the empty text included, fails.
[[nodiscard]] std::optional<std::int32_t> ParseFieldInt(std::string_view text);

/// The formula as drawn: blanks removed, letters a to z in upper case.
[[nodiscard]] std::string NormaliseFormula(std::string_view text);

/// The texts of the parameter fields that "Erzeugen" reads, as typed.
struct ParameterTexts {
    std::string formula;     // Edit2
    std::string factor;      // Edit3
    std::string rightAngle;  // Edit4, degrees
    std::string leftAngle;   // Edit5, degrees
    std::string startLength; // Edit6, pixels
    std::string radius;      // Edit1, pixels
    std::string iterations;  // Edit7
    std::string waitMs;      // Edit8
};

enum class ParameterField { Formula, Factor, RightAngle, LeftAngle, StartLength, Radius, Iterations, WaitMs };

/// Why "Erzeugen" refuses the texts; each has its own message (see ParameterFaultMessage).
enum class ParameterFault { None, EmptyFormula, NotANumber, OutOfRange };

/// The checked parameters of a drawing, or the first fault: a field that does not convert (in
/// the order the fields are converted) or, when all convert, the first value out of its range
/// (in the order iterations, start length, factor, radius, right angle, left angle, wait).
struct DrawingParameters {
    ParameterFault fault = ParameterFault::None;
    ParameterField field = ParameterField::Formula; // the field at fault
    std::string formula;                            // normalised
    double factor = 0.0;
    double rightDegrees = 0.0;
    double leftDegrees = 0.0;
    std::int32_t startLength = 0;
    std::int32_t radius = 0;
    std::int32_t iterations = 0;
    std::int32_t waitMs = 0;
    [[nodiscard]] bool ok() const { return fault == ParameterFault::None; }
};

/// The checks of "Erzeugen": a formula that is not empty once blanks are gone, numbers that
/// convert, iterations 1 to 10, start length from 1, factor above 0 and at most 1, radius,
/// angles and wait from 0.
[[nodiscard]] DrawingParameters CheckDrawingParameters(const ParameterTexts& texts);

/// The message box text of a fault, as the window shows it (German; the one for a number that
/// does not convert begins with a blank). Empty for ParameterFault::None.
[[nodiscard]] std::string_view ParameterFaultMessage(ParameterFault fault);

} // namespace lsystem
