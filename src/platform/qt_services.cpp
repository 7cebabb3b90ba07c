#include "qt_services.h"

#include "key_preview.h"

#include <algorithm>

#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QCoreApplication>
#include <QCursor>
#include <QDialogButtonBox>
#include <QEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QFont>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QInputDialog>
#include <QKeyEvent>
#include <QMessageBox>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinterInfo>
#include <QPushButton>
#include <QScreen>
#include <QTextDocument>
#include <QThread>
#include <QTimer>
#include <QWidget>

#include "image_convert.h"

namespace platform {

namespace {

QString fromUtf8(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QEvent::Type replayEventType() {
    static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

bool isInputEvent(QEvent::Type type) {
    switch (type) {
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove:
    case QEvent::Wheel:
        return true;
    default:
        return false;
    }
}

QFont makeFont(const common::FontChoice& wanted, const QPaintDevice* device) {
    QFont font(QString::fromStdString(wanted.family), std::max(1, wanted.pointSize));
    font.setBold(wanted.bold);
    // Resolved for the printer's resolution, so a point is a point on paper.
    return QFont(font, device);
}

class QtPrintJob final : public common::PrintJob {
public:
    explicit QtPrintJob(QPrinter& printer) : m_printer(printer) {}

    ~QtPrintJob() override {
        if (m_painter.isActive()) {
            // Dropped without end(): abandon the document where the printer allows it.
            m_printer.abort();
            m_painter.end();
        }
    }

    QtPrintJob(const QtPrintJob&) = delete;
    QtPrintJob& operator=(const QtPrintJob&) = delete;

    bool begin() {
        if (!m_painter.begin(&m_printer)) {
            return false;
        }
        // The pictures are pixel art: enlarged, every pixel stays a sharp square, and a PDF
        // keeps every pixel instead of a JPEG approximation that smears each edge of the set.
        m_painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
        m_painter.setRenderHint(QPainter::LosslessImageRendering, true);
        return true;
    }

    [[nodiscard]] common::Rect pageRect() const override {
        return {0, 0, m_printer.width(), m_printer.height()};
    }

    void drawImage(common::Rect target, const common::RgbImage& image) override {
        if (image.empty() || target.width() <= 0 || target.height() <= 0) {
            return;
        }
        m_painter.drawImage(QRect(target.left, target.top, target.width(), target.height()), toQImage(image));
    }

    void setFont(const common::FontChoice& font) override { m_painter.setFont(makeFont(font, &m_printer)); }

    void drawText(int x, int y, std::string_view text) override {
        m_painter.drawText(QPoint(x, y + m_painter.fontMetrics().ascent()), fromUtf8(text));
    }

    void newPage() override {
        if (!m_printer.newPage()) {
            m_failed = true;
        }
    }

    bool end(std::string& error) override {
        const bool wasActive = m_painter.isActive();
        const bool ended = wasActive && m_painter.end();
        if (!ended || m_failed || m_printer.printerState() == QPrinter::Error) {
            error = "Der Druckauftrag konnte nicht abgeschlossen werden.";
            return false;
        }
        return true;
    }

private:
    QPrinter& m_printer;
    QPainter m_painter;
    bool m_failed = false;
};

} // namespace

QStringList convertFileFilter(std::string_view filter) {
    QStringList result;
    if (filter.empty()) {
        return result;
    }
    const QStringList fields = fromUtf8(filter).split(QLatin1Char('|'));
    for (qsizetype i = 0; i + 1 < fields.size(); i += 2) {
        const QString description = fields[i].trimmed();
        QStringList patterns = fields[i + 1].split(QLatin1Char(';'), Qt::SkipEmptyParts);
        for (QString& p : patterns) {
            p = p.trimmed();
            // "*.*" means every file to the program; to Qt it would mean names with a dot.
            if (p == QLatin1String("*.*")) {
                p = QStringLiteral("*");
            }
        }
        patterns.removeAll(QString());
        if (patterns.isEmpty()) {
            patterns << QStringLiteral("*");
        }
        const QString bracketed = QLatin1Char('(') + patterns.join(QLatin1Char(' ')) + QLatin1Char(')');
        const QString original = QLatin1Char('(') + fields[i + 1].trimmed() + QLatin1Char(')');
        if (description.isEmpty()) {
            result << bracketed;
        } else if (description.endsWith(bracketed) || description.endsWith(original)) {
            // Qt reads the patterns from the last brackets, so they must not follow twice.
            const QString& tail = description.endsWith(bracketed) ? bracketed : original;
            result << description.left(description.size() - tail.size()).trimmed() + QLatin1Char(' ') +
                          bracketed;
        } else {
            result << description + QLatin1Char(' ') + bracketed;
        }
    }
    return result;
}

QtServices::QtServices(QObject* parent)
    : QObject(parent), m_heldKeys([this](QObject* sender, const QKeyEvent& release) {
          if (m_keyReleaseHandler) {
              // A copy: the handler may replace itself while it runs.
              const KeyReleaseHandler handler = m_keyReleaseHandler;
              handler(sender, release);
          }
      }) {
    m_clock.start();
    if (QCoreApplication* app = QCoreApplication::instance()) {
        app->installEventFilter(this);
    }
}

QtServices::~QtServices() {
    if (QCoreApplication* app = QCoreApplication::instance()) {
        app->removeEventFilter(this);
    }
    setBusyCursor(false);
}

void QtServices::setMainWindow(QWidget* window) {
    m_mainWindow = window;
}

void QtServices::setKeyReleaseHandler(KeyReleaseHandler handler) {
    m_keyReleaseHandler = std::move(handler);
}

QString QtServices::programTitle() const {
    const QString fileName = QFileInfo(QCoreApplication::applicationFilePath()).fileName();
    return QString::fromStdString(common::defaultCaption(fileName.toStdString()));
}

void QtServices::setPdfOutputForTesting(const QString& pdfPath) {
    m_printer.setOutputFormat(QPrinter::PdfFormat);
    m_printer.setOutputFileName(pdfPath);
    m_printerChosen = true;
}

// --- the event filter

bool QtServices::belongsToMainWindow(const QObject* receiver) const {
    return BelongsToWindow(m_mainWindow.data(), receiver);
}

bool QtServices::isFirstKeyReceiver(const QObject* receiver, const QEvent* event) const {
    if (event == m_replayEvent) {
        return receiver == m_replayReceiver;
    }
    return IsFirstKeyReceiver(m_mainWindow.data(), receiver);
}

bool QtServices::shouldKeep(QObject* receiver, QEvent* event) const {
    // Only what the user did: not events the program or Qt make up, and not the copies Qt makes
    // to offer a mouse event to the parents of a widget that ignored it (those are never
    // spontaneous). Keeping those would deliver them a second time, out of order.
    if ((!m_holding && m_kept.empty()) || !event->spontaneous()) {
        return false;
    }
    if (event->type() == QEvent::KeyPress || event->type() == QEvent::KeyRelease) {
        return isFirstKeyReceiver(receiver, event);
    }
    return belongsToMainWindow(receiver);
}

void QtServices::trackEscape(const QEvent* event) {
    if (event->type() != QEvent::KeyPress && event->type() != QEvent::KeyRelease) {
        return;
    }
    const auto* key = static_cast<const QKeyEvent*>(event);
    if (key->key() != Qt::Key_Escape) {
        return;
    }
    if (event->type() == QEvent::KeyPress) {
        m_escapeDown = true;
        m_escapePressedSincePoll = true;
    } else if (!key->isAutoRepeat()) {
        m_escapeDown = false;
    }
}

bool QtServices::eventFilter(QObject* receiver, QEvent* event) {
    if (event->type() == QEvent::ApplicationStateChange) {
        // The release of a key held while another program had the focus never reaches us.
        if (static_cast<QApplicationStateChangeEvent*>(event)->applicationState() != Qt::ApplicationActive) {
            m_escapeDown = false;
        }
        return false;
    }
    if (!isInputEvent(event->type())) {
        return false;
    }
    if (event != m_replayEvent) {
        trackEscape(event);
        if (shouldKeep(receiver, event)) {
            m_kept.push_back({receiver, std::unique_ptr<QEvent>(event->clone())});
            if (!m_holding) {
                postReplay();
            }
            // Accepted, so Qt does not offer it to the parents.
            event->accept();
            return true;
        }
    }
    if (m_keyReleaseHandler && !previewInput(receiver, event)) {
        event->accept();
        return true;
    }
    return false;
}

bool QtServices::previewInput(QObject* receiver, QEvent* event) {
    switch (event->type()) {
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
        if (isFirstKeyReceiver(receiver, event)) {
            const auto* key = static_cast<const QKeyEvent*>(event);
            return PreviewKeyEvent(m_mainWindow.data(), m_heldKeys, receiver, *key,
                                   [this](QWidget* to, const QKeyEvent& e) {
                                       // Delivered like a kept event: not kept, not counted
                                       // again, previewed at its new receiver.
                                       const std::unique_ptr<QEvent> copy(e.clone());
                                       const QEvent* outerEvent = m_replayEvent;
                                       const QObject* outerReceiver = m_replayReceiver;
                                       m_replayEvent = copy.get();
                                       m_replayReceiver = to;
                                       QCoreApplication::sendEvent(to, copy.get());
                                       m_replayEvent = outerEvent;
                                       m_replayReceiver = outerReceiver;
                                   });
        }
        return true;
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::Wheel:
        // A click comes after the key released before it.
        if (belongsToMainWindow(receiver)) {
            m_heldKeys.deliverHeld();
        }
        return true;
    default:
        return true;
    }
}

bool QtServices::event(QEvent* event) {
    if (event->type() == replayEventType()) {
        replayKeptInput();
        return true;
    }
    return QObject::event(event);
}

void QtServices::postReplay() {
    if (!m_replayPosted) {
        m_replayPosted = true;
        QCoreApplication::postEvent(this, new QEvent(replayEventType()));
    }
}

void QtServices::replayKeptInput() {
    m_replayPosted = false;
    while (!m_holding && !m_kept.empty()) {
        KeptEvent next = std::move(m_kept.front());
        m_kept.pop_front();
        if (next.receiver == nullptr) {
            continue;
        }
        // Posted before delivering, so a handler that pumps messages goes on with the rest in
        // order instead of waiting for its own return.
        if (!m_kept.empty()) {
            postReplay();
        }
        const QEvent* outerEvent = m_replayEvent;
        const QObject* outerReceiver = m_replayReceiver;
        m_replayEvent = next.event.get();
        m_replayReceiver = next.receiver.data();
        QCoreApplication::sendEvent(next.receiver.data(), next.event.get());
        m_replayEvent = outerEvent;
        m_replayReceiver = outerReceiver;
    }
}

void QtServices::holdUserInput(bool hold) {
    m_holding = hold;
    // A release still waiting for its pair when a drawing starts is not carried out inside it.
    m_heldKeys.setPaused(hold);
    if (!hold && !m_kept.empty()) {
        postReplay();
    }
}

bool QtServices::escapePressed() {
    const bool pressed = m_escapeDown || m_escapePressedSincePoll;
    m_escapePressedSincePoll = false;
    return pressed;
}

// --- boxes and dialogs

void QtServices::messageBox(const common::MessageBoxRequest& request) {
    QMessageBox box(m_mainWindow);
    box.setWindowTitle(request.caption.empty() ? programTitle() : fromUtf8(request.caption));
    // The programs' texts contain things like "<M> Start", which must not be read as markup.
    box.setTextFormat(Qt::PlainText);
    box.setText(fromUtf8(request.text));
    box.setIcon(request.icon == common::MessageIcon::Stop ? QMessageBox::Critical : QMessageBox::NoIcon);
    box.setStandardButtons(QMessageBox::Ok);
    if (request.position) {
        box.move(request.position->x, request.position->y);
    }
    box.exec();
}

std::string QtServices::inputBox(std::string_view caption, std::string_view prompt,
                                 std::string_view defaultText) {
    QInputDialog dialog(m_mainWindow);
    dialog.setInputMode(QInputDialog::TextInput);
    dialog.setWindowTitle(caption.empty() ? programTitle() : fromUtf8(caption));
    dialog.setLabelText(fromUtf8(prompt));
    dialog.setTextValue(fromUtf8(defaultText));
    if (dialog.exec() == QDialog::Accepted) {
        return dialog.textValue().toStdString();
    }
    return std::string(defaultText);
}

std::optional<std::string> QtServices::fileDialog(const common::FileDialogRequest& request) {
    QFileDialog dialog(m_mainWindow);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    const bool open = request.kind == common::FileDialogKind::Open;
    dialog.setAcceptMode(open ? QFileDialog::AcceptOpen : QFileDialog::AcceptSave);
    dialog.setFileMode(open || request.fileMustExist ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, !request.overwritePrompt);
    const QStringList filters = convertFileFilter(request.filter);
    if (!filters.isEmpty()) {
        dialog.setNameFilters(filters);
    }
    if (!request.defaultExtension.empty()) {
        dialog.setDefaultSuffix(fromUtf8(request.defaultExtension));
    }
    if (!request.initialFolder.empty()) {
        dialog.setDirectory(fromUtf8(request.initialFolder));
    }
    if (!request.fileName.empty()) {
        dialog.selectFile(fromUtf8(request.fileName));
    }
    if (dialog.exec() != QDialog::Accepted) {
        return std::nullopt;
    }
    const QStringList chosen = dialog.selectedFiles();
    if (chosen.isEmpty()) {
        return std::nullopt;
    }
    return QFileInfo(chosen.first()).absoluteFilePath().toStdString();
}

// --- printing

bool QtServices::runDialog(PrintDialogUse use) {
    QPrintDialog dialog(&m_printer, m_mainWindow);
    if (use == PrintDialogUse::Setup) {
        dialog.setWindowTitle(QStringLiteral("Druckereinrichtung"));
        // Setting up prints nothing, so the confirmation does not offer to print.
        if (auto* buttons = dialog.findChild<QDialogButtonBox*>()) {
            if (QPushButton* ok = buttons->button(QDialogButtonBox::Ok)) {
                ok->setText(QStringLiteral("OK"));
            }
        }
    }
    if (dialog.exec() != QDialog::Accepted) {
        return false;
    }
    m_printerChosen = true;
    return true;
}

bool QtServices::printDialog() {
    return runDialog(PrintDialogUse::Print);
}

void QtServices::printerSetup() {
    runDialog(PrintDialogUse::Setup);
}

bool QtServices::hasPrinter() {
    return m_printerChosen || !QPrinterInfo::defaultPrinter().isNull();
}

std::unique_ptr<common::PrintJob> QtServices::startPrintJob(std::string_view documentName,
                                                            std::string& error) {
    if (!hasPrinter()) {
        error = "Es ist kein Drucker verfügbar.";
        return nullptr;
    }
    m_printer.setDocName(fromUtf8(documentName));
    auto job = std::make_unique<QtPrintJob>(m_printer);
    if (!job->begin()) {
        error = "Der Druckauftrag konnte nicht gestartet werden.";
        return nullptr;
    }
    return job;
}

bool QtServices::printText(const std::vector<std::string>& lines, const common::FontChoice& font,
                           std::string_view documentName, std::string& error) {
    if (!hasPrinter()) {
        error = "Es ist kein Drucker verfügbar.";
        return false;
    }
    QStringList text;
    text.reserve(static_cast<qsizetype>(lines.size()));
    for (const std::string& line : lines) {
        text << fromUtf8(line);
    }
    m_printer.setDocName(fromUtf8(documentName));

    // Paged here rather than by QTextDocument::print, which cannot tell that the printer failed
    // to start.
    QTextDocument document;
    document.documentLayout()->setPaintDevice(&m_printer);
    document.setDefaultFont(makeFont(font, &m_printer));
    document.setPlainText(text.join(QLatin1Char('\n')));
    const QSizeF page(m_printer.width(), m_printer.height());
    document.setPageSize(page);

    QPainter painter;
    if (!painter.begin(&m_printer)) {
        error = "Der Druckauftrag konnte nicht gestartet werden.";
        return false;
    }
    bool ok = true;
    const int pages = document.pageCount();
    for (int i = 0; i < pages && ok; ++i) {
        if (i > 0) {
            ok = m_printer.newPage();
        }
        const QRectF area(0, i * page.height(), page.width(), page.height());
        painter.save();
        painter.translate(0, -area.top());
        document.drawContents(&painter, area);
        painter.restore();
    }
    ok = painter.end() && ok && m_printer.printerState() != QPrinter::Error;
    if (!ok) {
        error = "Der Druckauftrag konnte nicht abgeschlossen werden.";
    }
    return ok;
}

// --- cursor, time, events

void QtServices::setBusyCursor(bool busy) {
    if (busy == m_busy) {
        return;
    }
    m_busy = busy;
    if (busy) {
        QGuiApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
    } else {
        QGuiApplication::restoreOverrideCursor();
    }
}

std::uint32_t QtServices::tickCountMs() {
    return static_cast<std::uint32_t>(static_cast<quint64>(m_clock.elapsed()));
}

void QtServices::sleepMs(int ms) {
    if (ms > 0) {
        QThread::msleep(static_cast<unsigned long>(ms));
    }
}

void QtServices::pumpMessages() {
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void QtServices::waitForEvents(int maxMs) {
    if (maxMs <= 0) {
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        return;
    }
    // The timer is the event that ends the wait when nothing else comes; the dispatcher sleeps
    // until then.
    QTimer timeout;
    timeout.setSingleShot(true);
    timeout.start(maxMs);
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

common::ScreenInfo QtServices::screen() {
    const QScreen* primary = QGuiApplication::primaryScreen();
    if (primary == nullptr) {
        return {};
    }
    // Device-independent pixels: the unit the windows are sized and placed in.
    const QSize size = primary->size();
    return {size.width(), size.height(), qRound(primary->logicalDotsPerInchY())};
}

} // namespace platform
