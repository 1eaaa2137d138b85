#include "app/Mainform.h"

#include <cmath>
#include <exception>
#include <initializer_list>
#include <string>
#include <utility>

#if defined(__i386__) || defined(__x86_64__)
#include <fpu_control.h>
#endif
#include <cfenv>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QDialog>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QStatusBar>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>
#include <QDir>
#include <QFile>
#include <QKeyEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QFrame>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QResizeEvent>
#include <QScrollArea>
#include <QScrollBar>
#include <QStyle>
#include <QShowEvent>
#include <QToolBar>
#include <QToolButton>
#include <QWheelEvent>

#include "app/AboutDialog.h"
#include "app/GuideDialog.h"
#include "app/AppIcons.h"
#include "app/AppSettings.h"
#include "app/GLView.h"
#include "app/LayoutDialog.h"
#include "app/SuggestDialog.h"
#include "app/LightExportAction.h"
#include "app/LightCoverage.h"
#include "app/ModelDrawing.h"
#include "app/ModelLoader.h"
#include "app/PlanDocument.h"
#include "app/PlanReportDialog.h"
#include "app/PreviewDialog.h"
#include "app/PredictDialog.h"
#include "app/SceneRenderer.h"
#include "app/SpinEdit.h"
#include "app/ToolTips.h"
#include "nuk/Pi.h"
#include "planner/Parameters.h"
#include "planner/PlanFile.h"
#include "planner/Stage.h"

TForm1 *Form1 = nullptr;

const char *const TForm1::kCaption = "Quorvel - NUK 2006";

namespace
{

constexpr int kToolBarHeight = 29;
constexpr int kPanel1Width = 265;
constexpr int kMemoHeight = 67;
// Bottom of the lowest control group in the left panel.
constexpr int kPanel1Content = 256 + 281;
// The set-up fields while their text is not the applied value.
// Typed but not applied: pale amber, italic. Not a whole number: pale red,
// which wins.
const char *const kFieldStyle = "SpinEdit[notApplied=\"true\"] { background-color: #ffe7a3; font-style: italic; }\n"
                                "SpinEdit[notANumber=\"true\"] { background-color: #f6c1bb; }";

// A model's extent as a reader takes it in: whole millimetres, or three
// significant digits below 100 mm.
QString MillimetreText(double mm)
{
    if (!std::isfinite(mm)) return QStringLiteral("?");
    return std::fabs(mm) >= 100 ? QString::number(std::lround(mm)) : QString::number(mm, 'g', 3);
}

QFrame *MakePanel(QWidget *parent, const char *name, QFrame::Shadow shadow)
{
    auto *f = new QFrame(parent);
    f->setObjectName(name);
    f->setFrameStyle(QFrame::Panel | shadow);
    f->setLineWidth(1);
    return f;
}

QLabel *MakeLabel(QWidget *parent, const char *name, const char *text, int left, int top)
{
    auto *l = new QLabel(QString::fromLatin1(text), parent);
    l->setObjectName(name);
    l->move(left, top);
    l->adjustSize();
    return l;
}

SpinEdit *MakeSpin(QWidget *parent, const char *name, const QRect &geometry, planner::Param param)
{
    auto *s = new SpinEdit(parent, planner::Spec(param));
    s->setObjectName(name);
    s->setGeometry(geometry);
    // The unit right of the field: lengths are millimetres, steps degrees.
    const bool mm = std::string(planner::Spec(param).unit) == "mm";
    auto *unit = new QLabel(mm ? QStringLiteral("mm") : QStringLiteral("\u00b0"), parent);
    unit->setObjectName(QStringLiteral("%1_unit").arg(QString::fromLatin1(name)));
    unit->move(geometry.right() + 4, geometry.top() + 4);
    unit->adjustSize();
    return s;
}

QPushButton *MakeButton(QWidget *parent, const char *name, const char *text, const QRect &geometry)
{
    auto *b = new QPushButton(QString::fromLatin1(text), parent);
    b->setObjectName(name);
    b->setGeometry(geometry);
    return b;
}

QCheckBox *MakeCheck(QWidget *parent, const char *name, const char *text, const QRect &geometry)
{
    auto *c = new QCheckBox(QString::fromLatin1(text), parent);
    c->setObjectName(name);
    c->setGeometry(geometry);
    return c;
}

// A control of fixed width whose text would be cut takes a smaller font,
// down to 8 pixels, rather than losing the end of its text.
int NeededWidth(QAbstractButton *b)
{
    if (qobject_cast<QCheckBox *>(b)) return b->sizeHint().width();
    // A push button's size hint has a minimum width of its own; only the
    // text and the button's margins count here.
    const QStyle *st = b->style();
    return b->fontMetrics().horizontalAdvance(b->text()) + 2 * st->pixelMetric(QStyle::PM_ButtonMargin, nullptr, b) +
           2 * st->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, b);
}

void FitTextToWidth(QAbstractButton *b)
{
    QFont f = b->font();
    int px = f.pixelSize();
    while (px > 8 && NeededWidth(b) > b->width()) {
        f.setPixelSize(--px);
        b->setFont(f);
    }
}

QFrame *MakeSeparator(QWidget *parent, const char *name, const QRect &geometry)
{
    auto *s = new QFrame(parent);
    s->setObjectName(name);
    s->setFrameStyle(QFrame::VLine | QFrame::Sunken);
    s->setGeometry(geometry);
    return s;
}

} // namespace

// All floating-point exceptions masked, x87 extended precision, rounding to
// nearest, before any OpenGL call: drivers must not trap on the program's
// arithmetic, nor the program on theirs.
static void MaskFloatingPointExceptions()
{
#if defined(__i386__) || defined(__x86_64__)
    fpu_control_t cw = 0x133F;
    _FPU_SETCW(cw);
#endif
#if defined(__GLIBC__)
    fedisableexcept(FE_ALL_EXCEPT);
#endif
}

