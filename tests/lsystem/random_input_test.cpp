// Thousands of random user actions from one seed: real key and mouse events, clicks, typing and
// random dialog answers. A crash, a hang, a read outside a buffer (under the sanitizers) or a
// drawing that never ends shows up with the seed that repeats it.
#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QTest>

#include <gtest/gtest.h>

#include <unistd.h>

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

#include "formula_file.h"
#include "generator_window.h"
#include "jpeg_file.h"
#include "paths.h"
#include "random_input.h"

namespace lsystem {
namespace {

namespace fs = std::filesystem;
using testing_support::TypeText;
using testing_support::WriteFileBytes;

constexpr std::uint64_t kDefaultSeed = 20240611;
constexpr long kDefaultEvents = 5000;

constexpr int kArea = 616; // the drawing area on a 1024 x 768 screen at 96 dpi
/// Pumps one drawing may take before Escape is held down: a random formula with ten iterations
/// could otherwise draw for hours.
constexpr long kDrawingPumps = 400;

class RandomInputGenerator : public testing_support::RandomWindowRun<GeneratorWindow> {
protected:
    RandomInputGenerator() : RandomWindowRun("generator_random", kDefaultSeed, kDefaultEvents) {}

    void SetUp() override {
        fake.guard = [this] {
            drawingGuard();
        };
        RandomWindowRun::SetUp();
    }

    /// Formula files good and bad, pictures, odd names, a folder: what the dialogs offer.
    void makeFiles() override {
        const fs::path files = dir / "formeln";
        fs::create_directories(files / "sub.dir");
        const auto frc = [&](const char* name, const std::vector<std::string>& lines) {
            WriteFileBytes(files / name, FormatFormulaFile(lines));
        };
        frc("baum1.frc", {"F(-F)+F-", "0.70", "20", "20", "16", "4", "3", "250", "400", "0"});
        frc("koch.frc", {"F-F++F-F", "1", "60", "60", "6", "0", "3", "40", "400", "1"});
        frc("riesig.frc", {"FFFFFFFFFF(+F)(-F)", "1", "1", "1", "99999", "10", "10", "1", "1", "0"});
        frc("stapel.frc",
            {"((((((((((((F)))))))))))))", "0.5", "33", "33", "50", "3", "10", "300", "300", "1"});
        frc("kaputt.frc", {"F+F", "abc", "x", "", "-3", "1e999", "0", "2147483647", "-2147483648", "2"});
        frc("fern.frc",
            {"F", "1", "0", "0", "2147483647", "2147483647", "10", "2147483647", "2147483647", "1"});
        frc("kurz.frc", {"F+F-F"});
        frc("badstart.frc", {"F", "1", "0", "0", "5", "0", "1", "12x", "400", "0"});
        WriteFileBytes(files / "lf.frc", "FF-F\n0,5\n45\n45\n30\n2\n4\n100\n100\n1");
        WriteFileBytes(files / "bom.frc", "\xEF\xBB\xBF"
                                          "F+F+F+F\r\n1\r\n90\r\n90\r\n100\r\n0\r\n1\r\n300\r\n300\r\n0\r\n");
        WriteFileBytes(files / "text.txt", "nur\r\nText\r\n\r\n");
        WriteFileBytes(files / "null.frc", std::string("F\0F\r\n", 5));
        WriteFileBytes(files / "gross.frc", std::string((1 << 20) + 10, 'F'));
        common::RgbImage picture(20, 10, common::kYellow);
        ASSERT_TRUE(common::WriteJpeg((files / "bild.jpg").string(), picture).ok);
        paths = {(files / "baum1.frc").string(),
                 (files / "koch.frc").string(),
                 (files / "riesig.frc").string(),
                 (files / "stapel.frc").string(),
                 (files / "kaputt.frc").string(),
                 (files / "fern.frc").string(),
                 (files / "kurz.frc").string(),
                 (files / "badstart.frc").string(),
                 (files / "lf.frc").string(),
                 (files / "bom.frc").string(),
                 (files / "text.txt").string(),
                 (files / "null.frc").string(),
                 (files / "gross.frc").string(),
                 (files / "bild.jpg").string(),
                 (files / "fehlt.frc").string(),
                 (files / "neu.v2.final.frc").string(),
                 (files / "neu__1_.frc").string(),
                 (files / "export.jpg").string(),
                 (files / "sub.dir").string(),
                 (files / "sub.dir/").string(),
                 (files / "gibt/es/nicht.frc").string(),
                 "  " + (files / "koch.frc").string() + " ",
                 (files / std::string(300, 'n')).string() + ".frc",
                 "relativ.frc",
                 dir.string()};
        fake.paths = paths;
    }

    std::string handedOverFolder() override { return (dir / "formeln").string(); }

