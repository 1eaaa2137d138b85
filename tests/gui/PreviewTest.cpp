// "Preview photographs…": the photographs of the plan rendered in the
// window, small first and then refined, stepped through with the keys, and
// "Save image set…" writing the folder the command line writes.

#include <memory>

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QSignalSpy>
#include <QSlider>
#include <QTest>

#include "GuiTestSupport.h"
#include "app/Mainform.h"
#include "app/PlanDocument.h"
#include "app/PreviewDialog.h"
#include "app/SpinEdit.h"
#include "capture/Camera.h"

using guitest::ScratchDir;

namespace
{

// A block 100 mm wide and deep and 60 mm high standing on the backdrop at
// the object's centre: it casts a shadow away from every light.
QByteArray BlockPly()
{
    const char *corners[] = {"-50 -50 0",  "50 -50 0",  "50 50 0",  "-50 50 0",
                             "-50 -50 60", "50 -50 60", "50 50 60", "-50 50 60"};
    const char *faces[] = {"3 4 5 6", "3 4 6 7", "3 0 1 5", "3 0 5 4", "3 1 2 6",
                           "3 1 6 5", "3 2 3 7", "3 2 7 6", "3 3 0 4", "3 3 4 7"};
    QByteArray ply("ply\nformat ascii 1.0\nelement vertex 8\nproperty float x\nproperty float y\nproperty float z\n"
                   "element face 10\nproperty list uchar int vertex_indices\nend_header\n");
    for (const char *c : corners)
        ply += QByteArray(c) + '\n';
    for (const char *f : faces)
        ply += QByteArray(f) + '\n';
    return ply;
}

// The mean grey of the image's middle third.
double MiddleBrightness(const QImage &img)
{
    double sum = 0;
    int n = 0;
    for (int y = img.height() / 3; y < 2 * img.height() / 3; ++y)
        for (int x = img.width() / 3; x < 2 * img.width() / 3; ++x, ++n)
            sum += qGray(img.pixel(x, y));
    return n ? sum / n : 0;
}

} // namespace

class PreviewTest : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<ScratchDir> dir;
    std::unique_ptr<TForm1> form;

    PreviewDialog *open()
    {
        form->A_preview->trigger();
        return form->findChild<PreviewDialog *>();
    }

    // The block loaded, a grid of 45-degree steps generated, the framing known.
    bool blockPlan()
    {
        if (!guitest::WriteText(dir->file(QStringLiteral("block.ply")), BlockPly())) return false;
        if (form->LoadModel(dir->file(QStringLiteral("block.ply"))) != 0) return false;
        form->CSE_hangle->setValue(45);
        form->CSE_vangle->setValue(45);
        QTest::mouseClick(form->Button2, Qt::LeftButton);
        form->document->setReportOptions(planner::Framing{36, 24, 50}, 10);
        return true;
    }

