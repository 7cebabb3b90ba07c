#include "picture_record.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>
#include <map>
#include <system_error>
#include <vector>

namespace common {

namespace {

constexpr int kMaxSide = 1 << 30;

void AppendDouble(std::string& out, double v) {
    // Shortest text that reads back to the same double, independent of the locale.
    char buffer[64];
    const auto [ptr, ec] = std::to_chars(buffer, buffer + sizeof buffer, v);
    out.append(buffer, ec == std::errc{} ? ptr : buffer);
}

void AppendLine(std::string& out, std::string_view key, std::initializer_list<double> values) {
    out += key;
    for (const double v : values) {
        out += ' ';
        AppendDouble(out, v);
    }
    out += '\n';
}

void AppendInts(std::string& out, std::string_view key, std::initializer_list<int> values) {
    out += key;
    for (const int v : values) {
        out += ' ';
        out += std::to_string(v);
    }
    out += '\n';
}

std::string Escape(std::string_view text) {
    std::string out;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte >= 0x7F || c == '\\') {
            char hex[5];
            std::snprintf(hex, sizeof hex, "\\x%02X", byte);
            out += hex;
        } else {
            out += c;
        }
    }
    return out;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    return -1;
}

std::optional<std::string> Unescape(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\') {
            out += text[i];
            continue;
        }
        if (i + 3 >= text.size() || text[i + 1] != 'x') {
            return std::nullopt;
        }
        const int high = HexDigit(text[i + 2]);
        const int low = HexDigit(text[i + 3]);
        if (high < 0 || low < 0) {
            return std::nullopt;
        }
        out += static_cast<char>(high * 16 + low);
        i += 3;
    }
    return out;
}

std::vector<std::string_view> Words(std::string_view text) {
    std::vector<std::string_view> words;
    std::size_t i = 0;
    while (i < text.size()) {
        if (text[i] == ' ') {
            ++i;
            continue;
        }
        const std::size_t end = std::min(text.find(' ', i), text.size());
        words.push_back(text.substr(i, end - i));
        i = end;
    }
    return words;
}

/// A whole word as a number of type T; anything left over fails.
template <typename T> std::optional<T> ReadWhole(std::string_view word) {
    T v{};
    const char* last = word.data() + word.size();
    const auto [ptr, ec] = std::from_chars(word.data(), last, v);
    if (ec != std::errc{} || ptr != last || word.empty()) {
        return std::nullopt;
    }
    return v;
}

std::optional<double> ReadDouble(std::string_view word) {
    return ReadWhole<double>(word);
}

std::optional<int> ReadInt(std::string_view word) {
    return ReadWhole<int>(word);
}

/// The record's lines after the version line, each key once.
using Fields = std::map<std::string, std::string, std::less<>>;

/// The N words of `key`, each read by `parse` (which gives std::optional<T>).
template <std::size_t N, typename T, typename Parse>
bool ReadWords(const Fields& fields, std::string_view key, std::array<T*, N> out, Parse parse) {
    const auto it = fields.find(key);
    if (it == fields.end()) {
        return false;
    }
    const std::vector<std::string_view> words = Words(it->second);
    if (words.size() != N) {
        return false;
    }
    for (std::size_t i = 0; i < N; ++i) {
        std::optional<T> v = parse(words[i]);
        if (!v) {
            return false;
        }
        *out[i] = std::move(*v);
    }
    return true;
}

template <std::size_t N>
bool ReadDoubles(const Fields& fields, std::string_view key, std::array<double*, N> out) {
    return ReadWords<N>(fields, key, out, ReadDouble);
}

template <std::size_t N>
bool ReadInts(const Fields& fields, std::string_view key, std::array<int*, N> out, int low, int high) {
    const auto it = fields.find(key);
    if (it == fields.end()) {
        return false;
    }
    const std::vector<std::string_view> words = Words(it->second);
    if (words.size() != N) {
        return false;
    }
    for (std::size_t i = 0; i < N; ++i) {
        const std::optional<int> v = ReadInt(words[i]);
        if (!v || *v < low || *v > high) {
            return false;
        }
        *out[i] = *v;
    }
    return true;
}

bool ReadMixing(const Fields& fields, bool& additive) {
    const auto mixing = fields.find("mixing");
    if (mixing == fields.end() || (mixing->second != "additive" && mixing->second != "subtractive")) {
        return false;
    }
    additive = mixing->second == "additive";
    return true;
}

