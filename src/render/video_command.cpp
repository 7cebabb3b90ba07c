#include "video_command.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include <pthread.h>
#include <signal.h>

#include "atomic_file.h"
#include "progress_line.h"
#include "stop_request.h"
#include "stored_record.h"
#include "video_encoder.h"
#include "video_keyframes.h"
#include "video_plan.h"

namespace render {

namespace {

namespace fs = std::filesystem;

/// The largest video: 8K.
constexpr int kMaxVideoWidth = 7680;
constexpr int kMaxVideoHeight = 4320;
/// A frame's share of the work against a counted keyframe pixel's, for the time left.
constexpr double kFramePixelWeight = 0.05;

std::string Quoted(const std::string& text) {
    return "\"" + text + "\"";
}

deep::ExactDecimal ExactOf(double v) {
    char buffer[64];
    const auto [ptr, ec] = std::to_chars(buffer, buffer + sizeof buffer, v);
    return deep::ParseExactDecimal(std::string_view(buffer, ec == std::errc{} ? ptr : buffer))
        .value_or(deep::ExactDecimal{});
}

/// The video's size, frame rate and doubling time from the options over `defaults`.
std::string ReadSettings(const std::string& size, const std::string& fps, const std::string& doubling,
                         VideoSettings& settings) {
    if (!size.empty()) {
        const auto parsed = ParseSize(size);
        if (!parsed || (*parsed)[0] > kMaxVideoWidth || (*parsed)[1] > kMaxVideoHeight) {
            return "--size: expected the video's WIDTHxHEIGHT such as 1280x720, at most " +
                   std::to_string(kMaxVideoWidth) + "x" + std::to_string(kMaxVideoHeight) + ", not " +
                   Quoted(size);
        }
        settings.width = static_cast<int>((*parsed)[0]);
        settings.height = static_cast<int>((*parsed)[1]);
    }
    if (!fps.empty()) {
        const std::optional<double> value = ParseNumber(fps);
        if (!value || *value <= 0.0 || *value > 1000.0) {
            return "--fps: expected frames a second above 0 and up to 1000, not " + Quoted(fps);
        }
        settings.fps = *value;
    }
    if (!doubling.empty()) {
        const std::optional<double> value = ParseNumber(doubling);
        if (!value || *value <= 0.0 || *value > 3600.0) {
            return "--doubling-seconds: expected seconds above 0 and up to 3600, not " + Quoted(doubling);
        }
        settings.doublingSeconds = *value;
    }
    return {};
}

/// "A:B", two whole numbers from 0.
std::optional<std::array<int, 2>> ParseRange(const std::string& text) {
    const std::size_t colon = text.find(':');
    if (colon == std::string::npos) {
        return std::nullopt;
    }
    std::array<int, 2> values{};
    const std::string parts[] = {text.substr(0, colon), text.substr(colon + 1)};
    for (std::size_t i = 0; i < 2; ++i) {
        const char* end = parts[i].data() + parts[i].size();
        const auto [ptr, ec] = std::from_chars(parts[i].data(), end, values[i]);
        if (parts[i].empty() || ec != std::errc{} || ptr != end || values[i] < 0) {
            return std::nullopt;
        }
    }
    return values;
}

/// How the video is encoded, checked before anything is counted.
struct Encoding {
    std::string output;
    VideoContainer container = VideoContainer::Mp4;
    std::string codec;
    std::string program;
};

Outcome ChooseEncoding(const std::string& output, const std::string& codec, const std::string& ffmpeg,
                       const VideoSettings& settings, Encoding& encoding) {
    const std::optional<VideoContainer> container = ContainerForName(output);
    if (!container) {
        return Usage("--video: the name must end in .mp4, .mkv or .webm, not " + Quoted(output));
    }
    encoding.output = output;
    encoding.container = *container;
    encoding.codec = codec.empty() ? DefaultCodec(*container) : codec;
    if ((encoding.codec == "libx264" || encoding.codec == "libvpx-vp9") &&
        (settings.width % 2 != 0 || settings.height % 2 != 0)) {
        return Usage("--size: " + encoding.codec + " needs an even width and height, not " +
                     std::to_string(settings.width) + "x" + std::to_string(settings.height));
    }
    std::error_code ignored;
    if (fs::is_directory(output, ignored)) {
        return Failure("cannot write " + output + ": it is a folder");
    }
    std::string error;
    const std::optional<std::string> program = FindFfmpeg(ffmpeg, error);
    if (!program) {
        return Failure("cannot make " + output + ": " + error);
    }
    if (!FfmpegHasEncoder(*program, encoding.codec, error)) {
        return Failure("cannot make " + output + ": " + error);
    }
    encoding.program = *program;
    return {};
}

/// Keyframes handed from the counting thread to the thread that makes the frames.
struct Keyframe {
    int index = 0;
    std::vector<std::uint8_t> pixels;
};

class KeyframeQueue {
public:
    /// False when the taker has gone.
    bool put(std::shared_ptr<Keyframe> key, const std::function<void()>& waiting) {
        std::unique_lock lock(m_mutex);
        while (!m_closed && m_queue.size() >= 1) {
            m_changed.wait_for(lock, std::chrono::milliseconds(100));
            lock.unlock();
            waiting();
            lock.lock();
        }
        if (m_closed) {
            return false;
        }
        m_queue.push_back(std::move(key));
        m_changed.notify_all();
        return true;
    }
    /// Nothing when no more come.
    std::shared_ptr<Keyframe> take() {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [&] { return !m_queue.empty() || m_closed || m_ended; });
        if (m_queue.empty()) {
            return nullptr;
        }
        std::shared_ptr<Keyframe> key = std::move(m_queue.front());
        m_queue.pop_front();
        m_changed.notify_all();
        return key;
    }
    /// The giver has no more.
    void end() {
        std::lock_guard lock(m_mutex);
        m_ended = true;
        m_changed.notify_all();
    }
    /// The taker wants no more.
    void close() {
        std::lock_guard lock(m_mutex);
        m_closed = true;
        m_queue.clear();
        m_changed.notify_all();
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<std::shared_ptr<Keyframe>> m_queue;
    bool m_closed = false;
    bool m_ended = false;
};

/// Everything a video or a range of keyframes is made from.
struct VideoJob {
    SetPicture target; // deep, at the keyframes' size
    std::vector<deep::DeepView> keyframes;
    std::string folder;
    VideoSettings settings;
    bool quiet = false;
};

/// The work and its progress line, over keyframes counted and frames made.
class VideoProgress {
public:
    VideoProgress(RunContext& context, bool quiet, double total)
        : m_line(context.err, context.progressAllowed && !quiet, 1, ""), m_total(std::max(total, 1.0)) {}
    void show(const std::string& label, double done) { m_line.show(label, done / m_total); }
    void clear() { m_line.clear(); }

private:
    ProgressLine m_line;
    double m_total;
};

/// Counts or loads the keyframes first..last in order and hands each to `use`; `reused`
/// reports those already in the folder. Empty outcome when all were handed on.
Outcome ProduceKeyframes(const VideoJob& job, int first, int last, RunContext& context,
                         std::atomic<bool>& halt, bool needPixels,
                         const std::function<void(double rowsShare)>& progress,
                         const std::function<bool(std::shared_ptr<Keyframe>)>& use, bool& anyWritten) {
    const int count = static_cast<int>(job.keyframes.size());
    for (int k = first; k <= last; ++k) {
        if (StopRequested(context.stop) || halt) {
            return Failure("broken off");
        }
        const SetPicture picture = KeyframePicture(job.target, job.keyframes[static_cast<std::size_t>(k)]);
        const std::string path = KeyframeName(job.folder, k);
        auto key = std::make_shared<Keyframe>();
        key->index = k;
        std::string error;
        bool have = false;
        if (needPixels) {
            have = LoadKeyframe(path, picture, key->pixels, error);
            if (!error.empty()) {
                // A damaged keyframe is counted again.
                error.clear();
            }
        } else {
            have = KeyframeStored(path, picture);
        }
        if (!have) {
            RenderControl control;
            control.stop = &halt;
            control.progress = [&](std::int64_t rows, std::int64_t all) {
                if (StopRequested(context.stop)) {
                    halt = true;
                }
                progress(static_cast<double>(rows) / static_cast<double>(all));
            };
            const RenderStatus status =
                RenderKeyframe(picture, path, context.stop, control, key->pixels, error);
            if (status == RenderStatus::Stopped) {
                return Failure("broken off");
            }
            if (status == RenderStatus::Failed) {
                return Failure(error.empty() ? "cannot count keyframe " + std::to_string(k) + " of " +
                                                   std::to_string(count)
                                             : error);
            }
            anyWritten = true;
        }
        progress(1.0);
        if (!use(std::move(key))) {
            return Failure("broken off");
        }
    }
    return {};
}

/// Makes the frames from the keyframes, counting the missing ones, and encodes them.
Outcome EncodeVideo(const VideoJob& job, const VideoPlan& plan, const Encoding& encoding, RunContext& context,
                    bool& anyWritten) {
    common::AtomicFile output;
    std::string error;
    if (!output.open(encoding.output, error)) {
        return Failure("cannot write " + encoding.output + ": " + error);
    }
    FfmpegPipe ffmpeg;
    if (!ffmpeg.start(FfmpegCommand(encoding.program, job.settings, encoding.container, encoding.codec,
                                    output.temporaryName()),
                      error)) {
        return Failure("cannot make " + encoding.output + ": " + error);
    }
    const int keys = static_cast<int>(job.keyframes.size());
    const int frames = static_cast<int>(plan.frames.size());
    const double keyPixels = static_cast<double>(job.target.width) * job.target.height;
    const double framePixels = kFramePixelWeight * job.settings.width * job.settings.height;
    int toCount = 0;
    for (int k = 0; k < keys; ++k) {
        toCount += KeyframeStored(KeyframeName(job.folder, k),
                                  KeyframePicture(job.target, job.keyframes[static_cast<std::size_t>(k)]))
                       ? 0
                       : 1;
    }
    VideoProgress progress(context, job.quiet, toCount * keyPixels + frames * framePixels);

    KeyframeQueue queue;
    std::atomic<int> framesMade{0};
    std::atomic<bool> halt{false};
    std::atomic<bool> ffmpegGone{false};
    std::atomic<bool> framerDone{false};
    std::thread framer([&] {
        // A write to an ffmpeg that has ended then fails with EPIPE instead of ending this
        // program; the signal stays pending on this thread and goes with it.
        sigset_t pipe;
        sigemptyset(&pipe);
        sigaddset(&pipe, SIGPIPE);
        pthread_sigmask(SIG_BLOCK, &pipe, nullptr);
        std::vector<std::uint8_t> frame(static_cast<std::size_t>(job.settings.width) * job.settings.height *
                                        3);
        std::shared_ptr<Keyframe> key;
        std::string writeError;
        for (const FramePlacement& placement : plan.frames) {
            while (!key || key->index != placement.keyframe) {
                key = queue.take();
                if (!key) {
                    framerDone = true;
                    return;
                }
            }
            if (halt || StopRequested(context.stop)) {
                break;
            }
            MakeFrame(key->pixels.data(), job.target.width, job.target.height, placement, job.settings.width,
                      job.settings.height, frame.data());
            if (!ffmpeg.write(frame.data(), frame.size(), writeError)) {
                ffmpegGone = true;
                halt = true;
                break;
            }
            ++framesMade;
        }
        queue.close();
        framerDone = true;
    });

    int keysDone = 0;
    double rowsShare = 0.0;
    const auto report = [&] {
        if (StopRequested(context.stop)) {
            halt = true;
        }
        progress.show("video: keyframe " + std::to_string(std::min(keysDone + 1, keys)) + "/" +
                          std::to_string(keys) + ", frame " + std::to_string(framesMade.load()) + "/" +
                          std::to_string(frames),
                      rowsShare * keyPixels + framesMade.load() * framePixels);
    };
    double counted = 0.0;
    Outcome produced = ProduceKeyframes(
        job, 0, keys - 1, context, halt, true,
        [&](double share) {
            rowsShare = counted + share;
            report();
        },
        [&](std::shared_ptr<Keyframe> key) {
            if (rowsShare > counted) {
                counted += 1.0;
            }
            rowsShare = counted;
            ++keysDone;
            return queue.put(std::move(key), report);
        },
        anyWritten);
    queue.end();
    halt = halt || !produced.ok();
    while (!framerDone) {
        report();
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    framer.join();
    progress.clear();
    if (ffmpegGone) {
        ffmpeg.finish(error);
        return Failure("cannot make " + encoding.output + ": " +
                       (error.empty() ? std::string("ffmpeg stopped taking frames") : error));
    }
    if (StopRequested(context.stop) || (!produced.ok() && produced.message == "broken off")) {
        ffmpeg.abort();
        return Failure("broken off; " + encoding.output + " was not written");
    }
    if (!produced.ok()) {
        ffmpeg.abort();
        return produced;
    }
    if (!ffmpeg.finish(error)) {
        return Failure("cannot make " + encoding.output + ": " + error);
    }
    if (Outcome committed = CommitOutput(output, encoding.output, context.stop); !committed.ok()) {
        return committed;
    }
    if (!job.quiet) {
        context.out << encoding.output << '\n';
    }
    return {};
}

/// The target of `set --video` from its options: a deep view at the keyframes' size.
Outcome ResolveVideoTarget(const SetOptions& options, const VideoSettings& settings, SetPicture& target) {
    std::optional<common::PictureRecord> record;
    if (Outcome read = ReadStoredSetRecord(options.from, record); !read.ok()) {
        return read;
    }
    SetOptions o = options;
    o.size = std::to_string(settings.width) + "x" + std::to_string(settings.height);
    const ResolvedSet resolved = ResolveSet(o, record, ImageFormat::Png);
    if (!resolved.ok()) {
        return Usage(resolved.error);
    }
    target = resolved.picture;
    if (!target.deepView) {
        const explorer::ViewRect& v = target.view;
        if (v.ReMax < v.ReMin || v.ImMax < v.ImMin) {
            return Usage("--video: a mirrored view cannot be a video's target; give its bounds lowest first");
        }
        deep::DeepView view;
        view.julia = target.kind == explorer::SetKind::Julia;
        view.re = ExactOf(v.ReMin + (v.ReMax - v.ReMin) / 2.0);
        view.im = ExactOf(v.ImMin + (v.ImMax - v.ImMin) / 2.0);
        view.radius = ExactOf((v.ImMax - v.ImMin) / 2.0);
        if (view.julia) {
            view.juliaRe = ExactOf(target.juliaC.Re);
            view.juliaIm = ExactOf(target.juliaC.Im);
        }
        target.deepView = view;
    }
    target.width = kKeyframeScale * settings.width;
    target.height = kKeyframeScale * settings.height;
    target.deepView->width = target.width;
    target.deepView->height = target.height;
    if (const std::string tooLarge = CheckSize(target.width, target.height, ImageFormat::Png);
        !tooLarge.empty()) {
        return Usage("--size: the keyframes would be too large: " + tooLarge);
    }
    return {};
}

/// How long a run waits for a description another run is writing: 5 s in all.
constexpr auto kDescriptionWait = std::chrono::milliseconds(50);
constexpr int kDescriptionWaits = 100;

/// Whether the folder holds nothing but the temporary files of a description being written.
bool DescriptionOnItsWay(const std::string& folder) {
    const std::string temporary = std::string(kVideoDescriptionName) + ".tmp";
    std::error_code error;
    bool any = false;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder, error)) {
        if (!entry.path().filename().string().starts_with(temporary)) {
            return false;
        }
        any = true;
    }
    return any && !error;
}

/// Opens the keyframe folder for the target: made when missing, refused when it holds another
/// video's keyframes or ones too small. The target takes the size of keyframes already there.
Outcome OpenKeyframeFolder(const std::string& folder, const VideoSettings& settings, SetPicture& target,
                           common::MadeFolders& made, bool& described) {
    std::error_code ignored;
    if (fs::exists(folder, ignored) && !fs::is_directory(folder, ignored)) {
        return Failure("cannot use " + folder + " for the keyframes: it is not a folder");
    }
    // Runs started together on a new folder, one range of keyframes each, find the first one's
    // description on its way under its temporary name: they wait for it rather than take the
    // folder for someone else's.
    StoredDescription stored;
    bool fresh = false;
    for (int wait = 0;; ++wait) {
        stored = ReadVideoDescription(folder);
        if (!stored.error.empty() || stored.description) {
            break;
        }
        if (!fs::exists(folder, ignored) || fs::is_empty(folder, ignored)) {
            fresh = true;
            break;
        }
        if (wait == kDescriptionWaits || !DescriptionOnItsWay(folder)) {
            // It may have landed since it was read.
            stored = ReadVideoDescription(folder);
            break;
        }
        std::this_thread::sleep_for(kDescriptionWait);
    }
    if (!stored.error.empty()) {
        return Failure(stored.error);
    }
    if (stored.description) {
        const SetPicture& there = stored.description->target;
        if (!SameVideo(there, target)) {
            return Failure(folder + " holds the keyframes of another video; give another --keyframes folder");
        }
        if (!KeyframesSuit(there.width, there.height, settings.width, settings.height)) {
            return Failure("the keyframes in " + folder + " are " + std::to_string(there.width) + "x" +
                           std::to_string(there.height) + ", too small for a " +
                           std::to_string(settings.width) + "x" + std::to_string(settings.height) +
                           " video, which needs keyframes of " + std::to_string(target.width) + "x" +
                           std::to_string(target.height) +
                           "; frames are never enlarged: give another --keyframes folder");
        }
        target = there;
        described = true;
        return {};
    }
    if (!fresh) {
        return Failure(folder + " is not a keyframe folder (it has no " + kVideoDescriptionName +
                       "); give an empty or new --keyframes folder");
    }
    std::string error;
    if (!made.make(folder, error)) {
        return Failure("cannot make the folder " + error);
    }
    return {};
}

} // namespace

