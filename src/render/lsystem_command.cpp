#include "lsystem_command.h"

#include <string>

#include "jpeg_file.h"
#include "lsystem_render.h"
#include "progress_line.h"
#include "stored_record.h"

namespace render {

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
        !read.ok()) {
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
    bool encoding = false;
    control.encodeProgress = [&](std::int64_t rowsDone, std::int64_t rows) {
        if (!encoding) {
            progress.restart(options.output + " encoding", resolved.picture.width(), "MP/s");
            encoding = true;
        }
        progress.update(rowsDone, rows);
    };
    // Shown at once: a walk reports only every few milliseconds.
    progress.update(0, 1);
    bool stackFull = false;
    std::string error;
    const WriteStatus written =
        WriteLsystemPicture(resolved.picture, options.output, *format, control, stackFull, error);
    // Standard output and error share the terminal's line.
    progress.clear();
    switch (written) {
    case WriteStatus::Stopped:
        return Failure("broken off; " + options.output + " was not written");
    case WriteStatus::Failed:
        return Failure("cannot write " + options.output + ": " + error);
    case WriteStatus::Done:
        break;
    }
    if (const std::string record = common::FormatPictureRecord(resolved.picture.record);
        !FormatHoldsRecord(*format, record)) {
        context.err << kProgramName << ": the parameter record (" << record.size()
                    << " bytes) is longer than a JPEG comment holds (" << common::kMaxJpegCommentBytes
                    << " bytes), so " << options.output
                    << " was written without it; a .png, .svg or .pdf drawing keeps it\n";
    }
    if (stackFull) {
        context.err
            << kProgramName
            << ": the formula nests more than ten brackets; the drawing ends there, as the generator's "
               "does (the generator says \"Rekursiver Stack voll - Abbruch\")\n";
    }
    if (!options.quiet) {
        context.out << options.output << '\n';
    }
    return {};
}

} // namespace render
