// Shared pieces of the seeded random-input runs: dialogs answered at random, a clock that moves
// whenever it is read, input delivered from inside the pumps, a scratch folder, typing helpers.
// Header only: the support library stays free of Qt, the window tests already link it.
#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QLineEdit>
#include <QPoint>
#include <QString>
#include <QTest>
#include <QWidget>

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
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

#include "fake_services.h"
#include "paths.h"
#include "test_files.h"

namespace testing_support {

/// FRACTALS_RANDOM_SEED repeats a failed run; FRACTALS_RANDOM_EVENTS makes a run longer.
inline std::uint64_t RandomSeed(std::uint64_t fallback) {
    const char* text = std::getenv("FRACTALS_RANDOM_SEED");
    return text != nullptr && *text != '\0' ? std::strtoull(text, nullptr, 0) : fallback;
}

inline long RandomEvents(long fallback) {
    const char* text = std::getenv("FRACTALS_RANDOM_EVENTS");
    const long n = text != nullptr ? std::strtol(text, nullptr, 0) : 0;
    return n > 0 ? n : fallback;
}

/// A handover file for the start folder: a 32-bit little-endian count, then the text.
inline void WriteHandover(const std::filesystem::path& temp, const std::string& text, std::int32_t count) {
    std::filesystem::create_directories(temp / common::kHandoverFolderName);
    std::string bytes(4, '\0');
    for (int i = 0; i < 4; ++i) {
        bytes[static_cast<std::size_t>(i)] =
            static_cast<char>((static_cast<std::uint32_t>(count) >> (8 * i)) & 0xFF);
    }
    WriteFileBytes(temp / common::kHandoverFolderName / common::kHandoverFileName, bytes + text);
}

/// A fresh folder that is also the current folder and TMPDIR for the run; all undone at the end.
class ScratchFolder {
public:
    explicit ScratchFolder(const char* prefix) {
        std::string pattern =
            (std::filesystem::temp_directory_path() / (std::string(prefix) + "_XXXXXX")).string();
        if (::mkdtemp(pattern.data()) == nullptr) {
            return;
        }
        m_path = std::filesystem::canonical(pattern);
        m_oldCwd = std::filesystem::current_path();
        if (const char* t = std::getenv("TMPDIR")) {
            m_oldTmpDir = t;
        }
        ::setenv("TMPDIR", m_path.c_str(), 1);
    }
    ~ScratchFolder() {
        if (m_path.empty()) {
            return;
        }
        std::error_code ignored;
        std::filesystem::current_path(m_oldCwd, ignored);
        if (m_oldTmpDir) {
            ::setenv("TMPDIR", m_oldTmpDir->c_str(), 1);
        } else {
            ::unsetenv("TMPDIR");
        }
        std::filesystem::remove_all(m_path, ignored);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    [[nodiscard]] const std::filesystem::path& path() const { return m_path; }

private:
    std::filesystem::path m_path;
    std::filesystem::path m_oldCwd;
    std::optional<std::string> m_oldTmpDir;
};

/// Dialogs answered at random, a clock that moves whenever it is read (so every wait ends), and
/// random user input from inside the pumps, nested up to a depth.
class RandomServices : public FakeServices {
public:
    explicit RandomServices(std::mt19937_64& rng) : m_rng(rng) {}

    /// How often a drawing pumps depends on the count threads, not on the seed: what those pumps
    /// draw comes from this second stream, so that a seed gives the same events every run.
    std::mt19937_64 heldRng;
    bool heldChance(double p) { return std::bernoulli_distribution(p)(heldRng); }

    /// What the file dialogs offer.
    std::vector<std::string> paths;
    /// Runs first in every pump, at every depth.
    std::function<void()> guard;
    /// Random input delivered by a pump below the deepest level.
    std::function<void()> action;
    /// What the deepest pumps do instead: only things that end a wait, never a new one.
    std::function<void()> fallback;
    /// Called once when an event pumps `hangLimit` times, or input stays held for `heldLimit`
    /// pumps: it must end whatever runs.
    std::function<void()> onHang;
    int maxDepth = 2;
    long eventPumps = 0;
    long hangLimit = 200000;
    long heldPumps = 0;
    long heldLimit = LONG_MAX;
    bool hung = false;
    /// Times the busy cursor came on: the drawings started.
    long drawings = 0;

    bool chance(double p) { return std::bernoulli_distribution(p)(m_rng); }
    std::size_t below(std::size_t n) {
        return n == 0 ? 0 : std::uniform_int_distribution<std::size_t>(0, n - 1)(m_rng);
    }
    int between(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(m_rng); }

