// Formula files, presets, printing and the JPEG export.
#include "generator_window.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>

#include <algorithm>
#include <cmath>

#include "formula_file.h"
#include "generator_help.h"
#include "jpeg_file.h"
#include "number_text.h"
#include "parameters.h"
#include "paths.h"
#include "picture_record.h"

namespace lsystem {

namespace {

const char* const kFormulaFilter = "FRA-Fractaldateien (*.frc)|*.frc";

std::string text(const QLineEdit* field) {
    return field->text().toStdString();
}

/// The folder of a chosen path with its trailing "/", and the file name trimmed of blanks and
/// control characters.
struct PathParts {
    std::string folder;
    std::string name;
};
PathParts splitPath(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        return {"", common::TrimControls(path)};
    }
    return {path.substr(0, slash + 1), common::TrimControls(path.substr(slash + 1))};
}

std::string cannotEnterFolder(const std::string& folder) {
    return "Der Ordner \"" + folder + "\" ist nicht erreichbar.";
}

/// The font a text box shows, to print its text in: family, weight and size. The boxes are sized
/// in pixels on the screen, which the printer takes as the same size in points at the screen's
/// resolution.
common::FontChoice printFont(const QWidget* box) {
    const QFont font = box->font();
    double points = font.pointSizeF();
    if (points <= 0.0) {
        points = font.pixelSize() * 72.0 / std::max(1, box->logicalDpiY());
    }
    return {font.family().toStdString(), font.bold(), std::max(1, static_cast<int>(std::nearbyint(points)))};
}

/// A printed size in printer pixels, kept within a range the print system can take.
int printerPixels(double v) {
    if (!(v > 0.0)) {
        return 0;
    }
    return static_cast<int>(std::min(v, 1.0e7));
}

} // namespace

// --- formula files

bool GeneratorWindow::SaveFormula() {
    const std::string radiusLine = m_nodeRadius <= 0 ? std::string("0") : RemoveBlanks(text(Edit1));
    if (!common::SetCurrentDirectory(m_workDir)) {
        m_services.errorReport(cannotEnterFolder(m_workDir));
        return false;
    }
    common::FileDialogRequest request;
    request.kind = common::FileDialogKind::Save;
    request.initialFolder = m_workDir;
    request.fileName = m_formulaName;
    request.filter = kFormulaFilter;
    request.defaultExtension = "frc";
    request.overwritePrompt = true;
    const std::optional<std::string> path = m_services.fileDialog(request);
    if (!path) {
        return true;
    }
    const std::vector<std::string> lines = {text(Edit2),
                                            text(Edit3),
                                            text(Edit4),
                                            text(Edit5),
                                            text(Edit6),
                                            radiusLine,
                                            text(Edit7),
                                            std::to_string(m_startX),
                                            std::to_string(m_startY),
                                            CheckBox3->isChecked() ? "1" : "0"};
    setRecord(lines);
    std::string error;
    if (!WriteFileAtomically(*path, FormatFormulaFile(lines), error)) {
        m_services.errorReport("Die Formeldatei \"" + *path + "\" wurde nicht gespeichert. " + error);
        return false;
    }
    const PathParts parts = splitPath(*path);
    m_formulaName = parts.name;
    m_workDir = parts.folder;
    setLabel17();
    return true;
}

void GeneratorWindow::Button5Click() {
    if (drawing()) {
        return;
    }
    // A failure has been reported and ends the command here: the focus stays where it was and
    // loading stays locked.
    if (!SaveFormula()) {
        return;
    }
    Edit2->setFocus();
    m_savedOnce = true;
}

bool GeneratorWindow::LoadFormula() {
    common::FileDialogRequest request;
    request.kind = common::FileDialogKind::Open;
    request.initialFolder = m_workDir;
    request.filter = kFormulaFilter;
    request.defaultExtension = "frc";
    request.fileMustExist = true;
    const std::optional<std::string> path = m_services.fileDialog(request);
    if (!path) {
        return true;
    }
    const FormulaFileText file = ReadFormulaFile(*path);
    if (!file.ok()) {
        m_services.errorReport("Die Formeldatei \"" + *path + "\" kann nicht geladen werden. " + file.error);
        return false;
    }
    std::vector<std::string> lines = file.lines;
    lines.resize(std::max<std::size_t>(lines.size(), kFormulaFileLines));
    // Checked before anything changes, so a bad start point leaves every field as it was.
    const std::optional<std::int32_t> x = ParseStartCoordinate(lines[7]);
    const std::optional<std::int32_t> y = ParseStartCoordinate(lines[8]);
    if (!x || !y) {
        m_services.errorReport("Die Formeldatei \"" + *path + "\" enthält keinen gültigen Startpunkt.");
        return false;
    }
    setRecord(file.lines);
    QLineEdit* const fields[] = {Edit2, Edit3, Edit4, Edit5, Edit6, Edit1, Edit7};
    for (std::size_t i = 0; i < 7; ++i) {
        fields[i]->setText(QString::fromStdString(lines[i]));
    }
    m_startX = *x;
    m_startY = *y;
    CheckBox3->setChecked(lines[9] == "1");
    const PathParts parts = splitPath(*path);
    m_formulaName = parts.name;
    m_workDir = parts.folder;
    setLabel17();
    return true;
}

