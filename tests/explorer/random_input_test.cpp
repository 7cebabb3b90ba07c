// Thousands of random user actions from one seed: real key and mouse events, clicks, typing and
// random dialog answers. A crash, a hang, a read outside a buffer (under the sanitizers) or a
// drawing that never ends shows up with the seed that repeats it.
#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QFrame>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QTest>

#include <gtest/gtest.h>

#include <unistd.h>

#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "explorer_window.h"
#include "jpeg_file.h"
#include "paths.h"
#include "random_input.h"

namespace explorer {
namespace {

namespace fs = std::filesystem;
using testing_support::ReadFileBytes;
using testing_support::TypeText;
using testing_support::WriteFileBytes;

constexpr std::uint64_t kDefaultSeed = 20240611;
constexpr long kDefaultEvents = 6000;

class RandomInputExplorer : public testing_support::RandomWindowRun<ExplorerWindow> {
protected:
    RandomInputExplorer() : RandomWindowRun("explorer_random", kDefaultSeed, kDefaultEvents) {}

    void SetUp() override {
        // A drawing pumps while it waits for the count engine, 15 ms a time: far fewer of those
        // pumps than the event limit already mean a drawing that waits for nothing.
        fake.heldLimit = 3000;
        fake.fallback = [this] {
            deepestPumpAction();
        };
        RandomWindowRun::SetUp();
    }

    /// Real pictures, a damaged one, text files, odd names, a folder: what the dialogs offer.
    void makeFiles() override {
        const fs::path pics = dir / "pics";
        fs::create_directories(pics / "sub.dir");
        const auto gradient = [](int w, int h, int shift) {
            common::RgbImage image(w, h);
            for (int y = 0; y < h; ++y) {
                for (int x = 0; x < w; ++x) {
                    image.set(x, y,
                              {static_cast<std::uint8_t>(x + shift), static_cast<std::uint8_t>(y * 2),
                               static_cast<std::uint8_t>(x ^ y)});
                }
            }
            return image;
        };
        ASSERT_TRUE(common::WriteJpeg((pics / "Bild_001.JPG").string(), gradient(40, 30, 0)).ok);
        ASSERT_TRUE(common::WriteJpeg((pics / "Bild_002.JPG").string(), gradient(900, 700, 50)).ok);
        ASSERT_TRUE(common::WriteJpeg((pics / "Bild_004.JPG").string(), gradient(1, 1, 9)).ok);
        ASSERT_TRUE(common::WriteJpeg((pics / "a.b_003.JPG").string(), gradient(64, 64, 3)).ok);
        ASSERT_TRUE(common::WriteJpeg((dir / "x__y_1.jpg").string(), gradient(10, 700, 7)).ok);
        const std::string whole = ReadFileBytes(pics / "Bild_002.JPG");
        WriteFileBytes(pics / "Bild_003.JPG", whole.substr(0, whole.size() / 3)); // cut short
        WriteFileBytes(pics / "Bild_005.JPG", "kein Bild\r\nnur Text\r\n");
        WriteFileBytes(pics / "baum.frc",
                       "F(-F)+F-\r\n0.70\r\n20\r\n20\r\n16\r\n4\r\n3\r\n250\r\n400\r\n0\r\n");
        WriteFileBytes(pics / "leer.txt", "");
        paths = {(pics / "Bild_001.JPG").string(),
                 (pics / "Bild_002.JPG").string(),
                 (pics / "Bild_003.JPG").string(),
                 (pics / "Bild_005.JPG").string(),
                 (pics / "Bild_999.JPG").string(),
                 (pics / "Bild_-12.JPG").string(),
                 (pics / "a.b_003.JPG").string(),
                 (pics / "baum.frc").string(),
                 (pics / "leer.txt").string(),
                 (pics / "sub.dir").string(),
                 (pics / "sub.dir/").string(),
                 (pics / "sub.dir/Neu_010.JPG").string(),
                 (pics / "fehlt/Bild_001.JPG").string(),
                 (dir / "x__y_1.jpg").string(),
                 (dir / "ohne_Nummer.jpg").string(),
                 (dir / "a.b.c.d").string(),
                 "  " + (pics / "Bild_004.JPG").string() + "  ",
                 (pics / std::string(300, 'n')).string() + "_001.JPG",
                 "Bild_002.JPG",
                 dir.string()};
        fake.paths = paths;
    }

    std::string handedOverFolder() override { return (dir / "pics").string(); }

    void windowOpened() override {
        area = window->findChild<QWidget*>(QStringLiteral("PictureArea"));
        panel2 = window->findChild<QFrame*>(QStringLiteral("Panel2"));
        start = window->findChild<QAbstractButton*>(QStringLiteral("Button4"));
        combo = window->findChild<QComboBox*>(QStringLiteral("ComboBox1"));
        ASSERT_NE(area, nullptr);
        ASSERT_NE(panel2, nullptr);
        ASSERT_NE(start, nullptr);
        ASSERT_NE(combo, nullptr);
    }

