#include "services.h"

#include <cctype>

namespace common {

std::string defaultCaption(std::string_view programFileName) {
    const auto slash = programFileName.find_last_of('/');
    if (slash != std::string_view::npos) {
        programFileName.remove_prefix(slash + 1);
    }
    std::string caption(programFileName.substr(0, programFileName.find('.')));
    for (std::size_t i = 1; i < caption.size(); ++i) {
        caption[i] = static_cast<char>(std::tolower(static_cast<unsigned char>(caption[i])));
    }
    return caption;
}

void HeadlessServices::messageBox(const MessageBoxRequest&) {}

std::string HeadlessServices::inputBox(std::string_view, std::string_view, std::string_view defaultText) {
    return std::string(defaultText);
}

std::optional<std::string> HeadlessServices::fileDialog(const FileDialogRequest&) {
    return std::nullopt;
}

bool HeadlessServices::printDialog() {
    return false;
}

void HeadlessServices::printerSetup() {}

bool HeadlessServices::hasPrinter() {
    return false;
}

std::unique_ptr<PrintJob> HeadlessServices::startPrintJob(std::string_view, std::string& error) {
    error = "Es ist kein Drucker verfügbar.";
    return nullptr;
}

bool HeadlessServices::printText(const std::vector<std::string>&, const FontChoice&, std::string_view,
                                 std::string& error) {
    error = "Es ist kein Drucker verfügbar.";
    return false;
}

void HeadlessServices::setBusyCursor(bool) {}

std::uint32_t HeadlessServices::tickCountMs() {
    const auto sinceStart = std::chrono::steady_clock::now() - m_start;
    // Wraps at 2^32 like the tick count the programs were written for.
    return static_cast<std::uint32_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(sinceStart).count());
}

void HeadlessServices::sleepMs(int) {}

bool HeadlessServices::escapePressed() {
    return false;
}

void HeadlessServices::pumpMessages() {}

void HeadlessServices::waitForEvents(int) {}

void HeadlessServices::holdUserInput(bool) {}

ScreenInfo HeadlessServices::screen() {
    return {};
}

} // namespace common
