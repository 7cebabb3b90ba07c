#include "generator_window.h"
#include "test_files.h"

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include <gtest/gtest.h>

#include "fake_services.h"
#include "formula_file.h"
#include "generator_help.h"
#include "jpeg_file.h"
#include "picture_record.h"

namespace lsystem {
namespace {

namespace fs = std::filesystem;
using common::Colour;
using common::kBlack;
using common::kWhite;
using common::kYellow;
using testing_support::FakeServices;

constexpr int kArea = 616; // 493 design pixels at 1.25
const char* const kNotANumber = " Unerlaubte Parametereingabe !";
const char* const kOutOfRange = "Unerlaubte Parametereingabe !";
const char* const kFormulaFilter = "FRA-Fractaldateien (*.frc)|*.frc";

using testing_support::FolderEntries;
using testing_support::ReadFileBytes;
using testing_support::WriteFileBytes;

/// The frame header and quantisation tables of a JPEG file, read marker by marker.
struct JpegHeader {
    int frameMarker = 0;
    int precision = 0;
    int width = 0;
    int height = 0;
    int components = 0;
    int tables = 0;
    std::vector<int> quantisers;
};

JpegHeader readJpegHeader(const std::string& b) {
    JpegHeader h;
    const auto byte = [&](std::size_t i) {
        return static_cast<int>(static_cast<unsigned char>(b[i]));
    };
    if (b.size() < 4 || byte(0) != 0xFF || byte(1) != 0xD8) {
        return h;
    }
    std::size_t i = 2;
    while (i + 4 <= b.size() && byte(i) == 0xFF) {
        const int marker = byte(i + 1);
        const std::size_t length = static_cast<std::size_t>(byte(i + 2) << 8 | byte(i + 3));
        const std::size_t end = i + 2 + length;
        if (end > b.size()) {
            break;
        }
        if (marker == 0xDB) {
            for (std::size_t p = i + 4; p < end;) {
                const bool wide = (byte(p) >> 4) != 0;
                ++p;
                ++h.tables;
                for (int k = 0; k < 64 && p < end; ++k) {
                    h.quantisers.push_back(wide ? byte(p) << 8 | byte(p + 1) : byte(p));
                    p += wide ? 2 : 1;
                }
            }
        } else if (marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC) {
            h.frameMarker = marker;
            h.precision = byte(i + 4);
            h.height = byte(i + 5) << 8 | byte(i + 6);
            h.width = byte(i + 7) << 8 | byte(i + 8);
            h.components = byte(i + 9);
        } else if (marker == 0xDA) {
            break;
        }
        i = end;
    }
    return h;
}

/// True when both pictures have the same size and no channel differs by more than `tolerance`.
::testing::AssertionResult nearlyEqual(const common::RgbImage& a, const common::RgbImage& b, int tolerance) {
    if (a.width != b.width || a.height != b.height) {
        return ::testing::AssertionFailure()
               << a.width << "x" << a.height << " vs " << b.width << "x" << b.height;
    }
    for (std::size_t i = 0; i < a.pixels.size(); ++i) {
        if (std::abs(int{a.pixels[i]} - int{b.pixels[i]}) > tolerance) {
            const std::size_t pixel = i / 3;
            return ::testing::AssertionFailure()
                   << "pixel " << pixel % static_cast<std::size_t>(a.width) << ","
                   << pixel / static_cast<std::size_t>(a.width) << " differs";
        }
    }
    return ::testing::AssertionSuccess();
}

/// What a refused command must leave as it was.
struct WindowState {
    std::array<QString, 8> fields;
    std::int32_t startX;
    std::int32_t startY;
    bool horizontal;
    std::string formulaName;
    std::string workDir;
    std::vector<std::string> record;
    QString label17;
    friend bool operator==(const WindowState&, const WindowState&) = default;
};

class GeneratorWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "generator_window_XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        dir = fs::canonical(pattern).string();
        oldCwd = fs::current_path();
        if (const char* t = std::getenv("TMPDIR")) {
            oldTmpDir = t;
        }
        // No start-folder handover from another program: the work folder is the current one.
        ::setenv("TMPDIR", dir.c_str(), 1);
        fs::current_path(dir);
        openWindow();
    }
    void TearDown() override {
        fake.onPump = nullptr;
        window.reset();
        fs::current_path(oldCwd);
        if (oldTmpDir) {
            ::setenv("TMPDIR", oldTmpDir->c_str(), 1);
        } else {
            ::unsetenv("TMPDIR");
        }
        std::error_code ignored;
        fs::remove_all(dir, ignored);
    }

    void openWindow() {
        window = std::make_unique<GeneratorWindow>(fake);
        window->show();
        window->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
        ASSERT_EQ(window->activations(), 1);
    }

