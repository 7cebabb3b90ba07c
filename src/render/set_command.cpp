#include "set_command.h"

#include <cerrno>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "atomic_file.h"
#include "deep_flight.h"
#include "deep_strip_render.h"
#include "encoder_sink.h"
#include "jpeg_file.h"
#include "picture_files.h"
#include "progress_line.h"
#include "reference_file.h"
#include "stop_request.h"
#include "stored_record.h"
#include "strip_render.h"
#include "tiles.h"
#include "video_command.h"
#include "zoom_flight.h"

namespace render {

namespace {

using ProgressReport = std::function<void(std::int64_t rowsDone, std::int64_t rows)>;

/// What a picture reports while it is made. A deep picture first computes its reference orbit
/// (`reference`: iterations done of N), then says `counting` before its rows; a picture of the
/// explorer's views has only rows.
struct PictureProgress {
    ProgressReport reference;
    std::function<void()> counting;
    ProgressReport rows;
};

/// What a single picture may add to the work: only one band of it (a tile), and a deep view's
/// reference orbit read from a file instead of computed, or saved to one.
struct PictureExtras {
    std::optional<TilePlace> tile;
    std::string loadReference;
    std::string saveReference;
};

/// A deep picture's reference orbits, computed or loaded, and saved when asked; `path` names
/// the picture in messages.
Outcome PrepareDeep(const deep::DeepView& view, const std::string& path, RunContext& context,
                    const PictureProgress& progress, const PictureExtras& extras,
                    std::optional<deep::DeepPicture>& prepared) {
    std::string error;
    if (!extras.loadReference.empty()) {
        deep::ReferenceOrbits orbits;
        if (Outcome loaded = LoadReferenceFile(extras.loadReference, view, orbits); !loaded.ok()) {
            return loaded;
        }
        prepared = deep::DeepPicture::prepareFromOrbits(view, std::move(orbits), error);
        if (!prepared) {
            return Failure("cannot use the reference orbit " + extras.loadReference + ": " + error);
        }
    } else {
        deep::DeepControl control;
        control.stop = context.stop;
        control.referenceProgress = progress.reference;
        prepared = deep::DeepPicture::prepare(view, control, error);
        if (!prepared) {
            if (error.empty() || StopRequested(context.stop)) {
                return Failure("broken off; " + path + " was not written");
            }
            return Failure("cannot draw " + path + ": " + error);
        }
    }
    if (!extras.saveReference.empty()) {
        return SaveReferenceFile(extras.saveReference, *prepared);
    }
    return {};
}

/// Counts the picture, deep or not, and encodes it into the open `output`, whose target `path`
/// names it in messages.
Outcome RenderSetPicture(const SetPicture& picture, const std::string& path, ImageFormat format,
                         explorer::CountEngine& engine, RunContext& context, common::AtomicFile& output,
                         const PictureProgress& progress, const PictureExtras& extras = {}) {
    std::string error;
    std::optional<deep::DeepPicture> prepared;
    if (picture.deepView) {
        if (Outcome ready = PrepareDeep(*picture.deepView, path, context, progress, extras, prepared);
            !ready.ok()) {
            return ready;
        }
        if (progress.counting) {
            progress.counting();
        }
    }
    EncoderSink sink(format);
    const std::string record = common::FormatPictureRecord(ToRecord(picture));
    RenderControl control;
    control.stop = context.stop;
    control.progress = progress.rows;
    int rows = picture.height;
    if (extras.tile) {
        sink.addPngText(kPngTileKeyword, FormatTilePlace(*extras.tile));
        control.firstRow = extras.tile->firstRow;
        control.rowCount = rows = extras.tile->rows;
    }
    if (!sink.start(output.file(), picture.width, rows, record, error)) {
        return Failure("cannot write " + path + ": " + error);
    }
    const RenderStatus status = prepared ? RenderDeep(*prepared, picture.colours, sink, control, error)
                                         : RenderSet(picture, engine, sink, control, error);
    if (status == RenderStatus::Stopped) {
        return Failure("broken off; " + path + " was not written");
    }
    if (status == RenderStatus::Failed || !sink.finish(error)) {
        return Failure("cannot write " + path + ": " + error);
    }
    return {};
}

/// Renders one picture into `path` through a temporary file beside it. A deep view's reference
/// orbit has a progress line of its own before the rows' line.
Outcome WriteSetPicture(const SetPicture& picture, const std::string& path, ImageFormat format,
                        explorer::CountEngine& engine, RunContext& context, bool quiet,
                        const std::string& label, const PictureExtras& extras = {}) {
    common::AtomicFile output;
    std::string error;
    if (!output.open(path, error)) {
        return Failure("cannot write " + path + ": " + error);
    }
    const bool shown = context.progressAllowed && !quiet;
    // The reference orbit's work is its iterations, counted in millions a second.
    ProgressLine progress(context.err, shown, picture.deepView ? 1 : picture.width,
                          picture.deepView ? "reference" : label, picture.deepView ? "Mit/s" : "MP/s");
    const ProgressReport update = [&](std::int64_t done, std::int64_t total) {
        progress.update(done, total);
    };
    const ProgressReport reference = [&](std::int64_t done, std::int64_t total) {
        progress.update(done, total);
        if (done == total) {
            // The orbit is done; the approximation tables and the columns' offsets follow
            // without reports of their own, for seconds on a wide picture at the deepest views.
            progress.startClock("tables");
        }
    };
    const auto counting = [&] {
        progress.restart(label, picture.width, "MP/s");
        progress.update(0, picture.height);
    };
    const PictureProgress reports{reference, counting, update};
    if (Outcome outcome = RenderSetPicture(picture, path, format, engine, context, output, reports, extras);
        !outcome.ok()) {
        return outcome;
    }
    return CommitOutput(output, path, context.stop);
}

/// Picture k (0 .. frames - 1) of a flight. The pictures are made one at a time as they are
/// drawn: a deep flight's centres may each hold thousands of digits.
using FlightFrame = std::function<SetPicture(int k)>;

/// Renders the pictures of a flight into the group, each under its temporary name, with one
/// progress line over the whole flight (gone again when this returns). While a deep picture's
/// reference orbit is computed, the line names that picture at the share done before it.
Outcome RenderFlight(const FlightFrame& frameAt, int frames, const std::vector<std::string>& names,
                     explorer::CountEngine& engine, RunContext& context, bool quiet,
                     common::AtomicFileGroup& flight) {
    SetPicture frame = frameAt(0);
    const int height = frame.height;
    ProgressLine progress(context.err, context.progressAllowed && !quiet, frame.width, "");
    const std::int64_t flightRows = static_cast<std::int64_t>(frames) * height;
    std::string error;
    for (int k = 0; k < frames; ++k) {
        if (k > 0) {
            frame = frameAt(k);
        }
        const std::string& name = names[static_cast<std::size_t>(k)];
        common::AtomicFile output;
        if (!output.open(name, error)) {
            return Failure("cannot write " + name + ": " + error);
        }
        progress.setLabel("frame " + std::to_string(k + 1) + "/" + std::to_string(frames));
        const std::int64_t rowsBefore = static_cast<std::int64_t>(k) * height;
        const PictureProgress reports{
            [&](std::int64_t, std::int64_t) { progress.update(rowsBefore, flightRows); },
            {},
            [&](std::int64_t done, std::int64_t) {
                progress.update(rowsBefore + done, flightRows);
            }};
        Outcome outcome = RenderSetPicture(frame, name, ImageFormat::Jpeg, engine, context, output, reports);
        if (!outcome.ok()) {
            if (StopRequested(context.stop)) {
                return Failure("broken off; the flight " + names.front() + " ... " + names.back() +
                               " was not written");
            }
            return outcome;
        }
        if (!flight.add(output, error)) {
            return Failure("cannot write " + name + ": " + error);
        }
    }
    return {};
}

/// Writes the pictures of a flight, all of them or none: each goes under a temporary name
/// first, and only when the last is done are they all renamed. A failure or a break leaves the
/// folder as it was, pictures of an earlier flight under the same names included. Missing
/// folders of `folder` are made first and go again with the flight.
Outcome WriteFlight(const FlightFrame& frameAt, int frames, const std::string& folder,
                    const std::string& base, explorer::CountEngine& engine, RunContext& context, bool quiet) {
    std::vector<std::string> names;
    for (int k = 0; k < frames; ++k) {
        names.push_back(explorer::PictureFileName(folder, base, k + 1));
        // Found only at the renaming otherwise, after the whole flight was rendered.
        std::error_code ignored;
        if (std::filesystem::is_directory(names.back(), ignored)) {
            return Failure("cannot write " + names.back() + ": " + std::strerror(EISDIR));
        }
    }
    common::MadeFolders made;
    std::string error;
    if (!made.make(folder, error)) {
        return Failure("cannot make the folder " + error);
    }
    // Declared after `made`, so its temporary files are gone before the folders are removed.
    common::AtomicFileGroup flight;
    if (Outcome rendered = RenderFlight(frameAt, frames, names, engine, context, quiet, flight);
        !rendered.ok()) {
        return rendered;
    }
    switch (CommitUnlessStopped(context.stop, [&] { return flight.commit(error); })) {
    case CommitStatus::Stopped:
        return Failure("broken off; the flight " + names.front() + " ... " + names.back() +
                       " was not written");
    case CommitStatus::Failed:
        return Failure("cannot write " + flight.failedTarget() + ": " + error);
    case CommitStatus::Done:
        break;
    }
    made.keep();
    if (!quiet) {
        for (const std::string& name : names) {
            context.out << name << '\n';
        }
    }
    return {};
}

/// Computes a deep view's reference orbits and saves them, with no picture.
Outcome SaveReferenceOnly(const SetPicture& picture, const std::string& path, RunContext& context,
                          bool quiet) {
    ProgressLine progress(context.err, context.progressAllowed && !quiet, 1, "reference", "Mit/s");
    const PictureProgress reports{
        [&](std::int64_t done, std::int64_t total) { progress.update(done, total); }, {}, {}};
    PictureExtras extras;
    extras.saveReference = path;
    std::optional<deep::DeepPicture> prepared;
    if (Outcome saved = PrepareDeep(*picture.deepView, path, context, reports, extras, prepared);
        !saved.ok()) {
        return saved;
    }
    progress.clear();
    if (!quiet) {
        context.out << path << '\n';
    }
    return {};
}

} // namespace

Outcome RunSet(const SetOptions& options, RunContext& context) {
    if (!options.video.empty() || options.keyframesOnly || options.keyframesCount) {
        return RunVideo(options, context);
    }
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
    } else if (!options.output.empty() || options.saveReference.empty()) {
        if (options.output.empty()) {
            return Usage("set: give the picture to write with -o OUT.png or -o OUT.jpg");
        }
        const std::optional<ImageFormat> chosen = FormatForName(options.output);
        if (!chosen) {
            return Usage("-o: the name must end in .png, .jpg or .jpeg, not \"" + options.output + "\"");
        }
        format = *chosen;
    }

