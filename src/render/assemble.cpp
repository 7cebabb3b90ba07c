#include "assemble.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <map>
#include <optional>
#include <variant>

#include "atomic_file.h"
#include "encoder_sink.h"
#include "jpeg_file.h"
#include "picture_record.h"
#include "png_file.h"
#include "progress_line.h"
#include "set_options.h"
#include "stop_request.h"
#include "strip_render.h"
#include "tiles.h"
#include "video_command.h"

namespace render {

namespace {

namespace fs = std::filesystem;

/// A tile as its file names it, read up to its pixels.
struct TileFile {
    std::string path;
    TilePlace place;
    std::string record; // the whole picture's record text
};

/// The file's tile chunk and record; nothing and an empty `error` for a PNG file without a
/// tile chunk.
std::optional<TileFile> ReadTile(const std::string& path, std::string& error) {
    PngRowReader reader;
    if (!reader.open(path, error)) {
        return std::nullopt;
    }
    const std::optional<std::string> text = reader.text(kPngTileKeyword);
    if (!text) {
        return std::nullopt;
    }
    const std::optional<TilePlace> place = ParseTilePlace(*text);
    if (!place) {
        error = "its tile chunk is damaged";
        return std::nullopt;
    }
    if (reader.width() != place->width || reader.height() != place->rows) {
        error = "it is " + std::to_string(reader.width()) + "x" + std::to_string(reader.height()) +
                " pixels, not the " + std::to_string(place->width) + "x" + std::to_string(place->rows) +
                " its tile chunk names";
        return std::nullopt;
    }
    const std::optional<std::string> record = reader.text(kPngRecordKeyword);
    if (!record) {
        error = "it has no picture record";
        return std::nullopt;
    }
    return TileFile{path, *place, *record};
}

bool IsPngName(const fs::path& path) {
    std::string extension = path.extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return extension == ".png";
}

/// The tiles named on the command line, a folder standing for every PNG tile in it (other PNG
/// files there, such as the assembled picture, are passed over).
Outcome GatherTiles(const std::vector<std::string>& inputs, std::vector<TileFile>& tiles) {
    for (const std::string& input : inputs) {
        std::error_code failure;
        if (!fs::is_directory(input, failure)) {
            std::string error;
            std::optional<TileFile> tile = ReadTile(input, error);
            if (!tile && !error.empty()) {
                return Failure("cannot read " + input + ": " + error);
            }
            if (!tile) {
                return Failure(input + " is not a tile of a picture (a PNG file written by 'set --tile')");
            }
            tiles.push_back(std::move(*tile));
            continue;
        }
        std::vector<std::string> names;
        for (fs::directory_iterator it(input, failure), end; !failure && it != end; it.increment(failure)) {
            if (IsPngName(it->path()) && it->is_regular_file(failure)) {
                names.push_back(it->path().string());
            }
        }
        if (failure) {
            return Failure("cannot read the folder " + input + ": " + failure.message());
        }
        std::sort(names.begin(), names.end());
        const std::size_t before = tiles.size();
        for (const std::string& name : names) {
            std::string error;
            std::optional<TileFile> tile = ReadTile(name, error);
            if (tile) {
                tiles.push_back(std::move(*tile));
            } else if (!error.empty()) {
                return Failure("cannot read " + name + ": " + error);
            }
        }
        if (tiles.size() == before) {
            // Here the other folders that `assemble` knows are told apart from a folder of tiles.
            return Failure(input + " holds no tiles of a picture (PNG files written by 'set --tile')");
        }
    }
    return {};
}

std::string Band(const TileFile& tile) {
    return tile.path + " (tile " + std::to_string(tile.place.index) + "/" + std::to_string(tile.place.count) +
           ", rows " + std::to_string(tile.place.firstRow) + " to " +
           std::to_string(tile.place.firstRow + tile.place.rows - 1) + ")";
}

/// Puts the tiles in order and makes sure that they are all the tiles of one picture, each
/// once, together covering every row exactly once.
Outcome CheckTiles(std::vector<TileFile>& tiles) {
    const TileFile& first = tiles.front();
    for (const TileFile& tile : tiles) {
        if (tile.record != first.record || tile.place.width != first.place.width ||
            tile.place.height != first.place.height || tile.place.count != first.place.count) {
            return Failure(first.path + " and " + tile.path + " are tiles of different pictures");
        }
    }
    const std::optional<common::PictureRecord> record = common::ParsePictureRecord(first.record);
    const auto sizeOf = [](const auto& r) {
        return std::pair{r.width, r.height};
    };
    if (!record || std::holds_alternative<common::LsystemRecord>(*record) ||
        std::visit(sizeOf, *record) != std::pair{first.place.width, first.place.height}) {
        return Failure(first.path + " is not a tile of a picture this program can assemble (its record is " +
                       (record ? "of another picture" : "damaged") + ")");
    }
    std::stable_sort(tiles.begin(), tiles.end(),
                     [](const TileFile& a, const TileFile& b) { return a.place.index < b.place.index; });
    std::string missing;
    int missingCount = 0;
    int expected = 1;
    for (std::size_t i = 0; i <= tiles.size(); ++i) {
        const int index = i < tiles.size() ? tiles[i].place.index : first.place.count + 1;
        if (i > 0 && i < tiles.size() && index == tiles[i - 1].place.index) {
            return Failure("tile " + std::to_string(index) + "/" + std::to_string(first.place.count) +
                           " is given twice: " + tiles[i - 1].path + " and " + tiles[i].path);
        }
        for (; expected < index; ++expected, ++missingCount) {
            missing += (missing.empty() ? "" : ", ") + std::to_string(expected);
        }
        expected = index + 1;
    }
    if (missingCount > 0) {
        return Failure((missingCount == 1 ? "tile " : "tiles ") + missing + " of " +
                       std::to_string(first.place.count) + (missingCount == 1 ? " is" : " are") +
                       " missing; nothing was written");
    }
    int row = 0;
    for (std::size_t i = 0; i < tiles.size(); ++i) {
        if (tiles[i].place.firstRow != row) {
            return Failure(Band(tiles[i]) +
                           (tiles[i].place.firstRow < row ? " overlaps " : " leaves a gap after ") +
                           (i == 0 ? std::string("the picture's top") : Band(tiles[i - 1])));
        }
        row += tiles[i].place.rows;
    }
    if (row != first.place.height) {
        return Failure(Band(tiles.back()) + " does not end at the picture's last row " +
                       std::to_string(first.place.height - 1));
    }
    return {};
}

/// Streams the tiles' rows, a strip at a time, into the encoder of the whole picture.
Outcome WriteAssembled(const std::vector<TileFile>& tiles, const std::string& path, ImageFormat format,
                       RunContext& context, bool quiet) {
    const int width = tiles.front().place.width;
    const int height = tiles.front().place.height;
    common::AtomicFile output;
    std::string error;
    if (!output.open(path, error)) {
        return Failure("cannot write " + path + ": " + error);
    }
    EncoderSink sink(format);
    if (!sink.start(output.file(), width, height, tiles.front().record, error)) {
        return Failure("cannot write " + path + ": " + error);
    }
    const int stripRows = StripRows(width);
    std::vector<std::uint8_t> rows(static_cast<std::size_t>(width) * 3 * static_cast<std::size_t>(stripRows));
    ProgressLine progress(context.err, context.progressAllowed && !quiet, width, path);
    std::int64_t rowsDone = 0;
    for (const TileFile& tile : tiles) {
        PngRowReader reader;
        const auto unreadable = [&](const std::string& why) {
            return Failure("cannot read " + tile.path + ": " + why + "; " + path + " was not written");
        };
        if (!reader.open(tile.path, error)) {
            return unreadable(error);
        }
        if (reader.width() != width || reader.height() != tile.place.rows ||
            reader.text(kPngTileKeyword) != FormatTilePlace(tile.place)) {
            return unreadable("it changed while the tiles were assembled");
        }
        for (int done = 0; done < tile.place.rows;) {
            if (StopRequested(context.stop)) {
                return Failure("broken off; " + path + " was not written");
            }
            const int count = std::min(stripRows, tile.place.rows - done);
            if (!reader.readRows(rows.data(), count, error)) {
                return unreadable(error);
            }
            if (!sink.writeRows(rows.data(), count, error)) {
                return Failure("cannot write " + path + ": " + error);
            }
            done += count;
            rowsDone += count;
            progress.update(rowsDone, height);
        }
        if (!reader.finish(error)) {
            return unreadable(error);
        }
    }
    if (!sink.finish(error)) {
        return Failure("cannot write " + path + ": " + error);
    }
    progress.clear();
    return CommitOutput(output, path, context.stop);
}

/// The tiles of one picture into the whole picture.
Outcome AssembleTiles(const AssembleOptions& options, RunContext& context) {
    const std::optional<ImageFormat> format = FormatForName(options.output);
    if (!format) {
        return Usage("-o: the name must end in .png, .jpg or .jpeg, not \"" + options.output + "\"");
    }
    std::vector<TileFile> tiles;
    if (Outcome gathered = GatherTiles(options.inputs, tiles); !gathered.ok()) {
        return gathered;
    }
    if (Outcome checked = CheckTiles(tiles); !checked.ok()) {
        return checked;
    }
    const TilePlace& whole = tiles.front().place;
    if (const std::string fault = CheckSize(whole.width, whole.height, *format); !fault.empty()) {
        return Usage("-o: " + fault);
    }
    if (*format == ImageFormat::Jpeg && tiles.front().record.size() > common::kMaxJpegCommentBytes) {
        return Usage("-o: the picture's record is " + std::to_string(tiles.front().record.size()) +
                     " bytes, more than a JPEG comment holds (" +
                     std::to_string(common::kMaxJpegCommentBytes) + " bytes); write a .png picture");
    }
    Outcome written = WriteAssembled(tiles, options.output, *format, context, options.quiet);
    if (written.ok() && !options.quiet) {
        context.out << options.output << '\n';
    }
    return written;
}

} // namespace

Outcome RunAssemble(const AssembleOptions& options, RunContext& context) {
    const bool video = !options.keyframes.empty() || !options.video.empty();
    if (video && (!options.inputs.empty() || !options.output.empty())) {
        return Usage("assemble: a video from --keyframes and --video, or a picture from tiles with -o, "
                     "not both at once");
    }
    if (video) {
        return AssembleVideo(options, context);
    }
    if (options.inputs.empty()) {
        return Usage("assemble: give the tiles to put together, or the folder that holds them");
    }
    if (options.output.empty()) {
        return Usage("assemble: give the picture to write with -o OUT.png or -o OUT.jpg");
    }
    return AssembleTiles(options, context);
}

} // namespace render