Outcome RunVideo(const SetOptions& options, RunContext& context) {
    if (options.keyframesOnly && options.video.empty() && options.keyframes.empty()) {
        return Usage("--keyframes-only needs --keyframes DIR (or --video OUT, beside which they go)");
    }
    if (!options.range.empty() && !options.keyframesOnly) {
        return Usage("--range goes with --keyframes-only");
    }
    if (!options.width.empty()) {
        return Usage("--width does not go with --video; give the video's --size WxH");
    }
    VideoSettings settings;
    if (const std::string wrong = ReadSettings(options.size, options.fps, options.doublingSeconds, settings);
        !wrong.empty()) {
        return Usage(wrong);
    }
    Encoding encoding;
    if (!options.keyframesOnly && !options.keyframesCount) {
        if (Outcome chosen = ChooseEncoding(options.video, options.codec, options.ffmpeg, settings, encoding);
            !chosen.ok()) {
            return chosen;
        }
    }
    VideoJob job;
    job.settings = settings;
    job.quiet = options.quiet;
    if (Outcome resolved = ResolveVideoTarget(options, settings, job.target); !resolved.ok()) {
        return resolved;
    }
    job.keyframes = PlanKeyframes(*job.target.deepView);
    if (job.keyframes.empty()) {
        return Usage("a video zooms in: the target's radius must be below the start view's");
    }
    const int keys = static_cast<int>(job.keyframes.size());
    if (options.keyframesCount) {
        // The answer, so -q does not hold it back; nothing is made, not even the folder.
        context.out << keys << '\n';
        return {};
    }
    int first = 0;
    int last = keys - 1;
    if (!options.range.empty()) {
        const std::optional<std::array<int, 2>> range = ParseRange(options.range);
        if (!range) {
            return Usage("--range: expected FIRST:LAST, keyframe numbers from 0, not " +
                         Quoted(options.range));
        }
        first = (*range)[0];
        last = (*range)[1];
        if (first > last || last >= keys) {
            return Usage("--range: the video has keyframes 0 to " + std::to_string(keys - 1) + ", not " +
                         Quoted(options.range));
        }
    }
    VideoPlan plan;
    if (!options.keyframesOnly) {
        plan = PlanVideo(*job.target.deepView, settings);
        if (!plan.ok()) {
            return Usage(plan.error);
        }
    }
    job.folder = options.keyframes.empty() ? DefaultKeyframeFolder(options.video) : options.keyframes;
    common::MadeFolders made;
    bool described = false;
    if (Outcome opened = OpenKeyframeFolder(job.folder, settings, job.target, made, described);
        !opened.ok()) {
        return opened;
    }
    if (!described) {
        // Refound from the target as it is now, since keyframes already there set the size.
        VideoDescription description{job.target, keys, settings};
        std::string error;
        if (!WriteVideoDescription(job.folder, description, error)) {
            return Failure(error);
        }
    }
    job.keyframes = PlanKeyframes(*job.target.deepView);
    bool anyWritten = false;
    Outcome outcome;
    if (options.keyframesOnly) {
        const double keyPixels = static_cast<double>(job.target.width) * job.target.height;
        VideoProgress progress(context, job.quiet, (last - first + 1) * keyPixels);
        int done = 0;
        std::atomic<bool> halt{false};
        outcome = ProduceKeyframes(
            job, first, last, context, halt, false,
            [&](double share) {
                progress.show("keyframe " + std::to_string(first + done) + " (" + std::to_string(done + 1) +
                                  "/" + std::to_string(last - first + 1) + ")",
                              (done + share) * keyPixels);
            },
            [&](std::shared_ptr<Keyframe>) {
                ++done;
                return true;
            },
            anyWritten);
        progress.clear();
        if (!outcome.ok() && outcome.message == "broken off") {
            outcome = Failure("broken off; the keyframes done are kept in " + job.folder);
        }
        if (outcome.ok() && !job.quiet) {
            for (int k = first; k <= last; ++k) {
                context.out << KeyframeName(job.folder, k) << '\n';
            }
        }
    } else {
        outcome = EncodeVideo(job, plan, encoding, context, anyWritten);
    }
    if (!outcome.ok() && !anyWritten && !made.made().empty()) {
        // A folder this run made and filled with nothing but its description goes again.
        std::error_code ignored;
        fs::remove(job.folder + "/" + kVideoDescriptionName, ignored);
    } else {
        made.keep();
    }
    return outcome;
}

