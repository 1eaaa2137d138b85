#include "app/AboutDialog.h"

#include <QDialogButtonBox>
#include <QFile>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QVBoxLayout>
#include <QtGlobal>

#include "Version.h"
#include "app/AppIcons.h"

AboutDialog::AboutDialog(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("AboutDialog"));
    setWindowTitle(QStringLiteral("About Quorvel"));

    auto *icon = new QLabel(this);
    icon->setPixmap(ApplicationIcon().pixmap(64, 64));
    icon->setAlignment(Qt::AlignTop);

    title = new QLabel(QStringLiteral("<b>Quorvel %1</b>").arg(QLatin1String(QUORVEL_VERSION)), this);
    title->setObjectName(QStringLiteral("AboutTitle"));
    auto *what = new QLabel(QStringLiteral("RTI acquisition planner: the half dome of camera and light positions "
                                           "for polynomial texture maps (PTM), written for the capture rig."),
                            this);
    what->setWordWrap(true);
    licence = new QLabel(QStringLiteral("Copyright (c) The Quorvel developers.\n"
                                        "Free software under the MIT licence (below)."),
                         this);
    licence->setObjectName(QStringLiteral("AboutLicence"));
    qtVersion = new QLabel(QtVersionText(qVersion(), QT_VERSION_STR), this);
    qtVersion->setObjectName(QStringLiteral("AboutQt"));

    text = new QPlainTextEdit(this);
    text->setObjectName(QStringLiteral("AboutLicenceText"));
    text->setReadOnly(true);
    // The licence keeps its own line breaks.
    text->setLineWrapMode(QPlainTextEdit::NoWrap);
    text->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    InitAppResources();
    QFile file(QStringLiteral(":/LICENSE"));
    if (file.open(QIODevice::ReadOnly)) text->setPlainText(QString::fromUtf8(file.readAll()));

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto *head = new QVBoxLayout;
    head->addWidget(title);
    head->addWidget(what);
    head->addWidget(licence);
    head->addWidget(qtVersion);
    auto *top = new QHBoxLayout;
    top->addWidget(icon);
    top->addLayout(head, 1);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(text, 1);
    layout->addWidget(buttons);
    resize(640, 460);
}

QString AboutDialog::QtVersionText(const char *running, const char *built)
{
    const QString run = QString::fromLatin1(running), with = QString::fromLatin1(built);
    if (run == with) return QStringLiteral("Qt %1").arg(run);
    return QStringLiteral("Qt %1 (built with %2)").arg(run, with);
}

AboutDialog *ShowAboutDialog(QWidget *parent)
{
    auto *d = new AboutDialog(parent);
    d->setAttribute(Qt::WA_DeleteOnClose);
    d->open();
    return d;
}
