#include "vector_record.h"

#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "picture_record.h"
#include "test_files.h"

namespace {

namespace fs = std::filesystem;

class VectorRecordTest : public testing::Test {
protected:
    std::string file(const std::string& name, const std::string& bytes) const {
        const std::string path = (folder_ / name).string();
        std::ofstream(path, std::ios::binary) << bytes;
        return path;
    }

    testing_support::TemporaryFolder scratch_{"vector_record"};
    fs::path folder_ = scratch_.path();
};

/// A PDF as the writer lays it out: numbered objects, a classic table, a trailer naming the
/// information dictionary `info`, and optionally updates appended after it.
class PdfBuilder {
public:
    PdfBuilder() : m_text("%PDF-1.4\n") {}

    void object(int n, const std::string& body) {
        m_offsets.push_back({n, m_text.size()});
        m_text += std::to_string(n) + " 0 obj\n" + body + "\nendobj\n";
    }
    /// A table of the objects added since the last one, and its trailer.
    void table(const std::string& trailerExtra) {
        const std::size_t at = m_text.size();
        m_text += "xref\n0 1\n0000000000 65535 f \n";
        for (const auto& [n, offset] : m_offsets) {
            char entry[40];
            std::snprintf(entry, sizeof entry, "%d 1\n%010zu 00000 n \n", n, offset);
            m_text += entry;
        }
        m_offsets.clear();
        m_text += "trailer\n<< /Size 9 /Root 1 0 R " + trailerExtra;
        if (m_lastTable) {
            m_text += " /Prev " + std::to_string(*m_lastTable);
        }
        m_text += " >>\nstartxref\n" + std::to_string(at) + "\n%%EOF\n";
        m_lastTable = at;
    }
    [[nodiscard]] const std::string& text() const { return m_text; }

private:
    std::string m_text;
    std::vector<std::pair<int, std::size_t>> m_offsets;
    std::optional<std::size_t> m_lastTable;
};

std::string Pdf(const std::string& info) {
    PdfBuilder pdf;
    pdf.object(1, "<< /Type /Catalog /Pages 2 0 R >>");
    pdf.object(2, "<< /Type /Pages /Kids [] /Count 0 >>");
    pdf.object(6, info);
    pdf.table("/Info 6 0 R");
    return pdf.text();
}

std::string Svg(const std::string& metadata) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<svg xmlns=\"http://www.w3.org/2000/svg\">\n" +
           metadata + "\n<rect width=\"4\" height=\"4\"/>\n</svg>\n";
}

struct ReadRow {
    const char* name;
    bool pdf;
    std::string bytes;
    std::optional<std::string> text; // the record read, when one is
    const char* error;               // part of the message, when reading fails
};

void PrintTo(const ReadRow& row, std::ostream* out) {
    *out << row.name;
}

class VectorRecordReadTest : public VectorRecordTest, public testing::WithParamInterface<ReadRow> {};

TEST_P(VectorRecordReadTest, ReadsTheRecordOrSaysWhy) {
    const ReadRow& row = GetParam();
    const std::string path = file(row.pdf ? "in.pdf" : "in.svg", row.bytes);
    const render::VectorRecordText read = row.pdf ? render::ReadPdfRecord(path) : render::ReadSvgRecord(path);
    if (row.error[0] == '\0') {
        EXPECT_TRUE(read.ok()) << read.error;
        EXPECT_EQ(read.text, row.text);
    } else {
        EXPECT_FALSE(read.text.has_value());
        EXPECT_NE(read.error.find(row.error), std::string::npos) << read.error;
    }
}

std::string WithUpdate() {
    // The update replaces the catalog only: the information dictionary is in the first table.
    PdfBuilder pdf;
    pdf.object(1, "<< /Type /Catalog /Pages 2 0 R >>");
    pdf.object(6, "<< /FractalsPictureRecord (first) >>");
    pdf.table("/Info 6 0 R");
    pdf.object(1, "<< /Type /Catalog /Pages 2 0 R /Lang (de) >>");
    pdf.table("/Info 6 0 R");
    return pdf.text();
}

std::string PrevLoop() {
    std::string pdf = Pdf("<< >>");
    const std::size_t xref = pdf.find("xref");
    pdf.replace(pdf.find("/Info 6 0 R"), 11, "/Prev " + std::to_string(xref));
    return pdf;
}

std::string CutBefore(std::string text, std::string_view mark) {
    return text.substr(0, text.find(mark));
}