Outcome AssembleVideo(const AssembleOptions& options, RunContext& context) {
    if (options.keyframes.empty() || options.video.empty()) {
        return Usage(
            "assemble: give the keyframe folder with --keyframes DIR and the video with --video OUT");
    }
    const StoredDescription stored = ReadVideoDescription(options.keyframes);
    if (!stored.error.empty()) {
        return Failure(stored.error);
    }
    if (!stored.description) {
        return Failure(options.keyframes + " is not a keyframe folder: it has no " + kVideoDescriptionName);
    }
    VideoJob job;
    job.target = stored.description->target;
    job.settings = stored.description->settings;
    job.folder = options.keyframes;
    job.quiet = options.quiet;
    if (const std::string wrong =
            ReadSettings(options.size, options.fps, options.doublingSeconds, job.settings);
        !wrong.empty()) {
        return Usage(wrong);
    }
    if (!KeyframesSuit(job.target.width, job.target.height, job.settings.width, job.settings.height)) {
        return Failure("the keyframes in " + options.keyframes + " are " + std::to_string(job.target.width) +
                       "x" + std::to_string(job.target.height) + ", too small for a " +
                       std::to_string(job.settings.width) + "x" + std::to_string(job.settings.height) +
                       " video, which needs keyframes of " +
                       std::to_string(kKeyframeScale * job.settings.width) + "x" +
                       std::to_string(kKeyframeScale * job.settings.height) + "; frames are never enlarged");
    }
    Encoding encoding;
    if (Outcome chosen = ChooseEncoding(options.video, options.codec, options.ffmpeg, job.settings, encoding);
        !chosen.ok()) {
        return chosen;
    }
    job.keyframes = PlanKeyframes(*job.target.deepView);
    for (int k = 0; k < static_cast<int>(job.keyframes.size()); ++k) {
        const std::string path = KeyframeName(job.folder, k);
        if (!KeyframeStored(path, KeyframePicture(job.target, job.keyframes[static_cast<std::size_t>(k)]))) {
            return Failure(path +
                           " is missing or is not this video's keyframe; make it with set --keyframes-only "
                           "--keyframes " +
                           job.folder + " --range " + std::to_string(k) + ":" + std::to_string(k));
        }
    }
    const VideoPlan plan = PlanVideo(*job.target.deepView, job.settings);
    if (!plan.ok()) {
        return Usage(plan.error);
    }
    bool anyWritten = false;
    return EncodeVideo(job, plan, encoding, context, anyWritten);
}

} // namespace render
