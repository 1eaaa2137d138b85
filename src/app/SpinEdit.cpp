#include "app/SpinEdit.h"

#include <QLineEdit>

SpinEdit::SpinEdit(QWidget *parent, int minimum, int maximum, int value) : QSpinBox(parent)
{
    setRange(minimum, maximum);
    setValue(value);
    // Out-of-range text snaps to the nearest limit rather than back to the
    // previous value.
    setCorrectionMode(QAbstractSpinBox::CorrectToNearestValue);
}

int SpinEdit::Value() const
{
    bool ok = false;
    const int v = cleanText().trimmed().toInt(&ok, 10);
    if (!ok) return minimum();
    return qBound(minimum(), v, maximum());
}

void SpinEdit::fixup(QString &input) const
{
    bool ok = false;
    const int v = input.trimmed().toInt(&ok, 10);
    input = QString::number(ok ? qBound(minimum(), v, maximum()) : minimum());
}
