#include "tiles.h"

#include <charconv>
#include <cstdint>
#include <vector>

#include "strip_render.h"

namespace render {

namespace {

constexpr std::string_view kTileIdentifier = "fractals-tile";
constexpr int kTileVersion = 1;

/// A whole number of digits only, 0 to 2^31 - 1.
std::optional<int> ParseWhole(std::string_view text) {
    int value = 0;
    if (text.empty() || text.front() == '-' || text.front() == '+') {
        return std::nullopt;
    }
    const auto [end, fault] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (fault != std::errc() || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

std::optional<std::pair<int, int>> ParsePair(std::string_view text, char separator) {
    const std::size_t at = text.find(separator);
    if (at == std::string_view::npos) {
        return std::nullopt;
    }
    const std::optional<int> first = ParseWhole(text.substr(0, at));
    const std::optional<int> second = ParseWhole(text.substr(at + 1));
    if (!first || !second) {
        return std::nullopt;
    }
    return std::pair{*first, *second};
}

std::vector<std::string_view> Lines(std::string_view text) {
    std::vector<std::string_view> lines;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        lines.push_back(text.substr(0, end));
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    }
    return lines;
}

} // namespace

std::optional<TileNumber> ParseTileNumber(std::string_view text) {
    const std::optional<std::pair<int, int>> pair = ParsePair(text, '/');
    if (!pair || pair->first < 1 || pair->second < 1 || pair->first > pair->second) {
        return std::nullopt;
    }
    return TileNumber{pair->first, pair->second};
}

std::optional<TilePlace> PlaceTile(int width, int height, TileNumber number, std::string& error) {
    const int stripRows = StripRows(width);
    const int strips = (height + stripRows - 1) / stripRows;
    if (number.count > strips) {
        error = "a picture of " + std::to_string(height) + " rows is rendered in " + std::to_string(strips) +
                (strips == 1 ? " strip" : " strips") + " of " + std::to_string(stripRows) +
                " rows and can be cut into at most " + std::to_string(strips) +
                (strips == 1 ? " tile" : " tiles") + ", not " + std::to_string(number.count);
        return std::nullopt;
    }
    // Tile k (from 0) takes the strips floor(k S / N) up to floor((k + 1) S / N).
    const auto stripAt = [&](int k) {
        return static_cast<int>(static_cast<std::int64_t>(k) * strips / number.count);
    };
    TilePlace place;
    place.width = width;
    place.height = height;
    place.index = number.index;
    place.count = number.count;
    place.firstRow = stripAt(number.index - 1) * stripRows;
    place.rows = std::min(height, stripAt(number.index) * stripRows) - place.firstRow;
    return place;
}

std::string FormatTilePlace(const TilePlace& place) {
    std::string text(kTileIdentifier);
    text += "\nversion " + std::to_string(kTileVersion);
    text += "\npicture " + std::to_string(place.width) + "x" + std::to_string(place.height);
    text += "\ntile " + std::to_string(place.index) + "/" + std::to_string(place.count);
    text += "\nrows " + std::to_string(place.firstRow) + " " + std::to_string(place.rows) + "\n";
    return text;
}

std::optional<TilePlace> ParseTilePlace(std::string_view text) {
    const std::vector<std::string_view> lines = Lines(text);
    if (lines.size() != 5 || lines[0] != kTileIdentifier) {
        return std::nullopt;
    }
    const auto value = [&](std::size_t line, std::string_view key) -> std::optional<std::string_view> {
        if (!lines[line].starts_with(key) || lines[line].size() <= key.size() ||
            lines[line][key.size()] != ' ') {
            return std::nullopt;
        }
        return lines[line].substr(key.size() + 1);
    };
    const std::optional<std::string_view> version = value(1, "version");
    const std::optional<std::string_view> picture = value(2, "picture");
    const std::optional<std::string_view> tile = value(3, "tile");
    const std::optional<std::string_view> rows = value(4, "rows");
    if (!version || !picture || !tile || !rows || ParseWhole(*version) != kTileVersion) {
        return std::nullopt;
    }
    const std::optional<std::pair<int, int>> size = ParsePair(*picture, 'x');
    const std::optional<TileNumber> number = ParseTileNumber(*tile);
    const std::optional<std::pair<int, int>> band = ParsePair(*rows, ' ');
    if (!size || !number || !band || size->first < 1 || size->second < 1 || band->second < 1 ||
        band->first > size->second - band->second) {
        return std::nullopt;
    }
    return TilePlace{size->first, size->second, number->index, number->count, band->first, band->second};
}

} // namespace render
