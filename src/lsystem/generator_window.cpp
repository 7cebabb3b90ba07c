#include "generator_window.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>

#include "canvas_view.h"
#include "fonts.h"
#include "generator_help.h"
#include "key_preview.h"
#include "parameters.h"
#include "paths.h"
#include "screen_scale.h"

namespace lsystem {

namespace {

constexpr int kF9 = 120;
const QColor kSkyBlue(166, 202, 240);

QString fromUtf8(const std::string& text) {
    return QString::fromStdString(text);
}

} // namespace

GeneratorWindow::GeneratorWindow(common::Services& services, QWidget* parent)
    : QWidget(parent), m_services(services), m_walk(m_turtle, m_image, services) {
    setObjectName(QStringLiteral("Form15"));
    setWindowTitle(QStringLiteral("ZUDIRUR - Ein Generator für fraktale Gebilde"));
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMaximizeButtonHint | Qt::WindowCloseButtonHint);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, QColor(128, 128, 128));
    setPalette(pal);
    setAutoFillBackground(true);

    platform::SubstituteDesignFonts();
    buildControls();
    platform::InstallKeyPreview(this, m_services, [this](QObject* sender, const QKeyEvent& event) {
        FormKeyUp(sender, platform::VirtualKeyCode(event), event.modifiers());
        // The formula field's own key handler comes after the window's, and like it acts
        // once per key however long the key is held.
        if (sender == Edit2) {
            Edit2KeyUp(platform::VirtualKeyCode(event));
        }
    });
    FormCreate();
}

GeneratorWindow::~GeneratorWindow() {
    m_walk.stop();
    // The children die after this part of the window: a field that loses the focus as it goes
    // still signals (the list of Julia constants reports a pick), and must find no handler here.
    for (QObject* child : findChildren<QObject*>()) {
        child->disconnect(this);
    }
}

void GeneratorWindow::place(QWidget* w, int left, int top, int width, int height) {
    m_placed.push_back({w, QRect(left, top, width, height)});
}

