#include <QApplication>
#include <QComboBox>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>

#include "colour_scheme.h"
#include "escape_time.h"
#include "explorer_help.h"
#include "explorer_window.h"
#include "fake_services.h"
#include "jpeg_file.h"
#include "picture_files.h"
#include "picture_record.h"
#include "set_record.h"

namespace explorer {
namespace {

using testing_support::FakeServices;

class ExplorerWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        window = std::make_unique<ExplorerWindow>(fake);
        window->show();
        window->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
        ASSERT_EQ(window->activations(), 1);
    }
    void TearDown() override {
        fake.onPump = nullptr;
        window.reset();
    }

    ExplorerState& s() { return window->state(); }
    const common::Canvas& pic() { return window->picture(); }
    template <typename T> T* child(const char* name) {
        return window->findChild<T*>(QString::fromLatin1(name));
    }
    void key(int code, QObject* sender = nullptr) { window->FormKeyUp(sender ? sender : window.get(), code); }
    void drag(QPoint from, QPoint to) {
        window->FormMouseDown(Qt::LeftButton, Qt::LeftButton, Qt::NoModifier, from);
        window->FormMouseMove(Qt::LeftButton, Qt::NoModifier, to);
        window->FormMouseUp();
    }
    bool allBlack() {
        for (int y = 0; y < pic().height(); ++y) {
            for (int x = 0; x < pic().width(); ++x) {
                if (pic().pixel(x, y) != common::kBlack) {
                    return false;
                }
            }
        }
        return true;
    }
    /// The picture the plain per-pixel loop gives for the current view, with the current colours.
    ::testing::AssertionResult matchesPlainLoop(SetKind kind) {
        RenderJob job{kind, s().view, s().frame, s().JuliaC};
        const std::vector<std::uint16_t> counts = ComputeCountsPlain(job);
        const int rows = job.rows();
        for (int i = 0; i < job.columns(); ++i) {
            for (int j = 0; j < rows; ++j) {
                const int x = s().frame.FrameLeft + i;
                const int y = s().frame.FrameTop + j;
                if (x >= pic().width() || y >= pic().height()) {
                    continue;
                }
                const common::Colour want =
                    PixelColour(s().colours, counts[static_cast<std::size_t>(i) * rows + j]);
                if (pic().pixel(x, y) != want) {
                    return ::testing::AssertionFailure() << "pixel " << x << "," << y << " differs";
                }
            }
        }
        return ::testing::AssertionSuccess();
    }

    FakeServices fake;
    std::unique_ptr<ExplorerWindow> window;
};

TEST_F(ExplorerWindowTest, StartsFittedBlackAndWithTheTitleLine) {
    EXPECT_EQ(window->objectName(), QStringLiteral("Form4"));
    EXPECT_EQ(window->width(), 601); // the fake reports a 1024 x 768 screen at 96 dpi
    EXPECT_EQ(window->height(), 601);
    EXPECT_EQ(s().PicWidth, 601);
    EXPECT_EQ(s().frame, (PixelFrame{0, 601, 0, 601}));
    EXPECT_TRUE(window->windowTitle().endsWith(QStringLiteral(",  <M> Start, <E> Ende, <H> Hilfe ein/aus")));
    EXPECT_TRUE(allBlack());
    EXPECT_FALSE(child<QFrame>("Panel1")->isVisible());
    EXPECT_FALSE(child<QFrame>("Panel2")->isVisible());
    EXPECT_FALSE(child<QPlainTextEdit>("Memo1")->isVisible());
    EXPECT_TRUE(s().UseOriginalColours);
    EXPECT_EQ(s().PicBaseName, "Bild");
    EXPECT_EQ(s().PicNumber, 1);
    EXPECT_EQ(s().ShowDelay, 3000);
    EXPECT_EQ(s().PrintScale, 1.0);
    // The whole window, its frame included, stands in the middle of the screen.
    const QRect frame = window->frameGeometry();
    EXPECT_EQ(frame.topLeft(), QPoint((1024 - frame.width()) / 2, (768 - frame.height()) / 2));
    // A second activation (after a box of our own closed) does not reset anything.
    s().PicNumber = 7;
    QEvent activate(QEvent::WindowActivate);
    QApplication::sendEvent(window.get(), &activate);
    EXPECT_EQ(s().PicNumber, 7);
}

TEST_F(ExplorerWindowTest, StartPointPanelHoldsItsTextsAndPresets) {
    auto* combo = child<QComboBox>("ComboBox1");
    ASSERT_EQ(combo->count(), 12);
    EXPECT_EQ(combo->itemText(0), QStringLiteral("0.00/0.00"));
    EXPECT_EQ(combo->itemText(9), QStringLiteral("-0.50/0.60"));
    EXPECT_EQ(combo->itemText(11), QStringLiteral("-0.55/0.50"));
    EXPECT_TRUE(combo->isEditable());
    EXPECT_TRUE(combo->currentText().isEmpty());
    EXPECT_EQ(child<QPushButton>("Button4")->text(), QStringLiteral("START"));
    const QStringList lines = child<QLabel>("Label1")->text().split(QLatin1Char('\n'));
    ASSERT_EQ(lines.size(), 5);
    for (const QString& line : lines) {
        EXPECT_EQ(line.size(), 39) << line.toStdString();
    }
    EXPECT_EQ(lines[3], QStringLiteral(" und mit dem Schalter <START> starten. "));
}

