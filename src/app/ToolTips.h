#pragma once
// Tooltips wrapped to a readable width: a plain tooltip longer than a line
// is shown as a paragraph no wider than kToolTipWidth pixels (times the
// screen's scale), whatever widget it belongs to. Installed once on the
// application.

#include <QObject>

inline constexpr int kToolTipWidth = 420;

class WrappedToolTips : public QObject
{
    Q_OBJECT
public:
    // Installs the filter on the application, once.
    static void Install();

    // The tooltip text as shown: plain text of one short line as it is,
    // longer plain text as a wrapped paragraph (line breaks kept).
    static QString Shown(const QString &tip);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    using QObject::QObject;
};
