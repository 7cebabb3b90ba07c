#pragma once

#include <QWidget>

#include <array>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "canvas.h"
#include "device_picture.h"
#include "escape_time.h"
#include "explorer_state.h"
#include "picture_record.h"
#include "services.h"
#include "window_fit.h"

class QComboBox;
class QFrame;
class QGroupBox;
class QKeyEvent;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;

namespace platform {
class CanvasView;
} // namespace platform

namespace explorer {

/// The set explorer's one window (Form4): its client area is the picture; the colour panel,
/// the start-point panel and the help text lie over it when shown. Every command runs through
/// the key dispatcher FormKeyUp.
class ExplorerWindow : public QWidget {
    Q_OBJECT

public:
    explicit ExplorerWindow(common::Services& services, QWidget* parent = nullptr);
    ~ExplorerWindow() override;

    [[nodiscard]] const ExplorerState& state() const { return m_s; }
    [[nodiscard]] ExplorerState& state() { return m_s; }
    [[nodiscard]] const common::Canvas& picture() const { return m_picture; }
    /// The picture at the screen's device pixels; inactive at a device pixel ratio of 1.
    [[nodiscard]] const DevicePicture& devicePicture() const { return m_device; }
    [[nodiscard]] int activations() const { return m_activations; }
    [[nodiscard]] QString titleLine() const;

    /// The key dispatcher: `key` is the platform-neutral key code (letters as capitals,
    /// Enter 13), `sender` the control that had the focus.
    void FormKeyUp(QObject* sender, int key);

    void FormMouseDown(Qt::MouseButton button, Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers,
                       QPoint pos);
    void FormMouseMove(Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers, QPoint pos);
    void FormMouseUp();

protected:
    bool event(QEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;

private:
    // window and start-up
    void buildControls();
    void place(QWidget* w, int left, int top, int width, int height);
    void applyScaling();
    void FitWindowToScreen();
    void centreOnScreen();
    void FormCreate();
    void FormActivate();
    void FormClose();
    void setCaption(const std::string& text);
    void measure();
    void followDevicePixelRatio();
    void ClearPicture();
    void setWindowSize(bool maximised);

    // renderers
    void DrawMandelbrot();
    void DrawJulia();
    bool waitForStartPoint();
    void runPixelLoop(SetKind kind);
    void ComboBox1Click(int index);
    void Button4Click();

    // colours
    void RestoreOriginalColours();
    void openColourPanel();
    void Button1Click();
    void Button2Click();
    void Button3Click();
    void setColourFields(const std::array<const char*, 6>& texts);

    // picture files and the slide show
    void folderCommand();
    std::optional<std::string> askPicturePath(const std::string& proposedName);
    bool chooseFile(const std::string& proposedName, bool makeCurrent, std::string& chosenName);
    void SaveNumberedPicture();
    void showCommand();
    // The base name is a copy: D or a nested B during a wait change PicBaseName, and the running
    // show must go on with the pictures it was started for.
    void RunSlideShow(std::string base, std::int32_t first, std::int32_t last);
    bool ShowPictureFile(const std::string& name);
    void ShowWait(std::int32_t ms);

    // printing
    void printSetupCommand();
    void printCommand();
    void PrintScaledPicture(double scale);
    void PrintHelpPages();

    common::Services& m_services;
    ExplorerState m_s;
    common::Canvas m_picture;
    CountEngine m_engine;
    // Only on a screen with more device pixels than logical ones, with an engine of its own
    // (made when first needed: an engine keeps its threads).
    DevicePicture m_device;
    std::unique_ptr<CountEngine> m_deviceEngine;
    // How the picture on the surface was made, while it shows one whole drawing: stored with
    // the picture so it can be made again. Anything that blanks or replaces the picture drops it.
    std::optional<common::SetRecord> m_drawnRecord;
    std::vector<ScaleStep> m_scaleSteps;
    int m_activations = 0;
    bool m_closing = false;

    struct Placed {
        QWidget* widget;
        QRect design;
    };
    std::vector<Placed> m_placed;

    platform::CanvasView* m_view = nullptr;
    QPlainTextEdit* Memo1 = nullptr;
    QFrame* Panel1 = nullptr;
    QLabel* Label2 = nullptr;
    std::array<QLineEdit*, 6> m_edits{}; // Edit1 .. Edit6
    QGroupBox* RadioGroup1 = nullptr;
    QRadioButton* m_additive = nullptr;
    QRadioButton* m_subtractive = nullptr;
    QPushButton* Button1 = nullptr;
    QPushButton* Button2 = nullptr;
    QPushButton* Button3 = nullptr;
    QFrame* Panel2 = nullptr;
    QLabel* Label1 = nullptr;
    QComboBox* ComboBox1 = nullptr;
    QPushButton* Button4 = nullptr;
};

} // namespace explorer
