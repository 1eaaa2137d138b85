#pragma once
// A spin edit that holds a whole number between its limits. Its value is its
// text read as a whole number; text that is not a number reads as the
// minimum. Leaving the field brings the text back within the limits.

#include <QSpinBox>

class SpinEdit : public QSpinBox
{
    Q_OBJECT
public:
    SpinEdit(QWidget *parent, int minimum, int maximum, int value);

    // The value the handlers use: the text as a whole number, the minimum
    // when it is not one, and never outside the limits (the generator
    // divides by the steps, so a half-typed "0" must not reach it).
    int Value() const;

protected:
    void fixup(QString &input) const override;
};
