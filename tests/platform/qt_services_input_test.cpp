#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include <QApplication>
#include <QDialog>
#include <QKeyEvent>
#include <QKeySequence>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QWidget>
#include <QtTest/qtestspontaneevent.h>

#include <gtest/gtest.h>

#include "key_preview.h"
#include "qt_services.h"

namespace {

std::string keyName(const QKeyEvent& event) {
    return QKeySequence(event.key()).toString().toStdString();
}

/// Writes down what the watched widgets get, in order, after the application filters ran.
class EventLog : public QObject {
public:
    std::vector<std::string> entries;

    void watch(QWidget* widget) { widget->installEventFilter(this); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        const std::string who = watched->objectName().toStdString();
        switch (event->type()) {
        case QEvent::KeyPress:
        case QEvent::KeyRelease: {
            const auto* key = static_cast<QKeyEvent*>(event);
            entries.push_back(who + (event->type() == QEvent::KeyPress ? ":press:" : ":release:") +
                              keyName(*key));
            break;
        }
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease: {
            const QPoint p = static_cast<QMouseEvent*>(event)->position().toPoint();
            entries.push_back(who + (event->type() == QEvent::MouseButtonPress ? ":mpress:" : ":mrelease:") +
                              std::to_string(p.x()) + "," + std::to_string(p.y()));
            break;
        }
        default:
            break;
        }
        return false;
    }
};

void sendKey(QObject* receiver, QEvent::Type type, int key, bool autoRepeat = false) {
    QKeyEvent event(type, key, Qt::NoModifier, QString(), autoRepeat);
    QCoreApplication::sendEvent(receiver, &event);
}

/// A key event as the window system delivers it: spontaneous and with its time stamp. The X
/// server's auto-repeat comes as a release and a press with the same stamp, without the flag.
void sendStampedKey(QWidget* receiver, QEvent::Type type, int key, quint64 timestampMs,
                    bool autoRepeat = false) {
    const QString text = key >= Qt::Key_A && key <= Qt::Key_Z ? QString(QChar(key).toLower()) : QString();
    QKeyEvent event(type, key, Qt::NoModifier, text, autoRepeat);
    event.setTimestamp(timestampMs);
    QSpontaneKeyEvent::setSpontaneous(&event);
    qApp->notify(receiver, &event);
}

// --- the Escape poll

enum class Step {
    Press,
    PressRepeat,
    Release,
    ReleaseRepeat,
    UnflaggedRepeat,
    OtherKey,
    Deactivate,
    PollTrue,
    PollFalse
};

struct EscapeCase {
    const char* name;
    std::vector<Step> steps;
};

void PrintTo(const EscapeCase& c, std::ostream* os) {
    *os << c.name;
}

class EscapePoll : public ::testing::TestWithParam<EscapeCase> {};

TEST_P(EscapePoll, ReportsDownOrPressedSinceLastPoll) {
    platform::QtServices services;
    QWidget anyWidget; // Escape counts wherever it is typed
    int poll = 0;
    for (const Step step : GetParam().steps) {
        switch (step) {
        case Step::Press:
            sendKey(&anyWidget, QEvent::KeyPress, Qt::Key_Escape);
            break;
        case Step::PressRepeat:
            sendKey(&anyWidget, QEvent::KeyPress, Qt::Key_Escape, true);
            break;
        case Step::Release:
            sendKey(&anyWidget, QEvent::KeyRelease, Qt::Key_Escape);
            break;
        case Step::ReleaseRepeat:
            sendKey(&anyWidget, QEvent::KeyRelease, Qt::Key_Escape, true);
            break;
        case Step::UnflaggedRepeat: {
            QKeyEvent release(QEvent::KeyRelease, Qt::Key_Escape, Qt::NoModifier);
            release.setTimestamp(500);
            QCoreApplication::sendEvent(&anyWidget, &release);
            QKeyEvent press(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
            press.setTimestamp(500);
            QCoreApplication::sendEvent(&anyWidget, &press);
            break;
        }
        case Step::OtherKey:
            sendKey(&anyWidget, QEvent::KeyPress, Qt::Key_A);
            sendKey(&anyWidget, QEvent::KeyRelease, Qt::Key_A);
            break;
        case Step::Deactivate: {
            QApplicationStateChangeEvent inactive(Qt::ApplicationInactive);
            QCoreApplication::sendEvent(qApp, &inactive);
            break;
        }
        case Step::PollTrue:
            EXPECT_TRUE(services.escapePressed()) << "poll " << ++poll;
            break;
        case Step::PollFalse:
            EXPECT_FALSE(services.escapePressed()) << "poll " << ++poll;
            break;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Sequences, EscapePoll,
    ::testing::Values(EscapeCase{"nothing_pressed", {Step::PollFalse}},
                      EscapeCase{"press_and_release_before_poll_reports_once",
                                 {Step::Press, Step::Release, Step::PollTrue, Step::PollFalse}},
                      EscapeCase{"held_key_reports_every_poll",
                                 {Step::Press, Step::PollTrue, Step::PollTrue, Step::PressRepeat,
                                  Step::PollTrue, Step::Release, Step::PollFalse}},
                      EscapeCase{"release_after_consumed_poll",
                                 {Step::Press, Step::PollTrue, Step::Release, Step::PollFalse}},
                      EscapeCase{"auto_repeat_release_keeps_it_down",
                                 {Step::Press, Step::ReleaseRepeat, Step::PollTrue, Step::PollTrue}},
                      // Held longer than the drawing takes to poll: still down at every poll.
                      EscapeCase{"unflagged_repeat_pair_keeps_it_down",
                                 {Step::Press, Step::PollTrue, Step::UnflaggedRepeat, Step::PollTrue,
                                  Step::UnflaggedRepeat, Step::PollTrue, Step::Release, Step::PollFalse}},
                      EscapeCase{"auto_repeat_press_counts",
                                 {Step::PressRepeat, Step::Release, Step::PollTrue, Step::PollFalse}},
                      EscapeCase{"deactivation_clears_down",
                                 {Step::Press, Step::PollTrue, Step::Deactivate, Step::PollFalse}},
                      EscapeCase{"deactivation_keeps_unpolled_press",
                                 {Step::Press, Step::Deactivate, Step::PollTrue, Step::PollFalse}},
                      EscapeCase{"other_keys_ignored", {Step::OtherKey, Step::PollFalse}}),
    [](const ::testing::TestParamInfo<EscapeCase>& info) { return std::string(info.param.name); });

// --- a main window with a line edit and a plain pad

class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        window.setObjectName("window");
        window.resize(200, 120);
        edit = new QLineEdit(&window);
        edit->setObjectName("edit");
        edit->setGeometry(0, 0, 100, 20);
        pad = new QWidget(&window);
        pad->setObjectName("pad");
        pad->setGeometry(0, 40, 100, 60);
        services.setMainWindow(&window);
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
        edit->setFocus();
        ASSERT_EQ(window.focusWidget(), edit);
        log.watch(&window);
        log.watch(edit);
        log.watch(pad);
    }

    void recordReleasesInHandler() {
        services.setKeyReleaseHandler([this](QObject* sender, const QKeyEvent& event) {
            log.entries.push_back("handler:" + sender->objectName().toStdString() + ":" + keyName(event));
        });
    }

    platform::QtServices services; // outlives the window, as in the programs
    QWidget window;
    QLineEdit* edit = nullptr;
    QWidget* pad = nullptr;
    EventLog log;
};

TEST_F(MainWindowTest, HeldInputIsDeliveredInOrderAfterRelease) {
    recordReleasesInHandler();
    services.holdUserInput(true);
    QTest::keyRelease(edit, Qt::Key_A);
    QTest::mousePress(pad, Qt::LeftButton, Qt::NoModifier, QPoint(5, 6));
    QTest::keyPress(edit, Qt::Key_Escape);
    QTest::mouseRelease(pad, Qt::LeftButton, Qt::NoModifier, QPoint(7, 8));
    services.pumpMessages();
    EXPECT_TRUE(log.entries.empty());
    EXPECT_TRUE(services.escapePressed()) << "Escape is seen while input is held";

    services.holdUserInput(false);
    services.pumpMessages();
    // The pad ignores mouse buttons, so each click goes on to the window as it would unheld.
    const std::vector<std::string> expected = {
        "handler:edit:A", "edit:release:A",   "pad:mpress:5,6",   "window:mpress:5,46",
        "edit:press:Esc", "window:press:Esc", "pad:mrelease:7,8", "window:mrelease:7,48",
    };
    EXPECT_EQ(log.entries, expected);

    // The kept press was counted when it was typed; delivering it again must not count it twice.
    QTest::keyRelease(edit, Qt::Key_Escape);
    EXPECT_FALSE(services.escapePressed());
}

TEST_F(MainWindowTest, HoldStartedWhileDeliveringKeepsTheRestInOrder) {
    services.setKeyReleaseHandler([this](QObject* /*sender*/, const QKeyEvent& event) {
        log.entries.push_back("handler:" + keyName(event));
        if (event.key() == Qt::Key_A) {
            // As a drawing started from a key would: hold, pump, get more input, release.
            services.holdUserInput(true);
            services.pumpMessages();
            log.entries.push_back("pumped");
            QTest::keyRelease(edit, Qt::Key_D);
            services.holdUserInput(false);
        }
    });
    services.holdUserInput(true);
    QTest::keyRelease(edit, Qt::Key_A);
    QTest::keyRelease(edit, Qt::Key_B);
    QTest::keyRelease(edit, Qt::Key_C);
    services.holdUserInput(false);
    services.pumpMessages();
    const std::vector<std::string> expected = {
        "handler:A", "pumped",         "edit:release:A", "handler:B",      "edit:release:B",
        "handler:C", "edit:release:C", "handler:D",      "edit:release:D",
    };
    EXPECT_EQ(log.entries, expected);
}

TEST_F(MainWindowTest, KeptInputForAVanishedWidgetIsDropped) {
    auto* doomed = new QWidget(&window);
    doomed->setObjectName("doomed");
    doomed->setGeometry(120, 0, 50, 50);
    log.watch(doomed);
    services.holdUserInput(true);
    QTest::mousePress(doomed, Qt::LeftButton, Qt::NoModifier, QPoint(1, 1));
    QTest::mousePress(pad, Qt::LeftButton, Qt::NoModifier, QPoint(2, 3));
    delete doomed;
    services.holdUserInput(false);
    services.pumpMessages();
    const std::vector<std::string> expected = {"pad:mpress:2,3", "window:mpress:2,43"};
    EXPECT_EQ(log.entries, expected);
}

TEST_F(MainWindowTest, InputToOtherWindowsIsNotHeld) {
    QDialog dialog(&window); // a child of the main window, but a window of its own
    dialog.setObjectName("dialog");
    QWidget other;
    other.setObjectName("other");
    log.watch(&dialog);
    log.watch(&other);
    services.holdUserInput(true);
    QTest::mousePress(&dialog, Qt::LeftButton, Qt::NoModifier, QPoint(1, 2));
    QTest::mousePress(&other, Qt::LeftButton, Qt::NoModifier, QPoint(3, 4));
    const std::vector<std::string> expected = {"dialog:mpress:1,2", "other:mpress:3,4"};
    EXPECT_EQ(log.entries, expected);
    services.holdUserInput(false);
}

// --- key preview

struct FocusCase {
    const char* name;
    bool padHasFocus;
    std::vector<std::string> expected;
};

void PrintTo(const FocusCase& c, std::ostream* os) {
    *os << c.name;
}

class KeyPreviewFocus : public MainWindowTest, public ::testing::WithParamInterface<FocusCase> {};

TEST_P(KeyPreviewFocus, ReleaseReachesHandlerOnceBeforeTheFocusedControl) {
    recordReleasesInHandler();
    QWidget* target = edit;
    if (GetParam().padHasFocus) {
        pad->setFocusPolicy(Qt::StrongFocus);
        pad->setFocus();
        target = pad;
    }
    ASSERT_EQ(window.focusWidget(), target);
    QTest::keyRelease(target, Qt::Key_B);
    EXPECT_EQ(log.entries, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Controls, KeyPreviewFocus,
    ::testing::Values(FocusCase{"line_edit", false, {"handler:edit:B", "edit:release:B"}},
                      // A plain widget ignores the release, so Qt offers it to the window too.
                      FocusCase{
                          "ignoring_control", true, {"handler:pad:B", "pad:release:B", "window:release:B"}}),
    [](const ::testing::TestParamInfo<FocusCase>& info) { return std::string(info.param.name); });

TEST_F(MainWindowTest, ReleaseWithoutFocusWidgetComesFromTheWindow) {
    recordReleasesInHandler();
    edit->clearFocus();
    ASSERT_EQ(window.focusWidget(), nullptr);
    QTest::keyRelease(&window, Qt::Key_C);
    const std::vector<std::string> expected = {"handler:window:C", "window:release:C"};
    EXPECT_EQ(log.entries, expected);
}

struct PreviewCase {
    const char* name;
    QEvent::Type type;
    bool autoRepeat;
    int expectedCalls;
};

void PrintTo(const PreviewCase& c, std::ostream* os) {
    *os << c.name;
}

class KeyPreviewFilter : public MainWindowTest, public ::testing::WithParamInterface<PreviewCase> {};

TEST_P(KeyPreviewFilter, OnlyRealReleasesReachTheHandler) {
    int calls = 0;
    services.setKeyReleaseHandler([&calls](QObject* /*sender*/, const QKeyEvent& /*event*/) { ++calls; });
    sendKey(edit, GetParam().type, Qt::Key_X, GetParam().autoRepeat);
    EXPECT_EQ(calls, GetParam().expectedCalls);
}

INSTANTIATE_TEST_SUITE_P(Events, KeyPreviewFilter,
                         ::testing::Values(PreviewCase{"release", QEvent::KeyRelease, false, 1},
                                           PreviewCase{"auto_repeat_release", QEvent::KeyRelease, true, 0},
                                           PreviewCase{"press", QEvent::KeyPress, false, 0}),
                         [](const ::testing::TestParamInfo<PreviewCase>& info) {
                             return std::string(info.param.name);
                         });

// --- held keys: the X server's auto-repeat, flagged or not

struct StampedStep {
    enum Kind { Press, Release, Click, Hold, HoldAWhile, EndHold } kind;
    int key = 0;
    quint64 timestampMs = 0;
    bool flagged = false;
};

StampedStep press(int key, quint64 ms, bool flagged = false) {
    return {StampedStep::Press, key, ms, flagged};
}
StampedStep release(int key, quint64 ms, bool flagged = false) {
    return {StampedStep::Release, key, ms, flagged};
}

struct HeldKeyCase {
    const char* name;
    std::vector<StampedStep> steps;
    std::vector<std::string> expected;
};

void PrintTo(const HeldKeyCase& c, std::ostream* os) {
    *os << c.name;
}

class HeldKeyRepeats : public MainWindowTest, public ::testing::WithParamInterface<HeldKeyCase> {};

TEST_P(HeldKeyRepeats, EveryKeyStrokeReachesTheHandlerOnce) {
    services.setKeyReleaseHandler([this](QObject* sender, const QKeyEvent& event) {
        log.entries.push_back("handler:" + sender->objectName().toStdString() + ":" + keyName(event) + "@" +
                              std::to_string(event.timestamp()));
    });
    for (const StampedStep& step : GetParam().steps) {
        switch (step.kind) {
        case StampedStep::Press:
            sendStampedKey(edit, QEvent::KeyPress, step.key, step.timestampMs, step.flagged);
            break;
        case StampedStep::Release:
            sendStampedKey(edit, QEvent::KeyRelease, step.key, step.timestampMs, step.flagged);
            break;
        case StampedStep::Click:
            QTest::mouseClick(pad, Qt::LeftButton, Qt::NoModifier, QPoint(5, 6));
            break;
        case StampedStep::Hold:
            services.holdUserInput(true);
            break;
        case StampedStep::HoldAWhile:
            // As a drawing does: input held, the event loop pumped past the wait for a pair.
            services.holdUserInput(true);
            QTest::qWait(2 * platform::kRepeatPairWaitMs);
            break;
        case StampedStep::EndHold:
            log.entries.push_back("hold ends");
            services.holdUserInput(false);
            services.pumpMessages();
            break;
        }
    }
    // The last release waits for a press that could pair it; none comes.
    EXPECT_TRUE(QTest::qWaitFor([this] { return !services.heldKeys().holdsRelease(); }, 5000));
    EXPECT_EQ(log.entries, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Sequences, HeldKeyRepeats,
    ::testing::Values(
        HeldKeyCase{"held_key_without_flags_runs_once",
                    {press(Qt::Key_S, 100), release(Qt::Key_S, 760), press(Qt::Key_S, 760),
                     release(Qt::Key_S, 800), press(Qt::Key_S, 800), release(Qt::Key_S, 1200)},
                    {"edit:press:S", "edit:release:S", "edit:press:S", "edit:release:S", "edit:press:S",
                     "edit:release:S", "handler:edit:S@1200"}},
        HeldKeyCase{
            "held_key_with_flags_runs_once",
            {press(Qt::Key_S, 100), release(Qt::Key_S, 760, true), press(Qt::Key_S, 760, true),
             release(Qt::Key_S, 1200)},
            {"edit:press:S", "edit:release:S", "edit:press:S", "edit:release:S", "handler:edit:S@1200"}},
        HeldKeyCase{
            "two_strokes_run_twice",
            {press(Qt::Key_S, 100), release(Qt::Key_S, 200), press(Qt::Key_S, 300), release(Qt::Key_S, 400)},
            {"edit:press:S", "edit:release:S", "handler:edit:S@200", "edit:press:S", "edit:release:S",
             "handler:edit:S@400"}},
        // Another key, even in the same millisecond, does not pair with the release.
        HeldKeyCase{
            "next_key_comes_after_the_release",
            {press(Qt::Key_S, 100), release(Qt::Key_S, 200), press(Qt::Key_M, 200), release(Qt::Key_M, 300)},
            {"edit:press:S", "edit:release:S", "handler:edit:S@200", "edit:press:M", "edit:release:M",
             "handler:edit:M@300"}},
        HeldKeyCase{"click_comes_after_the_release",
                    {press(Qt::Key_S, 100), release(Qt::Key_S, 200), {StampedStep::Click}},
                    {"edit:press:S", "edit:release:S", "handler:edit:S@200", "pad:mpress:5,6",
                     "window:mpress:5,46", "pad:mrelease:5,6", "window:mrelease:5,46"}},
        // A program's own events carry no time stamp: nothing can pair them, so they count at
        // once, before the control sees them.
        HeldKeyCase{"unstamped_release_runs_at_once",
                    {press(Qt::Key_S, 0), release(Qt::Key_S, 0), press(Qt::Key_S, 0), release(Qt::Key_S, 0)},
                    {"edit:press:S", "handler:edit:S@0", "edit:release:S", "edit:press:S", "handler:edit:S@0",
                     "edit:release:S"}},
        // Held during a drawing: the kept events, delivered afterwards, still pair up.
        HeldKeyCase{"held_during_a_drawing_runs_once_afterwards",
                    {{StampedStep::Hold},
                     press(Qt::Key_S, 100),
                     release(Qt::Key_S, 760),
                     press(Qt::Key_S, 760),
                     release(Qt::Key_S, 900),
                     {StampedStep::EndHold}},
                    {"hold ends", "edit:press:S", "edit:release:S", "edit:press:S", "edit:release:S",
                     "handler:edit:S@900"}},
        // A drawing started meanwhile does not carry the waiting release out inside it.
        HeldKeyCase{"release_waiting_as_a_drawing_starts_runs_after_it",
                    {press(Qt::Key_S, 100),
                     release(Qt::Key_S, 200),
                     {StampedStep::HoldAWhile},
                     press(Qt::Key_M, 250),
                     {StampedStep::EndHold}},
                    {"edit:press:S", "edit:release:S", "hold ends", "handler:edit:S@200", "edit:press:M"}}),
    [](const ::testing::TestParamInfo<HeldKeyCase>& info) { return std::string(info.param.name); });

TEST_F(MainWindowTest, KeyTypedRightAfterEnterGoesToTheFieldEnterMovedTo) {
    auto* next = new QLineEdit(&window);
    next->setObjectName("next");
    next->setGeometry(0, 20, 100, 20);
    next->show();
    services.setKeyReleaseHandler([next](QObject* /*sender*/, const QKeyEvent& event) {
        if (event.key() == Qt::Key_Return) {
            next->setFocus();
        }
    });
    sendStampedKey(edit, QEvent::KeyPress, Qt::Key_Return, 100);
    sendStampedKey(edit, QEvent::KeyRelease, Qt::Key_Return, 180);
    // Qt sends the next key to the field that has the focus while the release still waits.
    sendStampedKey(edit, QEvent::KeyPress, Qt::Key_A, 190);
    EXPECT_EQ(window.focusWidget(), next);
    EXPECT_EQ(next->text(), QStringLiteral("a"));
    EXPECT_TRUE(edit->text().isEmpty());
}

TEST_F(MainWindowTest, ReleasesOutsideTheMainWindowAreNotPreviewed) {
    int calls = 0;
    services.setKeyReleaseHandler([&calls](QObject* /*sender*/, const QKeyEvent& /*event*/) { ++calls; });
    QDialog dialog(&window);
    auto* dialogEdit = new QLineEdit(&dialog);
    dialogEdit->setFocus();
    QWidget other;
    sendKey(dialogEdit, QEvent::KeyRelease, Qt::Key_Y);
    sendKey(&dialog, QEvent::KeyRelease, Qt::Key_Y);
    sendKey(&other, QEvent::KeyRelease, Qt::Key_Y);
    EXPECT_EQ(calls, 0);
}

TEST_F(MainWindowTest, ReleaseIsPreviewedOnlyAtItsFirstReceiver) {
    int calls = 0;
    services.setKeyReleaseHandler([&calls](QObject* /*sender*/, const QKeyEvent& /*event*/) { ++calls; });
    // The pad does not have the focus: Qt would never send a key there first.
    sendKey(pad, QEvent::KeyRelease, Qt::Key_Z);
    EXPECT_EQ(calls, 0);
}

// --- Enter on a button

struct ButtonKeyCase {
    const char* name;
    Qt::Key key;
    bool onButton;
    std::vector<std::string> expected;
    bool held = false; // held down long enough for the X server to repeat it twice
};

void PrintTo(const ButtonKeyCase& c, std::ostream* os) {
    *os << c.name;
}

class ButtonKeys : public MainWindowTest, public ::testing::WithParamInterface<ButtonKeyCase> {};

TEST_P(ButtonKeys, PressClicksAndReleaseStillReachesTheHandler) {
    auto* button = new QPushButton(QStringLiteral("Erzeugen"), &window);
    button->setObjectName("button");
    QObject::connect(button, &QPushButton::clicked, [this] { log.entries.push_back("clicked"); });
    platform::InstallKeyPreview(&window, services, [this](QObject* sender, const QKeyEvent& event) {
        log.entries.push_back("handler:" + sender->objectName().toStdString() + ":" +
                              std::to_string(platform::VirtualKeyCode(event)));
    });
    button->show();
    QWidget* target = GetParam().onButton ? static_cast<QWidget*>(button) : edit;
    target->setFocus();
    if (GetParam().held) {
        const int key = GetParam().key;
        sendStampedKey(target, QEvent::KeyPress, key, 100);
        for (const quint64 ms : {700, 740}) {
            sendStampedKey(target, QEvent::KeyRelease, key, ms);
            sendStampedKey(target, QEvent::KeyPress, key, ms);
        }
        sendStampedKey(target, QEvent::KeyRelease, key, 1000);
        EXPECT_TRUE(QTest::qWaitFor([this] { return !services.heldKeys().holdsRelease(); }, 5000));
        // The button's own wait for a pair ends in the same turn of the event loop, or the next.
        EXPECT_TRUE(
            QTest::qWaitFor([this] { return log.entries.size() >= GetParam().expected.size(); }, 500));
    } else {
        QTest::keyClick(target, GetParam().key);
    }
    EXPECT_EQ(log.entries, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Keys, ButtonKeys,
    // A button ignores the release of Enter, so Qt offers it to the window as well.
    ::testing::Values(
        ButtonKeyCase{
            "return_clicks", Qt::Key_Return, true, {"clicked", "handler:button:13", "window:release:Return"}},
        ButtonKeyCase{"keypad_enter_clicks",
                      Qt::Key_Enter,
                      true,
                      {"clicked", "handler:button:13", "window:release:Enter"}},
        ButtonKeyCase{"space_still_clicks", Qt::Key_Space, true, {"handler:button:288", "clicked"}},
        // The repeats neither click again nor reach the handler, whose Enter walk would move the
        // focus on to the next button for the next repeat to click.
        ButtonKeyCase{"held_return_clicks_once",
                      Qt::Key_Return,
                      true,
                      {"clicked", "window:release:Return", "window:release:Return", "window:release:Return",
                       "handler:button:13"},
                      true},
        // Qt clicks on the release of Space: a repeat's release must not reach the button.
        ButtonKeyCase{"held_space_clicks_once", Qt::Key_Space, true, {"handler:button:288", "clicked"}, true},
        ButtonKeyCase{
            "enter_in_a_field_clicks_nothing",
            Qt::Key_Return,
            false,
            {"edit:press:Return", "window:press:Return", "handler:edit:13", "edit:release:Return"}}),
    [](const ::testing::TestParamInfo<ButtonKeyCase>& info) { return std::string(info.param.name); });

} // namespace