    template <typename T> T* child(const char* name) {
        T* w = window->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    QLineEdit* edit(int n) { return child<QLineEdit>(("Edit" + std::to_string(n)).c_str()); }
    QPushButton* button(int n) { return child<QPushButton>(("Button" + std::to_string(n)).c_str()); }
    QCheckBox* horizontalStart() { return child<QCheckBox>("CheckBox3"); }
    QCheckBox* pauseMode() { return child<QCheckBox>("CheckBox4"); }
    QPlainTextEdit* help() { return child<QPlainTextEdit>("RichEdit1"); }
    QWidget* area() { return child<QWidget>("Image1"); }
    const common::Canvas& pic() { return window->image(); }

    /// Formula, factor, right and left angle, start length, radius, iterations, wait.
    void setFields(const std::array<const char*, 8>& texts) {
        const int order[] = {2, 3, 4, 5, 6, 1, 7, 8};
        for (std::size_t i = 0; i < texts.size(); ++i) {
            edit(order[i])->setText(QString::fromUtf8(texts[i]));
        }
    }
    void generate() { button(2)->click(); }
    void clickArea(QPoint at) { QTest::mouseClick(area(), Qt::LeftButton, Qt::NoModifier, at); }
    /// A real key press and release where the keyboard focus is.
    void keyAtFocus(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QWidget* focus = QApplication::focusWidget();
        ASSERT_NE(focus, nullptr);
        QTest::keyClick(focus, key, modifiers);
    }
    void pressPreset(int n) {
        edit(2)->setFocus();
        keyAtFocus(static_cast<Qt::Key>(Qt::Key_F1 + n - 1));
    }

    long countColour(Colour c) {
        long n = 0;
        for (int y = 0; y < pic().height(); ++y) {
            for (int x = 0; x < pic().width(); ++x) {
                n += pic().pixel(x, y) == c ? 1 : 0;
            }
        }
        return n;
    }
    long countNot(Colour c) { return static_cast<long>(pic().width()) * pic().height() - countColour(c); }
    bool all(Colour c) { return countNot(c) == 0; }

    WindowState state() {
        WindowState s;
        const int order[] = {2, 3, 4, 5, 6, 1, 7, 8};
        for (std::size_t i = 0; i < s.fields.size(); ++i) {
            s.fields[i] = edit(order[i])->text();
        }
        s.startX = window->startX();
        s.startY = window->startY();
        s.horizontal = horizontalStart()->isChecked();
        s.formulaName = window->formulaName();
        s.workDir = window->workDir();
        s.record = window->parameterRecord();
        s.label17 = child<QLabel>("Label17")->text();
        return s;
    }

    /// The Koch curve one level deeper than its preset with 4-pixel segments: 341 steps, each
    /// pumping (the wait is 1 ms), the curve never crossing itself and staying on the area.
    void prepareBusyDrawing() {
        clickArea({40, 400});
        setFields({"F-F++F-F", "1", "60", "60", "1", "0", "4", "1"});
        horizontalStart()->setChecked(true);
    }

    /// A cancelled save counts as the first save, which "Laden" waits for.
    void unlockLoading() {
        ASSERT_TRUE(fake.fileAnswers.empty());
        button(5)->click();
        fake.fileDialogs.clear();
        fake.log.clear();
    }

    FakeServices fake;
    std::unique_ptr<GeneratorWindow> window;
    std::string dir;
    fs::path oldCwd;
    std::optional<std::string> oldTmpDir;
};

// --- start-up

TEST_F(GeneratorWindowTest, StartsWithTheFirstTreeAndAWhiteArea) {
    EXPECT_EQ(window->objectName(), QStringLiteral("Form15"));
    EXPECT_EQ(window->windowTitle(), QStringLiteral("ZUDIRUR - Ein Generator für fraktale Gebilde"));
    const std::array<QString, 8> expected = {"F(-F)+F-", "0.70", "20", "20", "16", "4", "3", "1"};
    EXPECT_EQ(state().fields, expected);
    EXPECT_EQ(window->startX(), 250);
    EXPECT_EQ(window->startY(), 400);
    EXPECT_FALSE(horizontalStart()->isChecked());
    EXPECT_FALSE(pauseMode()->isChecked());
    // Design geometry 142, 13 and 142, 33, each 121 x 13, scaled by 1.25.
    EXPECT_EQ(horizontalStart()->geometry(), QRect(178, 16, 151, 16));
    EXPECT_EQ(pauseMode()->geometry(), QRect(178, 41, 151, 16));
    EXPECT_EQ(area()->size(), QSize(kArea, kArea));
    EXPECT_EQ(pic().width(), kArea);
    EXPECT_EQ(pic().height(), kArea);
    EXPECT_TRUE(all(kWhite)); // the start point is not marked
    EXPECT_EQ(child<QLabel>("Label6")->text(), QStringLiteral("Grafik  616 x 616"));
    EXPECT_EQ(child<QLabel>("Label17")->text(), QStringLiteral("Fraktalname = baum1.frc"));
    EXPECT_EQ(child<QLabel>("Label9")->text(), QStringLiteral("Formel eingeben \noder <F1>...<F7>"));
    EXPECT_EQ(window->formulaName(), "baum1.frc");
    EXPECT_EQ(window->workDir(), dir);
    EXPECT_EQ(window->waitMs(), 1);
    EXPECT_EQ(window->nodeRadius(), 0);
    EXPECT_TRUE(window->parameterRecord().empty());
    EXPECT_EQ(QApplication::focusWidget(), edit(2));
    EXPECT_FALSE(help()->isVisible());

    // A later activation (after a box closed) keeps what the user changed.
    edit(2)->setText(QStringLiteral("FF"));
    QEvent activate(QEvent::WindowActivate);
    QApplication::sendEvent(window.get(), &activate);
    EXPECT_EQ(edit(2)->text(), QStringLiteral("FF"));
}

TEST_F(GeneratorWindowTest, HelpTextHasItsLinesAndTogglesOverTheArea) {
    const QStringList lines = help()->toPlainText().split(QLatin1Char('\n'));
    ASSERT_EQ(lines.size(), 74);
    EXPECT_TRUE(lines.front().isEmpty());
    EXPECT_TRUE(lines.back().isEmpty());
    const QStringList symbols = {
        QStringLiteral("      F ... bewege den Grafikcursor um eine bestimmte Strecke"),
        QStringLiteral("            in eine bestimmte Richtung (Forward move)."),
        QStringLiteral("      + ... führe eine Rechtsdrehung um einen Winkel aus."),
        QStringLiteral("      - ... führe eine Linksdrehung um einen Winkel aus."),
        QStringLiteral("      ( ... Speichere die aktuelle Cursorposition und Richtung."),
        QStringLiteral("      ) ... Springe zurück zur zuletzt gespeicherten Position."),
    };
    const qsizetype first = lines.indexOf(symbols.front());
    ASSERT_GE(first, 0);
    EXPECT_EQ(lines.mid(first, symbols.size()), symbols);
    ASSERT_EQ(HelpLines().size(), 74u);
    EXPECT_EQ(QString::fromStdString(HelpLines()[static_cast<std::size_t>(first) + 2]), symbols[2]);

    // The topics in their order, each opening a paragraph; the function keys close the text,
    // and no blank lines pad it out.
    const QStringList topics = {
        QStringLiteral("Dieser Generator erzeugt mit Hilfe der Lindenmayer-Syntax"),
        QStringLiteral("Eine Formel darf die folgenden fünf Symbole enthalten:"),
        QStringLiteral("Eingegeben werden"),
        QStringLiteral("Der Verkleinerungsfaktor verkürzt"),
        QStringLiteral("Ist der Radius der Knoten größer als null"),
        QStringLiteral("Jede weitere Iteration ersetzt jedes F"),
        QStringLiteral("Beispiele:"),
        QStringLiteral("Einfaches Dreieck:            Rekursive Koch-Kurve:"),
        QStringLiteral("Einfache Baumgabelung:        Rekursive Baumgabelung:"),
        QStringLiteral("Am besten macht man sich die Bildungsregel"),
        QStringLiteral("Bedienung:"),
        QStringLiteral("HINWEIS: Jede Grafik kann zusätzlich mit <F9> in eine Datei"),
        QStringLiteral("Dieser sichtbare Hilfetext wird mittels <Drucken> ausgedruckt."),
        QStringLiteral("Die Funktionstasten <F1> bis <F7> im Formelfeld"),
    };
    std::vector<qsizetype> found;
    for (const QString& topic : topics) {
        qsizetype at = found.empty() ? 0 : found.back() + 1;
        while (at < lines.size() && !lines[at].trimmed().startsWith(topic)) {
            ++at;
        }
        ASSERT_LT(at, lines.size()) << "missing or out of order: " << topic.toStdString();
        EXPECT_TRUE(lines[at - 1].isEmpty()) << topic.toStdString();
        found.push_back(at);
    }
    const auto line = [&](qsizetype i) {
        return lines[i].trimmed().toStdString();
    };
    const qsizetype hint = found[found.size() - 3];
    EXPECT_EQ(line(hint + 1), "im JPEG-Format gespeichert werden.");
    const qsizetype keys = found.back();
    EXPECT_EQ(lines.mid(keys + 1, 4).join(QLatin1Char('|')).simplified().toStdString(),
              "<F1> bis <F4> vier Bäume,| <F5> die Koch-Kurve,| <F6> das Sierpinski-Dreieck,| <F7> die "
              "Peano-Kurve.");
    EXPECT_EQ(keys + 6, lines.size()) << "the function keys are not the last paragraph";
    for (qsizetype i = 1; i < lines.size(); ++i) {
        EXPECT_FALSE(lines[i - 1].isEmpty() && lines[i].isEmpty()) << "blank lines at " << i;
    }

    button(1)->click();
    EXPECT_TRUE(help()->isVisible());
    button(1)->click();
    EXPECT_FALSE(help()->isVisible());
}

TEST_F(GeneratorWindowTest, EnterWalksTheFieldsAndCopiesTheRightAngle) {
    edit(4)->setText(QStringLiteral("33"));
    edit(5)->setText(QStringLiteral("20"));
    edit(2)->setFocus();
    const std::vector<QWidget*> walk = {edit(2), edit(3), edit(4), edit(5),  edit(6),
                                        edit(1), edit(7), edit(8), button(2)};
    for (std::size_t i = 0; i + 1 < walk.size(); ++i) {
        ASSERT_EQ(QApplication::focusWidget(), walk[i]) << walk[i]->objectName().toStdString();
        keyAtFocus(Qt::Key_Return);
        if (walk[i] == edit(4)) {
            EXPECT_EQ(edit(5)->text(), QStringLiteral("33"));
        }
    }
    EXPECT_EQ(QApplication::focusWidget(), button(2));
    EXPECT_EQ(edit(4)->text(), QStringLiteral("33"));
    EXPECT_TRUE(all(kWhite)); // Enter in the last field only moves the focus
    // One more Enter presses "Erzeugen", which draws.
    keyAtFocus(Qt::Key_Return);
    EXPECT_GT(countNot(kWhite), 0);
    EXPECT_FALSE(window->parameterRecord().empty());
}

// --- "Erzeugen"

TEST_F(GeneratorWindowTest, AFormulaOfBlanksIsRefusedWithTheFocusInTheFormula) {
    const char* const rows[] = {"   ", ""};
    for (const char* formula : rows) {
        SCOPED_TRACE(std::string("'") + formula + "'");
        fake.messages.clear();
        clickArea({100, 100});
        ASSERT_GT(countNot(kWhite), 0);
        edit(2)->setText(QString::fromLatin1(formula));
        edit(5)->setFocus();
        generate();
        EXPECT_EQ(fake.messageTexts(), std::vector<std::string>{"Bitte eine zulässige Formel eingeben !"});
        EXPECT_EQ(QApplication::focusWidget(), edit(2));
        EXPECT_TRUE(all(kWhite));
        EXPECT_TRUE(window->parameterRecord().empty());
    }
}

struct CheckRow {
    const char* name;
    int field; // the EditN changed from the valid base
    const char* text;
    const char* message; // nullptr: drawn
    double factor;
    std::int32_t radius;
    std::int32_t wait;
};

TEST_F(GeneratorWindowTest, ParametersAreCheckedAndKeepWhatWasConvertedBeforeAFailure) {
    // The state before each row: factor 0.25, radius 7, wait 9; the row's base sets 0.5, 2, 3.
    const std::array<const char*, 8> previous = {"FF", "0.25", "20", "20", "10", "7", "1", "9"};
    const std::array<const char*, 8> base = {"F", "0.5", "20", "20", "10", "2", "1", "3"};
    const CheckRow rows[] = {
        {"factor_zero", 3, "0", kOutOfRange, 0.0, 2, 3},
        {"factor_above_one", 3, "1.01", kOutOfRange, 1.01, 2, 3},
        {"factor_one", 3, "1", nullptr, 1.0, 2, 3},
        {"factor_decimal_comma", 3, "0,7", nullptr, 0.7, 2, 3},
        {"factor_decimal_point", 3, "0.7", nullptr, 0.7, 2, 3},
        {"factor_letters", 3, "abc", kNotANumber, 0.25, 7, 9},
        {"right_angle_letters", 4, "zwanzig", kNotANumber, 0.5, 7, 9},
        {"right_angle_720", 4, "720", nullptr, 0.5, 2, 3},
        {"right_angle_negative", 4, "-30", kOutOfRange, 0.5, 2, 3},
        {"left_angle_negative", 5, "-30", kOutOfRange, 0.5, 2, 3},
        {"left_angle_empty", 5, "", kNotANumber, 0.5, 7, 9},
        {"length_zero", 6, "0", kOutOfRange, 0.5, 2, 3},
        {"length_decimal", 6, "1.5", kNotANumber, 0.5, 7, 9},
        {"radius_minus_one", 1, "-1", kOutOfRange, 0.5, -1, 3},
        {"radius_25", 1, "25", nullptr, 0.5, 25, 3},
        {"radius_empty", 1, "", kNotANumber, 0.5, 7, 9},
        {"iterations_zero", 7, "0", kOutOfRange, 0.5, 2, 3},
        {"iterations_eleven", 7, "11", kOutOfRange, 0.5, 2, 3},
        {"iterations_ten", 7, "10", nullptr, 0.5, 2, 3},
        {"iterations_letters", 7, "drei", kNotANumber, 0.5, 2, 9},
        {"wait_empty", 8, "", kNotANumber, 0.5, 2, 9},
        {"wait_negative", 8, "-1", kOutOfRange, 0.5, 2, -1},
    };
    clickArea({300, 300});
    for (const CheckRow& row : rows) {
        SCOPED_TRACE(row.name);
        setFields(previous);
        generate();
        ASSERT_TRUE(fake.messages.empty());
        ASSERT_EQ(window->turtle().Factor, 0.25);
        ASSERT_EQ(window->nodeRadius(), 7);
        ASSERT_EQ(window->waitMs(), 9);
        ASSERT_GT(countNot(kWhite), 0);
        const std::vector<std::string> previousRecord = window->parameterRecord();

        setFields(base);
        edit(row.field)->setText(QString::fromLatin1(row.text));
        const WindowState before = state();
        generate();
        EXPECT_EQ(window->turtle().Factor, row.factor);
        EXPECT_EQ(window->nodeRadius(), row.radius);
        EXPECT_EQ(window->waitMs(), row.wait);
        if (row.message != nullptr) {
            EXPECT_EQ(fake.messageTexts(), std::vector<std::string>{row.message});
            EXPECT_TRUE(all(kWhite)); // cleared all the same
            EXPECT_EQ(window->parameterRecord(), previousRecord);
        } else {
            EXPECT_TRUE(fake.messages.empty()) << fake.messageTexts().front();
            EXPECT_GT(countNot(kWhite), 0);
            std::vector<std::string> expected;
            for (std::size_t i = 0; i < 7; ++i) {
                expected.push_back(before.fields[i].toStdString());
            }
            expected.insert(expected.end(), {"300", "300", "0"});
            EXPECT_EQ(window->parameterRecord(), expected);
        }
        EXPECT_EQ(state().fields, before.fields); // nothing is rewritten
        fake.messages.clear();
    }
}

TEST_F(GeneratorWindowTest, FormulaIsDrawnInCapitalsWithoutBlanks) {
    setFields({"F(-F)+F-", "0.70", "20", "20", "16", "4", "3", "1"});
    generate();
    const common::RgbImage capitals = pic().image();
    ASSERT_GT(countColour(kBlack), 0);
    setFields({"f ( -f ) + f-", "0.70", "20", "20", "16", "4", "3", "1"});
    generate();
    EXPECT_TRUE(fake.messages.empty());
    EXPECT_EQ(window->formula(), "F(-F)+F-");
    EXPECT_EQ(pic().image().pixels, capitals.pixels);
    EXPECT_EQ(window->parameterRecord().front(), "f ( -f ) + f-");
}

TEST_F(GeneratorWindowTest, RecordHoldsTheFieldsAsTypedAndTheStartPoint) {
    struct Row {
        const char* name;
        bool horizontal;
        QPoint click;
        const char* lastLine;
    };
    const Row rows[] = {{"horizontal", true, {123, 321}, "1"}, {"vertical", false, {77, 500}, "0"}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        clickArea(row.click);
        setFields({"F+F", " 0.7", "30 ", "4,5", "5", " 0", "2", "0"});
        horizontalStart()->setChecked(row.horizontal);
        generate();
        ASSERT_TRUE(fake.messages.empty());
        const std::vector<std::string> expected = {"F+F",
                                                   " 0.7",
                                                   "30 ",
                                                   "4,5",
                                                   "5",
                                                   " 0",
                                                   "2",
                                                   std::to_string(row.click.x()),
                                                   std::to_string(row.click.y()),
                                                   row.lastLine};
        EXPECT_EQ(window->parameterRecord(), expected);
        EXPECT_EQ(QApplication::focusWidget(), edit(2));
    }
}

// --- "Löschen"

TEST_F(GeneratorWindowTest, ClearAsksForTheBackgroundAndEmptiesTheFields) {
    struct Row {
        const char* name;
        std::optional<std::string> answer; // nullopt: Cancel
        Colour back;
        Colour pen;
    };
    const Row rows[] = {
        {"zero", "0", kBlack, kYellow},       {"one", "1", kWhite, kBlack},
        {"two", "2", kWhite, kBlack},         {"minus_one", "-1", kWhite, kBlack},
        {"letters", "xyz", kWhite, kBlack},   {"blank_before_zero", " 0", kWhite, kBlack},
        {"zero_blank", "0 ", kWhite, kBlack}, {"cancel", std::nullopt, kWhite, kBlack},
        {"plus_zero", "+0", kBlack, kYellow},
    };
    clickArea({120, 220});
    setFields({"F", "0.5", "20", "20", "10", "3", "1", "2"});
    generate();
    ASSERT_EQ(window->nodeRadius(), 3);
    ASSERT_EQ(window->waitMs(), 2);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        // Start from the other background so the row's own colour must be set.
        fake.inputAnswers = {row.back == kBlack ? "1" : "0"};
        button(3)->click();
        ASSERT_NE(window->backColour(), row.back);

        setFields({"F", "0.5", "20", "20", "10", "9", "1", "7"});
        horizontalStart()->setChecked(true);
        pauseMode()->setChecked(true);
        edit(6)->setFocus();
        fake.inputs.clear();
        fake.inputAnswers = {row.answer};
        button(3)->click();
        ASSERT_EQ(fake.inputs.size(), 1u);
        EXPECT_EQ(fake.inputs[0].caption, "Hintergrundfarbe");
        EXPECT_EQ(fake.inputs[0].prompt, "0 = schwarz, 1 = weiß");
        EXPECT_EQ(fake.inputs[0].defaultText, "1");
        EXPECT_EQ(window->backColour(), row.back);
        EXPECT_EQ(window->penColour(), row.pen);
        EXPECT_TRUE(all(row.back));
        for (int n = 1; n <= 7; ++n) {
            EXPECT_TRUE(edit(n)->text().isEmpty()) << n;
        }
        EXPECT_EQ(edit(8)->text(), QStringLiteral("1"));
        EXPECT_FALSE(horizontalStart()->isChecked());
        EXPECT_FALSE(pauseMode()->isChecked());
        EXPECT_EQ(child<QLabel>("Label17")->text(), QStringLiteral("Fraktalname = "));
        EXPECT_EQ(QApplication::focusWidget(), edit(2));
        EXPECT_EQ(window->startX(), 120);
        EXPECT_EQ(window->startY(), 220);
        EXPECT_EQ(window->nodeRadius(), 3);
        EXPECT_EQ(window->waitMs(), 2);
    }
    EXPECT_TRUE(fake.messages.empty());
}

