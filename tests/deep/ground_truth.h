#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <mpfr.h>

#include "reference_orbit.h"

namespace deep_test {

/// A deep view as the renderer's options give it: exact decimal texts and the picture's size.
struct DeepViewText {
    std::string centreRe;
    std::string centreIm;
    std::string radius;
    std::int64_t width = 0;
    std::int64_t height = 0;
    std::int64_t maxIterations = 0;
    bool julia = false;
    std::string juliaRe; // the constant of a Julia set
    std::string juliaIm;
};

/// The escape-time count of pixel (x, y), and the orbit rounded to doubles.
struct PlainOrbit {
    std::int64_t count = 0;
    std::vector<deep::OrbitPoint> points;
};

/// The slow plain loop at `bits` bits, written apart from the library's code: the pixel's number
/// from the decimal texts by plain MPFR operations, then z ← z² + c with |z|² compared with 65536.
[[nodiscard]] PlainOrbit PlainCount(const DeepViewText& view, std::int64_t x, std::int64_t y,
                                    mpfr_prec_t bits);

/// PlainCount() at a precision with a wide margin over the radius's depth, checked (gtest
/// failure otherwise) against a second run with twice the bits: equal counts mean rounding did
/// not decide the count.
[[nodiscard]] PlainOrbit GroundTruth(const DeepViewText& view, std::int64_t x, std::int64_t y);

} // namespace deep_test