TForm1::TForm1(QWidget *parent) : QWidget(parent)
{
    MaskFloatingPointExceptions();
    Form1 = this;
    setObjectName("Form1");
    setWindowTitle(QString::fromLatin1(kCaption));
    setWindowIcon(ApplicationIcon());
    // The layout's pixel positions were made for a narrow 11 pixel font;
    // where that face is missing, take the closest narrow one at hand.
    QFont::insertSubstitutions(QStringLiteral("MS Sans Serif"),
                               {QStringLiteral("Microsoft Sans Serif"), QStringLiteral("Tahoma"),
                                QStringLiteral("Liberation Sans"), QStringLiteral("DejaVu Sans Condensed"),
                                QStringLiteral("DejaVu Sans")});
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setPixelSize(11);
    setFont(font);

    // The planner's parameters start at their defaults; the report's and
    // the exports' options as last chosen.
    document = new PlanDocument(this);
    const settings::ReportChoice report = settings::Report();
    document->setReportOptions(report.framingKnown ? std::optional<planner::Framing>(report.framing) : std::nullopt,
                               report.grazingBelow);
    const LightExportChoice exported = settings::Export();
    document->setNaming(exported.options.imagePattern, exported.options.firstNumber);

    buildControls();

    // Start values; the scene's reference length is six object sizes.
    zoom = 1.0f;
    zoom_ref = 6.0f * static_cast<float>(document->plan().input.objectSize);

    chooseModelFile = [this] { return RunOpenDialog(); };
    const QString planFilter = QStringLiteral("Quorvel plans (*%1)").arg(QLatin1String(planner::kPlanExtension));
    choosePlanToOpen = [this, planFilter] {
        const QString folder = settings::PlanFolder();
        return QFileDialog::getOpenFileName(this, QStringLiteral("Open plan"),
                                            folder.isEmpty() ? QDir::currentPath() : folder,
                                            planFilter + QStringLiteral(";;All files (*)"));
    };
    choosePlanToSave = [this, planFilter](const QString &suggested) {
        return QFileDialog::getSaveFileName(this, QStringLiteral("Save plan as"), suggested, planFilter);
    };
    showMessage = [this](QMessageBox::Icon icon, const QString &text) {
        QMessageBox box(icon, windowTitle(), text, QMessageBox::Ok, this);
        box.exec();
    };
    confirm = [this](const QString &text) {
        return QMessageBox::question(this, windowTitle(), text, QMessageBox::Yes | QMessageBox::No, QMessageBox::No) ==
               QMessageBox::Yes;
    };
    openGuide = [this] { ShowGuide(this); };

    modelDrawing = std::make_unique<ModelDrawing>(PanelOGL, document->mesh());
    modelDrawing->notice = [this](const QString &text) { ShowNotice(text); };
    connectView();
    connectDocument();
    coverage = new LightCoverage(document, this, this);
    // Last on the toolbar, after the coverage's buttons.
    QToolButton *about =
        AddToolButton("TB_about", QStringLiteral("?"), QStringLiteral("About Quorvel: version, licence, Qt version"));
    connect(about, &QToolButton::clicked, this, [this] { ShowAboutDialog(this); });
    buildLaterMenus();
    setAcceptDrops(true);
    WrappedToolTips::Install();
    showPlan(PlanDocument::Layout);
    // Wide enough for every toolbar button; tall enough for the whole left
    // panel; the view keeps a usable size.
    // The left panel scrolls; the view keeps a usable size.
    setMinimumSize(qMax(kPanel1Width + 200, toolBarEnd_),
                   menuHeight_ + kToolBarHeight + 240 + StatusBar1->sizeHint().height());

    move(389, 230);
    resize(845, 683);
    // Where the window was when it was last closed, if it was.
    if (const QByteArray g = settings::WindowGeometry(); !g.isEmpty() && restoreGeometry(g)) outerSizeApplied_ = true;
}

TForm1::~TForm1()
{
    // The dialogs go first, while the window and the document are whole: a
    // field with a value typed into it hands it in as it is hidden.
    for (QDialog *d : findChildren<QDialog *>(QString(), Qt::FindDirectChildrenOnly)) {
        if (d == Open_ply) Open_ply = nullptr;
        delete d;
    }
    FormDestroy();
    if (Form1 == this) Form1 = nullptr;
}

