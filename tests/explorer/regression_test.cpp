// Faults the random-input test found, each held down by the shortest case that showed it.
#include <QComboBox>
#include <QTest>

#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include "explorer_window.h"
#include "fake_services.h"

namespace explorer {
namespace {

using testing_support::FakeServices;

/// Runs a hook once, at the next Escape poll: for a drawing, right after the engine started.
class NextPollHook : public FakeServices {
public:
    std::function<void()> atNextPoll;
    bool escapePressed() override {
        if (atNextPoll) {
            const std::function<void()> hook = std::move(atNextPoll);
            atNextPoll = nullptr;
            hook();
        }
        return FakeServices::escapePressed();
    }
};

TEST(ExplorerRegression, ClosingTheWindowDuringADrawingEndsTheDrawing) {
    NextPollHook fake;
    ExplorerWindow window(fake);
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    long pumpsAtClose = -1;
    // The close box cancels the count engine; the drawing used to wait for ever for the columns
    // that engine would no longer count. Escape after many pumps turns such a hang into a failure.
    const auto closeAtNextPoll = [&] {
        pumpsAtClose = fake.pumps;
        window.close();
    };
    fake.onPump = [&] {
        if (pumpsAtClose >= 0 && fake.pumps - pumpsAtClose > 100) {
            fake.escapeHeld = true;
        }
    };
    // A band inside the main cardioid: every point counts to the limit, so the drawing is still
    // under way when the window closes.
    window.FormKeyUp(&window, 'M');
    window.FormMouseDown(Qt::LeftButton, Qt::LeftButton, Qt::NoModifier, {300, 330});
    window.FormMouseMove(Qt::LeftButton, Qt::NoModifier, {380, 270});
    window.FormMouseUp();
    ASSERT_TRUE(window.state().ZoomPending);
    fake.atNextPoll = closeAtNextPoll;
    window.FormKeyUp(&window, 'M');
    fake.onPump = nullptr;
    ASSERT_GE(pumpsAtClose, 0);
    EXPECT_LE(fake.pumps - pumpsAtClose, 1);
    EXPECT_FALSE(fake.escapeHeld);
    EXPECT_FALSE(window.state().drawing());
    EXPECT_FALSE(window.isVisible());
    EXPECT_FALSE(fake.inputHeld);
}

// Found by the random-input run under the sanitizers: with a Julia constant typed into the list,
// the list lost the focus while the window was being destroyed and reported a pick to a handler
// of a window that no longer was. Only the sanitizer build sees the call; the others run it.
TEST(ExplorerRegression, DestroyingTheWindowWithAConstantTypedIntoTheListCallsNoHandler) {
    FakeServices fake;
    auto window = std::make_unique<ExplorerWindow>(fake);
    window->show();
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    window->findChild<QWidget*>(QStringLiteral("Panel2"))->show();
    auto* list = window->findChild<QComboBox*>(QStringLiteral("ComboBox1"));
    list->setFocus();
    ASSERT_TRUE(list->hasFocus());
    list->setEditText(QStringLiteral("0.34/0.38"));
    int picks = 0;
    QObject::connect(list, &QComboBox::activated, list, [&picks] { ++picks; });
    window.reset();
    EXPECT_EQ(picks, 1)
        << "the list no longer reports the pick as it loses the focus: this case tests nothing";
}

} // namespace
} // namespace explorer
