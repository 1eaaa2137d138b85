// The view: stage, camera and positions where the geometry puts them, the
// continuous redraw, and the mouse and wheel routed to the trackball.

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

#include <QApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QOpenGLContext>
#include <QPushButton>
#include <QToolButton>
#include <QElapsedTimer>
#include <QSignalSpy>
#include <QSurfaceFormat>
#include <QFile>
#include <QLineF>
#include <QStatusBar>
#include <QTest>
#include <QWheelEvent>

#include "GuiTestSupport.h"
#include "app/GLView.h"
#include "app/Mainform.h"
#include "app/PlanDocument.h"
#include "app/SpinEdit.h"
#include "nuk/Affine.h"

using guitest::FromUnit;
using guitest::Near;
using guitest::PixelAt;
using guitest::ScratchDir;

namespace
{

const QColor kBackground = FromUnit(0.5, 0.6, 0.7);
const QColor kBackdrop = FromUnit(0.8, 0.4, 0.6);
const QColor kFloor = FromUnit(0.4, 0.8, 0.3);
const QColor kPlate = FromUnit(0.3, 0.5, 0.9);
const QColor kYellow = FromUnit(0.9, 0.9, 0.0);

bool IsIdentity(const nuk::Affine &a) { return a == nuk::Affine(); }

} // namespace

class ViewTest : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<TForm1> form;

    double dpr() const { return form->PanelOGL->devicePixelRatioF(); }

    QPointF at(const QImage &img, const QVector3D &p) const
    {
        return guitest::ProjectScenePoint(p, img.width(), img.height(), form->zoom, form->zoom_ref);
    }

    // A colour anywhere in the 3 x 3 pixels around a point.
    static bool NearAround(const QImage &img, QPointF p, const QColor &want, int tol = 3)
    {
        for (int dy = -1; dy <= 1; ++dy)
            for (int dx = -1; dx <= 1; ++dx)
                if (Near(PixelAt(img, p + QPointF(dx, dy)), want, tol)) return true;
        return false;
    }

    static bool Inside(const QImage &img, QPointF p)
    {
        return p.x() >= 2 && p.y() >= 2 && p.x() < img.width() - 2 && p.y() < img.height() - 2;
    }

    void send(QEvent::Type type, QPoint pos, Qt::MouseButton button, Qt::MouseButtons buttons,
              Qt::KeyboardModifiers mods)
    {
        QWidget *w = form->PanelOGL;
        QMouseEvent e(type, QPointF(pos), w->mapToGlobal(QPointF(pos)), button, buttons, mods);
        QApplication::sendEvent(w, &e);
    }

    void wheel(int steps)
    {
        QWidget *w = form->PanelOGL;
        const QPointF pos(w->width() / 2.0, w->height() / 2.0);
        for (int i = 0; i < std::abs(steps); ++i) {
            QWheelEvent e(pos, w->mapToGlobal(pos), QPoint(), QPoint(0, steps < 0 ? -120 : 120), Qt::NoButton,
                          Qt::NoModifier, Qt::NoScrollPhase, false);
            QApplication::sendEvent(w, &e);
        }
    }

