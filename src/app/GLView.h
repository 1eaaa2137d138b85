#pragma once
// The view panel PanelOGL: an OpenGL widget with a compatibility-profile
// context, so the fixed-function drawing of the scene works. It owns the
// context and hands its events to the window's handlers; drawing goes on
// frame after frame while the program is idle, paced by the screen.

#include <QElapsedTimer>
#include <QOpenGLWidget>

class TForm1;

class GLView : public QOpenGLWidget
{
    Q_OBJECT
public:
    GLView(TForm1 *form, QWidget *parent);
    ~GLView() override;

    // The context format the view asks for: legacy OpenGL with a depth
    // buffer, double buffered, no alpha, stencil or accumulation.
    static QSurfaceFormat ViewFormat();

    // Size in device pixels: what the viewport and the trackball use.
    double DeviceWidth() const;
    double DeviceHeight() const;
    // A widget position in device pixels, rounded to whole pixels.
    QPoint DevicePoint(const QPointF &p) const;

    // Stops the continuous redraw (the window is going away).
    void StopFrames();

    // True once the context is made and can draw the scene.
    bool Usable() const { return usable_; }

protected:
    void initializeGL() override;
    void resizeGL(int w, int h) override;
    void paintGL() override;
    void resizeEvent(QResizeEvent *e) override;

    void mousePressEvent(QMouseEvent *e) override;
    void mouseMoveEvent(QMouseEvent *e) override;
    void mouseReleaseEvent(QMouseEvent *e) override;
    void wheelEvent(QWheelEvent *e) override;

private:
    void scheduleNextFrame();
    void reportFailure(const char *message);

    TForm1 *form_;
    QElapsedTimer frameClock_;
    bool framePending_ = false;
    bool stopped_ = false;
    bool failureReported_ = false;
    bool usable_ = false;
};
