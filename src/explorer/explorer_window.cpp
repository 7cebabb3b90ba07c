#include "explorer_window.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QScreen>

#include "canvas_view.h"
#include "paths.h"
#include "qt_services.h"
#include "window_fit.h"

namespace explorer {

namespace {
const QString kTitle = QStringLiteral("Apfelmännchen");
const QString kTitleTail = QStringLiteral(",  <M> Start, <E> Ende, <H> Hilfe ein/aus");
} // namespace

ExplorerWindow::ExplorerWindow(platform::QtServices& services, QWidget* parent)
    : QWidget(parent), m_services(services) {
    setObjectName(QStringLiteral("Form4"));
    // A fixed single border with the close box only.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::black);
    setPalette(pal);
    setAutoFillBackground(true);

    m_view = new platform::CanvasView(m_picture, this);
    m_view->setObjectName(QStringLiteral("PictureArea"));

    m_services.setMainWindow(this);
    m_services.setKeyReleaseHandler([this](QObject* sender, const QKeyEvent& event) {
        FormKeyUp(sender, event.key());
    });
    FormCreate();
}

ExplorerWindow::~ExplorerWindow() {
    m_services.setKeyReleaseHandler({});
}

QString ExplorerWindow::titleLine() const {
    return kTitle + kTitleTail;
}

void ExplorerWindow::FormCreate() {
    m_picDir = common::CurrentDirectory();
    m_picBaseName = "Bild";
    m_picNumber = 1;
    m_showDelayMs = 3000;
    FitWindowToScreen();
    setWindowTitle(titleLine());
    common::TakeOverStartFolder(m_picDir);
}

void ExplorerWindow::FitWindowToScreen() {
    const common::ScreenInfo screen = m_services.screen();
    const std::vector<ScaleStep> steps = FitWindowSteps(screen);
    const int side = ScaleLength(kDesignClientSize, steps);
    setFixedSize(side, side);
    m_picture.resize(side, side, common::kBlack);
    m_view->setGeometry(0, 0, side, side);
    // The middle of the screen.
    move((screen.width - side) / 2, (screen.height - side) / 2);
}

bool ExplorerWindow::event(QEvent* e) {
    if (e->type() == QEvent::WindowActivate && m_activations == 0) {
        ++m_activations;
        FormActivate();
    }
    return QWidget::event(e);
}

void ExplorerWindow::FormActivate() {
    m_picWidth = width();
    m_picHeight = height();
    ClearPicture();
}

void ExplorerWindow::ClearPicture() {
    setWindowTitle(titleLine());
    m_picture.setRasterMode(common::RasterMode::Copy);
    m_picture.fill(common::kBlack);
}

void ExplorerWindow::FormKeyUp(QObject* /*sender*/, int key) {
    if (key == Qt::Key_E) {
        close();
    }
}

void ExplorerWindow::closeEvent(QCloseEvent* e) {
    ClearPicture();
    e->accept();
}

} // namespace explorer
