#pragma once
// What the window lends the dialogs and controllers that show something in
// it: a place on the toolbar, the view (for panels over it, a frame, a
// notice) and the message box. The window implements it; nothing else needs
// to know the window.

#include <QIcon>
#include <QMessageBox>
#include <QString>

class GLView;
class QToolButton;
class QWidget;

class WindowHost
{
public:
    // Adds a button to the toolbar, after the ones already there.
    virtual QToolButton *AddToolButton(const char *name, const QString &text, const QString &toolTip,
                                       const QIcon &icon = QIcon()) = 0;
    // The 3D view; null once it is gone.
    virtual GLView *View() const = 0;
    // Something visible changed: the view draws a frame when it can.
    virtual void RequestFrame() = 0;
    // A notice over the view that goes by itself.
    virtual void ShowNotice(const QString &text) = 0;
    // The status bar's line: what just happened.
    virtual void ShowStatus(const QString &text) = 0;
    // A message box (replaceable in tests).
    virtual void ShowMessage(QMessageBox::Icon icon, const QString &text) = 0;
    // A yes/no question; true for yes (replaceable in tests).
    virtual bool Confirm(const QString &text) = 0;
    // The window, as the parent of dialogs.
    virtual QWidget *DialogParent() = 0;

protected:
    ~WindowHost() = default;
};
