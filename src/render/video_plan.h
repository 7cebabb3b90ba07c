#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "deep_render.h"

namespace render {

/// What a zoom video looks like on the screen; the keyframes do not depend on it beyond their
/// size, so one folder of keyframes serves other frame rates and smaller sizes.
struct VideoSettings {
    int width = 1280; // pixels of a frame
    int height = 720;
    double fps = 60.0;
    double doublingSeconds = 1.0; // for the radius to halve
};

/// A keyframe has this many times the frame's pixels along each side. A frame, whose radius lies
/// between half and all of its keyframe's, then takes from 2 x 2 to 4 x 4 keyframe points per
/// pixel: at least as many as a frame counted at twice its size, which a keyframe of only twice
/// the frame's size gives just at its own radius (halfway down to the next keyframe such frames
/// fell to about 23 dB against the supersampled frame, for 27 to 33 dB at four times).
inline constexpr int kKeyframeScale = 4;

/// The most frames a video may have: 4.6 hours at 60 frames a second.
inline constexpr std::int64_t kMaxVideoFrames = 1'000'000;

/// Where a frame lies in its keyframe, in keyframe pixels: pixel (x, y) of the frame covers
/// [left + x·scale, left + (x + 1)·scale) × [top + y·scale, top + (y + 1)·scale), where a
/// keyframe pixel (u, v) covers [u, u + 1) × [v, v + 1) (a pixel is the square to the right of
/// and below the point it is counted at).
struct FramePlacement {
    int keyframe = 0;
    double scale = 1.0; // keyframe pixels per frame pixel, at least 1
    double left = 0.0;
    double top = 0.0;
};

/// The keyframes and frames of a video from the kind's default view into `target`.
struct VideoPlan {
    /// Keyframe k has half the radius of keyframe k - 1; the last is the target itself, the
    /// first covers the start view. Each has the keyframe size as its width and height.
    std::vector<deep::DeepView> keyframes;
    std::vector<FramePlacement> frames;
    std::string error;
    [[nodiscard]] bool ok() const { return error.empty(); }
};

/// The number of keyframes of a flight from radius `start` down to `target`: one per halving,
/// the first at least as large as `start`. Zero when `target` is not below `start`.
[[nodiscard]] int KeyframeCount(const deep::ExactDecimal& start, const deep::ExactDecimal& target);

/// The keyframe views only (cheap): `target` has the keyframe size as its width and height.
[[nodiscard]] std::vector<deep::DeepView> PlanKeyframes(const deep::DeepView& target);

/// The whole plan. The frames' radius shrinks at a constant rate from the start view's to the
/// target's, halving every `doublingSeconds`; their centres glide as a zoom sequence's do
/// (DeepFlightView), and each frame is placed in the smallest keyframe that holds all of it.
/// `error` says why no video can be made (a target not inside the start view, too many frames).
[[nodiscard]] VideoPlan PlanVideo(const deep::DeepView& target, const VideoSettings& settings);

/// Frame `placement` of a keyframe (kw × kh, three bytes a pixel) as `width` × `height`
/// pixels into `out`: each frame pixel is the area-weighted mean of the keyframe pixels its
/// square covers (a box filter), rounded to the nearest level.
void MakeFrame(const std::uint8_t* keyframe, int kw, int kh, const FramePlacement& placement, int width,
               int height, std::uint8_t* out);

} // namespace render
