#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

#include "canvas.h"

namespace render {

/// What a vector drawing shows besides its segments.
struct VectorPage {
    int width = 0; // pixels of the drawing area
    int height = 0;
    common::Colour background = common::kWhite;
    common::Colour pen = common::kBlack;
    common::Colour node = common::kRed;
    int nodeRadius = 0; // pixels; 0 or less draws no discs
    int penWidth = 1;   // pixels, as the canvas paints them (an even width half a pixel right and below)
    std::string record; // the parameter record's text
};

/// Writes the walk's segments as they come, holding none of them: a run of joined segments
/// becomes one polyline, a node disc a circle after the segment it ends (so the next segment
/// lies over it, as on the window's canvas). Segments that miss the area are left out; the
/// rest keep the walk's end points exactly and the file clips them to the area, except a
/// segment reaching farther than the area's size beyond it, which is cut near the area's edge
/// so that no viewer meets coordinates near the 32-bit limits.
class VectorWriter {
public:
    virtual ~VectorWriter();
    VectorWriter(const VectorWriter&) = delete;
    VectorWriter& operator=(const VectorWriter&) = delete;

    /// An SVG or a PDF writer.
    [[nodiscard]] static std::unique_ptr<VectorWriter> Svg();
    [[nodiscard]] static std::unique_ptr<VectorWriter> Pdf();

    bool start(std::FILE* file, const VectorPage& page, std::string& error);
    void segment(common::Point from, common::Point to);
    /// After the last segment; the file stays open. False with a reason when any write failed.
    bool finish(std::string& error);

    [[nodiscard]] std::uint64_t segmentsWritten() const { return m_segments; }

protected:
    VectorWriter() = default;

    // The format's pieces; coordinates are pixels of the area, y downwards.
    virtual void header() = 0;
    virtual void beginRun(double x, double y) = 0;
    virtual void addPoint(double x, double y) = 0;
    virtual void endRun() = 0;
    virtual void disc(double x, double y, double r) = 0;
    virtual void footer() = 0;
    /// Takes the buffered bytes; the PDF writer compresses them first.
    virtual void flushBuffer();

    void put(std::string_view text);
    void putNumber(double v);
    void putInt(std::int64_t v);
    /// Writes bytes to the file directly, counting them.
    void writeRaw(const char* data, std::size_t size);
    void flushIfFull() {
        if (m_buffer.size() >= kFlushBytes) {
            flushBuffer();
        }
    }

    static constexpr std::size_t kFlushBytes = 1 << 16;

    const VectorPage& page() const { return m_page; }
    /// Where the walk's integer points lie in the area: the centre of the line the canvas
    /// paints through them, which is the pixel centre for odd pen widths and the corner below
    /// and right of it for even ones.
    [[nodiscard]] double lineOffset() const { return m_page.penWidth % 2 == 0 ? 1.0 : 0.5; }
    std::FILE* m_file = nullptr;
    std::string m_buffer;
    std::uint64_t m_fileBytes = 0;
    bool m_failed = false;
    std::string m_failure;

private:
    void closeRun();
    void nodeAt(common::Point at);

    VectorPage m_page;
    bool m_inRun = false;
    common::Point m_runEnd;
    int m_runPoints = 0;
    std::uint64_t m_segments = 0;
};

} // namespace render
