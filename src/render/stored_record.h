#pragma once

#include <optional>
#include <string>
#include <variant>

#include "outcome.h"
#include "picture_record.h"

namespace render {

enum class PictureKind { Jpeg, Png, Other };

/// What the file's first bytes say it is.
[[nodiscard]] PictureKind SniffPicture(const std::string& path);

/// The record of a stored picture, or why there is none.
[[nodiscard]] Outcome ReadStoredRecord(const std::string& path, std::optional<common::PictureRecord>& record);

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
