#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string_view>

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QPrinter>
#include <QString>
#include <QStringList>
#include <QWidget>

#include "held_keys.h"
#include "services.h"

class QKeyEvent;

namespace platform {

/// The program's "Desc|pattern[|Desc|pattern...]" filter as Qt name filters: "Desc (pattern)",
/// several patterns separated by blanks, "*.*" as "*". A description that already ends in its
/// pattern in brackets is kept as it is; a trailing description without a pattern is dropped.
[[nodiscard]] QStringList convertFileFilter(std::string_view filter);

/// The Qt side of common::Services. It is the application-wide event filter, because holding
/// input back, the Escape poll and the key preview must see every event in one fixed order.
class QtServices : public QObject, public common::Services {
    Q_OBJECT

public:
    using KeyReleaseHandler = std::function<void(QObject* sender, const QKeyEvent& event)>;

    explicit QtServices(QObject* parent = nullptr);
    ~QtServices() override;
    QtServices(const QtServices&) = delete;
    QtServices& operator=(const QtServices&) = delete;

    /// The parent of every dialog, and the window whose input is held and previewed.
    void setMainWindow(QWidget* window);
    [[nodiscard]] QWidget* mainWindow() const { return m_mainWindow; }
    /// Called once with every real key release of the main window (the repeats of a held key
    /// are not, see HeldKeys); the control that had the focus (or the window when nothing had
    /// it) is the sender.
    void setKeyReleaseHandler(KeyReleaseHandler handler);
    /// Tells the repeats of a held key in the main window, for whatever acts on key presses.
    [[nodiscard]] const HeldKeys& heldKeys() const { return m_heldKeys; }
    /// The caption of boxes shown without one.
    [[nodiscard]] QString programTitle() const;

    /// Prints into a PDF file instead of a printer; counts as a chosen printer.
    void setPdfOutputForTesting(const QString& pdfPath);

    // common::Services
    void messageBox(const common::MessageBoxRequest& request) override;
    std::string inputBox(std::string_view caption, std::string_view prompt,
                         std::string_view defaultText) override;
    std::optional<std::string> fileDialog(const common::FileDialogRequest& request) override;
    bool printDialog() override;
    void printerSetup() override;
    [[nodiscard]] bool hasPrinter() override;
    std::unique_ptr<common::PrintJob> startPrintJob(std::string_view documentName,
                                                    std::string& error) override;
    bool printText(const std::vector<std::string>& lines, const common::FontChoice& font,
                   std::string_view documentName, std::string& error) override;
    void setBusyCursor(bool busy) override;
    [[nodiscard]] std::uint32_t tickCountMs() override;
    void sleepMs(int ms) override;
    bool escapePressed() override;
    void pumpMessages() override;
    void waitForEvents(int maxMs) override;
    void holdUserInput(bool hold) override;
    [[nodiscard]] common::ScreenInfo screen() override;

protected:
    bool eventFilter(QObject* receiver, QEvent* event) override;
    bool event(QEvent* event) override;

private:
    struct KeptEvent {
        QPointer<QObject> receiver;
        std::unique_ptr<QEvent> event;
    };

    void trackEscape(const QEvent* event);
    [[nodiscard]] bool belongsToMainWindow(const QObject* receiver) const;
    [[nodiscard]] bool isFirstKeyReceiver(const QObject* receiver, const QEvent* event) const;
    [[nodiscard]] bool shouldKeep(QObject* receiver, QEvent* event) const;
    void postReplay();
    void replayKeptInput();
    /// The key preview's part of the filter; false when the event must go no further.
    [[nodiscard]] bool previewInput(QObject* receiver, QEvent* event);
    enum class PrintDialogUse { Print, Setup };
    bool runDialog(PrintDialogUse use);

    QPointer<QWidget> m_mainWindow;
    KeyReleaseHandler m_keyReleaseHandler;
    HeldKeys m_heldKeys;
    QElapsedTimer m_clock;

    bool m_escapeDown = false;
    bool m_escapePressedSincePoll = false;

    bool m_holding = false;
    // Kept input, oldest first, including what still waits to be delivered after a hold ended:
    // new input queues behind it, so the order the user typed and clicked in is never changed.
    std::deque<KeptEvent> m_kept;
    bool m_replayPosted = false;
    // The kept event being delivered again: it is neither kept nor counted as a new Escape.
    const QEvent* m_replayEvent = nullptr;
    const QObject* m_replayReceiver = nullptr;

    bool m_busy = false;

    QPrinter m_printer{QPrinter::HighResolution};
    bool m_printerChosen = false;
};

} // namespace platform
