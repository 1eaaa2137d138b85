// The toolbar's "Export light positions…": enabled after "Generate -->",
// the dialog filled in through its seam, and the files it writes read back
// with Qt's own readers.

#include <cmath>
#include <memory>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QStatusBar>
#include <QSurfaceFormat>
#include <QTest>
#include <QToolBar>
#include <QToolButton>

#include "GuiTestSupport.h"
#include "app/ExportLightsDialog.h"
#include "app/GLView.h"
#include "app/LightExportAction.h"
#include "app/Mainform.h"
#include "app/PlanDocument.h"
#include "app/SpinEdit.h"

using guitest::ScratchDir;

namespace
{

int IndexOf(QComboBox *box, planner::LightFormat f) { return box->findData(static_cast<int>(f)); }

QPushButton *OkButton(ExportLightsDialog &d) { return d.Buttons->button(QDialogButtonBox::Ok); }

} // namespace

class ExportLightsTest : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<TForm1> form;
    QStringList messages;
    int dialogs = 0;

    LightExportAction &action() { return *form->lightExport; }

    void setText(QLineEdit *e, const QString &text)
    {
        e->selectAll();
        QTest::keyClicks(e, text);
    }

private slots:
    void init()
    {
        messages.clear();
        dialogs = 0;
        guitest::ForgetSettings();
        form = std::make_unique<TForm1>();
        form->showMessage = [this](QMessageBox::Icon, const QString &m) { messages << m; };
        form->confirm = [](const QString &) { return true; }; // large plans are written here
    }
    void cleanup() { form.reset(); }

    void enabledAfterTheFirstGenerate()
    {
        ScratchDir dir;
        QToolButton *b = action().Button();
        QCOMPARE(b->objectName(), QStringLiteral("TB_exportlights"));
        QCOMPARE(b->text(), QStringLiteral("Export light positions\u2026"));
        QCOMPARE(b->parentWidget(), static_cast<QWidget *>(form->ToolBar1));
        QVERIFY(b->x() >= form->TB_resetview->x() + form->TB_resetview->width());
        QVERIFY(!b->isEnabled());
        action().runDialog = [this](ExportLightsDialog &) {
            ++dialogs;
            return false;
        };
        action().Run(); // nothing generated yet: no dialog
        QCOMPARE(dialogs, 0);

        QTest::mouseClick(form->Button2, Qt::LeftButton);
        QVERIFY(b->isEnabled());
        QTest::mouseClick(b, Qt::LeftButton);
        QCOMPARE(dialogs, 1);
        // Cancelled: nothing written, nothing said.
        QVERIFY(!QFile::exists(dir.file("acquisition.lp")));
        QVERIFY(messages.isEmpty());
    }

    void exportsEachFormat_data()
    {
        QTest::addColumn<int>("format");
        QTest::addColumn<QString>("name");
        QTest::newRow("lp") << int(planner::LightFormat::Lp) << "lights.lp";
        QTest::newRow("dome") << int(planner::LightFormat::Dome) << "lights.dome";
        QTest::newRow("csv") << int(planner::LightFormat::Csv) << "lights.csv";
    }
    void exportsEachFormat()
    {
        QFETCH(int, format);
        QFETCH(QString, name);
        ScratchDir dir;
        QTest::mouseClick(form->Button2, Qt::LeftButton); // the default pattern: 145 positions
        // A new view distance typed but not generated: the export is of the
        // last generated pattern.
        form->CSE_viewd->setValue(1000);

        const QString path = dir.file(name);
        action().runDialog = [&](ExportLightsDialog &d) {
            ++dialogs;
            d.CB_format->setCurrentIndex(IndexOf(d.CB_format, planner::LightFormat(format)));
            setText(d.ED_file, path);
            setText(d.ED_images, QStringLiteral("DSC_%03d.NEF"));
            d.SE_first->setValue(10);
            d.SE_imagewidth->setValue(120.5);
            setText(d.ED_label, QStringLiteral("Tablet"));
            [&] { QCOMPARE(d.LB_names->text(), QStringLiteral("DSC_010.NEF ... DSC_154.NEF (145 photographs)")); }();
            return OkButton(d)->isEnabled();
        };
        QTest::mouseClick(action().Button(), Qt::LeftButton);
        QCOMPARE(dialogs, 1);
        QVERIFY2(messages.isEmpty(), qPrintable(messages.join('\n')));
        QVERIFY(form->PanelOGL->Notice()->text().contains(QStringLiteral("Exported 145 light positions to ") + name));

        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray bytes = f.readAll();
        const QList<QByteArray> lines = bytes.split('\n');
        switch (planner::LightFormat(format)) {
        case planner::LightFormat::Lp:
            QCOMPARE(lines.size(), 147); // the count, 145 lights, the empty piece after the last line end
            QCOMPARE(lines[0], QByteArray("145"));
            QCOMPARE(lines[1], QByteArray("DSC_010.NEF 0 1 0"));
            QVERIFY(lines[145].startsWith("DSC_154.NEF "));
            break;
        case planner::LightFormat::Csv:
            QCOMPARE(lines.size(), 147);
            QVERIFY(lines[0].startsWith("sequence,row,point,image,x_mm,y_mm,z_mm,"));
            QVERIFY(lines[1].startsWith("1,0,0,DSC_010.NEF,0,1500,0,0,1,0,"));
            break;
        case planner::LightFormat::Dome: {
            QJsonParseError error;
            const QJsonObject o = QJsonDocument::fromJson(bytes, &error).object();
            QCOMPARE(error.error, QJsonParseError::NoError);
            QCOMPARE(o.value("label").toString(), QStringLiteral("Tablet"));
            QCOMPARE(o.value("imageWidth").toDouble(), 120.5);
            QCOMPARE(o.value("domeDiameter").toDouble(), 3000.0); // 1500 as generated, not 1000 as typed
            QCOMPARE(o.value("directions").toArray().size(), 145);
            const QJsonObject last = o.value("positions3d").toArray().last().toObject();
            QVERIFY(std::fabs(last.value("y").toDouble() + 1500.0) < 0.01); // the bottom pole
            break;
        }
        }

        // The same choices are offered next time.
        LightExportChoice offered;
        action().runDialog = [&](ExportLightsDialog &d) {
            offered = d.choice();
            return false;
        };
        action().Run();
        QCOMPARE(int(offered.format), format);
        QCOMPARE(offered.path, path);
        QCOMPARE(QString::fromStdString(offered.options.imagePattern), QStringLiteral("DSC_%03d.NEF"));
        QCOMPARE(offered.options.firstNumber, 10LL);
        QCOMPARE(offered.options.imageWidth, 120.5);
    }

    void dialogRefusesWhatCannotBeWritten()
    {
        ScratchDir dir;
        QTest::mouseClick(form->Button2, Qt::LeftButton);
        action().runDialog = [&](ExportLightsDialog &d) {
            ++dialogs;
            checkRefusals(d, dir);
            return false;
        };
        action().Run();
        QCOMPARE(dialogs, 1);
        QVERIFY(QDir(dir.path()).entryList(QDir::Files) == QStringList{QStringLiteral("acquisition.txt")});
    }

    // Names that a fitter would take out of shooting order: refused with a
    // pattern that works; the same rule as the command line's.
    void dialogRefusesNamesOutOfOrder()
    {
        ScratchDir dir;
        QTest::mouseClick(form->Button2, Qt::LeftButton); // 145 positions
        action().runDialog = [&](ExportLightsDialog &d) {
            ++dialogs;
            [&] {
                const struct {
                    const char *pattern;
                    int first;
                    const char *says; // nullptr: accepted
                } cases[] = {
                    {"IMG_%d.JPG", 1, "use IMG_%03d.JPG (IMG_001.JPG to IMG_145.JPG)"},
                    {"IMG_%d.JPG", 100, nullptr},
                    {"DSC_%04d.JPG", 9990, "'DSC_10000.JPG' would sort before 'DSC_9999.JPG'; use DSC_%05d.JPG"},
                    {"DSC_%03d.JPG", 900, "use DSC_%04d.JPG"},
                    {"DSC_%03d.JPG", 1, nullptr},
                };
                for (const auto &c : cases) {
                    setText(d.ED_images, QString::fromLatin1(c.pattern));
                    d.SE_first->setValue(c.first);
                    QCOMPARE(OkButton(d)->isEnabled(), c.says == nullptr);
                    if (c.says)
                        QVERIFY2(d.LB_names->text().contains(QString::fromLatin1(c.says)),
                                 qPrintable(d.LB_names->text()));
                }
                QVERIFY(d.LB_limit->isHidden()); // 145 lights: no warning
            }();
            return false;
        };
        action().Run();
        QCOMPARE(dialogs, 1);
    }

    // More lights than a fitter in use takes: a warning, and the file.
    void manyLightsAreWarnedAndWritten()
    {
        ScratchDir dir;
        form->CSE_hangle->setValue(5);
        form->CSE_vangle->setValue(5);
        QTest::mouseClick(form->Button2, Qt::LeftButton); // 35 rows of 37 and the poles
        bool warned = false;
        action().runDialog = [&](ExportLightsDialog &d) {
            warned = !d.LB_limit->isHidden() && d.LB_limit->text().contains(QStringLiteral("1297 lights")) &&
                     d.LB_limit->text().contains(QStringLiteral("more than 1000"));
            return OkButton(d)->isEnabled();
        };
        action().Run();
        QVERIFY(warned);
        QVERIFY2(messages.isEmpty(), qPrintable(messages.join('\n')));
        QFile f(dir.file("acquisition.lp"));
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readLine(), QByteArray("1297\n"));
    }

    // With the plan's framing, the .dome's width is the field at the object:
    // 36 mm x 1000 mm / 50 mm; typed, the width is the one typed.
    void domeWidthFromTheFraming()
    {
        ScratchDir dir;
        form->document->setReportOptions(planner::Framing{36, 24, 50}, 10);
        QTest::mouseClick(form->Button2, Qt::LeftButton);
        for (const double typed : {0.0, 120.5}) {
            QString shown;
            action().runDialog = [&](ExportLightsDialog &d) {
                d.CB_format->setCurrentIndex(IndexOf(d.CB_format, planner::LightFormat::Dome));
                d.SE_imagewidth->setValue(typed);
                shown = d.SE_imagewidth->text();
                return OkButton(d)->isEnabled();
            };
            action().Run();
            QVERIFY2(messages.isEmpty(), qPrintable(messages.join('\n')));
            if (typed == 0) QCOMPARE(shown, QStringLiteral("from the framing: 720.00 mm"));
            QFile f(dir.file("acquisition.dome"));
            QVERIFY(f.open(QIODevice::ReadOnly));
            const QJsonObject o = QJsonDocument::fromJson(f.readAll()).object();
            QCOMPARE(o.value("imageWidth").toDouble(), typed > 0 ? typed : 720.0);
            QCOMPARE(o.value("lightConfiguration").toString(), QStringLiteral("spherical"));
            QCOMPARE(o.value("positionsSphere").toArray().size(), 145);
        }
        // No framing and nothing typed: directions alone.
        form->document->setReportOptions(std::nullopt, 10);
        QString shown;
        action().runDialog = [&](ExportLightsDialog &d) {
            d.SE_imagewidth->setValue(0);
            shown = d.SE_imagewidth->text();
            return true;
        };
        action().Run();
        QCOMPARE(shown, QStringLiteral("unknown: directions only"));
        QFile f(dir.file("acquisition.dome"));
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QJsonObject o = QJsonDocument::fromJson(f.readAll()).object();
        QCOMPARE(o.value("lightConfiguration").toString(), QStringLiteral("directional"));
        QVERIFY(!o.contains("positionsSphere"));
    }

