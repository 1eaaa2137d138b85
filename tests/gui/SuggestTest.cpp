// "distributed subsamping" opens "Suggest a plan": the photographs typed,
// the suggestion made on the worker, "Use this plan" making it the plan
// that "Generate -->" writes; with a model, the share of it lit by k
// lights and, once the framing is known, the predicted normal error;
// Cancel leaving the plan as it was.

#include <memory>

#include <QCheckBox>
#include <QLabel>
#include <QRegularExpression>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTest>

#include "GuiTestSupport.h"
#include "app/Mainform.h"
#include "app/PlanDocument.h"
#include "app/SuggestDialog.h"
#include "planner/AcquisitionFile.h"

using guitest::Ply;
using guitest::ScratchDir;

class SuggestTest : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<ScratchDir> dir;
    std::unique_ptr<TForm1> form;

    SuggestDialog *open()
    {
        QTest::mouseClick(form->Button3, Qt::LeftButton);
        for (SuggestDialog *d : form->findChildren<SuggestDialog *>())
            if (d->isVisible()) return d;
        return nullptr;
    }

    static void type(QSpinBox *box, int value)
    {
        box->setFocus();
        QTest::keyClick(box, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(box, QString::number(value));
        QTest::keyClick(box, Qt::Key_Tab);
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

    void evenSuggestionBecomesThePlan()
    {
        SuggestDialog *d = open();
        QVERIFY(d);
        QVERIFY(!d->CB_model->isEnabled()); // no model loaded
        QVERIFY(!d->RB_generated->isEnabled());
        QVERIFY(!d->PB_use->isEnabled());
        type(d->SE_count, 12);
        type(d->SE_candidates, 400);
        QCOMPARE(d->SE_count->value(), 12);
        QTest::mouseClick(d->PB_suggest, Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(d->suggestion().has_value(), 20000);
        QVERIFY(d->figures->text().contains(QStringLiteral("suggested")));
        QVERIFY(d->PB_use->isEnabled());
        QTest::mouseClick(d->PB_use, Qt::LeftButton);
        QVERIFY(!d->isVisible());

        const planner::Plan &plan = form->document->plan();
        QCOMPARE(plan.layout.kind, planner::LayoutKind::Suggested);
        QCOMPARE(plan.layout.positions.size(), std::size_t(12));
        QTest::mouseClick(form->Button2, Qt::LeftButton);
        QCOMPARE(form->document->pattern().positions.size(), std::size_t(12));
        const planner::AcquisitionRead read = planner::ReadAcquisitionFile(dir->file("acquisition.txt").toStdString());
        QVERIFY2(read.ok, read.error.message.c_str());
        QCOMPARE(read.layout.positions, plan.layout.positions);
    }

    // A plate facing the camera: every usable light reaches all of it, so
    // the suggestion lights all of it with 9 and more, as the grid before did.
    void modelAwareFigures()
    {
        Ply ply;
        ply.square(QVector3D(0, 0, 50), 100, 4);
        QVERIFY(ply.write(dir->file("plate.ply")));
        QCOMPARE(form->LoadModel(dir->file("plate.ply")), 0);
        QTest::mouseClick(form->Button2, Qt::LeftButton); // the grid, as before
        SuggestDialog *d = open();
        QVERIFY(d);
        QVERIFY(d->CB_model->isEnabled() && d->CB_model->isChecked());
        type(d->SE_count, 20);
        type(d->SE_candidates, 300);
        QTest::mouseClick(d->PB_suggest, Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(d->suggestion().has_value(), 30000);
        QVERIFY2(d->figures->text().contains(QStringLiteral("<td>100.0 %</td><td>100.0 %</td>")),
                 qPrintable(d->figures->text()));
        // Without the framing there is no camera to predict from; with it,
        // the predicted normal error of the plan before and of the suggestion.
        QVERIFY2(d->figures->text().contains(QStringLiteral("Give the sensor and the lens")),
                 qPrintable(d->figures->text()));
        form->document->setReportOptions(planner::Framing{36, 24, 100}, 10);
        QTest::mouseClick(d->PB_suggest, Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(d->figures->text().contains(QStringLiteral("predicted normal error")), 60000);
        const QRegularExpression degrees(
            QStringLiteral("predicted normal error, median</td><td>[0-9.]+°</td><td>[0-9.]+°"));
        QVERIFY2(degrees.match(d->figures->text()).hasMatch(), qPrintable(d->figures->text()));
        QTest::mouseClick(d->PB_close, Qt::LeftButton);
        QCOMPARE(form->document->plan().layout.kind, planner::LayoutKind::Grid);
    }

    void cancelLeavesThePlan()
    {
        SuggestDialog *d = open();
        QVERIFY(d);
        type(d->SE_count, 3000);
        type(d->SE_candidates, 10000);
        QTest::mouseClick(d->PB_suggest, Qt::LeftButton);
        QVERIFY(d->PB_cancel->isEnabled());
        QTest::mouseClick(d->PB_cancel, Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(d->figures->text().startsWith(QStringLiteral("Cancelled")), 60000);
        QVERIFY(!d->suggestion());
        QVERIFY(!d->PB_use->isEnabled());
        QTest::mouseClick(d->PB_close, Qt::LeftButton);
        QCOMPARE(form->document->plan().layout.kind, planner::LayoutKind::Grid);
    }
};

QTEST_MAIN(SuggestTest)
#include "SuggestTest.moc"