void TForm1::buildControls()
{
    ImageList1.append(LoadModelIcon());

    buildMenu();
    StatusBar1 = new QStatusBar(this);
    StatusBar1->setObjectName("StatusBar1");
    StatusBar1->setSizeGripEnabled(false);

    ToolBar1 = new QToolBar(this);
    ToolBar1->setObjectName("ToolBar1");
    ToolBar1->setMovable(false);
    ToolBar1->setFloatable(false);
    ToolButton1 = MakeSeparator(ToolBar1, "ToolButton1", QRect(0, 0, 8, kToolBarHeight));
    TB_loadmodel = new QToolButton(ToolBar1);
    TB_loadmodel->setObjectName("TB_loadmodel");
    TB_loadmodel->setIcon(ImageList1.at(0));
    TB_loadmodel->setIconSize(QSize(16, 16));
    TB_loadmodel->setAutoRaise(true);
    TB_loadmodel->setToolTip(QStringLiteral("LOAD PLY REFERENCE MODEL"));
    // The tooltip is the first version's; the manual says what it loads now.
    TB_loadmodel->setAccessibleName(QStringLiteral("Load model"));
    TB_loadmodel->setWhatsThis(QStringLiteral("Load a reference model of the object (PLY, ASCII or binary; OBJ; STL), "
                                              "drawn in the view with the positions"));
    TB_loadmodel->setGeometry(8, 0, 29, kToolBarHeight);
    ToolButton2 = MakeSeparator(ToolBar1, "ToolButton2", QRect(37, 0, 26, kToolBarHeight));
    connect(TB_loadmodel, &QToolButton::clicked, this, [this] { TB_loadmodelClick(); });
    toolBarEnd_ = 63;
    TB_resetview =
        AddToolButton("TB_resetview", QStringLiteral("Reset view"),
                      QStringLiteral("Reset view: turn, move and zoom back to the start (Home over the view)"));
    connect(TB_resetview, &QToolButton::clicked, this, [this] { ResetView(); });
    // In the order of the work: plan the dome, judge it, hand it on.
    QToolButton *layoutButton =
        AddToolButton("TB_layout", QStringLiteral("Layout\u2026"),
                      QStringLiteral("Layout of the positions: grid, rings, spiral or geodesic"));
    connect(layoutButton, &QToolButton::clicked, this,
            [this] { LayoutDialog::Open(document, this, CSE_viewd->Value()); });
    QToolButton *planReport = AddToolButton(
        "TB_planreport", QStringLiteral("Plan report\u2026"),
        QStringLiteral("Plan report: flagged positions, spread of the light directions, fitting and framing"));
    connect(planReport, &QToolButton::clicked, this, [this] { PlanReportDialog::Open(document, this); });
    lightExport = new LightExportAction(document, this, this);
    connect(A_exportlights, &QAction::triggered, lightExport, [this] { lightExport->Run(); });

    // The parameter panel scrolls when the window is too low for it.
    PanelScroll = new QScrollArea(this);
    PanelScroll->setObjectName("PanelScroll");
    PanelScroll->setFrameShape(QFrame::NoFrame);
    PanelScroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    PanelScroll->setWidgetResizable(true);
    Panel1 = MakePanel(nullptr, "Panel1", QFrame::Raised);
    Panel1->setMinimumSize(kPanel1Width - PanelScroll->verticalScrollBar()->sizeHint().width(), kPanel1Content + 8);
    PanelScroll->setWidget(Panel1);

    Panel3 = MakePanel(Panel1, "Panel3", QFrame::Raised);
    Panel3->setGeometry(24, 8, 185, 209);
    Label1 = MakeLabel(Panel3, "Label1", "OBJ size", 16, 24);
    CSE_size = MakeSpin(Panel3, "CSE_size", QRect(80, 16, 65, 22), planner::Param::ObjectSize);
    Label2 = MakeLabel(Panel3, "Label2", "OBJ height", 16, 56);
    CSE_hgh = MakeSpin(Panel3, "CSE_hgh", QRect(80, 48, 65, 22), planner::Param::ObjectHeight);
    Label3 = MakeLabel(Panel3, "Label3", "CAM distance", 8, 104);
    CSE_camdist = MakeSpin(Panel3, "CSE_camdist", QRect(80, 96, 65, 22), planner::Param::CameraDistance);
    Button1 = MakeButton(Panel3, "Button1", "Apply ->", QRect(104, 160, 65, 33));
    connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
    // Typed but not applied: the field says so until "Apply ->" takes it or
    // the text is the applied value again.
    for (SpinEdit *s : {CSE_size, CSE_hgh, CSE_camdist}) {
        s->setStyleSheet(QString::fromLatin1(kFieldStyle));
        connect(s, &SpinEdit::textEdited, this, [this] { markNotApplied(); });
    }

    Panel4 = MakePanel(Panel1, "Panel4", QFrame::Raised);
    Panel4->setGeometry(24, 256, 185, 281);
    Label4 = MakeLabel(Panel4, "Label4", "VIEW distance", 16, 20);
    CSE_viewd = MakeSpin(Panel4, "CSE_viewd", QRect(96, 19, 65, 22), planner::Param::ViewDistance);
    Label5 = MakeLabel(Panel4, "Label5", "HORIZONTAL angle", 8, 68);
    CSE_hangle = MakeSpin(Panel4, "CSE_hangle", QRect(112, 59, 49, 22), planner::Param::HorizontalStep);
    Label6 = MakeLabel(Panel4, "Label6", "VERTICAL angle", 8, 100);
    CSE_vangle = MakeSpin(Panel4, "CSE_vangle", QRect(112, 91, 49, 22), planner::Param::VerticalStep);
    for (SpinEdit *s : {CSE_viewd, CSE_hangle, CSE_vangle})
        s->setStyleSheet(QString::fromLatin1(kFieldStyle));
    CB_ezero = MakeCheck(Panel4, "CB_ezero", "Exclude central point", QRect(16, 136, 145, 17));
    CB_epiano = MakeCheck(Panel4, "CB_epiano", "Exclude point on base plane", QRect(16, 160, 153, 17));
    Button2 = MakeButton(Panel4, "Button2", "Generate -->", QRect(16, 184, 97, 25));
    connect(Button2, &QPushButton::clicked, this, [this] { Button2Click(); });
    // "Suggest a plan…": N photographs chosen from the positions the rig reaches.
    Button3 = MakeButton(Panel4, "Button3", "distributed subsamping", QRect(16, 224, 129, 25));
    Button3->setToolTip(QStringLiteral("Suggest a plan: choose the photographs from the positions the rig can reach"));
    connect(Button3, &QPushButton::clicked, this, [this] { SuggestDialog::Open(document, this); });
    // The layout in use, by name: the steps above are the grid's alone.
    LB_layout = new QLabel(Panel4);
    LB_layout->setObjectName("LB_layout");
    LB_layout->setGeometry(16, 254, 161, 17);
    Button1->setToolTip(QStringLiteral("Apply the object size, its height above the floor and the camera distance "
                                       "to the plan (Ctrl+Return). The next \"Generate -->\" writes them in the "
                                       "file."));
    Button2->setToolTip(QStringLiteral("Compute the positions of the layout in use with the applied set-up, write "
                                       "them to ./acquisition.txt for the capture rig and draw them (Ctrl+G)"));
    CB_ezero->setToolTip(QStringLiteral("Leave out the position straight in front of the object, on the camera's "
                                        "axis (the grid only)"));
    CB_epiano->setToolTip(QStringLiteral("Leave out the positions in the base plane, at 0 degrees of elevation (the "
                                         "grid only)"));

    Panel2 = new QLabel(QStringLiteral("Panel2"), this);
    Panel2->setObjectName("Panel2");
    Panel2->setAlignment(Qt::AlignCenter);

    PanelOGLBack = new QLabel(QStringLiteral("OPENGL"), Panel2);
    PanelOGLBack->setObjectName("PanelOGLBack");
    PanelOGLBack->setAlignment(Qt::AlignCenter);
    PanelOGLBack->setAutoFillBackground(true);
    {
        QPalette pal = PanelOGLBack->palette();
        pal.setColor(QPalette::Window, Qt::black);
        pal.setColor(QPalette::WindowText, Qt::red);
        PanelOGLBack->setPalette(pal);
        QFont f(QStringLiteral("Comic Sans MS"));
        f.setPixelSize(19);
        PanelOGLBack->setFont(f);
    }

    PanelOGL = new GLView(Panel2);
    PanelOGL->setObjectName("PanelOGL");

    Memo1 = new QPlainTextEdit(Panel2);
    Memo1->setObjectName("Memo1");
    Memo1->setReadOnly(true);
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    {
        QPalette pal = Memo1->palette();
        pal.setColor(QPalette::Text, QColor(0x00, 0x00, 0x80)); // navy
        pal.setColor(QPalette::Base, QColor(0xA6, 0xCA, 0xF0)); // sky blue
        pal.setColor(QPalette::Inactive, QPalette::Base, QColor(0xA6, 0xCA, 0xF0));
        Memo1->setPalette(pal);
    }
    Memo1->setPlainText(QStringLiteral("Program Started"));

    Open_ply = new QFileDialog(this);
    Open_ply->setObjectName("Open_ply");
    Open_ply->setAcceptMode(QFileDialog::AcceptOpen);
    Open_ply->setFileMode(QFileDialog::ExistingFile);
    Open_ply->setDefaultSuffix(QStringLiteral("ply"));
    Open_ply->setNameFilters({QStringLiteral("Models (*.ply *.obj *.stl)"), QStringLiteral("PLY model files (*.ply)"),
                              QStringLiteral("OBJ model files (*.obj)"), QStringLiteral("STL model files (*.stl)")});
    Open_ply->setDirectory(QDir::currentPath());

    Save_data = new QFileDialog(this);
    Save_data->setObjectName("Save_data");
    Save_data->setAcceptMode(QFileDialog::AcceptSave);
    Save_data->setDefaultSuffix(QStringLiteral("ply"));
    Save_data->setNameFilter(QStringLiteral("txt data file (*.txt)"));
    Save_data->setWindowTitle(QStringLiteral("?"));

    // The pixel sizes were made for a narrower face than most systems have.
    for (QAbstractButton *b : std::initializer_list<QAbstractButton *>{CB_ezero, CB_epiano, Button1, Button2, Button3})
        FitTextToWidth(b);

    layoutPanels();
}