INSTANTIATE_TEST_SUITE_P(
    Render, VectorRecordReadTest,
    testing::Values(
        ReadRow{"svg_references", false,
                Svg("<metadata id=\"fractals-picture-record\">a &amp; &lt;b&gt; &#65;&#x42;&quot;&apos; "
                    "&#xE4;</metadata>"),
                "a & <b> AB\"' \xC3\xA4", ""},
        ReadRow{"svg_line_ends", false,
                Svg("<metadata id=\"fractals-picture-record\">x\r\ny\rz\n</metadata >"), "x\ny\nz\n", ""},
        ReadRow{"svg_empty_record", false, Svg("<metadata id=\"fractals-picture-record\"></metadata>"), "",
                ""},
        ReadRow{"svg_without_record", false, Svg("<metadata id=\"other\">x</metadata>"), std::nullopt, ""},
        ReadRow{"svg_unknown_reference", false,
                Svg("<metadata id=\"fractals-picture-record\">&nbsp;</metadata>"), std::nullopt, "&nbsp;"},
        ReadRow{"svg_null_reference", false, Svg("<metadata id=\"fractals-picture-record\">&#0;</metadata>"),
                std::nullopt, "damaged"},
        ReadRow{"svg_markup_inside", false, Svg("<metadata id=\"fractals-picture-record\">a<b/></metadata>"),
                std::nullopt, "markup"},
        ReadRow{"svg_cut_in_record", false,
                CutBefore(Svg("<metadata id=\"fractals-picture-record\">abc</metadata>"), "c</metadata>"),
                std::nullopt, "truncated"},
        ReadRow{"pdf_escapes", true,
                Pdf("<< /Producer (a \\(b\\)) /FractalsPictureRecord (x\\\\y \\(z\\) (n) \\n\\101\\7\\\n"
                    "w\r\nv\\q) >>"),
                "x\\y (z) (n) \nA\aw\nvq", ""},
        ReadRow{"pdf_hex_string", true, Pdf("<< /FractalsPictureRecord <41 42\n434> >>"), "ABC@", ""},
        ReadRow{"pdf_nested_values_first", true,
                Pdf("<< /A << /B [1 (x) <00> << /C /D >>] >> /E 3 0 R %note\n/FractalsPictureRecord (r) >>"),
                "r", ""},
        ReadRow{"pdf_key_inside_a_string_is_no_key", true,
                Pdf("<< /Title (/FractalsPictureRecord (fake)) >>"), std::nullopt, ""},
        ReadRow{"pdf_without_record", true, Pdf("<< /Producer (other) >>"), std::nullopt, ""},
        ReadRow{"pdf_earlier_table", true, WithUpdate(), "first", ""},
        ReadRow{"pdf_table_stream", true, "%PDF-1.5\n9 0 obj\n<< /Type /XRef >>\nstartxref\n9\n%%EOF\n",
                std::nullopt, ""},
        ReadRow{"pdf_cut_short", true, CutBefore(Pdf("<< /FractalsPictureRecord (r) >>"), "%%EOF"),
                std::nullopt, "truncated"},
        ReadRow{"pdf_table_offset_beyond_end", true, "%PDF-1.4\nstartxref\n999999\n%%EOF\n", std::nullopt,
                "damaged"},
        ReadRow{"pdf_table_loop", true, PrevLoop(), std::nullopt, "loop"},
        ReadRow{"pdf_record_not_a_string", true, Pdf("<< /FractalsPictureRecord 12 >>"), std::nullopt,
                "damaged"},
        ReadRow{"pdf_unclosed_string", true, Pdf("<< /FractalsPictureRecord (abc >>"), std::nullopt,
                "damaged"},
        ReadRow{"not_a_pdf", true, "%!PS-Adobe", std::nullopt, "not a PDF"}),
    [](const testing::TestParamInfo<ReadRow>& info) { return std::string(info.param.name); });

TEST_F(VectorRecordTest, ARecordBeyondTheLimitIsRefusedNotHeld) {
    const std::string huge(common::kMaxPictureRecordBytes + 1, 'F');
    const render::VectorRecordText svg = render::ReadSvgRecord(
        file("huge.svg", Svg("<metadata id=\"fractals-picture-record\">" + huge + "</metadata>")));
    EXPECT_NE(svg.error.find("longer than"), std::string::npos) << svg.error;
    const render::VectorRecordText pdf =
        render::ReadPdfRecord(file("huge.pdf", Pdf("<< /FractalsPictureRecord (" + huge + ") >>")));
    EXPECT_NE(pdf.error.find("longer than"), std::string::npos) << pdf.error;
}

// A file cut anywhere is never read as some other record: a cut PDF has lost its trailer (only
// the last end of line may go), and a cut SVG gives its record only when the cut lies after it.
TEST_F(VectorRecordTest, EveryCutFileIsAnErrorOrTheWholeRecord) {
    const std::string record = "fractals-picture-record\nversion 1\nkind lsystem\n";
    const std::string pdf = Pdf("<< /Producer (fractal-render) /FractalsPictureRecord (" + record + ") >>");
    const std::string svg = Svg("<metadata id=\"fractals-picture-record\">" + record + "</metadata>");
    ASSERT_EQ(render::ReadPdfRecord(file("whole.pdf", pdf)).text, record);
    ASSERT_EQ(render::ReadSvgRecord(file("whole.svg", svg)).text, record);
    for (std::size_t size = 0; size + 1 < pdf.size(); ++size) {
        const render::VectorRecordText read = render::ReadPdfRecord(file("cut.pdf", pdf.substr(0, size)));
        EXPECT_FALSE(read.ok()) << size;
        EXPECT_FALSE(read.text.has_value()) << size;
    }
    const std::size_t end = svg.find("</metadata>") + 11;
    for (std::size_t size = 0; size < svg.size(); ++size) {
        const render::VectorRecordText read = render::ReadSvgRecord(file("cut.svg", svg.substr(0, size)));
        if (size >= end) {
            EXPECT_EQ(read.text, record) << size;
        } else {
            EXPECT_FALSE(read.text.has_value()) << size;
        }
    }
}

TEST_F(VectorRecordTest, FoldersAndPipesAreNamedWithoutWaiting) {
    fs::create_directory(folder_ / "drawing.svg");
    const std::string pipe = (folder_ / "pipe.pdf").string();
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    EXPECT_NE(render::ReadSvgRecord((folder_ / "drawing.svg").string()).error.find("folder"),
              std::string::npos);
    EXPECT_NE(render::ReadPdfRecord(pipe).error.find("not a regular file"), std::string::npos);
    EXPECT_NE(render::ReadSvgRecord(pipe).error.find("not a regular file"), std::string::npos);
}

} // namespace