    void windowOpened() override {
        area = window->findChild<QWidget*>(QStringLiteral("Image1"));
        label6 = window->findChild<QLabel*>(QStringLiteral("Label6"));
        ASSERT_NE(area, nullptr);
        ASSERT_NE(label6, nullptr);
        areaSize = area->size();
        if (fake.screenInfo.width == 1024 && fake.screenInfo.height == 768 && fake.screenInfo.dpi == 96) {
            ASSERT_EQ(areaSize, QSize(kArea, kArea));
        }
    }

    void randomKey() {
        const Qt::Key key = fake.randomKey({40, 52, 80, 88, 93}, {Qt::Key_Up, Qt::Key_Down, Qt::Key_Tab,
                                                                  Qt::Key_Space, Qt::Key_Plus, Qt::Key_Minus,
                                                                  Qt::Key_ParenLeft, Qt::Key_Backspace});
        fake.sendKey(window.get(), key, fake.randomModifiers());
    }

    void randomMouse() {
        const Qt::MouseButton buttons[] = {Qt::LeftButton, Qt::LeftButton, Qt::RightButton, Qt::MiddleButton};
        const Qt::MouseButton button = buttons[fake.below(std::size(buttons))];
        const Qt::KeyboardModifiers modifiers =
            fake.chance(0.7) ? Qt::KeyboardModifiers() : fake.randomModifiers();
        QTest::mousePress(area, button, modifiers, fake.randomPoint(area));
        const std::size_t moves = fake.below(4);
        for (std::size_t i = 0; i < moves; ++i) {
            QTest::mouseMove(area, fake.randomPoint(area));
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
        // "Beenden" less often than the rest, so most runs get far before the window closes.
        if (b->objectName() == QStringLiteral("Button7") && !fake.chance(0.3)) {
            return;
        }
        fake.click(b);
    }

    QString randomText() {
        static const std::vector<QString> pieces = {
            QStringLiteral("0"),     QStringLiteral("1"),   QStringLiteral("3"),
            QStringLiteral("10"),    QStringLiteral("11"),  QStringLiteral("60"),
            QStringLiteral(","),     QStringLiteral("."),   QStringLiteral("-"),
            QStringLiteral(" "),     QStringLiteral("$"),   QStringLiteral("0x"),
            QStringLiteral("e"),     QStringLiteral("x"),   QStringLiteral("ä"),
            QStringLiteral("ü"),     QStringLiteral("ß"),   QStringLiteral("€"),
            QStringLiteral("F"),     QStringLiteral("f"),   QStringLiteral("+"),
            QStringLiteral("("),     QStringLiteral(")"),   QStringLiteral("F(+F)-F"),
            QStringLiteral("1e308"), QStringLiteral("nan"), QStringLiteral("2147483648"),
            QStringLiteral("0.5")};
        return fake.textOf(pieces);
    }

    QString sensibleText(const QString& field) {
        const auto number = [this](int lo, int hi) {
            return QString::number(fake.between(lo, hi));
        };
        if (field == QStringLiteral("Edit2")) {
            static const std::vector<QString> parts = {
                QStringLiteral("F"),    QStringLiteral("F"),    QStringLiteral("+"), QStringLiteral("-"),
                QStringLiteral("(+F)"), QStringLiteral("(-F)"), QStringLiteral("f")};
            QString formula;
            const std::size_t n = 1 + fake.below(8);
            for (std::size_t i = 0; i < n; ++i) {
                formula += parts[fake.below(parts.size())];
            }
            return formula;
        }
        if (field == QStringLiteral("Edit3")) {
            return fake.chance(0.3) ? QStringLiteral("1") : QStringLiteral("0,") + number(1, 99);
        }
        if (field == QStringLiteral("Edit4") || field == QStringLiteral("Edit5")) {
            return number(0, 180);
        }
        if (field == QStringLiteral("Edit6")) {
            return number(1, 200);
        }
        if (field == QStringLiteral("Edit1")) {
            return number(0, 10);
        }
        if (field == QStringLiteral("Edit7")) {
            return number(1, 10);
        }
        return number(0, 3); // Edit8, the wait
    }

    void randomTyping() {
        QLineEdit* edit = fake.someControl<QLineEdit>(window.get());
        if (edit == nullptr) {
            return;
        }
        fake.focus(edit);
        const std::size_t mode = fake.below(10);
        if (mode < 3) {
            // A value that passes the checks, so that drawings start often enough.
            edit->selectAll();
            TypeText(edit, sensibleText(edit->objectName()));
        } else if (mode < 5) {
            TypeText(edit, randomText());
        } else if (mode < 8) {
            edit->selectAll();
            TypeText(edit, randomText());
        } else {
            const QString texts[] = {QString(300, QLatin1Char('9')), QString(5000, QLatin1Char('1')),
                                     QString(2000, QLatin1Char('F')), QStringLiteral("F").repeated(40)};
            fake.paste(edit, texts[fake.below(std::size(texts))]);
        }
        if (fake.chance(0.4)) {
            QTest::keyClick(edit, Qt::Key_Return);
        }
    }

    /// What a user mostly does: a built-in formula, perhaps one field changed, "Erzeugen".
    void presetAndGenerate() {
        auto* formula = window->findChild<QLineEdit*>(QStringLiteral("Edit2"));
        formula->setFocus();
        QTest::keyClick(formula, static_cast<Qt::Key>(Qt::Key_F1 + static_cast<int>(fake.below(7))));
        if (fake.chance(0.5)) {
            const QString name = QStringLiteral("Edit%1").arg(1 + fake.below(8));
            auto* field = window->findChild<QLineEdit*>(name);
            field->selectAll();
            TypeText(field, sensibleText(name));
        }
        if (fake.chance(0.2)) {
            window->findChild<QCheckBox*>(QStringLiteral("CheckBox4"))->click();
        }
        if (fake.chance(0.3)) {
            QTest::mouseClick(area, Qt::LeftButton, Qt::KeyboardModifiers(), fake.randomPoint(area));
        }
        auto* generate = window->findChild<QAbstractButton*>(QStringLiteral("Button2"));
        QTest::mouseClick(generate, Qt::LeftButton, Qt::KeyboardModifiers(), generate->rect().center());
    }

    void beforeEvent() override {
        drawingPumps = 0;
        if (fake.chance(0.05)) {
            fake.escapeAtPolls = {fake.escapePolls + 1 + static_cast<long>(fake.below(3000))};
        }
    }

    void randomEvent() override {
        const std::size_t r = fake.below(1000);
        if (r < 40) {
            presetAndGenerate();
        } else if (r < 350) {
            randomKey();
        } else if (r < 500) {
            randomMouse();
        } else if (r < 780) {
            randomClick();
        } else if (r < 985) {
            randomTyping();
        } else if (r < 998) {
            window->repaint();
            QApplication::processEvents();
        } else {
            window->close(); // the close box
        }
    }

    /// A drawing that has pumped long enough is ended with Escape, as a patient user would.
    void drawingGuard() {
        if (window && window->drawing()) {
            if (++drawingPumps == kDrawingPumps) {
                fake.escapeHeld = true;
                ++cutShort;
            }
        } else {
            if (drawingPumps >= kDrawingPumps) {
                fake.escapeHeld = false;
            }
            drawingPumps = 0;
        }
    }

    /// Input that arrives while a drawing pumps: the generator keeps taking it.
    void pumpAction() override {
        if (!window || !window->isVisible()) {
            return;
        }
        if (fake.chance(0.003)) {
            fake.escapeAtPolls.insert(fake.escapePolls + 1);
        }
        if (fake.chance(0.08)) {
            randomEvent();
        }
    }

    ::testing::AssertionResult invariantsHold() override {
        if (window->drawing()) {
            return ::testing::AssertionFailure() << "still drawing";
        }
        const common::Canvas& pic = window->image();
        if (areaSize.isEmpty() || pic.width() != areaSize.width() || pic.height() != areaSize.height() ||
            area->size() != areaSize) {
            return ::testing::AssertionFailure()
                   << "area " << area->width() << "x" << area->height() << ", image " << pic.width() << "x"
                   << pic.height() << ", at the start " << areaSize.width() << "x" << areaSize.height();
        }
        if (pic.image().pixels.size() != static_cast<std::size_t>(pic.width()) * pic.height() * 3) {
            return ::testing::AssertionFailure() << "image buffer of the wrong size";
        }
        if (label6->text() !=
            QStringLiteral("Grafik  %1 x %2").arg(areaSize.width()).arg(areaSize.height())) {
            return ::testing::AssertionFailure() << "Label6 " << label6->text().toStdString();
        }
        if (fake.busy) {
            return ::testing::AssertionFailure() << "busy cursor left on";
        }
        if (window->isVisible() && window->turtle().StopFlag) {
            return ::testing::AssertionFailure() << "a stop left behind for the next drawing";
        }
        return ::testing::AssertionSuccess();
    }

    QWidget* area = nullptr;
    QLabel* label6 = nullptr;
    QSize areaSize;
    long drawingPumps = 0;
    long cutShort = 0;
    std::vector<std::string> paths;
};

TEST_F(RandomInputGenerator, SurvivesSeededRandomEvents) {
    runEvents();
    std::printf("seed=%llu survived=%ld restarts=%ld drawings=%ld cut short=%ld inputs=%ld file dialogs=%ld "
                "print jobs=%ld error boxes=%ld\n",
                static_cast<unsigned long long>(seed), survived, restarts, fake.drawings, cutShort,
                fake.totalInputs, fake.totalFileDialogs, fake.totalPrintJobs, fake.totalErrors);
    EXPECT_EQ(survived, events);
    if (events >= 1000) {
        EXPECT_GT(fake.drawings, 0);
        EXPECT_GT(restarts, 0);
    }
}

} // namespace
} // namespace lsystem