QToolButton *TForm1::AddToolButton(const char *name, const QString &text, const QString &toolTip, const QIcon &icon)
{
    auto *b = new QToolButton(ToolBar1);
    b->setObjectName(name);
    b->setAutoRaise(true);
    b->setText(text);
    b->setToolTip(toolTip);
    if (!icon.isNull()) {
        b->setIcon(icon);
        b->setIconSize(QSize(16, 16));
        b->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    } else {
        b->setToolButtonStyle(Qt::ToolButtonTextOnly);
    }
    const int w = b->sizeHint().width() + 4;
    b->setGeometry(toolBarEnd_, 0, w, kToolBarHeight);
    toolBarEnd_ += w;
    b->show();
    return b;
}

// The view's events, each to its handler.
void TForm1::connectView()
{
    connect(PanelOGL, &GLView::contextReady, this, [this] { FormCreate(); });
    connect(PanelOGL, &GLView::contextFailed, this, [this](const QString &m) { ViewFailed(m); });
    connect(PanelOGL, &GLView::resized, this, [this] { FormResize(); });
    connect(PanelOGL, &GLView::paintRequested, this, [this] {
        FormPaint();
        frameDrawn();
    });
    connect(PanelOGL, &GLView::mousePressed, this,
            [this](Qt::MouseButton b, Qt::KeyboardModifiers m, int x, int y) { PanelOGLMouseDown(b, m, x, y); });
    connect(PanelOGL, &GLView::mouseMoved, this,
            [this](Qt::KeyboardModifiers m, int x, int y) { PanelOGLMouseMove(m, x, y); });
    connect(PanelOGL, &GLView::mouseReleased, this,
            [this](Qt::MouseButton b, Qt::KeyboardModifiers m, int x, int y) { PanelOGLMouseUp(b, m, x, y); });
    connect(PanelOGL, &GLView::wheelTurned, this, [this](QWheelEvent *e) { FormMouseWheel(e); });
    connect(PanelOGL, &GLView::resetRequested, this, [this] { ResetView(); });
}

// The aligned panels: the menu bar and the toolbar on top, the parameter
// panel on the left, and the view above the log filling the rest.
void TForm1::layoutPanels()
{
    const int w = width();
    const int h = height();
    const int m = menuHeight_;
    MainMenu->setGeometry(0, 0, w, m);
    ToolBar1->setGeometry(0, m, w, kToolBarHeight);
    const int top = m + kToolBarHeight;
    const int status = StatusBar1->sizeHint().height();
    StatusBar1->setGeometry(0, qMax(top, h - status), w, status);
    const int bottom = qMax(top, h - status);
    PanelScroll->setGeometry(0, top, kPanel1Width, bottom - top);
    Panel2->setGeometry(kPanel1Width, top, qMax(0, w - kPanel1Width), bottom - top);
    const int pw = Panel2->width();
    const int ph = Panel2->height();
    const QRect view(0, 0, pw, qMax(0, ph - kMemoHeight));
    PanelOGLBack->setGeometry(view);
    if (PanelOGL) PanelOGL->setGeometry(view);
    Memo1->setGeometry(0, qMax(0, ph - kMemoHeight), pw, qMin(ph, kMemoHeight));
}

void TForm1::resizeEvent(QResizeEvent *e)
{
    QWidget::resizeEvent(e);
    layoutPanels();
}

void TForm1::showEvent(QShowEvent *e)
{
    QWidget::showEvent(e);
    // 845 x 683 is the outer size; a window manager's frame comes off it.
    if (!outerSizeApplied_ && isWindow()) {
        outerSizeApplied_ = true;
        const QSize frame = frameGeometry().size() - geometry().size();
        if (frame.width() > 0 || frame.height() > 0) resize(845 - frame.width(), 683 - frame.height());
    }
}

bool TForm1::takeFields(std::initializer_list<std::pair<SpinEdit *, int *>> fields, const QString &what)
{
    QStringList problems;
    for (const auto &[field, value] : fields)
        if (field->isEnabled() && !field->Problem().isEmpty()) problems << field->Problem();
    if (!problems.isEmpty()) {
        showMessage(QMessageBox::Warning,
                    QStringLiteral("%1: nothing was changed or written.\n\n%2").arg(what, problems.join('\n')));
        return false;
    }
    clampNotes_.clear();
    for (const auto &[field, value] : fields) {
        QString note;
        if (!field->isEnabled()) {
            *value = field->value(); // a field the layout does not use keeps its value
            continue;
        }
        field->Take(*value, &note);
        if (!note.isEmpty()) clampNotes_ << note;
    }
    return true;
}

// "Apply ->": the three set-up values become the plan's, nothing else.
void TForm1::Button1Click()
{
    int size = 0, height = 0, camera = 0;
    if (!takeFields({{CSE_size, &size}, {CSE_hgh, &height}, {CSE_camdist, &camera}},
                    QStringLiteral("The set-up was not applied")))
        return;
    document->applySetUp(size, height, camera);
    markNotApplied();
    ShowStatus(clampNotes_.isEmpty() ? QStringLiteral("Applied: object %1 mm, %2 mm above the floor, camera at %3 mm")
                                           .arg(size)
                                           .arg(height)
                                           .arg(camera)
                                     : clampNotes_.join(QStringLiteral("; ")));
    AppIdle();
}

bool TForm1::takePatternFields(const QString &what)
{
    planner::PatternInput f;
    if (!takeFields({{CSE_hangle, &f.horizontalStep}, {CSE_vangle, &f.verticalStep}, {CSE_viewd, &f.viewDistance}},
                    what))
        return false;
    f.excludeCentralPoint = CB_ezero->isChecked();
    f.excludeBasePlane = CB_epiano->isChecked();
    document->setPatternFields(f);
    return true;
}

