#include "held_keys.h"

#include <QKeyEvent>

namespace platform {

HeldKeys::HeldKeys(Deliver deliver) : m_deliver(std::move(deliver)) {
    m_wait.setSingleShot(true);
    QObject::connect(&m_wait, &QTimer::timeout, &m_wait, [this] {
        if (!m_paused) {
            deliverHeld();
        }
    });
}

HeldKeys::~HeldKeys() = default;

bool HeldKeys::press(const QKeyEvent& event) {
    if (m_held != nullptr && event.timestamp() != 0 && event.timestamp() == m_held->timestamp() &&
        event.key() == m_held->key()) {
        // The release was the other half of this repeat: the key never went up.
        m_held.reset();
        m_heldSender = nullptr;
        m_wait.stop();
        m_repeatPress = &event;
        m_repeatKey = event.key();
        m_repeatTimestamp = event.timestamp();
        return true;
    }
    deliverHeld();
    m_repeatPress = nullptr;
    return event.isAutoRepeat();
}

void HeldKeys::release(QObject* sender, const QKeyEvent& event) {
    m_repeatPress = nullptr;
    deliverHeld();
    if (event.isAutoRepeat()) {
        return;
    }
    if (event.timestamp() == 0) {
        if (m_deliver) {
            m_deliver(sender, event);
        }
        return;
    }
    m_held.reset(static_cast<QKeyEvent*>(event.clone()));
    m_heldSender = sender;
    if (!m_paused) {
        m_wait.start(kRepeatPairWaitMs);
    }
}

void HeldKeys::deliverHeld() {
    // The handler may pump messages, and a release that arrives meanwhile is held in turn: it
    // too came before whatever called this.
    while (m_held != nullptr) {
        m_wait.stop();
        const std::unique_ptr<QKeyEvent> release = std::move(m_held);
        const QPointer<QObject> sender = m_heldSender;
        m_heldSender = nullptr;
        if (sender != nullptr && m_deliver) {
            m_deliver(sender.data(), *release);
        }
    }
}

void HeldKeys::setPaused(bool paused) {
    m_paused = paused;
    if (!paused && m_held != nullptr && !m_wait.isActive()) {
        m_wait.start(kRepeatPairWaitMs);
    }
}

bool HeldKeys::isRepeat(const QKeyEvent& press) const {
    // Events often live at the same stack address one after the other: the key and the time
    // must match too.
    return press.isAutoRepeat() ||
           (&press == m_repeatPress && press.key() == m_repeatKey && press.timestamp() == m_repeatTimestamp);
}

} // namespace platform
