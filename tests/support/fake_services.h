#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "services.h"

namespace testing_support {

/// What a fake print job was asked to do, in order.
struct PrintOp {
    enum class Kind { Image, Font, Text, NewPage } kind = Kind::Text;
    common::Rect target;     // Image
    common::RgbImage image;  // Image
    common::FontChoice font; // Font
    common::Point at;        // Text
    std::string text;        // Text
};

struct RecordedPrintJob {
    std::string documentName;
    std::vector<PrintOp> ops;
    bool ended = false;
    [[nodiscard]] int pages() const;
};

/// A scripted stand-in for the platform: queued answers (an empty queue means Cancel), a record
/// of every box and dialog with its texts, a clock the test advances, Escape on a schedule.
class FakeServices : public common::Services {
public:
    struct InputCall {
        std::string caption;
        std::string prompt;
        std::string defaultText;
    };

    // --- scripted answers
    std::deque<std::optional<std::string>> inputAnswers; // nullopt: Cancel
    std::deque<std::optional<std::string>> fileAnswers;  // nullopt: Cancel
    std::deque<bool> printDialogAnswers;                 // empty: Cancel
    bool printerAvailable = true;
    std::string printStartError; // non-empty: startPrintJob fails with it
    std::string printEndError;   // non-empty: PrintJob::end fails with it
    common::Rect page{0, 0, 4800, 6600};
    common::ScreenInfo screenInfo{1024, 768, 96};

    // --- record, in order of appearance
    std::vector<std::string> log; // "message: <text>", "input: <caption>", "file: <filter>", ...
    std::vector<common::MessageBoxRequest> messages;
    std::vector<InputCall> inputs;
    std::vector<common::FileDialogRequest> fileDialogs;
    int printDialogs = 0;
    int printerSetups = 0;
    std::vector<RecordedPrintJob> printJobs;
    struct PrintedText {
        std::vector<std::string> lines;
        common::FontChoice font;
        /// Nothing when the caller left the name to the platform.
        std::optional<std::string> documentName;
    };
    std::vector<PrintedText> printedTexts;

    // --- time, Escape, pumping
    std::uint32_t now = 0;
    std::vector<int> sleeps;
    /// Poll numbers (1 = the first poll) that report Escape.
    std::set<long> escapeAtPolls;
    /// While true every poll reports Escape.
    bool escapeHeld = false;
    long escapePolls = 0;
    long pumps = 0;
    long waits = 0;
    /// Runs inside every pump and wait, as the window's handlers would.
    std::function<void()> onPump;
    /// Runs when a message box is shown, before it is "closed".
    std::function<void(const common::MessageBoxRequest&)> onMessage;

    bool busy = false;
    bool inputHeld = false;
    int holdChanges = 0;

    void advance(std::uint32_t ms) { now += ms; }
    [[nodiscard]] std::vector<std::string> messageTexts() const;

    // --- Services
    void messageBox(const common::MessageBoxRequest& box) override;
    std::string inputBox(std::string_view caption, std::string_view prompt,
                         std::string_view defaultText) override;
    std::optional<std::string> fileDialog(const common::FileDialogRequest& request) override;
    bool printDialog() override;
    void printerSetup() override;
    bool hasPrinter() override { return printerAvailable; }
    std::unique_ptr<common::PrintJob> startPrintJob(std::string_view documentName,
                                                    std::string& error) override;
    bool printText(const std::vector<std::string>& lines, const common::FontChoice& font,
                   std::string_view documentName, std::string& error) override;
    void setBusyCursor(bool on) override { busy = on; }
    std::uint32_t tickCountMs() override { return now; }
    void sleepMs(int ms) override;
    bool escapePressed() override;
    void pumpMessages() override;
    void waitForEvents(int maxMs) override;
    void holdUserInput(bool hold) override;
    common::ScreenInfo screen() override { return screenInfo; }

private:
    bool m_inPump = false;
};

} // namespace testing_support