    void randomKey() {
        const Qt::Key key = fake.randomKey({60, 72, 84, 91, 96},
                                           {Qt::Key_Up, Qt::Key_Down, Qt::Key_Tab, Qt::Key_Space,
                                            Qt::Key_Shift, Qt::Key_Home, Qt::Key_End, Qt::Key_Backspace});
        fake.sendKey(window.get(), key, fake.randomModifiers());
    }

    void randomMouse() {
        const Qt::MouseButton buttons[] = {Qt::LeftButton, Qt::LeftButton, Qt::LeftButton, Qt::RightButton,
                                           Qt::MiddleButton};
        const Qt::MouseButton button = buttons[fake.below(std::size(buttons))];
        const Qt::KeyboardModifiers modifiers =
            fake.chance(0.7) ? Qt::KeyboardModifiers() : fake.randomModifiers();
        QTest::mousePress(area, button, modifiers, fake.randomPoint(area));
        const std::size_t moves = fake.below(7);
        for (std::size_t i = 0; i < moves; ++i) {
            const QPoint p = fake.randomPoint(area);
            if (fake.chance(0.7)) {
                QTest::mouseMove(area, p);
            } else {
                // A move with buttons and modifiers of its own, as a drag that changes its mind.
                const Qt::MouseButtons held = fake.chance(0.6)
                                                  ? Qt::MouseButtons(Qt::LeftButton)
                                                  : Qt::MouseButtons(Qt::LeftButton | Qt::RightButton);
                QMouseEvent move(QEvent::MouseMove, p, area->mapToGlobal(p), Qt::NoButton, held,
                                 fake.randomModifiers());
                QApplication::sendEvent(area, &move);
            }
        }
        if (fake.chance(0.9)) {
            QTest::mouseRelease(area, button, modifiers, fake.randomPoint(area));
        }
    }

    void randomClick() {
        QAbstractButton* b = fake.someControl<QAbstractButton>(window.get());
        if (b == nullptr) {
            return;
        }
        fake.click(b);
    }

    QString randomText() {
        static const std::vector<QString> pieces = {
            QStringLiteral("0"),  QStringLiteral("1"),          QStringLiteral("7"),
            QStringLiteral("42"), QStringLiteral("255"),        QStringLiteral("256"),
            QStringLiteral(","),  QStringLiteral("."),          QStringLiteral("-"),
            QStringLiteral(" "),  QStringLiteral("$"),          QStringLiteral("0x"),
            QStringLiteral("/"),  QStringLiteral("e"),          QStringLiteral("x"),
            QStringLiteral("ä"),  QStringLiteral("ö"),          QStringLiteral("ß"),
            QStringLiteral("€"),  QStringLiteral("-0.50/0.60"), QStringLiteral("1e308"),
            QStringLiteral("F"),  QStringLiteral("nan")};
        return fake.textOf(pieces);
    }

    void randomTyping() {
        QLineEdit* edit = fake.someControl<QLineEdit>(window.get());
        if (edit == nullptr) {
            return;
        }
        fake.focus(edit);
        const std::size_t mode = fake.below(10);
        if (mode < 6) {
            TypeText(edit, randomText());
        } else if (mode < 8) {
            edit->selectAll();
            TypeText(edit, randomText());
        } else {
            fake.paste(edit,
                       fake.chance(0.5) ? QString(300, QLatin1Char('9')) : QString(5000, QLatin1Char('1')));
        }
        if (fake.chance(0.4)) {
            QTest::keyClick(edit, Qt::Key_Return);
        }
    }

    void randomCombo() {
        if (!combo->isVisible()) {
            return;
        }
        const std::size_t mode = fake.below(3);
        if (mode == 0) {
            combo->setFocus();
            QTest::keyClick(combo, fake.chance(0.5) ? Qt::Key_Down : Qt::Key_Up);
        } else if (mode == 1) {
            combo->setEditText(randomText());
        } else {
            // A pick from the list, as the popup reports it.
            const int index = static_cast<int>(fake.below(static_cast<std::size_t>(combo->count())));
            combo->setCurrentIndex(index);
            emit combo->activated(index);
        }
    }

    /// What a user mostly does: a picture, a band dragged over it, the same key again.
    void drawAndZoom() {
        const Qt::Key key = fake.chance(0.6) ? Qt::Key_M : Qt::Key_J;
        fake.sendKey(window.get(), key, Qt::NoModifier);
        if (!window->isVisible()) {
            return;
        }
        const QPoint from = fake.randomPoint(area);
        const QPoint to = from + QPoint(fake.between(-20, 200), -fake.between(-20, 200));
        QTest::mousePress(area, Qt::LeftButton, Qt::KeyboardModifiers(), from);
        QTest::mouseMove(area, (from + to) / 2);
        QTest::mouseMove(area, to);
        QTest::mouseRelease(area, Qt::LeftButton, Qt::KeyboardModifiers(), to);
        fake.sendKey(window.get(), fake.chance(0.9) ? key : Qt::Key_M, Qt::NoModifier);
    }