void GeneratorWindow::Button4Click() {
    if (drawing()) {
        return;
    }
    if (!m_savedOnce) {
        m_services.message("Zuerst eine Formel speichern !");
        return;
    }
    ClearImage(m_backColour);
    // After a reported failure the command ends: the wait field and the focus stay as they were.
    if (!LoadFormula()) {
        return;
    }
    Edit8->setText(QStringLiteral("1"));
    Edit2->setFocus();
}

void GeneratorWindow::Edit2KeyUp(int key) {
    const int index = key - 112; // F1 .. F7
    if (index < 0 || index >= static_cast<int>(Presets().size()) || drawing()) {
        return;
    }
    const Preset& p = Presets()[static_cast<std::size_t>(index)];
    Edit2->setText(QString::fromLatin1(p.formula));
    Edit3->setText(QString::fromLatin1(p.factor));
    Edit4->setText(QString::fromLatin1(p.rightAngle));
    Edit5->setText(QString::fromLatin1(p.leftAngle));
    Edit6->setText(QString::fromLatin1(p.startLength));
    Edit1->setText(QString::fromLatin1(p.radius));
    Edit7->setText(QString::fromLatin1(p.iterations));
    m_startX = p.startX;
    m_startY = p.startY;
    CheckBox3->setChecked(p.horizontal);
    m_formulaName = p.name;
    setLabel17();
    ClearImage(m_backColour);
}

// --- printing

void GeneratorWindow::Button6Click() {
    if (drawing()) {
        return;
    }
    std::string error;
    // The text documents carry no title.
    if (RichEdit1->isVisible()) {
        if (m_services.printDialog() && !m_services.printText(HelpLines(), printFont(RichEdit1), "", error)) {
            m_services.errorReport(error);
        }
        return;
    }
    const std::string answer =
        m_services.inputBox("Skalierter Bildausdruck", "1.00 = ganze Druckseite", "1.00");
    std::string_view trimmed = answer;
    while (!trimmed.empty() && trimmed.front() == ' ') {
        trimmed.remove_prefix(1);
    }
    // Only "." is a decimal point here; anything that is not a number counts as 0.
    const common::NumberPrefix number = common::ParseDecimalPrefix(trimmed);
    const double scale = number.whole ? number.value : 0.0;
    if (scale == 0.0 || !m_services.printDialog()) {
        return;
    }
    // A picture that could not be printed has been reported, and that ends the command.
    if (!PrintImageScaled(scale)) {
        return;
    }
    if (m_services.printDialog() &&
        !m_services.printText(parameterRecord(), printFont(RichEdit2), "", error)) {
        m_services.errorReport(error);
    }
}

bool GeneratorWindow::PrintImageScaled(double scale) {
    if (scale == 0.0) {
        return true;
    }
    scale = std::fabs(scale);
    const int w = m_imageWidth;
    const int h = m_imageHeight;
    const common::RgbImage picture = m_image.copyRect({0, 0, w, h});
    const double ratio = static_cast<double>(h) / w;
    std::string error;
    std::unique_ptr<common::PrintJob> job = m_services.startPrintJob("Fraktal", error);
    if (!job) {
        m_services.errorReport(error);
        return false;
    }
    const common::Rect page = job->pageRect();
    double pw = std::nearbyint(page.right * scale);
    double ph = std::nearbyint(pw * ratio);
    if (ph > page.bottom) {
        ph = std::nearbyint(page.bottom * scale);
        pw = std::nearbyint(ph / ratio);
    }
    job->drawImage({0, 0, printerPixels(pw), printerPixels(ph)}, picture);
    if (!job->end(error)) {
        m_services.errorReport(error);
        return false;
    }
    return true;
}

// --- JPEG export

std::string GeneratorWindow::pictureRecord() const {
    const std::vector<std::string> lines = parameterRecord();
    if (!m_areaShowsRecord || lines.size() != 10) {
        return {};
    }
    common::LsystemRecord record;
    std::copy(lines.begin(), lines.end(), record.lines.begin());
    record.width = m_imageWidth;
    record.height = m_imageHeight;
    // Only "Löschen" changes the background, and it clears the drawing with it.
    record.background =
        m_backColour == common::kBlack ? common::LsystemBackground::Black : common::LsystemBackground::White;
    return common::FormatPictureRecord(record);
}

void GeneratorWindow::ExportJpeg() {
    common::FileDialogRequest request;
    request.kind = common::FileDialogKind::Save;
    request.initialFolder = m_workDir;
    request.fileName = "Fraktal";
    request.filter = "JPG-Dateien |*.jpg";
    request.defaultExtension = "jpg";
    request.overwritePrompt = true;
    if (!common::SetCurrentDirectory(m_workDir)) {
        m_services.errorReport(cannotEnterFolder(m_workDir));
        return;
    }
    const std::optional<std::string> path = m_services.fileDialog(request);
    if (!path) {
        return;
    }
    std::string record = pictureRecord();
    // A comment segment cannot hold a record this long (a formula of tens of thousands of
    // characters); the picture is what the user asked for, so it is stored without it.
    if (record.size() > common::kMaxJpegCommentBytes) {
        record.clear();
    }
    const common::JpegResult written =
        common::WriteJpeg(*path, m_image.copyRect({0, 0, m_imageWidth, m_imageHeight}), record);
    if (!written.ok) {
        m_services.messageBox({"Daten-Fehler", "Problem", common::MessageIcon::Stop, {}});
        return;
    }
    m_workDir = splitPath(*path).folder;
}

} // namespace lsystem
