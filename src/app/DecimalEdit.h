#pragma once
// A number field with decimals for the dialogs, typed as the main window's
// whole-number fields are: every keystroke is taken ("5" on the way to
// "5000" is not refused, so "5000" is never silently "500"); when the edit
// is finished (Enter, Tab, focus loss) a number is brought within the
// limits and the field says so through noted(); text that is not a number
// ("abc", nothing) stays as typed, is marked (the dynamic property
// "notANumber") and changes nothing. Numbers are read with the user's
// decimal separator or with a point.

#include <QDoubleSpinBox>

class DecimalEdit : public QDoubleSpinBox
{
    Q_OBJECT
public:
    // label and unit name the field in notes ("Focal length", "mm").
    DecimalEdit(QWidget *parent, const QString &label, const QString &unit, double minimum, double maximum,
                int decimals);

    // Why the text is not a number ("Focal length: \"abc\" is not a number
    // (from 1 to 2000 mm)"), or empty when it is one.
    QString Problem() const;
    QString RangeText() const;

signals:
    // After an edit is finished: what became of it ("Focal length 5000 mm is
    // above its maximum: 2000 mm used"), the problem when the text is not a
    // number, or "" when the value was taken as typed.
    void noted(const QString &note);

protected:
    void focusOutEvent(QFocusEvent *e) override;
    void keyPressEvent(QKeyEvent *e) override;
    QValidator::State validate(QString &input, int &pos) const override;
    double valueFromText(const QString &text) const override;
    void fixup(QString &input) const override;

private:
    bool parse(const QString &text, double &v) const;
    QString unitText() const;
    // The note for the text about to be taken.
    QString noteFor(const QString &text) const;
    void updateMark();

    QString label_, unit_;
};
