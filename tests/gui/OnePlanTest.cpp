// One plan under the whole window: after "Apply ->" the report, the
// exports and the coverage all describe the applied set-up with the
// positions generated last, and count the same usable positions; the rig's
// file keeps what "Generate -->" wrote, and the dialogs say so. Set-up
// fields typed but not applied are marked until they are.

#include <memory>

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QToolButton>

#include "GuiTestSupport.h"
#include "app/ExportLightsDialog.h"
#include "app/LightCoverage.h"
#include "app/LightExportAction.h"
#include "app/Mainform.h"
#include "app/PlanDocument.h"
#include "app/PlanReportDialog.h"
#include "app/SpinEdit.h"

using guitest::ScratchDir;

class OnePlanTest : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<ScratchDir> dir; // "Generate -->" writes acquisition.txt here
    std::unique_ptr<TForm1> form;

    void typeInto(SpinEdit *s, const QString &text)
    {
        s->setFocus();
        s->selectAll();
        QTest::keyClicks(s, text);
    }

    PlanReportDialog *openReport()
    {
        QTest::mouseClick(form->findChild<QToolButton *>("TB_planreport"), Qt::LeftButton);
        return form->findChild<PlanReportDialog *>();
    }

    // Exports through the toolbar's action, the dialog filled in as a user
    // would; the note the dialog showed goes to note.
    QByteArray exportAs(planner::LightFormat format, const QString &name, QString &note)
    {
        const QString path = dir->file(name);
        form->lightExport->runDialog = [&](ExportLightsDialog &d) {
            d.CB_format->setCurrentIndex(d.CB_format->findData(int(format)));
            d.ED_file->selectAll();
            QTest::keyClicks(d.ED_file, path);
            note = d.LB_plan->text();
            return true;
        };
        QTest::mouseClick(form->lightExport->Button(), Qt::LeftButton);
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

private slots:
    void init()
    {
        dir = std::make_unique<ScratchDir>();
        form = guitest::MakeShownForm();
        QVERIFY(form);
        form->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(form.get()));
        form->track.EnableSpin(false);
    }
    void cleanup()
    {
        form.reset();
        dir.reset();
    }

    // Generated at the default set-up (object 1000 mm up, camera at 1000
    // mm), then 1500 / 2500 applied, with a 36 x 24 mm sensor behind 50 mm.
    // The dome (1500 mm) now stays above the floor and the camera stands
    // behind the central light, which it has in the middle of its picture:
    // 145 positions, 36 grazing, 1 in the picture, 108 usable. Everything
    // says so; ./acquisition.txt still holds the generated set-up.
    void appliedSetUpIsEverywhere()
    {
        guitest::Ply plate;
        plate.square(QVector3D(0, 0, 50), 100, 4);
        QVERIFY(plate.write(dir->file("plate.ply")));
        QCOMPARE(form->LoadModel(dir->file("plate.ply")), 0);
        QTest::mouseClick(form->Button2, Qt::LeftButton);
        const QString generated = guitest::ReadText(dir->file("acquisition.txt"));
        QVERIFY(generated.contains(QStringLiteral("object height         1000\n")));

        typeInto(form->CSE_hgh, QStringLiteral("1500"));
        typeInto(form->CSE_camdist, QStringLiteral("2500"));
        QTest::mouseClick(form->Button1, Qt::LeftButton);

        PlanReportDialog *report = openReport();
        QVERIFY(report);
        QTest::mouseClick(report->framingKnown, Qt::LeftButton, {}, QPoint(8, report->framingKnown->height() / 2));
        QVERIFY(report->framingKnown->isChecked());
        QVERIFY(report->report());
        QCOMPARE(report->report()->input.objectHeight, 1500);
        QCOMPARE(report->report()->input.cameraDistance, 2500);
        QCOMPARE(report->report()->belowFloor, 0);
        QCOMPARE(report->report()->grazing, 36);
        QCOMPARE(report->report()->inPicture, 1);
        QCOMPARE(report->report()->usable, 108);
        // The file is not the plan now: the report says so, and how to mend it.
        QVERIFY(report->mismatch->isVisible());
        QVERIFY2(report->mismatch->text().contains(QStringLiteral("OBJ height 1500 mm (the file: 1000 mm)")),
                 qPrintable(report->mismatch->text()));
        QVERIFY(report->mismatch->text().contains(QStringLiteral("CAM distance 2500 mm (the file: 1000 mm)")));
        QVERIFY(report->mismatch->text().contains(QStringLiteral("\"Generate -->\"")));
        QCOMPARE(guitest::ReadText(dir->file("acquisition.txt")), generated);

        // The coverage counts what the report counts; each of those lights
        // is at least 10 degrees up, so in front of the plate (1500 sin 10
        // > 50 mm), and lights all of it.
        QTest::mouseClick(form->coverage->CoverageButton(), Qt::LeftButton);
        QVERIFY(QTest::qWaitFor([&] { return !form->coverage->Running(); }, 20000));
        QVERIFY(form->coverage->Result());
        QCOMPARE(form->coverage->Result()->usablePositions, std::size_t(108));
        for (std::int32_t n : form->coverage->Result()->lights)
            QCOMPARE(n, 108);

        // The exports: the top pole is 1500 mm above the centre, which is
        // 1500 mm above the floor.
        QString note;
        const QList<QByteArray> csv = exportAs(planner::LightFormat::Csv, "lights.csv", note).split('\n');
        QCOMPARE(csv.size(), 147);
        QVERIFY(csv[0].endsWith(",height_above_floor_mm"));
        QVERIFY2(csv[1].endsWith(",3000"), csv[1].constData());
        QVERIFY2(note.contains(QStringLiteral("108 of the 145 positions are usable")), qPrintable(note));
        QVERIFY(note.contains(QStringLiteral("OBJ height 1500 mm (the file: 1000 mm)")));
        QVERIFY(note.contains(QStringLiteral("\"Generate -->\"")));
        const QJsonObject dome =
            QJsonDocument::fromJson(exportAs(planner::LightFormat::Dome, "lights.dome", note)).object();
        QVERIFY2(dome.value("notes").toString().contains(QStringLiteral("stands 1500 mm above the floor")),
                 qPrintable(dome.value("notes").toString()));

        // "Generate -->" brings file and plan together.
        QTest::mouseClick(form->Button2, Qt::LeftButton);
        QVERIFY(
            guitest::ReadText(dir->file("acquisition.txt")).contains(QStringLiteral("object height         1500\n")));
        QVERIFY(!report->mismatch->isVisible());
        QCOMPARE(report->report()->usable, 108);
        exportAs(planner::LightFormat::Lp, "lights.lp", note);
        QVERIFY2(!note.contains(QStringLiteral("acquisition.txt")), qPrintable(note));
    }

    // A set-up field whose text is not the applied value is marked, and
    // its tooltip says which value is in use; the mark goes with
    // "Apply ->", or when the text is the applied value again.
    void notAppliedIsMarked_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("marked");
        QTest::addColumn<QString>("then"); // apply, retype (the applied value)
        QTest::addColumn<int>("applied");  // afterwards
        QTest::newRow("size, applied") << "CSE_size"
                                       << "400" << true << "apply" << 400;
        QTest::newRow("height, typed back") << "CSE_hgh"
                                            << "1700" << true << "retype" << 1000;
        QTest::newRow("camera, applied") << "CSE_camdist"
                                         << "2500" << true << "apply" << 2500;
        // Read as the applied value: nothing to apply.
        QTest::newRow("size, same value") << "CSE_size"
                                          << "0250" << false << "apply" << 250;
        // Below the minimum reads as the minimum, which is not applied.
        QTest::newRow("height, too small") << "CSE_hgh"
                                           << "5" << true << "apply" << 10;
    }
    void notAppliedIsMarked()
    {
        QFETCH(QString, field);
        QFETCH(QString, typed);
        QFETCH(bool, marked);
        QFETCH(QString, then);
        QFETCH(int, applied);
        auto *s = form->findChild<SpinEdit *>(field);
        QVERIFY(s);
        const int before = s->value();
        QVERIFY(!s->property("notApplied").toBool());
        QVERIFY(!s->toolTip().contains(QStringLiteral("Not applied")));

        typeInto(s, typed);
        QCOMPARE(s->property("notApplied").toBool(), marked);
        QCOMPARE(s->toolTip().contains(QStringLiteral("Not applied: the plan still uses %1 mm").arg(before)), marked);
        if (then == QLatin1String("apply"))
            QTest::mouseClick(form->Button1, Qt::LeftButton);
        else
            typeInto(s, QString::number(before));
        QVERIFY(!s->property("notApplied").toBool());
        QVERIFY(!s->toolTip().contains(QStringLiteral("Not applied")));
        const planner::PatternInput &in = form->document->plan().input;
        QCOMPARE(field == "CSE_size"  ? in.objectSize
                 : field == "CSE_hgh" ? in.objectHeight
                                      : in.cameraDistance,
                 applied);
    }
};

QTEST_MAIN(OnePlanTest)
#include "OnePlanTest.moc"
