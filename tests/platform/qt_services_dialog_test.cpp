#include <functional>
#include <optional>
#include <ostream>
#include <string>

#include <QAbstractButton>
#include <QApplication>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>
#include <QPointer>
#include <QPrintDialog>
#include <QPrinterInfo>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QWidget>

#include <gtest/gtest.h>

#include "qt_services.h"

namespace {

/// Acts on the next modal dialog once it is shown. Scoped, so a dialog that never came cannot
/// leave a timer behind that answers the dialogs of later tests.
class ModalDriver {
public:
    explicit ModalDriver(std::function<void(QWidget*)> action) : m_action(std::move(action)) {
        m_timer.setInterval(5);
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            if (QWidget* modal = QApplication::activeModalWidget()) {
                m_timer.stop();
                m_seen = true;
                const QPointer<QWidget> guard(modal);
                m_action(modal);
                // A failed check inside the action must not leave the test waiting on a dialog.
                if (guard != nullptr && guard->isVisible()) {
                    guard->close();
                }
            }
        });
        m_timer.start();
    }

    [[nodiscard]] bool seen() const { return m_seen; }

private:
    std::function<void(QWidget*)> m_action;
    QTimer m_timer;
    bool m_seen = false;
};

// --- message box

struct MessageCase {
    const char* name;
    common::MessageBoxRequest box;
    bool expectProgramTitle;
    QMessageBox::Icon expectedIcon;
};

void PrintTo(const MessageCase& c, std::ostream* os) {
    *os << c.name;
}

class MessageBoxTest : public ::testing::TestWithParam<MessageCase> {};

