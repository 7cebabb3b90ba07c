#include "reference_file.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <optional>
#include <span>
#include <string_view>
#include <utility>
#include <vector>

#include <sys/stat.h>
#include <zlib.h>

#include "atomic_file.h"
#include "input_file.h"
#include "precision.h"
#include "set_options.h"

namespace render {

namespace {

constexpr std::string_view kIdentifier = "fractals-reference-orbit";
constexpr int kVersion = 1;
/// Two centre coordinates and a Julia constant of at most a million digits each, with room.
constexpr std::size_t kMaxHeaderBytes = std::size_t{8} << 20;
/// Points converted and checked at a time, so a long orbit needs no second copy in memory.
constexpr std::size_t kChunkPoints = 1 << 16;

/// The lines that say which view the orbits belong to, in the order the file holds them.
std::vector<std::pair<std::string, std::string>> ViewLines(const deep::DeepView& view) {
    std::vector<std::pair<std::string, std::string>> lines;
    lines.emplace_back("kind", view.julia ? "julia" : "mandelbrot");
    lines.emplace_back("centre",
                       common::FormatExactDecimal(view.re) + " " + common::FormatExactDecimal(view.im));
    lines.emplace_back("radius", common::FormatExactDecimal(view.radius));
    lines.emplace_back("iterations", std::to_string(view.iterations));
    if (view.julia) {
        lines.emplace_back("julia", common::FormatExactDecimal(view.juliaRe) + " " +
                                        common::FormatExactDecimal(view.juliaIm));
    }
    lines.emplace_back("precision",
                       std::to_string(deep::ViewPrecision(view.re, view.im, view.radius, view.height)));
    return lines;
}

/// The bytes of points as the file holds them: little-endian doubles, whatever the machine's order.
void PutPoints(std::span<const deep::OrbitPoint> points, std::vector<unsigned char>& bytes) {
    bytes.resize(points.size() * 16);
    unsigned char* out = bytes.data();
    for (const deep::OrbitPoint& z : points) {
        for (const double part : {z.re, z.im}) {
            auto bits = std::bit_cast<std::uint64_t>(part);
            for (int i = 0; i < 8; ++i) {
                *out++ = static_cast<unsigned char>(bits & 0xFF);
                bits >>= 8;
            }
        }
    }
}

void GetPoints(const unsigned char* bytes, std::size_t count, deep::OrbitPoint* points) {
    for (std::size_t k = 0; k < count; ++k) {
        std::array<double, 2> parts{};
        for (double& part : parts) {
            std::uint64_t bits = 0;
            for (int i = 7; i >= 0; --i) {
                bits = bits << 8 | bytes[i];
            }
            part = std::bit_cast<double>(bits);
            bytes += 8;
        }
        points[k] = {parts[0], parts[1]};
    }
}

/// Runs `each` over the orbits' file bytes a chunk at a time.
template <typename Each> bool ForEachChunk(const deep::DeepPicture& picture, Each each) {
    std::vector<unsigned char> bytes;
    for (const std::span<const deep::OrbitPoint> orbit : {picture.mainOrbit(), picture.rebaseOrbit()}) {
        for (std::size_t at = 0; at < orbit.size(); at += kChunkPoints) {
            PutPoints(orbit.subspan(at, std::min(kChunkPoints, orbit.size() - at)), bytes);
            if (!each(bytes)) {
                return false;
            }
        }
    }
    return true;
}

std::string Hex32(std::uint32_t value) {
    static const char kDigits[] = "0123456789abcdef";
    std::string text(8, '0');
    for (int i = 7; i >= 0; --i) {
        text[static_cast<std::size_t>(i)] = kDigits[value & 0xF];
        value >>= 4;
    }
    return text;
}

/// A long decimal cut for a message.
std::string Shown(const std::string& text) {
    return text.size() <= 60 ? text
                             : text.substr(0, 50) + "... (" + std::to_string(text.size()) + " characters)";
}

/// Reads one line without its newline; false at the end of the file or past `budget` bytes.
bool ReadLine(std::FILE* file, std::string& line, std::size_t& budget) {
    line.clear();
    for (;;) {
        const int c = std::getc(file);
        if (c == EOF || budget == 0) {
            return false;
        }
        --budget;
        if (c == '\n') {
            return true;
        }
        line += static_cast<char>(c);
    }
}

struct Header {
    std::vector<std::pair<std::string, std::string>> lines; // key, value, as read
    std::uint64_t mainPoints = 0;
    std::uint64_t rebasePoints = 0;
    std::uint32_t crc = 0;
};

std::optional<std::uint64_t> Whole(std::string_view text) {
    const std::optional<std::int64_t> n = ParseCount(text);
    if (text == "0") {
        return 0;
    }
    return n ? std::optional<std::uint64_t>(static_cast<std::uint64_t>(*n)) : std::nullopt;
}

/// The header up to its "data" line; an empty `error` and nothing for a file that is not a
/// reference file at all.
std::optional<Header> ReadHeader(std::FILE* file, std::string& error) {
    std::string line;
    std::size_t budget = kMaxHeaderBytes;
    if (!ReadLine(file, line, budget) || line != kIdentifier) {
        error = "it is not a reference orbit file of this program";
        return std::nullopt;
    }
    if (!ReadLine(file, line, budget) || line != "version " + std::to_string(kVersion)) {
        error = "it is damaged or of a newer version (" + Shown(line) + ")";
        return std::nullopt;
    }
    Header header;
    bool points = false;
    bool crc = false;
    while (ReadLine(file, line, budget)) {
        if (line == "data") {
            if (!points || !crc) {
                break;
            }
            return header;
        }
        const std::size_t space = line.find(' ');
        const std::string key = line.substr(0, space);
        const std::string value = space == std::string::npos ? std::string() : line.substr(space + 1);
        if (key == "points") {
            const std::size_t gap = value.find(' ');
            const std::optional<std::uint64_t> main = Whole(value.substr(0, gap));
            const std::optional<std::uint64_t> rebase =
                gap == std::string::npos ? std::nullopt : Whole(value.substr(gap + 1));
            if (!main || !rebase) {
                break;
            }
            header.mainPoints = *main;
            header.rebasePoints = *rebase;
            points = true;
        } else if (key == "crc32") {
            char* end = nullptr;
            const unsigned long value32 = std::strtoul(value.c_str(), &end, 16);
            if (value.size() != 8 || end != value.c_str() + 8) {
                break;
            }
            header.crc = static_cast<std::uint32_t>(value32);
            crc = true;
        } else {
            header.lines.emplace_back(key, value);
        }
    }
    error = "it is damaged (its header is incomplete)";
    return std::nullopt;
}

} // namespace

Outcome SaveReferenceFile(const std::string& path, const deep::DeepPicture& picture) {
    uLong crc = crc32(0L, Z_NULL, 0);
    ForEachChunk(picture, [&](const std::vector<unsigned char>& bytes) {
        crc = crc32(crc, bytes.data(), static_cast<uInt>(bytes.size()));
        return true;
    });
    std::string text(kIdentifier);
    text += "\nversion " + std::to_string(kVersion) + "\n";
    for (const auto& [key, value] : ViewLines(picture.view())) {
        text += key + " " + value + "\n";
    }
    text += "points " + std::to_string(picture.mainOrbit().size()) + " " +
            std::to_string(picture.rebaseOrbit().size()) + "\n";
    text += "crc32 " + Hex32(static_cast<std::uint32_t>(crc)) + "\ndata\n";

    common::AtomicFile output;
    std::string error;
    if (!output.open(path, error)) {
        return Failure("cannot write " + path + ": " + error);
    }
    bool written = std::fwrite(text.data(), 1, text.size(), output.file()) == text.size();
    written = written && ForEachChunk(picture, [&](const std::vector<unsigned char>& bytes) {
                  return std::fwrite(bytes.data(), 1, bytes.size(), output.file()) == bytes.size();
              });
    if (!written) {
        return Failure("cannot write " + path + ": " + std::strerror(errno));
    }
    if (!output.commit(error)) {
        return Failure("cannot write " + path + ": " + error);
    }
    return {};
}

Outcome LoadReferenceFile(const std::string& path, const deep::DeepView& view,
                          deep::ReferenceOrbits& orbits) {
    const std::string refused = "cannot use the reference orbit " + path + ": ";
    std::string error;
    std::FILE* file = OpenRegularFile(path, error);
    if (file == nullptr) {
        return Failure(refused + error);
    }
    struct Closer {
        std::FILE* file;
        ~Closer() { std::fclose(file); }
    } closer{file};

    const std::optional<Header> header = ReadHeader(file, error);
    if (!header) {
        return Failure(refused + error);
    }
    // The first line that differs says which view the file belongs to.
    const std::vector<std::pair<std::string, std::string>> wanted = ViewLines(view);
    for (std::size_t i = 0; i < std::max(wanted.size(), header->lines.size()); ++i) {
        if (i < wanted.size() && i < header->lines.size() && wanted[i] == header->lines[i]) {
            continue;
        }
        if (i < wanted.size() && i < header->lines.size() && wanted[i].first == header->lines[i].first) {
            const std::string& key = wanted[i].first;
            const bool precision = key == "precision";
            return Failure(
                refused + "it belongs to another view (its " + key + " is " + Shown(header->lines[i].second) +
                (precision ? " bits" : "") + ", this picture's is " + Shown(wanted[i].second) +
                (precision ? " bits, which follow the centre, the radius and the picture's height)" : ")"));
        }
        const std::string theirs = i < header->lines.size() ? header->lines[i].first : "nothing";
        const std::string ours = i < wanted.size() ? wanted[i].first : "nothing";
        if (theirs == "julia" || ours == "julia" || theirs == "kind") {
            return Failure(refused + "it belongs to another view (of another set or Julia constant)");
        }
        return Failure(refused + "it is damaged (" + ours + " expected, " + theirs + " found)");
    }

    const std::uint64_t limit = static_cast<std::uint64_t>(view.iterations) + 1;
    if (header->mainPoints == 0 || header->mainPoints > limit || header->rebasePoints > limit ||
        (header->rebasePoints == 0) == view.julia) {
        return Failure(refused + "it is damaged (its numbers of points do not fit the view)");
    }
    struct stat info {};
    const long dataStart = std::ftell(file);
    if (::fstat(::fileno(file), &info) != 0 || dataStart < 0 ||
        static_cast<std::uint64_t>(info.st_size) - static_cast<std::uint64_t>(dataStart) !=
            (header->mainPoints + header->rebasePoints) * 16) {
        return Failure(refused + "it is damaged (its size does not fit its number of points)");
    }

    uLong crc = crc32(0L, Z_NULL, 0);
    std::vector<unsigned char> bytes(kChunkPoints * 16);
    const auto readOrbit = [&](std::vector<deep::OrbitPoint>& orbit, std::uint64_t count) {
        orbit.resize(count);
        for (std::size_t at = 0; at < count; at += kChunkPoints) {
            const std::size_t n = std::min<std::size_t>(kChunkPoints, count - at);
            if (std::fread(bytes.data(), 16, n, file) != n) {
                return false;
            }
            crc = crc32(crc, bytes.data(), static_cast<uInt>(n * 16));
            GetPoints(bytes.data(), n, orbit.data() + at);
        }
        return true;
    };
    if (!readOrbit(orbits.main, header->mainPoints) || !readOrbit(orbits.rebase, header->rebasePoints)) {
        return Failure(refused + "it cannot be read" +
                       (std::ferror(file) != 0 ? std::string(": ") + std::strerror(errno) : std::string()));
    }
    if (static_cast<std::uint32_t>(crc) != header->crc) {
        return Failure(refused + "it is damaged (its numbers fail their checksum)");
    }
    return {};
}

} // namespace render
