#include "cli.h"

#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "jpeg_file.h"
#include "lsystem_picture.h"
#include "lsystem_render.h"
#include "output_file.h"
#include "picture_files.h"
#include "png_file.h"
#include "set_options.h"
#include "strip_render.h"
#include "zoom_flight.h"

#ifndef FRACTALS_VERSION
#define FRACTALS_VERSION "unknown"
#endif

namespace render {

namespace {

constexpr char kProgram[] = "fractal-render";

/// A failure with its exit status; the message is printed once, by the caller.
struct Outcome {
    int status = kExitOk;
    std::string message;
};

Outcome Usage(std::string message) {
    return {kExitUsage, std::move(message)};
}

Outcome Failure(std::string message) {
    return {kExitFailure, std::move(message)};
}

/// Sends the rows to a JPEG or PNG encoder.
class EncoderSink : public RowSink {
public:
    EncoderSink(ImageFormat format) : m_format(format) {}

    bool start(std::FILE* file, int width, int height, const std::string& record, std::string& error) {
        return m_format == ImageFormat::Jpeg ? m_jpeg.start(file, width, height, record, error)
                                             : m_png.start(file, width, height, record, error);
    }
    bool writeRows(const std::uint8_t* rgb, int rows, std::string& error) override {
        return m_format == ImageFormat::Jpeg ? m_jpeg.writeRows(rgb, rows, error)
                                             : m_png.writeRows(rgb, rows, error);
    }
    bool finish(std::string& error) {
        return m_format == ImageFormat::Jpeg ? m_jpeg.finish(error) : m_png.finish(error);
    }

private:
    ImageFormat m_format;
    common::JpegStreamWriter m_jpeg;
    PngStreamWriter m_png;
};

/// The "42%  12.3 MP/s  0:17 left" line, rewritten in place. The rate counts `width` units
/// per row done: pixels of picture rows, or segments of a walk (width 1).
class ProgressLine {
public:
    ProgressLine(std::ostream& err, bool shown, std::int64_t width, std::string label,
                 std::string unit = "MP/s")
        : m_err(err), m_shown(shown), m_width(width), m_label(std::move(label)), m_unit(std::move(unit)),
          m_start(std::chrono::steady_clock::now()) {}
    ~ProgressLine() {
        if (m_drawn) {
            m_err << "\r\033[K" << std::flush;
        }
    }

