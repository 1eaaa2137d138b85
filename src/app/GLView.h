#pragma once
// The view panel PanelOGL: an OpenGL widget with a compatibility-profile
// context, so the fixed-function drawing of the scene works. It owns the
// context and turns its events into signals; the window connects them to
// its handlers. Frames are drawn on demand: when something visible changes,
// and one after another while an animation (a trackball spin) asks for it,
// paced by the screen's refresh rate.

#include <QElapsedTimer>
#include <QOpenGLWidget>

class QLabel;
class QTimer;

class GLView : public QOpenGLWidget
{
    Q_OBJECT
public:
    explicit GLView(QWidget *parent);
    ~GLView() override;

    // The context format the view asks for: legacy OpenGL with a depth
    // buffer, double buffered, no alpha, stencil or accumulation.
    static QSurfaceFormat ViewFormat();
    // Whether the platform can make an OpenGL context of that format at
    // all. Without one Qt cannot even compose a window holding the view, so
    // this is asked before the window is made.
    static bool CanMakeContext();

    // Size in device pixels: what the viewport and the trackball use.
    double DeviceWidth() const;
    double DeviceHeight() const;
    // A widget position in device pixels, rounded to whole pixels.
    QPoint DevicePoint(const QPointF &p) const;

    // Something visible changed: draw a frame soon.
    void RequestFrame();
    // Draw another frame after this one, at the screen's pace (an
    // animation is running). Called from a paint handler.
    void ContinueAnimation();

    // Stops drawing for good (the window is going away).
    void StopFrames();

    // True once the context is made and can draw the scene.
    bool Usable() const { return usable_; }

    // A short notice in the top-left corner of the view, gone after
    // durationMs. Not modal: the view goes on working under it.
    void ShowNotice(const QString &text, int durationMs = 6000);
    QLabel *Notice() const { return notice_; }

    // Frames drawn since the view was made (for tests and benchmarks).
    quint64 FrameCount() const { return frames_; }

signals:
    void contextReady();
    void contextFailed(const QString &message);
    void resized();
    void paintRequested();
    void mousePressed(Qt::MouseButton button, Qt::KeyboardModifiers modifiers, int x, int y);
    void mouseMoved(Qt::KeyboardModifiers modifiers, int x, int y);
    void mouseReleased(Qt::MouseButton button, Qt::KeyboardModifiers modifiers, int x, int y);
    void wheelTurned(QWheelEvent *e);
    void resetRequested();
    // The context is current and about to go: free what was made in it.
    void contextAboutToGo();

protected:
    void initializeGL() override;
    void resizeGL(int w, int h) override;
    void paintGL() override;
    void resizeEvent(QResizeEvent *e) override;

    void mousePressEvent(QMouseEvent *e) override;
    void mouseMoveEvent(QMouseEvent *e) override;
    void mouseReleaseEvent(QMouseEvent *e) override;
    void wheelEvent(QWheelEvent *e) override;
    void keyPressEvent(QKeyEvent *e) override;

private:
    void reportFailure(const char *message);
    void releaseContext();

    QElapsedTimer frameClock_;
    QTimer *nextFrame_ = nullptr;
    QLabel *notice_ = nullptr;
    QTimer *noticeTimer_ = nullptr;
    quint64 frames_ = 0;
    bool stopped_ = false;
    bool failureReported_ = false;
    bool usable_ = false;
};
