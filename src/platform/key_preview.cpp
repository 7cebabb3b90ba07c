#include "key_preview.h"

#include <QApplication>
#include <QKeyEvent>
#include <QPushButton>
#include <QWidget>

#include "qt_services.h"

namespace platform {

bool BelongsToWindow(const QWidget* window, const QObject* receiver) {
    // window(), not the parent chain: dialogs are children of the main window too.
    return window != nullptr && receiver != nullptr && receiver->isWidgetType() &&
           static_cast<const QWidget*>(receiver)->window() == window;
}

bool IsFirstKeyReceiver(const QWidget* window, const QObject* receiver) {
    if (!BelongsToWindow(window, receiver)) {
        return false;
    }
    if (const QWidget* grabber = QWidget::keyboardGrabber()) {
        return receiver == grabber;
    }
    const QWidget* focus = window->focusWidget();
    return receiver == (focus != nullptr ? focus : window);
}

KeyPreview::KeyPreview(QWidget* window, KeyReleaseHandler handler)
    : QObject(window), m_window(window), m_handler(std::move(handler)) {
    qApp->installEventFilter(this);
}

KeyPreview::~KeyPreview() {
    qApp->removeEventFilter(this);
}

bool KeyPreview::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyRelease || !m_handler) {
        return false;
    }
    const auto* key = static_cast<const QKeyEvent*>(event);
    if (!key->isAutoRepeat() && IsFirstKeyReceiver(m_window, watched)) {
        m_handler(watched, *key);
    }
    return false;
}

namespace {

/// Sits on the buttons themselves rather than on the application, so input that is held back
/// during a drawing clicks only when it is delivered.
class EnterClicksButton : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::KeyPress) {
            return false;
        }
        const auto* key = static_cast<const QKeyEvent*>(event);
        if (key->key() != Qt::Key_Return && key->key() != Qt::Key_Enter) {
            return false;
        }
        auto* button = qobject_cast<QPushButton*>(watched);
        if (button == nullptr) {
            return false;
        }
        if (!key->isAutoRepeat() && button->isEnabled()) {
            button->click();
        }
        event->accept();
        return true;
    }
};

} // namespace

void ClickButtonsOnEnter(QWidget* window) {
    auto* filter = new EnterClicksButton(window);
    for (QPushButton* button : window->findChildren<QPushButton*>()) {
        button->installEventFilter(filter);
    }
}

void InstallKeyPreview(QWidget* window, common::Services& services, KeyReleaseHandler handler) {
    ClickButtonsOnEnter(window);
    if (auto* qt = dynamic_cast<QtServices*>(&services)) {
        qt->setKeyReleaseHandler(std::move(handler));
        return;
    }
    new KeyPreview(window, std::move(handler));
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