std::optional<SetRecord> ReadSet(const Fields& fields, bool julia) {
    SetRecord r;
    r.julia = julia;
    if (!ReadMixing(fields, r.additive)) {
        return std::nullopt;
    }
    // The colour fields keep whatever int the explorer held: its colour arithmetic wraps.
    constexpr int kIntMin = std::numeric_limits<int>::min();
    constexpr int kIntMax = std::numeric_limits<int>::max();
    if (!ReadDoubles<4>(fields, "view", {&r.reMin, &r.reMax, &r.imMin, &r.imMax}) ||
        !ReadDoubles<2>(fields, "julia", {&r.juliaRe, &r.juliaIm}) ||
        !ReadInts<3>(fields, "border", {&r.border[0], &r.border[1], &r.border[2]}, kIntMin, kIntMax) ||
        !ReadInts<3>(fields, "main", {&r.main[0], &r.main[1], &r.main[2]}, kIntMin, kIntMax) ||
        !ReadInts<2>(fields, "size", {&r.width, &r.height}, 1, kMaxSide) || !IsDrawable(r)) {
        return std::nullopt;
    }
    return r;
}

template <std::size_t N>
bool ReadDecimals(const Fields& fields, std::string_view key, std::array<ExactDecimal*, N> out) {
    return ReadWords<N>(fields, key, out, ParseExactDecimal);
}

std::optional<DeepSetRecord> ReadDeepSet(const Fields& fields, bool julia) {
    DeepSetRecord r;
    r.julia = julia;
    constexpr int kIntMin = std::numeric_limits<int>::min();
    constexpr int kIntMax = std::numeric_limits<int>::max();
    const auto iterations = fields.find("iterations");
    if (iterations == fields.end()) {
        return std::nullopt;
    }
    const std::optional<std::int64_t> n = ReadWhole<std::int64_t>(iterations->second);
    if (!n || *n < 1 || *n > kMaxDeepIterations) {
        return std::nullopt;
    }
    r.iterations = *n;
    if (!ReadMixing(fields, r.additive) || !ReadDecimals<2>(fields, "centre", {&r.re, &r.im}) ||
        !ReadDecimals<1>(fields, "radius", {&r.radius}) ||
        !ReadDecimals<2>(fields, "julia", {&r.juliaRe, &r.juliaIm}) ||
        !ReadInts<3>(fields, "border", {&r.border[0], &r.border[1], &r.border[2]}, kIntMin, kIntMax) ||
        !ReadInts<3>(fields, "main", {&r.main[0], &r.main[1], &r.main[2]}, kIntMin, kIntMax) ||
        !ReadInts<2>(fields, "size", {&r.width, &r.height}, 1, kMaxSide) || r.radius.negative ||
        r.radius.digits == "0") {
        return std::nullopt;
    }
    return r;
}

std::optional<LsystemRecord> ReadLsystem(const Fields& fields) {
    LsystemRecord r;
    for (std::size_t i = 0; i < r.lines.size(); ++i) {
        const auto it = fields.find("line" + std::to_string(i + 1));
        if (it == fields.end()) {
            return std::nullopt;
        }
        std::optional<std::string> line = Unescape(it->second);
        if (!line) {
            return std::nullopt;
        }
        r.lines[i] = std::move(*line);
    }
    if (!ReadInts<2>(fields, "size", {&r.width, &r.height}, 1, kMaxSide)) {
        return std::nullopt;
    }
    // Optional, as older records lack it; a value other than the two is damage.
    if (const auto background = fields.find("background"); background != fields.end()) {
        if (background->second == "black") {
            r.background = LsystemBackground::Black;
        } else if (background->second != "white") {
            return std::nullopt;
        }
    }
    return r;
}

} // namespace

bool IsDrawable(const SetRecord& r) {
    // A flat or overflowing view would map every pixel to one point or to nothing: the
    // picture drawn from it would be one colour whatever the set looks like.
    const double reExtent = r.reMax - r.reMin;
    const double imExtent = r.imMax - r.imMin;
    return std::isfinite(reExtent) && std::isfinite(imExtent) && reExtent != 0.0 && imExtent != 0.0 &&
           std::isfinite(r.juliaRe) && std::isfinite(r.juliaIm);
}

bool LooksLikePictureRecord(std::string_view bytes) {
    return bytes.starts_with(kRecordIdentifier) &&
           (bytes.size() == kRecordIdentifier.size() || bytes[kRecordIdentifier.size()] == '\n');
}

