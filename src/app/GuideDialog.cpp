#include "app/GuideDialog.h"

#include <QDialogButtonBox>
#include <QFile>
#include <QPointer>
#include <QRegularExpression>
#include <QTextBrowser>
#include <QVBoxLayout>

// Outside any namespace: the resource's initialiser is a global function.
static void InitGuideResource()
{
    static bool done = false;
    if (done) return;
    done = true;
    Q_INIT_RESOURCE(guide);
}

QString GuideText()
{
    InitGuideResource();
    QFile f(QStringLiteral(":/guide/guide.md"));
    if (!f.open(QIODevice::ReadOnly)) return {};
    return QString::fromUtf8(f.readAll());
}

GuideDialog::GuideDialog(QWidget *parent) : QDialog(parent)
{
    setObjectName("GuideDialog");
    setWindowTitle(QStringLiteral("Quorvel guide"));
    auto *layout = new QVBoxLayout(this);
    text = new QTextBrowser(this);
    text->setObjectName("GuideText");
    text->setOpenExternalLinks(true);
    const QString guide = GuideText();
    // Pictures of the README are not built in: their captions stay.
    QString shown = guide;
    shown.replace(QRegularExpression(QStringLiteral("!\\[([^\\]]*)\\]\\([^)]*\\)")), QStringLiteral("*\\1*"));
    if (guide.isEmpty())
        text->setPlainText(QStringLiteral("The guide was not built into this copy of Quorvel; see README.md."));
    else
        text->setMarkdown(shown);
    layout->addWidget(text);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::close);
    layout->addWidget(buttons);
    resize(720, 620);
}

void ShowGuide(QWidget *parent)
{
    static QPointer<GuideDialog> open;
    if (!open) {
        open = new GuideDialog(parent);
        open->setAttribute(Qt::WA_DeleteOnClose);
    }
    open->show();
    open->raise();
    open->activateWindow();
}
