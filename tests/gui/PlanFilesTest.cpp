// Plan files in the window: the File menu's open and save, what a plan
// carries from one window to the next, the keys a save keeps, the plans
// that are refused, and what the window remembers between runs.

#include <memory>

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTest>
#include <QToolButton>

#include "GuiTestSupport.h"
#include "app/ExportLightsDialog.h"
#include "app/GLView.h"
#include "app/LightCoverage.h"
#include "app/LightExportAction.h"
#include "app/Mainform.h"
#include "app/PlanDocument.h"
#include "app/PlanReportDialog.h"
#include "app/SpinEdit.h"
#include "planner/PlanFile.h"

using guitest::ScratchDir;

namespace
{

// A plan written by hand: what differs from the defaults, and keys of a
// later version (a top-level section and one inside "setup").
const char *const kHandPlan = R"({
  "format": "quorvel-plan", "version": 1,
  "studio": { "room": "B12", "lamps": [1, 2, 3] },
  "setup": { "object_size": 300, "object_height": 1200, "camera_distance": 1800, "stand": "tripod" },
  "pattern": { "view_distance": 1400, "exclude_base_plane": true },
  "layout": { "kind": "rings", "rings": 4, "top_light": false },
  "framing": { "sensor_width": 23.5, "sensor_height": 15.6, "focal_length": 35 },
  "report": { "grazing_below": 12 },
  "images": { "pattern": "DSC_%05d.NEF", "first_number": 7 },
  "model": { "path": "plate.ply", "fit_to_object": true }
}
)";

} // namespace

class PlanFilesTest : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<ScratchDir> dir;
    QStringList messages;

    std::unique_ptr<TForm1> makeForm()
    {
        auto form = std::make_unique<TForm1>();
        form->showMessage = [this](QMessageBox::Icon, const QString &m) { messages << m; };
        form->show();
        if (!QTest::qWaitForWindowExposed(form.get())) return nullptr;
        form->activateWindow();
        return QTest::qWaitForWindowActive(form.get()) ? std::move(form) : nullptr;
    }

    static void typeInto(SpinEdit *s, const QString &text)
    {
        s->setFocus();
        s->selectAll();
        QTest::keyClicks(s, text);
    }

    // The fields as the window shows them.
    static QList<int> fields(TForm1 &f)
    {
        return {f.CSE_size->value(),          f.CSE_hgh->value(),           f.CSE_camdist->value(),
                f.CSE_viewd->value(),         f.CSE_hangle->value(),        f.CSE_vangle->value(),
                int(f.CB_ezero->isChecked()), int(f.CB_epiano->isChecked())};
    }

    bool writePlate()
    {
        guitest::Ply plate;
        plate.square(QVector3D(0, 0, 50), 100, 2);
        return plate.write(dir->file("plate.ply"));
    }

