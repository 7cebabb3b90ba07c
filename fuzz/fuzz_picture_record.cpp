// The parameter record inside a picture file: the file may come from anywhere, and its record
// from a hand edit, another version of the programs or a damaged copy.
#include <bit>
#include <cmath>
#include <cstdint>
#include <optional>
#include <string>
#include <variant>

#include "fuzz_support.h"
#include "picture_record.h"

namespace {

// Numbers go through text and back, so "the same" is bit for bit; a NaN only has to stay a NaN
// of the same sign, since its payload has no text.
bool SameNumber(double a, double b) {
    if (std::isnan(a) || std::isnan(b)) {
        return std::isnan(a) && std::isnan(b) && std::signbit(a) == std::signbit(b);
    }
    return std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b);
}

bool SameRecord(const common::PictureRecord& a, const common::PictureRecord& b) {
    if (a.index() != b.index()) {
        return false;
    }
    if (const auto* x = std::get_if<common::SetRecord>(&a)) {
        const auto& y = std::get<common::SetRecord>(b);
        return x->julia == y.julia && SameNumber(x->reMin, y.reMin) && SameNumber(x->reMax, y.reMax) &&
               SameNumber(x->imMin, y.imMin) && SameNumber(x->imMax, y.imMax) &&
               SameNumber(x->juliaRe, y.juliaRe) && SameNumber(x->juliaIm, y.juliaIm) &&
               x->border == y.border && x->main == y.main && x->additive == y.additive &&
               x->width == y.width && x->height == y.height;
    }
    const auto& x = std::get<common::LsystemRecord>(a);
    const auto& y = std::get<common::LsystemRecord>(b);
    return x.lines == y.lines && x.width == y.width && x.height == y.height;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text = fuzz_support::AsText(data, size);
    const std::optional<common::PictureRecord> record = common::ParsePictureRecord(text);
    if (!record) {
        return 0;
    }
    // Only a text that starts like a record can be one.
    FUZZ_CHECK(common::LooksLikePictureRecord(text));

    // What was accepted has a size a picture can have.
    const auto [width, height] = std::visit(
        [](const auto& r) {
            return std::pair{r.width, r.height};
        },
        *record);
    FUZZ_CHECK(width >= 1 && height >= 1);

    // A record written again reads back as the same record, and its text stays the same from
    // then on: the programs store what they read without drifting.
    const std::string written = common::FormatPictureRecord(*record);
    FUZZ_CHECK(common::LooksLikePictureRecord(written));
    const std::optional<common::PictureRecord> again = common::ParsePictureRecord(written);
    if (!again) {
        std::fprintf(stderr, "the record written does not read back:\n%s", written.c_str());
    }
    FUZZ_CHECK(again.has_value());
    FUZZ_CHECK(SameRecord(*record, *again));
    FUZZ_CHECK(common::FormatPictureRecord(*again) == written);

    // The written text is plain ASCII lines, whatever bytes the formula lines hold.
    for (const char c : written) {
        const auto byte = static_cast<unsigned char>(c);
        FUZZ_CHECK(c == '\n' || (byte >= 0x20 && byte < 0x7F));
    }
    return 0;
}