// "Generate -->": the steps, view distance and flags from the controls, the
// object and camera as last applied, the layout chosen.
void TForm1::Button2Click()
{
    if (!takePatternFields(QStringLiteral("No pattern was generated"))) return;
    const QStringList notes = clampNotes_;
    // The fitters in use read at most this many lights: a larger plan is
    // written only when the operator says so.
    planner::PatternLists preview;
    planner::BuildPlan(document->plan(), preview);
    const std::size_t count = preview.positions.size();
    if (count > kMostLightsFittersRead &&
        !confirm(QStringLiteral("This plan has %L1 positions. RTI fitting software in use reads at most %L2 lights "
                                "per capture.\n\nWrite %3 with all %L1 positions?")
                     .arg(qulonglong(count))
                     .arg(qulonglong(kMostLightsFittersRead))
                     .arg(QString::fromLatin1(planner::kAcquisitionFile)))) {
        ShowStatus(
            QStringLiteral("Nothing written: the plan of %L1 positions was not confirmed").arg(qulonglong(count)));
        return;
    }
    const planner::WriteResult r = document->generate(planner::kAcquisitionFile);
    AppIdle();
    if (r.ok) {
        QStringList said = notes;
        said.prepend(QStringLiteral("Wrote %L1 positions to %2")
                         .arg(qulonglong(document->pattern().positions.size()))
                         .arg(QString::fromLatin1(planner::kAcquisitionFile)));
        ShowStatus(said.join(QStringLiteral("; ")));
    }
    if (!r.ok) {
        // The file is all the rig gets: the operator must know it is missing.
        // The positions are drawn all the same.
        const QString path = QDir::cleanPath(QFileInfo(QString::fromStdString(r.path)).absoluteFilePath());
        showMessage(QMessageBox::Warning, QStringLiteral("The acquisition file could not be written:\n%1\n\n%2")
                                              .arg(QDir::toNativeSeparators(path), QString::fromStdString(r.reason)));
    }
}

void TForm1::showPlan(unsigned parts)
{
    const planner::Plan &plan = document->plan();
    const planner::PatternInput &in = plan.input;
    if (parts & PlanDocument::SetUp) {
        CSE_size->setValue(in.objectSize);
        CSE_hgh->setValue(in.objectHeight);
        CSE_camdist->setValue(in.cameraDistance);
    }
    if (parts & PlanDocument::PatternFields) {
        CSE_viewd->setValue(in.viewDistance);
        CSE_hangle->setValue(in.horizontalStep);
        CSE_vangle->setValue(in.verticalStep);
        CB_ezero->setChecked(in.excludeCentralPoint);
        CB_epiano->setChecked(in.excludeBasePlane);
    }
    if (parts & PlanDocument::Layout) {
        // The steps and the exclusions are the grid's alone.
        const bool grid = plan.layout.kind == planner::LayoutKind::Grid;
        for (QWidget *w : std::initializer_list<QWidget *>{CSE_hangle, CSE_vangle, CB_ezero, CB_epiano, Label5, Label6})
            w->setEnabled(grid);
        const QString name = QString::fromStdString(planner::LayoutName(plan.layout.kind));
        LB_layout->setText(QStringLiteral("Layout: %1").arg(name));
        LB_layout->setToolTip(grid ? QStringLiteral("The grid of the two angle steps; Layout\u2026 chooses another")
                                   : QString::fromStdString(planner::LayoutDescription(plan.layout)));
        if (auto *b = findChild<QToolButton *>(QStringLiteral("TB_layout")))
            b->setToolTip(
                grid ? QStringLiteral("Layout of the positions: now the grid of the two angle steps")
                     : QStringLiteral("Layout of the positions: now %1")
                           .arg(QString::fromStdString(planner::LayoutName(plan.layout.kind) + std::string(", ") +
                                                       planner::LayoutDescription(plan.layout))));
    }
    markNotApplied();
}

void TForm1::markNotApplied()
{
    const planner::PatternInput &in = document->plan().input;
    const std::pair<SpinEdit *, int> fields[] = {
        {CSE_size, in.objectSize}, {CSE_hgh, in.objectHeight}, {CSE_camdist, in.cameraDistance}};
    for (const auto &[field, applied] : fields)
        field->SetNotApplied(field->Value() != applied, applied);
}

void TForm1::ShowNotice(const QString &text)
{
    if (PanelOGL) PanelOGL->ShowNotice(text, noticeDurationMs);
}

QString TForm1::RunOpenDialog()
{
    // Where the last model came from, with no name filled in.
    if (const QString folder = settings::ModelFolder(); !folder.isEmpty()) Open_ply->setDirectory(folder);
    Open_ply->selectFile(QString());
    if (Open_ply->exec() != QDialog::Accepted) return {};
    const QStringList files = Open_ply->selectedFiles();
    return files.isEmpty() ? QString() : files.first();
}

void TForm1::TB_loadmodelClick()
{
    if (loading_) return;
    const QString fileName = chooseModelFile();
    if (fileName.isEmpty()) return; // cancelled: the mesh stays as it is
    settings::SetModelFolder(QFileInfo(fileName).absolutePath());
    LoadModel(fileName);
}

int TForm1::LoadModel(const QString &fileName)
{
    loading_ = true;
    const ModelLoadOutcome out = document->loadModel(this, progressDelayMs, fileName);
    lastLoadShowedProgress = out.showedProgress;
    loading_ = false;
    if (!out.load.ok()) {
        // The previous model stays; a notice over the view says why, and
        // goes by itself.
        ShowNotice(QStringLiteral("Could not load %1:\n%2")
                       .arg(QFileInfo(fileName).fileName(), PlainLoadReason(out.load.reason)));
    } else {
        // What was loaded, and anything that was not quite as written.
        const auto &mesh = document->mesh();
        const auto size = mesh.box.Dim();
        const QString what = QStringLiteral("%1: %L2 faces, %3 \u00d7 %4 \u00d7 %5 mm")
                                 .arg(QFileInfo(fileName).fileName())
                                 .arg(mesh.face_count)
                                 .arg(MillimetreText(size.x), MillimetreText(size.y), MillimetreText(size.z));
        QStringList lines{QStringLiteral("Loaded ") + what};
        for (const std::string &c : out.load.converted)
            lines << QString::fromStdString(c);
        const QString hint = ModelPlacementHint();
        if (!hint.isEmpty()) lines << hint;
        ShowNotice(lines.join(QLatin1Char('\n')));
        ShowStatus(lines.first());
    }
    AppIdle();
    return out.load.result;
}

// Called by the view once its context is current.
void TForm1::FormCreate()
{
    view_width = PanelOGL->DeviceWidth();
    view_height = PanelOGL->DeviceHeight();
    scene::SetupFixedState();

    track.SetPivotTranslation(nuk::Point3d(0, 0, 0));
    track.SetPivotScale(zoom);
    track.EnableSpin(true);
}

void TForm1::FormDestroy()
{
    // The context goes before the members it drew.
    if (PanelOGL) {
        PanelOGL->StopFrames();
        delete PanelOGL;
        PanelOGL = nullptr;
    }
}

void TForm1::FormResize()
{
    view_width = PanelOGL->DeviceWidth();
    view_height = PanelOGL->DeviceHeight();
    scene::Resize(view_width, view_height);
    modelDrawing->ViewMoved();
}

