#include "generator_window.h"

#include <QEvent>

#include "canvas_view.h"
#include "paths.h"
#include "qt_services.h"

namespace lsystem {

GeneratorWindow::GeneratorWindow(platform::QtServices& services, QWidget* parent)
    : QWidget(parent), m_services(services) {
    setObjectName(QStringLiteral("Form15"));
    setWindowTitle(QStringLiteral("ZUDIRUR - Ein Generator für fraktale Gebilde"));
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMaximizeButtonHint | Qt::WindowCloseButtonHint);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, QColor(128, 128, 128));
    setPalette(pal);
    setAutoFillBackground(true);

    m_panel1 = new QWidget(this);
    m_panel1->setObjectName(QStringLiteral("Panel1"));
    m_image1 = new platform::CanvasView(m_image, m_panel1);
    m_image1->setObjectName(QStringLiteral("Image1"));

    m_services.setMainWindow(this);
    FormCreate();
}

GeneratorWindow::~GeneratorWindow() = default;

void GeneratorWindow::FormCreate() {
    m_workDir = common::CurrentDirectory();
    ScaleWindowToScreen();
    common::TakeOverStartFolder(m_workDir);
}

void GeneratorWindow::ScaleWindowToScreen() {
    resize(1024, 727);
    m_panel1->setGeometry(301, 16, 508, 510);
    m_image1->setGeometry(7, 7, 493, 493);
    m_image.resize(493, 493, common::kWhite);
    setWindowState(windowState() | Qt::WindowMaximized);
}

bool GeneratorWindow::event(QEvent* e) {
    if (e->type() == QEvent::WindowActivate && m_activations == 0) {
        ++m_activations;
        FormActivate();
    }
    return QWidget::event(e);
}

void GeneratorWindow::FormActivate() {
    m_image.fill(common::kWhite);
}

} // namespace lsystem