    std::string oddAnswer() {
        static const std::vector<std::string> answers = {"",
                                                         "0",
                                                         "-5",
                                                         "abc",
                                                         "1e999",
                                                         "0.5",
                                                         "60",
                                                         " 12",
                                                         "1",
                                                         "2",
                                                         "3",
                                                         "0.1",
                                                         "1.0",
                                                         "0.05",
                                                         "61",
                                                         "+7",
                                                         "0x1F",
                                                         "$FF",
                                                         "12a",
                                                         "Bild",
                                                         "a.b.c",
                                                         "x_y_z",
                                                         "Bild_007",
                                                         "ä ö ü ß",
                                                         "   ",
                                                         "\t5",
                                                         "-0",
                                                         "nan",
                                                         "inf",
                                                         "2147483647",
                                                         "-2147483648",
                                                         "2147483648",
                                                         "1,5",
                                                         "1.5.5",
                                                         ".",
                                                         "  0.3  ",
                                                         "99999999999999999999999999999999999999",
                                                         "€"};
        if (chance(0.05)) {
            return std::string(5000, chance(0.5) ? 'x' : '9');
        }
        return answers[below(answers.size())];
    }

    std::string inputBox(std::string_view caption, std::string_view prompt,
                         std::string_view defaultText) override {
        inputAnswers.clear();
        if (chance(0.2)) {
            inputAnswers.push_back(std::nullopt);
        } else {
            inputAnswers.push_back(oddAnswer());
        }
        return FakeServices::inputBox(caption, prompt, defaultText);
    }

    std::optional<std::string> fileDialog(const common::FileDialogRequest& request) override {
        fileAnswers.clear();
        if (!paths.empty() && !chance(0.2)) {
            fileAnswers.push_back(paths[below(paths.size())]);
        }
        return FakeServices::fileDialog(request);
    }

    bool printDialog() override {
        printDialogAnswers.clear();
        printDialogAnswers.push_back(chance(0.7));
        return FakeServices::printDialog();
    }

    std::unique_ptr<common::PrintJob> startPrintJob(std::string_view name, std::string& error) override {
        printStartError = chance(0.1) ? "Drucker aus" : "";
        printEndError = chance(0.1) ? "Papier alle" : "";
        return FakeServices::startPrintJob(name, error);
    }

    void setBusyCursor(bool on) override {
        drawings += on && !busy ? 1 : 0;
        FakeServices::setBusyCursor(on);
    }

    std::uint32_t tickCountMs() override {
        now += (inputHeld ? heldChance(0.0005) : chance(0.0005)) ? 70000U : 1U;
        return now;
    }

    /// Polls while input is held (a drawing) are counted apart, for the same reason; Escape
    /// comes at the held poll numbered heldEscapeAt.
    long heldPolls = 0;
    long heldEscapeAt = -1;
    bool escapePressed() override {
        if (inputHeld) {
            ++heldPolls;
            return escapeHeld || heldPolls == heldEscapeAt;
        }
        return FakeServices::escapePressed();
    }

    void holdUserInput(bool hold) override {
        heldPumps = 0;
        FakeServices::holdUserInput(hold);
    }

    void pumpMessages() override {
        ++eventPumps;
        heldPumps += inputHeld ? 1 : 0;
        if (eventPumps >= hangLimit || heldPumps >= heldLimit) {
            if (!hung) {
                hung = true;
                escapeHeld = true;
                if (onHang) {
                    onHang();
                }
            }
            ++pumps;
            return;
        }
        if (guard) {
            guard();
        }
        if (m_depth >= maxDepth) {
            ++pumps;
            if (fallback) {
                fallback();
            }
            return;
        }
        ++m_depth;
        ++pumps;
        if (inputHeld ? heldChance(0.05) : chance(0.05)) {
            QApplication::processEvents();
        }
        if (action) {
            action();
        }
        --m_depth;
    }

    /// What the run got to, summed over the whole run.
    long totalInputs = 0;
    long totalFileDialogs = 0;
    long totalPrintJobs = 0;
    long totalErrors = 0;
    long totalShows = 0;

    /// Forgets what was recorded, so a long run does not pile up copies of printed pictures.
    void forget() {
        totalInputs += static_cast<long>(inputs.size());
        totalFileDialogs += static_cast<long>(fileDialogs.size());
        totalPrintJobs += static_cast<long>(printJobs.size());
        for (const common::MessageBoxRequest& box : messages) {
            totalErrors += box.icon == common::MessageIcon::Stop ? 1 : 0;
            totalShows += box.text.rfind("Show - ", 0) == 0 ? 1 : 0;
        }
        log.clear();
        messages.clear();
        inputs.clear();
        fileDialogs.clear();
        printJobs.clear();
        printedTexts.clear();
        sleeps.clear();
    }

    /// Seeds both streams and sets the clock close to its wrap; prints the seed for a repeat.
    void startRun(std::uint64_t seed, long events) {
        std::printf("seed=%llu events=%ld\n", static_cast<unsigned long long>(seed), events);
        std::fflush(stdout);
        m_rng.seed(seed);
        heldRng.seed(~seed);
        now = 0xFFFFFFFFU - static_cast<std::uint32_t>(below(200000));
    }