private slots:
    void init()
    {
        guitest::ForgetSettings();
        messages.clear();
        dir = std::make_unique<ScratchDir>();
    }
    void cleanup() { dir.reset(); }

    // Opened, a plan sets every field, the layout, the report's options,
    // the names and the model, and applies its set-up. Saved with Ctrl+S
    // after a change, it opens the same in a fresh window, and the keys this
    // version does not know are still in the file.
    void saveAndOpenRoundTrip()
    {
        QVERIFY(writePlate());
        const QString path = dir->file("hand.qplan");
        QVERIFY(guitest::WriteText(path, kHandPlan));
        auto a = makeForm();
        QVERIFY(a);
        a->choosePlanToOpen = [&] { return path; };
        QTest::keyClick(a.get(), Qt::Key_O, Qt::ControlModifier);
        QVERIFY2(messages.isEmpty(), qPrintable(messages.join('\n')));
        QCOMPARE(fields(*a), (QList<int>{300, 1200, 1800, 1400, 15, 15, 0, 1}));
        const planner::Plan &opened = a->document->plan();
        QCOMPARE(opened.input.objectHeight, 1200); // applied, not only shown
        QCOMPARE(opened.layout.kind, planner::LayoutKind::Rings);
        QCOMPARE(opened.layout.rings, 4);
        QVERIFY(opened.framing && opened.framing->focalLength == 35);
        QCOMPARE(opened.grazingBelow, 12.0);
        QCOMPARE(opened.imagePattern, std::string("DSC_%05d.NEF"));
        QCOMPARE(a->document->mesh().face_count, 8); // beside the plan
        QVERIFY(a->coverage->FitButton()->isChecked());
        QVERIFY(!a->CSE_hangle->isEnabled()); // the grid's steps play no part in rings
        QVERIFY(!a->CSE_size->property("notApplied").toBool());
        QCOMPARE(a->windowTitle(), QStringLiteral("hand.qplan - Quorvel - NUK 2006"));

        // A changed camera, applied; a view distance typed and not
        // generated: saved as it shows.
        typeInto(a->CSE_camdist, QStringLiteral("2100"));
        QTest::mouseClick(a->Button1, Qt::LeftButton);
        typeInto(a->CSE_viewd, QStringLiteral("1600"));
        QTest::keyClick(a.get(), Qt::Key_S, Qt::ControlModifier);
        QVERIFY2(messages.isEmpty(), qPrintable(messages.join('\n')));
        const planner::Plan saved = a->document->plan();
        QCOMPARE(saved.input.viewDistance, 1600);
        const QString text = guitest::ReadText(path);
        QVERIFY2(text.contains(QStringLiteral("\"room\": \"B12\"")), qPrintable(text));
        QVERIFY(text.contains(QStringLiteral("\"stand\": \"tripod\"")));
        QVERIFY(text.contains(QStringLiteral("\"camera_distance\": 2100")));
        QVERIFY(text.contains(QStringLiteral("\"path\": \"plate.ply\""))); // still beside the plan
        a.reset();

        auto b = makeForm();
        QVERIFY(b);
        QVERIFY(b->OpenPlan(path));
        QCOMPARE(fields(*b), (QList<int>{300, 1200, 2100, 1600, 15, 15, 0, 1}));
        QVERIFY(b->document->plan() == saved);
        QCOMPARE(b->document->mesh().face_count, 8);
    }

    // "Save plan" without a file yet asks for one, and the name takes the
    // plan's extension; the recent plans offer it again.
    void saveAsAddsTheExtension()
    {
        auto form = makeForm();
        QVERIFY(form);
        QString suggested;
        form->choosePlanToSave = [&](const QString &s) {
            suggested = s;
            return dir->file("studio");
        };
        typeInto(form->CSE_size, QStringLiteral("480"));
        QTest::mouseClick(form->Button1, Qt::LeftButton);
        form->A_saveplan->trigger();
        QVERIFY2(messages.isEmpty(), qPrintable(messages.join('\n')));
        QVERIFY(suggested.endsWith(QStringLiteral(".qplan")));
        QVERIFY(QFile::exists(dir->file("studio.qplan")));
        QCOMPARE(form->windowTitle(), QStringLiteral("studio.qplan - Quorvel - NUK 2006"));
        const planner::PlanFileRead r = planner::ReadPlanFile(dir->file("studio.qplan").toStdString());
        QVERIFY(r.ok);
        QCOMPARE(r.plan.input.objectSize, 480);
        QVERIFY(!r.plan.framing);
        QVERIFY(r.plan.modelPath.empty());

        const QList<QAction *> recent = form->M_recent->actions();
        QVERIFY(!recent.isEmpty());
        QCOMPARE(recent.first()->data().toString(), dir->file("studio.qplan"));
    }

    // A plan that cannot be read is refused with the file, the key and the
    // reason, and the window keeps what it had.
    void damagedPlanChangesNothing_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QString>("says"); // after "PATH: "
        QTest::newRow("not json") << QByteArray("{ \"format\": ") << "not a plan file: ";
        QTest::newRow("other format") << QByteArray(R"({"format": "dome", "version": 1})") << "format: not a plan file";
        QTest::newRow("newer") << QByteArray(R"({"format": "quorvel-plan", "version": 9})")
                               << "version: the plan is of version 9, newer";
        QTest::newRow("size too large")
            << QByteArray(R"({"format": "quorvel-plan", "version": 1, "setup": {"object_size": 99999}})")
            << "setup.object_size: ";
        QTest::newRow("flag as text")
            << QByteArray(R"({"format": "quorvel-plan", "version": 1, "pattern": {"exclude_base_plane": "yes"}})")
            << "pattern.exclude_base_plane: must be true or false";
        QTest::newRow("unknown layout") << QByteArray(
                                               R"({"format": "quorvel-plan", "version": 1, "layout": {"kind": "fan"}})")
                                        << "layout.kind: unknown layout 'fan'";
    }
    void damagedPlanChangesNothing()
    {
        QFETCH(QByteArray, text);
        QFETCH(QString, says);
        auto form = makeForm();
        QVERIFY(form);
        typeInto(form->CSE_hgh, QStringLiteral("1300"));
        QTest::mouseClick(form->Button1, Qt::LeftButton);
        typeInto(form->CSE_size, QStringLiteral("333")); // typed, not applied
        const planner::Plan before = form->document->plan();
        const QList<int> shown = fields(*form);
        const QString path = dir->file("bad.qplan");
        QVERIFY(guitest::WriteText(path, text));

        QVERIFY(!form->OpenPlan(path));
        QCOMPARE(messages.size(), 1);
        QVERIFY2(messages[0].contains(path + QStringLiteral(": ") + says), qPrintable(messages[0]));
        QVERIFY(form->document->plan() == before);
        QCOMPARE(fields(*form), shown);
        QVERIFY(form->CSE_size->property("notApplied").toBool());
        QVERIFY(form->document->filePath().isEmpty());
        QCOMPARE(form->windowTitle(), QStringLiteral("Quorvel - NUK 2006"));
    }

    // A plan whose model is missing: the load notice, and the rest of it.
    void missingModelKeepsTheRest()
    {
        const QString path = dir->file("hand.qplan"); // no plate.ply beside it
        QVERIFY(guitest::WriteText(path, kHandPlan));
        auto form = makeForm();
        QVERIFY(form);
        QVERIFY(form->OpenPlan(path));
        QVERIFY(form->PanelOGL->Notice()->isVisible());
        QVERIFY2(form->PanelOGL->Notice()->text().startsWith(QStringLiteral("Could not load plate.ply")),
                 qPrintable(form->PanelOGL->Notice()->text()));
        QCOMPARE(form->document->plan().input.cameraDistance, 1800);
        QCOMPARE(form->document->plan().modelPath, dir->file("plate.ply").toStdString());
        QVERIFY(!form->document->hasModel());
    }

    // Between runs: the window's size and place, the report's sensor and
    // lens, the export dialog's choices and the recent plans; the planner's
    // parameters start at their defaults.
    void settingsOutliveTheWindow()
    {
        QVERIFY(guitest::WriteText(dir->file("kept.qplan"), R"({"format": "quorvel-plan", "version": 1})"));
        {
            auto a = makeForm();
            QVERIFY(a);
            QVERIFY(a->OpenPlan(dir->file("kept.qplan")));
            typeInto(a->CSE_hgh, QStringLiteral("1900"));
            QTest::mouseClick(a->Button1, Qt::LeftButton);
            QTest::mouseClick(a->Button2, Qt::LeftButton);
            QTest::mouseClick(a->findChild<QToolButton *>("TB_planreport"), Qt::LeftButton);
            auto *report = a->findChild<PlanReportDialog *>();
            QVERIFY(report);
            QTest::mouseClick(report->framingKnown, Qt::LeftButton, {}, QPoint(8, report->framingKnown->height() / 2));
            report->focalLength->selectAll();
            QTest::keyClicks(report->focalLength, QStringLiteral("85"));
            QTest::keyClick(report->focalLength, Qt::Key_Return);
            a->lightExport->runDialog = [&](ExportLightsDialog &d) {
                d.CB_format->setCurrentIndex(d.CB_format->findData(int(planner::LightFormat::Csv)));
                d.ED_file->setText(dir->file("kept.csv"));
                d.ED_images->setText(QStringLiteral("P%03d.TIF"));
                return true;
            };
            a->lightExport->Run();
            a->resize(900, 700);
            QTRY_COMPARE(a->size(), QSize(900, 700));
            QVERIFY(a->close());
        }
        auto b = makeForm();
        QVERIFY(b);
        QCOMPARE(b->size(), QSize(900, 700));
        QCOMPARE(b->document->plan().input.objectHeight, 1000);
        QCOMPARE(b->CSE_hgh->value(), 1000);
        QVERIFY(b->document->plan().framing && b->document->plan().framing->focalLength == 85);
        QCOMPARE(b->document->plan().imagePattern, std::string("P%03d.TIF"));
        QCOMPARE(b->lightExport->LastChoice().format, planner::LightFormat::Csv);
        QCOMPARE(b->lightExport->LastChoice().path, dir->file("kept.csv"));
        QCOMPARE(b->M_recent->actions().first()->data().toString(), dir->file("kept.qplan"));
        QTest::mouseClick(b->findChild<QToolButton *>("TB_planreport"), Qt::LeftButton);
        auto *report = b->findChild<PlanReportDialog *>();
        QVERIFY(report && report->framingKnown->isChecked());
        QCOMPARE(report->focalLength->value(), 85.0);
    }
};

QTEST_MAIN(PlanFilesTest)
#include "PlanFilesTest.moc"
