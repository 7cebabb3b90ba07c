#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <variant>

#include "outcome.h"
#include "picture_record.h"

namespace render {

enum class PictureKind { Jpeg, Png, Svg, Pdf, Other };

/// What a file's first bytes say it is: an SVG file starts with markup (after a byte order
/// mark or blanks) and names an svg element within its first KiB.
[[nodiscard]] PictureKind SniffPicture(std::string_view head);

/// The record of a stored picture or drawing (JPEG, PNG, SVG or PDF), or why there is none. A
/// folder, a pipe or a device is named as such without being read.
[[nodiscard]] Outcome ReadStoredRecord(const std::string& path, std::optional<common::PictureRecord>& record);

/// The record of a stored picture of the set explorer's kinds (plain or deep), for `set`: an
/// L-system drawing is refused with a message. An empty path reads nothing.
[[nodiscard]] Outcome ReadStoredSetRecord(const std::string& path,
                                          std::optional<common::PictureRecord>& record);

/// The record of `--from` when it is of the kind the command draws; `wrongKind` names the
/// other kind's picture in the message. An empty path reads nothing.
template <typename Kind>
[[nodiscard]] Outcome ReadStoredRecordOf(const std::string& path, const std::string& wrongKind,
                                         std::optional<Kind>& out) {
    if (path.empty()) {
        return {};
    }
    std::optional<common::PictureRecord> record;
    if (Outcome read = ReadStoredRecord(path, record); !read.ok()) {
        return read;
    }
    const auto* wanted = std::get_if<Kind>(&*record);
    if (wanted == nullptr) {
        return Failure(path + " is " + wrongKind);
    }
    out = *wanted;
    return {};
}

} // namespace render
