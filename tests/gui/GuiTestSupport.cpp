#include "GuiTestSupport.h"

#include <cmath>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QMatrix4x4>
#include <QSettings>
#include <QTest>
#include <QVector4D>

#include "app/GLView.h"
#include "app/Mainform.h"

namespace
{

// Before any window is made: every QSettings of the test goes to a folder
// that is removed when the test ends.
void UseScratchSettings()
{
    static QTemporaryDir folder;
    QCoreApplication::setOrganizationName(QStringLiteral("QuorvelTest"));
    QSettings::setDefaultFormat(QSettings::IniFormat);
    for (QSettings::Format f : {QSettings::IniFormat, QSettings::NativeFormat})
        for (QSettings::Scope s : {QSettings::UserScope, QSettings::SystemScope})
            QSettings::setPath(f, s, folder.path());
}

} // namespace

Q_COREAPP_STARTUP_FUNCTION(UseScratchSettings)

namespace guitest
{

void ForgetSettings() { QSettings().clear(); }

QPointF ProjectScenePoint(const QVector3D &p, int width, int height, float zoom, float zoomRef)
{
    const double w = width, h = height;
    const double aspect = w >= h ? w / h : h / w;
    QMatrix4x4 m;
    m.perspective(30.0f, float(aspect), 0.01f, 195000.0f);
    m.lookAt(QVector3D(3, 3, 3), QVector3D(0, 0, 0), QVector3D(0, 1, 0));
    const float s = zoom / zoomRef;
    m.scale(s, s, s);
    const QVector4D c = m * QVector4D(p, 1.0f);
    const double nx = c.x() / c.w(), ny = c.y() / c.w();
    return QPointF((nx + 1) * 0.5 * w, (1 - ny) * 0.5 * h);
}

QColor PixelAt(const QImage &img, QPointF at)
{
    const int x = int(std::floor(at.x())), y = int(std::floor(at.y()));
    if (x < 0 || y < 0 || x >= img.width() || y >= img.height()) return QColor();
    return QColor(img.pixel(x, y));
}

bool Near(const QColor &got, const QColor &want, int tol)
{
    if (!got.isValid()) return false;
    return std::abs(got.red() - want.red()) <= tol && std::abs(got.green() - want.green()) <= tol &&
           std::abs(got.blue() - want.blue()) <= tol;
}

QColor FromUnit(double r, double g, double b)
{
    auto c = [](double v) { return int(std::lround(std::fmin(1.0, std::fmax(0.0, v)) * 255.0)); };
    return QColor(c(r), c(g), c(b));
}

std::unique_ptr<TForm1> MakeShownForm()
{
    ForgetSettings();
    auto form = std::make_unique<TForm1>();
    form->showMessage = [](QMessageBox::Icon, const QString &) {};
    form->confirm = [](const QString &) { return true; };
    form->show();
    if (!QTest::qWaitForWindowExposed(form.get())) return nullptr;
    return form;
}

bool ShowAndWait(TForm1 &form)
{
    form.show();
    if (!QTest::qWaitForWindowExposed(&form)) return false;
    return QTest::qWaitFor([&] { return form.PanelOGL->isValid(); }, 5000);
}

QImage GrabView(TForm1 &form) { return form.PanelOGL->grabFramebuffer(); }

QString ReadText(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return QString();
    return QString::fromUtf8(f.readAll());
}

bool WriteText(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

void Ply::square(const QVector3D &c, float side, int n, bool facingPlusZ)
{
    const int first = int(points.size());
    for (int j = 0; j <= n; ++j)
        for (int i = 0; i <= n; ++i)
            points << c + QVector3D(side * (float(i) / n - 0.5f), side * (float(j) / n - 0.5f), 0);
    auto at = [&](int i, int j) { return first + j * (n + 1) + i; };
    for (int j = 0; j < n; ++j)
        for (int i = 0; i < n; ++i) {
            if (facingPlusZ) {
                triangles << std::array<int, 3>{at(i, j), at(i + 1, j), at(i + 1, j + 1)};
                triangles << std::array<int, 3>{at(i, j), at(i + 1, j + 1), at(i, j + 1)};
            } else {
                triangles << std::array<int, 3>{at(i, j), at(i + 1, j + 1), at(i + 1, j)};
                triangles << std::array<int, 3>{at(i, j), at(i, j + 1), at(i + 1, j + 1)};
            }
        }
}

bool Ply::write(const QString &path) const
{
    QByteArray t = "ply\nformat ascii 1.0\nelement vertex " + QByteArray::number(points.size()) +
                   "\nproperty float x\nproperty float y\nproperty float z\nelement face " +
                   QByteArray::number(triangles.size()) + "\nproperty list uchar int vertex_indices\nend_header\n";
    for (const QVector3D &p : points)
        t += QByteArray::number(p.x(), 'g', 9) + ' ' + QByteArray::number(p.y(), 'g', 9) + ' ' +
             QByteArray::number(p.z(), 'g', 9) + '\n';
    for (const auto &f : triangles)
        t += "3 " + QByteArray::number(f[0]) + ' ' + QByteArray::number(f[1]) + ' ' + QByteArray::number(f[2]) + '\n';
    return WriteText(path, t);
}

ScratchDir::ScratchDir() : previous_(QDir::currentPath()) { QDir::setCurrent(dir_.path()); }

ScratchDir::~ScratchDir() { QDir::setCurrent(previous_); }

} // namespace guitest