private slots:
    void init()
    {
        guitest::ForgetSettings();
        form = std::make_unique<TForm1>();
        form->showMessage = [](QMessageBox::Icon, const QString &m) { QFAIL(qPrintable(m)); };
    }
    void cleanup() { form.reset(); }

    void viewportInDevicePixels()
    {
        QVERIFY(guitest::ShowAndWait(*form));
        if (qEnvironmentVariable("QT_SCALE_FACTOR") == QLatin1String("2")) QCOMPARE(dpr(), 2.0);
        const QImage img = guitest::GrabView(*form);
        QCOMPARE(double(img.width()), std::round(form->PanelOGL->width() * dpr()));
        QCOMPARE(double(img.height()), std::round(form->PanelOGL->height() * dpr()));
        QCOMPARE(form->view_width, double(img.width()));
        QCOMPARE(form->view_height, double(img.height()));
        // Start-up left the trackball at the origin with the zoom as its scale.
        QCOMPARE(form->track.pivot.Translation(), nuk::Point3d(0, 0, 0));
        QVERIFY(std::fabs(nuk::ScaleFactor(form->track.pivot) - 1.0) < 1e-12);
        QVERIFY(form->track.spin_enabled);
    }

    // A view that gets no context it can draw with (here a core profile,
    // which has no fixed-function calls) says so once; the window works on.
    void contextFailureIsReported()
    {
        QStringList messages;
        form->showMessage = [&messages](QMessageBox::Icon, const QString &m) { messages << m; };
        QSurfaceFormat impossible = GLView::ViewFormat();
        impossible.setProfile(QSurfaceFormat::CoreProfile);
        impossible.setVersion(99, 0);
        form->PanelOGL->setFormat(impossible);
        form->show();
        QVERIFY(QTest::qWaitForWindowExposed(form.get()));
        QTRY_COMPARE(messages, QStringList{QStringLiteral(":-)~ hrc == NULL")});
        QVERIFY(!form->PanelOGL->Usable());
        QVERIFY(!form->PanelOGL->isVisible()); // the panel's "OPENGL" shows instead
        QVERIFY(form->PanelOGLBack->isVisible());
        ScratchDir dir;
        QTest::mouseClick(form->Button2, Qt::LeftButton);
        QCOMPARE(form->document->pattern().positions.size(), std::size_t(145));
        form->resize(700, 600);
        QTest::qWait(100);
        QCOMPARE(messages.size(), 1);
    }

    // Backdrop, floor, plate and the clear colour where the camera sees
    // them, for a wide and for a tall view (aspect = longer over shorter).
    void stageColours_data()
    {
        QTest::addColumn<QSize>("windowSize");
        QTest::newRow("start size") << QSize(845, 683);
        QTest::newRow("wide view") << QSize(1100, 620);
        QTest::newRow("tall view") << QSize(680, 760);
    }
    void stageColours()
    {
        QFETCH(QSize, windowSize);
        QVERIFY(guitest::ShowAndWait(*form));
        form->resize(windowSize);
        QTRY_COMPARE(form->size(), windowSize);
        QImage img;
        QTRY_VERIFY((img = guitest::GrabView(*form)).width() == int(std::round(form->PanelOGL->width() * dpr())));

        const struct {
            const char *what;
            QVector3D p;
            QColor colour;
        } samples[] = {
            // Off the plane x = y, which the camera sees edge-on, together
            // with the pyramid lines in it.
            {"plate", QVector3D(60, -40, 10), kPlate},
            {"plate", QVector3D(-80, 40, 10), kPlate},
            {"backdrop", QVector3D(1800, 600, 0), kBackdrop},
            {"backdrop", QVector3D(900, 2000, 0), kBackdrop},
            {"floor", QVector3D(-500, -1000, 2500), kFloor},
            {"floor", QVector3D(1200, -1000, 800), kFloor},
            // On the base plane beyond the backdrop, where nothing is drawn.
            {"background", QVector3D(-4000, 3000, 0), kBackground},
        };
        for (const auto &s : samples) {
            const QPointF px = at(img, s.p);
            if (!Inside(img, px)) continue; // out of this view's frame
            const QColor got = PixelAt(img, px);
            QVERIFY2(Near(got, s.colour), qPrintable(QStringLiteral("%1 at (%2, %3): got %4, want %5")
                                                         .arg(s.what)
                                                         .arg(px.x())
                                                         .arg(px.y())
                                                         .arg(got.name(), s.colour.name())));
        }
        // The plate's centre is always in the middle of the view.
        QVERIFY(Inside(img, at(img, QVector3D(60, -40, 10))));
    }

    // "Apply ->" changes the plate and the stage, not the scale.
    void applyResizesThePlate()
    {
        QVERIFY(guitest::ShowAndWait(*form));
        QImage img = guitest::GrabView(*form);
        const QVector3D outsideOldPlate(300, -200, 10);
        QVERIFY(Near(PixelAt(img, at(img, outsideOldPlate)), kBackdrop));

        form->CSE_size->setValue(1000); // plate half size 500
        QTest::mouseClick(form->Button1, Qt::LeftButton);
        img = guitest::GrabView(*form);
        QVERIFY(Near(PixelAt(img, at(img, outsideOldPlate)), kPlate));
        QCOMPARE(form->zoom_ref, 1500.0f);

        // The floor follows "OBJ height": at 500 it lies 500 higher, and
        // hides the foot of the backdrop as seen from above.
        const QPointF foot = at(img, QVector3D(1200, -800, 0));
        QVERIFY(Inside(img, foot));
        QVERIFY(Near(PixelAt(img, foot), kBackdrop));
        form->CSE_hgh->setValue(500);
        QTest::mouseClick(form->Button1, Qt::LeftButton);
        img = guitest::GrabView(*form);
        QVERIFY(Near(PixelAt(img, foot), kFloor));
    }

    void yellowPointsAfterGenerate()
    {
        ScratchDir dir;
        QVERIFY(guitest::ShowAndWait(*form));
        QImage before = guitest::GrabView(*form);

        QTest::mouseClick(form->Button2, Qt::LeftButton);
        QCOMPARE(form->document->pattern().positions.size(), std::size_t(145));
        const QImage after = guitest::GrabView(*form);

        int checked = 0;
        std::vector<int> runs;
        for (const nuk::Point3f &p : form->document->pattern().positions) {
            // In front of the backdrop, above the floor, clear of the camera cube.
            if (p.z < 20 || p.y <= -1000) continue;
            if (std::fabs(p.x) < 200 && std::fabs(p.y) < 200) continue;
            const QPointF px = at(after, QVector3D(p.x, p.y, p.z));
            if (!Inside(after, px)) continue;
            QVERIFY2(NearAround(after, px, kYellow),
                     qPrintable(QStringLiteral("point (%1, %2, %3)").arg(p.x).arg(p.y).arg(p.z)));
            QVERIFY(!NearAround(before, px, kYellow));
            // Across the point: 4 pixels of the screen, in device pixels.
            int run = 0;
            for (int dx = -12; dx <= 12; ++dx)
                run += Near(PixelAt(after, px + QPointF(dx, 0)), kYellow) ? 1 : 0;
            runs.push_back(run);
            ++checked;
        }
        QVERIFY2(checked > 60, qPrintable(QString::number(checked)));
        std::sort(runs.begin(), runs.end());
        const int median = runs[runs.size() / 2];
        QVERIFY2(std::abs(median - 4 * dpr()) <= 1.0, qPrintable(QStringLiteral("%1 at ratio %2").arg(median).arg(dpr())));
    }

    // Frames on demand: a still scene draws nothing more once shown, and
    // each change (a wheel step, "Apply ->") draws again.
    void idleViewDrawsNoFrames()
    {
        QVERIFY(guitest::ShowAndWait(*form));
        QTest::qWait(300); // let the start-up frames settle
        const quint64 settled = form->PanelOGL->FrameCount();
        QTest::qWait(700);
        QCOMPARE(form->PanelOGL->FrameCount(), settled);

        wheel(-1);
        QTRY_VERIFY(form->PanelOGL->FrameCount() > settled);
        const quint64 afterWheel = form->PanelOGL->FrameCount();
        QTest::mouseClick(form->Button1, Qt::LeftButton);
        QTRY_VERIFY(form->PanelOGL->FrameCount() > afterWheel);
    }

    // Each wheel step scales the pivot by 1.1 (down) or 1/1.1 (up); the
    // model is left alone and the drawing scales with the zoom.
    void wheelZoomsThePivotOnly()
    {
        QVERIFY(guitest::ShowAndWait(*form));
        const nuk::Affine model = form->track.model;
        const nuk::Point3d pivotAt = form->track.pivot.Translation();

        wheel(-1);
        QCOMPARE(form->zoom, float(1.1));
        QVERIFY(std::fabs(nuk::ScaleFactor(form->track.pivot) - double(form->zoom)) < 1e-6);

        wheel(-9);
        QVERIFY(std::fabs(form->zoom - std::pow(1.1, 10)) < 1e-4);
        QVERIFY(std::fabs(nuk::ScaleFactor(form->track.pivot) - double(form->zoom)) < 1e-6);
        QVERIFY(form->track.model == model);
        QCOMPARE(form->track.pivot.Translation(), pivotAt);

        // The scene is drawn 2.59 times larger: the plate reaches further.
        const QImage img = guitest::GrabView(*form);
        QVERIFY(Near(PixelAt(img, at(img, QVector3D(110, -100, 10))), kPlate));
        QVERIFY(Near(PixelAt(img, at(img, QVector3D(150, -140, 10))), kBackdrop));

        wheel(10);
        QVERIFY(std::fabs(form->zoom - 1.0f) < 1e-5f);
        QVERIFY(form->track.model == model);
    }

    // "Frame model" (F) centres the view on the model and zooms until it
    // fills most of the height; "Reset view" goes back to the start.
    void frameModelFillsTheView()
    {
        ScratchDir dir;
        QVERIFY(guitest::ShowAndWait(*form));
        form->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(form.get()));
        const QImage start = guitest::GrabView(*form);
        QTest::mouseMove(form->PanelOGL, QPoint(form->PanelOGL->width() / 2, form->PanelOGL->height() / 2));
        QTest::keyClick(form.get(), Qt::Key_F);
        QVERIFY(form->StatusBar1->currentMessage().startsWith(QStringLiteral("No model to frame")));
        QCOMPARE(guitest::GrabView(*form), start);

        // A 40 mm square standing 300 mm in front of the backdrop, off the axis.
        QFile f(dir.file("square.ply"));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("ply\nformat ascii 1.0\nelement vertex 4\nproperty float x\nproperty float y\nproperty float z\n"
                "element face 2\nproperty list uchar int vertex_indices\nend_header\n"
                "60 60 300\n100 60 300\n100 100 300\n60 100 300\n3 0 1 2\n3 0 2 3\n");
        f.close();
        QCOMPARE(form->LoadModel(dir.file("square.ply")), 0);
        QTest::keyClick(form.get(), Qt::Key_F);
        const QImage img = guitest::GrabView(*form);
        const QVector3D centre(80, 80, 300);
        const QPointF a = at(img, QVector3D(60, 60, 300) - centre), b = at(img, QVector3D(100, 100, 300) - centre);
        QVERIFY(Inside(img, a) && Inside(img, b));
        // The square's diagonal is 0.9 of the field across the bounding
        // sphere's diameter, whatever the turn: most of the height.
        QVERIFY2(QLineF(a, b).length() > 0.5 * img.height(), qPrintable(QString::number(QLineF(a, b).length())));
        // Its middle is drawn where the view looks: none of the stage's colours.
        const QColor mid = PixelAt(img, QPointF(img.width() / 2.0, img.height() / 2.0));
        for (const QColor &stage : {kBackground, kBackdrop, kFloor, kPlate})
            QVERIFY2(!Near(mid, stage, 8), qPrintable(mid.name()));

        QTest::mouseClick(form->TB_resetview, Qt::LeftButton);
        QCOMPARE(form->zoom, 1.0f);
        QVERIFY(guitest::GrabView(*form) != img);
    }

    // The code built at mouse down reaches the trackball and stays for the
    // whole drag.
    void mouseCodes_data()
    {
        QTest::addColumn<int>("button");
        QTest::addColumn<int>("mods");
        QTest::addColumn<int>("code");
        using namespace nuk::HandButton;
        QTest::newRow("left") << int(Qt::LeftButton) << int(Qt::NoModifier) << kLeft;
        QTest::newRow("middle") << int(Qt::MiddleButton) << int(Qt::NoModifier) << kMiddle;
        QTest::newRow("right") << int(Qt::RightButton) << int(Qt::NoModifier) << kNone;
        QTest::newRow("left+ctrl") << int(Qt::LeftButton) << int(Qt::ControlModifier) << (kLeft | kCtrl);
        QTest::newRow("left+shift") << int(Qt::LeftButton) << int(Qt::ShiftModifier) << (kLeft | kShift);
        QTest::newRow("left+ctrl+shift") << int(Qt::LeftButton) << int(Qt::ControlModifier | Qt::ShiftModifier)
                                         << (kLeft | kCtrl);
        QTest::newRow("middle+alt") << int(Qt::MiddleButton) << int(Qt::AltModifier) << kMiddle;
        QTest::newRow("right+shift") << int(Qt::RightButton) << int(Qt::ShiftModifier) << (kNone | kShift);
    }
    void mouseCodes()
    {
        QFETCH(int, button);
        QFETCH(int, mods);
        QFETCH(int, code);
        QVERIFY(guitest::ShowAndWait(*form));
        const auto b = Qt::MouseButton(button);
        const auto m = Qt::KeyboardModifiers(mods);
        const QPoint p0(200, 150);

        send(QEvent::MouseButtonPress, p0, b, b, m);
        QCOMPARE(form->mouse_buttons, code);
        QCOMPARE(int(form->dragging), 1);
        QVERIFY(form->track.dragging);
        QCOMPARE(form->track.button_state, code);
        // Coordinates reach the trackball in device pixels.
        QCOMPARE(form->track.start_x, int(std::lround(p0.x() * dpr())));
        QCOMPARE(form->track.start_y, int(std::lround(p0.y() * dpr())));

        // Modifiers pressed during the drag do not change the code.
        send(QEvent::MouseMove, p0 + QPoint(30, 10), Qt::NoButton, b, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(form->mouse_buttons, code);
        QCOMPARE(form->track.button_state, code);

        send(QEvent::MouseButtonRelease, p0 + QPoint(30, 10), b, Qt::NoButton, m);
        QCOMPARE(int(form->dragging), 0);
        QVERIFY(!form->track.dragging);
    }

    // A left drag turns the scene; a move with no button held does not
    // reach the trackball.
    void dragTurnsTheScene()
    {
        QVERIFY(guitest::ShowAndWait(*form));
        form->track.EnableSpin(false); // a still picture to compare
        const QImage before = guitest::GrabView(*form);

        send(QEvent::MouseMove, QPoint(100, 100), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
        QVERIFY(IsIdentity(form->track.model));

        const QPoint c(form->PanelOGL->width() / 2, form->PanelOGL->height() / 2);
        send(QEvent::MouseButtonPress, c, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
        for (int i = 1; i <= 8; ++i)
            send(QEvent::MouseMove, c + QPoint(10 * i, 0), Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
        send(QEvent::MouseButtonRelease, c + QPoint(80, 0), Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
        QVERIFY(!IsIdentity(form->track.model));
        // A pure rotation about the origin: the pivot stays where it was.
        const nuk::Point3d t = form->track.model.Translation();
        QVERIFY(std::fabs(t.x) + std::fabs(t.y) + std::fabs(t.z) < 1e-9);

        const QImage after = guitest::GrabView(*form);
        int changed = 0;
        for (int y = 0; y < after.height(); y += 8)
            for (int x = 0; x < after.width(); x += 8)
                changed += before.pixel(x, y) != after.pixel(x, y);
        QVERIFY2(changed > 100, qPrintable(QString::number(changed)));

        const nuk::Affine turned = form->track.model;
        send(QEvent::MouseMove, c + QPoint(-50, 40), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
        QVERIFY(form->track.model == turned);
    }

    // A flick leaves the scene spinning: frames keep coming without any
    // input, each one turned further, no faster than the screen refreshes;
    // a click stops it and the frames stop with it.
    void spinKeepsDrawingChangingFrames()
    {
        QVERIFY(guitest::ShowAndWait(*form));
        const QPoint c(form->PanelOGL->width() / 2, form->PanelOGL->height() / 2);
        send(QEvent::MouseButtonPress, c, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
        QTest::qWait(60);
        send(QEvent::MouseMove, c + QPoint(60, 0), Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
        send(QEvent::MouseButtonRelease, c + QPoint(60, 0), Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
        QVERIFY(form->track.spinning);
        const nuk::Affine first = form->track.model;
        QTRY_VERIFY_WITH_TIMEOUT(form->track.model != first, 2000);

        QElapsedTimer clock;
        clock.start();
        const quint64 start = form->PanelOGL->FrameCount();
        QImage previous = guitest::GrabView(*form);
        int changedGrabs = 0;
        for (int i = 0; i < 4; ++i) {
            const quint64 before = form->PanelOGL->FrameCount();
            // A loaded machine draws more slowly: wait for frames, not time.
            QTRY_VERIFY_WITH_TIMEOUT(form->PanelOGL->FrameCount() >= before + 3, 10000);
            const QImage now = guitest::GrabView(*form);
            changedGrabs += now != previous;
            previous = now;
        }
        QCOMPARE(changedGrabs, 4);
        const double seconds = clock.elapsed() / 1000.0;
        const double hz = form->PanelOGL->screen()->refreshRate();
        // grabFramebuffer draws a frame of its own per grab.
        const quint64 drawn = form->PanelOGL->FrameCount() - start;
        QVERIFY2(drawn <= quint64(seconds * hz * 1.5) + 2 + 5, qPrintable(QString::number(drawn)));

        send(QEvent::MouseButtonPress, c, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
        send(QEvent::MouseButtonRelease, c, Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
        QVERIFY(!form->track.spinning);
        QTest::qWait(200);
        const quint64 stopped = form->PanelOGL->FrameCount();
        QTest::qWait(500);
        QCOMPARE(form->PanelOGL->FrameCount(), stopped);
    }

    // "Reset view" (the toolbar button, or Home over the view) brings the
    // start picture back after a turn and a zoom, and stops a spin.
    void resetViewRestoresTheStart()
    {
        QVERIFY(guitest::ShowAndWait(*form));
        QTest::qWait(100);
        const QImage start = guitest::GrabView(*form);
        const QPoint c(form->PanelOGL->width() / 2, form->PanelOGL->height() / 2);
        for (const bool byKey : {false, true}) {
            wheel(-2);
            send(QEvent::MouseButtonPress, c, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
            QTest::qWait(60);
            send(QEvent::MouseMove, c + QPoint(80, 10), Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
            send(QEvent::MouseButtonRelease, c + QPoint(80, 10), Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
            QVERIFY(form->track.spinning);
            QVERIFY(guitest::GrabView(*form) != start);
            if (byKey) {
                QTest::mouseMove(form->PanelOGL, c);
                QTest::keyClick(form->PanelOGL, Qt::Key_Home);
            } else {
                QTest::mouseClick(form->TB_resetview, Qt::LeftButton);
            }
            QVERIFY(!form->track.spinning);
            QCOMPARE(form->zoom, 1.0f);
            QVERIFY(IsIdentity(form->track.model));
            QCOMPARE(guitest::GrabView(*form), start);
        }
        QVERIFY(!form->TB_resetview->toolTip().isEmpty());
    }
};

int main(int argc, char **argv)
{
    QSurfaceFormat::setDefaultFormat(GLView::ViewFormat());
    QApplication app(argc, argv);
    ViewTest t;
    return QTest::qExec(&t, argc, argv);
}

#include "ViewTest.moc"