private:
    void checkRefusals(ExportLightsDialog &d, const ScratchDir &dir)
    {
        {
            QVERIFY(OkButton(d)->isEnabled()); // the defaults are fine
            QCOMPARE(d.ED_file->text(), dir.file("acquisition.lp"));
            setText(d.ED_images, QStringLiteral("IMG.JPG"));
            QVERIFY(!OkButton(d)->isEnabled());
            QVERIFY(d.LB_names->text().contains(QStringLiteral("exactly one integer conversion")));
            setText(d.ED_images, QStringLiteral("IMG %04d.JPG"));
            QVERIFY(!OkButton(d)->isEnabled());
            QVERIFY(d.LB_names->text().contains(QStringLiteral("spaces")));
            // CSV takes such names; only the dome's fields follow the format.
            QVERIFY(!d.SE_imagewidth->isEnabled());
            d.CB_format->setCurrentIndex(IndexOf(d.CB_format, planner::LightFormat::Csv));
            QVERIFY(OkButton(d)->isEnabled());
            QCOMPARE(d.ED_file->text(), dir.file("acquisition.csv"));
            d.CB_format->setCurrentIndex(IndexOf(d.CB_format, planner::LightFormat::Dome));
            QCOMPARE(d.ED_file->text(), dir.file("acquisition.dome"));
            QVERIFY(d.SE_imagewidth->isEnabled() && d.SE_voffset->isEnabled() && d.ED_label->isEnabled());
            QVERIFY(d.SE_imagewidth->suffix().contains(QStringLiteral("mm")));
            d.ED_file->clear();
            QVERIFY(!OkButton(d)->isEnabled());
            // "Browse…" with another format's extension switches the format.
            planner::LightFormat asked = planner::LightFormat::Csv;
            d.chooseFile = [&](const QString &, planner::LightFormat f) {
                asked = f;
                return dir.file("picked.lp");
            };
            QTest::mouseClick(d.BT_browse, Qt::LeftButton);
            QVERIFY(asked == planner::LightFormat::Dome);
            QCOMPARE(d.ED_file->text(), dir.file("picked.lp"));
            QCOMPARE(d.CB_format->currentIndex(), IndexOf(d.CB_format, planner::LightFormat::Lp));
            d.SE_first->setValue(999999999); // the last photograph's number would not fit
            QVERIFY(!OkButton(d)->isEnabled());
        }
    }