TEST_F(GeneratorWindowTest, OnABlackBackgroundTheDrawingIsYellow) {
    fake.inputAnswers = {"0"};
    button(3)->click();
    clickArea({300, 400});
    EXPECT_GT(countColour(kYellow), 0); // the start mark too
    setFields({"F", "1", "0", "0", "10", "0", "1", "0"});
    generate();
    ASSERT_TRUE(fake.messages.empty());
    // One segment straight up from the start point, 10 pixels long.
    for (int y = 391; y <= 400; ++y) {
        EXPECT_EQ(pic().pixel(300, y), kYellow) << y;
    }
    EXPECT_EQ(pic().pixel(300, 389), kBlack);
    EXPECT_EQ(countColour(kYellow), 10);
    EXPECT_EQ(countColour(kBlack), kArea * kArea - 10);
}

TEST_F(GeneratorWindowTest, ClearDoesNothingWhileTheHelpIsShown) {
    clickArea({120, 220});
    button(1)->click();
    ASSERT_TRUE(help()->isVisible());
    const WindowState before = state();
    const long marked = countNot(kWhite);
    button(3)->click();
    EXPECT_TRUE(fake.inputs.empty());
    EXPECT_EQ(state(), before);
    EXPECT_EQ(countNot(kWhite), marked);
    EXPECT_EQ(window->backColour(), kWhite);
}

