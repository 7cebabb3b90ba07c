#pragma once

#include <QImage>

#include "rgb_image.h"

namespace platform {

/// A deep copy as QImage::Format_RGB888; a null image for an empty picture.
[[nodiscard]] QImage toQImage(const common::RgbImage& image);
/// Any format, converted to 24-bit RGB first; an empty picture for a null image.
[[nodiscard]] common::RgbImage fromQImage(const QImage& image);

} // namespace platform