TEST_F(ExplorerWindowTest, HelpTextHasItsKeyLinesAndOnePageBreak) {
    const std::vector<std::string>& lines = HelpLines();
    ASSERT_EQ(lines.size(), 61u);
    EXPECT_EQ(lines[0], "    ");
    EXPECT_EQ(lines[45], ".");
    EXPECT_EQ(std::count(lines.begin(), lines.end(), std::string(".")), 1);
    const auto at = [&](const std::string& text) {
        return std::find_if(lines.begin(), lines.end(),
                            [&](const std::string& l) { return l.size() >= 20 && l.substr(20) == text; });
    };
    const std::vector<std::string> keyLines = {"<H> Hilfstext Ein/Aus-blenden",
                                               "<O> Originale Anfangswerte setzen",
                                               "<C> Grafik löschen",
                                               "<F> Farbwerte verändern",
                                               "<M> Mandelbrotmenge darstellen",
                                               "<J> Juliamenge darstellen",
                                               "<K> Konfiguration des Druckers",
                                               "<P> Drucken von Grafik oder Hilfstext",
                                               "<W> Bildweite maximieren",
                                               "<N> Bildweite normalisieren",
                                               "<D> Dateinamen für Speicherung eingeben",
                                               "<S> Grafik in Bildatei (JPEG) speichern",
                                               "<B> Bildershow ausführen",
                                               "<A> Show anhalten bzw. weiterführen",
                                               "<Esc> bricht eine Darstellung (Show) ab",
                                               "<E> Ende des Programms"};
    auto first = at(keyLines[0]);
    ASSERT_NE(first, lines.end());
    EXPECT_EQ(first->substr(0, 20), " Tastenfunktionen:  ");
    for (std::size_t i = 1; i < keyLines.size(); ++i) {
        EXPECT_EQ(*(first + static_cast<long>(i)), std::string(20, ' ') + keyLines[i]) << i;
    }
    auto mouse = at("Der Zoom-Rahmen wird mit gedrückter");
    ASSERT_NE(mouse, lines.end());
    EXPECT_EQ(mouse->substr(0, 20), " Mausfunktionen:    ");
    EXPECT_EQ(*(mouse + 2), std::string(20, ' ') + "von \"links/unten\" nach \"rechts/oben\".");
    // The help explains marking and redrawing only; which kind of set a marking belongs to is
    // the dispatcher's rule and has no paragraph of its own.
    for (const std::string& line : lines) {
        EXPECT_EQ(line.find("Markierung"), std::string::npos) << line;
        EXPECT_EQ(line.find("gilt nur"), std::string::npos) << line;
    }
}

TEST_F(ExplorerWindowTest, MandelbrotKeyDrawsTheDefaultViewAsThePlainLoopDoes) {
    key('M');
    EXPECT_FALSE(s().MandelbrotRunning);
    EXPECT_EQ(s().view, DefaultView(SetKind::Mandelbrot));
    EXPECT_EQ(window->windowTitle(), window->titleLine());
    // The centre of the main cardioid is the main colour, yellow.
    EXPECT_EQ(pic().pixel(350, 300), common::kYellow);
    EXPECT_TRUE(matchesPlainLoop(SetKind::Mandelbrot));
    EXPECT_TRUE(fake.inputHeld == false);
    EXPECT_GE(fake.holdChanges, 2); // input was held while it drew
    EXPECT_EQ(s().LastKey, 'M');
}

TEST_F(ExplorerWindowTest, EscapeDuringADrawingLeavesABlackPictureAndDropsTheZoom) {
    key('M');
    drag({100, 400}, {300, 200});
    ASSERT_TRUE(s().ZoomPending);
    fake.escapeAtPolls = {fake.escapePolls + 5000};
    key('M');
    EXPECT_FALSE(s().MandelbrotRunning);
    EXPECT_FALSE(s().ZoomPending);
    EXPECT_TRUE(allBlack());
    EXPECT_EQ(window->windowTitle(), window->titleLine());
    // The next M draws the default view again.
    key('M');
    EXPECT_EQ(s().view, DefaultView(SetKind::Mandelbrot));
}

TEST_F(ExplorerWindowTest, ZoomGateKeepsAMarkedRegionForTheKindDrawnLast) {
    key('M');
    drag({100, 400}, {300, 200});
    ASSERT_TRUE(s().ZoomPending);
    const std::string zoomCaption = ZoomCaption(s().ZoomLow, s().ZoomHigh);
    EXPECT_EQ(window->windowTitle().toStdString(), zoomCaption);

    key('J'); // another kind: ignored altogether
    EXPECT_FALSE(child<QFrame>("Panel2")->isVisible());
    EXPECT_EQ(s().LastKey, 'M');

    key('M');
    EXPECT_EQ(s().view, (ViewRect{s().ZoomLow.Re, s().ZoomHigh.Re, s().ZoomLow.Im, s().ZoomHigh.Im}));
    EXPECT_EQ(window->windowTitle().toStdString(), zoomCaption);
    EXPECT_TRUE(s().ZoomPending); // the same key redraws the same region
    EXPECT_TRUE(matchesPlainLoop(SetKind::Mandelbrot));

    key(0x120); // a key without a command (Shift) blocks both
    const ViewRect before = s().view;
    s().view = {};
    key('M');
    EXPECT_EQ(s().view, ViewRect{});
    key('C');
    EXPECT_FALSE(s().ZoomPending);
    key('M');
    EXPECT_EQ(s().view, DefaultView(SetKind::Mandelbrot));
    EXPECT_NE(before, s().view);
}

