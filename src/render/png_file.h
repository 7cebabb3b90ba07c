#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace render {

/// The keyword of the text chunk that holds the picture record.
inline constexpr char kPngRecordKeyword[] = "fractals-picture-record";

/// Encodes a 24-bit RGB PNG row by row into an open file; the record, when not empty, goes
/// into an uncompressed iTXt chunk before the pixels, where a reader finds it without them.
class PngStreamWriter {
public:
    PngStreamWriter();
    ~PngStreamWriter();
    PngStreamWriter(const PngStreamWriter&) = delete;
    PngStreamWriter& operator=(const PngStreamWriter&) = delete;

    /// A further uncompressed text chunk beside the record, such as a tile's place; before start().
    void addText(std::string keyword, std::string text);
    bool start(std::FILE* file, int width, int height, std::string_view record, std::string& error);
    /// `count` rows of width * 3 bytes each, top to bottom.
    bool writeRows(const std::uint8_t* rows, int count, std::string& error);
    bool finish(std::string& error);

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

/// Decodes a 24-bit RGB PNG (as PngStreamWriter writes it) row by row, so that a picture of
/// any height passes through a buffer of a few rows. Its text chunks before the pixels are at
/// hand once it is open.
class PngRowReader {
public:
    PngRowReader();
    ~PngRowReader();
    PngRowReader(const PngRowReader&) = delete;
    PngRowReader& operator=(const PngRowReader&) = delete;

    /// Reads up to the pixels; false with the reason when the file is no 8-bit RGB PNG without
    /// interlacing.
    bool open(const std::string& path, std::string& error);
    [[nodiscard]] int width() const;
    [[nodiscard]] int height() const;
    /// The text of the chunk with this keyword, if the file has one before its pixels.
    [[nodiscard]] std::optional<std::string> text(std::string_view keyword) const;
    /// The next `count` rows, width * 3 bytes each.
    bool readRows(std::uint8_t* rows, int count, std::string& error);
    /// Reads the rest of the file after the last row, so that damage there is found too.
    bool finish(std::string& error);

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

/// The record text of a PNG file, read up to its first pixel data; `error` when the file
/// cannot be read as PNG.
struct PngRecordText {
    std::optional<std::string> text;
    std::string error;
    [[nodiscard]] bool ok() const { return error.empty(); }
};
[[nodiscard]] PngRecordText ReadPngRecord(const std::string& path);

/// A whole PNG file decoded to RGB, for the tests and small pictures.
struct PngPicture {
    int width = 0;
    int height = 0;
    std::string pixels; // width * height * 3 bytes
    std::string error;
};
[[nodiscard]] PngPicture ReadPng(const std::string& path);

} // namespace render
