#include "video_plan.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string_view>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

#include "deep_flight.h"
#include "set_options.h"

namespace render {

namespace {

/// log10 |value| to about sixteen digits, for any magnitude a decimal may have.
double Log10(const deep::ExactDecimal& value) {
    const std::string_view lead = std::string_view(value.digits).substr(0, 17);
    const double mantissa = std::strtod(std::string(lead).c_str(), nullptr);
    return std::log10(mantissa) + static_cast<double>(value.exponent) +
           static_cast<double>(value.digits.size() - lead.size());
}

/// Halvings from `start` down to `target`.
double Doublings(const deep::ExactDecimal& start, const deep::ExactDecimal& target) {
    return (Log10(start) - Log10(target)) / std::log10(2.0);
}

/// A little slack for the last digits of the radii and centres, far below a pixel.
constexpr double kSlackPixels = 1e-6;

/// The frame `view` (frame size w × h) as it lies in keyframe `key`; `ok` when the keyframe
/// holds all of it at a scale that does not enlarge.
struct Fit {
    FramePlacement placement;
    bool ok = false;
};

Fit FitFrame(const deep::DeepView& view, int w, int h, const deep::DeepView& key, int index) {
    const double kw = key.width;
    const double kh = key.height;
    const double rho = DecimalRatio(view.radius, deep::ExactDecimal{}, key.radius);
    const double dRe = DecimalRatio(view.re, key.re, key.radius);
    const double dIm = DecimalRatio(view.im, key.im, key.radius);
    Fit fit;
    fit.placement.keyframe = index;
    fit.placement.scale = rho * kh / h;
    // From pixel (x, y) = (re + R(2x − W)/H, im + R(H − 2y)/H) for both pictures.
    fit.placement.left = ((dRe - rho * w / h) * kh + kw) / 2.0;
    fit.placement.top = kh * (1.0 - dIm - rho) / 2.0;
    const FramePlacement& p = fit.placement;
    fit.ok = p.scale >= 1.0 - kSlackPixels && p.left >= -kSlackPixels && p.top >= -kSlackPixels &&
             p.left + p.scale * w <= kw + kSlackPixels && p.top + p.scale * h <= kh + kSlackPixels;
    return fit;
}

/// The keyframe pixels one frame pixel's square covers along one axis, with their shares.
struct Span {
    int first = 0;
    int count = 0;
    std::size_t weights = 0; // where the shares start in Spans::weights
};

struct Spans {
    std::vector<Span> spans;
    std::vector<float> weights;
};

/// Keyframe point u stands for [u − 1/2, u + 1/2), which is [u, u + 1) here; frame pixel i
/// likewise for the square around its point, so each pixel is centred where a frame counted
/// directly counts it, and the last frame, the target reduced by whole blocks, is the target
/// counted with that many points a pixel. Squares past the keyframe's edge are cut off there.
Spans SpansOf(int n, double origin, double scale, int limit) {
    Spans out;
    out.spans.resize(static_cast<std::size_t>(n));
    const double shift = 0.5 - scale / 2.0;
    for (int i = 0; i < n; ++i) {
        double a = std::clamp(origin + shift + scale * i, 0.0, static_cast<double>(limit));
        double b = std::clamp(origin + shift + scale * (i + 1), 0.0, static_cast<double>(limit));
        if (b - a < 1e-9) {
            // Only where the slack let a frame's edge past the keyframe's: its last pixel.
            a = std::min(a, limit - 1.0);
            b = a + 1.0;
        }
        Span& s = out.spans[static_cast<std::size_t>(i)];
        s.first = static_cast<int>(std::floor(a));
        s.count = std::min(limit - 1, static_cast<int>(std::ceil(b)) - 1) - s.first + 1;
        s.weights = out.weights.size();
        for (int k = 0; k < s.count; ++k) {
            const double low = std::max(a, static_cast<double>(s.first + k));
            const double high = std::min(b, static_cast<double>(s.first + k + 1));
            out.weights.push_back(static_cast<float>(std::max(0.0, high - low) / (b - a)));
        }
    }
    return out;
}

using Lanes = float __attribute__((vector_size(16)));

/// line += weight · source over n values, the inner loop of a frame. The compiler keeps it
/// scalar at the usual optimisation level (the bytes might alias the floats) and widens bytes
/// poorly in vector types, so the eight-wide form is written out. Products and sums are
/// rounded one by one in both forms, so they give the same frames.
void AddWeightedPlain(float* line, const std::uint8_t* source, std::size_t n, float weight) {
    for (std::size_t i = 0; i < n; ++i) {
        line[i] += weight * static_cast<float>(source[i]);
    }
}

#if defined(__x86_64__)
__attribute__((target("avx2"))) void AddWeightedAvx2(float* line, const std::uint8_t* source, std::size_t n,
                                                     float weight) {
    const __m256 w = _mm256_set1_ps(weight);
    std::size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        const __m128i bytes = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(source + i));
        const __m256 values = _mm256_cvtepi32_ps(_mm256_cvtepu8_epi32(bytes));
        _mm256_storeu_ps(line + i, _mm256_add_ps(_mm256_loadu_ps(line + i), _mm256_mul_ps(w, values)));
    }
    AddWeightedPlain(line + i, source + i, n - i, weight);
}
#endif

