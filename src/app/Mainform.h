#pragma once
// The main window: the parameter panel, the 3D view of the set-up and the
// log line. TForm1 holds all run-time state; its handlers gather the inputs
// and call into the planner, the trackball and the mesh import.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include <QIcon>
#include <QList>
#include <QMessageBox>
#include <QString>
#include <QWidget>

#include "app/ModelArrays.h"
#include "app/ModelMesh.h"
#include "nuk/Point3.h"
#include "nuk/tools/Hand.h"
#include "planner/Layout.h"
#include "planner/Pattern.h"

class QCheckBox;
class QFileDialog;
class QFrame;
class QLabel;
class QPlainTextEdit;
class QPushButton;
class QToolBar;
class QToolButton;
class QKeyEvent;
class QWheelEvent;
class GLView;
class LightExportAction;
class LightCoverage;
class ModelDrawing;
class SpinEdit;

class TForm1 : public QWidget
{
    Q_OBJECT
public:
    explicit TForm1(QWidget *parent = nullptr);
    ~TForm1() override;

    // Controls, named as in the layout.
    QToolBar *ToolBar1;
    QFrame *ToolButton1;
    QToolButton *TB_loadmodel;
    QFrame *ToolButton2;
    QToolButton *TB_resetview; // "Reset view"
    // "Export light positions…", in its own files.
    LightExportAction *lightExport = nullptr;
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
    QLabel *Panel2;       // its caption is covered by the view and the log
    QLabel *PanelOGLBack; // "OPENGL", seen only where the view does not draw
    GLView *PanelOGL;
    QPlainTextEdit *Memo1;
    QList<QIcon> ImageList1;
    QFileDialog *Open_ply;
    QFileDialog *Save_data;

    // Run-time state, in construction order.
    double view_width = 0, view_height = 0;
    nuk::TrackHand track;
    std::int32_t mouse_buttons = 0;
    std::uint8_t dragging = 0;
    float zoom = 1.0f;
    std::int32_t obj_size = 250;
    std::int32_t obj_height = 1000;
    std::int32_t cam_dist = 1000;
    float zoom_ref = 1500.0f;
    planner::PatternLists pattern; // positions and the four float lists
    // The input of the last "Generate -->", for whatever works on the
    // generated pattern (export, report); empty before the first.
    std::optional<planner::PatternInput> lastGenerated;
    // The last generated plan judged against the object and camera of the
    // last "Apply ->": what the report and the coverage work on.
    std::optional<planner::PatternInput> PlanInput() const;
    // The layout "Generate -->" uses (chosen with "Layout…"), and the one
    // of the last "Generate -->".
    planner::LayoutInput chosenLayout;
    std::optional<planner::LayoutInput> lastLayout;
    std::vector<nuk::Point3f> &positions = pattern.positions;
    AMesh mesh;
    ModelArrays model_arrays;          // the mesh as the view draws it, rebuilt per load
    LightCoverage *coverage = nullptr; // "Light coverage" and "Fit model to object"
    // The full model at rest, a simplified stand-in while the view moves.
    std::unique_ptr<ModelDrawing> modelDrawing;

    // Replaceable for tests: the model file chosen in Open_ply (empty when
    // cancelled), and how a message box reaches the operator.
    std::function<QString()> chooseModelFile;
    std::function<void(QMessageBox::Icon, const QString &)> showMessage;
    // An import running longer than this shows a progress dialog.
    int progressDelayMs = 500;
    bool lastLoadShowedProgress = false;
    // How long the notice of a failed load, or of a load that converted
    // something, stays over the view.
    int noticeDurationMs = 6000;
    // The folder of the last model chosen; the open dialog starts there.
    QString lastModelFolder;

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

    // Adds a button to the toolbar, after the ones already there.
    QToolButton *AddToolButton(const char *name, const QString &text, const QString &toolTip,
                               const QIcon &icon = QIcon());

    static const char *const kCaption;

signals:
    // After every "Generate -->" (the lists and lastGenerated are new) and
    // every "Apply ->" (obj_size, obj_height, cam_dist are new).
    void patternGenerated();
    void parametersApplied();
    // After a model loaded successfully (mesh and model_arrays are new).
    void modelLoaded();

protected:
    void resizeEvent(QResizeEvent *e) override;
    void showEvent(QShowEvent *e) override;
    void wheelEvent(QWheelEvent *e) override;
    void keyPressEvent(QKeyEvent *e) override;

private:
    void buildControls();
    void connectView();
    void layoutPanels();
    void frameDrawn();

    int wheelRemainder_ = 0;
    int toolBarEnd_ = 0; // x where the next toolbar button goes
    bool outerSizeApplied_ = false;
    bool loading_ = false;
};

// The single instance.
extern TForm1 *Form1;
