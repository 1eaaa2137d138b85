// What the window says about itself: the About box behind the toolbar's "?"
// button, and the icons, which come from the drawn files under data/icons.

#include <memory>

#include <QApplication>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QPlainTextEdit>
#include <QSurfaceFormat>
#include <QTest>
#include <QToolBar>
#include <QToolButton>

#include "GuiTestSupport.h"
#include "app/AboutDialog.h"
#include "app/GLView.h"
#include "app/Mainform.h"

namespace
{

QByteArray ReadSource(const char *relative)
{
    QFile f(QStringLiteral(QUORVEL_SOURCE_DIR "/") + QLatin1String(relative));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// An icon's picture at a size, in a format both sides can be compared in.
QImage Pixels(const QIcon &icon, int size)
{
    return icon.pixmap(QSize(size, size)).toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

QImage DrawnFile(const QString &name)
{
    return QImage(QStringLiteral(QUORVEL_SOURCE_DIR "/data/icons/png/") + name)
        .convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

} // namespace

class AboutTest : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<TForm1> form;

private slots:
    void init()
    {
        guitest::ForgetSettings();
        form = std::make_unique<TForm1>();
    }
    void cleanup() { form.reset(); }

    void questionMarkOpensTheAboutBox()
    {
        auto *button = form->findChild<QToolButton *>(QStringLiteral("TB_about"));
        QVERIFY(button);
        QCOMPARE(button->parentWidget(), static_cast<QWidget *>(form->ToolBar1));
        QCOMPARE(button->text(), QStringLiteral("?"));
        QVERIFY(button->toolTip().startsWith(QStringLiteral("About Quorvel")));
        form->show();
        QVERIFY(QTest::qWaitForWindowExposed(form.get()));

        QTest::mouseClick(button, Qt::LeftButton);
        auto *about = form->findChild<AboutDialog *>();
        QVERIFY(about);
        QTRY_VERIFY(about->isVisible());
        QVERIFY(!QApplication::activeModalWidget() || QApplication::activeModalWidget() == about);

        // The version CMake's project() gives, the licence and the Qt at hand.
        QVERIFY2(about->title->text().contains(QStringLiteral("Quorvel " QUORVEL_TEST_VERSION)),
                 qPrintable(about->title->text()));
        QVERIFY(about->licence->text().contains(QStringLiteral("MIT")));
        QVERIFY(about->licence->text().contains(QStringLiteral("The Quorvel developers")));
        QVERIFY(about->qtVersion->text().startsWith(QStringLiteral("Qt ") + QString::fromLatin1(qVersion())));
        const QByteArray licence = ReadSource("LICENSE");
        QVERIFY(licence.contains("MIT License"));
        QCOMPARE(about->text->toPlainText(), QString::fromUtf8(licence));
        QVERIFY(about->text->isReadOnly());

        // Closing deletes it; the window goes on.
        about->reject();
        QTRY_VERIFY(!form->findChild<AboutDialog *>());
        QVERIFY(form->isVisible());
    }

    void qtVersionSaysWhenBuiltAgainstAnother()
    {
        QCOMPARE(AboutDialog::QtVersionText("6.4.2", "6.4.2"), QStringLiteral("Qt 6.4.2"));
        QCOMPARE(AboutDialog::QtVersionText("6.5.3", "6.4.2"), QStringLiteral("Qt 6.5.3 (built with 6.4.2)"));
    }

    void iconsAreTheDrawnFiles_data()
    {
        QTest::addColumn<int>("size");
        for (int s : {16, 24, 32, 48, 64, 128, 256})
            QTest::newRow(qPrintable(QString::number(s))) << s;
    }
    void iconsAreTheDrawnFiles()
    {
        QFETCH(int, size);
        const QIcon icon = form->windowIcon();
        QVERIFY(icon.availableSizes().contains(QSize(size, size)));
        const QImage file = DrawnFile(QStringLiteral("quorvel-%1.png").arg(size));
        QCOMPARE(file.size(), QSize(size, size));
        QCOMPARE(Pixels(icon, size), file);
    }

    void loadModelButtonKeepsItsPicture()
    {
        QCOMPARE(form->TB_loadmodel->toolTip(), QStringLiteral("LOAD PLY REFERENCE MODEL"));
        QCOMPARE(form->TB_loadmodel->iconSize(), QSize(16, 16));
        const QIcon icon = form->TB_loadmodel->icon();
        QCOMPARE(Pixels(icon, 16), DrawnFile(QStringLiteral("load-model-16.png")));
        QCOMPARE(Pixels(icon, 32), DrawnFile(QStringLiteral("load-model-32.png")));
    }
};

int main(int argc, char **argv)
{
    QSurfaceFormat::setDefaultFormat(GLView::ViewFormat());
    QApplication app(argc, argv);
    AboutTest t;
    return QTest::qExec(&t, argc, argv);
}

#include "AboutTest.moc"
