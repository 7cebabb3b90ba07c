// "Erzeugen": reading and checking the parameters, the drawing, the parameter record.
#include "generator_window.h"

#include <QCheckBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>

#include "parameters.h"

namespace lsystem {

namespace {
const char* const kFieldNotANumber = " Unerlaubte Parametereingabe !";
const char* const kValueOutOfRange = "Unerlaubte Parametereingabe !";

std::string text(const QLineEdit* field) {
    return field->text().toStdString();
}
} // namespace

void GeneratorWindow::Button2Click() {
    if (drawing()) {
        return;
    }
    ClearImage(m_backColour);
    m_formula = NormaliseFormula(text(Edit2));
    if (m_formula.empty()) {
        m_services.message("Bitte eine zulässige Formel eingeben !");
        Edit2->setFocus();
        return;
    }

    // Converted in this order; Factor, NodeRadius and WaitMs keep what was converted before a
    // failing field.
    const std::optional<double> factor = ParseFieldFloat(text(Edit3));
    if (!factor) {
        m_services.message(kFieldNotANumber);
        return;
    }
    m_turtle.Factor = *factor;
    const std::optional<double> right = ParseFieldFloat(text(Edit4));
    const std::optional<double> left = right ? ParseFieldFloat(text(Edit5)) : std::nullopt;
    const std::optional<std::int32_t> length = left ? ParseFieldInt(text(Edit6)) : std::nullopt;
    if (!length) {
        m_services.message(kFieldNotANumber);
        return;
    }
    const std::optional<std::int32_t> radius = ParseFieldInt(text(Edit1));
    if (!radius) {
        m_services.message(kFieldNotANumber);
        return;
    }
    m_nodeRadius = *radius;
    const std::optional<std::int32_t> iterations = ParseFieldInt(text(Edit7));
    if (!iterations) {
        m_services.message(kFieldNotANumber);
        return;
    }
    const std::optional<std::int32_t> wait = ParseFieldInt(text(Edit8));
    if (!wait) {
        m_services.message(kFieldNotANumber);
        return;
    }
    m_waitMs = *wait;

    const bool valid = *iterations >= 1 && *iterations <= 10 && *length >= 1 && m_turtle.Factor > 0.0 &&
                       m_turtle.Factor <= 1.0 && m_nodeRadius >= 0 && *right >= 0.0 && *left >= 0.0 &&
                       m_waitMs >= 0;
    if (!valid) {
        m_services.message(kValueOutOfRange);
        return;
    }

    WalkSettings settings;
    settings.Formula = m_formula;
    settings.iterations = *iterations;
    settings.startLength = *length;
    settings.rightDegrees = *right;
    settings.leftDegrees = *left;
    settings.NodeRadius = m_nodeRadius;
    settings.WaitMs = m_waitMs;
    settings.PauseMode = CheckBox4->isChecked();
    settings.direction = CheckBox3->isChecked() ? StartDirection::Horizontal : StartDirection::Vertical;
    settings.StartX = m_startX;
    settings.StartY = m_startY;
    settings.PenColour = m_penColour;
    settings.pauseBoxAt = {Panel1->x(), Panel1->y()};
    const std::uint64_t clearingsBefore = m_clearings;
    m_walk.StartDrawing(settings);
    if (m_closing) {
        return;
    }
    const bool whole = !m_turtle.StopFlag && m_clearings == clearingsBefore;

    setRecord({text(Edit2), text(Edit3), text(Edit4), text(Edit5), text(Edit6), text(Edit1), text(Edit7),
               std::to_string(m_startX), std::to_string(m_startY), CheckBox3->isChecked() ? "1" : "0"});
    m_areaShowsRecord = whole;
    Edit2->setFocus();
    setLabel17();
}

} // namespace lsystem