    /// What a window starts with, in `dir` as the current folder: mostly the screen the other
    /// tests use, after a restart sometimes another; sometimes a start folder handed over by
    /// another program, good, missing or garbled.
    void prepareStart(const std::filesystem::path& dir, const std::string& goodFolder, bool restart) {
        std::filesystem::current_path(dir);
        const common::ScreenInfo screens[] = {{1024, 768, 96},  {800, 600, 96},   {640, 480, 96},
                                              {1280, 1024, 96}, {1366, 768, 120}, {1024, 768, 144}};
        screenInfo = restart && chance(0.3) ? screens[below(std::size(screens))] : screens[0];
        std::error_code ignored;
        std::filesystem::remove_all(dir / common::kHandoverFolderName, ignored);
        switch (below(8)) {
        case 0:
            WriteHandover(dir, goodFolder, static_cast<std::int32_t>(goodFolder.size()));
            break;
        case 1:
            WriteHandover(dir, "/gibt/es/nicht", 14);
            break;
        case 2:
            WriteHandover(dir, "abc", -1 - static_cast<std::int32_t>(below(1000)));
            break;
        case 3:
            WriteHandover(dir, "abc", 1000 + static_cast<std::int32_t>(below(1000)));
            break;
        default:
            break;
        }
    }

    /// Starts an event: its own pump budget, Escape released.
    void beginEvent() {
        eventPumps = 0;
        escapeHeld = false;
    }

    Qt::KeyboardModifiers randomModifiers() {
        Qt::KeyboardModifiers m;
        if (chance(0.15)) {
            m |= Qt::ShiftModifier;
        }
        if (chance(0.1)) {
            m |= Qt::ControlModifier;
        }
        if (chance(0.1)) {
            m |= Qt::AltModifier;
        }
        return m;
    }

    /// Mostly inside the widget, sometimes well outside it.
    QPoint randomPoint(const QWidget* w) {
        if (chance(0.1)) {
            return {between(-100, w->width() + 100), between(-100, w->height() + 100)};
        }
        return {between(0, std::max(0, w->width() - 1)), between(0, std::max(0, w->height() - 1))};
    }

    /// Where the window sends a key: its focus widget, else the window itself.
    QWidget* keyTarget(QWidget* window) {
        QWidget* focus = window->focusWidget();
        return focus != nullptr && focus->window() == window && !chance(0.1) ? focus : window;
    }

    /// A key click; Escape is also noted for the next poll, as the platform notes it on the press.
    void sendKey(QWidget* window, Qt::Key key, Qt::KeyboardModifiers modifiers) {
        if (key == Qt::Key_Escape) {
            escapeAtPolls.insert(escapePolls + 1);
        }
        QTest::keyClick(keyTarget(window), key, modifiers);
    }

    /// One of the window's visible, enabled controls of type T; nullptr when there is none.
    template <typename T> T* someControl(QWidget* window) {
        std::vector<T*> controls;
        for (T* c : window->findChildren<T*>()) {
            if (c->isVisible() && c->isEnabled()) {
                controls.push_back(c);
            }
        }
        return controls.empty() ? nullptr : controls[below(controls.size())];
    }

    /// The shares of keys, as running totals out of 100: up to `letters` a letter, then digits,
    /// F1 to F12, Enter (or the keypad's), Escape; the rest from the window's own list.
    struct KeyMix {
        std::size_t letters, digits, functionKeys, enter, escape;
    };
    Qt::Key randomKey(const KeyMix& mix, const std::vector<Qt::Key>& others) {
        const std::size_t kind = below(100);
        if (kind < mix.letters) {
            return static_cast<Qt::Key>(Qt::Key_A + static_cast<int>(below(26)));
        }
        if (kind < mix.digits) {
            return static_cast<Qt::Key>(Qt::Key_0 + static_cast<int>(below(10)));
        }
        if (kind < mix.functionKeys) {
            return static_cast<Qt::Key>(Qt::Key_F1 + static_cast<int>(below(12)));
        }
        if (kind < mix.enter) {
            return chance(0.5) ? Qt::Key_Return : Qt::Key_Enter;
        }
        if (kind < mix.escape) {
            return Qt::Key_Escape;
        }
        return others[below(others.size())];
    }

    /// Clicks a button with the mouse or as the keyboard would.
    void click(QAbstractButton* b) {
        if (chance(0.5)) {
            QTest::mouseClick(b, Qt::LeftButton, Qt::KeyboardModifiers(), b->rect().center());
        } else {
            b->click();
        }
    }

