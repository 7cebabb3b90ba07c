#include "vector_file.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>
#include <vector>

#include <zlib.h>

#include "segment_clip.h"

namespace render {

namespace {

/// Longer runs are split into several polylines, which viewers handle more easily than one of
/// millions of points; the next one starts where the last ended.
constexpr int kMaxRunPoints = 4096;

using Box = common::ClipBox;

bool Outside(common::Point p, const Box& b) {
    return p.x < b.left || p.x > b.right || p.y < b.top || p.y > b.bottom;
}

std::string HexColour(common::Colour c) {
    static const char* digits = "0123456789abcdef";
    std::string s = "#";
    for (const std::uint8_t v : {c.r, c.g, c.b}) {
        s += digits[v >> 4];
        s += digits[v & 15];
    }
    return s;
}

std::string XmlEscaped(std::string_view text) {
    std::string out;
    for (const char c : text) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        default:
            out += c;
        }
    }
    return out;
}

} // namespace

VectorWriter::~VectorWriter() = default;

bool VectorWriter::start(std::FILE* file, const VectorPage& page, std::string& error) {
    m_file = file;
    m_page = page;
    m_buffer.reserve(kFlushBytes + 256);
    header();
    if (m_failed) {
        error = m_failure;
        return false;
    }
    return true;
}

void VectorWriter::closeRun() {
    if (m_inRun) {
        endRun();
        m_inRun = false;
    }
}

void VectorWriter::nodeAt(common::Point at) {
    const int r = m_page.nodeRadius;
    if (r <= 0) {
        return;
    }
    const Box area{-static_cast<double>(r), -static_cast<double>(r), static_cast<double>(m_page.width) + r,
                   static_cast<double>(m_page.height) + r};
    if (!Outside(at, area)) {
        disc(at.x, at.y, r);
    }
}

void VectorWriter::segment(common::Point from, common::Point to) {
    // A margin of a pixel keeps every segment that colours a pixel of the area.
    const Box area{-1.0, -1.0, m_page.width + 1.0, m_page.height + 1.0};
    if (std::max(from.x, to.x) < area.left || std::min(from.x, to.x) > area.right ||
        std::max(from.y, to.y) < area.top || std::min(from.y, to.y) > area.bottom) {
        closeRun();
        nodeAt(to);
        flushIfFull();
        return;
    }
    const double reach = std::max(m_page.width, m_page.height);
    const Box near{-reach, -reach, m_page.width + reach, m_page.height + reach};
    if (Outside(from, near) || Outside(to, near)) {
        double x0 = from.x;
        double y0 = from.y;
        double x1 = to.x;
        double y1 = to.y;
        closeRun();
        if (common::ClipSegment(x0, y0, x1, y1, area)) {
            beginRun(x0, y0);
            addPoint(x1, y1);
            endRun();
            ++m_segments;
        }
        nodeAt(to);
        flushIfFull();
        return;
    }
    if (!m_inRun || from != m_runEnd || m_runPoints >= kMaxRunPoints) {
        closeRun();
        beginRun(from.x, from.y);
        m_inRun = true;
        m_runPoints = 1;
    }
    addPoint(to.x, to.y);
    m_runEnd = to;
    ++m_runPoints;
    ++m_segments;
    if (m_page.nodeRadius > 0) {
        closeRun();
        nodeAt(to);
    }
    flushIfFull();
}

bool VectorWriter::finish(std::string& error) {
    closeRun();
    footer();
    if (!m_failed && std::fflush(m_file) != 0) {
        m_failed = true;
        m_failure = std::strerror(errno);
    }
    if (m_failed) {
        error = m_failure;
        return false;
    }
    return true;
}

void VectorWriter::flushBuffer() {
    writeRaw(m_buffer.data(), m_buffer.size());
    m_buffer.clear();
}

void VectorWriter::put(std::string_view text) {
    m_buffer.append(text);
}

void VectorWriter::putInt(std::int64_t v) {
    char digits[24];
    const auto [end, ec] = std::to_chars(digits, digits + sizeof digits, v);
    m_buffer.append(digits, end);
}

void VectorWriter::putNumber(double v) {
    if (v == std::floor(v) && std::fabs(v) < 1e15) {
        putInt(static_cast<std::int64_t>(v));
        return;
    }
    char digits[64];
    const auto [end, ec] = std::to_chars(digits, digits + sizeof digits, v, std::chars_format::fixed, 3);
    m_buffer.append(digits, end);
}

void VectorWriter::writeRaw(const char* data, std::size_t size) {
    if (m_failed || size == 0) {
        return;
    }
    if (std::fwrite(data, 1, size, m_file) != size) {
        m_failed = true;
        m_failure = std::strerror(errno);
        return;
    }
    m_fileBytes += size;
}

