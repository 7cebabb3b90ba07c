#include "video_keyframes.h"

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "atomic_file.h"
#include "deep_strip_render.h"
#include "encoder_sink.h"
#include "png_file.h"
#include "stop_request.h"

namespace render {

namespace {

constexpr std::string_view kHeading = "fractal-render video keyframes";

std::string Number(double value) {
    char buffer[64];
    const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, ec == std::errc{} ? end : buffer);
}

std::string RecordOf(const SetPicture& picture) {
    return common::FormatPictureRecord(ToRecord(picture));
}

/// Hands the rows to the PNG encoder and keeps a copy of them.
class KeepingSink : public RowSink {
public:
    KeepingSink(EncoderSink& encoder, std::vector<std::uint8_t>& pixels, int width)
        : m_encoder(encoder), m_pixels(pixels), m_rowBytes(static_cast<std::size_t>(width) * 3) {}
    bool writeRows(const std::uint8_t* rgb, int rows, std::string& error) override {
        m_pixels.insert(m_pixels.end(), rgb, rgb + m_rowBytes * static_cast<std::size_t>(rows));
        return m_encoder.writeRows(rgb, rows, error);
    }

private:
    EncoderSink& m_encoder;
    std::vector<std::uint8_t>& m_pixels;
    std::size_t m_rowBytes;
};

} // namespace

std::string FormatVideoDescription(const VideoDescription& d) {
    std::ostringstream text;
    text << kHeading << "\nversion 1\nkeyframes " << d.keyframes << "\nkeyframe-size " << d.target.width
         << 'x' << d.target.height << "\nvideo-size " << d.settings.width << 'x' << d.settings.height
         << "\nfps " << Number(d.settings.fps) << "\ndoubling-seconds " << Number(d.settings.doublingSeconds)
         << "\niterations " << (d.target.deepView ? d.target.deepView->iterations : 0) << "\ntarget\n"
         << RecordOf(d.target);
    return text.str();
}

std::optional<VideoDescription> ParseVideoDescription(std::string_view text) {
    std::istringstream lines{std::string(text)};
    std::string line;
    if (!std::getline(lines, line) || line != kHeading || !std::getline(lines, line) || line != "version 1") {
        return std::nullopt;
    }
    VideoDescription d;
    bool haveSize = false;
    bool haveRate = false;
    bool haveDoubling = false;
    std::optional<std::array<std::int64_t, 2>> keySize;
    while (std::getline(lines, line) && line != "target") {
        const std::size_t blank = line.find(' ');
        const std::string key = line.substr(0, blank);
        const std::string value = blank == std::string::npos ? "" : line.substr(blank + 1);
        if (key == "keyframes") {
            d.keyframes = static_cast<int>(ParseCount(value).value_or(0));
        } else if (key == "keyframe-size") {
            keySize = ParseSize(value);
        } else if (key == "video-size") {
            const auto size = ParseSize(value);
            haveSize = size.has_value();
            if (size) {
                d.settings.width = static_cast<int>((*size)[0]);
                d.settings.height = static_cast<int>((*size)[1]);
            }
        } else if (key == "fps") {
            const std::optional<double> fps = ParseNumber(value);
            haveRate = fps && *fps > 0.0;
            d.settings.fps = fps.value_or(0.0);
        } else if (key == "doubling-seconds") {
            const std::optional<double> seconds = ParseNumber(value);
            haveDoubling = seconds && *seconds > 0.0;
            d.settings.doublingSeconds = seconds.value_or(0.0);
        }
    }
    if (line != "target" || d.keyframes < 1 || !keySize || !haveSize || !haveRate || !haveDoubling) {
        return std::nullopt;
    }
    const std::string rest((std::istreambuf_iterator<char>(lines)), std::istreambuf_iterator<char>());
    const std::optional<common::PictureRecord> record = common::ParsePictureRecord(rest);
    const auto* deepRecord = record ? std::get_if<common::DeepSetRecord>(&*record) : nullptr;
    if (deepRecord == nullptr || deepRecord->width != (*keySize)[0] || deepRecord->height != (*keySize)[1]) {
        return std::nullopt;
    }
    d.target = FromRecord(*deepRecord);
    d.target.deepView->width = d.target.width;
    d.target.deepView->height = d.target.height;
    return d;
}

StoredDescription ReadVideoDescription(const std::string& folder) {
    StoredDescription stored;
    const std::string path = folder + "/" + kVideoDescriptionName;
    std::error_code ignored;
    if (!std::filesystem::exists(path, ignored)) {
        return stored;
    }
    std::ifstream in(path, std::ios::binary);
    std::string text;
    // The description is a few hundred bytes and a deep centre's digits.
    text.resize(common::kMaxPictureRecordBytes + 4096);
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<std::size_t>(in.gcount()));
    if (in.bad()) {
        stored.error = "cannot read " + path + ": " + std::strerror(errno);
        return stored;
    }
    stored.description = ParseVideoDescription(text);
    if (!stored.description) {
        stored.error = path + " is not the description of a video's keyframes, or it is damaged";
    }
    return stored;
}

