// The key dispatcher, the renderers' window side and the colour panel.
#include "explorer_window.h"

#include <QComboBox>
#include <QFrame>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>

#include "renderer.h"
#include "set_record.h"

namespace explorer {

namespace {
constexpr int kEnter = 13;
} // namespace

void ExplorerWindow::FormKeyUp(QObject* sender, int key) {
    if (m_s.drawing()) {
        return;
    }
    if (sender == ComboBox1 || (sender != nullptr && sender->parent() == ComboBox1)) {
        if (key == kEnter) {
            m_s.StartPressed = false;
        }
        m_s.LastKey = key;
    }
    if (Panel2->isVisible()) {
        return;
    }
    switch (key) {
    case 'D':
        folderCommand();
        break;
    case 'S':
        SaveNumberedPicture();
        return;
    case 'B':
        showCommand();
        return;
    case 'A':
        m_s.ShowPaused = !m_s.ShowPaused;
        break;
    case 'N':
    case 'W':
        setWindowSize(key == 'W');
        measure();
        m_s.UseOriginalColours = true;
        m_s.ZoomPending = false;
        ClearPicture();
        break;
    case 'H':
        Memo1->setVisible(!Memo1->isVisible());
        m_s.ZoomPending = false;
        ClearPicture();
        break;
    case 'C':
        m_s.ZoomPending = false;
        ClearPicture();
        break;
    case 'O':
        m_s.ZoomPending = false;
        m_s.UseOriginalColours = true;
        ClearPicture();
        break;
    case 'M':
    case 'J':
        // A marked zoom belongs to the kind of set drawn by the last key.
        if (m_s.ZoomPending && key != m_s.LastKey) {
            return;
        }
        if (key == 'M') {
            DrawMandelbrot();
        } else {
            DrawJulia();
        }
        if (m_closing) {
            return;
        }
        break;
    case 'F':
        openColourPanel();
        break;
    case 'K':
        printSetupCommand();
        m_s.ZoomPending = false;
        ClearPicture();
        break;
    case 'E':
        close();
        return;
    case 'P':
        printCommand();
        return;
    default:
        break;
    }
    if (key == kEnter) {
        for (std::size_t i = 0; i < m_edits.size(); ++i) {
            if (sender == m_edits[i]) {
                if (i + 1 < m_edits.size()) {
                    m_edits[i + 1]->setFocus();
                } else {
                    Button1->setFocus();
                }
                break;
            }
        }
    }
    m_s.LastKey = key;
}

// --- renderers

void ExplorerWindow::runPixelLoop(SetKind kind) {
    bool& running = kind == SetKind::Mandelbrot ? m_s.MandelbrotRunning : m_s.JuliaRunning;
    RenderJob job;
    job.kind = kind;
    job.view = m_s.view;
    job.frame = m_s.frame;
    job.juliaC = m_s.JuliaC;
    // On a screen of more device pixels the view shows the finer drawing; the logical picture is
    // the one stored and printed, counted as on any other screen.
    const RenderOutcome outcome =
        m_device.active() ? RunPixelLoop(m_s, m_picture, m_services, m_engine, job,
                                         {m_device.canvas(), *m_deviceEngine, m_device.deviceJob(job)})
                          : RunPixelLoop(m_s, m_picture, m_services, m_engine, job);
    running = false;
    if (outcome == RenderOutcome::Aborted || m_closing) {
        m_s.ZoomPending = false;
        ClearPicture();
        return;
    }
    // The colours as drawn: the panel may change them later without a new drawing.
    m_drawnRecord = SetRecordOf(job, m_s.colours);
}

void ExplorerWindow::DrawMandelbrot() {
    m_s.MandelbrotRunning = true;
    ClearPicture();
    if (m_s.UseOriginalColours) {
        RestoreOriginalColours();
    }
    if (m_s.ZoomPending) {
        m_s.view = {m_s.ZoomLow.Re, m_s.ZoomHigh.Re, m_s.ZoomLow.Im, m_s.ZoomHigh.Im};
        setCaption(ZoomCaption(m_s.ZoomLow, m_s.ZoomHigh));
    } else {
        m_s.view = DefaultView(SetKind::Mandelbrot);
    }
    runPixelLoop(SetKind::Mandelbrot);
}

bool ExplorerWindow::waitForStartPoint() {
    Panel2->show();
    // J typed into a colour field starts this wait with the colour panel open; the start-point
    // panel must lie above it, or its list and instruction are hidden and only START shows.
    Panel2->raise();
    ComboBox1->setFocus();
    m_s.StartPressed = false;
    QString text;
    do {
        if (m_services.escapePressed()) {
            m_s.JuliaRunning = false;
            m_s.ZoomPending = false;
            m_services.setBusyCursor(false);
            m_s.StartPressed = true;
        }
        // Blocks until something happens (a click, a key, the close box) instead of spinning.
        m_services.waitForEvents(50);
        text = ComboBox1->currentText();
    } while (!m_s.StartPressed);
    if (m_closing) {
        return false;
    }
    m_s.JuliaC = ParseComplex(text.toStdString());
    Panel2->hide();
    ClearPicture();
    return true;
}

void ExplorerWindow::DrawJulia() {
    ClearPicture();
    if (m_s.UseOriginalColours) {
        RestoreOriginalColours();
    }
    m_s.PrevJuliaC = m_s.JuliaC;
    if (!m_s.ZoomPending && !waitForStartPoint()) {
        return;
    }
    // A zoom applies only to the Julia set it was marked on.
    if (!(m_s.JuliaC == m_s.PrevJuliaC)) {
        m_s.ZoomPending = false;
    }
    if (m_s.ZoomPending) {
        m_s.view = {m_s.ZoomLow.Re, m_s.ZoomHigh.Re, m_s.ZoomLow.Im, m_s.ZoomHigh.Im};
        setCaption(JuliaZoomCaption(m_s.ZoomLow, m_s.ZoomHigh, m_s.JuliaC));
    } else {
        m_s.view = DefaultView(SetKind::Julia);
    }
    m_s.JuliaRunning = true;
    runPixelLoop(SetKind::Julia);
}

void ExplorerWindow::ComboBox1Click(int index) {
    ComboBox1->setEditText(ComboBox1->itemText(index));
}

void ExplorerWindow::Button4Click() {
    m_s.StartPressed = true;
}

// --- colours

void ExplorerWindow::RestoreOriginalColours() {
    m_s.colours = OriginalColours();
    m_additive->setChecked(true);
}

void ExplorerWindow::setColourFields(const std::array<const char*, 6>& texts) {
    for (std::size_t i = 0; i < m_edits.size(); ++i) {
        m_edits[i]->setText(QString::fromLatin1(texts[i]));
    }
}

void ExplorerWindow::openColourPanel() {
    if (m_s.UseOriginalColours) {
        setColourFields({"16", "2", "4", "255", "255", "0"});
        m_additive->setChecked(true);
        m_s.colours.AdditiveMix = true;
    }
    Panel1->show();
    Panel1->raise();
    m_edits[0]->setFocus();
}

void ExplorerWindow::Button1Click() {
    m_s.ZoomPending = false;
    std::array<int*, 6> targets = {&m_s.colours.BorderR, &m_s.colours.BorderG, &m_s.colours.BorderB,
                                   &m_s.colours.MainR,   &m_s.colours.MainG,   &m_s.colours.MainB};
    for (std::size_t i = 0; i < m_edits.size(); ++i) {
        const std::optional<int> value = ParseColourField(m_edits[i]->text().toStdString());
        if (!value || *value < 0 || *value > 255) {
            m_s.UseOriginalColours = true;
            return;
        }
        *targets[i] = *value;
    }
    m_s.colours.AdditiveMix = m_additive->isChecked();
    m_s.UseOriginalColours = false;
    Button3->setFocus();
}

void ExplorerWindow::Button2Click() {
    setColourFields({"16", "2", "4", "255", "255", "0"});
    m_additive->setChecked(true);
    m_s.colours.AdditiveMix = true;
    m_s.ZoomPending = false;
    m_s.UseOriginalColours = true;
    Button3->setFocus();
}

void ExplorerWindow::Button3Click() {
    m_s.ZoomPending = false;
    Panel1->hide();
    ClearPicture();
}

} // namespace explorer
