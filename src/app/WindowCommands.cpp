#include "app/WindowCommands.h"

#include <algorithm>

#include <QAction>
#include <QDialog>
#include <QMenu>
#include <QMenuBar>
#include <QSet>
#include <QToolBar>
#include <QToolButton>


namespace
{

QString Plain(QString text)
{
    // "&Open" is "Open" on screen; "&&" is one "&". Tabs and line breaks
    // would break the line format.
    text.replace(QStringLiteral("&&"), QStringLiteral("\x01"));
    text.remove(QLatin1Char('&'));
    text.replace(QLatin1Char('\x01'), QLatin1Char('&'));
    return text.simplified();
}

QString Keys(const QList<QKeySequence> &keys)
{
    QStringList out;
    for (const QKeySequence &k : keys)
        if (!k.isEmpty()) out << k.toString(QKeySequence::PortableText);
    return out.join(QStringLiteral(", "));
}

QString Line(const QString &place, const QString &name, const QString &keys, const QString &what)
{
    return QStringList{place, Plain(name), keys, Plain(what)}.join(QLatin1Char('\t'));
}

// What a command does, in the words shown for it; nothing when they only
// repeat its name.
QString Description(const QString &name, const QString &whatsThis, const QString &toolTip)
{
    const QString d = !whatsThis.isEmpty() ? whatsThis : toolTip;
    return Plain(d) == Plain(name) ? QString() : d;
}

// The window's dialogs (the file dialogs among them) have commands of their own.
bool InDialog(const QObject *o)
{
    for (; o; o = o->parent())
        if (qobject_cast<const QDialog *>(o)) return true;
    return false;
}

struct Walk {
    QStringList lines;
    QSet<const QObject *> seen;

    void menu(const QMenu *m, const QString &path)
    {
        if (seen.contains(m)) return;
        seen.insert(m);
        for (const QAction *a : m->actions()) {
            seen.insert(a);
            if (a->isSeparator() || !a->isVisible()) continue;
            if (a->menu()) {
                menu(a->menu(), path + QLatin1Char('/') + Plain(a->text()));
                continue;
            }
            lines << Line(QStringLiteral("menu ") + path, a->text(), Keys(a->shortcuts()),
                          Description(a->text(), a->whatsThis(), a->toolTip()));
        }
    }
};

} // namespace

QStringList WindowCommands(const QWidget &form, const QWidget &toolbar)
{
    Walk w;
    const QList<QMenuBar *> bars = form.findChildren<QMenuBar *>();
    for (const QMenuBar *bar : bars)
        for (const QAction *a : bar->actions())
            if (a->menu() && a->isVisible()) w.menu(a->menu(), Plain(a->text()));

    QList<QToolButton *> buttons = toolbar.findChildren<QToolButton *>(QString(), Qt::FindDirectChildrenOnly);
    std::sort(buttons.begin(), buttons.end(),
              [](const QToolButton *a, const QToolButton *b) { return a->x() < b->x(); });
    for (const QToolButton *b : buttons) {
        if (!b->isVisibleTo(&toolbar)) continue;
        // A button with only an icon goes by its accessible name.
        const QString name = !b->text().isEmpty() ? b->text() : b->accessibleName();
        w.lines << Line(QStringLiteral("toolbar"), name, Keys({b->shortcut()}),
                        Description(name, b->whatsThis(), b->toolTip()));
        if (b->menu()) w.menu(b->menu(), Plain(name));
    }

    // Menus that belong to no bar or button, such as a context menu.
    for (const QMenu *m : form.findChildren<QMenu *>()) {
        bool submenu = false;
        for (const QObject *o : m->menuAction()->associatedObjects())
            submenu = submenu || qobject_cast<const QMenu *>(o) || qobject_cast<const QMenuBar *>(o);
        if (!submenu && !InDialog(m)) w.menu(m, Plain(m->title()));
    }

    // Keys of the window's own: actions with shortcuts outside any menu.
    for (const QAction *a : form.findChildren<QAction *>()) {
        if (w.seen.contains(a) || a->shortcuts().isEmpty() || a->menu() || InDialog(a)) continue;
        w.lines << Line(QStringLiteral("keys"), a->text(), Keys(a->shortcuts()),
                        Description(a->text(), a->whatsThis(), a->toolTip()));
    }
    return w.lines;
}
