#include "video_encoder.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace render {

namespace {

bool EndsWith(std::string name, std::string_view suffix) {
    std::transform(name.begin(), name.end(), name.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return name.size() > suffix.size() && name.ends_with(suffix);
}

bool Executable(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && ::access(path.c_str(), X_OK) == 0;
}

std::string Number(double value) {
    char buffer[64];
    const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, ec == std::errc{} ? end : buffer);
}

/// The last line of what a program said, without the blanks around it.
std::string LastLine(std::string text) {
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) {
        text.pop_back();
    }
    const std::size_t newline = text.find_last_of("\r\n");
    return newline == std::string::npos ? text : text.substr(newline + 1);
}

/// Starts `command` with standard input from `input` (or /dev/null for -1), standard output
/// and error into `output`, in a process group of its own; -1 with `error` set on failure.
pid_t Spawn(const std::vector<std::string>& command, int input, int output, std::string& error) {
    std::vector<char*> argv;
    for (const std::string& word : command) {
        argv.push_back(const_cast<char*>(word.c_str()));
    }
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (input >= 0) {
        posix_spawn_file_actions_adddup2(&actions, input, STDIN_FILENO);
    } else {
        posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    }
    posix_spawn_file_actions_adddup2(&actions, output, STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, output, STDERR_FILENO);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setpgroup(&attributes, 0);
    // The program starts with every signal at its default and none blocked, whatever this
    // process's threads hold back.
    sigset_t none;
    sigset_t all;
    sigemptyset(&none);
    sigfillset(&all);
    posix_spawnattr_setsigmask(&attributes, &none);
    sigdelset(&all, SIGKILL);
    sigdelset(&all, SIGSTOP);
    posix_spawnattr_setsigdefault(&attributes, &all);
    posix_spawnattr_setflags(&attributes,
                             POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    pid_t pid = -1;
    const int failed = posix_spawn(&pid, argv[0], &actions, &attributes, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    if (failed != 0) {
        error = "cannot start " + command.front() + ": " + std::strerror(failed);
        return -1;
    }
    return pid;
}

std::string ReadAll(int fd) {
    std::string text;
    char buffer[4096];
    for (;;) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got > 0) {
            text.append(buffer, static_cast<std::size_t>(got));
            // A chatty program keeps only its last words.
            if (text.size() > 65536) {
                text.erase(0, text.size() - 32768);
            }
        } else if (got == 0 || errno != EINTR) {
            return text;
        }
    }
}

int Wait(pid_t pid) {
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return status;
}

} // namespace

std::optional<VideoContainer> ContainerForName(const std::string& path) {
    if (EndsWith(path, ".mp4")) {
        return VideoContainer::Mp4;
    }
    if (EndsWith(path, ".mkv")) {
        return VideoContainer::Matroska;
    }
    if (EndsWith(path, ".webm")) {
        return VideoContainer::Webm;
    }
    return std::nullopt;
}

std::string DefaultCodec(VideoContainer container) {
    return container == VideoContainer::Webm ? "libvpx-vp9" : "libx264";
}

std::optional<std::string> FindFfmpeg(const std::string& given, std::string& error) {
    if (!given.empty()) {
        if (Executable(given)) {
            return given;
        }
        error = "--ffmpeg " + given + " is not a program that can be run";
        return std::nullopt;
    }
    const char* path = std::getenv("PATH");
    std::string_view folders = path != nullptr ? path : "/usr/local/bin:/usr/bin:/bin";
    while (true) {
        const std::size_t colon = folders.find(':');
        const std::string_view folder = folders.substr(0, colon);
        const std::string candidate = (folder.empty() ? std::string(".") : std::string(folder)) + "/ffmpeg";
        if (Executable(candidate)) {
            return candidate;
        }
        if (colon == std::string_view::npos) {
            break;
        }
        folders.remove_prefix(colon + 1);
    }
    error = "the program ffmpeg, which encodes the video, is not on PATH; install it (Debian package "
            "ffmpeg) or give it with --ffmpeg PATH";
    return std::nullopt;
}

bool FfmpegHasEncoder(const std::string& program, const std::string& codec, std::string& error) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) {
        error = std::string("cannot start ffmpeg: ") + std::strerror(errno);
        return false;
    }
    const pid_t pid = Spawn({program, "-hide_banner", "-h", "encoder=" + codec}, -1, fds[1], error);
    ::close(fds[1]);
    const std::string text = ReadAll(fds[0]);
    ::close(fds[0]);
    if (pid < 0) {
        return false;
    }
    const int status = Wait(pid);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        error = program + " does not run: " + LastLine(text);
        return false;
    }
    // "Encoder NAME [...]" when it has one; a note that the codec is not recognised otherwise.
    if (!text.starts_with("Encoder " + codec + " ")) {
        error =
            "--codec: " + program + " has no video encoder \"" + codec + "\" (ffmpeg -encoders lists them)";
        return false;
    }
    return true;
}

