#pragma once

#include <QObject>

#include <functional>

#include "services.h"

class QKeyEvent;
class QWidget;

namespace platform {

using KeyReleaseHandler = std::function<void(QObject* sender, const QKeyEvent& event)>;

/// True when `receiver` is a control of `window` (its dialogs are windows of their own).
[[nodiscard]] bool BelongsToWindow(const QWidget* window, const QObject* receiver);

/// Qt offers an ignored key event to the parents as well; only where it started counts, which
/// is where Qt sends it: the keyboard grabber, the window's focus widget or the window itself.
[[nodiscard]] bool IsFirstKeyReceiver(const QWidget* window, const QObject* receiver);

/// Key preview: hands every key release meant for a window (or any of its controls) to a
/// handler before the focused control sees it, exactly once, with the control that has the
/// focus as sender. Auto-repeat releases are dropped. The event itself goes on unchanged.
class KeyPreview : public QObject {
    Q_OBJECT

public:
    KeyPreview(QWidget* window, KeyReleaseHandler handler);
    ~KeyPreview() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* m_window;
    KeyReleaseHandler m_handler;
};

/// Enter on a focused push button clicks it, as Space does: the windows' field-to-field Enter
/// walk ends on a button and the next Enter must press it. Qt does that only inside dialogs.
/// Covers the buttons the window has now; the click comes with the press, the release still
/// goes to the key handler.
void ClickButtonsOnEnter(QWidget* window);

/// Connects a window's key handler and lets Enter click its buttons (ClickButtonsOnEnter). With the Qt
/// services the preview runs inside their event filter, behind the input hold, so a key held back during a
/// drawing reaches the handler once, when it is delivered; with any other services (the scripted ones of the
/// tests) a KeyPreview of the window's own does it.
void InstallKeyPreview(QWidget* window, common::Services& services, KeyReleaseHandler handler);

/// The platform-neutral code of a key: letters as their capitals ('A'..'Z'), digits as '0'..'9',
/// Enter 13, Escape 27, F1..F24 as 112..135; every other key some code of its own that differs
/// from all of these.
[[nodiscard]] int VirtualKeyCode(const QKeyEvent& event);

} // namespace platform
