#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <sys/types.h>

#include "video_plan.h"

namespace render {

/// The containers a video may be written in, chosen by the name's extension (any case).
enum class VideoContainer { Mp4, Matroska, Webm };
[[nodiscard]] std::optional<VideoContainer> ContainerForName(const std::string& path);

/// The encoder a container gets unless --codec names another: H.264 in .mp4 and .mkv, VP9 in
/// .webm (the only ones a browser plays from those containers).
[[nodiscard]] std::string DefaultCodec(VideoContainer container);

/// The ffmpeg program to run: `given` when not empty (it must be an executable file), else the
/// first `ffmpeg` on PATH. Nothing, with the reason, when there is none.
[[nodiscard]] std::optional<std::string> FindFfmpeg(const std::string& given, std::string& error);

/// Whether the program offers the encoder; `error` says why not.
[[nodiscard]] bool FfmpegHasEncoder(const std::string& program, const std::string& codec, std::string& error);

/// The command that reads raw RGB frames of the settings' size from standard input and writes
/// the video to `output` in the container, with the same bytes for the same frames every time
/// (one thread, no version or time stamps written).
[[nodiscard]] std::vector<std::string> FfmpegCommand(const std::string& program,
                                                     const VideoSettings& settings, VideoContainer container,
                                                     const std::string& codec, const std::string& output);

/// A running ffmpeg fed frames through a pipe. It runs in a process group of its own, so a
/// Ctrl+C on the terminal reaches only this program, which then ends it.
class FfmpegPipe {
public:
    FfmpegPipe() = default;
    ~FfmpegPipe();
    FfmpegPipe(const FfmpegPipe&) = delete;
    FfmpegPipe& operator=(const FfmpegPipe&) = delete;

    bool start(const std::vector<std::string>& command, std::string& error);
    /// Writes all bytes; false when ffmpeg has gone (its own message is then in finish()'s error).
    /// SIGPIPE must be held back on the calling thread.
    bool write(const std::uint8_t* data, std::size_t bytes, std::string& error);
    /// Ends the input and waits for ffmpeg; false with its last message when it failed.
    bool finish(std::string& error);
    /// Ends ffmpeg at once and waits for it.
    void abort();

private:
    std::string messages();
    pid_t m_pid = -1;
    int m_input = -1;
    int m_messages = -1;
    std::thread m_reader;
    std::string m_text;
};

} // namespace render