// One frame: camera, trackball, scale, then the scene.
void TForm1::FormPaint()
{
    scene::BeginFrame();
    track.Apply();
    // The applied set-up with the positions generated last.
    const planner::PatternInput &set = document->plan().input;
    scene::SceneInput in;
    in.obj_size = set.objectSize;
    in.obj_height = set.objectHeight;
    in.cam_dist = set.cameraDistance;
    in.zoom = zoom;
    in.zoom_ref = zoom_ref;
    in.centre = viewCentre_;
    in.pixelRatio = static_cast<float>(PanelOGL->devicePixelRatioF());
    in.positions = &document->pattern().positions;
    modelDrawing->PrepareFrame(in, document->modelArrays());
    scene::DrawScene(in);
}

// Something visible changed: the view draws a frame when it can.
void TForm1::AppIdle()
{
    if (PanelOGL) PanelOGL->RequestFrame();
}

// A spin turns with time, so while it runs every frame asks for the next.
void TForm1::frameDrawn()
{
    if (track.spin_enabled && track.spinning && !track.dragging) {
        PanelOGL->ContinueAnimation();
        modelDrawing->ViewMoved();
    }
}

void TForm1::PanelOGLMouseDown(Qt::MouseButton button, Qt::KeyboardModifiers modifiers, int x, int y)
{
    namespace HandButton = nuk::HandButton;
    mouse_buttons = HandButton::kNone; // the right button drags nothing
    if (button == Qt::LeftButton)
        mouse_buttons = HandButton::kLeft;
    else if (button == Qt::MiddleButton)
        mouse_buttons = HandButton::kMiddle;
    if (modifiers & Qt::ControlModifier)
        mouse_buttons += HandButton::kCtrl;
    else if (modifiers & Qt::ShiftModifier)
        mouse_buttons += HandButton::kShift;
    dragging = 1;
    track.MouseDown(x, y, mouse_buttons);
    AppIdle();
}

void TForm1::PanelOGLMouseMove(Qt::KeyboardModifiers, int x, int y)
{
    // The code stays the one built at mouse down.
    if (!dragging) return;
    track.MouseMove(x, y, mouse_buttons);
    modelDrawing->ViewMoved();
    AppIdle();
}

void TForm1::PanelOGLMouseUp(Qt::MouseButton, Qt::KeyboardModifiers, int x, int y)
{
    dragging = 0;
    track.MouseUp(x, y, mouse_buttons);
    AppIdle();
}

void TForm1::FormMouseWheelDown()
{
    zoom = static_cast<float>(static_cast<long double>(zoom) * 1.1L);
    track.SetPivotScale(zoom);
    modelDrawing->ViewMoved();
    AppIdle();
}

void TForm1::FormMouseWheelUp()
{
    zoom = static_cast<float>(static_cast<long double>(zoom) * (1.0L / 1.1L));
    track.SetPivotScale(zoom);
    modelDrawing->ViewMoved();
    AppIdle();
}

void TForm1::ResetView()
{
    track.Reset();
    zoom = 1.0f;
    viewCentre_ = nuk::Point3f(0, 0, 0);
    track.SetPivotTranslation(nuk::Point3d(0, 0, 0));
    track.SetPivotScale(zoom);
    dragging = 0;
    AppIdle();
}

QString TForm1::ModelPlacementHint() const
{
    const auto &mesh = document->mesh();
    if (document->plan().fitModel || mesh.face_count == 0) return {};
    const nuk::Point3f d = mesh.box.Dim();
    const double across = std::max(d.x, d.y);
    const double size = document->plan().input.objectSize;
    const QString offer =
        QStringLiteral("\"Fit model to object\" (toolbar, View menu) puts it on the plate at the object's size.");
    if (across > 0 && (across < size / 20 || across > size * 20))
        return QStringLiteral("It is %1 mm across, the object %2 mm: a model in other units, or of more than the "
                              "object? %3")
            .arg(MillimetreText(across))
            .arg(size)
            .arg(offer);
    if (mesh.box.max.z <= planner::kPlateZ)
        return QStringLiteral("It lies behind the front of the object plate (z up to %1 mm), hidden in the plate "
                              "or the backdrop. %2")
            .arg(MillimetreText(mesh.box.max.z), offer);
    return {};
}

void TForm1::FrameModel()
{
    const auto &mesh = document->mesh();
    if (!document->hasModel() || mesh.face_count == 0) {
        ShowStatus(QStringLiteral("No model to frame: load one first (File, Open model\u2026)"));
        return;
    }
    const coverage::Placement p = document->placement();
    const nuk::Point3f lo = p.ToPlan(mesh.box.min), hi = p.ToPlan(mesh.box.max);
    const nuk::Point3f centre = (lo + hi) * 0.5f;
    const nuk::Point3f d = hi - lo;
    const double radius = 0.5 * std::sqrt(double(d.x) * d.x + double(d.y) * d.y + double(d.z) * d.z);
    if (!std::isfinite(radius) || !(radius > 0)) return;
    ResetView();
    viewCentre_ = centre;
    // The model's bounding sphere takes nine tenths of the narrower field
    // of view (the vertical: the aspect is never below 1).
    const double fit = 0.9 * scene::kEyeDistance * std::sin(scene::kFieldOfView / 2 * nuk::kPi / 180);
    zoom = static_cast<float>(fit * zoom_ref / radius);
    track.SetPivotScale(zoom);
    ShowStatus(QStringLiteral("Framed the model: %1 mm across").arg(MillimetreText(2 * radius)));
    AppIdle();
}

// Home resets the view while the pointer is over it, whatever has the focus
// (a field that takes Home for itself keeps it).
void TForm1::keyPressEvent(QKeyEvent *e)
{
    if (e->key() == Qt::Key_Home && e->modifiers() == Qt::NoModifier && PanelOGL && PanelOGL->underMouse()) {
        ResetView();
        e->accept();
        return;
    }
    QWidget::keyPressEvent(e);
}

void TForm1::wheelEvent(QWheelEvent *e)
{
    FormMouseWheel(e);
    e->ignore(); // not marked as handled
}

void TForm1::FormMouseWheel(QWheelEvent *e)
{
    // One step per 120 units, however finely the device reports them.
    wheelRemainder_ += e->angleDelta().y();
    while (wheelRemainder_ <= -120) {
        wheelRemainder_ += 120;
        FormMouseWheelDown();
    }
    while (wheelRemainder_ >= 120) {
        wheelRemainder_ -= 120;
        FormMouseWheelUp();
    }
}

void TForm1::ViewFailed(const QString &message)
{
    // The panel's own caption shows where the scene cannot be drawn.
    if (PanelOGL) PanelOGL->hide();
    showMessage(QMessageBox::Warning, message);
}

