#include <cmath>
#include <cstdint>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include <QByteArray>
#include <QFile>
#include <QImage>
#include <QPrinter>
#include <QPrinterInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "qt_services.h"

namespace {

QByteArray readFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    return file.readAll();
}

/// Page objects in a PDF: "/Type /Page" not followed by the "s" of the page tree.
int pdfPageCount(const QByteArray& pdf) {
    const QByteArray marker("/Type /Page");
    int pages = 0;
    for (qsizetype at = pdf.indexOf(marker); at >= 0; at = pdf.indexOf(marker, at + 1)) {
        const qsizetype next = at + marker.size();
        if (next >= pdf.size() || pdf.at(next) != 's') {
            ++pages;
        }
    }
    return pages;
}

common::RgbImage stripes(int w, int h) {
    common::RgbImage image(w, h);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            image.set(x, y, (x / 4) % 2 == 0 ? common::kRed : common::kYellow);
        }
    }
    return image;
}

class PdfPrinting : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(folder.isValid());
        pdfPath = folder.filePath("druck.pdf");
        services.setPdfOutputForTesting(pdfPath);
    }

    QTemporaryDir folder;
    QString pdfPath;
    platform::QtServices services;
};

TEST_F(PdfPrinting, JobWithImageTextAndSecondPageGivesTwoPages) {
    ASSERT_TRUE(services.hasPrinter());
    std::string error;
    std::unique_ptr<common::PrintJob> job = services.startPrintJob("Apfelmännchen", error);
    ASSERT_NE(job, nullptr) << error;

    const common::Rect page = job->pageRect();
    EXPECT_EQ(page.left, 0);
    EXPECT_EQ(page.top, 0);
    // High resolution: far more printer pixels than a screen shows.
    EXPECT_GT(page.width(), 1000);
    EXPECT_GT(page.height(), 1000);

    job->drawImage({0, 0, page.width() / 2, page.width() / 2}, stripes(61, 61));
    job->setFont({"Courier New", true, 12});
    job->drawText(0, page.width() / 2 + 50, "Größe 1:1");
    job->newPage();
    job->drawText(100, 100, "Seite 2");
    ASSERT_TRUE(job->end(error)) << error;
    job.reset();

    const QByteArray pdf = readFile(pdfPath);
    ASSERT_TRUE(pdf.startsWith("%PDF"));
    EXPECT_EQ(pdfPageCount(pdf), 2);
    const QString pdfinfo = QStandardPaths::findExecutable("pdfinfo");
    ASSERT_FALSE(pdfinfo.isEmpty()) << "pdfinfo (poppler-utils) is part of the test set-up";
    QProcess info;
    info.start(pdfinfo, {pdfPath});
    ASSERT_TRUE(info.waitForFinished(30000));
    const QString out = QString::fromUtf8(info.readAllStandardOutput());
    const QRegularExpressionMatch pages = QRegularExpression(R"(Pages:\s+(\d+))").match(out);
    ASSERT_TRUE(pages.hasMatch()) << out.toStdString();
    EXPECT_EQ(pages.captured(1).toInt(), 2);
    EXPECT_TRUE(out.contains(QStringLiteral("Apfelmännchen"))) << "the document name is the title";
}