// --- the start point

TEST_F(GeneratorWindowTest, AClickClearsTheAreaAndMarksTheStartPoint) {
    setFields({"F", "1", "0", "0", "40", "0", "1", "0"});
    generate();
    ASSERT_GT(countColour(kBlack), 0);
    clickArea({100, 200});
    EXPECT_EQ(window->startX(), 100);
    EXPECT_EQ(window->startY(), 200);
    // A 7-pixel cross of width 2 centred on the click: the arms reach 3 pixels each way, each
    // arm doubled below or to the right.
    std::vector<std::pair<int, int>> cross;
    for (int d = -3; d <= 3; ++d) {
        cross.emplace_back(100 + d, 200);
        cross.emplace_back(100 + d, 201);
        cross.emplace_back(100, 200 + d);
        cross.emplace_back(101, 200 + d);
    }
    for (const auto& [x, y] : cross) {
        EXPECT_EQ(pic().pixel(x, y), kBlack) << x << "," << y;
    }
    // Just beyond each arm's end, beside the arms and in the corners between them.
    const std::vector<std::pair<int, int>> around = {{96, 200},  {104, 200}, {96, 201},  {104, 201},
                                                     {100, 196}, {100, 204}, {101, 196}, {101, 204},
                                                     {98, 198},  {103, 203}, {102, 202}, {99, 202}};
    for (const auto& [x, y] : around) {
        EXPECT_EQ(pic().pixel(x, y), kWhite) << x << "," << y;
    }
    std::sort(cross.begin(), cross.end());
    cross.erase(std::unique(cross.begin(), cross.end()), cross.end());
    EXPECT_EQ(countColour(kBlack), static_cast<long>(cross.size())); // the earlier drawing is gone

    // The next drawing starts there: one segment of 40 pixels straight up.
    generate();
    EXPECT_EQ(window->turtle().state.PosX, 100);
    EXPECT_EQ(window->turtle().state.PosY, 160);
    EXPECT_EQ(pic().pixel(100, 170), kBlack);
}

TEST_F(GeneratorWindowTest, AStartPointOnTheLeftEdgeIsIgnoredByTheDrawing) {
    clickArea({0, 200});
    EXPECT_EQ(window->startX(), 0);
    EXPECT_EQ(window->startY(), 200);
    setFields({"F", "1", "0", "0", "40", "0", "1", "0"});
    generate();
    // The default vertical start: the middle of the bottom edge.
    EXPECT_EQ(window->turtle().state.PosX, kArea / 2);
    EXPECT_EQ(window->turtle().state.PosY, kArea - 40);
    EXPECT_EQ(pic().pixel(kArea / 2, kArea - 20), kBlack);
    EXPECT_EQ(window->parameterRecord()[7], "0");
}

// --- presets

struct PresetRow {
    const char* formula;
    const char* factor;
    const char* right;
    const char* left;
    const char* length;
    const char* radius;
    const char* iterations;
    int x;
    int y;
    bool horizontal;
    const char* name;
};

TEST_F(GeneratorWindowTest, FunctionKeysInTheFormulaFieldSetTheBuiltInFormulas) {
    const PresetRow rows[] = {
        {"F(-F)+F-", "0.70", "20", "20", "16", "4", "3", 320, 480, false, "baum1.frc"},
        {"F(-F)F(+F)F", "0.70", "50", "40", "20", "4", "2", 320, 480, false, "baum2.frc"},
        {"FF+(+F-F-F)-(-F+F+F)", "0.65", "27", "26", "4", "2", "4", 240, 520, false, "baum3.frc"},
        {"FF+(+F(F)-F-F)-(-F+F-(F)++F)", "0.65", "25", "26", "4", "1", "4", 360, 580, false, "baum4.frc"},
        {"F-F++F-F", "1", "60", "60", "6", "0", "3", 40, 400, true, "koch.frc"},
        {"FF-FF-FF-FF", "1", "120", "120", "8", "0", "4", 40, 540, true, "sierpins.frc"},
        {"F-F+F+F+F-F-F-F+F", "1", "90", "90", "6", "0", "3", 50, 300, true, "peano.frc"},
    };
    ASSERT_EQ(Presets().size(), std::size(rows));
    // A drawing with radius 5 so NodeRadius differs from every preset's field.
    setFields({"F", "0.5", "20", "20", "10", "5", "1", "0"});
    generate();
    ASSERT_EQ(window->nodeRadius(), 5);
    for (int n = 1; n <= 7; ++n) {
        const PresetRow& row = rows[n - 1];
        SCOPED_TRACE(row.name);
        clickArea({10, 10});
        setFields({"x", "x", "x", "x", "x", "x", "x", "9"});
        horizontalStart()->setChecked(!row.horizontal);
        pauseMode()->setChecked(true);
        ASSERT_GT(countNot(kWhite), 0);
        pressPreset(n);
        const std::array<QString, 8> expected = {QString::fromLatin1(row.formula),
                                                 row.factor,
                                                 row.right,
                                                 row.left,
                                                 row.length,
                                                 row.radius,
                                                 row.iterations,
                                                 "9"};
        EXPECT_EQ(state().fields, expected);
        EXPECT_EQ(window->startX(), row.x);
        EXPECT_EQ(window->startY(), row.y);
        EXPECT_EQ(horizontalStart()->isChecked(), row.horizontal);
        EXPECT_EQ(window->formulaName(), row.name);
        EXPECT_EQ(child<QLabel>("Label17")->text(), QStringLiteral("Fraktalname = ") + row.name);
        EXPECT_TRUE(all(kWhite));
        EXPECT_TRUE(pauseMode()->isChecked());
        EXPECT_EQ(window->nodeRadius(), 5);
    }
}

TEST_F(GeneratorWindowTest, FunctionKeysDoNothingElsewhereOrBeyondF7) {
    struct Row {
        const char* name;
        int focusField;
        Qt::Key key;
    };
    const Row rows[] = {
        {"F5_in_the_factor", 3, Qt::Key_F5},
        {"F1_in_the_wait", 8, Qt::Key_F1},
        {"F8_in_the_formula", 2, Qt::Key_F8},
        {"F12_in_the_formula", 2, Qt::Key_F12},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        clickArea({10, 10});
        setFields({"x", "x", "x", "x", "x", "x", "x", "9"});
        const WindowState before = state();
        const long marked = countNot(kWhite);
        edit(row.focusField)->setFocus();
        keyAtFocus(row.key);
        EXPECT_EQ(state(), before);
        EXPECT_EQ(countNot(kWhite), marked);
    }
}

// --- formula files

TEST_F(GeneratorWindowTest, KochCurveIsSavedByteForByte) {
    pressPreset(5);
    generate();
    ASSERT_TRUE(fake.messages.empty());
    fake.fileAnswers = {dir + "/koch.frc"};
    edit(4)->setFocus();
    button(5)->click();
    EXPECT_EQ(ReadFileBytes(dir + "/koch.frc"),
              "F-F++F-F\r\n1\r\n60\r\n60\r\n6\r\n0\r\n3\r\n40\r\n400\r\n1\r\n");
    ASSERT_EQ(fake.fileDialogs.size(), 1u);
    const auto& dialog = fake.fileDialogs[0];
    EXPECT_EQ(dialog.kind, common::FileDialogKind::Save);
    EXPECT_EQ(dialog.initialFolder, dir);
    EXPECT_EQ(dialog.fileName, "koch.frc");
    EXPECT_EQ(dialog.filter, kFormulaFilter);
    EXPECT_EQ(dialog.defaultExtension, "frc");
    EXPECT_TRUE(dialog.overwritePrompt);
    EXPECT_TRUE(fake.messages.empty());
    EXPECT_EQ(window->formulaName(), "koch.frc");
    EXPECT_EQ(window->workDir(), dir + "/");
    EXPECT_EQ(QApplication::focusWidget(), edit(2));
    EXPECT_EQ(FolderEntries(dir), std::vector<std::string>{"koch.frc"});
}

