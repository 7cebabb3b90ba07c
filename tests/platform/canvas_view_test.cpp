#include <ostream>

#include <QEvent>
#include <QImage>
#include <QMouseEvent>
#include <QPixmap>
#include <QPointingDevice>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include "canvas.h"
#include "canvas_view.h"

namespace {

constexpr common::Colour kFill{10, 20, 30};

QColor qcolour(common::Colour c) {
    return {c.r, c.g, c.b};
}

TEST(CanvasView, ShowsCanvasOneToOneAndBlackBeyond) {
    common::Canvas canvas(40, 30, kFill);
    canvas.setPixel(0, 0, common::kRed);
    canvas.setPixel(39, 29, common::kYellow);
    canvas.setPixel(17, 9, common::Colour{1, 2, 3});
    platform::CanvasView view(canvas);
    view.resize(60, 50);

    const QImage shot = view.grab().toImage();
    ASSERT_EQ(shot.size(), QSize(60, 50));
    struct Probe {
        int x;
        int y;
        QColor expected;
    };
    const Probe probes[] = {
        {0, 0, qcolour(common::kRed)},
        {39, 29, qcolour(common::kYellow)},
        {17, 9, QColor(1, 2, 3)},
        {20, 20, qcolour(kFill)},
        {38, 29, qcolour(kFill)},
        {40, 0, Qt::black},
        {39, 30, Qt::black},
        {59, 49, Qt::black},
        {0, 49, Qt::black},
    };
    for (const Probe& p : probes) {
        EXPECT_EQ(shot.pixelColor(p.x, p.y), p.expected) << "at " << p.x << "," << p.y;
    }
}

TEST(CanvasView, WidgetSmallerThanCanvasShowsTopLeft) {
    common::Canvas canvas(50, 50, kFill);
    canvas.setPixel(9, 9, common::kRed);
    canvas.setPixel(10, 10, common::kYellow);
    platform::CanvasView view(canvas);
    view.resize(10, 10);
    const QImage shot = view.grab().toImage();
    ASSERT_EQ(shot.size(), QSize(10, 10));
    EXPECT_EQ(shot.pixelColor(9, 9), qcolour(common::kRed));
    EXPECT_EQ(shot.pixelColor(0, 0), qcolour(kFill));
}

/// What the window really shows, read back from the screen rather than painted anew.
class ShownCanvasView : public ::testing::Test {
protected:
    void SetUp() override {
        view.resize(40, 30);
        view.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
        QCoreApplication::processEvents();
        ASSERT_EQ(onScreen(5, 5), qcolour(kFill));
    }

    QColor onScreen(int x, int y) const {
        return view.screen()->grabWindow(view.winId()).toImage().pixelColor(x, y);
    }

    bool waitUntilShown(int x, int y, QColor expected) const {
        for (int i = 0; i < 400; ++i) {
            if (onScreen(x, y) == expected) {
                return true;
            }
            QTest::qWait(5);
        }
        return false;
    }