private slots:

    // Through the dialog's own OK button: a failed export, or a replace
    // the operator declines, leaves the dialog open as filled in; the
    // second OK then writes and closes it.
    void okKeepsTheDialogUntilWritten_data()
    {
        QTest::addColumn<QString>("first");   // the file of the first OK
        QTest::addColumn<bool>("exists");     // it is there before
        QTest::addColumn<bool>("replace");    // the answer to "Replace it?"
        QTest::addColumn<QString>("message"); // of the first OK; empty: none
        QTest::addColumn<QString>("status");  // after the first OK
        QTest::newRow("folder missing") << "missing/lights.lp" << false << true << "No such file or directory"
                                        << "";
        QTest::newRow("replace declined") << "lights.lp" << true << false << "" << "Not exported: lights.lp was kept";
        QTest::newRow("replace accepted") << "lights.lp" << true << true << "" << "Exported 145 light positions to";
    }
    void okKeepsTheDialogUntilWritten()
    {
        QFETCH(QString, first);
        QFETCH(bool, exists);
        QFETCH(bool, replace);
        QFETCH(QString, message);
        QFETCH(QString, status);
        ScratchDir dir;
        QTest::mouseClick(form->Button2, Qt::LeftButton);
        const QByteArray before("kept as it was\n");
        if (exists) {
            QFile f(dir.file(first));
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(before);
        }
        QStringList asked;
        form->confirm = [&](const QString &q) {
            asked << q;
            return replace;
        };
        bool closed = false;
        action().runDialog = [&](ExportLightsDialog &d) {
            d.show();
            [&] {
                QVERIFY(QTest::qWaitForWindowExposed(&d));
                setText(d.ED_file, dir.file(first));
                QTest::mouseClick(OkButton(d), Qt::LeftButton);
                QCOMPARE(asked.size(), exists ? 1 : 0);
                if (exists) QVERIFY(asked[0].contains(QStringLiteral("already exists. Replace it?")));
                QCOMPARE(messages.size(), message.isEmpty() ? 0 : 1);
                if (!message.isEmpty()) QVERIFY2(messages[0].contains(message), qPrintable(messages[0]));
                if (!status.isEmpty())
                    QVERIFY2(form->StatusBar1->currentMessage().startsWith(status),
                             qPrintable(form->StatusBar1->currentMessage()));
                if (exists && replace) {
                    QVERIFY(!d.isVisible());
                    return;
                }
                QVERIFY(d.isVisible());
                QCOMPARE(d.ED_file->text(), dir.file(first));
                setText(d.ED_file, dir.file("second.lp"));
                QTest::mouseClick(OkButton(d), Qt::LeftButton);
                QVERIFY(!d.isVisible());
                QVERIFY(QFile::exists(dir.file("second.lp")));
            }();
            closed = !d.isVisible();
            return d.result() == QDialog::Accepted;
        };
        action().Run();
        QVERIFY(closed);
        QFile f(dir.file(first));
        if (exists) {
            QVERIFY(f.open(QIODevice::ReadOnly));
            QCOMPARE(f.readAll() == before, !replace);
        }
    }

    void emptyPatternIsSaidSo()
    {
        ScratchDir dir;
        form->CSE_hangle->setValue(90);
        form->CSE_vangle->setValue(90);
        form->CB_ezero->setChecked(true);
        form->CB_epiano->setChecked(true);
        QTest::mouseClick(form->Button2, Qt::LeftButton);
        QVERIFY(form->document->pattern().positions.empty());
        bool okEnabled = true;
        action().runDialog = [&](ExportLightsDialog &d) {
            okEnabled = OkButton(d)->isEnabled();
            return true; // as if accepted all the same
        };
        action().Run();
        QVERIFY(!okEnabled);
        QCOMPARE(messages.size(), 1);
        QVERIFY(messages[0].contains(QStringLiteral("no positions")));
        QVERIFY(!QFile::exists(dir.file("acquisition.lp")));
    }
};

int main(int argc, char **argv)
{
    QSurfaceFormat::setDefaultFormat(GLView::ViewFormat());
    QApplication app(argc, argv);
    ExportLightsTest t;
    return QTest::qExec(&t, argc, argv);
}

#include "ExportLightsTest.moc"
