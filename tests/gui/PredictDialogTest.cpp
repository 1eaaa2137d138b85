// "Predicted result…": the Plan menu opens one non-modal dialog that says
// what is missing until a plan, a model and the framing are there, then
// works the prediction out on a worker thread and puts the plan's figures
// beside those of the plan before it. Counts are the plan report's: 81
// usable positions in the default grid, 126 in the default rings.

#include <memory>

#include <QAction>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include "GuiTestSupport.h"
#include "app/Mainform.h"
#include "app/PlanDocument.h"
#include "app/PredictDialog.h"

class PredictDialogTest : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<guitest::ScratchDir> dir;
    std::unique_ptr<TForm1> form;

private slots:
    void init()
    {
        dir = std::make_unique<guitest::ScratchDir>();
        form = guitest::MakeShownForm();
        QVERIFY(form);
    }
    void cleanup()
    {
        form.reset();
        dir.reset();
    }

    void followsThePlanAndKeepsThePreviousFigures()
    {
        auto *action = form->findChild<QAction *>("A_predict");
        QVERIFY(action);
        action->trigger();
        auto *d = form->findChild<PredictDialog *>();
        QVERIFY(d);
        QVERIFY(d->isVisible() && !d->isModal());
        QVERIFY2(d->status->text().contains("No plan yet"), qPrintable(d->status->text()));

        QTest::mouseClick(form->Button2, Qt::LeftButton);
        QVERIFY2(d->status->text().contains("No reference model"), qPrintable(d->status->text()));
        guitest::Ply plate;
        plate.square(QVector3D(0, 0, 50), 200, 4);
        QVERIFY(plate.write(dir->file("plate.ply")));
        QCOMPARE(form->LoadModel(dir->file("plate.ply")), 0);
        QVERIFY2(d->status->text().contains("framing is not known"), qPrintable(d->status->text()));

        QSignalSpy finished(d, &PredictDialog::finished);
        form->document->setReportOptions(planner::Framing{36, 24, 100}, 10);
        QVERIFY(d->busy());
        QVERIFY(finished.wait(120000));
        QVERIFY2(d->current(), qPrintable(d->status->text()));
        QCOMPARE(d->current()->lights, std::size_t(81));
        QVERIFY(!d->previous());
        QVERIFY(!d->mapView->pixmap().isNull());
        // Every pixel of a plate facing the camera is lit by every light.
        QCOMPARE(d->current()->litShare[2], 1.0);

        planner::LayoutInput rings;
        rings.kind = planner::LayoutKind::Rings;
        form->document->setLayout(rings);
        QTest::mouseClick(form->Button2, Qt::LeftButton);
        QVERIFY(finished.wait(120000));
        QVERIFY(d->current() && d->previous());
        QCOMPARE(d->current()->lights, std::size_t(126));
        QCOMPARE(d->previous()->lights, std::size_t(81));
        const QString text = d->figures->toPlainText();
        QVERIFY2(text.contains("this plan") && text.contains("126.00") && text.contains("81.00"), qPrintable(text));
    }
};

QTEST_MAIN(PredictDialogTest)
#include "PredictDialogTest.moc"
