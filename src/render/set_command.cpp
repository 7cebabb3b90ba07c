#include "set_command.h"

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "encoder_sink.h"
#include "output_file.h"
#include "picture_files.h"
#include "progress_line.h"
#include "stored_record.h"
#include "strip_render.h"
#include "zoom_flight.h"

namespace render {

namespace {

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

} // namespace

Outcome RunSet(const SetOptions& options, RunContext& context) {
    const bool sequence = !options.zoomSequence.empty();
    int frames = 0;
    ImageFormat format = ImageFormat::Jpeg;
    if (sequence) {
        if (options.base.empty()) {
            return Usage("--zoom-sequence needs --base NAME for the pictures NAME_001.JPG ...");
        }
        const std::optional<std::int64_t> n = ParseCount(options.zoomSequence);
        if (!n || *n < 2 || *n > 9999) {
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
        !read.ok()) {
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
        if (written.ok() && !options.quiet) {
            context.out << options.output << '\n';
        }
        return written;
    }

    const SetPicture& target = resolved.picture;
    const std::optional<std::vector<explorer::ViewRect>> views =
        ZoomFlight(explorer::DefaultView(target.kind), target.view, frames);
    if (!views) {
        return Usage("--zoom-sequence: the target view has no width or no height");
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
        if (!outcome.ok()) {
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

} // namespace render
