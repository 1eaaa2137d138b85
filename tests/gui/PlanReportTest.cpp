// "Plan report…": one non-modal dialog that follows "Generate -->", "Apply ->"
// and its own inputs. Expected figures are the hand counts of the default
// plan (see the report's unit tests).

#include <algorithm>
#include <memory>

#include <QCheckBox>
#include <QLabel>
#include <QDoubleSpinBox>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextDocument>
#include <QPushButton>
#include <QTest>
#include <QToolButton>

#include "GuiTestSupport.h"
#include "app/Mainform.h"
#include "app/DecimalEdit.h"
#include "app/PlanReportDialog.h"
#include "app/SpinEdit.h"
#include "plot/PlanPlot.h"

using guitest::ScratchDir;

class PlanReportTest : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<ScratchDir> dir; // "Generate -->" writes acquisition.txt here
    std::unique_ptr<TForm1> form;

    PlanReportDialog *open()
    {
        auto *button = form->findChild<QToolButton *>("TB_planreport");
        if (!button) return nullptr;
        QTest::mouseClick(button, Qt::LeftButton);
        return form->findChild<PlanReportDialog *>();
    }

private slots:
    void init()
    {
        dir = std::make_unique<ScratchDir>();
        form = guitest::MakeShownForm();
        QVERIFY(form);
    }
    void cleanup()
    {
        form.reset();
        dir.reset();
    }

    void buttonOpensOneDialogThatLetsTheWindowWork()
    {
        auto *button = form->findChild<QToolButton *>("TB_planreport");
        QVERIFY(button);
        QCOMPARE(button->text(), QStringLiteral("Plan report\u2026"));
        PlanReportDialog *d = open();
        QVERIFY(d);
        QVERIFY(d->isVisible());
        QVERIFY(!d->isModal());
        QVERIFY(!d->report());
        QVERIFY(d->figures->toPlainText().contains("No plan yet"));

        // The window still takes clicks while the dialog is open.
        QTest::mouseClick(form->Button2, Qt::LeftButton);
        QVERIFY(d->report());
        QCOMPARE(d->report()->positions.size(), std::size_t(145));
        QCOMPARE(d->report()->usable, 81);
        QCOMPARE(d->report()->belowFloor, 40);
        QVERIFY(d->figures->toPlainText().contains("below the floor                     40  106-145"));

        // A second click raises the same dialog.
        QTest::mouseClick(button, Qt::LeftButton);
        QCOMPARE(form->findChildren<PlanReportDialog *>().size(), 1);
        // The log keeps its single line.
        QCOMPARE(form->Memo1->toPlainText(), QStringLiteral("Program Started"));
    }

    void followsApplyAndGenerate()
    {
        PlanReportDialog *d = open();
        QVERIFY(d);
        QTest::mouseClick(form->Button2, Qt::LeftButton);
        // Centre 2500 mm up: the 1500 mm dome stays above the floor, leaving
        // 145 - 36 grazing - 1 blocked.
        form->CSE_hgh->setValue(2500);
        QTest::mouseClick(form->Button1, Qt::LeftButton);
        QCOMPARE(d->report()->input.objectHeight, 2500);
        QCOMPARE(d->report()->belowFloor, 0);
        QCOMPARE(d->report()->usable, 108);
        // Steps 90 with the camera moved to 2000: five positions, the central
        // light in front of the camera now and usable.
        form->CSE_camdist->setValue(2000);
        QTest::mouseClick(form->Button1, Qt::LeftButton);
        form->CSE_hangle->setValue(90);
        form->CSE_vangle->setValue(90);
        QTest::mouseClick(form->Button2, Qt::LeftButton);
        QCOMPARE(d->report()->positions.size(), std::size_t(5));
        QCOMPARE(d->report()->blockedByCamera, 0);
        QCOMPARE(d->report()->usable, 1);
    }

    void inputsInMillimetresAndDegrees()
    {
        PlanReportDialog *d = open();
        QVERIFY(d);
        QCOMPARE(d->sensorWidth->suffix(), QStringLiteral(" mm"));
        QCOMPARE(d->focalLength->suffix(), QStringLiteral(" mm"));
        QCOMPARE(d->grazingBelow->suffix(), QStringLiteral("\u00B0"));
        QVERIFY(!d->focalLength->isEnabled());
        QTest::mouseClick(form->Button2, Qt::LeftButton);
        QVERIFY(!d->report()->framing);

        // 36 x 24 mm behind 50 mm from 1000 mm: 720 x 480 mm.
        d->framingKnown->setChecked(true);
        QVERIFY(d->focalLength->isEnabled());
        QVERIFY(d->report()->framing);
        QVERIFY(d->figures->toPlainText().contains("720.0 x 480.0 mm"));
        d->focalLength->setValue(100);
        QVERIFY(d->figures->toPlainText().contains("360.0 x 240.0 mm"));

        // No grazing limit: only the floor and the camera take lights away.
        d->grazingBelow->setValue(0);
        QCOMPARE(d->report()->grazing, 0);
        QCOMPARE(d->report()->usable, 145 - 40 - 1);
    }

    // At its smallest the dialog is narrower than the longest line of the
    // figures: the text wraps, with nothing to scroll sideways to.
    void figuresWrapAtTheEdge()
    {
        PlanReportDialog *d = open();
        QVERIFY(d);
        QTest::mouseClick(form->Button2, Qt::LeftButton);
        QTest::mouseClick(d->framingKnown, Qt::LeftButton);
        d->resize(d->minimumSizeHint());
        QVERIFY(QTest::qWaitForWindowExposed(d));
        QCoreApplication::processEvents();
        const QFontMetrics fm(d->figures->font());
        int longest = 0;
        for (const QString &line : d->figures->toPlainText().split('\n'))
            longest = std::max(longest, fm.horizontalAdvance(line));
        QVERIFY2(longest > d->figures->viewport()->width(),
                 qPrintable(QStringLiteral("%1 <= %2").arg(longest).arg(d->figures->viewport()->width())));
        QCOMPARE(d->figures->horizontalScrollBar()->maximum(), 0);
        QVERIFY(d->figures->document()->lineCount() > d->figures->document()->blockCount());
    }

    // Typed as a user types: every key reaches the field, the value is
    // brought within the limits when the edit ends, text that is not a
    // number stays, marked, and changes nothing.
    void typedNumbersFollowTheWindowsRules_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<double>("taken"); // negative: the value before stays
        QTest::addColumn<QString>("note");
        QTest::newRow("above the maximum") << "focalLength" << "5000" << 2000.0
                                           << "Focal length 5000 mm is above its maximum: 2000 mm used";
        QTest::newRow("below the minimum") << "focalLength" << "0" << 1.0
                                           << "Focal length 0 mm is below its minimum: 1 mm used";
        QTest::newRow("within") << "sensorWidth" << "23.5" << 23.5 << "";
        QTest::newRow("degrees") << "grazingBelow" << "95" << 89.0
                                 << "Grazing below 95\u00B0 is above its maximum: 89\u00B0 used";
        QTest::newRow("not a number") << "focalLength" << "abc" << -1.0 << "Focal length: \"abc\" is not a number";
        QTest::newRow("empty") << "sensorHeight" << "" << -1.0 << "Sensor height: the field is empty";
    }
    void typedNumbersFollowTheWindowsRules()
    {
        QFETCH(QString, field);
        QFETCH(QString, typed);
        QFETCH(double, taken);
        QFETCH(QString, note);
        PlanReportDialog *d = open();
        QVERIFY(d);
        QVERIFY(QTest::qWaitForWindowExposed(d));
        d->framingKnown->setChecked(true);
        QTest::mouseClick(form->Button2, Qt::LeftButton);
        auto *edit = d->findChild<DecimalEdit *>(field);
        QVERIFY(edit);
        const double before = edit->value();
        const planner::PlanReport reportBefore = *d->report();

        edit->setFocus();
        edit->selectAll();
        QTest::keyClick(edit, Qt::Key_Backspace);
        QTest::keyClicks(edit, typed);
        QCOMPARE(edit->cleanText(), typed); // no keystroke dropped
        QTest::keyClick(edit, Qt::Key_Return);

        QVERIFY2(note.isEmpty() ? d->fieldNote->text().isEmpty() : d->fieldNote->text().startsWith(note),
                 qPrintable(d->fieldNote->text()));
        if (taken < 0) {
            QCOMPARE(edit->cleanText(), typed);
            QVERIFY(edit->property("notANumber").toBool());
            QCOMPARE(edit->value(), before);
            QCOMPARE(d->report()->options.framing->focalLength, reportBefore.options.framing->focalLength);
            QCOMPARE(d->report()->options.framing->sensorHeight, reportBefore.options.framing->sensorHeight);
            // Leaving the field keeps the text too.
            QTest::keyClick(edit, Qt::Key_Tab);
            QCOMPARE(edit->cleanText(), typed);
        } else {
            QVERIFY(!edit->property("notANumber").toBool());
            QCOMPARE(edit->value(), taken);
            const planner::ReportOptions &o = d->report()->options;
            const double inReport = field == "focalLength"   ? o.framing->focalLength
                                    : field == "sensorWidth" ? o.framing->sensorWidth
                                                             : o.grazingBelow;
            QCOMPARE(inReport, taken);
        }
    }

    void plotShowsTheBlockedCentralLight()
    {
        PlanReportDialog *d = open();
        QVERIFY(d);
        QVERIFY(QTest::qWaitForWindowExposed(d));
        QTest::mouseClick(form->Button2, Qt::LeftButton);
        const QImage img = d->plotView->grab().toImage();
        const QPointF centre = plot::LayoutFor(QSizeF(d->plotView->size())).centre * img.devicePixelRatio();
        QVERIFY(guitest::Near(img.pixelColor(centre.toPoint()), plot::kBlocked, 10));
    }
};

QTEST_MAIN(PlanReportTest)
#include "PlanReportTest.moc"
