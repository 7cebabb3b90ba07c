#pragma once

#include <functional>
#include <memory>

#include <QPointer>
#include <QTimer>

class QKeyEvent;
class QObject;

namespace platform {

/// How long a key release waits for the press that would make it half of an auto-repeat pair.
/// The X server sends both halves at once, but the press may reach the program a little later.
inline constexpr int kRepeatPairWaitMs = 50;

/// Tells a held key's auto-repeat from key strokes, also where Qt leaves it unflagged: an X
/// server repeats a held key as a release and a press with the same time stamp, and Qt 6.4
/// flags them only when it has read the press by the time it handles the release, which it
/// mostly has not. So a release is held back until the next key event, or a short wait, shows
/// whether such a press follows it; only a release that none follows is delivered, and the press
/// of the pair is a repeat. Flagged repeats count alike. Events without a time stamp come from
/// a program rather than the window system; nothing can pair them, so they count as they are.
///
/// Fed with the key events of one window at their first receiver, in the order they are
/// delivered; other input of the window calls deliverHeld() first, so nothing overtakes a release.
class HeldKeys {
public:
    using Deliver = std::function<void(QObject* sender, const QKeyEvent& release)>;

    explicit HeldKeys(Deliver deliver);
    ~HeldKeys();
    HeldKeys(const HeldKeys&) = delete;
    HeldKeys& operator=(const HeldKeys&) = delete;

    /// A key press. Unless it repeats the held release, that release is delivered first.
    /// Returns true when the press repeats a key held down.
    bool press(const QKeyEvent& event);
    /// A key release from `sender`: a flagged repeat is dropped, an unstamped release delivered
    /// at once, any other held until it is known not to be half of a repeat pair.
    void release(QObject* sender, const QKeyEvent& event);
    /// Delivers a held release now (and any that its handler let arrive meanwhile).
    void deliverHeld();
    /// While paused (input is held back for a drawing), the end of the wait delivers nothing;
    /// the release then waits until the pause ends.
    void setPaused(bool paused);

    /// True for the press being delivered when it repeats a key held down, so whatever acts on
    /// presses can ignore it as it ignores a flagged repeat.
    [[nodiscard]] bool isRepeat(const QKeyEvent& press) const;
    /// Whether a release is held back.
    [[nodiscard]] bool holdsRelease() const { return m_held != nullptr; }

private:
    Deliver m_deliver;
    std::unique_ptr<QKeyEvent> m_held;
    QPointer<QObject> m_heldSender;
    QTimer m_wait;
    bool m_paused = false;
    // The press being delivered, when it is a repeat; only compared, never read through.
    const QKeyEvent* m_repeatPress = nullptr;
    int m_repeatKey = 0;
    quint64 m_repeatTimestamp = 0;
};

} // namespace platform