// Noise is the worst case for a lossy encoder: every pixel differs from its neighbours, so
// any compression artefact shows up as a changed colour somewhere.
TEST_F(PdfPrinting, PrintedPictureKeepsEveryPixel) {
    const QString pdftoppm = QStandardPaths::findExecutable("pdftoppm");
    ASSERT_FALSE(pdftoppm.isEmpty()) << "pdftoppm (poppler-utils) is part of the test set-up";
    constexpr int kSide = 61;
    common::RgbImage picture(kSide, kSide);
    std::uint32_t seed = 12345;
    for (int y = 0; y < kSide; ++y) {
        for (int x = 0; x < kSide; ++x) {
            seed = seed * 1664525u + 1013904223u;
            picture.set(x, y,
                        {static_cast<std::uint8_t>(seed >> 24), static_cast<std::uint8_t>(seed >> 16),
                         static_cast<std::uint8_t>(seed >> 8)});
        }
    }
    std::string error;
    std::unique_ptr<common::PrintJob> job = services.startPrintJob("Bild", error);
    ASSERT_NE(job, nullptr) << error;
    // 100 printer pixels per picture pixel, which pdftoppm at a twelfth of the printer's
    // resolution turns into 100 / 12 screen pixels per picture pixel.
    const int cell = 100;
    job->drawImage({0, 0, kSide * cell, kSide * cell}, picture);
    ASSERT_TRUE(job->end(error)) << error;
    job.reset();

    QPrinter reference(QPrinter::HighResolution);
    reference.setOutputFormat(QPrinter::PdfFormat);
    reference.setOutputFileName(folder.filePath("reference.pdf"));
    const int dpi = reference.resolution() / 12;
    const double perDot = static_cast<double>(dpi) / reference.resolution();
    const QRectF paper = reference.paperRect(QPrinter::DevicePixel);
    const QRectF page = reference.pageRect(QPrinter::DevicePixel);

    QProcess render;
    const QString prefix = folder.filePath("seite");
    render.start(pdftoppm, {"-r", QString::number(dpi), "-png", "-singlefile", pdfPath, prefix});
    ASSERT_TRUE(render.waitForFinished(60000));
    ASSERT_EQ(render.exitCode(), 0) << render.readAllStandardError().toStdString();
    const QImage png(prefix + ".png");
    ASSERT_FALSE(png.isNull());

    int wrong = 0;
    for (int y = 0; y < kSide; ++y) {
        for (int x = 0; x < kSide; ++x) {
            // The middle of the picture pixel's square on the rendered page.
            const int px =
                static_cast<int>(std::floor((page.left() - paper.left() + (x + 0.5) * cell) * perDot));
            const int py =
                static_cast<int>(std::floor((page.top() - paper.top() + (y + 0.5) * cell) * perDot));
            const QColor got = png.pixelColor(px, py);
            const common::Colour want = picture.at(x, y);
            if (got.red() != want.r || got.green() != want.g || got.blue() != want.b) {
                if (++wrong <= 5) {
                    ADD_FAILURE() << "pixel " << x << "," << y << ": printed " << got.red() << ","
                                  << got.green() << "," << got.blue() << ", picture " << int(want.r) << ","
                                  << int(want.g) << "," << int(want.b);
                }
            }
        }
    }
    EXPECT_EQ(wrong, 0) << "of " << kSide * kSide << " pixels";
}

TEST_F(PdfPrinting, TwoJobsInARowBothPrint) {
    std::string error;
    for (int run = 0; run < 2; ++run) {
        QFile::remove(pdfPath);
        std::unique_ptr<common::PrintJob> job = services.startPrintJob("Bild", error);
        ASSERT_NE(job, nullptr) << "run " << run << ": " << error;
        job->drawText(10, 10, "x");
        ASSERT_TRUE(job->end(error)) << error;
        EXPECT_EQ(pdfPageCount(readFile(pdfPath)), 1) << "run " << run;
    }
}

TEST_F(PdfPrinting, OutputThatCannotBeOpenedIsReported) {
    services.setPdfOutputForTesting(folder.filePath("fehlt/druck.pdf"));
    std::string error;
    EXPECT_EQ(services.startPrintJob("Bild", error), nullptr);
    EXPECT_EQ(error, "Der Druckauftrag konnte nicht gestartet werden.");
    error.clear();
    EXPECT_FALSE(services.printText({"Zeile"}, {"Courier New", false, 10}, "", error));
    EXPECT_EQ(error, "Der Druckauftrag konnte nicht gestartet werden.");
}

struct TextCase {
    const char* name;
    int lines;
    int minPages;
    int maxPages;
};

void PrintTo(const TextCase& c, std::ostream* os) {
    *os << c.name;
}

