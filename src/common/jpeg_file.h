#pragma once

#include <string>

#include "rgb_image.h"

namespace common {

/// Largest picture the reader accepts; a larger one is refused right after the header,
/// before anything is allocated for it.
inline constexpr int kMaxJpegSide = 16384;
inline constexpr long long kMaxJpegPixels = 50'000'000;

struct JpegResult {
    bool ok = false;
    std::string error; // the library's message or the system's, when !ok
};

struct JpegReadResult {
    RgbImage image;
    std::string error; // empty on success
    [[nodiscard]] bool ok() const { return error.empty(); }
};

/// Writes a 24-bit baseline JPEG at quality 100, libjpeg's defaults otherwise. Writes to a
/// temporary file beside the target and renames it, so a failure leaves no half-written file.
[[nodiscard]] JpegResult WriteJpeg(const std::string& path, const RgbImage& image);

/// Reads a JPEG file into a 24-bit picture (grey-scale becomes RGB). Any damage, a truncated
/// file included, is a failure.
[[nodiscard]] JpegReadResult ReadJpeg(const std::string& path);

} // namespace common