TEST_F(GeneratorWindowTest, RadiusLineFollowsTheLastDrawing) {
    struct Row {
        const char* name;
        const char* drawnRadius; // nullptr: no drawing
        const char* fieldAtSave;
        const char* line6;
    };
    const Row rows[] = {
        {"right_after_start_up", nullptr, "4", "0"},
        {"blanks_removed_after_a_drawing", " 4 ", " 4 ", "4"},
        {"drawn_without_nodes", "0", "5", "0"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        window.reset();
        fs::current_path(dir);
        openWindow();
        if (row.drawnRadius != nullptr) {
            edit(1)->setText(QString::fromLatin1(row.drawnRadius));
            edit(7)->setText(QStringLiteral("1"));
            generate();
            ASSERT_TRUE(fake.messages.empty());
        }
        edit(1)->setText(QString::fromLatin1(row.fieldAtSave));
        const std::string path = dir + "/" + row.name + ".frc";
        fake.fileAnswers = {path};
        button(5)->click();
        const FormulaFileText file = ReadFormulaFile(path);
        ASSERT_TRUE(file.ok()) << file.error;
        ASSERT_EQ(file.lines.size(), 10u);
        EXPECT_EQ(file.lines[5], row.line6);
        EXPECT_EQ(file.lines[0], "F(-F)+F-");
        EXPECT_EQ(file.lines[7], "250");
        EXPECT_EQ(file.lines[8], "400");
        EXPECT_EQ(file.lines[9], "0");
        EXPECT_EQ(window->parameterRecord(), file.lines);
    }
}

TEST_F(GeneratorWindowTest, SavedFormulaLoadsBackWithStartPointAndDirection) {
    fs::create_directory(dir + "/sub");
    clickArea({111, 222});
    setFields({"F+F(-F)", "0,5", "33", "44", "7", " 2 ", "2", "0"});
    horizontalStart()->setChecked(true);
    generate();
    ASSERT_TRUE(fake.messages.empty());
    fake.fileAnswers = {dir + "/sub/eigen.frc"};
    button(5)->click();
    ASSERT_TRUE(fake.messages.empty());
    EXPECT_EQ(window->workDir(), dir + "/sub/");

    // Everything different, then "Laden".
    pressPreset(1);
    clickArea({5, 6});
    edit(8)->setText(QStringLiteral("5"));
    fake.fileAnswers = {dir + "/sub/eigen.frc"};
    button(4)->click();
    ASSERT_TRUE(fake.messages.empty()) << fake.messageTexts().front();
    const std::array<QString, 8> expected = {"F+F(-F)", "0,5", "33", "44", "7", "2", "2", "1"};
    EXPECT_EQ(state().fields, expected);
    EXPECT_EQ(window->startX(), 111);
    EXPECT_EQ(window->startY(), 222);
    EXPECT_TRUE(horizontalStart()->isChecked());
    EXPECT_EQ(window->formulaName(), "eigen.frc");
    EXPECT_EQ(child<QLabel>("Label17")->text(), QStringLiteral("Fraktalname = eigen.frc"));
    EXPECT_EQ(window->workDir(), dir + "/sub/");
    EXPECT_TRUE(all(kWhite));
    EXPECT_EQ(QApplication::focusWidget(), edit(2));
    EXPECT_EQ(window->parameterRecord(),
              (std::vector<std::string>{"F+F(-F)", "0,5", "33", "44", "7", "2", "2", "111", "222", "1"}));

    const auto& open = fake.fileDialogs.back();
    EXPECT_EQ(open.kind, common::FileDialogKind::Open);
    EXPECT_EQ(open.initialFolder, dir + "/sub/");
    EXPECT_EQ(open.filter, kFormulaFilter);
    EXPECT_EQ(open.defaultExtension, "frc");
    EXPECT_TRUE(open.fileMustExist);

    // The loaded drawing starts where the file says, heading right.
    generate();
    EXPECT_EQ(pic().pixel(111 + 7, 222), kBlack);
}

TEST_F(GeneratorWindowTest, AfterALoadTheDialogsOfferTheLoadedFileAndItsFolder) {
    fs::create_directory(dir + "/a");
    fs::create_directory(dir + "/b");
    WriteFileBytes(dir + "/b/peano.frc",
                   FormatFormulaFile({"F", "1", "90", "90", "6", "0", "3", "50", "300", "1"}));
    unlockLoading();
    fake.fileAnswers = {dir + "/b/peano.frc"};
    button(4)->click();
    ASSERT_TRUE(fake.messages.empty());
    ASSERT_EQ(fake.fileDialogs.size(), 1u);
    EXPECT_EQ(fake.fileDialogs[0].initialFolder, dir);

    button(5)->click(); // cancelled
    button(4)->click(); // cancelled
    ASSERT_EQ(fake.fileDialogs.size(), 3u);
    EXPECT_EQ(fake.fileDialogs[1].kind, common::FileDialogKind::Save);
    EXPECT_EQ(fake.fileDialogs[1].fileName, "peano.frc");
    EXPECT_EQ(fake.fileDialogs[1].initialFolder, dir + "/b/");
    EXPECT_EQ(fake.fileDialogs[2].kind, common::FileDialogKind::Open);
    EXPECT_EQ(fake.fileDialogs[2].initialFolder, dir + "/b/");
}

TEST_F(GeneratorWindowTest, LastLineMustBeExactlyOneForAHorizontalStart) {
    struct Row {
        const char* name;
        std::string lastLines; // lines 8 to 10 and what follows
        bool horizontal;
    };
    const Row rows[] = {
        {"one", "40\r\n400\r\n1\r\n", true},
        {"one_and_a_blank", "40\r\n400\r\n1 \r\n", false},
        {"zero", "40\r\n400\r\n0\r\n", false},
        {"missing", "40\r\n400\r\n", false},
        {"blank_before_one", "40\r\n400\r\n 1\r\n", false},
        {"more_lines_after_it", "40\r\n400\r\n1\r\nrest\r\n", true},
    };
    unlockLoading();
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        horizontalStart()->setChecked(!row.horizontal);
        const std::string path = dir + "/" + row.name + ".frc";
        WriteFileBytes(path, "F-F++F-F\r\n1\r\n60\r\n60\r\n6\r\n0\r\n3\r\n" + row.lastLines);
        fake.fileAnswers = {path};
        button(4)->click();
        EXPECT_TRUE(fake.messages.empty());
        EXPECT_EQ(horizontalStart()->isChecked(), row.horizontal);
        EXPECT_EQ(window->startX(), 40);
        EXPECT_EQ(window->startY(), 400);
    }
}

TEST_F(GeneratorWindowTest, LoadingBeforeAnySaveIsRefusedAndKeepsThePicture) {
    clickArea({100, 100});
    const common::RgbImage before = pic().image();
    const WindowState fields = state();
    button(4)->click();
    EXPECT_EQ(fake.messageTexts(), std::vector<std::string>{"Zuerst eine Formel speichern !"});
    EXPECT_NE(fake.messages[0].icon, common::MessageIcon::Stop);
    EXPECT_TRUE(fake.fileDialogs.empty());
    EXPECT_EQ(pic().image().pixels, before.pixels);
    EXPECT_EQ(state(), fields);
}

struct LoadRow {
    std::string name;
    std::string bytes;   // written to the file unless `folder`
    bool folder = false; // the chosen path is a folder
    std::array<const char*, 7> fields{};
    int x = 0;
    int y = 0;
    bool horizontal = false;
};

const std::string kKoch = "F-F++F-F\r\n1\r\n60\r\n60\r\n6\r\n0\r\n3\r\n40\r\n400\r\n1\r\n";
const std::array<const char*, 7> kKochFields = {"F-F++F-F", "1", "60", "60", "6", "0", "3"};