    common::Canvas canvas{40, 30, kFill};
    platform::CanvasView view{canvas};
};

TEST_F(ShownCanvasView, ShowsChangesNobodyAnnounced) {
    canvas.setPixel(5, 5, common::kRed);
    EXPECT_TRUE(waitUntilShown(5, 5, qcolour(common::kRed)));
    canvas.setPixel(5, 5, common::kYellow);
    EXPECT_TRUE(waitUntilShown(5, 5, qcolour(common::kYellow)));
}

TEST_F(ShownCanvasView, GrabbingDoesNotHideAChangeFromTheScreen) {
    canvas.setPixel(5, 5, common::kRed);
    const QImage copy = view.grab().toImage();
    EXPECT_EQ(copy.pixelColor(5, 5), qcolour(common::kRed));
    EXPECT_TRUE(waitUntilShown(5, 5, qcolour(common::kRed)));
}

TEST_F(ShownCanvasView, RefreshNowShowsAtOnce) {
    canvas.setPixel(1, 1, common::kYellow);
    view.refreshNow();
    EXPECT_EQ(onScreen(1, 1), qcolour(common::kYellow));
}

struct MouseCase {
    const char* name;
    QEvent::Type type;
    Qt::MouseButton button;
    Qt::MouseButtons buttons;
    Qt::KeyboardModifiers modifiers;
    QPointF position;
    const char* expectedSignal;
    QPoint expectedPos;
};

void PrintTo(const MouseCase& c, std::ostream* os) {
    *os << c.name;
}

class CanvasViewMouse : public ::testing::TestWithParam<MouseCase> {};

TEST_P(CanvasViewMouse, EmitsButtonsModifiersAndCanvasPixel) {
    const MouseCase& c = GetParam();
    common::Canvas canvas(40, 30);
    platform::CanvasView view(canvas);
    view.resize(40, 30);
    QSignalSpy pressed(&view, &platform::CanvasView::mousePressed);
    QSignalSpy moved(&view, &platform::CanvasView::mouseMoved);
    QSignalSpy released(&view, &platform::CanvasView::mouseReleased);

    QMouseEvent event(c.type, c.position, view.mapToGlobal(c.position), c.button, c.buttons, c.modifiers,
                      QPointingDevice::primaryPointingDevice());
    QCoreApplication::sendEvent(&view, &event);
    EXPECT_TRUE(event.isAccepted());

    const std::string which = c.expectedSignal;
    ASSERT_EQ(pressed.count(), which == "pressed" ? 1 : 0);
    ASSERT_EQ(moved.count(), which == "moved" ? 1 : 0);
    ASSERT_EQ(released.count(), which == "released" ? 1 : 0);
    if (which == "moved") {
        const QList<QVariant> args = moved.takeFirst();
        EXPECT_EQ(args.at(0).value<Qt::MouseButtons>(), c.buttons);
        EXPECT_EQ(args.at(1).value<Qt::KeyboardModifiers>(), c.modifiers);
        EXPECT_EQ(args.at(2).toPoint(), c.expectedPos);
    } else {
        const QList<QVariant> args = which == "pressed" ? pressed.takeFirst() : released.takeFirst();
        EXPECT_EQ(args.at(0).value<Qt::MouseButton>(), c.button);
        EXPECT_EQ(args.at(1).value<Qt::MouseButtons>(), c.buttons);
        EXPECT_EQ(args.at(2).value<Qt::KeyboardModifiers>(), c.modifiers);
        EXPECT_EQ(args.at(3).toPoint(), c.expectedPos);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Events, CanvasViewMouse,
    ::testing::Values(MouseCase{"left_press_with_shift", QEvent::MouseButtonPress, Qt::LeftButton,
                                Qt::LeftButton, Qt::ShiftModifier, QPointF(5, 7), "pressed", QPoint(5, 7)},
                      MouseCase{"right_press_while_left_down", QEvent::MouseButtonPress, Qt::RightButton,
                                Qt::LeftButton | Qt::RightButton, Qt::NoModifier, QPointF(39, 29), "pressed",
                                QPoint(39, 29)},
                      MouseCase{"double_click_is_a_press", QEvent::MouseButtonDblClick, Qt::LeftButton,
                                Qt::LeftButton, Qt::ControlModifier, QPointF(3, 4), "pressed", QPoint(3, 4)},
                      MouseCase{"release_reports_remaining_buttons", QEvent::MouseButtonRelease,
                                Qt::LeftButton, Qt::RightButton, Qt::NoModifier, QPointF(12, 1), "released",
                                QPoint(12, 1)},
                      MouseCase{"move_without_buttons", QEvent::MouseMove, Qt::NoButton, Qt::NoButton,
                                Qt::AltModifier, QPointF(20, 10), "moved", QPoint(20, 10)},
                      MouseCase{"fraction_belongs_to_its_pixel", QEvent::MouseMove, Qt::NoButton,
                                Qt::LeftButton, Qt::NoModifier, QPointF(7.75, 2.5), "moved", QPoint(7, 2)}),
    [](const ::testing::TestParamInfo<MouseCase>& info) { return std::string(info.param.name); });

} // namespace
