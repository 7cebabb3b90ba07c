#pragma once

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "set_options.h"
#include "strip_render.h"
#include "video_plan.h"

namespace render {

/// The file in a keyframe folder that says which video its keyframes belong to.
inline constexpr char kVideoDescriptionName[] = "video.txt";

/// What a keyframe folder holds: the target (a deep picture at the keyframes' size), how many
/// keyframes lead to it, and the video they were first made for, whose size, frame rate and
/// doubling time a later assembly takes unless told otherwise.
struct VideoDescription {
    SetPicture target;
    int keyframes = 0;
    VideoSettings settings;
};

[[nodiscard]] std::string FormatVideoDescription(const VideoDescription& description);
/// Nothing for a text that is not such a description or is damaged.
[[nodiscard]] std::optional<VideoDescription> ParseVideoDescription(std::string_view text);

/// The folder's description: none (and no error) when the folder or the file is not there.
struct StoredDescription {
    std::optional<VideoDescription> description;
    std::string error;
};
[[nodiscard]] StoredDescription ReadVideoDescription(const std::string& folder);
bool WriteVideoDescription(const std::string& folder, const VideoDescription& description,
                           std::string& error);

/// Whether two targets are the same video's: the same view, limit and colours, whatever size.
[[nodiscard]] bool SameVideo(const SetPicture& a, const SetPicture& b);

/// Whether keyframes of `keyWidth` x `keyHeight` hold every frame of a `width` x `height`
/// video without enlarging: kKeyframeScale times as tall at least, and at least as wide for
/// their height.
[[nodiscard]] bool KeyframesSuit(int keyWidth, int keyHeight, int width, int height);

/// folder/keyframe_000.png, ... (at least three digits).
[[nodiscard]] std::string KeyframeName(const std::string& folder, int index);
/// Beside the video: clip.mp4 keeps its keyframes in clip.keyframes.
[[nodiscard]] std::string DefaultKeyframeFolder(const std::string& video);

/// Keyframe `index` of the target as a picture of its own (deep view, colours, size).
[[nodiscard]] SetPicture KeyframePicture(const SetPicture& target, const deep::DeepView& view);

/// Reads a stored keyframe when it is the one expected: its record equals the picture's and its
/// pixels are whole. False (and `pixels` untouched) otherwise; `error` names a damaged file.
bool LoadKeyframe(const std::string& path, const SetPicture& picture, std::vector<std::uint8_t>& pixels,
                  std::string& error);
/// Whether the file holds the expected keyframe's record (the pixels are not read).
[[nodiscard]] bool KeyframeStored(const std::string& path, const SetPicture& picture);

/// Counts the keyframe and writes it to `path` as a PNG picture with its record, whole or not
/// at all; its pixels stay in `pixels`. `stop` ends it (Stopped), as does `halt` for the rows.
RenderStatus RenderKeyframe(const SetPicture& picture, const std::string& path, const std::atomic<bool>* stop,
                            const RenderControl& control, std::vector<std::uint8_t>& pixels,
                            std::string& error);

} // namespace render