/// Means of levels (never below 0) to levels, rounding half up as lround does for them.
void ToLevelsPlain(const float* means, std::size_t n, std::uint8_t* out) {
    for (std::size_t i = 0; i < n; ++i) {
        out[i] = static_cast<std::uint8_t>(std::min(255, static_cast<int>(means[i] + 0.5F)));
    }
}

#if defined(__x86_64__)
__attribute__((target("avx2"))) void ToLevelsAvx2(const float* means, std::size_t n, std::uint8_t* out) {
    const __m256 half = _mm256_set1_ps(0.5F);
    std::size_t i = 0;
    for (; i + 16 <= n; i += 16) {
        const __m256i low = _mm256_cvttps_epi32(_mm256_add_ps(_mm256_loadu_ps(means + i), half));
        const __m256i high = _mm256_cvttps_epi32(_mm256_add_ps(_mm256_loadu_ps(means + i + 8), half));
        // Saturating packs clamp at 255; they interleave the halves, which the permute undoes.
        const __m256i words = _mm256_permute4x64_epi64(_mm256_packs_epi32(low, high), 0xD8);
        const __m128i bytes =
            _mm_packus_epi16(_mm256_castsi256_si128(words), _mm256_extracti128_si256(words, 1));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), bytes);
    }
    ToLevelsPlain(means + i, n - i, out + i);
}
#endif

struct FrameKernels {
    void (*addWeighted)(float*, const std::uint8_t*, std::size_t, float) = &AddWeightedPlain;
    void (*toLevels)(const float*, std::size_t, std::uint8_t*) = &ToLevelsPlain;
};

FrameKernels ChooseKernels() {
    FrameKernels kernels;
#if defined(__x86_64__)
    __builtin_cpu_init(); // this runs among the static initialisers
    if (__builtin_cpu_supports("avx2")) {
        kernels.addWeighted = &AddWeightedAvx2;
        kernels.toLevels = &ToLevelsAvx2;
    }
#endif
    return kernels;
}

const FrameKernels kKernels = ChooseKernels();

} // namespace

int KeyframeCount(const deep::ExactDecimal& start, const deep::ExactDecimal& target) {
    const double doublings = Doublings(start, target);
    if (!(doublings > 0.0)) {
        return 0;
    }
    // A target a whole number of halvings below the start has the start as its first keyframe.
    return static_cast<int>(std::ceil(doublings - 1e-9)) + 1;
}

std::vector<deep::DeepView> PlanKeyframes(const deep::DeepView& target) {
    deep::DeepView start = target;
    DefaultDeepCentre(target.julia ? explorer::SetKind::Julia : explorer::SetKind::Mandelbrot, start);
    const int count = KeyframeCount(start.radius, target.radius);
    std::vector<deep::DeepView> keys;
    for (int k = 0; k < count; ++k) {
        if (k + 1 == count) {
            keys.push_back(target);
        } else {
            keys.push_back(
                DeepFlightViewAt(start, target, DecimalTimesPowerOfTwo(target.radius, count - 1 - k)));
        }
    }
    return keys;
}