TEST_F(GeneratorWindowTest, LoadTakesEveryTextFileAndRefusesBrokenOnesWithoutAChange) {
    const std::string longFormula(5000, 'F');
    std::string twoMegabytes = kKoch;
    twoMegabytes.resize(2 * 1024 * 1024, 'F');
    const std::vector<LoadRow> rows = {
        {"crlf", kKoch, false, kKochFields, 40, 400, true},
        {"lf_only", "F-F++F-F\n1\n60\n60\n6\n0\n3\n40\n400\n1\n", false, kKochFields, 40, 400, true},
        {"no_final_break", "F-F++F-F\r\n1\r\n60\r\n60\r\n6\r\n0\r\n3\r\n40\r\n400\r\n1", false, kKochFields,
         40, 400, true},
        {"byte_order_mark", "\xEF\xBB\xBF" + kKoch, false, kKochFields, 40, 400, true},
        {"line_longer_than_4096",
         longFormula + "\r\n1\r\n60\r\n60\r\n6\r\n0\r\n3\r\n40\r\n400\r\n1\r\n",
         false,
         {longFormula.c_str(), "1", "60", "60", "6", "0", "3"},
         40,
         400,
         true},
        {"nine_lines", "F-F++F-F\r\n1\r\n60\r\n60\r\n6\r\n0\r\n3\r\n40\r\n400\r\n", false, kKochFields, 40,
         400, false},
        {"negative_start_point",
         "F\r\n1\r\n60\r\n60\r\n6\r\n0\r\n3\r\n-5\r\n +7\r\n0\r\n",
         false,
         {"F", "1", "60", "60", "6", "0", "3"},
         -5,
         7,
         false},
        // Refused: nothing may change.
        {"seven_lines", "F-F++F-F\r\n1\r\n60\r\n60\r\n6\r\n0\r\n3\r\n"},
        {"empty_file", ""},
        {"x_not_an_integer", "F\r\n1\r\n60\r\n60\r\n6\r\n0\r\n3\r\n4O\r\n400\r\n1\r\n"},
        {"y_not_an_integer", "F\r\n1\r\n60\r\n60\r\n6\r\n0\r\n3\r\n40\r\n400.5\r\n1\r\n"},
        {"y_blank", "F\r\n1\r\n60\r\n60\r\n6\r\n0\r\n3\r\n40\r\n \r\n1\r\n"},
        {"x_too_large", "F\r\n1\r\n60\r\n60\r\n6\r\n0\r\n3\r\n4294967296\r\n400\r\n1\r\n"},
        {"nul_bytes", "F" + std::string(3, '\0') + "\r\n1\r\n60\r\n60\r\n6\r\n0\r\n3\r\n40\r\n400\r\n1\r\n"},
        {"two_megabytes", twoMegabytes},
        {"folder", "", true},
    };
    unlockLoading();
    for (const LoadRow& row : rows) {
        SCOPED_TRACE(row.name);
        const std::string path = dir + "/" + row.name + ".frc";
        if (row.folder) {
            fs::create_directory(path);
        } else {
            WriteFileBytes(path, row.bytes);
        }
        // A known state unlike every row's: the first tree, moved start, horizontal, wait 5.
        pressPreset(1);
        clickArea({9, 8});
        horizontalStart()->setChecked(!row.horizontal);
        edit(8)->setText(QStringLiteral("5"));
        edit(6)->setFocus();
        fake.messages.clear();
        const WindowState before = state();
        fake.fileAnswers = {path};
        button(4)->click();
        EXPECT_TRUE(fake.fileAnswers.empty());
        if (row.fields[0] == nullptr) {
            ASSERT_EQ(fake.messages.size(), 1u);
            EXPECT_EQ(fake.messages[0].icon, common::MessageIcon::Stop);
            EXPECT_NE(fake.messages[0].text.find(path), std::string::npos) << fake.messages[0].text;
            EXPECT_EQ(state(), before);
            EXPECT_EQ(QApplication::focusWidget(), edit(6)); // the failure ended the command
            continue;
        }
        EXPECT_TRUE(fake.messages.empty()) << fake.messageTexts().front();
        EXPECT_EQ(QApplication::focusWidget(), edit(2));
        std::array<QString, 8> expected;
        for (std::size_t i = 0; i < 7; ++i) {
            expected[i] = QString::fromUtf8(row.fields[i]);
        }
        expected[7] = QStringLiteral("1");
        EXPECT_EQ(state().fields, expected);
        EXPECT_EQ(window->startX(), row.x);
        EXPECT_EQ(window->startY(), row.y);
        EXPECT_EQ(horizontalStart()->isChecked(), row.horizontal);
        EXPECT_EQ(window->formulaName(), row.name + ".frc");
        EXPECT_EQ(window->workDir(), dir + "/");
        EXPECT_EQ(window->parameterRecord(), SplitFormulaText(row.bytes).lines);
    }
}

TEST_F(GeneratorWindowTest, FailedSaveReportsItLeavesNoTemporaryFileAndKeepsNameAndFolder) {
    struct Row {
        const char* name;
        std::function<std::string()> target;
        bool needsNonRoot;
    };
    const Row rows[] = {
        {"target_is_a_folder",
         [&] {
             fs::create_directory(dir + "/ordner.frc");
             return dir + "/ordner.frc";
         },
         false},
        {"folder_missing", [&] { return dir + "/fehlt/a.frc"; }, false},
        {"read_only_folder",
         [&] {
             fs::create_directory(dir + "/gesperrt");
             fs::permissions(dir + "/gesperrt", fs::perms::owner_read | fs::perms::owner_exec);
             return dir + "/gesperrt/a.frc";
         },
         true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        if (row.needsNonRoot && ::geteuid() == 0) {
            continue; // root writes into read-only folders
        }
        fake.messages.clear();
        const std::string target = row.target();
        const std::vector<std::string> before = FolderEntries(dir);
        fake.fileAnswers = {target};
        edit(6)->setFocus();
        button(5)->click();
        EXPECT_EQ(QApplication::focusWidget(), edit(6)); // the failure ended the command
        ASSERT_EQ(fake.messages.size(), 1u);
        EXPECT_EQ(fake.messages[0].icon, common::MessageIcon::Stop);
        EXPECT_NE(fake.messages[0].text.find(target), std::string::npos) << fake.messages[0].text;
        EXPECT_EQ(FolderEntries(dir), before);
        if (fs::is_directory(target)) {
            EXPECT_TRUE(fs::is_empty(target));
        }
        EXPECT_EQ(window->formulaName(), "baum1.frc");
        EXPECT_EQ(window->workDir(), dir);
        EXPECT_EQ(child<QLabel>("Label17")->text(), QStringLiteral("Fraktalname = baum1.frc"));
    }
}

TEST_F(GeneratorWindowTest, ACancelledSaveUnlocksLoading) {
    button(5)->click();
    ASSERT_EQ(fake.fileDialogs.size(), 1u);
    EXPECT_EQ(window->formulaName(), "baum1.frc");
    button(4)->click();
    EXPECT_TRUE(fake.messages.empty());
    ASSERT_EQ(fake.fileDialogs.size(), 2u);
    EXPECT_EQ(fake.fileDialogs[1].kind, common::FileDialogKind::Open);
}

TEST_F(GeneratorWindowTest, ASaveThatCannotEnterTheWorkFolderDoesNotUnlockLoading) {
    // An export moves the work folder; the folder then disappears.
    fs::create_directory(dir + "/weg");
    fake.fileAnswers = {dir + "/weg/bild.jpg"};
    keyAtFocus(Qt::Key_F9);
    ASSERT_EQ(window->workDir(), dir + "/weg/");
    fs::remove_all(dir + "/weg");
    fake.fileDialogs.clear();

    edit(6)->setFocus();
    button(5)->click();
    EXPECT_EQ(QApplication::focusWidget(), edit(6));
    ASSERT_EQ(fake.messages.size(), 1u);
    EXPECT_EQ(fake.messages[0].icon, common::MessageIcon::Stop);
    EXPECT_NE(fake.messages[0].text.find(dir + "/weg/"), std::string::npos) << fake.messages[0].text;
    EXPECT_TRUE(fake.fileDialogs.empty());
    button(4)->click();
    EXPECT_EQ(fake.messageTexts().back(), "Zuerst eine Formel speichern !");
    EXPECT_TRUE(fake.fileDialogs.empty());
}

// --- printing

TEST_F(GeneratorWindowTest, WithTheHelpShownPrintingPrintsTheHelpText) {
    struct Row {
        const char* name;
        bool confirmed;
    };
    for (const Row& row : {Row{"confirmed", true}, Row{"cancelled", false}}) {
        SCOPED_TRACE(row.name);
        fake.printedTexts.clear();
        fake.printDialogs = 0;
        button(1)->click();
        ASSERT_TRUE(help()->isVisible());
        fake.printDialogAnswers = {row.confirmed};
        button(6)->click();
        EXPECT_EQ(fake.printDialogs, 1);
        EXPECT_TRUE(fake.inputs.empty());
        EXPECT_TRUE(fake.printJobs.empty());
        if (row.confirmed) {
            ASSERT_EQ(fake.printedTexts.size(), 1u);
            EXPECT_EQ(fake.printedTexts[0].lines.size(), 74u);
            EXPECT_EQ(fake.printedTexts[0].lines, HelpLines());
            EXPECT_EQ(fake.printedTexts[0].font.family, "Courier New");
        } else {
            EXPECT_TRUE(fake.printedTexts.empty());
        }
        button(1)->click();
    }
}

TEST_F(GeneratorWindowTest, ScaledPicturePrintFitsThePageAndIsFollowedByTheParameters) {
    struct Row {
        const char* name;
        std::optional<std::string> answer; // nullopt: Cancel
        common::Rect page;
        std::optional<common::Rect> target; // nullopt: nothing printed, no dialog
    };
    const common::Rect portrait{0, 0, 4800, 6600};
    const common::Rect landscape{0, 0, 6600, 4800};
    const Row rows[] = {
        {"half", "0.5", portrait, common::Rect{0, 0, 2400, 2400}},
        {"negative_half", "-0.5", portrait, common::Rect{0, 0, 2400, 2400}},
        {"leading_blanks", "  0.5", portrait, common::Rect{0, 0, 2400, 2400}},
        {"whole_page_landscape", "1.00", landscape, common::Rect{0, 0, 4800, 4800}},
        {"half_landscape", "0.5", landscape, common::Rect{0, 0, 3300, 3300}},
        {"too_high_for_landscape", "0.8", landscape, common::Rect{0, 0, 3840, 3840}},
        {"cancel_takes_the_whole_page", std::nullopt, portrait, common::Rect{0, 0, 4800, 4800}},
        {"decimal_comma", "0,5", portrait, std::nullopt},
        {"letters", "abc", portrait, std::nullopt},
        {"zero", "0", portrait, std::nullopt},
        {"empty", "", portrait, std::nullopt},
    };
    pressPreset(5);
    generate();
    const std::vector<std::string> record = window->parameterRecord();
    ASSERT_EQ(record.size(), 10u);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        fake.inputs.clear();
        fake.printJobs.clear();
        fake.printedTexts.clear();
        fake.printDialogs = 0;
        fake.page = row.page;
        fake.inputAnswers = {row.answer};
        fake.printDialogAnswers = {true, true};
        button(6)->click();
        ASSERT_EQ(fake.inputs.size(), 1u);
        EXPECT_EQ(fake.inputs[0].caption, "Skalierter Bildausdruck");
        EXPECT_EQ(fake.inputs[0].prompt, "1.00 = ganze Druckseite");
        EXPECT_EQ(fake.inputs[0].defaultText, "1.00");
        if (!row.target) {
            EXPECT_EQ(fake.printDialogs, 0);
            EXPECT_TRUE(fake.printJobs.empty());
            EXPECT_TRUE(fake.printedTexts.empty());
            continue;
        }
        EXPECT_EQ(fake.printDialogs, 2);
        ASSERT_EQ(fake.printJobs.size(), 1u);
        EXPECT_TRUE(fake.printJobs[0].ended);
        ASSERT_EQ(fake.printJobs[0].ops.size(), 1u);
        const testing_support::PrintOp& op = fake.printJobs[0].ops[0];
        EXPECT_EQ(op.kind, testing_support::PrintOp::Kind::Image);
        EXPECT_EQ(op.target, *row.target);
        EXPECT_EQ(op.image.width, kArea);
        EXPECT_EQ(op.image.height, kArea);
        EXPECT_EQ(op.image.pixels, pic().image().pixels);
        ASSERT_EQ(fake.printedTexts.size(), 1u);
        EXPECT_EQ(fake.printedTexts[0].lines, record);
    }
}