TEST_P(MessageBoxTest, ShowsTextCaptionIconAndPlace) {
    const MessageCase& c = GetParam();
    QWidget window;
    platform::QtServices services;
    services.setMainWindow(&window);

    QString title;
    QString text;
    Qt::TextFormat format = Qt::AutoText;
    QMessageBox::Icon icon = QMessageBox::Information;
    QMessageBox::StandardButtons buttons;
    QPoint pos;
    QWidget* parent = nullptr;
    ModalDriver driver([&](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        ASSERT_NE(box, nullptr);
        title = box->windowTitle();
        text = box->text();
        format = box->textFormat();
        icon = box->icon();
        buttons = box->standardButtons();
        pos = box->pos();
        parent = box->parentWidget();
        box->button(QMessageBox::Ok)->click();
    });
    services.messageBox(c.box);

    ASSERT_TRUE(driver.seen());
    EXPECT_EQ(title, c.expectProgramTitle ? services.programTitle() : QString::fromStdString(c.box.caption));
    EXPECT_EQ(text, QString::fromStdString(c.box.text));
    EXPECT_EQ(format, Qt::PlainText);
    EXPECT_EQ(icon, c.expectedIcon);
    EXPECT_EQ(buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    EXPECT_EQ(parent, &window);
    if (c.box.position) {
        EXPECT_EQ(pos, QPoint(c.box.position->x, c.box.position->y));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Boxes, MessageBoxTest,
    ::testing::Values(MessageCase{"error_report_uses_program_title_and_stop_icon",
                                  {"Die Datei fehlt.", "", common::MessageIcon::Stop, std::nullopt},
                                  true,
                                  QMessageBox::Critical},
                      MessageCase{"own_caption_no_icon_placed",
                                  {"Größe geändert", "Hinweis für Bäume", common::MessageIcon::None,
                                   common::Point{40, 50}},
                                  false,
                                  QMessageBox::NoIcon},
                      MessageCase{"angle_brackets_stay_text",
                                  {"<M> Start, <b>E</b> Ende", "", common::MessageIcon::None, std::nullopt},
                                  true,
                                  QMessageBox::NoIcon}),
    [](const ::testing::TestParamInfo<MessageCase>& info) { return std::string(info.param.name); });

TEST(ProgramTitle, IsTheCaptionOfTheProgramFile) {
    platform::QtServices services;
    EXPECT_EQ(services.programTitle(), QStringLiteral("platform_tests"));
}

// --- input box

struct InputCase {
    const char* name;
    bool accept;
    std::optional<QString> typed; // what the user leaves in the field
    std::string expected;
};

void PrintTo(const InputCase& c, std::ostream* os) {
    *os << c.name;
}

class InputBoxTest : public ::testing::TestWithParam<InputCase> {};

TEST_P(InputBoxTest, ReturnsEditedTextOnOkAndDefaultOnCancel) {
    const InputCase& c = GetParam();
    QWidget window;
    platform::QtServices services;
    services.setMainWindow(&window);

    QString title;
    QString label;
    QString shownText;
    ModalDriver driver([&](QWidget* modal) {
        auto* dialog = qobject_cast<QInputDialog*>(modal);
        ASSERT_NE(dialog, nullptr);
        title = dialog->windowTitle();
        label = dialog->labelText();
        shownText = dialog->textValue();
        if (c.typed) {
            dialog->setTextValue(*c.typed);
        }
        if (c.accept) {
            dialog->accept();
        } else {
            dialog->reject();
        }
    });
    const std::string result = services.inputBox("Bildname", "Name für Größe:", "Bild1");

    ASSERT_TRUE(driver.seen());
    EXPECT_EQ(title, QStringLiteral("Bildname"));
    EXPECT_EQ(label, QStringLiteral("Name für Größe:"));
    EXPECT_EQ(shownText, QStringLiteral("Bild1"));
    EXPECT_EQ(result, c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Answers, InputBoxTest,
    ::testing::Values(InputCase{"ok_with_edited_text", true, QStringLiteral("Bäume"), "Bäume"},
                      InputCase{"ok_unchanged", true, std::nullopt, "Bild1"},
                      InputCase{"ok_with_empty_text", true, QString(), ""},
                      InputCase{"cancel_after_editing_gives_default", false, QStringLiteral("anders"),
                                "Bild1"}),
    [](const ::testing::TestParamInfo<InputCase>& info) { return std::string(info.param.name); });

// --- file dialog

struct FileCase {
    const char* name;
    common::FileDialogKind kind;
    std::string fileName;
    bool overwritePrompt;
    bool fileMustExist;
    bool accept;
    QFileDialog::FileMode expectedMode;
    std::optional<std::string> expectedFile; // relative to the folder
};

void PrintTo(const FileCase& c, std::ostream* os) {
    *os << c.name;
}

class FileDialogTest : public ::testing::TestWithParam<FileCase> {};

TEST_P(FileDialogTest, SetsUpTheDialogAndReturnsTheAbsolutePath) {
    const FileCase& c = GetParam();
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    {
        QFile existing(folder.filePath("alt.frc"));
        ASSERT_TRUE(existing.open(QIODevice::WriteOnly));
    }
    QWidget window;
    platform::QtServices services;
    services.setMainWindow(&window);

    common::FileDialogRequest request;
    request.kind = c.kind;
    request.initialFolder = folder.path().toStdString();
    request.fileName = c.fileName;
    request.filter = "FRA-Fractaldateien (*.frc)|*.frc|Alle Dateien|*.*";
    request.defaultExtension = "frc";
    request.overwritePrompt = c.overwritePrompt;
    request.fileMustExist = c.fileMustExist;

    bool native = true;
    bool confirmsOverwrite = false;
    QFileDialog::AcceptMode acceptMode = QFileDialog::AcceptOpen;
    QFileDialog::FileMode fileMode = QFileDialog::Directory;
    QStringList filters;
    QString suffix;
    QString directory;
    ModalDriver driver([&](QWidget* modal) {
        auto* dialog = qobject_cast<QFileDialog*>(modal);
        ASSERT_NE(dialog, nullptr);
        native = !dialog->testOption(QFileDialog::DontUseNativeDialog);
        confirmsOverwrite = !dialog->testOption(QFileDialog::DontConfirmOverwrite);
        acceptMode = dialog->acceptMode();
        fileMode = dialog->fileMode();
        filters = dialog->nameFilters();
        suffix = dialog->defaultSuffix();
        directory = dialog->directory().absolutePath();
        // Through QDialog: QFileDialog's own accept() checks the chosen name like the OK button.
        QDialog* asDialog = dialog;
        if (c.accept) {
            asDialog->accept();
        } else {
            asDialog->reject();
        }
    });
    const std::optional<std::string> result = services.fileDialog(request);

    ASSERT_TRUE(driver.seen());
    EXPECT_FALSE(native);
    EXPECT_EQ(confirmsOverwrite, c.overwritePrompt);
    EXPECT_EQ(acceptMode,
              c.kind == common::FileDialogKind::Open ? QFileDialog::AcceptOpen : QFileDialog::AcceptSave);
    EXPECT_EQ(fileMode, c.expectedMode);
    EXPECT_EQ(filters, QStringList({"FRA-Fractaldateien (*.frc)", "Alle Dateien (*)"}));
    EXPECT_EQ(suffix, QStringLiteral("frc"));
    EXPECT_EQ(directory, QDir(folder.path()).absolutePath());
    if (c.expectedFile) {
        ASSERT_TRUE(result.has_value());
        EXPECT_EQ(
            *result,
            QDir(folder.path()).absoluteFilePath(QString::fromStdString(*c.expectedFile)).toStdString());
    } else {
        EXPECT_FALSE(result.has_value());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Dialogs, FileDialogTest,
    ::testing::Values(FileCase{"save_appends_default_extension", common::FileDialogKind::Save, "bild", false,
                               false, true, QFileDialog::AnyFile, "bild.frc"},
                      FileCase{"save_keeps_given_extension", common::FileDialogKind::Save, "bild.frc", true,
                               false, true, QFileDialog::AnyFile, "bild.frc"},
                      FileCase{"save_over_existing_without_prompt", common::FileDialogKind::Save, "alt.frc",
                               false, false, true, QFileDialog::AnyFile, "alt.frc"},
                      FileCase{"save_of_existing_file_only", common::FileDialogKind::Save, "alt.frc", false,
                               true, true, QFileDialog::ExistingFile, "alt.frc"},
                      FileCase{"open_existing", common::FileDialogKind::Open, "alt.frc", false, true, true,
                               QFileDialog::ExistingFile, "alt.frc"},
                      FileCase{"open_without_must_exist_still_needs_a_file", common::FileDialogKind::Open,
                               "alt.frc", false, false, true, QFileDialog::ExistingFile, "alt.frc"},
                      FileCase{"cancel", common::FileDialogKind::Save, "bild", false, false, false,
                               QFileDialog::AnyFile, std::nullopt}),
    [](const ::testing::TestParamInfo<FileCase>& info) { return std::string(info.param.name); });

// --- print dialogs

TEST(PrintDialogs, CancelledDialogsChooseNoPrinter) {
    QWidget window;
    platform::QtServices services;
    services.setMainWindow(&window);
    const bool systemPrinter = !QPrinterInfo::defaultPrinter().isNull();

    // The confirming button as the shown dialog reads it.
    const auto confirmText = [](QPrintDialog* dialog) {
        auto* buttons = dialog->findChild<QDialogButtonBox*>();
        QAbstractButton* ok = buttons != nullptr ? buttons->button(QDialogButtonBox::Ok) : nullptr;
        return ok != nullptr ? ok->text() : QStringLiteral("(no button)");
    };

    QString setupTitle;
    QString setupConfirm;
    {
        ModalDriver driver([&](QWidget* modal) {
            auto* dialog = qobject_cast<QPrintDialog*>(modal);
            ASSERT_NE(dialog, nullptr);
            setupTitle = dialog->windowTitle();
            setupConfirm = confirmText(dialog);
            dialog->reject();
        });
        services.printerSetup();
        ASSERT_TRUE(driver.seen());
    }
    EXPECT_EQ(setupTitle, QStringLiteral("Druckereinrichtung"));
    // Setting up prints nothing, so its button does not say so.
    EXPECT_EQ(setupConfirm, QStringLiteral("OK"));
    EXPECT_EQ(services.hasPrinter(), systemPrinter);

    QString printConfirm;
    {
        ModalDriver driver([&](QWidget* modal) {
            auto* dialog = qobject_cast<QPrintDialog*>(modal);
            ASSERT_NE(dialog, nullptr);
            printConfirm = confirmText(dialog);
            dialog->reject();
        });
        EXPECT_FALSE(services.printDialog());
        ASSERT_TRUE(driver.seen());
    }
    EXPECT_EQ(printConfirm, QPrintDialog::tr("&Print"));
    EXPECT_EQ(services.hasPrinter(), systemPrinter);
}

} // namespace