bool WriteVideoDescription(const std::string& folder, const VideoDescription& description,
                           std::string& error) {
    const std::string path = folder + "/" + kVideoDescriptionName;
    common::AtomicFile file;
    if (!file.open(path, error)) {
        error = "cannot write " + path + ": " + error;
        return false;
    }
    const std::string text = FormatVideoDescription(description);
    if (std::fwrite(text.data(), 1, text.size(), file.file()) != text.size() || !file.commit(error)) {
        error = "cannot write " + path + ": " + (error.empty() ? std::strerror(errno) : error);
        return false;
    }
    return true;
}

bool SameVideo(const SetPicture& a, const SetPicture& b) {
    SetPicture resized = a;
    resized.width = b.width;
    resized.height = b.height;
    if (resized.deepView) {
        resized.deepView->width = b.width;
        resized.deepView->height = b.height;
    }
    return RecordOf(resized) == RecordOf(b);
}

bool KeyframesSuit(int keyWidth, int keyHeight, int width, int height) {
    const auto kw = static_cast<std::int64_t>(keyWidth);
    const auto kh = static_cast<std::int64_t>(keyHeight);
    return kh >= std::int64_t{kKeyframeScale} * height && kw * height >= kh * width;
}

std::string KeyframeName(const std::string& folder, int index) {
    char name[32];
    std::snprintf(name, sizeof name, "keyframe_%03d.png", index);
    return folder + "/" + name;
}

std::string DefaultKeyframeFolder(const std::string& video) {
    const std::size_t slash = video.rfind('/');
    const std::size_t dot = video.rfind('.');
    const std::string stem = dot != std::string::npos && (slash == std::string::npos || dot > slash + 1)
                                 ? video.substr(0, dot)
                                 : video;
    return stem + ".keyframes";
}

SetPicture KeyframePicture(const SetPicture& target, const deep::DeepView& view) {
    SetPicture picture = target;
    picture.deepView = view;
    picture.width = view.width;
    picture.height = view.height;
    return picture;
}

bool KeyframeStored(const std::string& path, const SetPicture& picture) {
    std::error_code ignored;
    if (!std::filesystem::is_regular_file(path, ignored)) {
        return false;
    }
    const PngRecordText record = ReadPngRecord(path);
    return record.ok() && record.text == RecordOf(picture);
}

bool LoadKeyframe(const std::string& path, const SetPicture& picture, std::vector<std::uint8_t>& pixels,
                  std::string& error) {
    if (!KeyframeStored(path, picture)) {
        return false;
    }
    PngPicture png = ReadPng(path);
    if (!png.error.empty() || png.width != picture.width || png.height != picture.height) {
        error =
            "cannot read " + path + (png.error.empty() ? ": its size is not its record's" : ": " + png.error);
        return false;
    }
    pixels.resize(png.pixels.size());
    std::memcpy(pixels.data(), png.pixels.data(), pixels.size());
    return true;
}

RenderStatus RenderKeyframe(const SetPicture& picture, const std::string& path, const std::atomic<bool>* stop,
                            const RenderControl& control, std::vector<std::uint8_t>& pixels,
                            std::string& error) {
    deep::DeepControl deepControl;
    deepControl.stop = stop;
    std::optional<deep::DeepPicture> prepared =
        deep::DeepPicture::prepare(*picture.deepView, deepControl, error);
    if (!prepared) {
        return error.empty() ? RenderStatus::Stopped : RenderStatus::Failed;
    }
    common::AtomicFile output;
    if (!output.open(path, error)) {
        error = "cannot write " + path + ": " + error;
        return RenderStatus::Failed;
    }
    EncoderSink encoder(ImageFormat::Png);
    if (!encoder.start(output.file(), picture.width, picture.height, RecordOf(picture), error)) {
        error = "cannot write " + path + ": " + error;
        return RenderStatus::Failed;
    }
    pixels.clear();
    pixels.reserve(static_cast<std::size_t>(picture.width) * static_cast<std::size_t>(picture.height) * 3);
    KeepingSink sink(encoder, pixels, picture.width);
    const RenderStatus status = RenderDeep(*prepared, picture.colours, sink, control, error);
    if (status != RenderStatus::Done) {
        if (status == RenderStatus::Failed) {
            error = "cannot write " + path + ": " + error;
        }
        return status;
    }
    if (!encoder.finish(error)) {
        error = "cannot write " + path + ": " + error;
        return RenderStatus::Failed;
    }
    switch (CommitUnlessStopped(stop, [&] { return output.commit(error); })) {
    case CommitStatus::Stopped:
        return RenderStatus::Stopped;
    case CommitStatus::Failed:
        error = "cannot write " + path + ": " + error;
        return RenderStatus::Failed;
    case CommitStatus::Done:
        break;
    }
    return RenderStatus::Done;
}

} // namespace render