std::string FormatPictureRecord(const PictureRecord& record) {
    std::string out(kRecordIdentifier);
    out += '\n';
    const auto* deepSet = std::get_if<DeepSetRecord>(&record);
    // Version 1 stays for what it can hold, so older readers keep reading those pictures.
    AppendInts(out, "version", {deepSet != nullptr ? kRecordVersion : kFirstRecordVersion});
    if (deepSet != nullptr) {
        out += deepSet->julia ? "kind julia\n" : "kind mandelbrot\n";
        out += "centre " + FormatExactDecimal(deepSet->re) + ' ' + FormatExactDecimal(deepSet->im) + '\n';
        out += "radius " + FormatExactDecimal(deepSet->radius) + '\n';
        out += "iterations " + std::to_string(deepSet->iterations) + '\n';
        out += "julia " + FormatExactDecimal(deepSet->juliaRe) + ' ' + FormatExactDecimal(deepSet->juliaIm) +
               '\n';
        AppendInts(out, "border", {deepSet->border[0], deepSet->border[1], deepSet->border[2]});
        AppendInts(out, "main", {deepSet->main[0], deepSet->main[1], deepSet->main[2]});
        out += deepSet->additive ? "mixing additive\n" : "mixing subtractive\n";
        AppendInts(out, "size", {deepSet->width, deepSet->height});
    } else if (const auto* set = std::get_if<SetRecord>(&record)) {
        out += set->julia ? "kind julia\n" : "kind mandelbrot\n";
        AppendLine(out, "view", {set->reMin, set->reMax, set->imMin, set->imMax});
        AppendLine(out, "julia", {set->juliaRe, set->juliaIm});
        AppendInts(out, "border", {set->border[0], set->border[1], set->border[2]});
        AppendInts(out, "main", {set->main[0], set->main[1], set->main[2]});
        out += set->additive ? "mixing additive\n" : "mixing subtractive\n";
        AppendInts(out, "size", {set->width, set->height});
    } else {
        const auto& lsystem = std::get<LsystemRecord>(record);
        out += "kind lsystem\n";
        for (std::size_t i = 0; i < lsystem.lines.size(); ++i) {
            out += "line" + std::to_string(i + 1) + ' ' + Escape(lsystem.lines[i]) + '\n';
        }
        AppendInts(out, "size", {lsystem.width, lsystem.height});
        out += lsystem.background == LsystemBackground::Black ? "background black\n" : "background white\n";
    }
    return out;
}

std::optional<PictureRecord> ParsePictureRecord(std::string_view text) {
    if (!LooksLikePictureRecord(text)) {
        return std::nullopt;
    }
    text.remove_prefix(std::min(text.size(), kRecordIdentifier.size() + 1));
    std::optional<int> version;
    Fields fields;
    while (!text.empty()) {
        const std::size_t end = std::min(text.find('\n'), text.size());
        const std::string_view line = text.substr(0, end);
        text.remove_prefix(std::min(text.size(), end + 1));
        if (line.empty()) {
            continue;
        }
        const std::size_t space = line.find(' ');
        const std::string_view key = line.substr(0, space);
        const std::string_view value =
            space == std::string_view::npos ? std::string_view{} : line.substr(space + 1);
        if (!version) {
            // The version comes first: until it is known, no other line can be understood.
            if (key != "version") {
                return std::nullopt;
            }
            version = ReadInt(value);
            if (!version || *version < 1 || *version > kRecordVersion) {
                return std::nullopt;
            }
            continue;
        }
        if (!fields.emplace(std::string(key), std::string(value)).second) {
            return std::nullopt; // two values for one key: which one was meant?
        }
    }
    const auto kind = fields.find("kind");
    if (!version || kind == fields.end()) {
        return std::nullopt;
    }
    if ((kind->second == "mandelbrot" || kind->second == "julia") && fields.contains("centre")) {
        // A deep view came with version 2; a version 1 record with a centre is damaged.
        if (*version < 2) {
            return std::nullopt;
        }
        if (std::optional<DeepSetRecord> set = ReadDeepSet(fields, kind->second == "julia")) {
            return *set;
        }
        return std::nullopt;
    }
    if (kind->second == "mandelbrot" || kind->second == "julia") {
        if (std::optional<SetRecord> set = ReadSet(fields, kind->second == "julia")) {
            return *set;
        }
        return std::nullopt;
    }
    if (kind->second == "lsystem") {
        if (std::optional<LsystemRecord> lsystem = ReadLsystem(fields)) {
            return *lsystem;
        }
    }
    return std::nullopt;
}

} // namespace common