VideoPlan PlanVideo(const deep::DeepView& target, const VideoSettings& settings) {
    VideoPlan plan;
    deep::DeepView start = target;
    DefaultDeepCentre(target.julia ? explorer::SetKind::Julia : explorer::SetKind::Mandelbrot, start);
    const double doublings = Doublings(start.radius, target.radius);
    if (KeyframeCount(start.radius, target.radius) == 0) {
        plan.error = "a video zooms in: the target's radius must be below the start view's radius " +
                     deep::FormatExactDecimal(start.radius);
        return plan;
    }
    const double frameCount = std::round(doublings * settings.doublingSeconds * settings.fps) + 1.0;
    if (frameCount > static_cast<double>(kMaxVideoFrames)) {
        plan.error = "the video would have " + std::to_string(static_cast<long long>(frameCount)) +
                     " frames, more than " + std::to_string(kMaxVideoFrames) +
                     "; zoom faster (--doubling-seconds) or lower --fps";
        return plan;
    }
    const int frames = std::max(2, static_cast<int>(frameCount));
    plan.keyframes = PlanKeyframes(target);
    const int keys = static_cast<int>(plan.keyframes.size());
    const double targetLog = Log10(target.radius);
    for (int f = 0; f < frames; ++f) {
        const deep::DeepView view = DeepFlightView(start, target, frames, f);
        // The keyframe whose radius is the next at or above the frame's, found by magnitude
        // first and then made sure of.
        const double above = (Log10(view.radius) - targetLog) / std::log10(2.0);
        int k = std::clamp(keys - 1 - static_cast<int>(std::floor(above + 1e-9)), 0, keys - 1);
        k = std::min(keys - 1, k + 1);
        Fit fit;
        for (; k >= 0; --k) {
            fit = FitFrame(view, settings.width, settings.height, plan.keyframes[static_cast<std::size_t>(k)],
                           k);
            if (fit.ok) {
                break;
            }
        }
        if (!fit.ok) {
            plan.error = "frame " + std::to_string(f + 1) +
                         " of the video lies outside every keyframe: the target's centre is too far "
                         "outside the start view for a zoom video";
            plan.frames.clear();
            return plan;
        }
        plan.frames.push_back(fit.placement);
    }
    return plan;
}

void MakeFrame(const std::uint8_t* keyframe, int kw, int kh, const FramePlacement& placement, int width,
               int height, std::uint8_t* out) {
    const Spans columns = SpansOf(width, placement.left, placement.scale, kw);
    const Spans rows = SpansOf(height, placement.top, placement.scale, kh);
    const int firstColumn = columns.spans.front().first;
    const int endColumn = columns.spans.back().first + columns.spans.back().count;
    std::vector<float> line(static_cast<std::size_t>(endColumn - firstColumn) * 3 + 1);
    std::vector<float> means(static_cast<std::size_t>(width) * 3 + 1);
    const auto stride = static_cast<std::size_t>(kw) * 3;
    for (int y = 0; y < height; ++y) {
        // Down the rows first, over the columns any frame pixel takes, then along the row.
        std::fill(line.begin(), line.end(), 0.0F);
        const Span& r = rows.spans[static_cast<std::size_t>(y)];
        for (int k = 0; k < r.count; ++k) {
            const std::uint8_t* source = keyframe + static_cast<std::size_t>(r.first + k) * stride +
                                         static_cast<std::size_t>(firstColumn) * 3;
            kKernels.addWeighted(line.data(), source, line.size() - 1,
                                 rows.weights[r.weights + static_cast<std::size_t>(k)]);
        }
        for (int x = 0; x < width; ++x) {
            const Span& c = columns.spans[static_cast<std::size_t>(x)];
            const float* p = line.data() + static_cast<std::size_t>(c.first - firstColumn) * 3;
            const float* w = columns.weights.data() + c.weights;
            // Four lanes for three channels: the fourth reads the next pixel's red (or the
            // line's spare end), and its sum is overwritten by the next pixel's (or spare).
            Lanes sum = {0.0F, 0.0F, 0.0F, 0.0F};
            for (int k = 0; k < c.count; ++k) {
                Lanes v;
                std::memcpy(&v, p + 3 * k, sizeof v);
                sum += w[k] * v;
            }
            std::memcpy(means.data() + static_cast<std::size_t>(x) * 3, &sum, sizeof sum);
        }
        kKernels.toLevels(means.data(), static_cast<std::size_t>(width) * 3,
                          out + static_cast<std::size_t>(y) * static_cast<std::size_t>(width) * 3);
    }
}

} // namespace render