// The File menu: the plan files, and the commands of the toolbar that
// belong with them. The menu bar sits above the toolbar; the panels keep
// their sizes below it.
void TForm1::buildMenu()
{
    MainMenu = new QMenuBar(this);
    MainMenu->setObjectName("MainMenu");
    // In the window, wherever the desktop would put menus: the layout below
    // depends on its height.
    MainMenu->setNativeMenuBar(false);
    M_file = MainMenu->addMenu(QStringLiteral("&File"));
    M_file->setObjectName("M_file");
    M_plan = MainMenu->addMenu(QStringLiteral("&Plan"));
    M_plan->setObjectName("M_plan");
    M_view = MainMenu->addMenu(QStringLiteral("&View"));
    M_view->setObjectName("M_view");
    M_help = MainMenu->addMenu(QStringLiteral("&Help"));
    M_help->setObjectName("M_help");
    auto add = [this](const char *name, const QString &text, const QKeySequence &keys, auto handler) {
        QAction *a = M_file->addAction(text);
        a->setObjectName(name);
        a->setShortcut(keys);
        // Also the window's own, so the keys work while the menu is closed.
        addAction(a);
        connect(a, &QAction::triggered, this, handler);
        return a;
    };
    A_openplan = add("A_openplan", QStringLiteral("&Open plan\u2026"), QKeySequence::Open, [this] { FileOpenClick(); });
    A_saveplan = add("A_saveplan", QStringLiteral("&Save plan"), QKeySequence::Save, [this] { FileSaveClick(); });
    A_saveplanas = add("A_saveplanas", QStringLiteral("Save plan &as\u2026"),
                       QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S), [this] { FileSaveAsClick(); });
    M_recent = M_file->addMenu(QStringLiteral("&Recent plans"));
    M_recent->setObjectName("M_recent");
    M_file->addSeparator();
    A_openmodel = add("A_openmodel", QStringLiteral("Open &model\u2026"), QKeySequence(Qt::CTRL | Qt::Key_L),
                      [this] { TB_loadmodelClick(); });
    A_exportlights = M_file->addAction(QString::fromUtf8(LightExportAction::kText));
    A_exportlights->setObjectName("A_exportlights");
    A_exportlights->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_E));
    addAction(A_exportlights);
    A_exportlights->setEnabled(false); // until the first "Generate -->"
    M_file->addSeparator();
    A_quit = add("A_quit", QStringLiteral("&Quit"), QKeySequence(Qt::CTRL | Qt::Key_Q), [this] { close(); });
    updateRecentMenu();
    menuHeight_ = MainMenu->sizeHint().height();
}

void TForm1::buildLaterMenus()
{
    auto add = [this](QMenu *menu, const char *name, const QString &text, const QKeySequence &keys, auto handler) {
        QAction *a = menu->addAction(text);
        a->setObjectName(name);
        a->setShortcut(keys);
        addAction(a);
        connect(a, &QAction::triggered, this, handler);
        return a;
    };
    // A menu entry that does what a toolbar button does, and is available
    // when the button is.
    auto mirror = [this, add](QMenu *menu, const char *name, QToolButton *button, const QKeySequence &keys) {
        QAction *a = add(menu, name, button->text(), keys, [button] { button->click(); });
        a->setToolTip(button->toolTip());
        a->setEnabled(button->isEnabled());
        a->setCheckable(button->isCheckable());
        a->setChecked(button->isChecked());
        connect(button, &QToolButton::toggled, a, [a](bool on) { a->setChecked(on); });
        // QToolButton has no "enabled changed" signal: follow it when the
        // menu opens.
        connect(menu, &QMenu::aboutToShow, a, [a, button] { a->setEnabled(button->isEnabled()); });
        return a;
    };
    A_apply = add(M_plan, "A_apply", QStringLiteral("&Apply set-up"), QKeySequence(Qt::CTRL | Qt::Key_Return),
                  [this] { Button1Click(); });
    A_generate = add(M_plan, "A_generate", QStringLiteral("&Generate"), QKeySequence(Qt::CTRL | Qt::Key_G),
                     [this] { Button2Click(); });
    M_plan->addSeparator();
    A_layout = mirror(M_plan, "A_layout", findChild<QToolButton *>(QStringLiteral("TB_layout")), QKeySequence());
    A_planreport = mirror(M_plan, "A_planreport", findChild<QToolButton *>(QStringLiteral("TB_planreport")),
                          QKeySequence(Qt::CTRL | Qt::Key_R));
    A_preview = add(M_plan, "A_preview", QStringLiteral("&Preview photographs\u2026"),
                    QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_P), [this] { PreviewDialog::Open(document, this); });
    add(M_plan, "A_predict", QStringLiteral("Predicted &result\u2026"), QKeySequence(),
        [this] { PredictDialog::Open(document, this); });

    // Home only while no field takes it: a field's own Home moves its cursor.
    A_resetview =
        add(M_view, "A_resetview", QStringLiteral("&Reset view"), QKeySequence(Qt::Key_Home), [this] { ResetView(); });
    A_framemodel =
        add(M_view, "A_framemodel", QStringLiteral("&Frame model"), QKeySequence(Qt::Key_F), [this] { FrameModel(); });
    M_view->addSeparator();
    A_coverage = mirror(M_view, "A_coverage", coverage->CoverageButton(), QKeySequence());
    A_fitmodel = mirror(M_view, "A_fitmodel", coverage->FitButton(), QKeySequence());

    A_guide =
        add(M_help, "A_guide", QStringLiteral("Quorvel &guide"), QKeySequence(Qt::Key_F1), [this] { openGuide(); });
    A_about =
        add(M_help, "A_about", QStringLiteral("&About Quorvel"), QKeySequence(), [this] { ShowAboutDialog(this); });
}

void TForm1::ShowStatus(const QString &text) { StatusBar1->showMessage(text); }

bool TForm1::acceptsDrop(const QMimeData *data, QString *path) const
{
    if (!data || !data->hasUrls() || data->urls().size() != 1) return false;
    const QUrl url = data->urls().first();
    if (!url.isLocalFile()) return false;
    if (path) *path = url.toLocalFile();
    return true;
}

void TForm1::dragEnterEvent(QDragEnterEvent *e)
{
    if (acceptsDrop(e->mimeData())) e->acceptProposedAction();
}

// Said again at every move: a drag from another program asks as it moves.
void TForm1::dragMoveEvent(QDragMoveEvent *e)
{
    if (acceptsDrop(e->mimeData())) e->acceptProposedAction();
}

