#pragma once
// The short guide (Help, F1): the README's section on the window, built
// into the program so it is there without a network or the source.

#include <QDialog>

class QTextBrowser;

class GuideDialog : public QDialog
{
    Q_OBJECT
public:
    explicit GuideDialog(QWidget *parent = nullptr);

    QTextBrowser *text;
};

// The guide's text (Markdown), empty if it was not built in.
QString GuideText();

// Shows the guide, not modal: one at a time, raised when asked again.
void ShowGuide(QWidget *parent);
