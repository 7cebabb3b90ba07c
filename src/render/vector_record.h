#pragma once

#include <optional>
#include <string>

namespace render {

/// The record text of an SVG or PDF drawing, as the vector writers store it; `error` when the
/// file cannot be read or is damaged where the record should be. No record and no error: the
/// file holds none.
struct VectorRecordText {
    std::optional<std::string> text;
    std::string error;
    [[nodiscard]] bool ok() const { return error.empty(); }
};

/// The text of the element <metadata id="fractals-picture-record"> with its character and
/// entity references resolved. The element must start within the first MiB of the file; the
/// file is read as a stream up to its end, and no more than the record is held.
[[nodiscard]] VectorRecordText ReadSvgRecord(const std::string& path);

/// The string /FractalsPictureRecord of the PDF's information dictionary, found through the
/// trailer at the file's end and the cross-reference table (following earlier updates' tables),
/// with its escapes resolved. A file whose table is a compressed stream holds no record for
/// this reader.
[[nodiscard]] VectorRecordText ReadPdfRecord(const std::string& path);

} // namespace render
