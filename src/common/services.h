#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "colour.h"
#include "rgb_image.h"

namespace common {

enum class MessageIcon { None, Stop };

/// A modal box with one OK button.
struct MessageBoxRequest {
    std::string text;
    /// Empty: the program's default caption (see defaultCaption()).
    std::string caption;
    MessageIcon icon = MessageIcon::None;
    /// Screen point for the box's top-left corner; the platform's placement otherwise.
    std::optional<Point> position;
};

enum class FileDialogKind { Open, Save };

struct FileDialogRequest {
    FileDialogKind kind = FileDialogKind::Save;
    std::string initialFolder;
    std::string fileName;         // proposed name
    std::string filter;           // exactly as the program gives it: "JPG-Dateien |*.jpg"
    std::string defaultExtension; // without the dot: "jpg"
    bool overwritePrompt = false;
    bool fileMustExist = false;
};

struct FontChoice {
    std::string family; // "Courier New"
    bool bold = false;
    int pointSize = 10;
};

/// One print document, open until end(). Coordinates are printer pixels with the origin at the
/// top-left corner of the printable area.
class PrintJob {
public:
    virtual ~PrintJob() = default;
    /// The printable area of a page (left and top are 0).
    [[nodiscard]] virtual Rect pageRect() const = 0;
    virtual void drawImage(Rect target, const RgbImage& image) = 0;
    virtual void setFont(const FontChoice& font) = 0;
    /// The text's top-left corner at (x, y).
    virtual void drawText(int x, int y, std::string_view text) = 0;
    virtual void newPage() = 0;
    /// Finishes the document; false with a reason when it could not be completed.
    virtual bool end(std::string& error) = 0;
};

struct ScreenInfo {
    int width = 0;  // pixels
    int height = 0; // pixels
    int dpi = 96;   // logical dots per inch
};

/// Everything the programs need from the platform. The windows and the drawing loops reach the
/// platform only through this interface, so tests can run them against a scripted fake.
class Services {
public:
    virtual ~Services() = default;

    // Modal boxes. Texts are UTF-8.
    virtual void messageBox(const MessageBoxRequest& box) = 0;
    void message(std::string_view text) { messageBox({std::string(text), {}, MessageIcon::None, {}}); }
    /// The general error report: the failure's text, the program's title, the stop icon.
    void errorReport(std::string_view text) { messageBox({std::string(text), {}, MessageIcon::Stop, {}}); }
    /// Edited text on OK, `defaultText` on Cancel.
    virtual std::string inputBox(std::string_view caption, std::string_view prompt,
                                 std::string_view defaultText) = 0;
    /// The confirmed full path, or nothing on cancel.
    virtual std::optional<std::string> fileDialog(const FileDialogRequest& request) = 0;

    // Printing. The printer chosen in either dialog stays the program's printer.
    /// The print dialog; true when the user confirms.
    virtual bool printDialog() = 0;
    /// The printer-setup dialog; the caller goes on whether it was confirmed or not.
    virtual void printerSetup() = 0;
    /// True when a printer is chosen or the system has a default one.
    [[nodiscard]] virtual bool hasPrinter() = 0;
    /// Starts a document on the current printer; nullptr with a reason when it cannot start.
    virtual std::unique_ptr<PrintJob> startPrintJob(std::string_view documentName, std::string& error) = 0;
    /// Prints lines of text laid out over as many pages as they need, as one document named
    /// `documentName`; an empty name gives a document without a title.
    virtual bool printText(const std::vector<std::string>& lines, const FontChoice& font,
                           std::string_view documentName, std::string& error) = 0;

    // Cursor, time, input.
    virtual void setBusyCursor(bool busy) = 0;
    /// Milliseconds since some start, wrapping at 2^32.
    [[nodiscard]] virtual std::uint32_t tickCountMs() = 0;
    virtual void sleepMs(int ms) = 0;
    /// True when Escape is down now or was pressed since the last poll.
    virtual bool escapePressed() = 0;
    /// Handles every pending event; the window's handlers may run inside.
    virtual void pumpMessages() = 0;
    /// Blocks in the event loop until an event was handled or `maxMs` passed, whichever is first.
    virtual void waitForEvents(int maxMs) = 0;
    /// While held, key and mouse input to the program's windows is kept back; releasing it
    /// delivers what was kept, in order. Escape is seen by escapePressed() either way.
    virtual void holdUserInput(bool hold) = 0;

    [[nodiscard]] virtual ScreenInfo screen() = 0;
};

/// The platform of a program without a window (the command-line renderer, benchmarks, fuzz
/// runs): boxes close at once, dialogs are cancelled, there is no printer, no Escape and
/// nothing to pump; the clock is the real monotonic one. Override what a use needs.
class HeadlessServices : public Services {
public:
    void messageBox(const MessageBoxRequest& box) override;
    std::string inputBox(std::string_view caption, std::string_view prompt,
                         std::string_view defaultText) override;
    std::optional<std::string> fileDialog(const FileDialogRequest& request) override;
    bool printDialog() override;
    void printerSetup() override;
    [[nodiscard]] bool hasPrinter() override;
    std::unique_ptr<PrintJob> startPrintJob(std::string_view documentName, std::string& error) override;
    bool printText(const std::vector<std::string>& lines, const FontChoice& font,
                   std::string_view documentName, std::string& error) override;
    void setBusyCursor(bool busy) override;
    [[nodiscard]] std::uint32_t tickCountMs() override;
    void sleepMs(int ms) override;
    bool escapePressed() override;
    void pumpMessages() override;
    void waitForEvents(int maxMs) override;
    void holdUserInput(bool hold) override;
    [[nodiscard]] ScreenInfo screen() override;

private:
    std::chrono::steady_clock::time_point m_start = std::chrono::steady_clock::now();
};

/// The caption of a box shown without one: the program's file name up to its first full stop,
/// every letter after the first in lower case ("ZELVOR.EXE" gives "Zelvor").
[[nodiscard]] std::string defaultCaption(std::string_view programFileName);

} // namespace common