TEST_F(GeneratorWindowTest, CancelledPrintDialogsStopThePrint) {
    struct Row {
        const char* name;
        std::deque<bool> answers;
        int dialogs;
        std::size_t jobs;
    };
    const Row rows[] = {{"first_cancelled", {false, true}, 1, 0}, {"second_cancelled", {true, false}, 2, 1}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        fake.printJobs.clear();
        fake.printDialogs = 0;
        fake.inputAnswers = {"0.5"};
        fake.printDialogAnswers = row.answers;
        button(6)->click();
        EXPECT_EQ(fake.printDialogs, row.dialogs);
        EXPECT_EQ(fake.printJobs.size(), row.jobs);
        EXPECT_TRUE(fake.printedTexts.empty());
        fake.printDialogAnswers.clear();
    }
}

// Both text documents go out untitled, each in its box's font at the size the box shows it in:
// the help box's 13 design pixels scaled with the window, the record in the window's font.
TEST_F(GeneratorWindowTest, PrintedTextsAreUntitledInTheirBoxesFonts) {
    struct Row {
        const char* name;
        common::ScreenInfo screen;
        int helpPoints;   // Courier New, bold
        int recordPoints; // Arial, bold
    };
    const Row rows[] = {
        {"screen_1024x768", {1024, 768, 96}, 12, 10},   // help 16 px
        {"screen_1280x1024", {1280, 1024, 96}, 15, 13}, // help 20 px
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        window.reset();
        fake.screenInfo = row.screen;
        openWindow();
        fake.printedTexts.clear();
        button(1)->click();
        fake.printDialogAnswers = {true};
        button(6)->click();
        button(1)->click();
        pressPreset(5);
        generate();
        fake.inputAnswers = {"0.5"};
        fake.printDialogAnswers = {true, true};
        button(6)->click();

        ASSERT_EQ(fake.printedTexts.size(), 2u);
        const FakeServices::PrintedText& helpText = fake.printedTexts[0];
        const FakeServices::PrintedText& record = fake.printedTexts[1];
        EXPECT_EQ(helpText.lines, HelpLines());
        EXPECT_EQ(record.lines, window->parameterRecord());
        EXPECT_EQ(helpText.documentName, std::optional<std::string>(""));
        EXPECT_EQ(record.documentName, std::optional<std::string>(""));
        EXPECT_EQ(helpText.font.family, "Courier New");
        EXPECT_TRUE(helpText.font.bold);
        EXPECT_EQ(helpText.font.pointSize, row.helpPoints);
        EXPECT_EQ(record.font.family, "Arial");
        EXPECT_TRUE(record.font.bold);
        EXPECT_EQ(record.font.pointSize, row.recordPoints);
    }
}

TEST_F(GeneratorWindowTest, AFailedPicturePrintIsReportedAndEndsTheCommand) {
    struct Row {
        const char* name;
        std::string startError;
        std::string endError;
        std::size_t jobs;
    };
    const Row rows[] = {{"job_cannot_start", "Drucker fehlt", "", 0},
                        {"job_cannot_end", "", "Papierstau", 1}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        fake.printJobs.clear();
        fake.messages.clear();
        fake.printDialogs = 0;
        fake.printStartError = row.startError;
        fake.printEndError = row.endError;
        fake.inputAnswers = {"0.5"};
        fake.printDialogAnswers = {true, true};
        button(6)->click();
        ASSERT_EQ(fake.messages.size(), 1u);
        EXPECT_EQ(fake.messages[0].text, row.startError + row.endError);
        EXPECT_EQ(fake.messages[0].icon, common::MessageIcon::Stop);
        EXPECT_EQ(fake.printJobs.size(), row.jobs);
        // No second dialog and no parameter record.
        EXPECT_EQ(fake.printDialogs, 1);
        EXPECT_TRUE(fake.printedTexts.empty());
    }
}

// --- JPEG export

