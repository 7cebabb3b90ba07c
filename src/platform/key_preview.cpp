#include "key_preview.h"

#include <memory>

#include <QAbstractButton>
#include <QApplication>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <QWidget>

#include "qt_services.h"

namespace platform {

bool BelongsToWindow(const QWidget* window, const QObject* receiver) {
    // window(), not the parent chain: dialogs are children of the main window too.
    return window != nullptr && receiver != nullptr && receiver->isWidgetType() &&
           static_cast<const QWidget*>(receiver)->window() == window;
}

QWidget* FirstKeyReceiver(QWidget* window) {
    if (window == nullptr) {
        return nullptr;
    }
    if (QWidget* grabber = QWidget::keyboardGrabber()) {
        return grabber;
    }
    QWidget* focus = window->focusWidget();
    return focus != nullptr ? focus : window;
}

bool IsFirstKeyReceiver(const QWidget* window, const QObject* receiver) {
    if (!BelongsToWindow(window, receiver)) {
        return false;
    }
    return receiver == FirstKeyReceiver(const_cast<QWidget*>(window));
}

bool PreviewKeyEvent(QWidget* window, HeldKeys& keys, QObject* receiver, const QKeyEvent& event,
                     const KeyResend& resend) {
    if (event.type() == QEvent::KeyRelease) {
        keys.release(receiver, event);
        return true;
    }
    QWidget* before = FirstKeyReceiver(window);
    keys.press(event);
    // Qt chose the receiver before the held release moved the focus on (Enter walking the
    // fields, then the next key typed at once): the key belongs where the focus is now.
    QWidget* now = FirstKeyReceiver(window);
    if (receiver == before && now != before && now != nullptr && resend) {
        resend(now, event);
        return false;
    }
    return true;
}

KeyPreview::KeyPreview(QWidget* window, KeyReleaseHandler handler)
    : QObject(window), m_window(window), m_handler(std::move(handler)),
      m_keys([this](QObject* sender, const QKeyEvent& release) {
          if (m_handler) {
              m_handler(sender, release);
          }
      }) {
    qApp->installEventFilter(this);
}

KeyPreview::~KeyPreview() {
    qApp->removeEventFilter(this);
}

bool KeyPreview::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
        if (IsFirstKeyReceiver(m_window, watched)) {
            const auto* key = static_cast<const QKeyEvent*>(event);
            const bool goOn =
                PreviewKeyEvent(m_window, m_keys, watched, *key, [](QWidget* to, const QKeyEvent& e) {
                    std::unique_ptr<QEvent> copy(e.clone());
                    QCoreApplication::sendEvent(to, copy.get());
                });
            if (!goOn) {
                event->accept();
                return true;
            }
        }
        return false;
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::Wheel:
        // A click comes after the key released before it.
        if (BelongsToWindow(m_window, watched)) {
            m_keys.deliverHeld();
        }
        return false;
    default:
        return false;
    }
}

namespace {

/// Sits on the buttons themselves rather than on the application, so input that is held back
/// during a drawing clicks only when it is delivered.
class ButtonKeys : public QObject {
public:
    ButtonKeys(QObject* parent, const HeldKeys& keys) : QObject(parent), m_keys(keys) {
        m_wait.setSingleShot(true);
        QObject::connect(&m_wait, &QTimer::timeout, this, [this] { releaseHeldSpace(); });
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::KeyPress && event->type() != QEvent::KeyRelease) {
            return false;
        }
        auto* button = qobject_cast<QAbstractButton*>(watched);
        if (button == nullptr) {
            return false;
        }
        const auto* key = static_cast<const QKeyEvent*>(event);
        if (key->key() == Qt::Key_Space || key->key() == Qt::Key_Select) {
            return spaceKey(button, *key);
        }
        releaseHeldSpace();
        if (event->type() != QEvent::KeyPress ||
            (key->key() != Qt::Key_Return && key->key() != Qt::Key_Enter) ||
            qobject_cast<QPushButton*>(button) == nullptr) {
            return false;
        }
        if (!m_keys.isRepeat(*key) && button->isEnabled()) {
            button->click();
        }
        event->accept();
        return true;
    }

private:
    /// Qt clicks a button (or ticks a check box) when Space goes up, and takes an unflagged
    /// repeat's release for a real one. So the release waits, as HeldKeys makes the key handler
    /// wait, for a press of the same key and time stamp that shows it half of a repeat pair;
    /// only a release that none follows clicks. Returns true when the event must go no further.
    bool spaceKey(QAbstractButton* button, const QKeyEvent& key) {
        if (key.type() == QEvent::KeyPress) {
            if (m_heldSpace != nullptr && m_heldButton == button &&
                key.timestamp() == m_heldSpace->timestamp() && key.key() == m_heldSpace->key()) {
                // The key never went up: neither half of the pair reaches the button.
                m_heldSpace.reset();
                m_heldButton = nullptr;
                m_wait.stop();
                return true;
            }
            releaseHeldSpace();
            return false;
        }
        releaseHeldSpace();
        if (key.isAutoRepeat() || key.timestamp() == 0) {
            return false;
        }
        m_heldSpace.reset(static_cast<QKeyEvent*>(key.clone()));
        m_heldButton = button;
        m_wait.start(kRepeatPairWaitMs);
        return true;
    }

    /// What the button does with its own Space release: it clicks when the press put it down.
    void releaseHeldSpace() {
        m_wait.stop();
        if (m_heldSpace == nullptr) {
            return;
        }
        m_heldSpace.reset();
        const QPointer<QAbstractButton> button = m_heldButton;
        m_heldButton = nullptr;
        if (button != nullptr && button->isDown()) {
            button->click();
        }
    }

    const HeldKeys& m_keys;
    QTimer m_wait;
    std::unique_ptr<QKeyEvent> m_heldSpace;
    QPointer<QAbstractButton> m_heldButton;
};

} // namespace

void ClickButtonsOnEnter(QWidget* window, const HeldKeys& keys) {
    auto* filter = new ButtonKeys(window, keys);
    for (QAbstractButton* button : window->findChildren<QAbstractButton*>()) {
        button->installEventFilter(filter);
    }
}

void InstallKeyPreview(QWidget* window, common::Services& services, KeyReleaseHandler handler) {
    if (auto* qt = dynamic_cast<QtServices*>(&services)) {
        qt->setKeyReleaseHandler(std::move(handler));
        ClickButtonsOnEnter(window, qt->heldKeys());
        return;
    }
    auto* preview = new KeyPreview(window, std::move(handler));
    ClickButtonsOnEnter(window, preview->heldKeys());
}

int VirtualKeyCode(const QKeyEvent& event) {
    const int key = event.key();
    if ((key >= Qt::Key_A && key <= Qt::Key_Z) || (key >= Qt::Key_0 && key <= Qt::Key_9)) {
        if (key <= Qt::Key_9 && (event.modifiers() & Qt::KeypadModifier)) {
            return 0x60 + (key - Qt::Key_0); // the keypad's digits are keys of their own
        }
        return key;
    }
    switch (key) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return 13;
    case Qt::Key_Escape:
        return 27;
    default:
        break;
    }
    if (key >= Qt::Key_F1 && key <= Qt::Key_F24) {
        return 112 + (key - Qt::Key_F1);
    }
    // Everything else: above the codes used for commands, still 16 bits.
    return 0x100 + (key & 0x7FFF);
}

} // namespace platform
