#pragma once

#include <QWidget>

#include <array>
#include <string>
#include <vector>

#include "canvas.h"
#include "formula_walk.h"
#include "scaling.h"
#include "services.h"
#include "turtle.h"

class QCheckBox;
class QFrame;
class QKeyEvent;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace platform {
class CanvasView;
} // namespace platform

namespace lsystem {

/// The L-system generator's one window (Form15): the parameter panel on the left, the drawing
/// area on the right, the help text laid over the drawing panel when shown.
class GeneratorWindow : public QWidget {
    Q_OBJECT

public:
    explicit GeneratorWindow(common::Services& services, QWidget* parent = nullptr);
    ~GeneratorWindow() override;

    [[nodiscard]] const common::Canvas& image() const { return m_image; }
    [[nodiscard]] const Turtle& turtle() const { return m_turtle; }
    [[nodiscard]] const std::string& workDir() const { return m_workDir; }
    [[nodiscard]] const std::string& formulaName() const { return m_formulaName; }
    [[nodiscard]] std::int32_t startX() const { return m_startX; }
    [[nodiscard]] std::int32_t startY() const { return m_startY; }
    [[nodiscard]] std::int32_t nodeRadius() const { return m_nodeRadius; }
    [[nodiscard]] std::int32_t waitMs() const { return m_waitMs; }
    [[nodiscard]] const std::string& formula() const { return m_formula; }
    [[nodiscard]] common::Colour penColour() const { return m_penColour; }
    [[nodiscard]] common::Colour backColour() const { return m_backColour; }
    [[nodiscard]] bool drawing() const { return m_walk.running(); }
    [[nodiscard]] int activations() const { return m_activations; }
    /// The parameter record: the ten lines of the last drawing, save or load.
    [[nodiscard]] std::vector<std::string> parameterRecord() const;
    /// The record stored with an exported picture; empty unless the area shows one whole
    /// drawing of the parameter record.
    [[nodiscard]] std::string pictureRecord() const;

    /// The window's key handler (key preview): `key` is the platform-neutral key code.
    void FormKeyUp(QObject* sender, int key, Qt::KeyboardModifiers modifiers);
    void Image1MouseDown(QPoint pos);

protected:
    bool event(QEvent* e) override;
    void closeEvent(QCloseEvent* e) override;

private:
    void buildControls();
    void place(QWidget* w, int left, int top, int width, int height);
    void ScaleWindowToScreen();
    void FormCreate();
    void FormActivate();
    void InitDefaults();
    void ClearImage(common::Colour colour);
    void MarkStartPoint(QPoint at);
    void setLabel17();
    void setRecord(const std::vector<std::string>& lines);

    void Button1Click(); // "Hilfe ein/aus"
    void Button2Click(); // "Erzeugen"
    void Button3Click(); // "Löschen"
    void Button4Click(); // "Laden"
    void Button5Click(); // "Speichern"
    void Button6Click(); // "Drucken"
    void Button7Click(); // "Beenden"
    void enterPressed(QLineEdit* field);
    void Edit2KeyUp(int key);

    // Formula files, printing and export. Those returning bool give false after a failure they
    // have reported, which ends the command that called them.
    bool SaveFormula();
    bool LoadFormula();
    bool PrintImageScaled(double scale);
    void ExportJpeg();

    common::Services& m_services;
    common::Canvas m_image;
    Turtle m_turtle;
    FormulaWalk m_walk;
    std::vector<common::ScaleStep> m_scaleSteps;
    int m_activations = 0;
    bool m_closing = false;
    // Whether the area shows one whole drawing of the parameter record, so that F9 can store
    // the record with the picture. Every clearing counts, also one inside a running drawing.
    bool m_areaShowsRecord = false;
    std::uint64_t m_clearings = 0;

    // module state
    std::int32_t m_imageWidth = 0;
    std::int32_t m_imageHeight = 0;
    common::Colour m_penColour = common::kBlack;
    common::Colour m_backColour = common::kWhite;
    std::string m_workDir;
    std::string m_formulaName = "noname.frc";
    bool m_savedOnce = false;
    std::string m_formula;
    std::int32_t m_nodeRadius = 0;
    std::int32_t m_waitMs = 0;
    std::int32_t m_startX = 0;
    std::int32_t m_startY = 0;

    struct Placed {
        QWidget* widget;
        QRect design;
    };
    std::vector<Placed> m_placed;

    QFrame* Panel1 = nullptr;
    QFrame* Panel2 = nullptr;
    platform::CanvasView* Image1 = nullptr;
    QPlainTextEdit* RichEdit1 = nullptr;
    QPlainTextEdit* RichEdit2 = nullptr;
    QLabel* Label9 = nullptr;
    QLabel* Label6 = nullptr;
    QLabel* Label17 = nullptr;
    QCheckBox* CheckBox3 = nullptr;
    QCheckBox* CheckBox4 = nullptr;
    QLineEdit* Edit1 = nullptr;
    QLineEdit* Edit2 = nullptr;
    QLineEdit* Edit3 = nullptr;
    QLineEdit* Edit4 = nullptr;
    QLineEdit* Edit5 = nullptr;
    QLineEdit* Edit6 = nullptr;
    QLineEdit* Edit7 = nullptr;
    QLineEdit* Edit8 = nullptr;
    QPushButton* Button1 = nullptr;
    QPushButton* Button2 = nullptr;
    QPushButton* Button3 = nullptr;
    QPushButton* Button4 = nullptr;
    QPushButton* Button5 = nullptr;
    QPushButton* Button6 = nullptr;
    QPushButton* Button7 = nullptr;
};

} // namespace lsystem