TEST_F(ExplorerWindowTest, ABandDraggedLeftAndDownMirrorsThePicture) {
    key('M');
    window->FormMouseDown(Qt::LeftButton, Qt::LeftButton, Qt::NoModifier, {400, 100});
    window->FormMouseMove(Qt::LeftButton, Qt::NoModifier, {200, 300});
    const QString moveCaption = window->windowTitle();
    EXPECT_TRUE(moveCaption.startsWith(QStringLiteral(" X / Y = "))) << moveCaption.toStdString();
    window->FormMouseUp();
    EXPECT_TRUE(s().ZoomPending);
    EXPECT_EQ(window->windowTitle(), moveCaption); // no zoom caption for an invalid band
    key('M');
    EXPECT_GT(s().view.ReMin, s().view.ReMax);
    EXPECT_LT(s().view.ImMax, s().view.ImMin);
    EXPECT_TRUE(matchesPlainLoop(SetKind::Mandelbrot));
}

TEST_F(ExplorerWindowTest, PressAndReleaseWithoutAMoveZoomsOntoOnePoint) {
    key('M');
    window->FormMouseDown(Qt::LeftButton, Qt::LeftButton, Qt::NoModifier, {50, 50});
    window->FormMouseUp();
    EXPECT_TRUE(s().ZoomPending);
    key('M');
    // Both corners are (0, 0), inside the set: one colour everywhere.
    EXPECT_EQ(s().view, ViewRect{});
    EXPECT_EQ(pic().pixel(0, 0), common::kYellow);
    EXPECT_EQ(pic().pixel(600, 600), common::kYellow);
}

TEST_F(ExplorerWindowTest, AValidBandIsDrawnAndErasedByTheNextPress) {
    key('M');
    const common::RgbImage before = pic().image();
    drag({100, 400}, {300, 200});
    EXPECT_NE(pic().image().pixels, before.pixels);
    window->FormMouseDown(Qt::LeftButton, Qt::LeftButton, Qt::NoModifier, {10, 10});
    EXPECT_EQ(pic().image().pixels, before.pixels);
}

TEST_F(ExplorerWindowTest, JuliaWaitsForTheStartPointAndIgnoresCommandKeysMeanwhile) {
    auto* combo = child<QComboBox>("ComboBox1");
    int rounds = 0;
    fake.onPump = [&] {
        if (!child<QFrame>("Panel2")->isVisible()) {
            return;
        }
        ++rounds;
        if (rounds == 1) {
            key('E');        // ignored: the panel is open
            key('H');        // ignored as well
            key('X', combo); // only LastKey follows keys typed in the list
            combo->setEditText(QStringLiteral("-0.50/0.60"));
        } else if (rounds == 3) {
            child<QPushButton>("Button4")->click();
        }
    };
    key('J');
    fake.onPump = nullptr;
    EXPECT_TRUE(window->isVisible());
    EXPECT_FALSE(child<QPlainTextEdit>("Memo1")->isVisible());
    EXPECT_FALSE(child<QFrame>("Panel2")->isVisible());
    EXPECT_EQ(s().JuliaC, (TComplex{-0.5, 0.6}));
    EXPECT_EQ(s().view, DefaultView(SetKind::Julia));
    EXPECT_TRUE(matchesPlainLoop(SetKind::Julia));
    EXPECT_EQ(s().LastKey, 'J');
    EXPECT_GE(fake.waits, 3); // the wait blocks in the event loop
}

TEST_F(ExplorerWindowTest, StartPointPanelLiesAboveTheOpenColourPanel) {
    key('F');
    ASSERT_TRUE(child<QFrame>("Panel1")->isVisible());
    // What a click at the middle of w would reach.
    const auto onTop = [&](QWidget* w) {
        QWidget* hit = window->childAt(w->mapTo(window.get(), w->rect().center()));
        return hit == w || w->isAncestorOf(hit);
    };
    int rounds = 0;
    fake.onPump = [&] {
        if (!child<QFrame>("Panel2")->isVisible()) {
            return;
        }
        if (++rounds == 1) {
            EXPECT_TRUE(child<QFrame>("Panel1")->isVisible());
            EXPECT_TRUE(onTop(child<QLabel>("Label1")));
            EXPECT_TRUE(onTop(child<QComboBox>("ComboBox1")));
            EXPECT_TRUE(onTop(child<QPushButton>("Button4")));
            child<QPushButton>("Button4")->click();
        }
    };
    // J typed into a colour field runs its command.
    QTest::keyClick(child<QLineEdit>("Edit1"), Qt::Key_J);
    fake.onPump = nullptr;
    EXPECT_EQ(rounds, 1);
    EXPECT_EQ(s().LastKey, 'J');
}

