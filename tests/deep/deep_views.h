#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "deep_render.h"
#include "ground_truth.h"

namespace deep_test {

/// The engine's view of the texts (which must be valid decimals).
[[nodiscard]] deep::DeepView ToView(const DeepViewText& text);

/// A square Mandelbrot view of `size` pixels.
[[nodiscard]] DeepViewText Mandelbrot(std::string re, std::string im, std::string radius, std::int64_t size,
                                      std::int64_t iterations);

/// The engine's counts of the whole picture, row by row (a gtest failure when it cannot draw it).
[[nodiscard]] std::vector<std::uint32_t> DeepCounts(const deep::DeepView& view);

} // namespace deep_test