void GeneratorWindow::buildControls() {
    Panel2 = new QFrame(this);
    Panel2->setObjectName(QStringLiteral("Panel2"));
    Panel2->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    Panel2->setLineWidth(4);
    Panel2->setAutoFillBackground(true);
    QPalette blue = Panel2->palette();
    blue.setColor(QPalette::Window, kSkyBlue);
    Panel2->setPalette(blue);
    place(Panel2, 7, 13, 286, 513);

    Panel1 = new QFrame(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setFrameStyle(QFrame::Panel | QFrame::Raised);
    place(Panel1, 301, 16, 508, 510);
    Image1 = new platform::CanvasView(m_image, Panel1);
    Image1->setObjectName(QStringLiteral("Image1"));
    place(Image1, 7, 7, 493, 493);
    connect(Image1, &platform::CanvasView::mousePressed, this,
            [this](Qt::MouseButton, Qt::MouseButtons, Qt::KeyboardModifiers, QPoint pos) {
                Image1MouseDown(pos);
            });

    RichEdit1 = new QPlainTextEdit(this);
    RichEdit1->setObjectName(QStringLiteral("RichEdit1"));
    RichEdit1->setReadOnly(true);
    RichEdit1->setLineWrapMode(QPlainTextEdit::NoWrap);
    RichEdit1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    RichEdit1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    QPalette tip = RichEdit1->palette();
    tip.setColor(QPalette::Base, tip.color(QPalette::ToolTipBase));
    tip.setColor(QPalette::Text, tip.color(QPalette::ToolTipText));
    RichEdit1->setPalette(tip);
    QStringList help;
    for (const std::string& line : HelpLines()) {
        help << fromUtf8(line);
    }
    RichEdit1->setPlainText(help.join(QLatin1Char('\n')));
    place(RichEdit1, 301, 13, 506, 513);
    RichEdit1->hide();

    RichEdit2 = new QPlainTextEdit(Panel2);
    RichEdit2->setObjectName(QStringLiteral("RichEdit2"));
    RichEdit2->setLineWrapMode(QPlainTextEdit::NoWrap);
    place(RichEdit2, 97, 481, 205, 38);
    RichEdit2->hide();

    const auto label = [this](const char* name, const QString& text, int left, int top) {
        auto* l = new QLabel(text, Panel2);
        l->setObjectName(QString::fromLatin1(name));
        place(l, left, top, 240, 16);
        return l;
    };
    const auto edit = [this](const char* name, int left, int top, int width) {
        auto* e = new QLineEdit(Panel2);
        e->setObjectName(QString::fromLatin1(name));
        place(e, left, top, width, 24);
        return e;
    };
    const auto button = [this](const char* name, const QString& text, int left, int top, int width,
                               int height) {
        auto* b = new QPushButton(text, Panel2);
        b->setObjectName(QString::fromLatin1(name));
        place(b, left, top, width, height);
        return b;
    };

    Label9 = label("Label9", QStringLiteral("Formeleingabe"), 20, 16);
    CheckBox3 = new QCheckBox(QStringLiteral("horizontaler Start"), Panel2);
    CheckBox3->setObjectName(QStringLiteral("CheckBox3"));
    place(CheckBox3, 142, 13, 121, 13);
    CheckBox4 = new QCheckBox(QStringLiteral("mit Anhalten"), Panel2);
    CheckBox4->setObjectName(QStringLiteral("CheckBox4"));
    place(CheckBox4, 142, 33, 121, 13);
    Edit2 = edit("Edit2", 20, 58, 243);
    label("Label10", QStringLiteral("Verkleinerungsfaktor (0 .. 1)"), 20, 90);
    Edit3 = edit("Edit3", 198, 84, 65);
    label("Label11", QStringLiteral("Winkel Rechtsdrehung (+)"), 20, 116);
    Edit4 = edit("Edit4", 198, 109, 65);
    label("Label12", QStringLiteral("Winkel Linksdrehung (-)"), 20, 141);
    Edit5 = edit("Edit5", 198, 135, 65);
    label("Label13", QStringLiteral("Länge der Startstrecke (>0)"), 20, 167);
    Edit6 = edit("Edit6", 198, 160, 65);
    label("Label3", QStringLiteral("Radius der Knoten (0 .. 10)"), 20, 192);
    Edit1 = edit("Edit1", 198, 186, 65);
    label("Label14", QStringLiteral("Zahl der Iterationen (1 .. 10)"), 20, 218);
    Edit7 = edit("Edit7", 198, 212, 65);
    label("Label5", QStringLiteral("Wartezeit in Millisekunden"), 20, 243);
    Edit8 = edit("Edit8", 198, 238, 65);
    Button2 = button("Button2", QStringLiteral("Erzeugen"), 19, 275, 123, 27);
    Button4 = button("Button4", QStringLiteral("Laden"), 154, 275, 109, 27);
    Button3 = button("Button3", QStringLiteral("Löschen"), 19, 308, 123, 26);
    Button5 = button("Button5", QStringLiteral("Speichern"), 154, 308, 109, 26);
    Button1 = button("Button1", QStringLiteral("Hilfe ein/aus"), 19, 339, 123, 27);
    Button6 = button("Button6", QStringLiteral("Drucken"), 154, 339, 109, 27);
    label("Label7", QStringLiteral("Startpunkt anklicken und <Erzeugen>"), 20, 378);
    label("Label4", QStringLiteral("Abbrechen mit <Esc>"), 20, 398);
    Label17 = label("Label17", QStringLiteral("Fraktalname = "), 20, 417);
    auto* bevel = new QFrame(Panel2);
    bevel->setObjectName(QStringLiteral("Bevel1"));
    bevel->setFrameStyle(QFrame::HLine | QFrame::Raised);
    place(bevel, 19, 448, 244, 7);
    Label6 = label("Label6", QStringLiteral("Grafik"), 20, 468);
    Button7 = button("Button7", QStringLiteral("Beenden"), 154, 468, 109, 26);

    connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
    connect(Button2, &QPushButton::clicked, this, [this] { Button2Click(); });
    connect(Button3, &QPushButton::clicked, this, [this] { Button3Click(); });
    connect(Button4, &QPushButton::clicked, this, [this] { Button4Click(); });
    connect(Button5, &QPushButton::clicked, this, [this] { Button5Click(); });
    connect(Button6, &QPushButton::clicked, this, [this] { Button6Click(); });
    connect(Button7, &QPushButton::clicked, this, [this] { Button7Click(); });
    for (QLineEdit* field : {Edit1, Edit2, Edit3, Edit4, Edit5, Edit6, Edit7, Edit8}) {
        connect(field, &QLineEdit::returnPressed, this, [this, field] { enterPressed(field); });
    }

    const std::vector<QWidget*> tabOrder = {Edit2,     Edit3,   Edit4,   Edit5,   Edit6,   Edit7,
                                            Button2,   Button3, Button4, Button5, Button6, CheckBox3,
                                            CheckBox4, Button1, Edit1,   Button7, Edit8};
    for (std::size_t i = 1; i < tabOrder.size(); ++i) {
        setTabOrder(tabOrder[i - 1], tabOrder[i]);
    }
}

void GeneratorWindow::ScaleWindowToScreen() {
    const int designFontPoints = 10; // the window font: 13 pixels at 96 dpi
    const WindowScaling scaling = ScaleForScreen(m_services.screen(), designFontPoints);
    m_scaleSteps = scaling.steps;
    const auto s = [this](int v) {
        return common::ScaleLength(v, m_scaleSteps);
    };
    for (const Placed& p : m_placed) {
        p.widget->setGeometry(s(p.design.left()), s(p.design.top()), s(p.design.width()),
                              s(p.design.height()));
    }
    QFont font = platform::PixelFont(QStringLiteral("Arial"), s(13), true);
    if (scaling.fontPointSize > 0) {
        font.setPointSize(scaling.fontPointSize);
    }
    setFont(font);
    RichEdit1->setFont(platform::PixelFont(QStringLiteral("Courier New"), s(13), true));
    for (QLabel* l : Panel2->findChildren<QLabel*>()) {
        l->adjustSize();
    }
    resize(s(1024), s(727));
    m_image.resize(Image1->width(), Image1->height(), common::kWhite);
    setWindowState(windowState() | Qt::WindowMaximized);
}

void GeneratorWindow::FormCreate() {
    m_workDir = common::CurrentDirectory();
    ScaleWindowToScreen();
    // A label here breaks lines at line feeds only.
    Label9->setText(QStringLiteral("Formel eingeben \noder <F1>...<F7>"));
    Label9->adjustSize();
    common::TakeOverStartFolder(m_workDir);
}

bool GeneratorWindow::event(QEvent* e) {
    // Only the first activation sets the start-up values.
    if (e->type() == QEvent::WindowActivate && m_activations == 0) {
        ++m_activations;
        FormActivate();
    }
    return QWidget::event(e);
}

void GeneratorWindow::FormActivate() {
    // Where no window manager answers the request to maximise, take the screen's free area.
    if (QScreen* shown = screen(); shown != nullptr && width() > shown->availableGeometry().width()) {
        setGeometry(shown->availableGeometry());
    }
    RichEdit1->hide();
    m_imageWidth = Image1->width();
    m_imageHeight = Image1->height();
    if (m_image.width() != m_imageWidth || m_image.height() != m_imageHeight) {
        m_image.resize(m_imageWidth, m_imageHeight, common::kWhite);
    }
    Label6->setText(QStringLiteral("Grafik  %1 x %2").arg(m_imageWidth).arg(m_imageHeight));
    Label6->adjustSize();
    m_penColour = common::kBlack;
    m_backColour = common::kWhite;
    InitDefaults();
}

void GeneratorWindow::InitDefaults() {
    Edit2->setText(QStringLiteral("F(-F)+F-"));
    Edit3->setText(QStringLiteral("0.70"));
    Edit4->setText(QStringLiteral("20"));
    Edit5->setText(QStringLiteral("20"));
    Edit6->setText(QStringLiteral("16"));
    Edit1->setText(QStringLiteral("4"));
    Edit7->setText(QStringLiteral("3"));
    m_startX = 250;
    m_startY = 400;
    CheckBox3->setChecked(false);
    m_waitMs = 1;
    Edit8->setText(QStringLiteral("1"));
    m_formulaName = "baum1.frc";
    setLabel17();
    Panel1->show();
    Panel2->show();
    ClearImage(m_backColour);
    Edit2->setFocus();
}

void GeneratorWindow::setLabel17() {
    Label17->setText(QStringLiteral("Fraktalname = ") + fromUtf8(m_formulaName));
    Label17->adjustSize();
}

void GeneratorWindow::ClearImage(common::Colour colour) {
    ++m_clearings;
    m_areaShowsRecord = false;
    ClearArea(m_image, m_imageWidth, m_imageHeight, colour, m_penColour);
}

void GeneratorWindow::MarkStartPoint(QPoint at) {
    const int x = at.x();
    const int y = at.y();
    m_image.setPen({m_penColour, 2, common::PenStyle::Solid});
    m_image.moveTo(x, y);
    m_image.lineTo(x - 3, y);
    m_image.lineTo(x + 3, y);
    m_image.moveTo(x, y);
    m_image.lineTo(x, y - 3);
    m_image.lineTo(x, y + 3);
    m_image.setPen({m_penColour, 1, common::PenStyle::Solid});
}

void GeneratorWindow::Image1MouseDown(QPoint pos) {
    if (drawing()) {
        return;
    }
    ClearImage(m_backColour);
    m_startX = pos.x();
    m_startY = pos.y();
    MarkStartPoint(pos);
}

void GeneratorWindow::Button1Click() {
    RichEdit1->setVisible(!RichEdit1->isVisible());
    if (RichEdit1->isVisible()) {
        RichEdit1->raise();
    }
}

void GeneratorWindow::Button3Click() {
    if (drawing() || RichEdit1->isVisible()) {
        return;
    }
    const std::string answer = m_services.inputBox("Hintergrundfarbe", "0 = schwarz, 1 = weiß", "1");
    // No blanks are removed here: only a text that is exactly an integer 0 means black.
    const std::optional<std::int32_t> value =
        answer.find(' ') == std::string::npos ? ParseFieldInt(answer) : std::nullopt;
    if (value && *value == 0) {
        m_backColour = common::kBlack;
        m_penColour = common::kYellow;
    } else {
        m_backColour = common::kWhite;
        m_penColour = common::kBlack;
    }
    ClearImage(m_backColour);
    for (QLineEdit* field : {Edit1, Edit2, Edit3, Edit4, Edit5, Edit6, Edit7}) {
        field->clear();
    }
    Edit8->setText(QStringLiteral("1"));
    CheckBox3->setChecked(false);
    CheckBox4->setChecked(false);
    m_formulaName.clear();
    setLabel17();
    Edit2->setFocus();
}

void GeneratorWindow::Button7Click() {
    ClearImage(m_backColour);
    close();
}

void GeneratorWindow::closeEvent(QCloseEvent* e) {
    // A drawing runs inside a handler further down the stack: it must end with the window.
    m_closing = true;
    m_walk.stop();
    e->accept();
}

void GeneratorWindow::enterPressed(QLineEdit* field) {
    if (field == Edit2) {
        Edit3->setFocus();
    } else if (field == Edit3) {
        Edit4->setFocus();
    } else if (field == Edit4) {
        Edit5->setText(Edit4->text());
        Edit5->setFocus();
    } else if (field == Edit5) {
        Edit6->setFocus();
    } else if (field == Edit6) {
        Edit1->setFocus();
    } else if (field == Edit1) {
        Edit7->setFocus();
    } else if (field == Edit7) {
        Edit8->setFocus();
    } else if (field == Edit8) {
        Button2->setFocus();
    }
}

void GeneratorWindow::FormKeyUp(QObject* /*sender*/, int key, Qt::KeyboardModifiers modifiers) {
    const Qt::KeyboardModifiers shiftState =
        modifiers & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier);
    if (key == kF9 && shiftState != Qt::ControlModifier) {
        ExportJpeg();
    }
}

std::vector<std::string> GeneratorWindow::parameterRecord() const {
    std::vector<std::string> lines;
    const QString text = RichEdit2->toPlainText();
    if (text.isEmpty()) {
        return lines;
    }
    for (const QString& line : text.split(QLatin1Char('\n'))) {
        lines.push_back(line.toStdString());
    }
    return lines;
}

void GeneratorWindow::setRecord(const std::vector<std::string>& lines) {
    QStringList text;
    for (const std::string& line : lines) {
        text << fromUtf8(line);
    }
    RichEdit2->setPlainText(text.join(QLatin1Char('\n')));
}

} // namespace lsystem