    std::optional<common::PictureRecord> setRecord;
    if (Outcome read = ReadStoredSetRecord(options.from, setRecord); !read.ok()) {
        return read;
    }
    const ResolvedSet resolved = ResolveSet(options, setRecord, format);
    if (!resolved.ok()) {
        return Usage(resolved.error);
    }
    if ((!options.saveReference.empty() || !options.loadReference.empty()) && !resolved.picture.deepView) {
        return Usage(std::string(options.saveReference.empty() ? "--load-reference" : "--save-reference") +
                     ": only a deep view (--centre, --radius) has a reference orbit");
    }
    if (!sequence && options.output.empty()) {
        return SaveReferenceOnly(resolved.picture, options.saveReference, context, options.quiet);
    }
    PictureExtras extras{std::nullopt, options.loadReference, options.saveReference};
    if (!options.tile.empty()) {
        const std::optional<TileNumber> number = ParseTileNumber(options.tile);
        if (!number) {
            return Usage("--tile: expected I/N, tile I of N counted from 1 (such as 2/3), not \"" +
                         options.tile + "\"");
        }
        if (format != ImageFormat::Png) {
            return Usage("--tile: a tile is written as a .png picture, which keeps its pixels exact for "
                         "'fractal-render assemble'");
        }
        std::string error;
        extras.tile = PlaceTile(resolved.picture.width, resolved.picture.height, *number, error);
        if (!extras.tile) {
            return Usage("--tile: " + error);
        }
    }
    explorer::CountEngine engine;
    if (!sequence) {
        // A deep centre needs a digit for every tenfold of depth; refused before the work
        // rather than after it when the record outgrows what a JPEG can carry.
        if (format == ImageFormat::Jpeg && resolved.picture.deepView) {
            const std::size_t bytes = common::FormatPictureRecord(ToRecord(resolved.picture)).size();
            if (bytes > common::kMaxJpegCommentBytes) {
                return Usage("-o: the picture's record would be " + std::to_string(bytes) +
                             " bytes, more than a JPEG comment holds (" +
                             std::to_string(common::kMaxJpegCommentBytes) + " bytes); write a .png picture");
            }
        }
        Outcome written = WriteSetPicture(resolved.picture, options.output, format, engine, context,
                                          options.quiet, options.output, extras);
        if (written.ok() && !options.quiet) {
            context.out << options.output << '\n';
        }
        return written;
    }

