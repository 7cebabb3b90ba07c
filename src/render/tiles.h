#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace render {

/// The keyword of the PNG text chunk that says where a tile lies in its picture.
inline constexpr char kPngTileKeyword[] = "fractals-tile";

/// One horizontal band of a picture, rendered into a file of its own so that several processes
/// or machines can share a picture, and put together again by `assemble`. Tiles are numbered
/// from 1 to `count`, top to bottom, and are made of whole strips of the renderer (StripRows of
/// the picture's width), so every tile's pixels are those the whole picture has there.
struct TilePlace {
    int width = 0; // the whole picture's, pixels
    int height = 0;
    int index = 0; // 1 .. count
    int count = 0;
    int firstRow = 0; // of the whole picture
    int rows = 0;

    friend bool operator==(const TilePlace&, const TilePlace&) = default;
};

/// "I/N", both whole numbers with 1 <= I <= N; nothing for anything else.
struct TileNumber {
    int index = 0;
    int count = 0;
};
[[nodiscard]] std::optional<TileNumber> ParseTileNumber(std::string_view text);

/// Tile `index` of `count` of a width x height picture: the strips are shared out as evenly as
/// whole strips allow, the first tiles taking none more than the last. `error` says why not
/// when the picture has fewer strips than tiles.
[[nodiscard]] std::optional<TilePlace> PlaceTile(int width, int height, TileNumber number,
                                                 std::string& error);

/// The text of a tile's chunk, plain ASCII lines:
///
///     fractals-tile
///     version 1
///     picture 800x600
///     tile 2/3
///     rows 256 128        (first row, number of rows)
[[nodiscard]] std::string FormatTilePlace(const TilePlace& place);

/// Reads that text; nothing when it is damaged, of a newer version or does not describe a
/// band inside its picture.
[[nodiscard]] std::optional<TilePlace> ParseTilePlace(std::string_view text);

} // namespace render