TEST_F(ExplorerWindowTest, TypedStartPointIsReadAsTypedWithoutCompletion) {
    auto* combo = child<QComboBox>("ComboBox1");
    QString seen;
    fake.onPump = [&] {
        if (!child<QFrame>("Panel2")->isVisible()) {
            return;
        }
        if (seen.isNull()) {
            QTest::keyClicks(combo->lineEdit(), QStringLiteral("-0.1"));
            seen = combo->currentText();
            child<QPushButton>("Button4")->click();
        }
    };
    key('J');
    fake.onPump = nullptr;
    // A preset begins with the typed text; it must not be offered in its place.
    EXPECT_EQ(seen, QStringLiteral("-0.1"));
    EXPECT_EQ(s().JuliaC, (TComplex{0, 0})); // no slash: (0, 0)
}

TEST_F(ExplorerWindowTest, JuliaOfZeroIsADiscInTheMainColour) {
    fake.onPump = [&] {
        if (child<QFrame>("Panel2")->isVisible()) {
            child<QPushButton>("Button4")->click(); // empty text: (0, 0)
        }
    };
    key('J');
    fake.onPump = nullptr;
    EXPECT_EQ(s().JuliaC, (TComplex{0, 0}));
    EXPECT_EQ(pic().pixel(300, 300), common::kYellow);
    EXPECT_EQ(pic().pixel(300 + 190, 300), common::kYellow); // |z| ~ 0.95
    EXPECT_NE(pic().pixel(300 + 215, 300), common::kYellow); // |z| ~ 1.07
    EXPECT_NE(pic().pixel(5, 5), common::kYellow);
}

TEST_F(ExplorerWindowTest, EscapeDuringTheStartPointWaitStartsTheDrawingAndDropsTheZoom) {
    key('M');
    drag({100, 400}, {300, 200});
    key('C'); // drop it, then mark one again while J waits
    fake.onPump = [&] {
        if (child<QFrame>("Panel2")->isVisible()) {
            fake.escapeAtPolls = {fake.escapePolls + 1};
        }
    };
    key('J');
    fake.onPump = nullptr;
    EXPECT_FALSE(s().ZoomPending);
    EXPECT_FALSE(child<QFrame>("Panel2")->isVisible());
    EXPECT_FALSE(s().JuliaRunning);
}

