#include "lsystem_picture.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

#include "formula_file.h"
#include "output_format.h"
#include "parameters.h"
#include "set_options.h"

namespace render {

namespace {

std::string LowerCase(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return out;
}

/// The field in plain words with the file line it comes from.
const char* FieldName(lsystem::ParameterField field) {
    using F = lsystem::ParameterField;
    switch (field) {
    case F::Formula:
        return "the formula (line 1)";
    case F::Factor:
        return "the reduction factor (line 2)";
    case F::RightAngle:
        return "the right turning angle (line 3)";
    case F::LeftAngle:
        return "the left turning angle (line 4)";
    case F::StartLength:
        return "the start length (line 5)";
    case F::Radius:
        return "the node radius (line 6)";
    case F::Iterations:
        return "the number of iterations (line 7)";
    case F::WaitMs:
        break;
    }
    return "the wait";
}

const char* AllowedRange(lsystem::ParameterField field) {
    using F = lsystem::ParameterField;
    switch (field) {
    case F::Factor:
        return "above 0 and at most 1";
    case F::StartLength:
        return "a whole number from 1 up";
    case F::Iterations:
        return "a whole number from 1 to 10";
    case F::Radius:
        return "a whole number from 0 up";
    case F::RightAngle:
    case F::LeftAngle:
        return "0 or more";
    default:
        break;
    }
    return "0 or more";
}

std::string GeneratorSays(std::string_view german) {
    return " (the generator says \"" + std::string(german) + "\")";
}

/// A length scaled and rounded half to even, at least `least`, within the int range.
std::int32_t Scaled(std::int32_t value, double scale, std::int32_t least) {
    const double v = std::nearbyint(static_cast<double>(value) * scale);
    const double top = static_cast<double>(std::numeric_limits<std::int32_t>::max());
    return static_cast<std::int32_t>(std::clamp(v, static_cast<double>(least), top));
}

} // namespace

std::optional<DrawingFormat> DrawingFormatForName(std::string_view path) {
    const std::optional<OutputFormat> format = OutputFormatForName(path);
    if (!format) {
        return std::nullopt;
    }
    switch (*format) {
    case OutputFormat::Png:
        return DrawingFormat::Png;
    case OutputFormat::Jpeg:
        return DrawingFormat::Jpeg;
    case OutputFormat::Svg:
        return DrawingFormat::Svg;
    case OutputFormat::Pdf:
        return DrawingFormat::Pdf;
    }
    return std::nullopt;
}

ResolvedLsystem LsystemFromLines(std::vector<std::string> lines, const std::string& source, int refWidth,
                                 int refHeight, int width, int height) {
    ResolvedLsystem result;
    // Missing lines read as empty ones, as the window loads them.
    lines.resize(std::max<std::size_t>(lines.size(), lsystem::kFormulaFileLines));
    const std::optional<std::int32_t> x = lsystem::ParseStartCoordinate(lines[7]);
    const std::optional<std::int32_t> y = lsystem::ParseStartCoordinate(lines[8]);
    if (!x || !y) {
        result.error = source + ": lines 8 and 9 must hold the start point as two whole numbers, not \"" +
                       lines[7] + "\" and \"" + lines[8] + "\"" +
                       GeneratorSays("Die Formeldatei enthält keinen gültigen Startpunkt.");
        return result;
    }
    // The wait is no line of the file; loading sets its field to 1.
    const lsystem::DrawingParameters p = lsystem::CheckDrawingParameters(
        {lines[0], lines[1], lines[2], lines[3], lines[4], lines[5], lines[6], "1"});
    const std::string says = GeneratorSays(lsystem::ParameterFaultMessage(p.fault));
    const std::vector<std::string> fieldText = {lines[0], lines[1], lines[2], lines[3],
                                                lines[4], lines[5], lines[6], "1"};
    const std::string& typed = fieldText[static_cast<std::size_t>(p.field)];
    switch (p.fault) {
    case lsystem::ParameterFault::EmptyFormula:
        result.error = source + ": line 1 holds no formula" + says;
        return result;
    case lsystem::ParameterFault::NotANumber:
        result.error = source + ": " + FieldName(p.field) + " is not a number: \"" + typed + "\"" + says;
        return result;
    case lsystem::ParameterFault::OutOfRange:
        result.error = source + ": " + FieldName(p.field) + " must be " + AllowedRange(p.field) + ", not \"" +
                       typed + "\"" + says;
        return result;
    case lsystem::ParameterFault::None:
        break;
    }

    LsystemPicture& picture = result.picture;
    const bool horizontal = lines[9] == "1";
    std::int32_t startLength = p.startLength;
    std::int32_t radius = p.radius;
    std::int32_t startX = *x;
    std::int32_t startY = *y;
    // The record holds the lines as the window's parameter record holds them after the drawing:
    // the field texts as they stand, the start point as numbers, the direction as 1 or 0.
    std::array<std::string, 10>& record = picture.record.lines;
    std::copy_n(lines.begin(), 7, record.begin());
    // Measured from the design size, not from a stored picture's: a picture drawn larger keeps
    // its line width when it is drawn again from its record at its own size.
    const double designScale = std::min(width, height) / static_cast<double>(kDesignSide);
    const std::int32_t penWidth = std::min(Scaled(1, designScale, 1), kMaxPenWidth);
    if (width != refWidth || height != refHeight) {
        const double scale =
            std::min(static_cast<double>(width) / refWidth, static_cast<double>(height) / refHeight);
        startLength = Scaled(startLength, scale, 1);
        record[4] = std::to_string(startLength);
        if (radius > 0) {
            radius = Scaled(radius, scale, 1);
            record[5] = std::to_string(radius);
        }
        // A start point applies only with both coordinates above 0, and so it stays.
        if (startX > 0 && startY > 0) {
            startX = Scaled(startX, scale, 1);
            startY = Scaled(startY, scale, 1);
        }
    }
    record[7] = std::to_string(startX);
    record[8] = std::to_string(startY);
    record[9] = horizontal ? "1" : "0";
    picture.record.width = width;
    picture.record.height = height;

    lsystem::WalkSettings& s = picture.settings;
    s.Formula = p.formula;
    s.iterations = p.iterations;
    s.startLength = startLength;
    s.rightDegrees = p.rightDegrees;
    s.leftDegrees = p.leftDegrees;
    s.NodeRadius = radius;
    s.WaitMs = 0;
    s.PauseMode = false;
    s.direction = horizontal ? lsystem::StartDirection::Horizontal : lsystem::StartDirection::Vertical;
    s.StartX = startX;
    s.StartY = startY;
    s.penWidth = penWidth;
    picture.factor = p.factor;
    return result;
}

ResolvedLsystem ResolveLsystem(const LsystemOptions& options,
                               const std::optional<common::LsystemRecord>& record, DrawingFormat format) {
    ResolvedLsystem result;
    const auto usage = [&result](std::string message) {
        result.error = std::move(message);
        result.usage = true;
        return result;
    };
    const int given = (options.file.empty() ? 0 : 1) + (options.preset.empty() ? 0 : 1) + (record ? 1 : 0);
    if (given != 1) {
        return usage("lsystem: give exactly one of a formula file FILE.frc, --preset N or --from PICTURE");
    }

    // A stored drawing keeps the background it was made on unless another is asked for.
    common::LsystemBackground choice = record ? record->background : common::LsystemBackground::White;
    if (!options.background.empty()) {
        const std::string name = LowerCase(options.background);
        if (name == "black") {
            choice = common::LsystemBackground::Black;
        } else if (name == "white") {
            choice = common::LsystemBackground::White;
        } else {
            return usage("--background: expected white or black, not \"" + options.background + "\"");
        }
    }
    // The window's only other choice than black on white: yellow lines on black.
    const bool black = choice == common::LsystemBackground::Black;
    const common::Colour background = black ? common::kBlack : common::kWhite;
    const common::Colour pen = black ? common::kYellow : common::kBlack;

    std::optional<std::int32_t> penWidth;
    if (!options.penWidth.empty()) {
        const std::optional<double> n = ParseNumber(options.penWidth);
        if (!n || *n != std::floor(*n) || *n < 1 || *n > kMaxPenWidth) {
            return usage("--pen-width: expected a whole number of pixels from 1 to " +
                         std::to_string(kMaxPenWidth) + ", not \"" + options.penWidth + "\"");
        }
        penWidth = static_cast<std::int32_t>(*n);
    }

    int refWidth = kDesignSide;
    int refHeight = kDesignSide;
    if (record) {
        refWidth = record->width;
        refHeight = record->height;
    }
    std::int64_t width = refWidth;
    std::int64_t height = refHeight;
    if (!options.size.empty()) {
        const auto size = ParseSize(options.size);
        if (!size) {
            return usage("--size: expected WxH with whole numbers from 1 up, not \"" + options.size + "\"");
        }
        width = (*size)[0];
        height = (*size)[1];
    }
    // Without --size the size is the stored picture's, and the message says so.
    const std::string sizeSource = options.size.empty() ? options.from + ": its size" : "--size";
    if (format == DrawingFormat::Svg || format == DrawingFormat::Pdf) {
        if (width > kMaxVectorSide || height > kMaxVectorSide) {
            return usage(sizeSource + ": a vector drawing is at most " + std::to_string(kMaxVectorSide) +
                         " pixels a side, not " + std::to_string(width) + "x" + std::to_string(height));
        }
    } else {
        std::string problem =
            CheckSize(width, height, format == DrawingFormat::Png ? ImageFormat::Png : ImageFormat::Jpeg);
        if (problem.empty() && width * height > kCanvasPixelBudget) {
            problem = sizeSource + ": a drawing in pixels has at most " + std::to_string(kCanvasPixelBudget) +
                      " pixels (the budget of the canvas it is drawn on), not " + std::to_string(width) +
                      "x" + std::to_string(height) + "; an .svg or .pdf drawing has no such limit";
        }
        if (!problem.empty()) {
            return usage(problem);
        }
    }

    std::vector<std::string> lines;
    std::string source;
    if (!options.preset.empty()) {
        const std::optional<std::int64_t> n = ParseCount(options.preset);
        const auto& presets = lsystem::Presets();
        if (!n || *n > static_cast<std::int64_t>(presets.size())) {
            return usage("--preset: expected a number from 1 to 7 (the F1 to F7 formulas), not \"" +
                         options.preset + "\"");
        }
        const lsystem::Preset& preset = presets[static_cast<std::size_t>(*n) - 1];
        lines = lsystem::PresetLines(preset);
        source = preset.name;
    } else if (record) {
        lines.assign(record->lines.begin(), record->lines.end());
        // The lines stored with a picture passed these checks when it was drawn: a record
        // that fails them does not describe its picture.
        source = options.from + ": its parameter record is damaged";
    } else {
        if (std::FILE* probe = std::fopen(options.file.c_str(), "rb"); probe != nullptr) {
            std::fclose(probe);
        } else {
            result.error = "cannot read " + options.file + ": " + std::strerror(errno);
            return result;
        }
        const lsystem::FormulaFileText file = lsystem::ReadFormulaFile(options.file);
        if (!file.ok()) {
            // Too large, not text, not a regular file: the reader's own words say which.
            result.error = options.file + " is not a formula file" + GeneratorSays(file.error);
            return result;
        }
        lines = file.lines;
        source = options.file;
    }
    result = LsystemFromLines(std::move(lines), source, refWidth, refHeight, static_cast<int>(width),
                              static_cast<int>(height));
    result.picture.background = background;
    result.picture.pen = pen;
    result.picture.record.background = choice;
    result.picture.settings.PenColour = pen;
    if (penWidth) {
        result.picture.settings.penWidth = *penWidth;
    }
    return result;
}

double SegmentsOfWalk(const lsystem::WalkSettings& settings) {
    const auto fs = static_cast<double>(std::count(settings.Formula.begin(), settings.Formula.end(), 'F'));
    return std::pow(fs, settings.iterations);
}

} // namespace render