    void beforeEvent() override {
        // A drawing polls for Escape once a pixel: 361 201 times on the usual screen.
        fake.heldEscapeAt =
            fake.chance(0.15) ? fake.heldPolls + 1 + static_cast<long>(fake.below(400000)) : -1;
        closeAtHeldPoll =
            fake.chance(0.01) ? fake.heldPolls + static_cast<long>(fake.below(400000)) : LONG_MAX;
    }

    void randomEvent() override {
        const std::size_t r = fake.below(1000);
        if (r < 30) {
            drawAndZoom();
        } else if (r < 450) {
            randomKey();
        } else if (r < 700) {
            randomMouse();
        } else if (r < 830) {
            randomClick();
        } else if (r < 950) {
            randomTyping();
        } else if (r < 980) {
            randomCombo();
        } else if (r < 997) {
            window->repaint();
            QApplication::processEvents();
        } else {
            window->close(); // the close box
        }
    }

    /// Input that arrives while a command pumps: while the drawing holds input back only Escape
    /// and the close box get through, at poll numbers the event chose.
    void pumpAction() override {
        if (!window || !window->isVisible()) {
            return;
        }
        if (fake.inputHeld) {
            if (fake.heldPolls >= closeAtHeldPoll) {
                closeAtHeldPoll = LONG_MAX;
                window->close();
            }
            return;
        }
        if (panel2->isVisible() && fake.chance(0.1)) {
            start->click();
            return;
        }
        if (window->state().ShowPaused && fake.chance(0.02)) {
            fake.sendKey(window.get(), Qt::Key_A, Qt::NoModifier);
            return;
        }
        if (fake.chance(0.05)) {
            randomEvent();
        }
    }

    void deepestPumpAction() {
        if (!window || !window->isVisible() || fake.inputHeld) {
            return;
        }
        if (panel2->isVisible()) {
            if (fake.chance(0.5)) {
                start->click();
            } else {
                fake.escapeAtPolls.insert(fake.escapePolls + 1);
            }
        }
        if (window->state().ShowPaused && fake.chance(0.1)) {
            fake.sendKey(window.get(), Qt::Key_A, Qt::NoModifier);
        }
    }

    ::testing::AssertionResult invariantsHold() override {
        const ExplorerState& s = window->state();
        const common::Canvas& pic = window->picture();
        if (s.drawing()) {
            return ::testing::AssertionFailure() << "still drawing";
        }
        if (s.PicWidth <= 0 || s.PicWidth != pic.width() || s.PicHeight != pic.height()) {
            return ::testing::AssertionFailure()
                   << "PicWidth x PicHeight " << s.PicWidth << "x" << s.PicHeight << ", picture "
                   << pic.width() << "x" << pic.height();
        }
        if (pic.image().pixels.size() != static_cast<std::size_t>(pic.width()) * pic.height() * 3) {
            return ::testing::AssertionFailure() << "picture buffer of the wrong size";
        }
        if (!(s.frame == PixelFrame{0, s.PicWidth, 0, s.PicHeight})) {
            return ::testing::AssertionFailure() << "frame does not cover the picture";
        }
        if (fake.inputHeld || fake.busy) {
            return ::testing::AssertionFailure() << "input still held or busy cursor left on";
        }
        if (window->isVisible() && panel2->isVisible()) {
            return ::testing::AssertionFailure() << "start-point panel left open";
        }
        if (s.PicNumber < 1 || s.ShowDelay < 1000 || s.ShowDelay > 60000) {
            return ::testing::AssertionFailure()
                   << "PicNumber " << s.PicNumber << ", ShowDelay " << s.ShowDelay;
        }
        if (!(s.PrintScale >= 0.1 && s.PrintScale <= 1.0)) {
            return ::testing::AssertionFailure() << "PrintScale " << s.PrintScale;
        }
        return ::testing::AssertionSuccess();
    }

    QWidget* area = nullptr;
    QFrame* panel2 = nullptr;
    QAbstractButton* start = nullptr;
    QComboBox* combo = nullptr;
    long closeAtHeldPoll = LONG_MAX;
    std::vector<std::string> paths;
};

TEST_F(RandomInputExplorer, SurvivesSeededRandomEvents) {
    runEvents();
    const long drawings = fake.holdChanges / 2;
    std::printf("seed=%llu survived=%ld restarts=%ld drawings=%ld shows=%ld inputs=%ld file dialogs=%ld "
                "print jobs=%ld error boxes=%ld\n",
                static_cast<unsigned long long>(seed), survived, restarts, drawings, fake.totalShows,
                fake.totalInputs, fake.totalFileDialogs, fake.totalPrintJobs, fake.totalErrors);
    EXPECT_EQ(survived, events);
    // The run reached the commands it is meant to shake: pictures were drawn, the window closed.
    if (events >= 1000) {
        EXPECT_GT(drawings, 0);
        EXPECT_GT(restarts, 0);
    }
}

} // namespace
} // namespace explorer