namespace {

class SvgWriter final : public VectorWriter {
protected:
    void header() override {
        const VectorPage& p = page();
        put("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"");
        putInt(p.width);
        put("\" height=\"");
        putInt(p.height);
        put("\" viewBox=\"0 0 ");
        putInt(p.width);
        put(" ");
        putInt(p.height);
        put("\">\n<metadata id=\"fractals-picture-record\">");
        put(XmlEscaped(p.record));
        put("</metadata>\n<rect width=\"");
        putInt(p.width);
        put("\" height=\"");
        putInt(p.height);
        put("\" fill=\"");
        put(HexColour(p.background));
        // Lines where the canvas paints them, round ends as its wide pens have, so the runs a
        // long line is split into join without a notch. Presentation attributes rather than a
        // style sheet, which some renderers ignore.
        put(lineOffset() == 1.0 ? "\" stroke=\"none\"/>\n<g transform=\"translate(1 1)"
                                : "\" stroke=\"none\"/>\n<g transform=\"translate(0.5 0.5)");
        put("\" fill=\"none\" stroke=\"");
        put(HexColour(p.pen));
        put("\" stroke-width=\"");
        putInt(std::max(p.penWidth, 1));
        // A one-pixel pen ends where the canvas's does, without a cap; wider ones are round.
        put(p.penWidth > 1 ? "\" stroke-linejoin=\"round\" stroke-linecap=\"round\">\n"
                           : "\" stroke-linejoin=\"round\">\n");
        m_nodeFill = "\" fill=\"" + HexColour(p.node) + "\" stroke=\"none\"/>\n";
        // Discs stay centred half a pixel right and below their point whatever the line offset.
        m_discShift = 0.5 - lineOffset();
    }
    void beginRun(double x, double y) override {
        put("<polyline points=\"");
        putNumber(x);
        put(",");
        putNumber(y);
    }
    void addPoint(double x, double y) override {
        put(" ");
        putNumber(x);
        put(",");
        putNumber(y);
    }
    void endRun() override { put("\"/>\n"); }
    void disc(double x, double y, double r) override {
        put("<circle cx=\"");
        putNumber(x + m_discShift);
        put("\" cy=\"");
        putNumber(y + m_discShift);
        put("\" r=\"");
        putNumber(r);
        put(m_nodeFill);
    }
    void footer() override {
        put("</g>\n</svg>\n");
        flushBuffer();
    }

private:
    std::string m_nodeFill;
    double m_discShift = 0.0;
};

/// A one-page PDF whose page is the area at 96 pixels per inch; the drawing is one content
/// stream, compressed as it is written, its length an object of its own written after it.
/// A page side may be at most 14400 units; a larger drawing gets a user unit (PDF 1.6) of
/// several points, so its page keeps its size in points.
class PdfWriter final : public VectorWriter {
public:
    ~PdfWriter() override {
        if (m_zlibOpen) {
            deflateEnd(&m_zlib);
        }
    }

protected:
    void header() override {
        const VectorPage& p = page();
        const double largest = std::max(p.width, p.height) * kPointsPerPixel;
        const double userUnit = largest > kMaxPageUnits ? std::ceil(largest / kMaxPageUnits) : 1.0;
        const double unitsPerPixel = kPointsPerPixel / userUnit;
        const double w = p.width * unitsPerPixel;
        const double h = p.height * unitsPerPixel;
        raw(userUnit > 1.0 ? "%PDF-1.6\n%\xE2\xE3\xCF\xD3\n" : "%PDF-1.4\n%\xE2\xE3\xCF\xD3\n");
        object(1, "<< /Type /Catalog /Pages 2 0 R >>");
        object(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
        object(3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 " + number(w, 10) + " " + number(h, 10) + "]" +
                      (userUnit > 1.0 ? " /UserUnit " + number(userUnit) : std::string()) +
                      " /Contents 4 0 R /Resources << >> >>");
        m_offsets[4] = m_fileBytes;
        raw("4 0 obj\n<< /Length 5 0 R /Filter /FlateDecode >>\nstream\n");
        m_streamStart = m_fileBytes;
        // The fastest level: the content is plain number text, which compresses well anyway.
        if (deflateInit(&m_zlib, 1) != Z_OK) {
            m_failed = true;
            m_failure = "cannot start the compression";
            return;
        }
        m_zlibOpen = true;
        // Pixels of the area, y downwards, clipped to the area.
        // With a user unit the scale is no short decimal; ten places keep the far edge of a
        // million pixels within a hundred-thousandth of a unit.
        put("q " + number(unitsPerPixel, 10) + " 0 0 " + number(-unitsPerPixel, 10) + " 0 " + number(h, 10) +
            " cm\n");
        put("0 0 " + std::to_string(p.width) + " " + std::to_string(p.height) + " re W n\n");
        put(colour(p.background) + " rg 0 0 " + std::to_string(p.width) + " " + std::to_string(p.height) +
            " re f\n");
        put("1 0 0 1 " + number(lineOffset()) + " " + number(lineOffset()) + " cm " + colour(p.pen) + " RG " +
            colour(p.node) + " rg " + std::to_string(std::max(p.penWidth, 1)) + " w 1 j" +
            (p.penWidth > 1 ? " 1 J\n" : "\n"));
        m_discShift = 0.5 - lineOffset();
    }
    void beginRun(double x, double y) override {
        putNumber(x);
        put(" ");
        putNumber(y);
        put(" m\n");
    }
    void addPoint(double x, double y) override {
        putNumber(x);
        put(" ");
        putNumber(y);
        put(" l\n");
    }
    void endRun() override { put("S\n"); }
    void disc(double x, double y, double r) override {
        x += m_discShift;
        y += m_discShift;
        // Four cubic Béziers, each a quarter circle.
        const double k = 0.5522847498 * r;
        const double points[][6] = {{x + r, y + k, x + k, y + r, x, y + r},
                                    {x - k, y + r, x - r, y + k, x - r, y},
                                    {x - r, y - k, x - k, y - r, x, y - r},
                                    {x + k, y - r, x + r, y - k, x + r, y}};
        putNumber(x + r);
        put(" ");
        putNumber(y);
        put(" m\n");
        for (const auto& c : points) {
            for (const double v : c) {
                putNumber(v);
                put(" ");
            }
            put("c\n");
        }
        put("f\n");
    }
    void flushBuffer() override { compress(Z_NO_FLUSH); }
    void footer() override {
        put("Q\n");
        compress(Z_FINISH);
        const std::uint64_t length = m_fileBytes - m_streamStart;
        raw("\nendstream\nendobj\n");
        object(5, std::to_string(length));
        object(6, "<< /Producer (fractal-render) /Title (L-system drawing) /FractalsPictureRecord (" +
                      pdfString(page().record) + ") >>");
        const std::uint64_t xref = m_fileBytes;
        raw("xref\n0 7\n0000000000 65535 f \n");
        for (int i = 1; i <= 6; ++i) {
            char entry[32];
            std::snprintf(entry, sizeof entry, "%010llu 00000 n \n",
                          static_cast<unsigned long long>(m_offsets[i]));
            raw(entry);
        }
        raw("trailer\n<< /Size 7 /Root 1 0 R /Info 6 0 R >>\nstartxref\n" + std::to_string(xref) +
            "\n%%EOF\n");
    }

private:
    static constexpr double kPointsPerPixel = 0.75;
    static constexpr double kMaxPageUnits = 14400.0;

