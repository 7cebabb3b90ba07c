#include "explorer_window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QFrame>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>

#include "canvas_view.h"
#include "explorer_help.h"
#include "fonts.h"
#include "key_preview.h"
#include "paths.h"

namespace explorer {

namespace {

const QString kTitle = QStringLiteral("Apfelmännchen");
const QString kTitleTail = QStringLiteral(",  <M> Start, <E> Ende, <H> Hilfe ein/aus");
const QColor kSilver(192, 192, 192);

/// The start-point panel's instruction: five lines of 39 characters, carriage returns between.
const QString kStartPointText = QStringLiteral("---------------------------------------\r"
                                               " Startpunkt für Julia-Mengen mittels   \r"
                                               " linkem Mausklick aus der Box wählen   \r"
                                               " und mit dem Schalter <START> starten. \r"
                                               "---------------------------------------");

const std::array<const char*, 12> kJuliaPresets = {"0.00/0.00",  "0.34/0.38",   "0.35/0.39",   "0.40/0.35",
                                                   "0.41/0.34",  "-0.08/-0.65", "-0.10/-0.65", "-0.10/-0.70",
                                                   "-0.49/0.61", "-0.50/0.60",  "-0.52/0.52",  "-0.55/0.50"};

} // namespace

ExplorerWindow::ExplorerWindow(common::Services& services, QWidget* parent)
    : QWidget(parent), m_services(services) {
    setObjectName(QStringLiteral("Form4"));
    // A fixed single border with the close box only.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::black);
    setPalette(pal);
    setAutoFillBackground(true);

    platform::SubstituteDesignFonts();
    buildControls();
    platform::InstallKeyPreview(this, m_services, [this](QObject* sender, const QKeyEvent& event) {
        FormKeyUp(sender, platform::VirtualKeyCode(event));
    });
    FormCreate();
}

ExplorerWindow::~ExplorerWindow() {
    m_engine.cancel();
    if (m_deviceEngine) {
        m_deviceEngine->cancel();
    }
    // The children die after this part of the window: a field that loses the focus as it goes
    // still signals (the list of Julia constants reports a pick), and must find no handler here.
    for (QObject* child : findChildren<QObject*>()) {
        child->disconnect(this);
    }
}

QString ExplorerWindow::titleLine() const {
    return kTitle + kTitleTail;
}

void ExplorerWindow::place(QWidget* w, int left, int top, int width, int height) {
    m_placed.push_back({w, QRect(left, top, width, height)});
}

void ExplorerWindow::buildControls() {
    m_view = new platform::CanvasView(m_picture, this);
    m_view->setObjectName(QStringLiteral("PictureArea"));
    connect(m_view, &platform::CanvasView::mousePressed, this,
            [this](Qt::MouseButton b, Qt::MouseButtons bs, Qt::KeyboardModifiers m, QPoint p) {
                FormMouseDown(b, bs, m, p);
            });
    connect(m_view, &platform::CanvasView::mouseMoved, this,
            [this](Qt::MouseButtons bs, Qt::KeyboardModifiers m, QPoint p) { FormMouseMove(bs, m, p); });
    connect(m_view, &platform::CanvasView::mouseReleased, this,
            [this](Qt::MouseButton, Qt::MouseButtons, Qt::KeyboardModifiers, QPoint) { FormMouseUp(); });

    Memo1 = new QPlainTextEdit(this);
    Memo1->setObjectName(QStringLiteral("Memo1"));
    Memo1->setReadOnly(true);
    Memo1->setLineWrapMode(QPlainTextEdit::NoWrap);
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    QStringList help;
    for (const std::string& line : HelpLines()) {
        help << QString::fromStdString(line);
    }
    Memo1->setPlainText(help.join(QLatin1Char('\n')));
    Memo1->hide();

    // The colour panel.
    Panel1 = new QFrame(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setFrameShape(QFrame::Box);
    Panel1->setAutoFillBackground(true);
    QPalette silver = Panel1->palette();
    silver.setColor(QPalette::Window, kSilver);
    Panel1->setPalette(silver);
    place(Panel1, 7, 7, 290, 384);
    Label2 = new QLabel(QStringLiteral("Randfarben  (0 ... 255)  Hauptfarben "), Panel1);
    Label2->setObjectName(QStringLiteral("Label2"));
    place(Label2, 26, 27, 250, 18);
    const std::array<const char*, 3> channels = {"Rot", "Grün", "Blau"};
    const std::array<int, 3> labelTops = {78, 111, 143};
    const std::array<int, 3> editTops = {72, 104, 137};
    for (int i = 0; i < 3; ++i) {
        auto* label = new QLabel(QString::fromUtf8(channels[static_cast<std::size_t>(i)]), Panel1);
        label->setObjectName(QStringLiteral("Label%1").arg(3 + i));
        place(label, 27, labelTops[static_cast<std::size_t>(i)], 36, 18);
    }
    for (int i = 0; i < 6; ++i) {
        auto* edit = new QLineEdit(Panel1);
        edit->setObjectName(QStringLiteral("Edit%1").arg(i + 1));
        place(edit, i < 3 ? 66 : 163, editTops[static_cast<std::size_t>(i % 3)], 52, 24);
        m_edits[static_cast<std::size_t>(i)] = edit;
    }
    RadioGroup1 = new QGroupBox(QStringLiteral("Farbmischung"), Panel1);
    RadioGroup1->setObjectName(QStringLiteral("RadioGroup1"));
    place(RadioGroup1, 26, 176, 222, 52);
    auto* radios = new QHBoxLayout(RadioGroup1);
    radios->setContentsMargins(8, 2, 8, 2);
    m_additive = new QRadioButton(QStringLiteral("additiv"), RadioGroup1);
    m_subtractive = new QRadioButton(QStringLiteral("subtraktiv"), RadioGroup1);
    radios->addWidget(m_additive);
    radios->addWidget(m_subtractive);
    m_additive->setChecked(true);
    Button1 = new QPushButton(QStringLiteral("Farbwerte übernehmen"), Panel1);
    Button1->setObjectName(QStringLiteral("Button1"));
    place(Button1, 26, 248, 223, 36);
    Button2 = new QPushButton(QStringLiteral("Originalfarben setzen"), Panel1);
    Button2->setObjectName(QStringLiteral("Button2"));
    place(Button2, 26, 287, 223, 36);
    Button3 = new QPushButton(QStringLiteral("Farbfenster schließen"), Panel1);
    Button3->setObjectName(QStringLiteral("Button3"));
    place(Button3, 26, 326, 223, 36);
    connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
    connect(Button2, &QPushButton::clicked, this, [this] { Button2Click(); });
    connect(Button3, &QPushButton::clicked, this, [this] { Button3Click(); });
    Panel1->hide();

    // The start-point panel.
    Panel2 = new QFrame(this);
    Panel2->setObjectName(QStringLiteral("Panel2"));
    Panel2->setAutoFillBackground(true);
    Panel2->setPalette(silver);
    place(Panel2, 7, 7, 345, 520);
    Label1 = new QLabel(Panel2);
    Label1->setObjectName(QStringLiteral("Label1"));
    place(Label1, 26, 26, 300, 90);
    ComboBox1 = new QComboBox(Panel2);
    ComboBox1->setObjectName(QStringLiteral("ComboBox1"));
    ComboBox1->setEditable(true);
    ComboBox1->setInsertPolicy(QComboBox::NoInsert);
    // The text is read as typed: an inline completion would turn a typed "-0.1" into the first
    // preset that begins with it, and START would draw a constant nobody typed.
    ComboBox1->setCompleter(nullptr);
    for (const char* entry : kJuliaPresets) {
        ComboBox1->addItem(QString::fromLatin1(entry));
    }
    ComboBox1->setCurrentIndex(-1);
    ComboBox1->setEditText(QString());
    place(ComboBox1, 26, 291, 280, 24);
    connect(ComboBox1, qOverload<int>(&QComboBox::activated), this,
            [this](int index) { ComboBox1Click(index); });
    Button4 = new QPushButton(QStringLiteral("START"), Panel2);
    Button4->setObjectName(QStringLiteral("Button4"));
    place(Button4, 250, 470, 78, 34);
    connect(Button4, &QPushButton::clicked, this, [this] { Button4Click(); });
    Panel2->hide();
}

void ExplorerWindow::applyScaling() {
    const auto s = [this](int v) {
        return ScaleToScreen(v, m_scaleSteps);
    };
    for (const Placed& p : m_placed) {
        p.widget->setGeometry(s(p.design.left()), s(p.design.top()), s(p.design.width()),
                              s(p.design.height()));
    }
    setFont(platform::PixelFont(QStringLiteral("MS Sans Serif"), s(10), false));
    const QFont panelFont = platform::PixelFont(QStringLiteral("MS Sans Serif"), s(15), false);
    Panel1->setFont(panelFont);
    Memo1->setFont(platform::PixelFont(QStringLiteral("Courier New"), s(13), true));
    Label1->setFont(platform::PixelFont(QStringLiteral("Courier New"), s(12), true));
    // The list and START name no size of their own: they take the window's, so only the family
    // and the weight are set and the size stays inherited.
    QFont listFont;
    listFont.setFamily(QStringLiteral("Courier New"));
    listFont.setStyleHint(QFont::TypeWriter);
    listFont.setBold(true);
    ComboBox1->setFont(listFont);
    QFont startFont;
    startFont.setBold(true);
    Button4->setFont(startFont);
    // Labels size themselves to their text.
    for (QLabel* label : findChildren<QLabel*>()) {
        label->adjustSize();
    }
}

void ExplorerWindow::FitWindowToScreen() {
    const common::ScreenInfo screen = m_services.screen();
    m_scaleSteps = FitWindowSteps(screen);
    applyScaling();
    const int side = ScaleToScreen(kDesignClientSize, m_scaleSteps);
    setFixedSize(side, side);
    centreOnScreen();
}

void ExplorerWindow::centreOnScreen() {
    // The whole window, title bar and borders included, goes to the middle of the screen.
    // Before the window exists its frame is unknown and counts as the client area alone.
    const common::ScreenInfo screen = m_services.screen();
    const QSize frame = frameGeometry().size();
    move(std::max(0, (screen.width - frame.width()) / 2), std::max(0, (screen.height - frame.height()) / 2));
}

void ExplorerWindow::FormCreate() {
    m_s.PicDir = common::CurrentDirectory();
    m_s.PicBaseName = "Bild";
    m_s.PicNumber = 1;
    m_s.ShowDelay = 3000;
    FitWindowToScreen();
    setWindowTitle(titleLine());
    common::TakeOverStartFolder(m_s.PicDir);
}

bool ExplorerWindow::event(QEvent* e) {
    // Only the first activation sets the start state; closing a box of our own activates the
    // window again without that.
    if (e->type() == QEvent::WindowActivate && m_activations == 0) {
        ++m_activations;
        // Only a shown window knows its frame; centre it again now that the frame is known.
        if (!isMaximized()) {
            centreOnScreen();
        }
        FormActivate();
    }
    return QWidget::event(e);
}

void ExplorerWindow::FormActivate() {
    m_s.colours.AdditiveMix = true;
    Memo1->hide();
    QPalette memoPalette = Memo1->palette();
    memoPalette.setColor(QPalette::Base, QColor(250, 240, 250));
    Memo1->setPalette(memoPalette);
    measure();
    m_s.EscapeRadius = kEscapeRadius;
    m_s.MaxIter = kMaxIter;
    m_s.BandAnchor = {0, 0};
    m_s.BandCorner = {0, 0};
    SetBandPen(m_picture);
    m_s.BandFinished = true;
    m_s.ZoomPending = false;
    m_s.StartPressed = false;
    // A label here breaks lines at line feeds only.
    Label1->setText(QString(kStartPointText).replace(QLatin1Char('\r'), QLatin1Char('\n')));
    Label1->adjustSize();
    m_s.UseOriginalColours = true;
    m_s.MandelbrotRunning = false;
    m_s.JuliaRunning = false;
    m_s.PrintScale = 1.0;
    ClearPicture();
}

void ExplorerWindow::measure() {
    MeasurePicture(m_s, width(), height());
    if (m_picture.width() != width() || m_picture.height() != height()) {
        m_picture.resize(width(), height(), common::kBlack);
    }
    followDevicePixelRatio();
}

void ExplorerWindow::followDevicePixelRatio() {
    const double ratio = devicePixelRatioF();
    if (ratio == m_device.ratio() && m_device.canvas().width() == m_device.edge(m_picture.width()) &&
        m_device.canvas().height() == m_device.edge(m_picture.height())) {
        return;
    }
    m_device.resize(ratio, m_picture.width(), m_picture.height());
    if (m_device.active()) {
        // The picture on the surface was shown at the old ratio: start again from black.
        m_device.clear();
        if (!m_deviceEngine) {
            m_deviceEngine = std::make_unique<CountEngine>();
        }
    }
    m_view->showDeviceCanvas(m_device.active() ? &m_device.canvas() : nullptr, m_device.ratio());
}

void ExplorerWindow::resizeEvent(QResizeEvent* e) {
    QWidget::resizeEvent(e);
    m_view->setGeometry(0, 0, width(), height());
    Memo1->setGeometry(0, 0, width(), height());
}

void ExplorerWindow::setCaption(const std::string& text) {
    setWindowTitle(QString::fromStdString(text));
}

void ExplorerWindow::ClearPicture() {
    m_drawnRecord.reset();
    setWindowTitle(titleLine());
    explorer::ClearPicture(m_s, m_picture);
    // Every drawing begins here: a window moved to a screen of another density draws for it.
    followDevicePixelRatio();
    if (m_device.active()) {
        m_device.clear();
    }
}

void ExplorerWindow::setWindowSize(bool maximised) {
    const int side = ScaleToScreen(kDesignClientSize, m_scaleSteps);
    if (maximised) {
        setMinimumSize(0, 0);
        setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
        setWindowState(windowState() | Qt::WindowMaximized);
        QApplication::processEvents();
        // Without a window manager nothing answers the request: take the screen's free area.
        if (width() == side && height() == side && screen() != nullptr) {
            setGeometry(screen()->availableGeometry());
        }
    } else {
        setWindowState(windowState() & ~Qt::WindowMaximized);
        setFixedSize(side, side);
    }
    QApplication::processEvents();
}

void ExplorerWindow::FormClose() {
    m_s.ZoomPending = false;
    Panel1->hide();
    ClearPicture();
}

void ExplorerWindow::closeEvent(QCloseEvent* e) {
    // A drawing or a wait that runs inside a handler must end with the window.
    m_closing = true;
    m_s.StartPressed = true;
    m_engine.cancel();
    if (m_deviceEngine) {
        m_deviceEngine->cancel();
    }
    FormClose();
    e->accept();
}

// --- mouse: the rubber band

namespace {
bool exactlyLeft(Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers) {
    return buttons == Qt::LeftButton &&
           (modifiers & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier)) == 0;
}
} // namespace

void ExplorerWindow::FormMouseDown(Qt::MouseButton /*button*/, Qt::MouseButtons buttons,
                                   Qt::KeyboardModifiers modifiers, QPoint pos) {
    // A press erases the band there is and draws none.
    m_device.noteBefore(m_picture, BandBox(m_s.BandAnchor, m_s.BandCorner));
    BandPress(m_s, m_picture, exactlyLeft(buttons, modifiers), {pos.x(), pos.y()});
    m_device.repeatChanges(m_picture);
}

void ExplorerWindow::FormMouseMove(Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers, QPoint pos) {
    // A move redraws the band from its old corner to the new one.
    m_device.noteBefore(m_picture, Union(BandBox(m_s.BandAnchor, m_s.BandCorner),
                                         BandBox(m_s.BandAnchor, {pos.x(), pos.y()})));
    const std::string caption =
        BandMove(m_s, m_picture, exactlyLeft(buttons, modifiers), {pos.x(), pos.y()}, m_s.LastKey == 'J');
    m_device.repeatChanges(m_picture);
    if (!caption.empty()) {
        setCaption(caption);
    }
}

void ExplorerWindow::FormMouseUp() {
    const std::string caption = BandRelease(m_s);
    if (!caption.empty()) {
        setCaption(caption);
    }
}

} // namespace explorer
