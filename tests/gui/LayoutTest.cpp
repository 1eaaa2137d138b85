// "Layout…": the dialog chosen through its fields, "Generate -->" then
// writing the layout's file and drawing its positions, and the plan report
// and the light export following the layout generated last.

#include <cmath>
#include <memory>

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>
#include <QToolButton>

#include "GuiTestSupport.h"
#include "app/ExportLightsDialog.h"
#include "app/LayoutDialog.h"
#include "app/LightExportAction.h"
#include "app/Mainform.h"
#include "app/PlanDocument.h"
#include "app/PlanReportDialog.h"
#include "app/SpinEdit.h"
#include "planner/Layout.h"

using guitest::ScratchDir;
using planner::LayoutKind;

class LayoutTest : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<ScratchDir> dir; // "Generate -->" writes acquisition.txt here
    std::unique_ptr<TForm1> form;

    QToolButton *button() { return form->findChild<QToolButton *>(QStringLiteral("TB_layout")); }

    LayoutDialog *open()
    {
        QTest::mouseClick(button(), Qt::LeftButton);
        // A dialog closed earlier may not be deleted yet.
        for (LayoutDialog *d : form->findChildren<LayoutDialog *>())
            if (d->isVisible()) return d;
        return nullptr;
    }

    static void choose(LayoutDialog *d, LayoutKind k)
    {
        d->CB_layout->setCurrentIndex(d->CB_layout->findText(QString::fromLatin1(planner::LayoutName(k))));
    }

    static void ok(LayoutDialog *d) { QTest::mouseClick(d->Buttons->button(QDialogButtonBox::Ok), Qt::LeftButton); }

    // The text a fresh run of the layout writes, for comparing the window's file.
    QByteArray expectedFile(const planner::LayoutInput &l)
    {
        planner::PatternInput in;
        in.viewDistance = form->CSE_viewd->Value();
        in.horizontalStep = form->CSE_hangle->Value();
        in.verticalStep = form->CSE_vangle->Value();
        planner::PatternLists lists;
        return QByteArray::fromStdString(planner::BuildLayout(in, l, lists));
    }

    QByteArray written() const
    {
        QFile f(dir->file(QStringLiteral("acquisition.txt")));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
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

    void dialogOffersEachLayoutWithItsOwnOptions()
    {
        QVERIFY(button());
        QCOMPARE(button()->text(), QStringLiteral("Layout\u2026"));
        LayoutDialog *d = open();
        QVERIFY(d);
        QVERIFY(d->isVisible());
        QCOMPARE(d->CB_layout->currentText(), QStringLiteral("grid")); // today's grid until chosen otherwise
        QCOMPARE(d->CB_layout->count(), 4);

        QCoreApplication::processEvents();
        const int height = d->height();
        struct Case {
            LayoutKind kind;
            bool rings, count, frequency, elevation;
        };
        for (const Case &c :
             {Case{LayoutKind::Grid, false, false, false, false}, Case{LayoutKind::Rings, true, false, false, true},
              Case{LayoutKind::Spiral, false, true, false, true},
              Case{LayoutKind::Geodesic, false, false, true, true}}) {
            choose(d, c.kind);
            QCOMPARE(d->CSE_rings->isEnabled(), c.rings);
            QCOMPARE(d->CB_toplight->isEnabled(), c.rings);
            QCOMPARE(d->CSE_count->isEnabled(), c.count);
            QCOMPARE(d->CSE_frequency->isEnabled(), c.frequency);
            QCOMPARE(d->CSE_minelevation->isEnabled(), c.elevation);
            QCOMPARE(d->CB_skipflagged->isEnabled(), c.elevation);
            QCoreApplication::processEvents();
            QCOMPARE(d->height(), height); // the dialog does not jump between layouts
        }
        // The geodesic dome of frequency 4 from 0 degrees: 91 directions.
        d->CSE_minelevation->setValue(0);
        QVERIFY(d->summary->text().contains(QStringLiteral("91 directions")));

        // Cancel keeps the window's layout.
        QTest::mouseClick(d->Buttons->button(QDialogButtonBox::Cancel), Qt::LeftButton);
        QCOMPARE(form->document->plan().layout.kind, LayoutKind::Grid);
    }

    // With the flagged lights left out, the count is that of the file the
    // next "Generate -->" writes.
    void countSaysWhatTheFileWillHold()
    {
        LayoutDialog *d = open();
        QVERIFY(d);
        choose(d, LayoutKind::Geodesic);
        d->CSE_minelevation->setValue(0); // the lower half of the ring at 0 degrees is below the floor
        QVERIFY2(d->summary->text().contains(QStringLiteral("91 directions, all of them in the file")),
                 qPrintable(d->summary->text()));
        QTest::mouseClick(d->CB_skipflagged, Qt::LeftButton);
        const QRegularExpressionMatch m =
            QRegularExpression(QStringLiteral("91 directions; .* left out, the file holds (\\d+)\\."))
                .match(d->summary->text());
        QVERIFY2(m.hasMatch(), qPrintable(d->summary->text()));
        const int holds = m.captured(1).toInt();
        QVERIFY(holds > 0 && holds < 91);
        ok(d);
        QTest::mouseClick(form->Button2, Qt::LeftButton);
        QCOMPARE(form->document->pattern().positions.size(), std::size_t(holds));
    }

    void generateUsesTheChosenLayout()
    {
        LayoutDialog *d = open();
        QVERIFY(d);
        choose(d, LayoutKind::Spiral);
        d->CSE_count->setValue(60);
        ok(d);
        QCOMPARE(form->document->plan().layout.kind, LayoutKind::Spiral);
        QCOMPARE(form->document->plan().layout.count, 60);
        // The grid's own fields say they play no part now.
        QVERIFY(!form->CSE_hangle->isEnabled());
        QVERIFY(!form->CB_epiano->isEnabled());
        QVERIFY(form->CSE_viewd->isEnabled());

        form->CSE_viewd->setValue(1200);
        QTest::mouseClick(form->Button2, Qt::LeftButton);
        QCOMPARE(form->document->pattern().positions.size(), std::size_t(60));
        for (const nuk::Point3f &p : form->document->pattern().positions)
            QVERIFY(std::abs(std::sqrt(p.x * p.x + p.y * p.y + p.z * p.z) - 1200.0f) < 0.01f);
        QVERIFY(form->document->generated() && form->document->generated()->layout.kind == LayoutKind::Spiral);
        QCOMPARE(written(), expectedFile(form->document->plan().layout));

        // "distributed subsamping" only opens its dialog: the plan stays.
        const std::vector<nuk::Point3f> before = form->document->pattern().positions;
        QTest::mouseClick(form->Button3, Qt::LeftButton);
        QVERIFY(form->document->pattern().positions == before);
        for (QDialog *s : form->findChildren<QDialog *>(QStringLiteral("SuggestDialog")))
            s->reject();

        // Back to the grid: today's file, byte for byte, and its fields again.
        d = open();
        QCOMPARE(d->CB_layout->currentText(), QStringLiteral("spiral")); // the dialog shows the current choice
        QCOMPARE(d->CSE_count->value(), 60);
        choose(d, LayoutKind::Grid);
        ok(d);
        QVERIFY(form->CSE_hangle->isEnabled());
        QVERIFY(form->CB_epiano->isEnabled());
        QTest::mouseClick(form->Button2, Qt::LeftButton);
        planner::PatternInput in;
        in.viewDistance = 1200;
        planner::PatternLists grid;
        QCOMPARE(written(), QByteArray::fromStdString(planner::BuildPattern(in, grid)));
        QCOMPARE(form->document->pattern().positions.size(), grid.positions.size());
    }

    void reportAndExportFollowTheLastGeneratedLayout()
    {
        LayoutDialog *d = open();
        QVERIFY(d);
        choose(d, LayoutKind::Rings);
        d->CSE_rings->setValue(3);
        d->CB_toplight->setChecked(false);
        d->CB_skipflagged->setChecked(true);
        ok(d);
        QTest::mouseClick(form->Button2, Qt::LeftButton);
        const std::size_t n = form->document->pattern().positions.size();
        QVERIFY(n > 0);

        QTest::mouseClick(form->findChild<QToolButton *>("TB_planreport"), Qt::LeftButton);
        auto *report = form->findChild<PlanReportDialog *>();
        QVERIFY(report && report->report());
        QCOMPARE(report->report()->positions.size(), n);
        QCOMPARE(report->report()->belowFloor, 0); // left out, by the report's own rule
        QCOMPARE(report->report()->blockedByCamera, 0);
        QVERIFY(report->figures->toPlainText().contains(QStringLiteral("3 rings from 15 degrees up")));

        const QString path = dir->file(QStringLiteral("lights.lp"));
        form->lightExport->runDialog = [&](ExportLightsDialog &e) {
            e.CB_format->setCurrentIndex(e.CB_format->findData(int(planner::LightFormat::Lp)));
            e.ED_file->setText(path);
            return true;
        };
        form->lightExport->Run();
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readLine().trimmed(), QByteArray::number(qulonglong(n)));
    }
};

QTEST_MAIN(LayoutTest)
#include "LayoutTest.moc"
