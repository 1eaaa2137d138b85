#include "app/DecimalEdit.h"

#include <algorithm>
#include <cmath>

#include <QCoreApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QLocale>
#include <QStyle>

namespace
{

// The user's numbers, without thousands separators (as the field shows them).
QLocale Readable()
{
    QLocale l;
    l.setNumberOptions(QLocale::OmitGroupSeparator);
    return l;
}

} // namespace

DecimalEdit::DecimalEdit(QWidget *parent, const QString &label, const QString &unit, double minimum, double maximum,
                         int decimals)
    : QDoubleSpinBox(parent), label_(label), unit_(unit)
{
    setDecimals(decimals);
    setRange(minimum, maximum);
    setCorrectionMode(QAbstractSpinBox::CorrectToNearestValue);
    setKeyboardTracking(false); // one change per finished value, not per key
    setSuffix(unitText());
    setToolTip(QStringLiteral("%1: %2").arg(label_, RangeText()));
    connect(lineEdit(), &QLineEdit::textChanged, this, [this] { updateMark(); });
}

// "5 mm", but "5°".
QString DecimalEdit::unitText() const
{
    if (unit_.isEmpty() || !unit_.at(0).isLetter()) return unit_;
    return QLatin1Char(' ') + unit_;
}

bool DecimalEdit::parse(const QString &text, double &v) const
{
    QString t = text.trimmed();
    if (!suffix().isEmpty() && t.endsWith(suffix().trimmed())) t.chop(suffix().trimmed().size());
    t = t.trimmed();
    bool ok = false;
    v = locale().toDouble(t, &ok);
    if (!ok) v = QLocale::c().toDouble(t, &ok);
    return ok && std::isfinite(v);
}

QString DecimalEdit::RangeText() const
{
    const QString unit = unitText();
    return QStringLiteral("from %1 to %2%3").arg(Readable().toString(minimum()), Readable().toString(maximum()), unit);
}

QString DecimalEdit::Problem() const
{
    double v = 0;
    if (parse(cleanText(), v)) return {};
    const QString text = cleanText().trimmed();
    return QStringLiteral("%1: %2 is not a number (%3)")
        .arg(label_,
             text.isEmpty() ? QStringLiteral("the field is empty; it") : QLatin1Char('"') + text + QLatin1Char('"'),
             RangeText());
}

QString DecimalEdit::noteFor(const QString &text) const
{
    double v = 0;
    if (!parse(text, v)) return Problem();
    const QString unit = unitText();
    if (v > maximum())
        return QStringLiteral("%1 %2%3 is above its maximum: %4%3 used")
            .arg(label_, Readable().toString(v), unit, Readable().toString(maximum()));
    if (v < minimum())
        return QStringLiteral("%1 %2%3 is below its minimum: %4%3 used")
            .arg(label_, Readable().toString(v), unit, Readable().toString(minimum()));
    return {};
}

void DecimalEdit::updateMark()
{
    const bool bad = !Problem().isEmpty();
    if (property("notANumber").toBool() == bad) return;
    setProperty("notANumber", bad);
    // The style sheet's property selector is matched at polish time.
    style()->unpolish(this);
    style()->polish(this);
    update();
}

// Leaving the field keeps text that is not a number as it is, marked,
// instead of letting the spin box put the old value back.
void DecimalEdit::focusOutEvent(QFocusEvent *e)
{
    const QString note = noteFor(cleanText());
    if (Problem().isEmpty()) {
        QDoubleSpinBox::focusOutEvent(e);
    } else {
        QCoreApplication::sendEvent(lineEdit(), e);
        QWidget::focusOutEvent(e);
    }
    emit noted(note);
}

void DecimalEdit::keyPressEvent(QKeyEvent *e)
{
    if (e->key() != Qt::Key_Return && e->key() != Qt::Key_Enter) {
        QDoubleSpinBox::keyPressEvent(e);
        return;
    }
    const QString note = noteFor(cleanText());
    if (Problem().isEmpty())
        QDoubleSpinBox::keyPressEvent(e);
    else
        e->accept();
    emit noted(note);
}

QValidator::State DecimalEdit::validate(QString &input, int &) const
{
    double v = 0;
    if (parse(input, v) && v >= minimum() && v <= maximum()) return QValidator::Acceptable;
    return QValidator::Intermediate;
}

double DecimalEdit::valueFromText(const QString &text) const
{
    double v = 0;
    if (!parse(text, v)) return value();
    return std::clamp(v, minimum(), maximum());
}

void DecimalEdit::fixup(QString &input) const
{
    double v = 0;
    if (!parse(input, v)) return; // kept, and marked
    input = prefix() + textFromValue(std::clamp(v, minimum(), maximum())) + suffix();
}