TEST_F(GeneratorWindowTest, F9AndShiftF9OfferTheExportCtrlF9DoesNot) {
    struct Row {
        const char* name;
        Qt::Key key;
        Qt::KeyboardModifiers modifiers;
        int focusButton; // 0: the formula field
        bool exports;
    };
    const Row rows[] = {
        {"F9", Qt::Key_F9, Qt::NoModifier, 0, true},
        {"shift_F9", Qt::Key_F9, Qt::ShiftModifier, 0, true},
        {"F9_on_a_button", Qt::Key_F9, Qt::NoModifier, 4, true},
        {"ctrl_F9", Qt::Key_F9, Qt::ControlModifier, 0, false},
        {"F8", Qt::Key_F8, Qt::NoModifier, 0, false},
        {"F10", Qt::Key_F10, Qt::NoModifier, 0, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        fake.fileDialogs.clear();
        if (row.focusButton != 0) {
            button(row.focusButton)->setFocus();
        } else {
            edit(2)->setFocus();
        }
        keyAtFocus(row.key, row.modifiers);
        if (!row.exports) {
            EXPECT_TRUE(fake.fileDialogs.empty());
            continue;
        }
        ASSERT_EQ(fake.fileDialogs.size(), 1u); // once, though the release passes several filters
        const auto& dialog = fake.fileDialogs[0];
        EXPECT_EQ(dialog.kind, common::FileDialogKind::Save);
        EXPECT_EQ(dialog.fileName, "Fraktal");
        EXPECT_EQ(dialog.filter, "JPG-Dateien |*.jpg");
        EXPECT_EQ(dialog.defaultExtension, "jpg");
        EXPECT_TRUE(dialog.overwritePrompt);
        EXPECT_EQ(dialog.initialFolder, dir);
    }
    EXPECT_EQ(FolderEntries(dir), std::vector<std::string>{});
    EXPECT_TRUE(fake.messages.empty());
}

TEST_F(GeneratorWindowTest, ExportWritesTheAreaAsA24BitJpegAtFullQuality) {
    pressPreset(5);
    generate();
    ASSERT_GT(countColour(kBlack), 100);
    fs::create_directory(dir + "/bilder");
    const std::string path = dir + "/bilder/koch.jpg";
    fake.fileAnswers = {path};
    keyAtFocus(Qt::Key_F9);
    EXPECT_TRUE(fake.messages.empty());
    EXPECT_EQ(window->workDir(), dir + "/bilder/");
    EXPECT_EQ(FolderEntries(dir + "/bilder"), std::vector<std::string>{"koch.jpg"});

    const JpegHeader header = readJpegHeader(ReadFileBytes(path));
    EXPECT_EQ(header.frameMarker, 0xC0); // baseline
    EXPECT_EQ(header.precision, 8);
    EXPECT_EQ(header.components, 3);
    EXPECT_EQ(header.width, kArea);
    EXPECT_EQ(header.height, kArea);
    EXPECT_EQ(header.tables, 2);
    ASSERT_EQ(header.quantisers.size(), 128u);
    EXPECT_TRUE(
        std::all_of(header.quantisers.begin(), header.quantisers.end(), [](int q) { return q == 1; }));

    const common::JpegReadResult back = common::ReadJpeg(path);
    ASSERT_TRUE(back.ok()) << back.error;
    EXPECT_TRUE(nearlyEqual(back.image, pic().image(), 24));
    // The picture remembers the parameter record of its drawing and the area's size.
    const std::optional<common::PictureRecord> record = common::ReadPictureRecord(path);
    ASSERT_TRUE(record.has_value());
    const auto* lsystem = std::get_if<common::LsystemRecord>(&*record);
    ASSERT_NE(lsystem, nullptr);
    EXPECT_EQ(std::vector<std::string>(lsystem->lines.begin(), lsystem->lines.end()),
              window->parameterRecord());
    EXPECT_EQ(std::make_pair(lsystem->width, lsystem->height), std::make_pair(kArea, kArea));

    // The next export offers the folder of this one. A click cleared the drawing, so that
    // picture has no record.
    clickArea({100, 100});
    fake.fileAnswers = {dir + "/bilder/leer.jpg"};
    keyAtFocus(Qt::Key_F9);
    ASSERT_EQ(fake.fileDialogs.size(), 2u);
    EXPECT_EQ(fake.fileDialogs[1].initialFolder, dir + "/bilder/");
    EXPECT_FALSE(common::ReadPictureRecord(dir + "/bilder/leer.jpg").has_value());
}

// The record says which background the drawing was made on, so the renderer draws it alike.
TEST_F(GeneratorWindowTest, ExportRecordsTheBackground) {
    const std::pair<const char*, common::LsystemBackground> rows[] = {
        {"0", common::LsystemBackground::Black}, {"1", common::LsystemBackground::White}};
    for (const auto& [answer, background] : rows) {
        SCOPED_TRACE(answer);
        fake.inputAnswers = {answer};
        button(3)->click();
        setFields({"F", "1", "0", "0", "10", "0", "1", "0"});
        generate();
        const std::string path = dir + "/grund" + answer + ".jpg";
        fake.fileAnswers = {path};
        keyAtFocus(Qt::Key_F9);
        EXPECT_TRUE(fake.messages.empty());
        const std::optional<common::PictureRecord> record = common::ReadPictureRecord(path);
        ASSERT_TRUE(record.has_value());
        EXPECT_EQ(std::get<common::LsystemRecord>(*record).background, background);
    }
}

// A comment segment holds 65533 bytes; a formula of 30000 umlauts makes a record of 240000
// (each byte escaped). The picture is still stored, only without its record.
TEST_F(GeneratorWindowTest, ExportOfARecordTooLongForAJpegCommentStoresThePictureAlone) {
    std::string formula = "F";
    for (int i = 0; i < 30000; ++i) {
        formula += "\xC3\xA4";
    }
    setFields({formula.c_str(), "1", "0", "0", "10", "0", "1", "0"});
    generate();
    ASSERT_TRUE(fake.messages.empty());
    ASSERT_GT(window->pictureRecord().size(), common::kMaxJpegCommentBytes);
    const std::string path = dir + "/lang.jpg";
    fake.fileAnswers = {path};
    keyAtFocus(Qt::Key_F9);
    EXPECT_TRUE(fake.messages.empty());
    EXPECT_EQ(window->workDir(), dir + "/");
    const common::JpegReadResult back = common::ReadJpeg(path);
    ASSERT_TRUE(back.ok()) << back.error;
    EXPECT_TRUE(nearlyEqual(back.image, pic().image(), 24));
    const common::JpegRecordText record = common::ReadJpegRecord(path);
    EXPECT_TRUE(record.ok()) << record.error;
    EXPECT_FALSE(record.text.has_value());
}

TEST_F(GeneratorWindowTest, AnUnwritableExportReportsADataErrorAndKeepsTheFolder) {
    fs::create_directory(dir + "/ordner.jpg");
    const std::string targets[] = {dir + "/fehlt/bild.jpg", dir + "/ordner.jpg"};
    for (const std::string& target : targets) {
        SCOPED_TRACE(target);
        fake.messages.clear();
        fake.fileAnswers = {target};
        keyAtFocus(Qt::Key_F9);
        ASSERT_EQ(fake.messages.size(), 1u);
        EXPECT_EQ(fake.messages[0].text, "Daten-Fehler");
        EXPECT_EQ(fake.messages[0].caption, "Problem");
        EXPECT_EQ(fake.messages[0].icon, common::MessageIcon::Stop);
        EXPECT_EQ(window->workDir(), dir);
        EXPECT_EQ(FolderEntries(dir), std::vector<std::string>{"ordner.jpg"});
    }
}

// --- while a drawing runs

TEST_F(GeneratorWindowTest, WhileDrawingOnlyHelpAndExportAct) {
    prepareBusyDrawing();
    fs::create_directory(dir + "/teil");
    const std::string jpeg = dir + "/teil/teil.jpg";
    int round = 0;
    common::RgbImage atExport;
    fake.onPump = [&] {
        if (++round != 100) {
            return;
        }
        ASSERT_TRUE(window->drawing());
        const common::RgbImage now = pic().image();
        const WindowState before = state();
        button(2)->click();
        button(3)->click();
        button(4)->click();
        button(5)->click();
        button(6)->click();
        pressPreset(5);
        clickArea({50, 60});
        EXPECT_EQ(state(), before);
        EXPECT_EQ(pic().image().pixels, now.pixels);
        EXPECT_TRUE(fake.inputs.empty());
        EXPECT_TRUE(fake.fileDialogs.empty());
        EXPECT_TRUE(fake.messages.empty());
        EXPECT_EQ(fake.printDialogs, 0);

        button(1)->click();
        EXPECT_TRUE(help()->isVisible());

        fake.fileAnswers = {jpeg};
        atExport = pic().image();
        keyAtFocus(Qt::Key_F9);
        EXPECT_EQ(fake.fileDialogs.size(), 1u);
    };
    generate();
    fake.onPump = nullptr;
    ASSERT_GE(round, 100);
    EXPECT_FALSE(window->drawing());
    EXPECT_TRUE(help()->isVisible());
    EXPECT_TRUE(fake.messages.empty());
    EXPECT_EQ(window->startX(), 40);
    EXPECT_EQ(window->parameterRecord().front(), "F-F++F-F");

    // The export holds the picture as it was then, before the drawing was complete.
    const common::JpegReadResult back = common::ReadJpeg(jpeg);
    ASSERT_TRUE(back.ok()) << back.error;
    EXPECT_TRUE(nearlyEqual(back.image, atExport, 24));
    long partial = 0;
    for (std::size_t i = 0; i < atExport.pixels.size(); i += 3) {
        partial += atExport.pixels[i] == 0 ? 1 : 0;
    }
    EXPECT_GT(partial, 0);
    EXPECT_LT(partial, countColour(kBlack));
}

TEST_F(GeneratorWindowTest, ClosingEndsARunningDrawingSoon) {
    struct Row {
        const char* name;
        std::function<void()> close;
    };
    const Row rows[] = {
        {"button",
         [this] {
             button(7)->click();
         }},
        {"window_close",
         [this] {
             window->close();
         }},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        window.reset();
        fs::current_path(dir);
        openWindow();
        prepareBusyDrawing();
        const long pumpsBefore = fake.pumps;
        long pumpsAtClose = -1;
        fake.onPump = [&] {
            if (fake.pumps - pumpsBefore == 50) {
                pumpsAtClose = fake.pumps;
                row.close();
            }
        };
        generate();
        fake.onPump = nullptr;
        ASSERT_GE(pumpsAtClose, 0);
        // A full drawing pumps more than 300 times; a stopped one not once more.
        EXPECT_LE(fake.pumps - pumpsAtClose, 1);
        EXPECT_FALSE(window->drawing());
        EXPECT_FALSE(window->isVisible());
    }
}

} // namespace
} // namespace lsystem
