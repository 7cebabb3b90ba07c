// "Erzeugen": reading and checking the parameters, the drawing, the parameter record.
#include "generator_window.h"

#include <QCheckBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>

#include "parameters.h"

namespace lsystem {

namespace {

std::string text(const QLineEdit* field) {
    return field->text().toStdString();
}
} // namespace

void GeneratorWindow::Button2Click() {
    if (drawing()) {
        return;
    }
    ClearImage(m_backColour);
    const DrawingParameters p = CheckDrawingParameters({text(Edit2), text(Edit3), text(Edit4), text(Edit5),
                                                        text(Edit6), text(Edit1), text(Edit7), text(Edit8)});
    m_formula = p.formula;
    // Factor, NodeRadius and WaitMs keep what was converted before a field that does not convert;
    // the fields convert in the order of ParameterField.
    const auto converted = [&p](ParameterField field) {
        return p.fault != ParameterFault::EmptyFormula &&
               (p.fault != ParameterFault::NotANumber || field < p.field);
    };
    if (converted(ParameterField::Factor)) {
        m_turtle.Factor = p.factor;
    }
    if (converted(ParameterField::Radius)) {
        m_nodeRadius = p.radius;
    }
    if (converted(ParameterField::WaitMs)) {
        m_waitMs = p.waitMs;
    }
    if (!p.ok()) {
        m_services.message(std::string(ParameterFaultMessage(p.fault)));
        if (p.fault == ParameterFault::EmptyFormula) {
            Edit2->setFocus();
        }
        return;
    }

    WalkSettings settings;
    settings.Formula = m_formula;
    settings.iterations = p.iterations;
    settings.startLength = p.startLength;
    settings.rightDegrees = p.rightDegrees;
    settings.leftDegrees = p.leftDegrees;
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