std::vector<std::string> FfmpegCommand(const std::string& program, const VideoSettings& settings,
                                       VideoContainer container, const std::string& codec,
                                       const std::string& output) {
    std::vector<std::string> command = {program,
                                        "-hide_banner",
                                        "-nostats",
                                        "-loglevel",
                                        "error",
                                        "-f",
                                        "rawvideo",
                                        "-pix_fmt",
                                        "rgb24",
                                        "-video_size",
                                        std::to_string(settings.width) + "x" +
                                            std::to_string(settings.height),
                                        "-framerate",
                                        Number(settings.fps),
                                        "-i",
                                        "pipe:0",
                                        "-an",
                                        "-c:v",
                                        codec};
    // x264's frame threads decide alike on every run and machine for a given number of them, so
    // a fixed number keeps the bytes of any split of the work equal; it is the slowest stage.
    // Other encoders take one thread.
    const char* threads = "1";
    if (codec == "libx264") {
        command.insert(command.end(), {"-preset", "medium", "-crf", "18", "-pix_fmt", "yuv420p"});
        threads = "4";
    } else if (codec == "libvpx-vp9") {
        command.insert(command.end(), {"-crf", "32", "-b:v", "0", "-deadline", "good", "-cpu-used", "4",
                                       "-row-mt", "0", "-pix_fmt", "yuv420p"});
    }
    const char* format = container == VideoContainer::Mp4        ? "mp4"
                         : container == VideoContainer::Matroska ? "matroska"
                                                                 : "webm";
    // No version strings or times, so frames made in any split of the work give the same bytes.
    command.insert(command.end(), {"-threads", threads, "-fflags", "+bitexact", "-flags:v", "+bitexact",
                                   "-map_metadata", "-1", "-f", format, "-y", output});
    return command;
}

FfmpegPipe::~FfmpegPipe() {
    abort();
}

bool FfmpegPipe::start(const std::vector<std::string>& command, std::string& error) {
    int input[2];
    int messages[2];
    if (::pipe2(input, O_CLOEXEC) != 0) {
        error = std::string("cannot start ffmpeg: ") + std::strerror(errno);
        return false;
    }
    if (::pipe2(messages, O_CLOEXEC) != 0) {
        error = std::string("cannot start ffmpeg: ") + std::strerror(errno);
        ::close(input[0]);
        ::close(input[1]);
        return false;
    }
    m_pid = Spawn(command, input[0], messages[1], error);
    ::close(input[0]);
    ::close(messages[1]);
    m_input = input[1];
    m_messages = messages[0];
    m_reader = std::thread([this] { m_text = ReadAll(m_messages); });
    if (m_pid < 0) {
        abort();
        return false;
    }
    return true;
}

bool FfmpegPipe::write(const std::uint8_t* data, std::size_t bytes, std::string& error) {
    while (bytes > 0) {
        const ssize_t done = ::write(m_input, data, bytes);
        if (done < 0) {
            if (errno == EINTR) {
                continue;
            }
            error = std::string("ffmpeg stopped taking frames: ") + std::strerror(errno);
            return false;
        }
        data += done;
        bytes -= static_cast<std::size_t>(done);
    }
    return true;
}

std::string FfmpegPipe::messages() {
    if (m_reader.joinable()) {
        m_reader.join();
    }
    if (m_messages >= 0) {
        ::close(m_messages);
        m_messages = -1;
    }
    return LastLine(m_text);
}

bool FfmpegPipe::finish(std::string& error) {
    if (m_input >= 0) {
        ::close(m_input);
        m_input = -1;
    }
    if (m_pid < 0) {
        messages();
        return false;
    }
    const int status = Wait(m_pid);
    m_pid = -1;
    const std::string said = messages();
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0) {
        return true;
    }
    error = "ffmpeg failed" + (said.empty() ? std::string() : ": " + said);
    return false;
}

void FfmpegPipe::abort() {
    if (m_input >= 0) {
        ::close(m_input);
        m_input = -1;
    }
    if (m_pid > 0) {
        ::kill(m_pid, SIGTERM);
        Wait(m_pid);
        m_pid = -1;
    }
    messages();
}

} // namespace render