// A model by its name (PLY, OBJ, STL), a plan by its extension; anything
// else is refused with a notice.
void TForm1::dropEvent(QDropEvent *e)
{
    QString path;
    if (!acceptsDrop(e->mimeData(), &path)) return;
    e->acceptProposedAction();
    const QString suffix = QFileInfo(path).suffix().toLower();
    const QString name = QFileInfo(path).fileName();
    if (QStringLiteral(".") + suffix == QLatin1String(planner::kPlanExtension)) {
        OpenPlan(path);
    } else if (suffix == QLatin1String("ply") || suffix == QLatin1String("obj") || suffix == QLatin1String("stl")) {
        LoadModel(path);
    } else {
        ShowNotice(QStringLiteral("%1 was not opened: drop a model (.ply, .obj, .stl) or a plan (%2)")
                       .arg(name, QLatin1String(planner::kPlanExtension)));
        ShowStatus(QStringLiteral("Refused %1: not a model or a plan").arg(name));
    }
}

void TForm1::connectDocument()
{
    connect(document, &PlanDocument::planChanged, this, [this](unsigned parts) {
        showPlan(parts);
        AppIdle();
    });
    connect(document, &PlanDocument::patternGenerated, this, [this] {
        A_exportlights->setEnabled(true);
        AppIdle();
    });
    connect(document, &PlanDocument::modelAboutToChange, this, [this] { modelDrawing->ModelAboutToChange(); });
    connect(document, &PlanDocument::modelChanged, this, [this](bool replaced) {
        modelDrawing->ModelChanged(replaced);
        AppIdle();
    });
    connect(document, &PlanDocument::modelArraysChanged, this, [this] { AppIdle(); });
    connect(document, &PlanDocument::fileChanged, this, [this] { updateTitle(); });
}

void TForm1::updateTitle()
{
    const QString caption = QString::fromLatin1(kCaption);
    const QString path = document->filePath();
    setWindowTitle(path.isEmpty() ? caption : QFileInfo(path).fileName() + QStringLiteral(" - ") + caption);
}

void TForm1::updateRecentMenu()
{
    M_recent->clear();
    const QStringList recent = settings::RecentPlans();
    for (int i = 0; i < recent.size(); ++i) {
        const QString path = recent[i];
        const QFileInfo info(path);
        QAction *a = M_recent->addAction(QStringLiteral("&%1 %2  (%3)")
                                             .arg(i + 1)
                                             .arg(info.fileName(), QDir::toNativeSeparators(info.absolutePath())));
        a->setData(path);
        connect(a, &QAction::triggered, this, [this, path] { OpenPlan(path); });
    }
    if (recent.isEmpty()) M_recent->addAction(QStringLiteral("(none)"))->setEnabled(false);
    M_recent->addSeparator();
    QAction *clear = M_recent->addAction(QStringLiteral("Clear recent plans"));
    clear->setEnabled(!recent.isEmpty());
    connect(clear, &QAction::triggered, this, [this] {
        settings::ClearRecentPlans();
        updateRecentMenu();
    });
}

void TForm1::FileOpenClick()
{
    const QString path = choosePlanToOpen();
    if (!path.isEmpty()) OpenPlan(path);
}

void TForm1::FileSaveClick()
{
    if (document->filePath().isEmpty())
        FileSaveAsClick();
    else
        SavePlan(document->filePath());
}

void TForm1::FileSaveAsClick()
{
    QString suggested = document->filePath();
    if (suggested.isEmpty()) {
        const QString folder = settings::PlanFolder();
        suggested = QDir(folder.isEmpty() ? QDir::currentPath() : folder)
                        .filePath(QStringLiteral("plan") + QLatin1String(planner::kPlanExtension));
    }
    QString path = choosePlanToSave(suggested);
    if (path.isEmpty()) return;
    if (!path.endsWith(QLatin1String(planner::kPlanExtension), Qt::CaseInsensitive))
        path += QLatin1String(planner::kPlanExtension);
    SavePlan(path);
}

bool TForm1::OpenPlan(const QString &path)
{
    const std::string native = QFile::encodeName(path).toStdString();
    const planner::PlanFileRead r = planner::ReadPlanFile(native);
    if (!r.ok) {
        showMessage(
            QMessageBox::Warning,
            QStringLiteral("The plan could not be opened:\n%1\n\nLengths in a plan are millimetres, angles degrees.")
                .arg(QString::fromLocal8Bit(r.message(native).c_str())));
        if (!QFileInfo::exists(path)) {
            settings::RemoveRecentPlan(QFileInfo(path).absoluteFilePath());
            updateRecentMenu();
        }
        return false;
    }
    planner::Plan plan = r.plan;
    plan.modelPath = planner::ResolveModelPath(native, plan.modelPath);
    // A model the plan does not name is not left standing in its set-up.
    const bool sameModel =
        !plan.modelPath.empty() && plan.modelPath == document->plan().modelPath && document->hasModel();
    if (!sameModel && !document->mesh().vertices.empty()) document->clearModel();
    // Every field, the layout and the options; the set-up applied as
    // "Apply ->" would.
    document->setPlan(plan);
    document->setFile(path, r.document);
    settings::SetPlanFolder(QFileInfo(path).absolutePath());
    settings::AddRecentPlan(path);
    updateRecentMenu();
    // A model that cannot be loaded says so in the load notice; the plan
    // keeps its path, and the rest.
    if (!plan.modelPath.empty() && !sameModel) LoadModel(QFile::decodeName(QByteArray::fromStdString(plan.modelPath)));
    return true;
}

bool TForm1::SavePlan(const QString &path)
{
    // The applied set-up; the pattern fields as they show.
    if (!takePatternFields(QStringLiteral("The plan was not saved"))) return false;
    planner::Plan plan = document->plan();
    // A model beside the plan, or in a folder under it, is written relative
    // to it, so that the two can move together.
    if (!plan.modelPath.empty()) {
        const QString model = QFile::decodeName(QByteArray::fromStdString(plan.modelPath));
        const QString relative = QFileInfo(path).absoluteDir().relativeFilePath(model);
        if (!relative.startsWith(QLatin1String(".."))) plan.modelPath = QFile::encodeName(relative).toStdString();
    }
    const std::string native = QFile::encodeName(path).toStdString();
    const std::string text = planner::PlanText(plan, document->fileText());
    const planner::WriteResult w = planner::WritePlanFile(native, plan, document->fileText());
    if (!w.ok) {
        showMessage(
            QMessageBox::Warning,
            QStringLiteral("The plan could not be saved:\n%1").arg(QString::fromLocal8Bit(w.message().c_str())));
        return false;
    }
    document->setFile(path, text);
    settings::SetPlanFolder(QFileInfo(path).absolutePath());
    settings::AddRecentPlan(path);
    updateRecentMenu();
    return true;
}

void TForm1::closeEvent(QCloseEvent *e)
{
    settings::SetWindowGeometry(saveGeometry());
    QWidget::closeEvent(e);
}
