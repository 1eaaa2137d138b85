// Large models: the stand-in drawn while the view moves, the full model at
// rest, and buffer objects against client arrays.

#include <array>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <memory>

#include <GL/gl.h>

#include <QApplication>
#include <QFile>
#include <QMouseEvent>
#include <QSurfaceFormat>
#include <QTest>
#include <QWheelEvent>

#include "GuiTestSupport.h"
#include "app/GLView.h"
#include "app/Mainform.h"
#include "app/ModelBuffers.h"
#include "app/ModelDrawing.h"
#include "app/StandIn.h"
#include "nuk/Mesh/ModelLoad.h"

using guitest::ScratchDir;

namespace
{

// A closed sphere of rings x segments quads (two triangles each), centred at
// centre, counter-clockwise seen from outside, as a binary PLY file.
QByteArray SpherePly(int rings, int segments, float radius, const QVector3D &centre)
{
    const int nv = (rings + 1) * segments;
    const int nf = 2 * rings * segments;
    QByteArray t = "ply\nformat binary_little_endian 1.0\nelement vertex " + QByteArray::number(nv) +
                   "\nproperty float x\nproperty float y\nproperty float z\nelement face " + QByteArray::number(nf) +
                   "\nproperty list uchar int vertex_indices\nend_header\n";
    const double pi = std::acos(-1.0);
    for (int r = 0; r <= rings; ++r)
        for (int s = 0; s < segments; ++s) {
            const double a = pi * r / rings, b = 2 * pi * s / segments;
            const float p[3] = {centre.x() + float(radius * std::sin(a) * std::cos(b)),
                                centre.y() + float(radius * std::cos(a)),
                                centre.z() + float(radius * std::sin(a) * std::sin(b))};
            t.append(reinterpret_cast<const char *>(p), sizeof p);
        }
    auto id = [segments](int r, int s) { return std::int32_t(r * segments + s % segments); };
    auto face = [&t](std::int32_t a, std::int32_t b, std::int32_t c) {
        const char three = 3;
        const std::int32_t v[3] = {a, b, c};
        t.append(&three, 1);
        t.append(reinterpret_cast<const char *>(v), sizeof v);
    };
    for (int r = 0; r < rings; ++r)
        for (int s = 0; s < segments; ++s) {
            face(id(r, s), id(r, s + 1), id(r + 1, s));
            face(id(r, s + 1), id(r + 1, s + 1), id(r + 1, s));
        }
    return t;
}

bool WriteFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

// The sphere of the drawing tests: 40,000 faces, radius 600 around the
// object's centre, filling a good part of the view.
constexpr int kRings = 100, kSegments = 200;
constexpr int kSphereFaces = 2 * kRings * kSegments;

// A mesh of separate triangles, for the copy's checks.
void SeparateTriangles(AMesh &m, const std::vector<std::array<float, 9>> &tris)
{
    m.vertices.resize(3 * tris.size());
    m.faces.resize(tris.size());
    for (std::size_t i = 0; i < tris.size(); ++i) {
        for (int j = 0; j < 3; ++j) {
            AVertex &v = m.vertices[3 * i + j];
            v.flags = 0;
            v.position = nuk::Point3f(tris[i][3 * j], tris[i][3 * j + 1], tris[i][3 * j + 2]);
            m.faces[i].v[j] = &v;
        }
        m.faces[i].flags = 0;
    }
    m.vertex_count = int(m.vertices.size());
    m.face_count = int(m.faces.size());
}

// Pixels of a frame that differ from the same frame without the model.
struct Coverage {
    int pixels = 0;
    double r = 0, g = 0, b = 0; // mean colour of those pixels
};

Coverage ModelPixels(const QImage &with, const QImage &without, QImage *mask = nullptr)
{
    Coverage c;
    if (mask) *mask = QImage(with.size(), QImage::Format_Mono);
    for (int y = 0; y < with.height(); ++y)
        for (int x = 0; x < with.width(); ++x) {
            const QRgb p = with.pixel(x, y);
            const bool on = p != without.pixel(x, y);
            if (mask) mask->setPixel(x, y, on ? 1 : 0);
            if (!on) continue;
            ++c.pixels;
            c.r += qRed(p), c.g += qGreen(p), c.b += qBlue(p);
        }
    if (c.pixels) c.r /= c.pixels, c.g /= c.pixels, c.b /= c.pixels;
    return c;
}

// Set for the whole run by the CTest case that runs on client arrays alone.
const QByteArray kForcedAtStart = qgetenv("QUORVEL_NO_BUFFER_OBJECTS");
bool ClientArraysForced() { return !kForcedAtStart.isEmpty(); }

} // namespace

