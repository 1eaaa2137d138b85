#pragma once
// "About Quorvel": the version, the licence with its full text, and the Qt
// version the program runs on (and was built with, when they differ).

#include <QDialog>

class QLabel;
class QPlainTextEdit;

class AboutDialog : public QDialog
{
    Q_OBJECT
public:
    explicit AboutDialog(QWidget *parent = nullptr);

    QLabel *title;        // "Quorvel 0.1.0"
    QLabel *licence;      // copyright and the licence's name
    QLabel *qtVersion;    // "Qt 6.4.2"
    QPlainTextEdit *text; // the licence in full

    // "Qt X", or "Qt X (built with Y)" when the libraries found at run time
    // are not those the program was built against.
    static QString QtVersionText(const char *running, const char *built);
};

// Opens the dialog over parent without blocking; it deletes itself when closed.
AboutDialog *ShowAboutDialog(QWidget *parent);
