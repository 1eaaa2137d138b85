// The window's controls, "Apply ->", "Generate -->" and the log line.

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QScrollArea>
#include <QScrollBar>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QUrl>
#include <QHelpEvent>
#include <QToolTip>
#include <QStatusBar>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QRegularExpression>
#include <QPushButton>
#include <QSurfaceFormat>
#include <QProcess>
#include <QTest>
#include <QToolBar>
#include <QToolButton>
#include <QWheelEvent>

#include <memory>

#include "GuiTestSupport.h"
#include "app/GLView.h"
#include "app/LayoutCheck.h"
#include "app/Mainform.h"
#include "app/PlanDocument.h"
#include "app/SpinEdit.h"
#include "app/ToolTips.h"
#include "app/WindowCommands.h"

using guitest::ScratchDir;

class MainformTest : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<TForm1> form;
    QStringList messages;
    QList<QMessageBox::Icon> icons;

    void typeInto(SpinEdit *s, const QString &text)
    {
        s->setFocus();
        s->selectAll();
        QTest::keyClicks(s, text);
    }

private slots:
    void init()
    {
        messages.clear();
        icons.clear();
        guitest::ForgetSettings();
        form = std::make_unique<TForm1>();
        form->showMessage = [this](QMessageBox::Icon icon, const QString &m) {
            messages << m;
            icons << icon;
        };
    }
    void cleanup() { form.reset(); }

    void windowAndSingleInstance()
    {
        QCOMPARE(Form1, form.get());
        QCOMPARE(form->windowTitle(), QStringLiteral("Quorvel - NUK 2006"));
        QCOMPARE(form->pos(), QPoint(389, 230));
        QCOMPARE(form->size(), QSize(845, 683));
        TForm1 *was = form.get();
        form.reset();
        QVERIFY(Form1 != was);
    }

    void controls_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("parent");
        QTest::addColumn<QRect>("geometry"); // width 0: only the place is fixed
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("minimum");
        QTest::addColumn<int>("maximum");
        QTest::addColumn<int>("value");

        auto row = [](const char *name, const char *parent, QRect g, const char *text, int mn = 0, int mx = 0,
                      int v = 0) { QTest::newRow(name) << name << parent << g << text << mn << mx << v; };
        row("Panel3", "Panel1", QRect(24, 8, 185, 209), "");
        row("Label1", "Panel3", QRect(16, 24, 0, 0), "OBJ size");
        row("CSE_size", "Panel3", QRect(80, 16, 65, 22), "", 10, 2000, 250);
        row("Label2", "Panel3", QRect(16, 56, 0, 0), "OBJ height");
        row("CSE_hgh", "Panel3", QRect(80, 48, 65, 22), "", 10, 2500, 1000);
        row("Label3", "Panel3", QRect(8, 104, 0, 0), "CAM distance");
        row("CSE_camdist", "Panel3", QRect(80, 96, 65, 22), "", 10, 2500, 1000);
        row("Button1", "Panel3", QRect(104, 160, 65, 33), "Apply ->");
        row("Panel4", "Panel1", QRect(24, 256, 185, 281), "");
        row("Label4", "Panel4", QRect(16, 20, 0, 0), "VIEW distance");
        row("CSE_viewd", "Panel4", QRect(96, 19, 65, 22), "", 10, 3500, 1500);
        row("Label5", "Panel4", QRect(8, 68, 0, 0), "HORIZONTAL angle");
        row("CSE_hangle", "Panel4", QRect(112, 59, 49, 22), "", 1, 90, 15);
        row("Label6", "Panel4", QRect(8, 100, 0, 0), "VERTICAL angle");
        row("CSE_vangle", "Panel4", QRect(112, 91, 49, 22), "", 1, 90, 15);
        row("CB_ezero", "Panel4", QRect(16, 136, 145, 17), "Exclude central point");
        row("CB_epiano", "Panel4", QRect(16, 160, 153, 17), "Exclude point on base plane");
        row("Button2", "Panel4", QRect(16, 184, 97, 25), "Generate -->");
        row("Button3", "Panel4", QRect(16, 224, 129, 25), "distributed subsamping");
    }

    void controls()
    {
        QFETCH(QString, name);
        QFETCH(QString, parent);
        QFETCH(QRect, geometry);
        QFETCH(QString, text);
        QFETCH(int, minimum);
        QFETCH(int, maximum);
        QFETCH(int, value);

        auto *w = form->findChild<QWidget *>(name);
        QVERIFY2(w, qPrintable(name));
        QCOMPARE(w->parentWidget()->objectName(), parent);
        if (geometry.width() > 0)
            QCOMPARE(w->geometry(), geometry);
        else
            QCOMPARE(w->pos(), geometry.topLeft());

        if (auto *l = qobject_cast<QLabel *>(w)) QCOMPARE(l->text(), text);
        if (auto *b = qobject_cast<QAbstractButton *>(w)) {
            QCOMPARE(b->text(), text);
            // The whole text fits the fixed width, whatever face the system has.
            QVERIFY(b->fontMetrics().horizontalAdvance(text) < b->width());
        }
        if (auto *c = qobject_cast<QCheckBox *>(w)) {
            QVERIFY(!c->isChecked());
            QVERIFY(c->sizeHint().width() <= c->width());
        }
        if (auto *s = qobject_cast<SpinEdit *>(w)) {
            QCOMPARE(s->minimum(), minimum);
            QCOMPARE(s->maximum(), maximum);
            QCOMPARE(s->value(), value);
            QCOMPARE(s->Value(), value);
            QCOMPARE(s->text(), QString::number(value));
        }
    }

    void layoutOfPanels()
    {
        form->show();
        QVERIFY(QTest::qWaitForWindowExposed(form.get()));
        const int w = form->width();
        int h = form->height();
        // The menu bar on top, as high as it needs for its font; the rest
        // as it always was below it.
        const int m = form->MainMenu->sizeHint().height();
        QVERIFY(m > 0);
        QCOMPARE(form->MainMenu->geometry(), QRect(0, 0, w, m));
        QCOMPARE(form->ToolBar1->geometry(), QRect(0, m, w, 29));
        // The status bar at the bottom, the panels between.
        const int sb = form->StatusBar1->sizeHint().height();
        QVERIFY(sb > 0);
        QCOMPARE(form->StatusBar1->geometry(), QRect(0, h - sb, w, sb));
        h -= sb;
        QCOMPARE(form->PanelScroll->geometry(), QRect(0, m + 29, 265, h - m - 29));
        QCOMPARE(form->Panel1->geometry(), QRect(0, 0, 265, h - m - 29));
        QCOMPARE(form->Panel2->geometry(), QRect(265, m + 29, w - 265, h - m - 29));
        QCOMPARE(form->PanelOGL->parentWidget(), form->Panel2);
        QCOMPARE(form->PanelOGL->geometry(), QRect(0, 0, w - 265, h - m - 29 - 67));
        QCOMPARE(form->Memo1->parentWidget(), form->Panel2);
        QCOMPARE(form->Memo1->geometry(), QRect(0, h - m - 29 - 67, w - 265, 67));

        // Alignment follows a resize: the toolbar stays 29 high, Panel1 265 wide.
        form->resize(700, 640);
        QTRY_COMPARE(form->PanelOGL->geometry(), QRect(0, 0, 700 - 265, 640 - sb - m - 29 - 67));
        QCOMPARE(form->ToolBar1->height(), 29);
        QCOMPARE(form->Panel1->width(), 265);

        // Too low for the panel: it scrolls, and every control can be reached.
        form->resize(700, 420);
        QTRY_COMPARE(form->height(), 420);
        QTRY_VERIFY(form->PanelScroll->verticalScrollBar()->isVisible());
        const QRect seen = form->PanelScroll->viewport()->rect();
        auto shown = [&](QWidget *w) {
            return seen.contains(QRect(w->mapTo(form->PanelScroll->viewport(), QPoint(0, 0)), w->size()));
        };
        QVERIFY(!shown(form->Button3));
        form->PanelScroll->ensureWidgetVisible(form->Button3);
        QVERIFY(shown(form->Button3));
    }

    // The File menu: the plan files first, then the commands that belong
    // with them, each with its shortcut.
    void fileMenu_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QKeySequence>("keys");
        QTest::newRow("open plan") << "A_openplan"
                                   << "&Open plan\u2026" << QKeySequence(Qt::CTRL | Qt::Key_O);
        QTest::newRow("save plan") << "A_saveplan"
                                   << "&Save plan" << QKeySequence(Qt::CTRL | Qt::Key_S);
        QTest::newRow("save plan as") << "A_saveplanas"
                                      << "Save plan &as\u2026" << QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S);
        QTest::newRow("open model") << "A_openmodel"
                                    << "Open &model\u2026" << QKeySequence(Qt::CTRL | Qt::Key_L);
        QTest::newRow("export") << "A_exportlights"
                                << "Export light positions\u2026" << QKeySequence(Qt::CTRL | Qt::Key_E);
        QTest::newRow("quit") << "A_quit"
                              << "&Quit" << QKeySequence(Qt::CTRL | Qt::Key_Q);
    }
    void fileMenu()
    {
        QFETCH(QString, name);
        QFETCH(QString, text);
        QFETCH(QKeySequence, keys);
        auto *a = form->findChild<QAction *>(name);
        QVERIFY2(a, qPrintable(name));
        QVERIFY(form->M_file->actions().contains(a));
        QCOMPARE(a->text(), text);
        QCOMPARE(a->shortcut(), keys);
        QCOMPARE(form->M_file->title(), QStringLiteral("&File"));
        QVERIFY(form->M_file->actions().contains(form->M_recent->menuAction()));
        // Nothing to export before the first "Generate -->".
        QCOMPARE(form->A_exportlights->isEnabled(), false);
    }

    void quitClosesTheWindow()
    {
        form->show();
        form->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(form.get()));
        QTest::keyClick(form.get(), Qt::Key_Q, Qt::ControlModifier);
        QTRY_VERIFY(!form->isVisible());
    }

    void toolbarAndLog()
    {
        QCOMPARE(form->TB_loadmodel->parentWidget(), static_cast<QWidget *>(form->ToolBar1));
        QCOMPARE(form->TB_loadmodel->toolTip(), QStringLiteral("LOAD PLY REFERENCE MODEL"));
        QCOMPARE(form->TB_loadmodel->width(), 29);
        QCOMPARE(form->TB_loadmodel->x(), 8); // after the 8 pixel separator
        QCOMPARE(form->ToolButton1->geometry().width(), 8);
        QCOMPARE(form->ToolButton2->geometry(), QRect(37, 0, 26, 29));
        QCOMPARE(form->ImageList1.size(), 1);
        QVERIFY(form->ImageList1.at(0).availableSizes().contains(QSize(16, 16)));
        QVERIFY(!form->TB_loadmodel->icon().isNull());
        const QImage icon = form->ImageList1.at(0).pixmap(16, 16).toImage();
        int painted = 0;
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 16; ++x)
                painted += qAlpha(icon.pixel(x, y)) > 0;
        QVERIFY2(painted > 40, "the icon draws something");

        QVERIFY(form->Memo1->isReadOnly());
        QCOMPARE(form->Memo1->toPlainText(), QStringLiteral("Program Started"));
        QCOMPARE(form->Memo1->document()->blockCount(), 1);
        QCOMPARE(form->Memo1->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
        QCOMPARE(form->Memo1->palette().color(QPalette::Text), QColor(0, 0, 128));
        QCOMPARE(form->Memo1->palette().color(QPalette::Base), QColor(0xA6, 0xCA, 0xF0));
    }

    void dialogs()
    {
        QCOMPARE(form->Open_ply->acceptMode(), QFileDialog::AcceptOpen);
        QCOMPARE(form->Open_ply->defaultSuffix(), QStringLiteral("ply"));
        QCOMPARE(form->Open_ply->nameFilters(),
                 (QStringList{QStringLiteral("Models (*.ply *.obj *.stl)"), QStringLiteral("PLY model files (*.ply)"),
                              QStringLiteral("OBJ model files (*.obj)"), QStringLiteral("STL model files (*.stl)")}));
        QCOMPARE(form->TB_loadmodel->toolTip(), QStringLiteral("LOAD PLY REFERENCE MODEL"));
        QCOMPARE(form->Save_data->acceptMode(), QFileDialog::AcceptSave);
        QCOMPARE(form->Save_data->defaultSuffix(), QStringLiteral("ply"));
        QCOMPARE(form->Save_data->nameFilters(), QStringList{QStringLiteral("txt data file (*.txt)")});
        QCOMPARE(form->Save_data->windowTitle(), QStringLiteral("?"));
    }

    void startValues()
    {
        QCOMPARE(form->zoom, 1.0f);
        QCOMPARE(form->document->plan().input.objectSize, 250);
        QCOMPARE(form->document->plan().input.objectHeight, 1000);
        QCOMPARE(form->document->plan().input.cameraDistance, 1000);
        QCOMPARE(form->zoom_ref, 1500.0f);
        QVERIFY(form->document->pattern().positions.empty());
        QCOMPARE(form->mouse_buttons, 0);
        QCOMPARE(int(form->dragging), 0);
        QCOMPARE(form->document->mesh().face_count, 0);
        QVERIFY(form->document->mesh().faces.empty());
    }

    // Text that is not a number reads as the minimum; leaving the field
    // brings the text back within the limits.
    void spinEditReading()
    {
        form->show();
        form->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(form.get()));
        typeInto(form->CSE_viewd, QStringLiteral("777"));
        QCOMPARE(form->CSE_viewd->Value(), 777);
        form->CSE_viewd->findChild<QLineEdit *>()->setText(QStringLiteral("x"));
        QCOMPARE(form->CSE_viewd->Value(), 10);
        form->CSE_hangle->findChild<QLineEdit *>()->setText(QStringLiteral(""));
        QCOMPARE(form->CSE_hangle->Value(), 1);

        // Below the minimum while typing: still read within the limits.
        typeInto(form->CSE_vangle, QStringLiteral("0"));
        QCOMPARE(form->CSE_vangle->Value(), 1);
        form->CSE_size->setFocus();
        QTRY_COMPARE(form->CSE_vangle->text(), QStringLiteral("1"));

        typeInto(form->CSE_size, QStringLiteral("5"));
        form->Button1->setFocus();
        QTRY_COMPARE(form->CSE_size->text(), QStringLiteral("10"));
        QCOMPARE(form->CSE_size->value(), 10);
    }

    // Typing is never cut short: every keystroke is taken, and the text is
    // read as a whole number clamped to the field's limits when the edit is
    // finished, or when "Generate -->" reads it. The file shows the value.
    void typedValuesReachTheFile_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("finish"); // enter, tab, click (mouse), button (focus stays)
        QTest::addColumn<int>("expected");
        QTest::addColumn<QString>("line"); // a line of the file that shows the value

        // Row 0 is the top pole: its height is object height + view distance.
        QTest::newRow("view 4000 enter") << "CSE_viewd"
                                         << "4000"
                                         << "enter" << 3500 << "height       4500\n";
        QTest::newRow("view 999999999999") << "CSE_viewd"
                                           << "999999999999"
                                           << "button" << 3500 << "height       4500\n";
        QTest::newRow("view 0 tab") << "CSE_viewd"
                                    << "0"
                                    << "tab" << 10 << "height       1010\n";
        QTest::newRow("view -5") << "CSE_viewd"
                                 << "-5"
                                 << "click" << 10 << "height       1010\n";
        QTest::newRow("view 2222 button") << "CSE_viewd"
                                          << "2222"
                                          << "button" << 2222 << "height       3222\n";
        QTest::newRow("h-angle 200 tab") << "CSE_hangle"
                                         << "200"
                                         << "tab" << 90 << "horizontal angle     90.00\n";
        QTest::newRow("h-angle 7 click") << "CSE_hangle"
                                         << "7"
                                         << "click" << 7 << "horizontal angle      7.00\n";
        QTest::newRow("v-angle 45 enter") << "CSE_vangle"
                                          << "45"
                                          << "enter" << 45 << "vertical angle       45.00\n";
    }
    void typedValuesReachTheFile()
    {
        QFETCH(QString, field);
        QFETCH(QString, typed);
        QFETCH(QString, finish);
        QFETCH(int, expected);
        QFETCH(QString, line);
        ScratchDir dir;
        form->show();
        form->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(form.get()));
        auto *s = form->findChild<SpinEdit *>(field);
        QVERIFY(s);
        typeInto(s, typed);
        QCOMPARE(s->text(), typed); // nothing dropped while typing
        if (finish == QLatin1String("enter"))
            QTest::keyClick(s, Qt::Key_Return);
        else if (finish == QLatin1String("tab"))
            QTest::keyClick(s, Qt::Key_Tab);
        if (finish == QLatin1String("enter") || finish == QLatin1String("tab"))
            QTRY_COMPARE(s->text(), QString::number(expected));

        if (finish == QLatin1String("click"))
            QTest::mouseClick(form->Button2, Qt::LeftButton);
        else
            form->Button2->click(); // the field keeps the focus
        QCOMPARE(s->text(), QString::number(expected));
        QCOMPARE(s->value(), expected);
        const QString text = guitest::ReadText(dir.file("acquisition.txt"));
        QVERIFY2(text.contains(line), qPrintable(text.left(600)));
    }

    // Text that is not a whole number is never guessed at: the field keeps
    // it, marked, after Enter and Tab, and the command that would take it
    // refuses with the field's name, writing nothing and changing nothing.
    void textThatIsNotANumberIsRefused_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("command"); // apply, generate (buttons), ctrl+g, ctrl+return (keys)
        QTest::addColumn<QString>("label");
        QTest::newRow("letters in both angles") << "CSE_hangle"
                                                << "abc"
                                                << "generate"
                                                << "HORIZONTAL angle";
        QTest::newRow("a fraction") << "CSE_vangle"
                                    << "3.7"
                                    << "ctrl+g"
                                    << "VERTICAL angle";
        QTest::newRow("empty view") << "CSE_viewd"
                                    << ""
                                    << "generate"
                                    << "VIEW distance";
        QTest::newRow("letters in the size") << "CSE_size"
                                             << "abc"
                                             << "apply"
                                             << "OBJ size";
        QTest::newRow("a fraction of height") << "CSE_hgh"
                                              << "12.5"
                                              << "ctrl+return"
                                              << "OBJ height";
    }
    void textThatIsNotANumberIsRefused()
    {
        QFETCH(QString, field);
        QFETCH(QString, typed);
        QFETCH(QString, command);
        QFETCH(QString, label);
        ScratchDir dir;
        QVERIFY(guitest::ShowAndWait(*form));
        form->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(form.get()));
        const planner::Plan before = form->document->plan();
        auto *s = form->findChild<SpinEdit *>(field);
        QVERIFY(s);
        typeInto(s, typed);
        if (typed.isEmpty()) QTest::keyClick(s, Qt::Key_Backspace);
        if (field == QLatin1String("CSE_hangle")) typeInto(form->CSE_vangle, QStringLiteral("abc"));
        QTest::keyClick(s, Qt::Key_Return);
        QTest::keyClick(s, Qt::Key_Tab);
        QCOMPARE(s->text(), typed);
        QVERIFY(s->property("notANumber").toBool());
        QVERIFY2(s->toolTip().contains(QStringLiteral("not a whole number")), qPrintable(s->toolTip()));
        const QImage shown = s->grab().toImage();
        QVERIFY(guitest::Near(shown.pixelColor(QPoint(s->width() - 22, s->height() - 5) * shown.devicePixelRatio()),
                              QColor(0xf6, 0xc1, 0xbb), 30));

        if (command == QLatin1String("apply"))
            QTest::mouseClick(form->Button1, Qt::LeftButton);
        else if (command == QLatin1String("generate"))
            QTest::mouseClick(form->Button2, Qt::LeftButton);
        else if (command == QLatin1String("ctrl+g"))
            QTest::keyClick(form.get(), Qt::Key_G, Qt::ControlModifier);
        else
            QTest::keyClick(form.get(), Qt::Key_Return, Qt::ControlModifier);
        QCOMPARE(messages.size(), 1);
        QVERIFY2(messages.first().contains(label + QStringLiteral(": ")), qPrintable(messages.first()));
        QVERIFY2(messages.first().contains(QStringLiteral("nothing was changed or written")),
                 qPrintable(messages.first()));
        QVERIFY(!QFile::exists(dir.file("acquisition.txt")));
        QVERIFY(form->document->plan() == before);
        QCOMPARE(s->text(), typed);

        // A number again: the mark goes, and the command goes through.
        typeInto(s, QStringLiteral("20"));
        if (field == QLatin1String("CSE_hangle")) typeInto(form->CSE_vangle, QStringLiteral("20"));
        QVERIFY(!s->property("notANumber").toBool());
        QTest::mouseClick(command == QLatin1String("apply") || command == QLatin1String("ctrl+return") ? form->Button1
                                                                                                       : form->Button2,
                          Qt::LeftButton);
        QCOMPARE(messages.size(), 1);
        QCOMPARE(s->value(), 20);
    }

    // What just happened is said in the status bar: the file written, and a
    // value that had to be brought within its limits.
    void statusBarSaysWhatHappened()
    {
        ScratchDir dir;
        QVERIFY(guitest::ShowAndWait(*form));
        typeInto(form->CSE_viewd, QStringLiteral("4000"));
        form->Button2->click();
        const QString said = form->StatusBar1->currentMessage();
        QVERIFY2(said.startsWith(QStringLiteral("Wrote 145 positions to ./acquisition.txt")), qPrintable(said));
        QVERIFY2(said.contains(QStringLiteral("VIEW distance 4000 is above its maximum: 3500 mm used")),
                 qPrintable(said));
        QCOMPARE(form->Memo1->toPlainText().count(QLatin1Char('\n')), 0);
    }

    // A long tooltip is shown wrapped to a readable width; a short one as
    // it is. The layout in use is named in the panel.
    void tooltipsWrapAndLayoutIsNamed()
    {
        QVERIFY(guitest::ShowAndWait(*form));
        for (QWidget *w :
             std::initializer_list<QWidget *>{form->Button1, form->Button2, form->CB_ezero, form->CB_epiano})
            QVERIFY2(!w->toolTip().isEmpty(), qPrintable(w->objectName()));
        auto tipWidth = [](QWidget *w) {
            QHelpEvent help(QEvent::ToolTip, QPoint(5, 5), w->mapToGlobal(QPoint(5, 5)));
            QApplication::sendEvent(w, &help);
            int width = -1;
            for (QWidget *top : QApplication::topLevelWidgets())
                if (top->objectName() == QLatin1String("qtooltip_label") && top->isVisible()) width = top->width();
            QToolTip::hideText();
            return width;
        };
        QWidget *coverage = form->findChild<QToolButton *>(QStringLiteral("TB_coverage"));
        QVERIFY(coverage && coverage->toolTip().size() > 300);
        const int wide = tipWidth(coverage);
        QVERIFY2(wide > 100 && wide <= 460 * form->devicePixelRatioF(), qPrintable(QString::number(wide)));
        QCOMPARE(WrappedToolTips::Shown(QStringLiteral("Reset view")), QStringLiteral("Reset view"));

        QCOMPARE(form->LB_layout->text(), QStringLiteral("Layout: grid"));
        planner::LayoutInput spiral;
        spiral.kind = planner::LayoutKind::Spiral;
        form->document->setLayout(spiral);
        QCOMPARE(form->LB_layout->text(), QStringLiteral("Layout: spiral"));
    }

    // A file dropped on the window opens by its name: a model loads, a plan
    // opens, anything else is refused with a notice.
    void droppedFilesOpen_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("status"); // the status bar's line begins so
        QTest::newRow("model") << "tri.ply"
                               << QByteArray("ply\nformat ascii 1.0\nelement vertex 3\nproperty float x\n"
                                             "property float y\nproperty float z\nelement face 1\n"
                                             "property list uchar int vertex_indices\nend_header\n"
                                             "0 0 20\n100 0 20\n0 100 20\n3 0 1 2\n")
                               << "Loaded tri.ply: 1 faces";
        QTest::newRow("plan") << "p.qplan"
                              << QByteArray(
                                     R"({"format": "quorvel-plan", "version": 1, "setup": {"object_size": 321}})")
                              << "";
        QTest::newRow("other") << "notes.txt" << QByteArray("hello") << "Refused notes.txt: not a model or a plan";
    }
    void droppedFilesOpen()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, content);
        QFETCH(QString, status);
        ScratchDir dir;
        QFile f(dir.file(name));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(content);
        f.close();
        QVERIFY(guitest::ShowAndWait(*form));
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(dir.file(name))});
        const QPoint at(300, 300);
        QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(form.get(), &enter);
        QVERIFY(enter.isAccepted());
        QDropEvent drop(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(form.get(), &drop);
        QVERIFY(drop.isAccepted());
        if (name.endsWith(QLatin1String(".qplan"))) {
            QCOMPARE(form->CSE_size->value(), 321);
            QCOMPARE(form->document->filePath(), dir.file(name));
        } else {
            const QString said = form->StatusBar1->currentMessage();
            QVERIFY2(said.startsWith(status), qPrintable(said));
            QCOMPARE(form->document->hasModel(), name.endsWith(QLatin1String(".ply")));
        }
        QVERIFY(messages.isEmpty());
    }

    // The same through the X server, from another program: a file manager's
    // drag, driven by the pointer the test moves with xdotool.
    void dropFromAnotherProgram()
    {
        ScratchDir dir;
        const QString model = dir.file(QStringLiteral("dragged.ply"));
        QFile f(model);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("ply\nformat ascii 1.0\nelement vertex 3\nproperty float x\nproperty float y\nproperty float z\n"
                "element face 1\nproperty list uchar int vertex_indices\nend_header\n"
                "0 0 20\n100 0 20\n0 100 20\n3 0 1 2\n");
        f.close();
        form->move(300, 200);
        QVERIFY(guitest::ShowAndWait(*form));

        QProcess source;
        source.setProcessChannelMode(QProcess::MergedChannels);
        source.start(QStringLiteral(QUORVEL_DRAG_SOURCE), {model});
        QVERIFY2(source.waitForStarted(), qPrintable(source.errorString()));
        QByteArray said;
        QTRY_VERIFY2_WITH_TIMEOUT((said += source.readAll()).contains("ready"), said.constData(), 10000);

        const QPoint at = form->PanelOGL->mapToGlobal(form->PanelOGL->rect().center());
        const QString x = QString::number(at.x()), y = QString::number(at.y());
        QProcess pointer;
        pointer.start(QStringLiteral("xdotool"), {"mousemove", "60",
                                                  "60",        "sleep",
                                                  "0.3",       "mousedown",
                                                  "1",         "sleep",
                                                  "0.3",       "mousemove",
                                                  "90",        "90",
                                                  "sleep",     "0.3",
                                                  "mousemove", x,
                                                  y,           "sleep",
                                                  "0.5",       "mousemove",
                                                  x,           QString::number(at.y() + 4),
                                                  "sleep",     "0.5",
                                                  "mouseup",   "1"});
        QVERIFY2(pointer.waitForStarted(), qPrintable(pointer.errorString()));
        QTRY_VERIFY2_WITH_TIMEOUT(form->document->hasModel(), (said += source.readAll()).constData(), 15000);
        QTRY_COMPARE_WITH_TIMEOUT(int(source.state()), int(QProcess::NotRunning), 10000);
        QCOMPARE(source.exitCode(), 0); // the drop was taken as a copy
        QTRY_COMPARE_WITH_TIMEOUT(int(pointer.state()), int(QProcess::NotRunning), 5000);
        QCOMPARE(pointer.exitCode(), 0);
        const QString status = form->StatusBar1->currentMessage();
        QVERIFY2(status.startsWith(QStringLiteral("Loaded dragged.ply: 1 faces")), qPrintable(status));
        QCOMPARE(QString::fromStdString(form->document->plan().modelPath), model);
    }

    // More positions than the fitters read: the file is written only when
    // the operator says yes.
    void largePlanAsksFirst_data()
    {
        QTest::addColumn<bool>("yes");
        QTest::newRow("no") << false;
        QTest::newRow("yes") << true;
    }
    void largePlanAsksFirst()
    {
        QFETCH(bool, yes);
        ScratchDir dir;
        QVERIFY(guitest::ShowAndWait(*form));
        QStringList asked;
        form->confirm = [&](const QString &q) {
            asked << q;
            return yes;
        };
        typeInto(form->CSE_hangle, QStringLiteral("5"));
        typeInto(form->CSE_vangle, QStringLiteral("5"));
        form->Button2->click();
        QCOMPARE(asked.size(), 1);
        QVERIFY2(asked.first().contains(QStringLiteral("at most 1,000 lights")), qPrintable(asked.first()));
        QCOMPARE(QFile::exists(dir.file("acquisition.txt")), yes);
        // A plan within the limit does not ask.
        typeInto(form->CSE_hangle, QStringLiteral("15"));
        typeInto(form->CSE_vangle, QStringLiteral("15"));
        form->Button2->click();
        QCOMPARE(asked.size(), 1);
        QVERIFY(QFile::exists(dir.file("acquisition.txt")));
    }

    // The wheel over a field changes it only while it has the focus;
    // otherwise it zooms the view.
    void wheelOverFieldsZoomsUnlessFocused()
    {
        QVERIFY(guitest::ShowAndWait(*form));
        form->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(form.get()));
        form->Button1->setFocus();
        auto turn = [](QWidget *w) {
            const QPointF at(w->width() / 2.0, w->height() / 2.0);
            QWheelEvent e(at, w->mapToGlobal(at), QPoint(), QPoint(0, 120), Qt::NoButton, Qt::NoModifier,
                          Qt::NoScrollPhase, false);
            QApplication::sendEvent(w, &e);
        };
        turn(form->CSE_viewd);
        QCOMPARE(form->CSE_viewd->value(), 1500);
        QCOMPARE(form->zoom, float(1.0L / 1.1L));
        form->CSE_viewd->setFocus();
        QTRY_VERIFY(form->CSE_viewd->hasFocus());
        turn(form->CSE_viewd);
        QCOMPARE(form->CSE_viewd->value(), 1501);
        QCOMPARE(form->zoom, float(1.0L / 1.1L));
    }

    // Shrunk as far as it goes, the window still shows every toolbar button
    // (the About button is the last) and a strip of view, and every control
    // of the left panel can be scrolled into the window.
    void minimumSizeKeepsThePanelReachable()
    {
        form->show();
        QVERIFY(QTest::qWaitForWindowExposed(form.get()));
        form->resize(100, 100);
        QTRY_COMPARE(form->size(), form->minimumSize());
        auto inWindow = [&](QWidget *w) {
            return form->rect().contains(QRect(w->mapTo(form.get(), QPoint(0, 0)), w->size()));
        };
        QVERIFY(inWindow(form->findChild<QToolButton *>("TB_about")));
        for (QWidget *w : std::initializer_list<QWidget *>{form->CSE_size, form->Button1, form->CB_epiano,
                                                           form->Button2, form->Button3, form->LB_layout}) {
            form->PanelScroll->ensureWidgetVisible(w, 0, 0);
            QVERIFY2(inWindow(w), qPrintable(w->objectName()));
        }
        QVERIFY(form->PanelOGL->width() >= 100);
        QVERIFY(form->PanelOGL->height() >= 100);
    }

    // "Apply ->" stores the three values and touches nothing else.
    void applyStoresOnlyTheThreeValues()
    {
        ScratchDir dir;
        form->CSE_size->setValue(400);
        form->CSE_hgh->setValue(1200);
        form->CSE_camdist->setValue(2000);
        form->CSE_viewd->setValue(900);
        form->CSE_hangle->setValue(30);
        form->CB_ezero->setChecked(true);
        const nuk::Affine model = form->track.model, pivot = form->track.pivot;

        QTest::mouseClick(form->Button1, Qt::LeftButton);

        QCOMPARE(form->document->plan().input.objectSize, 400);
        QCOMPARE(form->document->plan().input.objectHeight, 1200);
        QCOMPARE(form->document->plan().input.cameraDistance, 2000);
        QCOMPARE(form->zoom_ref, 1500.0f); // stays six start sizes
        QCOMPARE(form->zoom, 1.0f);
        QVERIFY(form->document->pattern().positions.empty());
        QVERIFY(form->document->pattern().row_heights.empty());
        QVERIFY(form->track.model == model);
        QVERIFY(form->track.pivot == pivot);
        QVERIFY(!QFile::exists(dir.file("acquisition.txt")));
        QCOMPARE(form->Memo1->toPlainText(), QStringLiteral("Program Started"));
    }

    // Without "Apply ->" the stored start values are used, whatever the
    // spin edits show; the file matches the hand-checked default pattern.
    void generateUsesStoredValues()
    {
        ScratchDir dir;
        form->CSE_size->setValue(999);
        form->CSE_hgh->setValue(2222);
        form->CSE_camdist->setValue(33);

        QTest::mouseClick(form->Button2, Qt::LeftButton);

        const QString written = guitest::ReadText(dir.file("acquisition.txt"));
        const QString expected = guitest::ReadText(QStringLiteral(QUORVEL_TEST_DATA "/acquisition-default.txt"));
        QVERIFY(!expected.isEmpty());
        QCOMPARE(written, expected);
        QCOMPARE(form->document->pattern().positions.size(), std::size_t(145));
        QVERIFY(messages.isEmpty());
    }

    // After "Apply ->" the header shows the applied values; steps, view
    // distance and flags come straight from their controls.
    void generateAfterApply()
    {
        ScratchDir dir;
        form->CSE_size->setValue(300);
        form->CSE_hgh->setValue(700);
        form->CSE_camdist->setValue(1800);
        QTest::mouseClick(form->Button1, Qt::LeftButton);
        form->CSE_size->setValue(10); // not applied
        form->CSE_hangle->setValue(90);
        form->CSE_vangle->setValue(90);
        form->CSE_viewd->setValue(2000);
        form->CB_ezero->setChecked(true);

        QTest::mouseClick(form->Button2, Qt::LeftButton);

        const QString text = guitest::ReadText(dir.file("acquisition.txt"));
        QVERIFY(text.contains(QStringLiteral("object size            300\n")));
        QVERIFY(text.contains(QStringLiteral("object height          700\n")));
        QVERIFY(text.contains(QStringLiteral("camera distance       1800\n")));
        QVERIFY(text.contains(QStringLiteral("horizontal angle     90.00\n")));
        QVERIFY(text.contains(QStringLiteral("parallels                3\n")));
        // Poles 700 + 2000 and 700 - 2000; the middle row at 90 degrees.
        QVERIFY(text.contains(QStringLiteral("height       2700\n")));
        QVERIFY(text.contains(QStringLiteral("height      -1300\n")));
        QVERIFY(text.contains(QStringLiteral("distance     2000\n")));
        // Two poles and the two ends of the middle row; (0, 0, d) excluded.
        QVERIFY(text.endsWith(QStringLiteral("Total points      4\n")));
        QCOMPARE(form->document->pattern().positions.size(), std::size_t(4));

        // Unchecking the flag and generating again replaces everything.
        form->CB_ezero->setChecked(false);
        QTest::mouseClick(form->Button2, Qt::LeftButton);
        QCOMPARE(form->document->pattern().positions.size(), std::size_t(5));
        QVERIFY(guitest::ReadText(dir.file("acquisition.txt")).endsWith(QStringLiteral("Total points      5\n")));
    }

    // A file that cannot be written is reported with its path and the
    // reason; the positions are still there to draw.
    void generateReportsWriteFailure()
    {
        ScratchDir dir;
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("acquisition.txt")));
        QTest::mouseClick(form->Button2, Qt::LeftButton);
        QCOMPARE(messages.size(), 1);
        const QString path = QDir(dir.path()).absoluteFilePath(QStringLiteral("acquisition.txt"));
        QVERIFY2(messages.first().contains(QDir::toNativeSeparators(QDir::cleanPath(path))),
                 qPrintable(messages.first()));
        QVERIFY2(messages.first().contains(QStringLiteral("Is a directory")), qPrintable(messages.first()));
        QCOMPARE(icons, QList<QMessageBox::Icon>{QMessageBox::Warning});
        QCOMPARE(form->document->pattern().positions.size(), std::size_t(145));
        QCOMPARE(form->Memo1->toPlainText(), QStringLiteral("Program Started"));
    }

    // "distributed subsamping" opens "Suggest a plan" and changes nothing by itself.
    void suggestButtonChangesNothingByItself()
    {
        ScratchDir dir;
        form->CSE_size->setValue(600);
        QTest::mouseClick(form->Button3, Qt::LeftButton);
        const QList<QDialog *> dialogs = form->findChildren<QDialog *>(QStringLiteral("SuggestDialog"));
        QCOMPARE(dialogs.size(), 1);
        dialogs.front()->reject();
        QCOMPARE(form->document->plan().input.objectSize, 250);
        QVERIFY(form->document->pattern().positions.empty());
        QVERIFY(!QFile::exists(dir.file("acquisition.txt")));
        QVERIFY(messages.isEmpty());
        QCOMPARE(form->Memo1->toPlainText(), QStringLiteral("Program Started"));
    }

    // In the fonts at hand every text keeps clear of its neighbours; a
    // label moved onto its field, or a unit pushed out of its group, is found.
    void panelLayoutChecked()
    {
        QVERIFY(guitest::ShowAndWait(*form));
        const LayoutReport fits = CheckPanelLayout({form->Panel3, form->Panel4});
        QVERIFY2(fits.problems.isEmpty(), qPrintable(fits.problems.join(QLatin1Char('\n'))));
        QVERIFY(fits.lines.filter(QStringLiteral("Panel4/CSE_viewd_unit")).size() == 1);

        form->Label3->move(form->CSE_camdist->x() - form->Label3->width() + 1, form->Label3->y());
        form->findChild<QLabel *>(QStringLiteral("CSE_viewd_unit"))->move(form->Panel4->width() - 10, 23);
        const LayoutReport broken = CheckPanelLayout({form->Panel3, form->Panel4});
        QCOMPARE(broken.problems.size(), 2);
        QVERIFY(broken.problems.at(0).startsWith(QStringLiteral("Panel3/Label3 \"CAM distance\"")));
        QVERIFY(broken.problems.at(0).contains(QStringLiteral("Panel3/CSE_camdist")));
        QVERIFY(broken.problems.at(1).contains(QStringLiteral("leaves Panel4")));
    }

    // The manual's toolbar, menus and keys: buttons left to right by their
    // text (an icon-only one by its accessible name), menu entries with
    // their keys and submenus, shortcuts outside any menu; dialogs left out.
    void commandsForTheManual()
    {
        const QStringList before = WindowCommands(*form, *form->ToolBar1);
        QCOMPARE(before.first(), QStringLiteral("menu File\tOpen plan\u2026\tCtrl+O\t"));
        const QStringList toolbar = before.filter(QRegularExpression(QStringLiteral("^toolbar\t")));
        QCOMPARE(toolbar.first(), QStringLiteral("toolbar\tLoad model\t\t") + form->TB_loadmodel->whatsThis());
        QVERIFY(toolbar.contains(QStringLiteral("toolbar\tReset view\t\t") + form->TB_resetview->toolTip()));
        QVERIFY(before.last().startsWith(QStringLiteral("toolbar\t?\t\t")));
        QVERIFY(!toolbar.filter(QRegularExpression(QStringLiteral("^toolbar\tLight coverage\tCtrl\\+Shift\\+L\t")))
                     .isEmpty());
        // The menus come first, each entry once, and nothing is a bare key yet.
        QCOMPARE(before.indexOf(toolbar.first()), before.size() - toolbar.size());
        QVERIFY(before.contains(QStringLiteral("menu File\tQuit\tCtrl+Q\t")));
        QVERIFY(before.filter(QRegularExpression(QStringLiteral("^keys"))).isEmpty());

        // A new menu with a submenu, and a shortcut outside any menu.
        QMenuBar *bar = form->findChild<QMenuBar *>();
        QVERIFY(bar);
        QMenu *extra = bar->addMenu(QStringLiteral("&Extra"));
        QAction *open = extra->addAction(QStringLiteral("&Check\u2026"));
        open->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_K));
        open->setToolTip(QStringLiteral("Check something"));
        extra->addSeparator();
        extra->addMenu(QStringLiteral("Recent checks"))->addAction(QStringLiteral("a.txt"));
        auto *hidden = new QAction(QStringLiteral("Hidden"), form.get());
        hidden->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_J));
        form->addAction(hidden);
        const QStringList after = WindowCommands(*form, *form->ToolBar1);
        const int at = int(before.size() - toolbar.size());
        QCOMPARE(after.mid(at, 3),
                 (QStringList{QStringLiteral("menu Extra\tCheck\u2026\tCtrl+K\tCheck something"),
                              QStringLiteral("menu Extra/Recent checks\ta.txt\t\t"), toolbar.first()}));
        QCOMPARE(after.last(), QStringLiteral("keys\tHidden\tCtrl+J\t"));
        QCOMPARE(after.size(), before.size() + 3);
        delete extra;
        delete hidden;
    }

    // Whatever the operator does, the log keeps its one line.
    void logNeverGainsALine()
    {
        ScratchDir dir;
        QVERIFY(guitest::ShowAndWait(*form));
        form->chooseModelFile = [] { return QStringLiteral("/nonexistent/model.ply"); };
        QTest::mouseClick(form->Button1, Qt::LeftButton);
        QTest::mouseClick(form->Button2, Qt::LeftButton);
        QTest::mouseClick(form->Button3, Qt::LeftButton);
        QTest::mouseClick(form->TB_loadmodel, Qt::LeftButton);
        QVERIFY(QDir(dir.path()).rename(QStringLiteral("acquisition.txt"), QStringLiteral("old.txt")));
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("acquisition.txt")));
        QTest::mouseClick(form->Button2, Qt::LeftButton); // fails: a message box, not the log
        QTest::mouseClick(form->PanelOGL, Qt::LeftButton, {}, QPoint(50, 50));
        QTest::qWait(50);
        QCOMPARE(form->Memo1->toPlainText(), QStringLiteral("Program Started"));
        QCOMPARE(form->Memo1->document()->blockCount(), 1);
        QCOMPARE(messages.size(), 1);
    }
};

int main(int argc, char **argv)
{
    QSurfaceFormat::setDefaultFormat(GLView::ViewFormat());
    QApplication app(argc, argv);
    MainformTest t;
    return QTest::qExec(&t, argc, argv);
}

#include "MainformTest.moc"
