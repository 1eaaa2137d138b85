#pragma once
// The main window: the File menu, the parameter panel, the 3D view of the
// set-up and the log line. The plan, its positions and the model live in
// the document (PlanDocument); TForm1 holds the controls, their handlers and
// the view's own state (trackball, zoom, mouse). The handlers gather the
// inputs and hand them to the document, and the controls follow it.

#include <cstdint>
#include <cstddef>
#include <functional>
#include <initializer_list>
#include <utility>
#include <memory>

#include <QIcon>
#include <QList>
#include <QStringList>
#include <QMessageBox>
#include <QString>
#include <QWidget>

#include "app/WindowHost.h"
#include "nuk/tools/Hand.h"

class QAction;
class QCheckBox;
class QFileDialog;
class QFrame;
class QLabel;
class QMimeData;
class QStatusBar;
class QDragEnterEvent;
class QDropEvent;
class QMenu;
class QMenuBar;
class QPlainTextEdit;
class QScrollArea;
class QPushButton;
class QToolBar;
class QToolButton;
class QKeyEvent;
class QWheelEvent;
class GLView;
class LightExportAction;
class LightCoverage;
class ModelDrawing;
class PlanDocument;
class SpinEdit;

class TForm1 : public QWidget, public WindowHost
{
    Q_OBJECT
public:
    explicit TForm1(QWidget *parent = nullptr);
    ~TForm1() override;

    // The plan, its positions and the model.
    PlanDocument *document = nullptr;

    // Controls, named as in the layout.
    QMenuBar *MainMenu;
    QMenu *M_file;
    QAction *A_openplan;   // Ctrl+O
    QAction *A_saveplan;   // Ctrl+S
    QAction *A_saveplanas; // Ctrl+Shift+S
    QMenu *M_recent;
    QAction *A_openmodel;    // Ctrl+L
    QAction *A_exportlights; // Ctrl+E
    QAction *A_quit;         // Ctrl+Q
    QMenu *M_plan;
    QAction *A_apply;    // Ctrl+Return, "Apply ->"
    QAction *A_generate; // Ctrl+G, "Generate -->"
    QAction *A_layout;
    QAction *A_planreport; // Ctrl+R
    QAction *A_preview;    // Ctrl+Shift+P, "Preview photographs…"
    QMenu *M_view;
    QAction *A_resetview; // Home
    QAction *A_framemodel; // F
    QAction *A_coverage;
    QAction *A_fitmodel;
    QMenu *M_help;
    QAction *A_guide; // F1
    QAction *A_about;
    QStatusBar *StatusBar1;
    QToolBar *ToolBar1;
    QFrame *ToolButton1;
    QToolButton *TB_loadmodel;
    QFrame *ToolButton2;
    QToolButton *TB_resetview; // "Reset view"
    // "Export light positions…", in its own files.
    LightExportAction *lightExport = nullptr;
    QScrollArea *PanelScroll; // holds Panel1
    QFrame *Panel1;
    QFrame *Panel3;
    QLabel *Label1;
    SpinEdit *CSE_size;
    QLabel *Label2;
    SpinEdit *CSE_hgh;
    QLabel *Label3;
    SpinEdit *CSE_camdist;
    QPushButton *Button1;
    QFrame *Panel4;
    QLabel *Label4;
    SpinEdit *CSE_viewd;
    QLabel *Label5;
    SpinEdit *CSE_hangle;
    QLabel *Label6;
    SpinEdit *CSE_vangle;
    QCheckBox *CB_ezero;
    QCheckBox *CB_epiano;
    QPushButton *Button2;
    QPushButton *Button3;
    QLabel *LB_layout; // "Layout: grid"
    QLabel *Panel2;       // its caption is covered by the view and the log
    QLabel *PanelOGLBack; // "OPENGL", seen only where the view does not draw
    GLView *PanelOGL;
    QPlainTextEdit *Memo1;
    QList<QIcon> ImageList1;
    QFileDialog *Open_ply;
    QFileDialog *Save_data;

    // The view's state, in construction order.
    double view_width = 0, view_height = 0;
    nuk::TrackHand track;
    std::int32_t mouse_buttons = 0;
    std::uint8_t dragging = 0;
    float zoom = 1.0f;
    float zoom_ref = 1500.0f;          // six start object sizes
    LightCoverage *coverage = nullptr; // "Light coverage" and "Fit model to object"
    // The full model at rest, a simplified stand-in while the view moves.
    std::unique_ptr<ModelDrawing> modelDrawing;

    // Replaceable for tests: the model file chosen in Open_ply (empty when
    // cancelled), the plan file chosen to open or to save as (empty when
    // cancelled), and how a message box reaches the operator.
    std::function<QString()> chooseModelFile;
    std::function<QString()> choosePlanToOpen;
    std::function<QString(const QString &suggested)> choosePlanToSave;
    std::function<void(QMessageBox::Icon, const QString &)> showMessage;
    // Asks a yes-or-no question; true for yes.
    std::function<bool(const QString &)> confirm;
    // Opens the short guide (the README's window section).
    std::function<void()> openGuide;
    // A plan of more positions than this asks before its file is written.
    static constexpr std::size_t kMostLightsFittersRead = 1000;
    // An import running longer than this shows a progress dialog.
    int progressDelayMs = 500;
    bool lastLoadShowedProgress = false;
    // How long a notice (a failed load, a load that converted something, a
    // worker that stopped) stays over the view.
    int noticeDurationMs = 6000;

