// The window's light coverage and "Fit model to object": the toggles, the
// worker run with its progress and cancel, the model's colours and where the
// fitted model is drawn, checked on the pixels of the frame.

#include <cmath>
#include <memory>

#include <QFile>
#include <QLabel>
#include <QLineF>
#include <QMatrix4x4>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QToolButton>
#include <QVector3D>

#include "GuiTestSupport.h"
#include "app/CoverageLegend.h"
#include "app/GLView.h"
#include "app/LightCoverage.h"
#include "app/Mainform.h"
#include "app/PlanDocument.h"
#include "app/SpinEdit.h"

using guitest::FromUnit;
using guitest::Near;
using guitest::PixelAt;
using guitest::Ply;
using guitest::ScratchDir;

namespace
{

// The colour the view gives a face of colour c whose normal is n in scene
// coordinates, with the trackball at rest: colour material takes c for
// ambient and diffuse under light 0 at (-600, 500, 700) fixed to the eye,
// global ambient 0.2, light ambient 0.1, diffuse 0.8; the specular term of
// light 0 (0.7) and the material's (0.1, 0.3, 0.5), shininess 100, for a
// viewer at infinity.
QColor Lit(const QColor &c, const QVector3D &n)
{
    QMatrix4x4 view;
    view.lookAt(QVector3D(3, 3, 3), QVector3D(0, 0, 0), QVector3D(0, 1, 0));
    const QVector3D ne = view.mapVector(n).normalized();
    const QVector3D L = QVector3D(-600, 500, 700).normalized();
    const double diffuse = std::max(0.0f, QVector3D::dotProduct(ne, L));
    const QVector3D H = (L + QVector3D(0, 0, 1)).normalized();
    const double spec = diffuse > 0 ? 0.7 * std::pow(std::max(0.0f, QVector3D::dotProduct(ne, H)), 100.0) : 0.0;
    const double k = 0.2 + 0.1 + 0.8 * diffuse;
    return FromUnit(c.redF() * k + spec * 0.1, c.greenF() * k + spec * 0.3, c.blueF() * k + spec * 0.5);
}

// Distance in pixels from p to the drawn dome axis, (0, 0, 0) to (0, 0, 2R).
double FromAxis(const QPointF &p, int w, int h)
{
    const QLineF axis(guitest::ProjectScenePoint(QVector3D(0, 0, 0), w, h),
                      guitest::ProjectScenePoint(QVector3D(0, 0, 5000), w, h));
    const QPointF d = axis.p2() - axis.p1();
    const double t = QPointF::dotProduct(p - axis.p1(), d) / QPointF::dotProduct(d, d);
    return QLineF(p, axis.p1() + d * std::clamp(t, 0.0, 1.0)).length();
}

QString Describe(const QColor &got, const QColor &want) { return got.name() + QStringLiteral(" want ") + want.name(); }

} // namespace

class CoverageTest : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<TForm1> form;

    LightCoverage *coverage() { return form->coverage; }

    bool load(const QString &file) { return form->LoadModel(file) == 0; }

    // Waits for the run going (or about to go) to finish.
    bool settled(int timeoutMs = 20000)
    {
        return QTest::qWaitFor([&] { return !coverage()->Running(); }, timeoutMs);
    }

    void generate(int step)
    {
        form->CSE_hangle->setValue(step);
        form->CSE_vangle->setValue(step);
        QTest::mouseClick(form->Button2, Qt::LeftButton);
    }

    // True when no acquisition position is drawn within 5 pixels of p.
    bool clearOfPositions(const QPointF &p, int w, int h)
    {
        for (const nuk::Point3f &q : form->document->pattern().positions)
            if (QLineF(guitest::ProjectScenePoint(QVector3D(q.x, q.y, q.z), w, h), p).length() <= 5) return false;
        return true;
    }

