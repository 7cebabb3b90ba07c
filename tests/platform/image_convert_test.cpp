#include <cstdint>

#include <QColor>
#include <QImage>

#include <gtest/gtest.h>

#include "image_convert.h"
#include "rgb_image.h"

namespace {

common::Colour patternColour(int x, int y) {
    return {static_cast<std::uint8_t>(x * 7 + y), static_cast<std::uint8_t>(x ^ (y * 3)),
            static_cast<std::uint8_t>(255 - x - y * 5)};
}

common::RgbImage patternImage(int w, int h) {
    common::RgbImage image(w, h);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            image.set(x, y, patternColour(x, y));
        }
    }
    return image;
}

TEST(ImageConvert, OddWidthRoundTripIsExact) {
    // 601 pixels of three bytes leave a row length QImage pads to four bytes.
    const common::RgbImage original = patternImage(601, 37);
    const QImage converted = platform::toQImage(original);
    ASSERT_EQ(converted.format(), QImage::Format_RGB888);
    ASSERT_EQ(converted.size(), QSize(601, 37));
    EXPECT_EQ(converted.pixelColor(600, 36),
              QColor(original.at(600, 36).r, original.at(600, 36).g, original.at(600, 36).b));
    EXPECT_EQ(converted.pixelColor(0, 20),
              QColor(original.at(0, 20).r, original.at(0, 20).g, original.at(0, 20).b));

    const common::RgbImage back = platform::fromQImage(converted);
    EXPECT_EQ(back.width, original.width);
    EXPECT_EQ(back.height, original.height);
    EXPECT_EQ(back.pixels, original.pixels);
}

TEST(ImageConvert, EmptyPictureAndNullImage) {
    EXPECT_TRUE(platform::toQImage(common::RgbImage()).isNull());
    const common::RgbImage fromNull = platform::fromQImage(QImage());
    EXPECT_TRUE(fromNull.empty());
    EXPECT_TRUE(fromNull.pixels.empty());
}

class FromQImageFormat : public ::testing::TestWithParam<QImage::Format> {};

TEST_P(FromQImageFormat, ReadsEveryPixel) {
    const int w = 13;
    const int h = 5;
    QImage source(w, h, GetParam());
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const common::Colour c = patternColour(x, y);
            source.setPixelColor(x, y, QColor(c.r, c.g, c.b));
        }
    }
    const common::RgbImage image = platform::fromQImage(source);
    ASSERT_EQ(image.width, w);
    ASSERT_EQ(image.height, h);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            ASSERT_EQ(image.at(x, y), patternColour(x, y)) << "at " << x << "," << y;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Formats, FromQImageFormat,
                         ::testing::Values(QImage::Format_RGB32, QImage::Format_ARGB32,
                                           QImage::Format_ARGB32_Premultiplied, QImage::Format_RGB888,
                                           QImage::Format_BGR888, QImage::Format_RGBX8888),
                         [](const ::testing::TestParamInfo<QImage::Format>& info) {
                             switch (info.param) {
                             case QImage::Format_RGB32:
                                 return std::string("rgb32");
                             case QImage::Format_ARGB32:
                                 return std::string("argb32");
                             case QImage::Format_ARGB32_Premultiplied:
                                 return std::string("argb32_premultiplied");
                             case QImage::Format_RGB888:
                                 return std::string("rgb888");
                             case QImage::Format_BGR888:
                                 return std::string("bgr888");
                             default:
                                 return std::string("rgbx8888");
                             }
                         });

} // namespace