    /// Gives a field the focus, by a click or as Tab would.
    void focus(QLineEdit* edit) {
        if (chance(0.5)) {
            QTest::mouseClick(edit, Qt::LeftButton, Qt::KeyboardModifiers(), edit->rect().center());
        } else {
            edit->setFocus();
        }
    }

    /// One to six pieces strung together.
    QString textOf(const std::vector<QString>& pieces) {
        QString text;
        const std::size_t n = 1 + below(6);
        for (std::size_t i = 0; i < n; ++i) {
            text += pieces[below(pieces.size())];
        }
        return text;
    }

    /// Text too long to type key by key: pasted, then the cursor sent to its end.
    void paste(QLineEdit* edit, const QString& text) {
        edit->setText(text);
        QTest::keyClick(edit, Qt::Key_End);
    }

private:
    std::mt19937_64& m_rng;
    int m_depth = 0;
};

/// A seeded run of random events against one window: the scratch folder with the files the
/// dialogs offer, the window opened again whenever an event closed it, and after every event
/// the checks that nothing hangs and the window's own invariants hold.
template <typename Window> class RandomWindowRun : public ::testing::Test {
protected:
    RandomWindowRun(const char* scratchPrefix, std::uint64_t defaultSeed, long defaultEvents)
        : scratch(scratchPrefix), m_defaultSeed(defaultSeed), m_defaultEvents(defaultEvents) {}

    void SetUp() override {
        seed = RandomSeed(m_defaultSeed);
        events = RandomEvents(m_defaultEvents);
        fake.startRun(seed, events);
        ASSERT_FALSE(scratch.path().empty());
        // One level down, so that a dialog answered with this folder's own path (which names
        // its parent and a file there) still keeps every write inside the scratch folder.
        dir = scratch.path() / "work";
        std::filesystem::create_directories(dir);
        ASSERT_NO_FATAL_FAILURE(makeFiles());
        fake.action = [this] {
            pumpAction();
        };
        fake.onHang = [this] {
            if (window) {
                window->close();
            }
        };
        ASSERT_NO_FATAL_FAILURE(openWindow());
    }

    void TearDown() override {
        fake.guard = nullptr;
        fake.action = nullptr;
        fake.fallback = nullptr;
        fake.onHang = nullptr;
        window.reset();
    }

    /// Writes the files the dialogs offer into `dir` and sets `fake.paths`.
    virtual void makeFiles() = 0;
    /// The folder a good start-folder handover names.
    virtual std::string handedOverFolder() = 0;
    /// Finds the controls the run works with in a newly opened window.
    virtual void windowOpened() = 0;
    virtual void beforeEvent() {}
    virtual void randomEvent() = 0;
    /// Input that arrives while a command pumps.
    virtual void pumpAction() = 0;
    virtual ::testing::AssertionResult invariantsHold() = 0;

    void openWindow() {
        fake.prepareStart(dir, handedOverFolder(), m_restarted);
        m_restarted = true;
        window = std::make_unique<Window>(fake);
        window->show();
        window->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
        ASSERT_NO_FATAL_FAILURE(windowOpened());
    }

    /// All the events, each traced with the seed that repeats the run.
    void runEvents() {
        for (long e = 0; e < events; ++e) {
            SCOPED_TRACE("seed=" + std::to_string(seed) + " event=" + std::to_string(e));
            fake.beginEvent();
            beforeEvent();
            randomEvent();
            ASSERT_FALSE(fake.hung) << "an event did not end within " << fake.hangLimit
                                    << " pumps, or held input for " << fake.heldLimit;
            ASSERT_TRUE(invariantsHold());
            ++survived;
            fake.forget();
            if (!window->isVisible()) {
                window.reset();
                ++restarts;
                ASSERT_NO_FATAL_FAILURE(openWindow());
            }
        }
    }

    ScratchFolder scratch;
    std::mt19937_64 rng;
    RandomServices fake{rng};
    std::unique_ptr<Window> window;
    std::uint64_t seed = 0;
    long events = 0;
    long survived = 0;
    long restarts = 0;
    std::filesystem::path dir;

private:
    std::uint64_t m_defaultSeed;
    long m_defaultEvents;
    bool m_restarted = false;
};

/// Types text key by key, German letters included.
inline void TypeText(QWidget* w, const QString& text) {
    for (const QChar c : text) {
        if (c.unicode() < 0x80) {
            QTest::keyClick(w, c.toLatin1());
            continue;
        }
        const Qt::Key key = c == QChar(0xE4)   ? Qt::Key_Adiaeresis
                            : c == QChar(0xF6) ? Qt::Key_Odiaeresis
                            : c == QChar(0xFC) ? Qt::Key_Udiaeresis
                            : c == QChar(0xDF) ? Qt::Key_ssharp
                                               : Qt::Key_unknown;
        QTest::sendKeyEvent(QTest::Click, w, key, QString(c), Qt::NoModifier);
    }
}

} // namespace testing_support
