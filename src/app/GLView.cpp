#include "app/GLView.h"

#include <cmath>

#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QOpenGLContext>
#include <QScreen>
#include <QTimer>
#include <QWheelEvent>

GLView::GLView(QWidget *parent) : QOpenGLWidget(parent)
{
    setFormat(ViewFormat());
    setMouseTracking(false);
    setFocusPolicy(Qt::ClickFocus);

    nextFrame_ = new QTimer(this);
    nextFrame_->setSingleShot(true);
    nextFrame_->setTimerType(Qt::PreciseTimer);
    connect(nextFrame_, &QTimer::timeout, this, [this] {
        if (!stopped_) update();
    });

    // A child widget over the GL surface: the toolkit composes it on top of
    // the frame, so the scene's GL state is never touched for it.
    notice_ = new QLabel(this);
    notice_->setObjectName("LoadNotice");
    notice_->setWordWrap(true);
    notice_->setTextFormat(Qt::PlainText);
    notice_->setMargin(6);
    notice_->setAttribute(Qt::WA_TransparentForMouseEvents);
    notice_->setStyleSheet(QStringLiteral("QLabel { background: rgba(255, 248, 220, 235); color: #5a1e00;"
                                          " border: 1px solid #b05a00; border-radius: 3px; }"));
    notice_->hide();
    noticeTimer_ = new QTimer(this);
    noticeTimer_->setSingleShot(true);
    connect(noticeTimer_, &QTimer::timeout, notice_, &QWidget::hide);
}

GLView::~GLView()
{
    stopped_ = true;
    // The toolkit deletes the context after this destructor, when the
    // listeners are gone.
    releaseContext();
    if (context()) disconnect(context(), nullptr, this, nullptr);
}

void GLView::releaseContext()
{
    if (!isValid()) return;
    makeCurrent();
    emit contextAboutToGo();
    doneCurrent();
}

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

bool GLView::CanMakeContext()
{
    QOpenGLContext probe;
    probe.setFormat(ViewFormat());
    return probe.create();
}

double GLView::DeviceWidth() const { return std::round(width() * devicePixelRatioF()); }
double GLView::DeviceHeight() const { return std::round(height() * devicePixelRatioF()); }

QPoint GLView::DevicePoint(const QPointF &p) const
{
    const double r = devicePixelRatioF();
    return QPoint(static_cast<int>(std::lround(p.x() * r)), static_cast<int>(std::lround(p.y() * r)));
}

void GLView::RequestFrame()
{
    if (!stopped_) update();
}

// The next frame of an animation as soon as the event queue allows, but no
// faster than the screen refreshes: where the buffer swap does not wait for
// the display (a virtual X server), the wait is made here instead.
void GLView::ContinueAnimation()
{
    if (stopped_ || nextFrame_->isActive()) return;
    double hz = screen() ? screen()->refreshRate() : 60.0;
    if (!(hz >= 1.0)) hz = 60.0;
    const qint64 interval = static_cast<qint64>(1000.0 / hz);
    const qint64 elapsed = frameClock_.isValid() ? frameClock_.elapsed() : interval;
    nextFrame_->start(static_cast<int>(qMax<qint64>(0, interval - elapsed)));
}

void GLView::StopFrames()
{
    stopped_ = true;
    nextFrame_->stop();
}

void GLView::ShowNotice(const QString &text, int durationMs)
{
    notice_->setText(text);
    const int w = qMax(120, qMin(width() - 16, 420));
    notice_->setFixedWidth(w);
    notice_->adjustSize();
    notice_->move(8, 8);
    notice_->show();
    notice_->raise();
    noticeTimer_->start(durationMs);
}

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
    // Queued: not from inside the toolkit's GL set-up, as a message box
    // runs its own loop.
    QMetaObject::invokeMethod(
        this, [this, m = QString::fromLatin1(message)] { emit contextFailed(m); }, Qt::QueuedConnection);
}

void GLView::initializeGL()
{
    if (!context() || !CanDrawFixedFunction(context()->format())) return reportFailure(":-)~ hrc == NULL");
    if (QOpenGLContext::currentContext() != context()) return reportFailure("Could not MakeCurrent");
    usable_ = true;
    // A new context comes when the view moves to another window; the old
    // one takes its objects with it.
    connect(context(), &QOpenGLContext::aboutToBeDestroyed, this, &GLView::releaseContext,
            Qt::ConnectionType(Qt::DirectConnection | Qt::UniqueConnection));
    emit contextReady();
}

void GLView::resizeGL(int, int)
{
    if (usable_) emit resized();
}

void GLView::paintGL()
{
    frameClock_.start();
    ++frames_;
    if (usable_) emit paintRequested();
}

void GLView::resizeEvent(QResizeEvent *e)
{
    QOpenGLWidget::resizeEvent(e);
    // The widget makes its context on the first resize while visible.
    if (!isValid() && isVisible() && !size().isEmpty()) reportFailure(":-)~ hrc == NULL");
}

void GLView::mousePressEvent(QMouseEvent *e)
{
    const QPoint p = DevicePoint(e->position());
    emit mousePressed(e->button(), e->modifiers(), p.x(), p.y());
    e->accept();
}

void GLView::mouseMoveEvent(QMouseEvent *e)
{
    const QPoint p = DevicePoint(e->position());
    emit mouseMoved(e->modifiers(), p.x(), p.y());
    e->accept();
}

void GLView::mouseReleaseEvent(QMouseEvent *e)
{
    const QPoint p = DevicePoint(e->position());
    emit mouseReleased(e->button(), e->modifiers(), p.x(), p.y());
    e->accept();
}

// The wheel zooms wherever it turns over the window; the view hands it on
// directly rather than relying on propagation.
void GLView::wheelEvent(QWheelEvent *e)
{
    emit wheelTurned(e);
    e->accept();
}

void GLView::keyPressEvent(QKeyEvent *e)
{
    if (e->key() == Qt::Key_Home && e->modifiers() == Qt::NoModifier) {
        emit resetRequested();
        e->accept();
        return;
    }
    QOpenGLWidget::keyPressEvent(e);
}