private slots:
    void init()
    {
        guitest::ForgetSettings();
        form = std::make_unique<TForm1>();
        form->showMessage = [](QMessageBox::Icon, const QString &) {};
        form->confirm = [](const QString &) { return true; }; // the long runs are meant
        QVERIFY(guitest::ShowAndWait(*form));
        form->track.EnableSpin(false);
    }
    void cleanup() { form.reset(); }

    // Off by default; on, the model's box is centred on the axis with its
    // back on the plate and its larger side across X and Y as wide as the
    // object; off again, it is back where it was.
    void fitDrawsTheModelOnThePlate()
    {
        ScratchDir dir;
        // A 40 mm square 20 mm in front of a small triangle turned away
        // (culled, it only sets the box's back), far from the axis.
        Ply ply;
        ply.square(QVector3D(5000, 3000, 20), 40);
        ply.points << QVector3D(4990, 2990, 0) << QVector3D(4995, 2990, 0) << QVector3D(4990, 2995, 0);
        ply.triangles << std::array<int, 3>{4, 6, 5};
        QVERIFY(ply.write(dir.file("far.ply")));
        QVERIFY(load(dir.file("far.ply")));
        QVERIFY(!coverage()->FitButton()->isChecked());

        // Fitted: scale 250 / 40, the square at 10 + 20 x 6.25 = 135 mm.
        const float z = 10 + 20 * 6.25f;
        QImage img = guitest::GrabView(*form);
        const int w = img.width(), h = img.height();
        const QPointF inside = guitest::ProjectScenePoint(QVector3D(100, -100, z), w, h);
        const QPointF corner = guitest::ProjectScenePoint(QVector3D(118, 40, z), w, h); // off the pyramid's diagonals
        const QPointF outside = guitest::ProjectScenePoint(QVector3D(140, 0, z), w, h);
        const QColor pink = Lit(FromUnit(1.0, 0.5, 0.6), QVector3D(0, 0, 1));
        const QColor before = PixelAt(img, inside);
        QVERIFY2(!Near(before, pink, 10), qPrintable(before.name()));

        QTest::mouseClick(coverage()->FitButton(), Qt::LeftButton);
        QVERIFY(coverage()->FitButton()->isChecked());
        img = guitest::GrabView(*form);
        QVERIFY2(Near(PixelAt(img, inside), pink, 4), qPrintable(Describe(PixelAt(img, inside), pink)));
        QVERIFY2(Near(PixelAt(img, corner), pink, 4), qPrintable(Describe(PixelAt(img, corner), pink)));
        QVERIFY2(!Near(PixelAt(img, outside), pink, 10), qPrintable(PixelAt(img, outside).name()));

        // A new object size refits on "Apply ->": 125 wide, the square now
        // at 10 + 20 x 3.125 = 72.5 mm, and (100, -100) is off it.
        form->CSE_size->setValue(125);
        QTest::mouseClick(form->Button1, Qt::LeftButton);
        img = guitest::GrabView(*form);
        const QPointF small = guitest::ProjectScenePoint(QVector3D(50, -50, 10 + 20 * 3.125f), w, h);
        QVERIFY2(Near(PixelAt(img, small), pink, 4), qPrintable(Describe(PixelAt(img, small), pink)));
        QVERIFY(!Near(PixelAt(img, guitest::ProjectScenePoint(QVector3D(100, -100, 72.5f), w, h)), pink, 10));

        QTest::mouseClick(coverage()->FitButton(), Qt::LeftButton);
        img = guitest::GrabView(*form);
        QVERIFY(Near(PixelAt(img, inside), before, 0));
    }

    // The model in the colour of its light count: green where 9 or more
    // positions reach it, red where 1 to 5 do; off, the frame is exactly
    // the one without the coverage.
    void coverageColoursTheModel()
    {
        ScratchDir dir;
        // A plate 50 mm in front of the backdrop, facing the camera.
        Ply ply;
        ply.square(QVector3D(0, 0, 50), 100, 4);
        QVERIFY(ply.write(dir.file("plate.ply")));
        QVERIFY(load(dir.file("plate.ply")));
        generate(15);

        QImage img = guitest::GrabView(*form);
        const int w = img.width(), h = img.height();
        const QPointF at = guitest::ProjectScenePoint(QVector3D(30, -30, 50), w, h);
        QVERIFY(FromAxis(at, w, h) > 4);
        QVERIFY(clearOfPositions(at, w, h));
        const QImage without = img;

        // Only what the plan report leaves unflagged counts: 81 of the 145
        // (40 below the floor, the central one behind the camera, 36
        // grazing, some both). Each is at least 10 degrees up, so in front
        // of the plate (z >= 1500 sin 10 > 50), and lights all of it.
        QTest::mouseClick(coverage()->CoverageButton(), Qt::LeftButton);
        QVERIFY(coverage()->Running());
        QVERIFY(settled());
        QVERIFY(coverage()->Result().has_value());
        QCOMPARE(coverage()->Result()->visibleSamples, std::size_t(25));
        for (std::int32_t n : coverage()->Result()->lights)
            QCOMPARE(n, 81);
        QCOMPARE(form->document->modelArrays().colors.size(), form->document->modelArrays().vertices.size());
        const QColor green = Lit(QColor(40, 170, 60), QVector3D(0, 0, 1));
        img = guitest::GrabView(*form);
        QVERIFY2(Near(PixelAt(img, at), green, 4), qPrintable(Describe(PixelAt(img, at), green)));
        QVERIFY(coverage()->Legend()->isVisible());
        QVERIFY2(coverage()->Legend()->BandText(coverage::kBandHsh).endsWith(QStringLiteral("100.0 %")),
                 qPrintable(coverage()->Legend()->BandText(coverage::kBandHsh)));

        // 90 degree steps: the point straight in front, (0, 0, 1500), is
        // behind the camera (at 1000), the others grazing or below the
        // floor: nothing counts, nothing is lit.
        generate(90);
        QVERIFY(settled());
        QVERIFY(clearOfPositions(at, w, h));
        const QColor darkRed = Lit(QColor(110, 0, 0), QVector3D(0, 0, 1)); // lit by none
        img = guitest::GrabView(*form);
        QVERIFY2(Near(PixelAt(img, at), darkRed, 4), qPrintable(Describe(PixelAt(img, at), darkRed)));

        // Off: not a pixel differs from the frame of the same scene never
        // coloured.
        generate(15);
        QVERIFY(settled());
        QTest::mouseClick(coverage()->CoverageButton(), Qt::LeftButton);
        QVERIFY(!coverage()->CoverageButton()->isChecked());
        QVERIFY(form->document->modelArrays().colors.empty());
        QVERIFY(!coverage()->Legend()->isVisible());
        QVERIFY(guitest::GrabView(*form) == without);
    }

    // Before the first "Generate -->" there are no positions to count: the
    // legend asks for a plan instead of showing every part unlit, and the
    // model keeps its own colour until one is generated.
    void beforeAnyPlanTheLegendAsksForOne()
    {
        ScratchDir dir;
        Ply ply;
        ply.square(QVector3D(0, 0, 50), 100, 2);
        QVERIFY(ply.write(dir.file("plate.ply")));
        QVERIFY(load(dir.file("plate.ply")));
        QVERIFY(form->document->pattern().positions.empty());

        QTest::mouseClick(coverage()->CoverageButton(), Qt::LeftButton);
        QVERIFY(coverage()->CoverageButton()->isChecked());
        QVERIFY(settled());
        QVERIFY(coverage()->Legend()->isVisible());
        QVERIFY2(coverage()->Legend()->MessageText().startsWith(QStringLiteral("Generate a plan to see the coverage")),
                 qPrintable(coverage()->Legend()->MessageText()));
        QVERIFY(!coverage()->Result().has_value());
        QVERIFY(form->document->modelArrays().colors.empty());
        for (const QLabel *l : coverage()->Legend()->findChildren<QLabel *>())
            if (l->isVisible()) QVERIFY2(!l->text().contains(QStringLiteral("no light")), qPrintable(l->text()));

        // The plan's positions replace the request with the bands.
        generate(15);
        QVERIFY(settled());
        QVERIFY(coverage()->Result().has_value());
        QVERIFY2(coverage()->Legend()->BandText(coverage::kBandHsh).endsWith(QStringLiteral("100.0 %")),
                 qPrintable(coverage()->Legend()->BandText(coverage::kBandHsh)));
        QVERIFY(!form->document->modelArrays().colors.empty());
    }

    // A long run goes on a worker: the view keeps drawing, the legend shows
    // the progress, and Cancel stops it without colouring anything.
    void longRunStaysResponsiveAndCancels()
    {
        ScratchDir dir;
        Ply ply;
        ply.square(QVector3D(0, 0, 50), 100, 150);
        QVERIFY(ply.write(dir.file("grid.ply")));
        QVERIFY(load(dir.file("grid.ply")));
        generate(1); // 32761 positions: minutes of work

        QTest::mouseClick(coverage()->CoverageButton(), Qt::LeftButton);
        QVERIFY(coverage()->Running());
        const quint64 frames = form->PanelOGL->FrameCount();
        form->ResetView();
        QTRY_VERIFY_WITH_TIMEOUT(form->PanelOGL->FrameCount() > frames, 3000);
        QVERIFY(coverage()->Running());
        QVERIFY(coverage()->Legend()->ProgressBar()->isVisible());
        QPushButton *cancel = coverage()->Legend()->CancelButton();
        QVERIFY(cancel->isVisible());

        QTest::mouseClick(cancel, Qt::LeftButton);
        QVERIFY(settled(5000));
        QVERIFY(form->document->modelArrays().colors.empty());
        QVERIFY(!coverage()->Result().has_value());
        QVERIFY2(coverage()->Legend()->MessageText().startsWith(QStringLiteral("Cancelled")),
                 qPrintable(coverage()->Legend()->MessageText()));
        QVERIFY(coverage()->CoverageButton()->isChecked());

        // Turned off mid-run: it stops too, and shows nothing.
        generate(1);
        QVERIFY(coverage()->Running());
        QTest::mouseClick(coverage()->CoverageButton(), Qt::LeftButton);
        QVERIFY(settled(5000));
        QVERIFY(form->document->modelArrays().colors.empty());
        QVERIFY(!coverage()->Legend()->isVisible());
    }

    // A new model starts a new run on its own faces; without a model the
    // legend says what is missing.
    void newModelIsAnalysedAnew()
    {
        ScratchDir dir;
        QTest::mouseClick(coverage()->CoverageButton(), Qt::LeftButton);
        QVERIFY(!coverage()->Running());
        QVERIFY2(coverage()->Legend()->MessageText().contains(QStringLiteral("Load a reference model")),
                 qPrintable(coverage()->Legend()->MessageText()));

        generate(15);
        Ply a, b;
        a.square(QVector3D(0, 0, 50), 100, 2);
        b.square(QVector3D(0, 0, 50), 100, 3);
        b.square(QVector3D(0, 0, 80), 10, 1, false); // turned away: not seen
        QVERIFY(a.write(dir.file("a.ply")));
        QVERIFY(b.write(dir.file("b.ply")));
        QVERIFY(load(dir.file("a.ply")));
        QVERIFY(settled());
        QCOMPARE(coverage()->Result()->samples, std::size_t(9));
        QVERIFY(load(dir.file("b.ply")));
        QVERIFY(settled());
        QCOMPARE(coverage()->Result()->samples, std::size_t(16 + 4));
        QCOMPARE(coverage()->Result()->visibleSamples, std::size_t(16)); // the small square faces away
        QCOMPARE(form->document->modelArrays().colors.size(), form->document->modelArrays().vertices.size());
    }
};

QTEST_MAIN(CoverageTest)
#include "CoverageTest.moc"
