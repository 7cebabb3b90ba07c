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
/// between half and all of its keyframe's, then takes from 1.5 x 1.5 to 3 x 3 keyframe points
/// per pixel. Against frames counted at 4 x 4 points a pixel, those frames score about as well
/// as frames counted directly at 2 x 2 (27 to 36 dB), at nine frames' cost per halving of the
/// radius; twice the frame's size fell to 24 dB halfway between two keyframes, four times cost
/// sixteen frames.
inline constexpr int kKeyframeScale = 3;

/// The most frames a video may have: 4.6 hours at 60 frames a second.
inline constexpr std::int64_t kMaxVideoFrames = 1'000'000;

/// Where a frame lies in its keyframe, in keyframe points: the point of frame pixel (x, y) is
/// keyframe point (left + x·scale, top + y·scale). Each pixel stands for the square around its
/// point, a frame pixel's square being `scale` keyframe pixels wide.
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