    void update(std::int64_t rowsDone, std::int64_t rows) {
        if (!m_shown || rows <= 0) {
            return;
        }
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - m_start).count();
        const double share = static_cast<double>(rowsDone) / static_cast<double>(rows);
        const double megapixels = static_cast<double>(rowsDone) * static_cast<double>(m_width) / 1e6;
        const double rate = seconds > 0.0 ? megapixels / seconds : 0.0;
        char line[160];
        if (rowsDone > 0) {
            const auto left = static_cast<long long>(std::llround(seconds * (1.0 - share) / share));
            std::snprintf(line, sizeof line, "%s %3d%%  %.1f %s  %lld:%02lld left", m_label.c_str(),
                          static_cast<int>(share * 100.0), rate, m_unit.c_str(), left / 60, left % 60);
        } else {
            std::snprintf(line, sizeof line, "%s   0%%", m_label.c_str());
        }
        m_err << "\r\033[K" << line << std::flush;
        m_drawn = true;
    }

private:
    std::ostream& m_err;
    bool m_shown;
    std::int64_t m_width;
    std::string m_label;
    std::string m_unit;
    std::chrono::steady_clock::time_point m_start;
    bool m_drawn = false;
};

/// Renders one picture into `path` through a temporary file beside it.
Outcome WriteSetPicture(const SetPicture& picture, const std::string& path, ImageFormat format,
                        explorer::CountEngine& engine, RunContext& context, bool quiet,
                        const std::string& label) {
    OutputFile output;
    std::string error;
    if (!output.open(path, error)) {
        return Failure("cannot write " + path + ": " + error);
    }
    EncoderSink sink(format);
    const std::string record = common::FormatPictureRecord(ToRecord(picture));
    if (!sink.start(output.file(), picture.width, picture.height, record, error)) {
        return Failure("cannot write " + path + ": " + error);
    }
    ProgressLine progress(context.err, context.progressAllowed && !quiet, picture.width, label);
    RenderControl control;
    control.stop = context.stop;
    control.progress = [&](std::int64_t done, std::int64_t rows) {
        progress.update(done, rows);
    };
    const RenderStatus status = RenderSet(picture, engine, sink, control, error);
    if (status == RenderStatus::Stopped) {
        return Failure("broken off; " + path + " was not written");
    }
    if (status == RenderStatus::Failed || !sink.finish(error) || !output.commit(error)) {
        return Failure("cannot write " + path + ": " + error);
    }
    return {};
}

enum class PictureKind { Jpeg, Png, Other };

PictureKind SniffPicture(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    unsigned char head[8] = {};
    in.read(reinterpret_cast<char*>(head), sizeof head);
    if (in.gcount() >= 3 && head[0] == 0xFF && head[1] == 0xD8 && head[2] == 0xFF) {
        return PictureKind::Jpeg;
    }
    static const unsigned char kPng[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    if (in.gcount() == 8 && std::equal(head, head + 8, kPng)) {
        return PictureKind::Png;
    }
    return PictureKind::Other;
}

/// The record of a stored picture, or why there is none.
Outcome ReadStoredRecord(const std::string& path, std::optional<common::PictureRecord>& record) {
    std::ifstream probe(path, std::ios::binary);
    if (!probe) {
        return Failure("cannot read " + path + ": " + std::strerror(errno));
    }
    std::optional<std::string> text;
    std::string error;
    switch (SniffPicture(path)) {
    case PictureKind::Jpeg: {
        common::JpegRecordText found = common::ReadJpegRecord(path);
        text = std::move(found.text);
        error = found.error;
        break;
    }
    case PictureKind::Png: {
        PngRecordText found = ReadPngRecord(path);
        text = std::move(found.text);
        error = found.error;
        break;
    }
    default:
        return Failure("cannot read " + path + ": not a JPEG or PNG picture");
    }
    if (!error.empty()) {
        return Failure("cannot read " + path + ": " + error);
    }
    if (!text) {
        return Failure(path +
                       " holds no parameter record; only pictures stored by the fractal programs have one");
    }
    record = common::ParsePictureRecord(*text);
    if (!record) {
        return Failure(path + ": its parameter record is damaged or from a newer version of the programs");
    }
    return {};
}

/// The record of `--from` when it is of the kind the command draws; `wrongKind` names the
/// other kind's picture in the message.
template <typename Kind>
Outcome ReadStoredRecordOf(const std::string& path, const std::string& wrongKind, std::optional<Kind>& out) {
    if (path.empty()) {
        return {};
    }
    std::optional<common::PictureRecord> record;
    if (Outcome read = ReadStoredRecord(path, record); read.status != kExitOk) {
        return read;
    }
    const auto* wanted = std::get_if<Kind>(&*record);
    if (wanted == nullptr) {
        return Failure(path + " is " + wrongKind);
    }
    out = *wanted;
    return {};
}

Outcome RunSet(const SetOptions& options, RunContext& context) {
    const bool sequence = !options.zoomSequence.empty();
    int frames = 0;
    ImageFormat format = ImageFormat::Jpeg;
    if (sequence) {
        if (options.base.empty()) {
            return Usage("--zoom-sequence needs --base NAME for the pictures NAME_001.JPG ...");
        }
        const std::optional<double> n = ParseNumber(options.zoomSequence);
        if (!n || *n != std::floor(*n) || *n < 2 || *n > 9999) {
            return Usage("--zoom-sequence: expected a whole number of pictures from 2 to 9999, not \"" +
                         options.zoomSequence + "\"");
        }
        frames = static_cast<int>(*n);
    } else {
        if (options.output.empty()) {
            return Usage("set: give the picture to write with -o OUT.png or -o OUT.jpg");
        }
        const std::optional<ImageFormat> chosen = FormatForName(options.output);
        if (!chosen) {
            return Usage("-o: the name must end in .png, .jpg or .jpeg, not \"" + options.output + "\"");
        }
        format = *chosen;
    }

    std::optional<common::SetRecord> setRecord;
    if (Outcome read = ReadStoredRecordOf(
            options.from, "a drawing of the L-system generator, not a Mandelbrot or Julia set", setRecord);
        read.status != kExitOk) {
        return read;
    }
    const ResolvedSet resolved = ResolveSet(options, setRecord, format);
    if (!resolved.ok()) {
        return Usage(resolved.error);
    }

    explorer::CountEngine engine;
    if (!sequence) {
        Outcome written = WriteSetPicture(resolved.picture, options.output, format, engine, context,
                                          options.quiet, options.output);
        if (written.status == kExitOk && !options.quiet) {
            context.out << options.output << '\n';
        }
        return written;
    }

    const SetPicture& target = resolved.picture;
    const std::optional<std::vector<explorer::ViewRect>> views =
        ZoomFlight(explorer::DefaultView(target.kind), target.view, frames);
    if (!views) {
        return Usage("--zoom-sequence: the target view must have RE_MAX > RE_MIN and IM_MAX > IM_MIN");
    }
    // NAME may carry a folder; the numbering rule is the explorer's, so its slide show plays them.
    const std::size_t slash = options.base.rfind('/');
    const std::string folder = slash == std::string::npos ? ""
                               : slash == 0               ? "/"
                                                          : options.base.substr(0, slash);
    const std::string base = slash == std::string::npos ? options.base : options.base.substr(slash + 1);
    if (base.empty()) {
        return Usage("--base: the name has no file part: \"" + options.base + "\"");
    }
    std::vector<std::string> written;
    for (int k = 0; k < frames; ++k) {
        SetPicture frame = target;
        frame.view = (*views)[static_cast<std::size_t>(k)];
        const std::string name = explorer::PictureFileName(folder, base, k + 1);
        const std::string label = std::to_string(k + 1) + "/" + std::to_string(frames);
        Outcome outcome =
            WriteSetPicture(frame, name, ImageFormat::Jpeg, engine, context, options.quiet, label);
        if (outcome.status != kExitOk) {
            // A flight with a hole is no flight: the pictures of this run go as well.
            for (const std::string& done : written) {
                std::remove(done.c_str());
            }
            return outcome;
        }
        written.push_back(name);
    }
    if (!options.quiet) {
        for (const std::string& name : written) {
            context.out << name << '\n';
        }
    }
    return {};
}

void AddSetCommand(CLI::App& app, SetOptions& o) {
    CLI::App* set = app.add_subcommand("set", "Render a Mandelbrot or Julia set as the explorer draws it");
    set->add_option("--kind", o.kind, "mandelbrot (the default) or julia")
        ->check(CLI::IsMember({"mandelbrot", "julia"}))
        ->type_name("KIND");
    set->add_option("--julia", o.julia,
                    "Julia set with the constant RE/IM, as in the explorer's start-point list "
                    "(--julia -0.5/0.6 or --julia=-0.5/0.6)")
        ->type_name("RE/IM");
    set->add_option("--view", o.view,
                    "The part of the complex plane: real part at the left and right edge, imaginary part "
                    "at the bottom and top edge (default: the kind's default view, -2 1 -1.5 1.5 or "
                    "-1.5 1.5 -1.5 1.5)")
        ->expected(4)
        ->type_name("RE_MIN RE_MAX IM_MIN IM_MAX");
    set->add_option("--border", o.border, "Border colour steps, each 0..255 (default 16 2 4)")
        ->expected(3)
        ->type_name("R G B");
    set->add_option("--main", o.main, "Main colour of the points that never escape (default 255 255 0)")
        ->expected(3)
        ->type_name("R G B");
    CLI::Option* subtractive = set->add_flag(
        "--subtractive", o.subtractive, "Subtractive colour mixing: level n is the border colour minus n");
    CLI::Option* additive = set->add_flag(
        "--additive", o.additive, "Additive colour mixing, level n is n times the border colour (default)");
    subtractive->excludes(additive);
    CLI::Option* size =
        set->add_option("--size", o.size, "Picture size in pixels (default 601x601, or the stored picture's)")
            ->type_name("WxH");
    CLI::Option* width = set->add_option("--width", o.width,
                                         "Picture width; the height follows the view's aspect: "
                                         "round(W * (IM_MAX - IM_MIN) / (RE_MAX - RE_MIN))")
                             ->type_name("W");
    size->excludes(width);
    set->add_option("--from", o.from,
                    "Take every parameter from the record of a picture stored by the explorer or by this "
                    "program; options given beside it override it")
        ->type_name("PICTURE");
    CLI::Option* output =
        set->add_option("-o,--output", o.output, "The picture to write: .png or .jpg, chosen by the name")
            ->type_name("OUT");
    CLI::Option* zoom = set->add_option("--zoom-sequence", o.zoomSequence,
                                        "Write N pictures that fly from the kind's default view into the "
                                        "target view, as NAME_001.JPG ... for the explorer's slide show")
                            ->type_name("N");
    set->add_option("--base", o.base, "Base name of the zoom sequence, possibly with a folder")
        ->type_name("NAME");
    zoom->excludes(output);
    set->add_flag("-q,--quiet", o.quiet, "No progress line and no list of the files written");
}

Outcome RunLsystem(const LsystemOptions& options, RunContext& context) {
    if (options.output.empty()) {
        return Usage("lsystem: give the drawing to write with -o OUT.svg, .pdf, .png or .jpg");
    }
    const std::optional<DrawingFormat> format = DrawingFormatForName(options.output);
    if (!format) {
        return Usage("-o: the name must end in .svg, .pdf, .png, .jpg or .jpeg, not \"" + options.output +
                     "\"");
    }
    std::optional<common::LsystemRecord> lsystemRecord;
    if (Outcome read = ReadStoredRecordOf(
            options.from, "a picture of the set explorer, not a drawing of the L-system generator",
            lsystemRecord);
        read.status != kExitOk) {
        return read;
    }
    const ResolvedLsystem resolved = ResolveLsystem(options, lsystemRecord, *format);
    if (!resolved.ok()) {
        return resolved.usage ? Usage(resolved.error) : Failure(resolved.error);
    }

    ProgressLine progress(context.err, context.progressAllowed && !options.quiet, 1, options.output,
                          "M segments/s");
    WalkControl control;
    control.stop = context.stop;
    control.progress = [&progress](std::uint64_t done, double total) {
        // The share of a walk whose count exceeds any integer is shown in millionths.
        const double scale = total > 1e15 ? total / 1e15 : 1.0;
        progress.update(static_cast<std::int64_t>(static_cast<double>(done) / scale),
                        static_cast<std::int64_t>(total / scale));
    };
    bool stackFull = false;
    std::string error;
    switch (WriteLsystemPicture(resolved.picture, options.output, *format, control, stackFull, error)) {
    case WriteStatus::Stopped:
        return Failure("broken off; " + options.output + " was not written");
    case WriteStatus::Failed:
        return Failure("cannot write " + options.output + ": " + error);
    case WriteStatus::Done:
        break;
    }
    if (stackFull) {
        context.err
            << kProgram
            << ": the formula nests more than ten brackets; the drawing ends there, as the generator's "
               "does (the generator says \"Rekursiver Stack voll - Abbruch\")\n";
    }
    if (!options.quiet) {
        context.out << options.output << '\n';
    }
    return {};
}

void AddLsystemCommand(CLI::App& app, LsystemOptions& o) {
    CLI::App* lsystem = app.add_subcommand("lsystem", "Draw an L-system as the generator draws it");
    CLI::Option* file = lsystem
                            ->add_option("FILE", o.file,
                                         "A formula file of the generator (ten lines: formula, factor, "
                                         "right and left angle, start length, node radius, iterations, "
                                         "start point x and y, 1 for a horizontal start)")
                            ->type_name("FILE.frc");
    CLI::Option* preset =
        lsystem
            ->add_option("--preset", o.preset,
                         "One of the generator's built-in formulas F1 to F7: 1 to 4 trees, 5 the Koch curve, "
                         "6 the Sierpinski triangle, 7 the Peano curve")
            ->type_name("N");
    CLI::Option* from =
        lsystem
            ->add_option("--from", o.from,
                         "Take the drawing from the record of a JPEG or PNG picture stored by "
                         "the generator (F9) or by this program")
            ->type_name("PICTURE");
    file->excludes(preset)->excludes(from);
    preset->excludes(from);
    lsystem
        ->add_option("--size", o.size,
                     "Size of the drawing area in pixels (default 493x493, the generator's, or the stored "
                     "picture's). Another size scales the start length, node radius and start point by the "
                     "smaller of the two side ratios")
        ->type_name("WxH");
    lsystem
        ->add_option("--background", o.background,
                     "white (the default: black lines) or black (yellow lines), the generator's two choices")
        ->type_name("COLOUR");
    lsystem
        ->add_option(
            "-o,--output", o.output,
            "The drawing to write: .svg or .pdf as vectors, .png or .jpg in pixels, chosen by the name")
        ->type_name("OUT");
    lsystem->add_flag("-q,--quiet", o.quiet, "No progress line and no name of the file written");
}

} // namespace

int RunRenderer(int argc, const char* const* argv, RunContext& context) {
    CLI::App app{"Renders the pictures of the fractal programs without a window, at any size.", kProgram};
    app.set_version_flag("--version", std::string(kProgram) + " " + FRACTALS_VERSION);
    app.require_subcommand(1);
    app.footer("Exit status: 0 done, 1 failure (input unreadable, output not writable, broken off), "
               "2 usage error.\nSee fractal-render(1).");

    // One subcommand per program whose pictures can be rendered.
    SetOptions setOptions;
    AddSetCommand(app, setOptions);
    LsystemOptions lsystemOptions;
    AddLsystemCommand(app, lsystemOptions);

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        if (e.get_exit_code() == 0) {
            return app.exit(e, context.out, context.err);
        }
        context.err << kProgram << ": " << e.what() << "\nTry '" << kProgram << " --help'.\n";
        return kExitUsage;
    }

    Outcome outcome;
    if (app.got_subcommand("set")) {
        outcome = RunSet(setOptions, context);
    } else if (app.got_subcommand("lsystem")) {
        outcome = RunLsystem(lsystemOptions, context);
    }
    if (outcome.status != kExitOk) {
        context.err << kProgram << ": " << outcome.message << '\n';
    }
    return outcome.status;
}

} // namespace render