    // Handlers.
    void Button1Click();
    void Button2Click();
    void TB_loadmodelClick();
    void FormCreate();
    void FormDestroy();
    void FormResize();
    void FormPaint();
    void AppIdle();
    void PanelOGLMouseDown(Qt::MouseButton button, Qt::KeyboardModifiers modifiers, int x, int y);
    void PanelOGLMouseMove(Qt::KeyboardModifiers modifiers, int x, int y);
    void PanelOGLMouseUp(Qt::MouseButton button, Qt::KeyboardModifiers modifiers, int x, int y);
    void FormMouseWheelDown();
    void FormMouseWheelUp();
    // Turns wheel motion into whole steps down and up.
    void FormMouseWheel(QWheelEvent *e);
    // "Reset view": the trackball and the zoom back to their start, any
    // spin stopped.
    void ResetView();
    // "Frame model": the view turned back to its start and centred on the
    // model, zoomed so that the model fills it. Says so when there is no model.
    void FrameModel();
    // What a loaded model's notice adds when the model, in its own
    // coordinates, would not be seen as the object: far smaller or larger
    // than the object size, or behind the plate's front. Empty otherwise.
    QString ModelPlacementHint() const;

    // The view could not get a working context; says so once.
    void ViewFailed(const QString &message);

    // Loads a model file into the mesh as the toolbar command does, without
    // the dialog: PLY, or OBJ or STL by the file's name. Returns the import's
    // result (0 loaded, -1 failed); a failure leaves the previous model and
    // shows a notice over the view, and so does a load that had to convert
    // something (number types, polygons, corners welded).
    int LoadModel(const QString &fileName);

    // Runs Open_ply as the toolbar button does; the chosen file, or an
    // empty string when cancelled.
    QString RunOpenDialog();

    // The File menu's plan commands. OpenPlan reads the file and, when it is
    // a sound plan, sets every field, the layout, the report's and the
    // exports' options and the model from it, the set-up applied as
    // "Apply ->" would; a damaged file is refused with a message naming the
    // file, the key and the reason, and nothing changes. SavePlan writes the
    // applied set-up and the pattern fields as they show, keeping the keys
    // of the file the plan was read from. Both return whether they did it.
    void FileOpenClick();
    void FileSaveClick();
    void FileSaveAsClick();
    bool OpenPlan(const QString &path);
    bool SavePlan(const QString &path);

    // What the window lends its dialogs and controllers.
    QToolButton *AddToolButton(const char *name, const QString &text, const QString &toolTip,
                               const QIcon &icon = QIcon()) override;
    GLView *View() const override { return PanelOGL; }
    void RequestFrame() override { AppIdle(); }
    void ShowNotice(const QString &text) override;
    void ShowMessage(QMessageBox::Icon icon, const QString &text) override { showMessage(icon, text); }
    bool Confirm(const QString &text) override { return confirm(text); }
    void ShowStatus(const QString &text) override;
    QWidget *DialogParent() override { return this; }

    static const char *const kCaption;

protected:
    void closeEvent(QCloseEvent *e) override;
    void resizeEvent(QResizeEvent *e) override;
    void showEvent(QShowEvent *e) override;
    void wheelEvent(QWheelEvent *e) override;
    void keyPressEvent(QKeyEvent *e) override;
    void dragEnterEvent(QDragEnterEvent *e) override;
    void dragMoveEvent(QDragMoveEvent *e) override;
    void dropEvent(QDropEvent *e) override;

private:
    void buildControls();
    void buildMenu();
    void connectView();
    void connectDocument();
    void layoutPanels();
    void frameDrawn();
    // The controls from the document's plan.
    void showPlan(unsigned parts);
    // The set-up fields whose text is not the applied value, marked.
    void markNotApplied();
    // The pattern fields as they show, committed.
    // The pattern fields as they show, committed; false (with a message
    // that begins with what, and nothing changed) while one of them is not
    // a whole number.
    bool takePatternFields(const QString &what);
    // Takes the enabled fields into the values, or refuses as above; the
    // values brought within their limits are said in clampNotes_.
    bool takeFields(std::initializer_list<std::pair<SpinEdit *, int *>> fields, const QString &what);
    // The Plan, View and Help menus, once the toolbar's buttons exist.
    void buildLaterMenus();
    // The file dropped on the window: a model or a plan, by its name.
    bool acceptsDrop(const QMimeData *data, QString *path = nullptr) const;
    void updateTitle();
    void updateRecentMenu();

    int wheelRemainder_ = 0;
    int menuHeight_ = 0;
    int toolBarEnd_ = 0; // x where the next toolbar button goes
    bool outerSizeApplied_ = false;
    QStringList clampNotes_;
    nuk::Point3f viewCentre_{0, 0, 0}; // where the view looks, mm
    bool loading_ = false;
};

// The single instance.
extern TForm1 *Form1;
