#pragma once
// The window's commands as a reader of its manual needs them: the toolbar
// buttons left to right, the menus with their entries, and the shortcuts
// that belong to neither, each with its keys and what it does (the
// button's "What's this" text, else its tooltip). The manual page's
// sections are made from this at build time (quorvel --commands), so a
// new button or menu entry is documented where it is made. Keys that an
// event handler takes (Home over the view) are written in the page itself.

#include <QStringList>

class QWidget;

// One line per command: PLACE, NAME, KEYS, DESCRIPTION separated by tabs.
// PLACE is "toolbar", "menu TITLE" (submenus as "menu TITLE/SUBTITLE") or
// "keys"; KEYS is empty where there are none.
// window is the main window, toolbar the widget that holds its buttons.
QStringList WindowCommands(const QWidget &window, const QWidget &toolbar);
