#pragma once
// A spin edit for one planner parameter: a whole number between the
// parameter's limits. Any text may be typed; when the edit is finished
// (Enter, Tab, focus loss) or a handler reads it, the text is read as a
// whole number and clamped to the limits, and text that is not a whole
// number reads as the minimum. The wheel changes it only while it has the
// keyboard focus; otherwise the wheel goes on to the window (and zooms).

#include <QSpinBox>

#include "planner/Parameters.h"

class SpinEdit : public QSpinBox
{
    Q_OBJECT
public:
    SpinEdit(QWidget *parent, const planner::ParameterSpec &spec);

    // The value the text stands for now, by the rule above.
    int Value() const;
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
    QValidator::State validate(QString &input, int &pos) const override;
    int valueFromText(const QString &text) const override;
    void fixup(QString &input) const override;
    void wheelEvent(QWheelEvent *e) override;

private:
    QString baseToolTip() const;

    const planner::ParameterSpec &spec_;
};
