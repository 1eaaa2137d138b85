#pragma once
// A spin edit for one planner parameter: a whole number between the
// parameter's limits. Any text may be typed; when the edit is finished
// (Enter, Tab, focus loss) or a handler takes it, a whole number is clamped
// to the limits. Text that is not a whole number ("abc", "3.7", nothing) is
// never guessed at: it stays as typed, the field is marked (the dynamic
// property "notANumber") and says why in its tooltip, and a handler that
// takes the field refuses. The wheel changes it only while it has the
// keyboard focus; otherwise the wheel goes on to the window (and zooms).

#include <QSpinBox>

#include "planner/Parameters.h"

class SpinEdit : public QSpinBox
{
    Q_OBJECT
public:
    SpinEdit(QWidget *parent, const planner::ParameterSpec &spec);

    // The value the text stands for now, clamped; the minimum for text that
    // is not a whole number.
    int Value() const;
    // Why the text is not a value, naming the field ("VIEW distance: \"abc\"
    // is not a whole number ..."), or empty when it is one.
    QString Problem() const;
    // What a handler calls: false, with nothing changed, while Problem() is
    // not empty; otherwise finishes the typing, sets value and, when the
    // number had to be brought within the limits, says so in note ("VIEW
    // distance 4000 is above its maximum: 3500 used").
    bool Take(int &value, QString *note = nullptr);
    // Finishes any typing in progress (the text shows the value) and
    // returns the value: what a handler calls before using it.
    int Commit();

    const planner::ParameterSpec &Spec() const { return spec_; }

    // Marks the field as typed but not taken yet (the dynamic property
    // "notApplied", which the window's style sheet tints), and says so in
    // its tooltip with the value in use.
    void SetNotApplied(bool on, int appliedValue = 0);
    bool NotApplied() const;

signals:
    // The text changed, by a keystroke or by the program; unlike
    // textChanged, also for text that is not a value yet ("5" on the way to
    // "50").
    void textEdited();

protected:
    void focusOutEvent(QFocusEvent *e) override;
    void keyPressEvent(QKeyEvent *e) override;
    QValidator::State validate(QString &input, int &pos) const override;
    int valueFromText(const QString &text) const override;
    void fixup(QString &input) const override;
    void wheelEvent(QWheelEvent *e) override;

private:
    QString baseToolTip() const;
    // The tooltip and the marks from the text and the applied value.
    void updateMarks();
    bool isWhole() const;

    const planner::ParameterSpec &spec_;
};
