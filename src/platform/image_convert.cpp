#include "image_convert.h"

#include <cstring>

namespace platform {

QImage toQImage(const common::RgbImage& image) {
    if (image.empty()) {
        return {};
    }
    QImage out(image.width, image.height, QImage::Format_RGB888);
    // QImage pads every row to four bytes, the picture does not: copy row by row.
    for (int y = 0; y < image.height; ++y) {
        const auto row = image.row(y);
        std::memcpy(out.scanLine(y), row.data(), row.size());
    }
    return out;
}

common::RgbImage fromQImage(const QImage& image) {
    if (image.isNull()) {
        return {};
    }
    const QImage rgb = image.convertToFormat(QImage::Format_RGB888);
    common::RgbImage out(rgb.width(), rgb.height());
    for (int y = 0; y < out.height; ++y) {
        auto row = out.row(y);
        std::memcpy(row.data(), rgb.constScanLine(y), row.size());
    }
    return out;
}

} // namespace platform
