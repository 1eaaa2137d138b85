#include "app/GLView.h"

#include <cmath>

#include <QMetaObject>
#include <QMouseEvent>
#include <QWheelEvent>
#include <QOpenGLContext>
#include <QScreen>
#include <QTimer>

#include "app/Mainform.h"

GLView::GLView(TForm1 *form, QWidget *parent) : QOpenGLWidget(parent), form_(form)
{
    setFormat(ViewFormat());
    setMouseTracking(false);
    setFocusPolicy(Qt::ClickFocus);
    // Each finished frame asks for the next one: the scene is drawn
    // continuously, which is also what keeps a trackball spin turning.
    connect(this, &QOpenGLWidget::frameSwapped, this, &GLView::scheduleNextFrame);
}

GLView::~GLView() { stopped_ = true; }

QSurfaceFormat GLView::ViewFormat()
{
    QSurfaceFormat f;
    f.setRenderableType(QSurfaceFormat::OpenGL);
    f.setProfile(QSurfaceFormat::CompatibilityProfile);
    f.setVersion(2, 1);
    f.setSwapBehavior(QSurfaceFormat::DoubleBuffer);
    f.setRedBufferSize(8);
    f.setGreenBufferSize(8);
    f.setBlueBufferSize(8);
    f.setAlphaBufferSize(0);
    f.setDepthBufferSize(24);
    f.setStencilBufferSize(0);
    f.setSwapInterval(1);
    return f;
}

double GLView::DeviceWidth() const { return std::round(width() * devicePixelRatioF()); }
double GLView::DeviceHeight() const { return std::round(height() * devicePixelRatioF()); }

QPoint GLView::DevicePoint(const QPointF &p) const
{
    const double r = devicePixelRatioF();
    return QPoint(static_cast<int>(std::lround(p.x() * r)), static_cast<int>(std::lround(p.y() * r)));
}

void GLView::StopFrames() { stopped_ = true; }

// The fixed-function drawing needs desktop OpenGL with the legacy calls: a
// core profile of 3.2 or later, or OpenGL ES, cannot draw the scene.
static bool CanDrawFixedFunction(const QSurfaceFormat &f)
{
    if (f.renderableType() == QSurfaceFormat::OpenGLES) return false;
    const bool core = f.profile() == QSurfaceFormat::CoreProfile;
    return !(core && f.version() >= qMakePair(3, 2));
}

void GLView::reportFailure(const char *message)
{
    usable_ = false;
    if (failureReported_) return;
    failureReported_ = true;
    // Not from inside the toolkit's GL set-up: a message box runs its own loop.
    QMetaObject::invokeMethod(
        form_, [f = form_, m = QString::fromLatin1(message)] { f->ViewFailed(m); }, Qt::QueuedConnection);
}

void GLView::initializeGL()
{
    if (!context() || !CanDrawFixedFunction(context()->format())) return reportFailure(":-)~ hrc == NULL");
    if (QOpenGLContext::currentContext() != context()) return reportFailure("Could not MakeCurrent");
    usable_ = true;
    form_->FormCreate();
}

void GLView::resizeGL(int, int)
{
    if (usable_) form_->FormResize();
}

void GLView::paintGL()
{
    frameClock_.start();
    framePending_ = false;
    if (usable_) form_->FormPaint();
}

void GLView::resizeEvent(QResizeEvent *e)
{
    QOpenGLWidget::resizeEvent(e);
    // The widget makes its context on the first resize while visible.
    if (!isValid() && isVisible() && !size().isEmpty()) reportFailure(":-)~ hrc == NULL");
}

// Next frame as soon as the event queue allows, but no faster than the
// screen refreshes: where the buffer swap does not wait for the display
// (a virtual X server), the wait is made here instead.
void GLView::scheduleNextFrame()
{
    if (stopped_ || framePending_) return;
    framePending_ = true;
    double hz = screen() ? screen()->refreshRate() : 60.0;
    if (!(hz >= 1.0)) hz = 60.0;
    const qint64 interval = static_cast<qint64>(1000.0 / hz);
    const qint64 elapsed = frameClock_.isValid() ? frameClock_.elapsed() : interval;
    const int wait = static_cast<int>(qMax<qint64>(0, interval - elapsed));
    QTimer::singleShot(wait, Qt::PreciseTimer, this, [this] {
        if (!stopped_) form_->AppIdle();
    });
}

void GLView::mousePressEvent(QMouseEvent *e)
{
    const QPoint p = DevicePoint(e->position());
    form_->PanelOGLMouseDown(e->button(), e->modifiers(), p.x(), p.y());
    e->accept();
}

void GLView::mouseMoveEvent(QMouseEvent *e)
{
    const QPoint p = DevicePoint(e->position());
    form_->PanelOGLMouseMove(e->modifiers(), p.x(), p.y());
    e->accept();
}

void GLView::mouseReleaseEvent(QMouseEvent *e)
{
    const QPoint p = DevicePoint(e->position());
    form_->PanelOGLMouseUp(e->button(), e->modifiers(), p.x(), p.y());
    e->accept();
}

// The wheel zooms wherever it turns over the window; the view hands it to
// the window's handler directly rather than relying on propagation.
void GLView::wheelEvent(QWheelEvent *e)
{
    form_->FormMouseWheel(e);
    e->accept();
}
