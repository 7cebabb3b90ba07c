#pragma once

#include <QObject>

#include <functional>

#include "held_keys.h"
#include "services.h"

class QKeyEvent;
class QWidget;

namespace platform {

using KeyReleaseHandler = std::function<void(QObject* sender, const QKeyEvent& event)>;

/// True when `receiver` is a control of `window` (its dialogs are windows of their own).
[[nodiscard]] bool BelongsToWindow(const QWidget* window, const QObject* receiver);

/// Where Qt sends a key event of the window first: the keyboard grabber, the window's focus
/// widget or the window itself.
[[nodiscard]] QWidget* FirstKeyReceiver(QWidget* window);

/// Qt offers an ignored key event to the parents as well; only where it started counts, which
/// is where Qt sends it (FirstKeyReceiver).
[[nodiscard]] bool IsFirstKeyReceiver(const QWidget* window, const QObject* receiver);

/// Sends a copy of a key event to another receiver (the original goes no further).
using KeyResend = std::function<void(QWidget* receiver, const QKeyEvent& event)>;

/// The key preview's step for a key event at its first receiver, the same for every window:
/// releases go through `keys`, which hands each real one to the handler. A press may first
/// deliver a held release; when that handler moved the focus, the press belongs to the control
/// that has it now: it goes to `resend`, and the function returns false (the event must be
/// dropped). Otherwise it returns true.
bool PreviewKeyEvent(QWidget* window, HeldKeys& keys, QObject* receiver, const QKeyEvent& event,
                     const KeyResend& resend);

/// Key preview: hands every key release meant for a window (or any of its controls) to a
/// handler, exactly once, with the control that had the focus as sender. Repeats of a held key
/// are dropped (HeldKeys), so a release reaches the handler once it is known to be real: at
/// once when it carries no time stamp, else after the focused control saw it. The event itself
/// goes on unchanged.
class KeyPreview : public QObject {
    Q_OBJECT

public:
    KeyPreview(QWidget* window, KeyReleaseHandler handler);
    ~KeyPreview() override;

    [[nodiscard]] const HeldKeys& heldKeys() const { return m_keys; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* m_window;
    KeyReleaseHandler m_handler;
    HeldKeys m_keys;
};

/// Enter on a focused push button clicks it, as Space does: the windows' field-to-field Enter
/// walk ends on a button and the next Enter must press it. Qt does that only inside dialogs.
/// Covers the buttons (and check boxes) the window has now; the click comes with the press, the
/// release still goes to the key handler. A held Enter clicks once: `keys` tells its repeats;
/// a held Space, which Qt's buttons act on when it goes up, clicks once too.
void ClickButtonsOnEnter(QWidget* window, const HeldKeys& keys);

/// Connects a window's key handler and lets Enter click its buttons (ClickButtonsOnEnter), both
/// told a held key's repeats by the same HeldKeys. With the Qt
/// services the preview runs inside their event filter, behind the input hold, so a key held back during a
/// drawing reaches the handler once, when it is delivered; with any other services (the scripted ones of the
/// tests) a KeyPreview of the window's own does it.
void InstallKeyPreview(QWidget* window, common::Services& services, KeyReleaseHandler handler);

/// The platform-neutral code of a key: letters as their capitals ('A'..'Z'), digits as '0'..'9',
/// Enter 13, Escape 27, F1..F24 as 112..135; every other key some code of its own that differs
/// from all of these.
[[nodiscard]] int VirtualKeyCode(const QKeyEvent& event);

} // namespace platform
