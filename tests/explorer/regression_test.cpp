// Faults the random-input test found, each held down by the shortest case that showed it.
#include <QTest>

#include <gtest/gtest.h>

#include <functional>

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

} // namespace
} // namespace explorer
