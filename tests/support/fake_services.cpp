#include "fake_services.h"

namespace testing_support {

using common::FileDialogRequest;
using common::MessageBoxRequest;

int RecordedPrintJob::pages() const {
    int pages = 1;
    for (const PrintOp& op : ops) {
        if (op.kind == PrintOp::Kind::NewPage) {
            ++pages;
        }
    }
    return pages;
}

namespace {

class FakePrintJob : public common::PrintJob {
public:
    FakePrintJob(FakeServices& owner, std::size_t index) : m_owner(owner), m_index(index) {}
    common::Rect pageRect() const override { return m_owner.page; }
    void drawImage(common::Rect target, const common::RgbImage& image) override {
        PrintOp op;
        op.kind = PrintOp::Kind::Image;
        op.target = target;
        op.image = image;
        job().ops.push_back(std::move(op));
    }
    void setFont(const common::FontChoice& font) override {
        PrintOp op;
        op.kind = PrintOp::Kind::Font;
        op.font = font;
        job().ops.push_back(std::move(op));
    }
    void drawText(int x, int y, std::string_view text) override {
        PrintOp op;
        op.kind = PrintOp::Kind::Text;
        op.at = {x, y};
        op.text = std::string(text);
        job().ops.push_back(std::move(op));
    }
    void newPage() override {
        PrintOp op;
        op.kind = PrintOp::Kind::NewPage;
        job().ops.push_back(std::move(op));
    }
    bool end(std::string& error) override {
        if (!m_owner.printEndError.empty()) {
            error = m_owner.printEndError;
            return false;
        }
        job().ended = true;
        return true;
    }

private:
    RecordedPrintJob& job() { return m_owner.printJobs[m_index]; }
    FakeServices& m_owner;
    std::size_t m_index;
};

} // namespace

std::vector<std::string> FakeServices::messageTexts() const {
    std::vector<std::string> texts;
    for (const MessageBoxRequest& box : messages) {
        texts.push_back(box.text);
    }
    return texts;
}

void FakeServices::messageBox(const MessageBoxRequest& box) {
    messages.push_back(box);
    log.push_back((box.icon == common::MessageIcon::Stop ? "error: " : "message: ") + box.text);
    if (onMessage) {
        onMessage(box);
    }
}

std::string FakeServices::inputBox(std::string_view caption, std::string_view prompt,
                                   std::string_view defaultText) {
    inputs.push_back({std::string(caption), std::string(prompt), std::string(defaultText)});
    log.push_back("input: " + std::string(caption));
    if (inputAnswers.empty()) {
        return std::string(defaultText);
    }
    std::optional<std::string> answer = std::move(inputAnswers.front());
    inputAnswers.pop_front();
    return answer ? *answer : std::string(defaultText);
}

std::optional<std::string> FakeServices::fileDialog(const FileDialogRequest& request) {
    fileDialogs.push_back(request);
    log.push_back("file: " + request.filter);
    if (fileAnswers.empty()) {
        return std::nullopt;
    }
    std::optional<std::string> answer = std::move(fileAnswers.front());
    fileAnswers.pop_front();
    return answer;
}

bool FakeServices::printDialog() {
    ++printDialogs;
    log.push_back("print dialog");
    if (printDialogAnswers.empty()) {
        return false;
    }
    const bool answer = printDialogAnswers.front();
    printDialogAnswers.pop_front();
    if (answer) {
        printerAvailable = true;
    }
    return answer;
}

void FakeServices::printerSetup() {
    ++printerSetups;
    log.push_back("printer setup");
}

std::unique_ptr<common::PrintJob> FakeServices::startPrintJob(std::string_view documentName,
                                                              std::string& error) {
    if (!printStartError.empty()) {
        error = printStartError;
        return nullptr;
    }
    log.push_back("print job: " + std::string(documentName));
    printJobs.push_back({std::string(documentName), {}, false});
    return std::make_unique<FakePrintJob>(*this, printJobs.size() - 1);
}

bool FakeServices::printText(const std::vector<std::string>& lines, const common::FontChoice& font,
                             std::string_view documentName, std::string& error) {
    if (!printStartError.empty()) {
        error = printStartError;
        return false;
    }
    log.push_back("print text");
    printedTexts.push_back({lines, font, std::string(documentName)});
    return true;
}

void FakeServices::sleepMs(int ms) {
    sleeps.push_back(ms);
    if (ms > 0) {
        now += static_cast<std::uint32_t>(ms);
    }
}

bool FakeServices::escapePressed() {
    ++escapePolls;
    return escapeHeld || escapeAtPolls.count(escapePolls) != 0;
}

void FakeServices::pumpMessages() {
    ++pumps;
    // A handler that pumps again from inside onPump must not recurse into the script.
    if (onPump && !m_inPump) {
        m_inPump = true;
        onPump();
        m_inPump = false;
    }
}

void FakeServices::waitForEvents(int maxMs) {
    ++waits;
    pumpMessages();
    if (maxMs > 0) {
        now += static_cast<std::uint32_t>(maxMs);
    }
}

void FakeServices::holdUserInput(bool hold) {
    if (hold != inputHeld) {
        ++holdChanges;
    }
    inputHeld = hold;
}

} // namespace testing_support