private slots:
    void init()
    {
        dir = std::make_unique<ScratchDir>();
        form = guitest::MakeShownForm();
        QVERIFY(form);
        form->confirm = [](const QString &) { return true; };
    }
    void cleanup()
    {
        form.reset();
        dir.reset();
    }

    // Each thing the preview needs, said in turn until all are there; then
    // the small images, then the refined ones, one per position.
    void rendersOnceTheModelPlanAndFramingAreThere()
    {
        PreviewDialog *d = open();
        QVERIFY(d);
        QVERIFY(d->isVisible());
        QVERIFY2(d->state->text().contains(QStringLiteral("Load a reference model")), qPrintable(d->state->text()));
        QVERIFY(!d->saveButton->isEnabled());

        QVERIFY(guitest::WriteText(dir->file(QStringLiteral("block.ply")), BlockPly()));
        QCOMPARE(form->LoadModel(dir->file(QStringLiteral("block.ply"))), 0);
        QTRY_VERIFY(d->state->text().contains(QStringLiteral("Generate -->")));
        QTest::mouseClick(form->Button2, Qt::LeftButton);
        QTRY_VERIFY(d->state->text().contains(QStringLiteral("sensor and lens")));

        QSignalSpy shown(d, &PreviewDialog::passShown);
        form->document->setReportOptions(planner::Framing{36, 24, 50}, 10);
        QTRY_VERIFY_WITH_TIMEOUT(d->Pass() == 2, 60000);
        QCOMPARE(shown.size(), 2);
        QCOMPARE(shown[0][0].toInt(), 1);
        QCOMPARE(d->Count(), 145); // every position, flagged ones too
        QCOMPARE(d->strip->count(), 145);
        QCOMPARE(d->Image(0).width(), PreviewDialog::kRefinedWidth);
        QCOMPARE(d->Image(0).height(),
                 capture::DefaultHeight(planner::Framing{36, 24, 50}, PreviewDialog::kRefinedWidth));
        QVERIFY(d->saveButton->isEnabled());

        // The grid starts at the top of the dome, in the base plane: grazing.
        QCOMPARE(d->Caption(0),
                 QStringLiteral("Light 1 of 145: elevation 0.0\u00b0, azimuth 90.0\u00b0 \u2014 grazing (not in the "
                                "image set)"));
        QVERIFY2(d->Caption(144).contains(QStringLiteral("below the floor, grazing (not in the image set)")),
                 qPrintable(d->Caption(144)));
        // A light high over the block lights its face toward the camera
        // more than one 15 degrees above the base plane.
        const auto find = [&](const QString &elevation) {
            for (int i = 0; i < d->Count(); ++i)
                if (d->Caption(i).contains(QStringLiteral("elevation ") + elevation) &&
                    d->Caption(i).endsWith(QStringLiteral("usable")))
                    return i;
            return -1;
        };
        const int high = find(QStringLiteral("75.0")), low = find(QStringLiteral("15.0"));
        QVERIFY(high >= 0 && low >= 0);
        QVERIFY(MiddleBrightness(d->Image(high)) > MiddleBrightness(d->Image(low)) + 5);
    }

    void keysAndStripStepThroughTheLights()
    {
        QVERIFY(blockPlan());
        PreviewDialog *d = open();
        QVERIFY(d);
        QTRY_VERIFY_WITH_TIMEOUT(d->Pass() >= 1, 30000);
        QVERIFY(QTest::qWaitForWindowExposed(d));
        QCOMPARE(d->Current(), 0);
        d->activateWindow();
        QTest::keyClick(d, Qt::Key_Right);
        QCOMPARE(d->Current(), 1);
        QCOMPARE(d->caption->text(), d->Caption(1));
        QTest::keyClick(d, Qt::Key_End);
        QCOMPARE(d->Current(), d->Count() - 1);
        QTest::keyClick(d, Qt::Key_Right); // stays on the last
        QCOMPARE(d->Current(), d->Count() - 1);
        const QRect second = d->strip->visualItemRect(d->strip->item(2));
        QTest::mouseClick(d->strip->viewport(), Qt::LeftButton, Qt::NoModifier, second.center());
        QCOMPARE(d->Current(), 2);
        QCOMPARE(d->slider->value(), 2);
        // A new plan renders again: fewer positions.
        form->CSE_hangle->setValue(90);
        form->CSE_vangle->setValue(90);
        QTest::mouseClick(form->Button2, Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(d->Pass() >= 1 && d->Count() == int(form->document->report()->positions.size()),
                                 30000);
    }

    // The folder as the command line writes it: the usable lights only, and
    // nothing written over a folder that is there.
    void saveWritesTheImageSet()
    {
        QVERIFY(blockPlan());
        PreviewDialog *d = open();
        QVERIFY(d);
        QTRY_VERIFY_WITH_TIMEOUT(d->saveButton->isEnabled(), 30000);

        QStringList said;
        d->showMessage = [&](const QString &m) { said << m; };
        QDir(dir->path()).mkdir(QStringLiteral("taken"));
        QVERIFY(guitest::WriteText(dir->file(QStringLiteral("taken/x")), "x"));
        QString folder = dir->file(QStringLiteral("taken"));
        d->chooseFolder = [&](const QString &) { return folder; };
        QSignalSpy ended(d, &PreviewDialog::saveEnded);
        QTest::mouseClick(d->saveButton, Qt::LeftButton);
        QCOMPARE(ended.size(), 1);
        QCOMPARE(ended[0][0].toBool(), false);
        QVERIFY(said.value(0).contains(QStringLiteral("already exists")));

        folder = dir->file(QStringLiteral("set"));
        QTest::mouseClick(d->saveButton, Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(ended.size(), 2, 60000);
        QVERIFY2(ended[1][0].toBool(), qPrintable(said.join('\n') + d->state->text()));
        const int usable = form->document->report()->usable;
        QVERIFY(usable > 0 && usable < d->Count());
        const QStringList lp =
            guitest::ReadText(dir->file(QStringLiteral("set/lights.lp"))).split('\n', Qt::SkipEmptyParts);
        QCOMPARE(lp.size(), usable + 1);
        QCOMPARE(lp[0].toInt(), usable);
        QCOMPARE(QDir(folder).entryList({QStringLiteral("*.png")}).size(), usable + 3); // with normals, mask, depth
        QVERIFY(QFile::exists(dir->file(QStringLiteral("set/capture.json"))));
        QVERIFY(d->state->text().startsWith(QStringLiteral("Wrote %1 photographs").arg(usable)));
    }
};

QTEST_MAIN(PreviewTest)
#include "PreviewTest.moc"