    const SetPicture& target = resolved.picture;
    FlightFrame frameAt;
    std::optional<std::vector<explorer::ViewRect>> views;
    deep::DeepView start;
    if (target.deepView) {
        // A deep target is flown to from the explorer's start as well, in exact decimals all
        // the way; every picture is a deep one with the target's iteration limit.
        start = *target.deepView;
        DefaultDeepCentre(target.kind, start);
        frameAt = [&](int k) {
            SetPicture frame = target;
            frame.deepView = DeepFlightView(start, *target.deepView, frames, k);
            return frame;
        };
        // Every picture's record goes into its JPEG comment, and a centre near a deep target
        // needs a digit for every tenfold of depth. The in-between pictures' digits grow with
        // their depth, so the deepest one at either end of the flight and the target itself
        // hold the longest records; refused here rather than after the pictures before them.
        for (const int k : {1, frames - 2, frames - 1}) {
            const std::size_t bytes = common::FormatPictureRecord(ToRecord(frameAt(k))).size();
            if (bytes > common::kMaxJpegCommentBytes) {
                const std::string holds = ", more than a JPEG comment holds (" +
                                          std::to_string(common::kMaxJpegCommentBytes) + " bytes)";
                if (k == frames - 1) {
                    return Usage("--zoom-sequence: the target's record would be " + std::to_string(bytes) +
                                 " bytes" + holds + "; draw it alone as a .png picture");
                }
                return Usage("--zoom-sequence: picture " + std::to_string(k + 1) +
                             " of the flight would need a record of " + std::to_string(bytes) +
                             " bytes for its centre's digits" + holds + "; fly to a larger radius");
            }
        }
    } else {
        views = ZoomFlight(explorer::DefaultView(target.kind), target.view, frames);
        if (!views) {
            return Usage("--zoom-sequence: the target view has no width or no height");
        }
        frameAt = [&](int k) {
            SetPicture frame = target;
            frame.view = (*views)[static_cast<std::size_t>(k)];
            return frame;
        };
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
    return WriteFlight(frameAt, frames, folder, base, engine, context, options.quiet);
}

} // namespace render
