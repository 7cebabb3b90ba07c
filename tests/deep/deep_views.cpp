#include "deep_views.h"

#include <gtest/gtest.h>

namespace deep_test {

deep::DeepView ToView(const DeepViewText& text) {
    deep::DeepView view;
    view.re = deep::ParseExactDecimal(text.centreRe).value();
    view.im = deep::ParseExactDecimal(text.centreIm).value();
    view.radius = deep::ParseExactDecimal(text.radius).value();
    view.iterations = text.maxIterations;
    view.width = static_cast<int>(text.width);
    view.height = static_cast<int>(text.height);
    view.julia = text.julia;
    if (text.julia) {
        view.juliaRe = deep::ParseExactDecimal(text.juliaRe).value();
        view.juliaIm = deep::ParseExactDecimal(text.juliaIm).value();
    }
    return view;
}

DeepViewText Mandelbrot(std::string re, std::string im, std::string radius, std::int64_t size,
                        std::int64_t iterations) {
    DeepViewText view;
    view.centreRe = std::move(re);
    view.centreIm = std::move(im);
    view.radius = std::move(radius);
    view.width = size;
    view.height = size;
    view.maxIterations = iterations;
    return view;
}

std::vector<std::uint32_t> DeepCounts(const deep::DeepView& view) {
    std::string error;
    auto picture = deep::DeepPicture::prepare(view, {}, error);
    EXPECT_TRUE(picture.has_value()) << error;
    std::vector<std::uint32_t> counts(static_cast<std::size_t>(view.width) *
                                      static_cast<std::size_t>(view.height));
    if (picture) {
        EXPECT_TRUE(picture->countRows(0, view.height, counts.data(), nullptr));
    }
    return counts;
}

} // namespace deep_test
