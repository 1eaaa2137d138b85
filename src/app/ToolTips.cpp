#include "app/ToolTips.h"

#include <QApplication>
#include <QHelpEvent>
#include <QTextDocument>
#include <QToolTip>
#include <QWidget>

namespace
{

// Shorter plain tips fit on one line anyway.
constexpr int kOneLine = 70;

} // namespace

void WrappedToolTips::Install()
{
    static WrappedToolTips *installed = nullptr;
    if (installed || !qApp) return;
    installed = new WrappedToolTips(qApp);
    qApp->installEventFilter(installed);
}

QString WrappedToolTips::Shown(const QString &tip)
{
    if (tip.size() <= kOneLine || Qt::mightBeRichText(tip)) return tip;
    QString html = tip.toHtmlEscaped();
    html.replace(QLatin1Char('\n'), QStringLiteral("<br>"));
    return QStringLiteral("<table width=\"%1\"><tr><td>%2</td></tr></table>").arg(kToolTipWidth).arg(html);
}

bool WrappedToolTips::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() != QEvent::ToolTip) return false;
    auto *w = qobject_cast<QWidget *>(watched);
    if (!w) return false;
    const QString tip = w->toolTip();
    const QString shown = Shown(tip);
    if (shown == tip) return false; // Qt shows it as it is
    const auto *help = static_cast<QHelpEvent *>(event);
    QToolTip::showText(help->globalPos(), shown, w, QRect(), w->toolTipDuration());
    return true;
}
