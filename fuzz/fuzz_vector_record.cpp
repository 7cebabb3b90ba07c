// The record readers of the vector drawings (fractal-render's --from of an SVG or PDF file):
// the drawing may come from anywhere, damaged, cut short or made to mislead. One input is read
// as both kinds, so each reader also meets the other's files.
#include <cstdint>
#include <optional>
#include <string>

#include "fuzz_support.h"
#include "picture_record.h"
#include "vector_record.h"

namespace {

// Written against a result like ReadPngRecord's: the record's text if any, and an error.
template <typename Read> void Check(const Read& read) {
    if (!read.error.empty()) {
        // A refused file gives no half-read record.
        FUZZ_CHECK(!read.text.has_value());
        return;
    }
    if (read.text) {
        // Whatever reads as a record must also survive being written again.
        if (const auto record = common::ParsePictureRecord(*read.text)) {
            FUZZ_CHECK(common::ParsePictureRecord(common::FormatPictureRecord(*record)).has_value());
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::string svg = fuzz_support::PrivateFolder() + "/input.svg";
    static const std::string pdf = fuzz_support::PrivateFolder() + "/input.pdf";
    fuzz_support::WriteWholeFile(svg, data, size);
    fuzz_support::WriteWholeFile(pdf, data, size);
    Check(render::ReadSvgRecord(svg));
    Check(render::ReadPdfRecord(pdf));
    return 0;
}