TEST_F(ExplorerWindowTest, ColourApplyStopsSilentlyAtTheFirstBadField) {
    key('F');
    ASSERT_TRUE(child<QFrame>("Panel1")->isVisible());
    std::array<QLineEdit*, 6> edits{};
    for (int i = 0; i < 6; ++i) {
        edits[static_cast<std::size_t>(i)] =
            child<QLineEdit>(QStringLiteral("Edit%1").arg(i + 1).toLatin1().constData());
    }
    EXPECT_EQ(edits[0]->text(), QStringLiteral("16"));
    EXPECT_EQ(edits[5]->text(), QStringLiteral("0"));

    struct Row {
        const char* name;
        std::array<const char*, 6> fields;
        bool applies;
    };
    const Row rows[] = {
        {"valid_with_leading_blanks_and_hex", {"  1", "$10", "0x20", "255", "0", "7"}, true},
        {"256_in_third", {"9", "9", "256", "1", "1", "1"}, false},
        {"minus_one_in_last", {"9", "9", "9", "1", "1", "-1"}, false},
        {"trailing_blank", {"16 ", "2", "4", "255", "255", "0"}, false},
        {"empty_field", {"16", "2", "4", "", "255", "0"}, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        key('M');
        drag({100, 400}, {300, 200});
        s().UseOriginalColours = false;
        for (std::size_t i = 0; i < 6; ++i) {
            edits[i]->setText(QString::fromLatin1(row.fields[i]));
        }
        edits[0]->setFocus();
        child<QPushButton>("Button1")->click();
        EXPECT_FALSE(s().ZoomPending);
        EXPECT_TRUE(child<QFrame>("Panel1")->isVisible());
        EXPECT_EQ(s().UseOriginalColours, !row.applies);
        if (row.applies) {
            EXPECT_EQ(s().colours.BorderR, 1);
            EXPECT_EQ(s().colours.BorderG, 16);
            EXPECT_EQ(s().colours.BorderB, 32);
            EXPECT_EQ(s().colours.MainB, 7);
            EXPECT_TRUE(child<QPushButton>("Button3")->hasFocus());
        } else {
            EXPECT_TRUE(edits[0]->hasFocus());
        }
    }
    child<QPushButton>("Button3")->click();
    EXPECT_FALSE(child<QFrame>("Panel1")->isVisible());
    EXPECT_TRUE(allBlack());
}

TEST_F(ExplorerWindowTest, AppliedColoursAreUsedByTheNextDrawing) {
    key('F');
    const std::array<const char*, 6> fields = {"1", "2", "3", "10", "20", "30"};
    for (int i = 0; i < 6; ++i) {
        child<QLineEdit>(QStringLiteral("Edit%1").arg(i + 1).toLatin1().constData())
            ->setText(QString::fromLatin1(fields[static_cast<std::size_t>(i)]));
    }
    child<QPushButton>("Button1")->click();
    child<QPushButton>("Button3")->click();
    key('M');
    EXPECT_EQ(pic().pixel(350, 300), (common::Colour{10, 20, 30}));
    EXPECT_TRUE(matchesPlainLoop(SetKind::Mandelbrot));
    key('O'); // back to the originals for the next drawing
    key('M');
    EXPECT_EQ(pic().pixel(350, 300), common::kYellow);
}

TEST_F(ExplorerWindowTest, KeysTypedInTheColourFieldsRunOnceAndEnterWalksTheFields) {
    key('F');
    auto* edit1 = child<QLineEdit>("Edit1");
    edit1->setFocus();
    ASSERT_TRUE(edit1->hasFocus());
    const bool pausedBefore = s().ShowPaused;
    QTest::keyClick(edit1, Qt::Key_A);
    EXPECT_NE(s().ShowPaused, pausedBefore); // toggled once, not twice
    for (int i = 1; i <= 6; ++i) {
        QWidget* focus = QApplication::focusWidget();
        ASSERT_EQ(focus->objectName(), QStringLiteral("Edit%1").arg(i));
        QTest::keyClick(focus, Qt::Key_Return);
    }
    EXPECT_EQ(QApplication::focusWidget()->objectName(), QStringLiteral("Button1"));
    EXPECT_EQ(s().LastKey, 13);
    // One more Enter presses the button the walk ended on: the typed colours are taken.
    for (int i = 1; i <= 6; ++i) {
        child<QLineEdit>(QStringLiteral("Edit%1").arg(i).toLatin1().constData())
            ->setText(QString::number(i * 10));
    }
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    EXPECT_EQ(s().colours.MainR, 40);
    EXPECT_EQ(s().colours.MainB, 60);
    EXPECT_FALSE(s().UseOriginalColours);
}

/// Holds `key` down where the focus is for about a second: the X server repeats it as release
/// and press pairs with the same time stamp, which reach the program without the repeat flag.
void holdKey(Qt::Key key, int repeats) {
    const auto send = [key](QEvent::Type type, quint64 ms) {
        QKeyEvent event(type, key, Qt::NoModifier);
        event.setTimestamp(ms);
        QApplication::sendEvent(QApplication::focusWidget(), &event);
    };
    send(QEvent::KeyPress, 1000);
    for (int i = 0; i < repeats; ++i) {
        const quint64 ms = 1660 + 40 * static_cast<quint64>(i);
        send(QEvent::KeyRelease, ms);
        send(QEvent::KeyPress, ms);
    }
    send(QEvent::KeyRelease, 1660 + 40 * static_cast<quint64>(repeats));
}

TEST_F(ExplorerWindowTest, HeldEnterInTheColourPanelActsAsOneKeyStroke) {
    key('F');
    auto* edit1 = child<QLineEdit>("Edit1");
    edit1->setFocus();
    s().LastKey = 0;
    holdKey(Qt::Key_Return, 8);
    // The release is carried out once no repeat follows it: one field on.
    ASSERT_TRUE(QTest::qWaitFor([this] { return s().LastKey == 13; }, 5000));
    EXPECT_EQ(QApplication::focusWidget()->objectName(), QStringLiteral("Edit2"));

    // On the button that takes the colours: they are taken once, and the button the click
    // moves the focus to ("Farbfenster schließen") is not pressed by the repeats.
    for (int i = 1; i <= 6; ++i) {
        child<QLineEdit>(QStringLiteral("Edit%1").arg(i).toLatin1().constData())
            ->setText(QString::number(i * 10));
    }
    key('M');
    ASSERT_FALSE(allBlack());
    child<QPushButton>("Button1")->setFocus();
    s().LastKey = 0;
    holdKey(Qt::Key_Return, 8);
    ASSERT_TRUE(QTest::qWaitFor([this] { return s().LastKey == 13; }, 5000));
    EXPECT_EQ(s().colours.MainR, 40);
    EXPECT_FALSE(s().UseOriginalColours);
    EXPECT_TRUE(child<QFrame>("Panel1")->isVisible());
    EXPECT_TRUE(child<QPushButton>("Button3")->hasFocus());
    EXPECT_FALSE(allBlack());
}

TEST_F(ExplorerWindowTest, HelpKeyTogglesTheHelpTextAndDropsTheZoom) {
    key('M');
    drag({100, 400}, {300, 200});
    key('H');
    EXPECT_TRUE(child<QPlainTextEdit>("Memo1")->isVisible());
    EXPECT_FALSE(s().ZoomPending);
    EXPECT_TRUE(allBlack());
    key('H');
    EXPECT_FALSE(child<QPlainTextEdit>("Memo1")->isVisible());
}

TEST_F(ExplorerWindowTest, MaximiseAndNormalMeasureTheNewPictureArea) {
    key('W');
    EXPECT_GT(s().PicWidth, 0);
    EXPECT_EQ(s().PicWidth, window->width());
    EXPECT_EQ(s().PicHeight, window->height());
    EXPECT_EQ(pic().width(), window->width());
    EXPECT_TRUE(s().UseOriginalColours);
    key('N');
    EXPECT_EQ(s().PicWidth, 601);
    EXPECT_EQ(s().PicHeight, 601);
    EXPECT_EQ(s().frame, (PixelFrame{0, 601, 0, 601}));
}

// --- fitting the window to the screen

struct LayoutRow {
    const char* name;
    common::ScreenInfo screen;
    int client;
    QRect edit1;
    int edit2Top;
    QPoint edit4;
    QRect panel2;
    int button1Height;
    int fontPixels; // the window's font
};

void PrintTo(const LayoutRow& row, std::ostream* os) {
    *os << row.name;
}

class ExplorerLayoutTest : public ::testing::TestWithParam<LayoutRow> {};

// Every length is scaled and rounded on its own; an exact half goes to the even neighbour.
TEST_P(ExplorerLayoutTest, ControlsAreScaledAndRoundedHalfToEven) {
    const LayoutRow& row = GetParam();
    FakeServices fake;
    fake.screenInfo = row.screen;
    ExplorerWindow window(fake);
    const auto geometry = [&](const char* name) {
        return window.findChild<QWidget*>(QString::fromLatin1(name))->geometry();
    };
    EXPECT_EQ(window.width(), row.client);
    EXPECT_EQ(window.height(), row.client);
    EXPECT_EQ(geometry("Edit1"), row.edit1);
    EXPECT_EQ(geometry("Edit2").top(), row.edit2Top);
    EXPECT_EQ(geometry("Edit4").topLeft(), row.edit4);
    EXPECT_EQ(geometry("Edit4").size(), row.edit1.size());
    EXPECT_EQ(geometry("Panel2"), row.panel2);
    EXPECT_EQ(geometry("Button1").height(), row.button1Height);
    EXPECT_EQ(window.font().pixelSize(), row.fontPixels);
    // Controls whose layout names no font size take the window's.
    const QFont list = window.findChild<QComboBox*>(QStringLiteral("ComboBox1"))->font();
    EXPECT_EQ(list.pixelSize(), row.fontPixels);
    EXPECT_EQ(list.family(), QStringLiteral("Courier New"));
    EXPECT_TRUE(list.bold());
    const QFont start = window.findChild<QPushButton*>(QStringLiteral("Button4"))->font();
    EXPECT_EQ(start.pixelSize(), row.fontPixels);
    EXPECT_EQ(start.family(), window.font().family());
    EXPECT_TRUE(start.bold());
}

INSTANTIATE_TEST_SUITE_P(
    Screens, ExplorerLayoutTest,
    ::testing::Values(
        LayoutRow{"design_1024x768",
                  {1024, 768, 96},
                  601,
                  {66, 72, 52, 24},
                  104,
                  {163, 72},
                  {7, 7, 345, 520},
                  36,
                  10},
        // 52 x 1.125 = 58.5 and 36 x 1.125 = 40.5
        LayoutRow{"svga_1152x864",
                  {1152, 864, 96},
                  676,
                  {74, 81, 58, 27},
                  117,
                  {183, 81},
                  {8, 8, 388, 585},
                  40,
                  11},
        // 66 x 1.25 = 82.5 and the font's 10 x 1.25 = 12.5
        LayoutRow{"sxga_1280x1024",
                  {1280, 1024, 96},
                  751,
                  {82, 90, 65, 30},
                  130,
                  {204, 90},
                  {9, 9, 431, 650},
                  45,
                  12},
        // 72, 104 and 520 x 1.5625 end in .5
        LayoutRow{"uxga_1600x1200",
                  {1600, 1200, 96},
                  939,
                  {103, 112, 81, 38},
                  162,
                  {255, 112},
                  {11, 11, 539, 812},
                  56,
                  16},
        // 16:10 is not above 0.625: scaled by the height, 1200 / 768, as the 4:3 screen above.
        LayoutRow{"wide_1920x1200",
                  {1920, 1200, 96},
                  939,
                  {103, 112, 81, 38},
                  162,
                  {255, 112},
                  {11, 11, 539, 812},
                  56,
                  16},
        // 24 x 0.9375 = 22.5
        LayoutRow{
            "wide_1280x720", {1280, 720, 96}, 563, {62, 68, 49, 22}, 98, {153, 68}, {7, 7, 323, 488}, 34, 9},
        LayoutRow{"large_fonts_120dpi",
                  {1024, 768, 120},
                  481,
                  {53, 58, 42, 19},
                  83,
                  {130, 58},
                  {6, 6, 276, 416},
                  29,
                  8}),
    [](const ::testing::TestParamInfo<LayoutRow>& info) { return std::string(info.param.name); });

TEST_F(ExplorerWindowTest, EndsOnE) {
    key('E');
    EXPECT_FALSE(window->isVisible());
}

// --- screens with more device pixels than logical ones

/// The device pixel ratio this run was started for: 1, unless the test below started the
/// program again at another.
double RequestedRatio() {
    const char* factor = std::getenv("FRACTALS_TEST_SCALE_FACTOR");
    return factor != nullptr ? std::strtod(factor, nullptr) : 1.0;
}

/// A clock that moves a millisecond with every reading, so a drawing shows itself while it grows.
class TickingServices : public FakeServices {
public:
    std::uint32_t tickCountMs() override { return ++now; }
};

/// Holds at every ratio; at 1 it shows that nothing changed, and the rerun below holds it at 2.
class ExplorerDevicePixelsTest : public ::testing::Test {
protected:
    void SetUp() override {
        window = std::make_unique<ExplorerWindow>(fake);
        window->show();
        window->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
        ASSERT_EQ(window->devicePixelRatioF(), ratio);
        ASSERT_EQ(window->width(), 601);
        ASSERT_EQ(pic().width(), 601);
    }
    void TearDown() override {
        fake.onPump = nullptr;
        window.reset();
    }

    ExplorerState& s() { return window->state(); }
    const common::Canvas& pic() { return window->picture(); }
    /// The canvas the picture area shows: the device picture where there is one.
    const common::Canvas& shown() {
        return window->devicePicture().active() ? window->devicePicture().canvas() : window->picture();
    }
    int deviceSide() const { return static_cast<int>(std::lround(601 * ratio)); }
    void key(int code) { window->FormKeyUp(window.get(), code); }
    /// What the screen gets from the picture area, device pixels of the window.
    common::RgbImage onScreen() {
        const QImage shot = window->findChild<QWidget*>(QStringLiteral("PictureArea"))
                                ->grab()
                                .toImage()
                                .convertToFormat(QImage::Format_RGB888);
        common::RgbImage image(shot.width(), shot.height());
        for (int y = 0; y < shot.height(); ++y) {
            for (int x = 0; x < shot.width(); ++x) {
                const QRgb c = shot.pixel(x, y);
                image.set(x, y,
                          {static_cast<std::uint8_t>(qRed(c)), static_cast<std::uint8_t>(qGreen(c)),
                           static_cast<std::uint8_t>(qBlue(c))});
            }
        }
        return image;
    }
    /// The picture the plain per-pixel loop gives for this job, cut to side x side.
    common::RgbImage plainPicture(const RenderJob& job, int side) {
        const std::vector<std::uint16_t> counts = ComputeCountsPlain(job);
        common::RgbImage image(side, side);
        for (int i = 0; i < job.columns() && i < side; ++i) {
            for (int j = 0; j < job.rows() && j < side; ++j) {
                image.set(i, j,
                          PixelColour(s().colours, counts[static_cast<std::size_t>(i) * job.rows() + j]));
            }
        }
        return image;
    }
    RenderJob mandelbrot(int side) { return {SetKind::Mandelbrot, s().view, {0, side, 0, side}, {}}; }

    const double ratio = RequestedRatio();
    TickingServices fake;
    std::unique_ptr<ExplorerWindow> window;
};

TEST_F(ExplorerDevicePixelsTest, DrawsTheSameViewAtTheDevicePixelsAndTheLogicalPictureAsEver) {
    EXPECT_EQ(window->devicePicture().active(), ratio > 1.0);
    // While it grows, the picture on the screen is whole columns from the left, black beyond.
    int partlyDrawn = 0;
    fake.onPump = [&] {
        const int side = shown().width();
        const int row = side / 3;
        int edge = 0;
        while (edge < side && shown().pixel(edge, row) != common::kBlack) {
            ++edge;
        }
        if (edge > 0 && edge < side - 1) {
            ++partlyDrawn;
            EXPECT_EQ(shown().pixel(side - 1, row), common::kBlack);
        }
    };
    key('M');
    fake.onPump = nullptr;
    EXPECT_GT(partlyDrawn, 1);
    ASSERT_EQ(s().view, DefaultView(SetKind::Mandelbrot));
    // The logical picture has the counts of the 601 x 601 frame, as on any screen.
    EXPECT_EQ(pic().image().pixels, plainPicture(mandelbrot(601), 601).pixels);
    // The shown one has those of the same complex rectangle on the finer grid ...
    ASSERT_EQ(shown().width(), deviceSide());
    ASSERT_EQ(shown().height(), deviceSide());
    EXPECT_EQ(shown().image().pixels, plainPicture(mandelbrot(deviceSide()), deviceSide()).pixels);
    // ... which at an integral ratio passes through every logical pixel's own number.
    const int step = static_cast<int>(ratio);
    for (int y = 0; y < 601; y += 7) {
        for (int x = 0; x < 601; x += 3) {
            ASSERT_EQ(shown().pixel(x * step, y * step), pic().pixel(x, y)) << x << "," << y;
        }
    }
    // and it reaches the screen one to one, not blown up.
    EXPECT_EQ(onScreen().pixels, shown().image().pixels);
}

TEST_F(ExplorerDevicePixelsTest, StoresPrintsAndShowsTheLogicalPictureByteForByte) {
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    // B makes the picture folder current.
    struct BackHome {
        std::filesystem::path dir = std::filesystem::current_path();
        ~BackHome() { std::filesystem::current_path(dir); }
    } backHome;
    s().PicDir = folder.path().toStdString();
    key('M');
    const RenderJob job = mandelbrot(601);
    const common::RgbImage want = plainPicture(job, 601);
    const std::string stored = PictureFileName(s().PicDir, s().PicBaseName, s().PicNumber);
    key('S');
    const std::string reference = folder.filePath(QStringLiteral("reference.jpg")).toStdString();
    ASSERT_TRUE(
        common::WriteJpeg(reference, want, common::FormatPictureRecord(*SetRecordOf(job, s().colours))).ok);
    const auto bytes = [](const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return std::vector<char>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    };
    EXPECT_FALSE(bytes(stored).empty());
    EXPECT_EQ(bytes(stored), bytes(reference));

    key('P');
    ASSERT_EQ(fake.printJobs.size(), 1u);
    ASSERT_FALSE(fake.printJobs[0].ops.empty());
    EXPECT_EQ(fake.printJobs[0].ops[0].image.pixels, want.pixels);

    // The show puts the stored picture up as it looks on the logical canvas: each pixel a block.
    fake.fileAnswers = {stored, stored};
    fake.inputAnswers = {"1"};
    std::optional<common::RgbImage> showing;
    fake.onPump = [&] {
        if (!showing && pic().pixel(300, 300) != common::kBlack) {
            showing = shown().image();
        }
    };
    key('B');
    fake.onPump = nullptr;
    ASSERT_TRUE(showing.has_value());
    const common::JpegReadResult read = common::ReadJpeg(stored);
    ASSERT_TRUE(read.ok());
    for (int y = 0; y < deviceSide(); y += 5) {
        for (int x = 0; x < deviceSide(); x += 3) {
            ASSERT_EQ(showing->at(x, y),
                      read.image.at(static_cast<int>(x / ratio), static_cast<int>(y / ratio)))
                << x << "," << y;
        }
    }
}

TEST_F(ExplorerDevicePixelsTest, TheBandAndItsCoordinatesAreThoseOfTheLogicalPicture) {
    key('M');
    const common::RgbImage logicalBefore = pic().image();
    const common::RgbImage shownBefore = shown().image();
    window->FormMouseDown(Qt::LeftButton, Qt::LeftButton, Qt::NoModifier, {100, 400});
    window->FormMouseMove(Qt::LeftButton, Qt::NoModifier, {250, 300});
    window->FormMouseMove(Qt::LeftButton, Qt::NoModifier, {300, 200});
    const PixelFrame logicalFrame{0, 601, 0, 601};
    const TComplex low = PixelToComplex(s().view, logicalFrame, {100, 400});
    const TComplex high = PixelToComplex(s().view, logicalFrame, {300, 200});
    EXPECT_EQ(window->windowTitle().toStdString(), " X / Y = " + FormatComplex(high));
    window->FormMouseUp();
    EXPECT_EQ(window->windowTitle().toStdString(), ZoomCaption(low, high));

    // The logical picture carries the band it always did ...
    common::Canvas band(601, 601);
    band.drawImage(0, 0, logicalBefore);
    SetBandPen(band);
    band.setRasterMode(common::RasterMode::NotXor);
    band.rectangle(100, 400, 300, 200);
    EXPECT_EQ(pic().image().pixels, band.image().pixels);
    // ... and the shown one the same band, each logical pixel of it over its device pixels,
    // changed as not-xor changed the logical pixel, so the finer picture stays under it.
    int inBand = 0;
    for (int y = 0; y < deviceSide(); ++y) {
        for (int x = 0; x < deviceSide(); ++x) {
            const int lx = static_cast<int>(x / ratio);
            const int ly = static_cast<int>(y / ratio);
            const common::Colour was = logicalBefore.at(lx, ly);
            const common::Colour now = pic().pixel(lx, ly);
            const common::Colour under = shownBefore.at(x, y);
            const common::Colour want{static_cast<std::uint8_t>(under.r ^ was.r ^ now.r),
                                      static_cast<std::uint8_t>(under.g ^ was.g ^ now.g),
                                      static_cast<std::uint8_t>(under.b ^ was.b ^ now.b)};
            inBand += was == now ? 0 : 1;
            ASSERT_EQ(shown().pixel(x, y), want) << x << "," << y;
        }
    }
    EXPECT_GT(inBand, 0);
    EXPECT_EQ(onScreen().pixels, shown().image().pixels);
    // The next press erases it from both.
    window->FormMouseDown(Qt::LeftButton, Qt::LeftButton, Qt::NoModifier, {10, 10});
    EXPECT_EQ(pic().image().pixels, logicalBefore.pixels);
    EXPECT_EQ(shown().image().pixels, shownBefore.pixels);
}

TEST_F(ExplorerDevicePixelsTest, EscapeBreaksTheDrawingOffAndBlanksBothPictures) {
    fake.escapeAtPolls = {fake.escapePolls + 40000};
    key('M');
    EXPECT_FALSE(s().MandelbrotRunning);
    EXPECT_EQ(fake.escapePolls, *fake.escapeAtPolls.begin());
    for (const common::Canvas* canvas : {&pic(), &shown()}) {
        const std::vector<std::uint8_t>& pixels = canvas->image().pixels;
        EXPECT_TRUE(std::all_of(pixels.begin(), pixels.end(), [](std::uint8_t v) { return v == 0; }));
    }
}

// The same cases on a screen of twice as many device pixels each way, in a run of their own:
// the ratio is fixed when the program starts.
TEST(ExplorerDevicePixelRatio, TheCasesHoldAtARatioOfTwo) {
    QProcess run;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("FRACTALS_TEST_SCALE_FACTOR"), QStringLiteral("2"));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    run.setProcessEnvironment(env);
    run.setProcessChannelMode(QProcess::MergedChannels);
    run.start(QCoreApplication::applicationFilePath(),
              {QStringLiteral("--gtest_filter=ExplorerDevicePixelsTest.*")});
    ASSERT_TRUE(run.waitForFinished(300000));
    const QString output = QString::fromUtf8(run.readAll());
    EXPECT_EQ(run.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(run.exitCode(), 0) << output.toStdString();
    EXPECT_TRUE(output.contains(QStringLiteral("[  PASSED  ] 4 tests."))) << output.toStdString();
}

} // namespace
} // namespace explorer