class PrintTextPages : public PdfPrinting, public ::testing::WithParamInterface<TextCase> {};

TEST_P(PrintTextPages, LaysLinesOutOverPages) {
    std::vector<std::string> lines;
    for (int i = 0; i < GetParam().lines; ++i) {
        lines.push_back("Zeile " + std::to_string(i + 1) + ": F -> F+F-F-FF+F+F-F");
    }
    std::string error;
    ASSERT_TRUE(services.printText(lines, {"Courier New", false, 10}, "", error)) << error;
    const QByteArray pdf = readFile(pdfPath);
    ASSERT_TRUE(pdf.startsWith("%PDF"));
    const int pages = pdfPageCount(pdf);
    EXPECT_GE(pages, GetParam().minPages);
    EXPECT_LE(pages, GetParam().maxPages);
}

// A 10-point line is about 1/6 inch, so an A4 or letter page holds roughly 50 to 70 of them.
INSTANTIATE_TEST_SUITE_P(Lengths, PrintTextPages,
                         ::testing::Values(TextCase{"few_lines_one_page", 3, 1, 1},
                                           TextCase{"many_lines_several_pages", 300, 4, 7}),
                         [](const ::testing::TestParamInfo<TextCase>& info) {
                             return std::string(info.param.name);
                         });

TEST_F(PdfPrinting, PrintedTextKeepsEveryLineInOrder) {
    const QString pdftotext = QStandardPaths::findExecutable("pdftotext");
    ASSERT_FALSE(pdftotext.isEmpty()) << "pdftotext (poppler-utils) is part of the test set-up";
    std::vector<std::string> lines;
    for (int i = 0; i < 150; ++i) {
        lines.push_back("Regel " + std::to_string(i) + " für Äste");
    }
    std::string error;
    ASSERT_TRUE(services.printText(lines, {"Courier New", true, 10}, "", error)) << error;
    QProcess convert;
    convert.start(pdftotext, {"-layout", pdfPath, "-"});
    ASSERT_TRUE(convert.waitForFinished(30000));
    const QString text = QString::fromUtf8(convert.readAllStandardOutput());
    qsizetype at = 0;
    for (const std::string& line : lines) {
        at = text.indexOf(QString::fromStdString(line), at);
        ASSERT_GE(at, 0) << "missing or out of order: " << line;
    }
    // Nothing but the lines: no page numbers, headers or footers.
    for (const QString& row : text.split(QRegularExpression("[\\n\\f]"), Qt::SkipEmptyParts)) {
        if (!row.trimmed().isEmpty()) {
            EXPECT_TRUE(row.trimmed().startsWith(QLatin1String("Regel "))) << row.toStdString();
        }
    }
    // A document without a name has no title, not the program's.
    QProcess info;
    info.start(QStandardPaths::findExecutable("pdfinfo"), {pdfPath});
    ASSERT_TRUE(info.waitForFinished(30000));
    const QString out = QString::fromUtf8(info.readAllStandardOutput());
    const QRegularExpressionMatch title =
        QRegularExpression(R"(^Title:[ \t]*(\S.*)$)", QRegularExpression::MultilineOption).match(out);
    EXPECT_FALSE(title.hasMatch()) << "title: " << title.captured(1).toStdString();
}

TEST(Printing, WithoutAnyPrinterNothingStarts) {
    if (!QPrinterInfo::defaultPrinter().isNull()) {
        GTEST_SKIP() << "this system has a default printer";
    }
    platform::QtServices services;
    EXPECT_FALSE(services.hasPrinter());
    std::string error;
    EXPECT_EQ(services.startPrintJob("Bild", error), nullptr);
    EXPECT_EQ(error, "Es ist kein Drucker verfügbar.");
    error.clear();
    EXPECT_FALSE(services.printText({"x"}, {"Courier New", false, 10}, "", error));
    EXPECT_EQ(error, "Es ist kein Drucker verfügbar.");
}

} // namespace
