#include "app/LayoutCheck.h"

#include <QAbstractButton>
#include <QFontInfo>
#include <QFrame>
#include <QLabel>


namespace
{

// Boxes closer than this read as touching: a text runs into its field.
constexpr int kGap = 2;

QString Box(const QRect &r)
{
    return QStringLiteral("%1,%2 %3x%4").arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height());
}

QString Name(const QWidget *w) { return QStringLiteral("%1/%2").arg(w->parentWidget()->objectName(), w->objectName()); }

QString TextOf(const QWidget *w)
{
    if (auto *l = qobject_cast<const QLabel *>(w)) return l->text();
    if (auto *b = qobject_cast<const QAbstractButton *>(w)) return b->text();
    return {};
}

} // namespace

LayoutReport CheckPanelLayout(const QList<const QFrame *> &groups)
{
    LayoutReport r;
    if (groups.isEmpty()) return r;
    const QFont f = groups.first()->font();
    r.lines << QStringLiteral("font \"%1\" %2px, drawn with \"%3\"")
                   .arg(f.family())
                   .arg(f.pixelSize())
                   .arg(QFontInfo(f).family());
    for (const QFrame *group : groups) {
        const QRect inside = group->contentsRect();
        r.lines << QStringLiteral("%1 %2, inside %3").arg(group->objectName(), Box(group->geometry()), Box(inside));
        QList<const QWidget *> seen;
        for (const QObject *o : group->children()) {
            const auto *w = qobject_cast<const QWidget *>(o);
            if (!w || !w->isVisibleTo(group)) continue;
            const QRect box = w->geometry();
            const QString text = TextOf(w);
            r.lines << QStringLiteral("  %1 %2 \"%3\"").arg(Name(w), Box(box), text);
            // A label is as wide as its text when made; a narrower box cuts it.
            if (auto *l = qobject_cast<const QLabel *>(w)) {
                const int need = l->fontMetrics().horizontalAdvance(text) + 2 * l->margin();
                if (need > box.width())
                    r.problems << QStringLiteral("%1 \"%2\" needs %3 px, has %4")
                                      .arg(Name(w), text)
                                      .arg(need)
                                      .arg(box.width());
            }
            if (!inside.contains(box))
                r.problems << QStringLiteral("%1 \"%2\" (%3) leaves %4 (%5)")
                                  .arg(Name(w), text, Box(box), group->objectName(), Box(inside));
            for (const QWidget *other : seen)
                if (box.adjusted(-kGap, -kGap, kGap, kGap).intersects(other->geometry()))
                    r.problems << QStringLiteral("%1 \"%2\" (%3) and %4 \"%5\" (%6) overlap or touch")
                                      .arg(Name(other), TextOf(other), Box(other->geometry()), Name(w), text, Box(box));
            seen << w;
        }
    }
    return r;
}
