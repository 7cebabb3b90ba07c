// Numbered picture files, the slide show and printing.
#include "explorer_window.h"

#include <QPlainTextEdit>

#include <cmath>
#include <sys/stat.h>

#include "explorer_help.h"
#include "jpeg_file.h"
#include "paths.h"
#include "picture_files.h"

namespace explorer {

namespace {

const char* const kPictureFilter = "JPG-Dateien |*.jpg";
const char* const kDocumentName = "Apfelmännchen";

bool fileExists(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

std::string cannotEnterFolder(const std::string& folder) {
    return "Der Ordner \"" + folder + "\" ist nicht erreichbar.";
}

} // namespace

// The picture dialog of D, S and B: in PicDir, for JPEG files, proposing a name.
std::optional<std::string> ExplorerWindow::askPicturePath(const std::string& proposedName) {
    common::FileDialogRequest request;
    request.kind = common::FileDialogKind::Save;
    request.initialFolder = m_s.PicDir;
    request.fileName = proposedName;
    request.filter = kPictureFilter;
    request.defaultExtension = "jpg";
    return m_services.fileDialog(request);
}

// Shows the picture dialog in PicDir until a file is chosen. False when the command must end:
// the folder cannot be made current, or the user cancelled twice in a row.
bool ExplorerWindow::chooseFile(const std::string& proposedName, bool makeCurrent, std::string& chosenName) {
    int cancels = 0;
    while (m_s.PicDir.empty() || chosenName.empty()) {
        if (makeCurrent && !common::SetCurrentDirectory(m_s.PicDir)) {
            m_services.errorReport(cannotEnterFolder(m_s.PicDir));
            return false;
        }
        const std::optional<std::string> path = askPicturePath(proposedName);
        if (m_closing) {
            return false;
        }
        if (!path) {
            // Reopening on Cancel keeps the user in the command; a second Cancel lets them out.
            if (++cancels >= 2) {
                return false;
            }
            continue;
        }
        cancels = 0;
        const ChosenFile chosen = SplitChosenPath(*path);
        m_s.PicDir = chosen.folder;
        chosenName = chosen.name;
    }
    return true;
}

void ExplorerWindow::folderCommand() {
    ClearPicture();
    m_services.message("Bitte zuerst einen Dateiordner auswählen !");
    if (!common::SetCurrentDirectory(m_s.PicDir)) {
        m_services.errorReport(cannotEnterFolder(m_s.PicDir));
        return;
    }
    if (const std::optional<std::string> path = askPicturePath(m_s.PicBaseName)) {
        const ChosenFile chosen = SplitChosenPath(*path);
        if (!chosen.folder.empty()) {
            m_s.PicDir = chosen.folder;
        }
        // A name with nothing before its first dot leaves the base empty; the name box below
        // offers it for correction, and an empty base still makes a valid file name (_001.JPG).
        m_s.PicBaseName = CutAtFirstDot(chosen.name);
    }
    if (m_closing) {
        return;
    }
    m_services.message("Zielordner = " + m_s.PicDir);
    const std::string name = TrimBlanks(m_services.inputBox("Name der JPEG-Datei", "", m_s.PicBaseName));
    if (!name.empty()) {
        m_s.PicBaseName = name;
    }
    m_s.PicNumber = StartNumberFromAnswer(m_services.inputBox("Startnummer der JPEG-Datei (>0)",
                                                              " Die Dateien werden fortlaufend nummeriert",
                                                              std::to_string(m_s.PicNumber)));
    m_s.ZoomPending = false;
    m_s.UseOriginalColours = true;
}

void ExplorerWindow::SaveNumberedPicture() {
    m_services.setBusyCursor(true);
    const std::string name = PictureFileName(m_s.PicDir, m_s.PicBaseName, m_s.PicNumber);
    // The number advances even when the write fails, so that number is skipped.
    if (m_s.PicNumber < INT32_MAX) {
        ++m_s.PicNumber;
    }
    const common::RgbImage picture = m_picture.copyRect({0, 0, width(), height()});
    // A band on the drawing is stored with it, and no record can make those pixels again; once
    // the band is erased, the picture is the plain drawing again (not-xor restores every pixel).
    const bool plainDrawing = m_drawnRecord && !BandValid(m_s.BandAnchor, m_s.BandCorner);
    const common::JpegResult written = common::WriteJpeg(
        name, picture, plainDrawing ? common::FormatPictureRecord(*m_drawnRecord) : std::string());
    m_services.setBusyCursor(false);
    if (!written.ok) {
        m_services.errorReport("Die Bilddatei \"" + name +
                               "\" konnte nicht gespeichert werden: " + written.error);
    }
}

void ExplorerWindow::showCommand() {
    ClearPicture();
    m_services.message("Erste nummerierte Bilddatei auswählen");
    std::string firstName;
    if (!chooseFile(m_s.PicBaseName, true, firstName)) {
        return;
    }
    const std::optional<NumberedName> first = ReadNumberedName(firstName);
    if (!first) {
        m_services.message("Falsche Datei !");
        return;
    }
    m_s.ShowFirst = first->number;
    m_services.message("Letzte nummerierte Bilddatei auswählen");
    std::string lastName = firstName;
    if (const std::optional<std::string> path = askPicturePath(firstName)) {
        const ChosenFile chosen = SplitChosenPath(*path);
        if (!chosen.folder.empty() && !chosen.name.empty()) {
            m_s.PicDir = chosen.folder;
            lastName = chosen.name;
        }
    }
    if (m_closing) {
        return;
    }
    const std::optional<NumberedName> last = ReadNumberedName(lastName);
    if (!last || last->prefix != first->prefix) {
        m_services.message("Falsche Datei !");
        return;
    }
    m_s.ShowLast = last->number;
    m_s.PicBaseName = first->prefix;
    if (m_s.ShowLast < m_s.ShowFirst) {
        std::swap(m_s.ShowFirst, m_s.ShowLast);
    }
    m_s.ShowDelay = 1000 * ShowDelaySecondsFromAnswer(m_services.inputBox(
                               "Wartezeit in Sekunden (1..60)", "", std::to_string(m_s.ShowDelay / 1000)));
    m_services.message("Show \"" + m_s.PicBaseName + "\" von " + std::to_string(m_s.ShowFirst) + " bis " +
                       std::to_string(m_s.ShowLast));
    m_s.ShowPaused = false;
    RunSlideShow(m_s.PicBaseName, m_s.ShowFirst, m_s.ShowLast);
}

void ExplorerWindow::RunSlideShow(std::string base, std::int32_t first, std::int32_t last) {
    for (std::int64_t n = first; n <= last; ++n) {
        const std::string name = PictureFileName(m_s.PicDir, base, static_cast<std::int32_t>(n));
        if (fileExists(name)) {
            if (!ShowPictureFile(name)) {
                return;
            }
            ShowWait(m_s.ShowDelay);
        }
        if (m_closing) {
            return;
        }
        if (m_services.escapePressed()) {
            m_services.message("Show - Abbruch");
            ClearPicture();
            return;
        }
    }
    m_services.message("Show - Ende");
    ClearPicture();
}

bool ExplorerWindow::ShowPictureFile(const std::string& name) {
    const common::JpegReadResult read = common::ReadJpeg(name);
    if (!read.ok()) {
        m_services.errorReport("Die Bilddatei \"" + name + "\" kann nicht gelesen werden: " + read.error);
        return false;
    }
    // Unscaled from the top-left corner: a larger picture is cut, around a smaller one the
    // picture area stays black.
    m_picture.fillRect({0, 0, m_picture.width(), m_picture.height()}, common::kBlack);
    m_picture.drawImage(0, 0, read.image);
    if (m_device.active()) {
        m_device.showImage(read.image);
    }
    m_drawnRecord.reset();
    return true;
}

void ExplorerWindow::ShowWait(std::int32_t ms) {
    const std::uint32_t start = m_services.tickCountMs();
    const std::uint32_t limit = ms < 0 ? 0U : static_cast<std::uint32_t>(ms);
    for (;;) {
        m_services.pumpMessages();
        if (m_closing) {
            return;
        }
        // Paused, the clock runs on: a picture held longer than the wait goes on resumption.
        const std::uint32_t elapsed = m_services.tickCountMs() - start;
        if (!m_s.ShowPaused && elapsed > limit) {
            return;
        }
        const std::uint32_t left = m_s.ShowPaused ? 100U : limit - elapsed + 1U;
        m_services.waitForEvents(static_cast<int>(std::min<std::uint32_t>(left, 100U)));
    }
}

// --- printing

void ExplorerWindow::printSetupCommand() {
    m_services.printerSetup();
    m_s.PrintScale = PrintScaleFromAnswer(m_services.inputBox("Druckbildskalierung 0.1 .. 1.0", "", "1.0"));
}

void ExplorerWindow::printCommand() {
    if (Memo1->isVisible()) {
        PrintHelpPages();
    } else {
        PrintScaledPicture(m_s.PrintScale);
    }
}

void ExplorerWindow::PrintScaledPicture(double scale) {
    // Without any printer the print dialog offers printing into a file; that choice then stays.
    if (!m_services.hasPrinter() && !m_services.printDialog()) {
        return;
    }
    const int w = width();
    const int h = height();
    const common::RgbImage picture = m_picture.copyRect({0, 0, w, h});
    std::string error;
    std::unique_ptr<common::PrintJob> job = m_services.startPrintJob(kDocumentName, error);
    if (!job) {
        m_services.errorReport(error);
        return;
    }
    const common::Rect page = job->pageRect();
    const double printWidth = std::nearbyint(page.right * scale);
    // Multiplied before dividing: a height exactly halfway between two pixels stays exactly
    // halfway and is rounded to even, where a rounded h / w would tip it either way.
    const double printHeight = std::nearbyint(printWidth * h / w);
    job->drawImage({0, 0, static_cast<int>(printWidth), static_cast<int>(printHeight)}, picture);
    if (!job->end(error)) {
        m_services.errorReport(error);
    }
}

void ExplorerWindow::PrintHelpPages() {
    if (!m_services.printDialog()) {
        return;
    }
    std::string error;
    std::unique_ptr<common::PrintJob> job = m_services.startPrintJob(kDocumentName, error);
    if (!job) {
        m_services.errorReport(error);
        return;
    }
    const common::Rect page = job->pageRect();
    const int lineStep = static_cast<int>(std::nearbyint(page.bottom / 74.0));
    const int left = 400;
    const int top = 2 * lineStep;
    job->setFont({"Courier New", true, 10});
    int line = 0;
    for (const QString& text : Memo1->toPlainText().split(QLatin1Char('\n'))) {
        if (!text.isEmpty() && text.front() == QLatin1Char('.')) {
            job->newPage();
            line = 0;
            continue;
        }
        ++line;
        job->drawText(left, line * lineStep + top, text.toStdString());
    }
    if (!job->end(error)) {
        m_services.errorReport(error);
    }
}

} // namespace explorer
