#include <atomic>
#include <cstdint>
#include <thread>

#include <QCoreApplication>
#include <QCursor>
#include <QEvent>
#include <QGuiApplication>

#include <gtest/gtest.h>

#include "qt_services.h"

namespace {

class EventCounter : public QObject {
public:
    int userEvents = 0;

protected:
    bool event(QEvent* e) override {
        if (e->type() == QEvent::User) {
            ++userEvents;
            return true;
        }
        return QObject::event(e);
    }
};

class WaitForEventsTest : public ::testing::TestWithParam<int> {};

// Only that it comes back: a wait that ignored its limit would hang until the test is killed.
TEST_P(WaitForEventsTest, ReturnsWithoutEvents) {
    platform::QtServices services;
    EventCounter counter;
    services.waitForEvents(GetParam());
    EXPECT_EQ(counter.userEvents, 0);
}

INSTANTIATE_TEST_SUITE_P(Limits, WaitForEventsTest, ::testing::Values(-1, 0, 1, 50),
                         [](const ::testing::TestParamInfo<int>& info) {
                             return info.param < 0 ? std::string("negative")
                                                   : "ms_" + std::to_string(info.param);
                         });

TEST(WaitForEvents, AnEventFromAnotherThreadEndsTheWait) {
    platform::QtServices services;
    EventCounter counter;
    std::atomic<bool> waiting{false};
    std::thread poster([&] {
        while (!waiting.load()) {
            std::this_thread::yield();
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        QCoreApplication::postEvent(&counter, new QEvent(QEvent::User));
    });
    // Ten minutes each: only the posted event can end these waits before the test is killed.
    waiting.store(true);
    while (counter.userEvents == 0) {
        services.waitForEvents(600000);
    }
    poster.join();
    EXPECT_EQ(counter.userEvents, 1);
}

TEST(WaitForEvents, APendingEventIsHandledAtOnce) {
    platform::QtServices services;
    EventCounter counter;
    QCoreApplication::postEvent(&counter, new QEvent(QEvent::User));
    while (counter.userEvents == 0) {
        services.waitForEvents(600000);
    }
    EXPECT_EQ(counter.userEvents, 1);
}

TEST(PumpMessages, DeliversPostedEvents) {
    platform::QtServices services;
    EventCounter counter;
    QCoreApplication::postEvent(&counter, new QEvent(QEvent::User));
    QCoreApplication::postEvent(&counter, new QEvent(QEvent::User));
    services.pumpMessages();
    EXPECT_EQ(counter.userEvents, 2);
}

TEST(BusyCursor, DoesNotStack) {
    platform::QtServices services;
    ASSERT_EQ(QGuiApplication::overrideCursor(), nullptr);
    services.setBusyCursor(true);
    services.setBusyCursor(true);
    ASSERT_NE(QGuiApplication::overrideCursor(), nullptr);
    EXPECT_EQ(QGuiApplication::overrideCursor()->shape(), Qt::WaitCursor);
    services.setBusyCursor(false);
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    services.setBusyCursor(false);
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

TEST(BusyCursor, RestoredWhenServicesGo) {
    {
        platform::QtServices services;
        services.setBusyCursor(true);
    }
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

TEST(TickCount, SleepAdvancesIt) {
    platform::QtServices services;
    const std::uint32_t before = services.tickCountMs();
    services.sleepMs(20);
    // Unsigned difference, as the programs compute it across the wrap.
    EXPECT_GE(static_cast<std::uint32_t>(services.tickCountMs() - before), 20u);
}

TEST(Screen, OffscreenScreenIsUnscaled) {
    platform::QtServices services;
    const common::ScreenInfo info = services.screen();
    EXPECT_GT(info.width, 0);
    EXPECT_GT(info.height, 0);
    EXPECT_EQ(info.dpi, 96);
}

} // namespace
