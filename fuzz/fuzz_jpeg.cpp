// The JPEG readers: pictures come from anywhere, damaged, cut short or made to mislead.
#include <cstdint>
#include <string>

#include "fuzz_support.h"
#include "jpeg_file.h"
#include "picture_record.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::string input = fuzz_support::PrivateFolder() + "/input.jpg";
    static const std::string copy = fuzz_support::PrivateFolder() + "/copy.jpg";
    fuzz_support::WriteWholeFile(input, data, size);

    // The record reader (fractal-render's --from) stops at the frame header; a record it finds is
    // a comment of the file as it stands.
    const common::JpegRecordText record = common::ReadJpegRecord(input);
    if (!record.ok()) {
        FUZZ_CHECK(!record.text.has_value());
    } else if (record.text) {
        FUZZ_CHECK(common::LooksLikePictureRecord(*record.text));
        FUZZ_CHECK(fuzz_support::AsText(data, size).find(*record.text) != std::string_view::npos);
    }

    const common::JpegReadResult read = common::ReadJpeg(input);
    if (!read.ok()) {
        // A refused picture leaves nothing half-filled behind for the caller to show.
        FUZZ_CHECK(read.image.empty());
        FUZZ_CHECK(read.image.pixels.empty());
        return 0;
    }
    const common::RgbImage& image = read.image;
    FUZZ_CHECK(!image.empty());
    FUZZ_CHECK(image.width <= common::kMaxJpegSide && image.height <= common::kMaxJpegSide);
    FUZZ_CHECK(static_cast<long long>(image.width) * image.height <= common::kMaxJpegPixels);
    FUZZ_CHECK(image.pixels.size() == image.rowBytes() * static_cast<std::size_t>(image.height));

    // Whatever could be shown can be saved, and the saved file reads back at the same size.
    const common::JpegResult written = common::WriteJpeg(copy, image);
    if (!written.ok) {
        std::fprintf(stderr, "WriteJpeg: %s\n", written.error.c_str());
    }
    FUZZ_CHECK(written.ok);
    const common::JpegReadResult again = common::ReadJpeg(copy);
    if (!again.ok()) {
        std::fprintf(stderr, "ReadJpeg of the copy: %s\n", again.error.c_str());
    }
    FUZZ_CHECK(again.ok());
    FUZZ_CHECK(again.image.width == image.width && again.image.height == image.height);
    return 0;
}