class LargeModelTest : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<TForm1> form;

    ModelDrawing &drawing() { return *form->modelDrawing; }

    // Whether the view's context offers buffer objects (and they are not
    // turned off).
    bool offered()
    {
        form->PanelOGL->makeCurrent();
        const bool yes = ModelBuffers::Offered();
        form->PanelOGL->doneCurrent();
        return yes;
    }

    void send(QEvent::Type type, QPoint pos, Qt::MouseButton button, Qt::MouseButtons buttons)
    {
        QWidget *w = form->PanelOGL;
        QMouseEvent e(type, QPointF(pos), w->mapToGlobal(QPointF(pos)), button, buttons, Qt::NoModifier);
        QApplication::sendEvent(w, &e);
    }

    void wheelStep()
    {
        QWidget *w = form->PanelOGL;
        const QPointF pos(w->width() / 2.0, w->height() / 2.0);
        QWheelEvent e(pos, w->mapToGlobal(pos), QPoint(), QPoint(0, -120), Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
        QApplication::sendEvent(w, &e);
    }

    // Shows the window and loads the sphere with a stand-in of at most
    // budget triangles, built and handed over.
    bool loadSphere(const ScratchDir &dir, std::size_t budget, const QVector3D &centre = QVector3D())
    {
        if (!guitest::ShowAndWait(*form)) return false;
        form->track.EnableSpin(false); // still pictures to compare
        drawing().SetBudget(budget);
        const QString file = dir.file(QStringLiteral("sphere.ply"));
        if (!WriteFile(file, SpherePly(kRings, kSegments, 600, centre))) return false;
        if (form->LoadModel(file) != 0) return false;
        return QTest::qWaitFor([this] { return drawing().StandInReady() && !drawing().Moving(); }, 20000);
    }

private slots:
    void init()
    {
        guitest::ForgetSettings();
        form = std::make_unique<TForm1>();
        form->showMessage = [](QMessageBox::Icon, const QString &m) { QFAIL(qPrintable(m)); };
    }
    void cleanup()
    {
        form.reset();
        if (ClientArraysForced())
            qputenv("QUORVEL_NO_BUFFER_OBJECTS", kForcedAtStart);
        else
            qunsetenv("QUORVEL_NO_BUFFER_OBJECTS");
    }

    // The CTest cases that make the context offer buffer objects or not
    // (through the software renderer's version and extension overrides)
    // say which they expect: the overrides must have taken.
    void contextAsExpected()
    {
        const QByteArray want = qgetenv("QUORVEL_EXPECT_BUFFER_OBJECTS");
        if (want.isEmpty()) QSKIP("no expectation set");
        QVERIFY(guitest::ShowAndWait(*form));
        form->PanelOGL->makeCurrent();
        const QByteArray version(reinterpret_cast<const char *>(glGetString(GL_VERSION)));
        form->PanelOGL->doneCurrent();
        if (!version.contains("Mesa")) QSKIP("the overrides are the software renderer's");
        QCOMPARE(offered(), want == "1");
    }

    // The simplifier's output stays within the budget and still describes
    // the sphere: enough triangles to be a stand-in, facing outward.
    void standInWithinBudget_data()
    {
        QTest::addColumn<int>("budget");
        QTest::newRow("1k") << 1000;
        QTest::newRow("5k") << 5000;
        QTest::newRow("20k") << 20000;
        QTest::newRow("one short of the model") << kSphereFaces - 1;
    }
    void standInWithinBudget()
    {
        QFETCH(int, budget);
        ScratchDir dir;
        const QString file = dir.file(QStringLiteral("sphere.ply"));
        QVERIFY(WriteFile(file, SpherePly(kRings, kSegments, 600, QVector3D())));
        AMesh mesh;
        QVERIFY(nuk::LoadModel(mesh, QFile::encodeName(file).constData()).ok());
        QCOMPARE(mesh.faces.size(), std::size_t(kSphereFaces));

        ModelArrays s;
        QVERIFY(standin::Build(mesh, std::size_t(budget), s));
        const std::size_t tris = s.corner_count() / 3;
        QVERIFY2(tris <= std::size_t(budget), qPrintable(QString::number(tris)));
        QVERIFY2(tris >= std::size_t(budget) / 4, qPrintable(QString::number(tris)));
        QCOMPARE(s.normals.size(), s.vertices.size());

        // Corners on the sphere (the simplifier keeps original vertices),
        // and normals pointing away from its centre.
        std::size_t outward = 0;
        for (std::size_t t = 0; t < tris; ++t) {
            QVector3D centroid, n(s.normals[9 * t], s.normals[9 * t + 1], s.normals[9 * t + 2]);
            for (int j = 0; j < 3; ++j) {
                const QVector3D p(s.vertices[9 * t + 3 * j], s.vertices[9 * t + 3 * j + 1],
                                  s.vertices[9 * t + 3 * j + 2]);
                QVERIFY(std::fabs(p.length() - 600.0f) < 0.01f);
                centroid += p / 3;
            }
            outward += QVector3D::dotProduct(n, centroid) > 0;
        }
        QVERIFY2(outward >= tris * 99 / 100, qPrintable(QStringLiteral("%1 of %2").arg(outward).arg(tris)));
    }

    // Within the budget the model is its own stand-in: none is built.
    void smallModelHasNoStandIn()
    {
        AMesh mesh;
        SeparateTriangles(mesh, {{0, 0, 0, 1, 0, 0, 0, 1, 0}, {0, 0, 1, 1, 0, 1, 0, 1, 1}});
        ModelArrays s;
        QVERIFY(!standin::Build(mesh, 2, s));
        QVERIFY(s.empty());
    }

    // The copy takes the faces the view draws, with finite corners only,
    // and only the vertices those faces use; a cancelled copy stops.
    void copyTakesDrawableFiniteFaces()
    {
        const float nan = std::numeric_limits<float>::quiet_NaN();
        const float inf = std::numeric_limits<float>::infinity();
        AMesh mesh;
        SeparateTriangles(mesh, {{0, 0, 0, 1, 0, 0, 0, 1, 0},
                                 {0, 0, 0, 1, 0, 0, nan, 1, 0},
                                 {0, 0, 0, inf, 0, 0, 0, 1, 0},
                                 {5, 5, 5, 6, 5, 5, 5, 6, 5},
                                 {7, 7, 7, 8, 7, 7, 7, 8, 7}});
        mesh.faces[4].flags = nuk::DELETED;
        standin::Input in;
        QVERIFY(standin::CopyInput(mesh, in));
        QCOMPARE(in.face_count(), std::size_t(2));
        QCOMPARE(in.indices, std::vector<unsigned int>({0, 1, 2, 3, 4, 5}));
        QCOMPARE(in.positions, std::vector<float>({0, 0, 0, 1, 0, 0, 0, 1, 0, 5, 5, 5, 6, 5, 5, 5, 6, 5}));

        const std::atomic<bool> cancelled{true};
        AMesh big;
        std::vector<std::array<float, 9>> many(70000, std::array<float, 9>{0, 0, 0, 1, 0, 0, 0, 1, 0});
        SeparateTriangles(big, many);
        QVERIFY(!standin::CopyInput(big, in, &cancelled));
    }

    // The frame at rest is the same whether a stand-in exists, and whether
    // the model comes from buffer objects or client arrays; the frame while
    // moving is not (so the comparison can tell).
    void restFrameUnchanged()
    {
        ScratchDir dir;
        QVERIFY(loadSphere(dir, 4000));
        const QImage rest = guitest::GrabView(*form);
        QCOMPARE(drawing().LastFrameFromBuffers(), offered());

        drawing().ViewMoved();
        const QImage moving = guitest::GrabView(*form);
        QVERIFY(moving != rest);
        drawing().Rested();
        QCOMPARE(guitest::GrabView(*form), rest);

        drawing().SetStandInEnabled(false);
        drawing().ViewMoved();
        QCOMPARE(guitest::GrabView(*form), rest); // moving, but no stand-in

        drawing().SetBufferObjectsAllowed(false);
        QCOMPARE(guitest::GrabView(*form), rest);
        QVERIFY(!drawing().LastFrameFromBuffers());
    }

    // Buffer objects turned off for the whole context, as on one that does
    // not offer them: the same picture, from client arrays.
    void forcedClientArraysSamePicture()
    {
        ScratchDir dir;
        QVERIFY(loadSphere(dir, 4000));
        const QImage first = guitest::GrabView(*form);
        qputenv("QUORVEL_NO_BUFFER_OBJECTS", "1");
        QCOMPARE(guitest::GrabView(*form), first);
        QVERIFY(!drawing().LastFrameFromBuffers());
        drawing().ViewMoved();
        const QImage moving = guitest::GrabView(*form);
        QVERIFY(!drawing().LastFrameFromBuffers());
        if (!ClientArraysForced()) qunsetenv("QUORVEL_NO_BUFFER_OBJECTS");
        QCOMPARE(guitest::GrabView(*form), moving);
        QCOMPARE(drawing().LastFrameFromBuffers(), offered());
    }

    // While the view moves the stand-in is drawn, after a rest the full
    // model once more, and then nothing: counted frames, not timing.
    void movingDrawsStandInThenFullModel_data()
    {
        QTest::addColumn<QString>("gesture");
        QTest::newRow("drag") << "drag";
        QTest::newRow("wheel") << "wheel";
        QTest::newRow("resize") << "resize";
        QTest::newRow("spin") << "spin";
    }
    void movingDrawsStandInThenFullModel()
    {
        QFETCH(QString, gesture);
        ScratchDir dir;
        QVERIFY(loadSphere(dir, 4000));
        drawing().SetRestMs(400);
        form->track.EnableSpin(gesture == "spin");
        QTRY_VERIFY(!drawing().Moving());
        QTest::qWait(100);
        const quint64 stand0 = drawing().StandInFrames();
        quint64 full0 = drawing().FullFrames();

        const QPoint c(form->PanelOGL->width() / 2, form->PanelOGL->height() / 2);
        auto drawnStandIn = [&](quint64 n) { return QTest::qWaitFor([&] { return drawing().StandInFrames() >= n; }); };
        if (gesture == "drag") {
            send(QEvent::MouseButtonPress, c, Qt::LeftButton, Qt::LeftButton);
            for (int i = 1; i <= 3; ++i) {
                send(QEvent::MouseMove, c + QPoint(15 * i, 5 * i), Qt::NoButton, Qt::LeftButton);
                QVERIFY(drawnStandIn(stand0 + i));
            }
            send(QEvent::MouseButtonRelease, c + QPoint(45, 15), Qt::LeftButton, Qt::NoButton);
        } else if (gesture == "wheel") {
            for (int i = 1; i <= 3; ++i) {
                wheelStep();
                QVERIFY(drawnStandIn(stand0 + i));
            }
        } else if (gesture == "resize") {
            form->resize(form->width() + 40, form->height() + 30);
            QVERIFY(drawnStandIn(stand0 + 1));
        } else {
            send(QEvent::MouseButtonPress, c, Qt::LeftButton, Qt::LeftButton);
            QTest::qWait(60);               // a flick: a move sampled after 50 ms, released at once
            full0 = drawing().FullFrames(); // a press moves nothing
            send(QEvent::MouseMove, c + QPoint(60, 0), Qt::NoButton, Qt::LeftButton);
            send(QEvent::MouseButtonRelease, c + QPoint(60, 0), Qt::LeftButton, Qt::NoButton);
            QVERIFY(form->track.spinning);
            QVERIFY(drawnStandIn(stand0 + 4));                                 // frames keep coming on their own
            send(QEvent::MouseButtonPress, c, Qt::LeftButton, Qt::LeftButton); // a click stops it
            send(QEvent::MouseButtonRelease, c, Qt::LeftButton, Qt::NoButton);
            QVERIFY(!form->track.spinning);
        }
        QCOMPARE(drawing().FullFrames(), full0); // nothing full while moving

        QTRY_VERIFY(drawing().FullFrames() > full0);
        QVERIFY(!drawing().Moving());
        // At rest the view draws nothing more.
        const quint64 frames = form->PanelOGL->FrameCount();
        QTest::qWait(2 * drawing().RestMs());
        QCOMPARE(form->PanelOGL->FrameCount(), frames);
    }

    // While moving, the stand-in covers the model's pixels within a few per
    // cent, in the model's colour.
    void standInKeepsSilhouetteAndColour()
    {
        ScratchDir dir;
        QVERIFY(guitest::ShowAndWait(*form));
        form->track.EnableSpin(false);
        const QImage empty = guitest::GrabView(*form);
        QVERIFY(loadSphere(dir, 4000));
        const QImage full = guitest::GrabView(*form);
        drawing().ViewMoved();
        const QImage standIn = guitest::GrabView(*form);
        QVERIFY(standIn != full);

        QImage fullMask, standInMask;
        const Coverage f = ModelPixels(full, empty, &fullMask);
        const Coverage s = ModelPixels(standIn, empty, &standInMask);
        QVERIFY2(f.pixels > full.width() * full.height() / 40, qPrintable(QString::number(f.pixels)));
        int differing = 0;
        for (int y = 0; y < full.height(); ++y)
            for (int x = 0; x < full.width(); ++x)
                differing += fullMask.pixelIndex(x, y) != standInMask.pixelIndex(x, y);
        const QString figures =
            QStringLiteral("full %1 px, stand-in %2 px, differing %3 px").arg(f.pixels).arg(s.pixels).arg(differing);
        QVERIFY2(std::abs(s.pixels - f.pixels) <= f.pixels * 3 / 100, qPrintable(figures));
        QVERIFY2(differing <= f.pixels * 3 / 100, qPrintable(figures));
        for (const auto &[a, b] : {std::pair{f.r, s.r}, std::pair{f.g, s.g}, std::pair{f.b, s.b}})
            QVERIFY2(std::fabs(a - b) <= 0.03 * 255, qPrintable(QStringLiteral("mean %1 against %2").arg(b).arg(a)));
    }

    // A new load drops the stand-in of the one before, still being built or
    // not; a failed load keeps the model, and its stand-in comes all the same.
    void newLoadReplacesTheStandIn()
    {
        ScratchDir dir;
        QVERIFY(guitest::ShowAndWait(*form));
        drawing().SetBudget(4000);
        const QString a = dir.file(QStringLiteral("a.ply")), b = dir.file(QStringLiteral("b.ply"));
        QVERIFY(WriteFile(a, SpherePly(kRings, kSegments, 600, QVector3D(-2000, 0, 0))));
        QVERIFY(WriteFile(b, SpherePly(kRings, kSegments, 600, QVector3D(2000, 0, 0))));
        auto allOnSide = [this](float sign) {
            const ModelArrays &s = drawing().StandIn();
            for (std::size_t i = 0; i < s.vertices.size(); i += 3)
                if (sign * s.vertices[i] < 1000) return false;
            return !s.empty();
        };

        QCOMPARE(form->LoadModel(a), 0);
        QCOMPARE(form->LoadModel(b), 0);
        QTRY_VERIFY_WITH_TIMEOUT(!drawing().Building(), 20000);
        QVERIFY(drawing().StandInReady());
        QVERIFY(allOnSide(+1));

        QCOMPARE(form->LoadModel(a), 0);
        QCOMPARE(form->LoadModel(dir.file(QStringLiteral("missing.ply"))), -1);
        QTRY_VERIFY_WITH_TIMEOUT(!drawing().Building(), 20000);
        QVERIFY(drawing().StandInReady());
        QVERIFY(allOnSide(-1));

        // A model within the budget: no stand-in left over from the last.
        const QString small = dir.file(QStringLiteral("small.ply"));
        QVERIFY(WriteFile(small, SpherePly(10, 20, 600, QVector3D())));
        QCOMPARE(form->LoadModel(small), 0);
        QVERIFY(!drawing().Building());
        QVERIFY(!drawing().StandInReady());
    }
};

int main(int argc, char **argv)
{
    QSurfaceFormat::setDefaultFormat(GLView::ViewFormat());
    QApplication app(argc, argv);
    LargeModelTest t;
    return QTest::qExec(&t, argc, argv);
}

#include "LargeModelTest.moc"
