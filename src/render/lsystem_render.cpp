#include "lsystem_render.h"

#include <algorithm>
#include <chrono>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "atomic_file.h"
#include "jpeg_file.h"
#include "png_file.h"
#include "services.h"
#include "stop_request.h"
#include "turtle.h"
#include "vector_file.h"

namespace render {

namespace {

/// The platform as a walk without a window sees it: no boxes, no dialogs, no printer; Escape
/// is the stop request; the message pump, reached every few milliseconds, reports progress.
class WalkServices final : public common::HeadlessServices {
public:
    explicit WalkServices(const WalkControl& control) : m_control(control) {}

    void messageBox(const common::MessageBoxRequest&) override {
        // The only box a walk without pause mode shows: the stack overflow.
        m_stackFull = true;
    }
    bool escapePressed() override { return m_control.stop != nullptr && m_control.stop->load(); }
    void pumpMessages() override {
        if (m_control.progress && m_walk != nullptr) {
            m_control.progress(m_walk->segmentsDrawn(), m_total);
        }
    }

    void watch(const lsystem::FormulaWalk& walk, double total) {
        m_walk = &walk;
        m_total = total;
    }
    [[nodiscard]] bool stackFull() const { return m_stackFull; }

private:
    const WalkControl& m_control;
    const lsystem::FormulaWalk* m_walk = nullptr;
    double m_total = 0.0;
    bool m_stackFull = false;
};

WalkResult Walk(const LsystemPicture& picture, common::Canvas& canvas,
                const lsystem::FormulaWalk::SegmentObserver* observer, const WalkControl& control) {
    WalkServices services(control);
    lsystem::Turtle turtle;
    turtle.Factor = picture.factor;
    lsystem::FormulaWalk walk(turtle, canvas, services);
    if (observer != nullptr) {
        walk.setSegmentObserver(*observer);
        walk.observeOnly(picture.width(), picture.height());
    }
    services.watch(walk, SegmentsOfWalk(picture.settings));
    walk.StartDrawing(picture.settings);
    WalkResult result;
    result.stopped = control.stop != nullptr && control.stop->load();
    result.stackFull = services.stackFull();
    result.segments = walk.segmentsDrawn();
    return result;
}

bool StopRequested(const WalkControl& control) {
    return render::StopRequested(control.stop);
}

/// The rows of a finished canvas to a JPEG or PNG encoder, a strip at a time.
WriteStatus EncodeCanvas(const common::RgbImage& image, DrawingFormat format, std::FILE* file,
                         const std::string& record, const WalkControl& control, std::string& error) {
    common::JpegStreamWriter jpeg;
    PngStreamWriter png;
    const bool isJpeg = format == DrawingFormat::Jpeg;
    if (!(isJpeg ? jpeg.start(file, image.width, image.height, record, error)
                 : png.start(file, image.width, image.height, record, error))) {
        return WriteStatus::Failed;
    }
    constexpr int kStripRows = 64;
    for (int y = 0; y < image.height; y += kStripRows) {
        if (control.encodeProgress) {
            control.encodeProgress(y, image.height);
        }
        if (StopRequested(control)) {
            return WriteStatus::Stopped;
        }
        const int rows = std::min(kStripRows, image.height - y);
        const std::uint8_t* data = image.pixels.data() + static_cast<std::size_t>(y) * image.rowBytes();
        if (!(isJpeg ? jpeg.writeRows(data, rows, error) : png.writeRows(data, rows, error))) {
            return WriteStatus::Failed;
        }
    }
    if (!(isJpeg ? jpeg.finish(error) : png.finish(error))) {
        return WriteStatus::Failed;
    }
    if (control.encodeProgress) {
        control.encodeProgress(image.height, image.height);
    }
    return WriteStatus::Done;
}

} // namespace

WalkResult DrawOnCanvas(const LsystemPicture& picture, common::Canvas& canvas, const WalkControl& control) {
    lsystem::ClearArea(canvas, picture.width(), picture.height(), picture.background, picture.pen);
    return Walk(picture, canvas, nullptr, control);
}

WalkResult WalkSegments(const LsystemPicture& picture, const lsystem::FormulaWalk::SegmentObserver& observer,
                        const WalkControl& control) {
    common::Canvas none;
    return Walk(picture, none, &observer, control);
}

bool FormatHoldsRecord(DrawingFormat format, std::string_view record) {
    return format != DrawingFormat::Jpeg || record.size() <= common::kMaxJpegCommentBytes;
}

WriteStatus WriteLsystemPicture(const LsystemPicture& picture, const std::string& path, DrawingFormat format,
                                const WalkControl& control, bool& stackFull, std::string& error) {
    const bool vector = format == DrawingFormat::Svg || format == DrawingFormat::Pdf;
    common::Canvas canvas;
    if (!vector) {
        try {
            // The window's bitmap starts white before its first clear.
            canvas.resize(picture.width(), picture.height(), common::kWhite);
        } catch (const std::bad_alloc&) {
            const std::int64_t bytes = std::int64_t{picture.width()} * picture.height() * 3;
            error = "not enough memory for the " + std::to_string(picture.width()) + "x" +
                    std::to_string(picture.height()) + " canvas it is drawn on (" +
                    std::to_string((bytes + (1 << 20) - 1) >> 20) + " MiB)";
            return WriteStatus::Failed;
        }
    }
    common::AtomicFile output;
    if (!output.open(path, error)) {
        return WriteStatus::Failed;
    }
    std::string record = common::FormatPictureRecord(picture.record);
    if (!FormatHoldsRecord(format, record)) {
        record.clear();
    }
    WalkResult walked;
    if (vector) {
        std::unique_ptr<VectorWriter> writer =
            format == DrawingFormat::Svg ? VectorWriter::Svg() : VectorWriter::Pdf();
        VectorPage page;
        page.width = picture.width();
        page.height = picture.height();
        page.background = picture.background;
        page.pen = picture.pen;
        page.nodeRadius = picture.settings.NodeRadius;
        page.penWidth = picture.settings.penWidth;
        page.record = record;
        if (!writer->start(output.file(), page, error)) {
            return WriteStatus::Failed;
        }
        VectorWriter& sink = *writer;
        walked = WalkSegments(
            picture, [&sink](common::Point from, common::Point to) { sink.segment(from, to); }, control);
        if (walked.stopped) {
            return WriteStatus::Stopped;
        }
        if (!writer->finish(error)) {
            return WriteStatus::Failed;
        }
    } else {
        walked = DrawOnCanvas(picture, canvas, control);
        if (walked.stopped) {
            return WriteStatus::Stopped;
        }
        if (const WriteStatus encoded =
                EncodeCanvas(canvas.image(), format, output.file(), record, control, error);
            encoded != WriteStatus::Done) {
            return encoded;
        }
    }
    switch (CommitUnlessStopped(control.stop, [&] { return output.commit(error); })) {
    case CommitStatus::Stopped:
        return WriteStatus::Stopped;
    case CommitStatus::Failed:
        return WriteStatus::Failed;
    case CommitStatus::Done:
        break;
    }
    stackFull = walked.stackFull;
    return WriteStatus::Done;
}

} // namespace render