    static std::string number(double v, int decimals = 4) {
        char digits[64];
        const auto [end, ec] =
            std::to_chars(digits, digits + sizeof digits, v, std::chars_format::fixed, decimals);
        std::string s(digits, end);
        while (s.back() == '0') {
            s.pop_back();
        }
        if (s.back() == '.') {
            s.pop_back();
        }
        return s;
    }
    static std::string colour(common::Colour c) {
        return number(c.r / 255.0) + " " + number(c.g / 255.0) + " " + number(c.b / 255.0);
    }
    static std::string pdfString(std::string_view text) {
        std::string out;
        for (const char c : text) {
            if (c == '\\' || c == '(' || c == ')') {
                out += '\\';
                out += c;
            } else if (c == '\n') {
                out += "\\n";
            } else {
                out += c;
            }
        }
        return out;
    }
    void raw(std::string_view text) { writeRaw(text.data(), text.size()); }
    void object(int n, const std::string& body) {
        m_offsets[n] = m_fileBytes;
        raw(std::to_string(n) + " 0 obj\n" + body + "\nendobj\n");
    }
    void compress(int flush) {
        if (!m_zlibOpen) {
            m_buffer.clear();
            return;
        }
        m_zlib.next_in = reinterpret_cast<Bytef*>(m_buffer.data());
        m_zlib.avail_in = static_cast<uInt>(m_buffer.size());
        char out[1 << 16];
        int status = Z_OK;
        do {
            m_zlib.next_out = reinterpret_cast<Bytef*>(out);
            m_zlib.avail_out = sizeof out;
            status = deflate(&m_zlib, flush);
            writeRaw(out, sizeof out - m_zlib.avail_out);
        } while (m_zlib.avail_out == 0 ||
                 (flush == Z_FINISH && status != Z_STREAM_END && status != Z_STREAM_ERROR));
        m_buffer.clear();
    }

    double m_discShift = 0.0;
    z_stream m_zlib{};
    bool m_zlibOpen = false;
    std::uint64_t m_streamStart = 0;
    std::uint64_t m_offsets[7] = {};
};

} // namespace

std::unique_ptr<VectorWriter> VectorWriter::Svg() {
    return std::make_unique<SvgWriter>();
}

std::unique_ptr<VectorWriter> VectorWriter::Pdf() {
    return std::make_unique<PdfWriter>();
}

} // namespace render
