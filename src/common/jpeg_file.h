#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "picture_record.h"
#include "rgb_image.h"

namespace common {

/// Largest picture the reader accepts; a larger one is refused right after the header,
/// before anything is allocated for it.
inline constexpr int kMaxJpegSide = 16384;
inline constexpr long long kMaxJpegPixels = 50'000'000;

struct JpegResult {
    bool ok = false;
    std::string error; // the library's message or the system's, when !ok
};

struct JpegReadResult {
    RgbImage image;
    std::string error; // empty on success
    [[nodiscard]] bool ok() const { return error.empty(); }
};

/// A comment segment holds at most this many bytes.
inline constexpr std::size_t kMaxJpegCommentBytes = 65533;

/// Writes a 24-bit baseline JPEG at quality 100, libjpeg's defaults otherwise. Writes to a
/// temporary file beside the target and renames it, so a failure leaves no half-written file.
/// A non-empty `record` (see FormatPictureRecord) goes into a comment segment right after the
/// frame header; the pixels are the same with or without it.
[[nodiscard]] JpegResult WriteJpeg(const std::string& path, const RgbImage& image,
                                   std::string_view record = {});

/// Encodes a picture row by row into an open file, for pictures too large to hold whole. The
/// settings are those of WriteJpeg, so both give the same bytes for the same rows.
class JpegStreamWriter {
public:
    JpegStreamWriter();
    ~JpegStreamWriter();
    JpegStreamWriter(const JpegStreamWriter&) = delete;
    JpegStreamWriter& operator=(const JpegStreamWriter&) = delete;

    /// Writes the headers and the record (when not empty). False with a reason on failure; the
    /// writer is then unusable.
    bool start(std::FILE* file, int width, int height, std::string_view record, std::string& error);
    /// `count` rows of width * 3 bytes each, top to bottom.
    bool writeRows(const std::uint8_t* rows, int count, std::string& error);
    /// After the last row: writes the end of the picture. The file stays open.
    bool finish(std::string& error);

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

/// What ReadJpegRecord found: `error` when the file cannot be read as JPEG at all; otherwise
/// `text` holds the record's text when the file carries one (possibly damaged or of a newer
/// version: ParsePictureRecord decides).
struct JpegRecordText {
    std::optional<std::string> text;
    std::string error;
    [[nodiscard]] bool ok() const { return error.empty(); }
};

/// Reads the headers of a JPEG file up to its frame header, without decoding any pixel, and
/// gives the first comment that starts like a picture record.
[[nodiscard]] JpegRecordText ReadJpegRecord(const std::string& path);

/// The parsed record of a JPEG file; nothing when the file cannot be read, has no record or
/// its record is damaged or newer. For the windows, which ignore every such case.
[[nodiscard]] std::optional<PictureRecord> ReadPictureRecord(const std::string& path);

/// Reads a JPEG file into a 24-bit picture (grey-scale becomes RGB). Any damage, a truncated
/// file included, is a failure.
[[nodiscard]] JpegReadResult ReadJpeg(const std::string& path);

} // namespace common
