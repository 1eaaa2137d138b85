#pragma once
// Helpers shared by the window tests: where a scene point lands in a grabbed
// frame (worked out with Qt's own matrix code, not the view's), colour
// checks with a tolerance, a scratch working directory, and settings kept
// in a scratch folder of their own: no window test reads or writes the
// user's settings.

#include <array>
#include <memory>

#include <QColor>
#include <QList>
#include <QImage>
#include <QPointF>
#include <QString>
#include <QTemporaryDir>
#include <QVector3D>

class TForm1;

namespace guitest
{

// The camera of the view: 30 degree field of view, aspect = longer side
// over shorter, eye (3, 3, 3) looking at the origin, Y up, everything
// scaled by zoom / 1500. Returns the pixel (rows counted from the top) of
// a point given in scene units, in an image of width x height pixels.
QPointF ProjectScenePoint(const QVector3D &p, int width, int height, float zoom = 1.0f, float zoomRef = 1500.0f);

// The colour at a pixel, read from an image in any format.
QColor PixelAt(const QImage &img, QPointF at);

// True when every channel is within tol (0..255) of the expected colour.
bool Near(const QColor &got, const QColor &want, int tol = 3);

// The colour glColor3f(r, g, b) gives, as 8-bit channels.
QColor FromUnit(double r, double g, double b);

// A new window whose message boxes are swallowed, shown and exposed; null
// when it could not be shown.
std::unique_ptr<TForm1> MakeShownForm();

// Shows the window, waits until it is exposed and the view has drawn.
bool ShowAndWait(TForm1 &form);

// A frame of the view as drawn now.
QImage GrabView(TForm1 &form);

// Forgets whatever an earlier test left in the (scratch) settings, so that
// each window starts as on a first run.
void ForgetSettings();

// Text of a file, or a null string when it cannot be read.
QString ReadText(const QString &path);
// Writes the bytes as they are; false when it cannot.
bool WriteText(const QString &path, const QByteArray &bytes);

// An ASCII PLY file of points and triangles.
struct Ply {
    QList<QVector3D> points;
    QList<std::array<int, 3>> triangles;

    // A square of side `side` centred at c, facing +Z (or -Z), as a grid
    // of n x n cells.
    void square(const QVector3D &c, float side, int n = 1, bool facingPlusZ = true);
    bool write(const QString &path) const;
};

// Makes a fresh directory the working directory while it lives.
class ScratchDir
{
public:
    ScratchDir();
    ~ScratchDir();
    QString path() const { return dir_.path(); }
    QString file(const QString &name) const { return dir_.filePath(name); }

private:
    QTemporaryDir dir_;
    QString previous_;
};

} // namespace guitest
