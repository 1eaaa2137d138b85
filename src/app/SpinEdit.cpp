#include "app/SpinEdit.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QStyle>
#include <QWheelEvent>

SpinEdit::SpinEdit(QWidget *parent, const planner::ParameterSpec &spec) : QSpinBox(parent), spec_(spec)
{
    setRange(spec.minimum, spec.maximum);
    setValue(spec.defaultValue);
    setCorrectionMode(QAbstractSpinBox::CorrectToNearestValue);
    // Not WheelFocus: a wheel turn over an unfocused field is the view's.
    setFocusPolicy(Qt::StrongFocus);
    setToolTip(baseToolTip());
    connect(lineEdit(), &QLineEdit::textChanged, this, [this] {
        updateMarks();
        emit textEdited();
    });
}

bool SpinEdit::isWhole() const { return planner::ParseWhole(cleanText().trimmed().toStdString()).has_value(); }

QString SpinEdit::Problem() const
{
    if (isWhole()) return {};
    const QString text = cleanText().trimmed();
    return QStringLiteral("%1: %2 is not a whole number (%3)")
        .arg(QString::fromUtf8(spec_.label),
             text.isEmpty() ? QStringLiteral("the field is empty; it") : QLatin1Char('"') + text + QLatin1Char('"'),
             QString::fromStdString(RangeText(spec_)));
}

bool SpinEdit::Take(int &out, QString *note)
{
    if (!isWhole()) return false;
    const long long typed = *planner::ParseWhole(cleanText().trimmed().toStdString());
    out = Commit();
    if (note) {
        note->clear();
        const QString unit = QString::fromLatin1(spec_.unit);
        if (typed > spec_.maximum)
            *note = QStringLiteral("%1 %2 is above its maximum: %3 %4 used")
                        .arg(QString::fromUtf8(spec_.label)).arg(typed).arg(out).arg(unit);
        else if (typed < spec_.minimum)
            *note = QStringLiteral("%1 %2 is below its minimum: %3 %4 used")
                        .arg(QString::fromUtf8(spec_.label)).arg(typed).arg(out).arg(unit);
    }
    return true;
}

void SpinEdit::updateMarks()
{
    const bool bad = !isWhole();
    const bool notApplied = NotApplied();
    QString tip = baseToolTip();
    if (bad) tip += QStringLiteral("\n") + Problem() + QStringLiteral(": \"Apply ->\" and \"Generate -->\" refuse it.");
    if (notApplied)
        tip += QStringLiteral("\nNot applied: the plan still uses %1 %2. Press \"Apply ->\" to take the value typed here.")
                   .arg(property("appliedValue").toInt())
                   .arg(QString::fromLatin1(spec_.unit));
    setToolTip(tip);
    if (property("notANumber").toBool() != bad) {
        setProperty("notANumber", bad);
        // The style sheet's property selector is matched at polish time.
        style()->unpolish(this);
        style()->polish(this);
        update();
    }
}

// Leaving the field keeps text that is not a number as it is, marked,
// instead of letting the spin box replace it with a guess.
void SpinEdit::focusOutEvent(QFocusEvent *e)
{
    if (isWhole()) {
        QSpinBox::focusOutEvent(e);
        return;
    }
    QCoreApplication::sendEvent(lineEdit(), e);
    QWidget::focusOutEvent(e);
}

void SpinEdit::keyPressEvent(QKeyEvent *e)
{
    if ((e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter) && !isWhole()) {
        e->accept();
        return;
    }
    QSpinBox::keyPressEvent(e);
}

QString SpinEdit::baseToolTip() const
{
    return QStringLiteral("%1: %2").arg(QString::fromUtf8(spec_.meaning), QString::fromStdString(RangeText(spec_)));
}

void SpinEdit::SetNotApplied(bool on, int appliedValue)
{
    if (NotApplied() == on && (!on || property("appliedValue").toInt() == appliedValue)) return;
    setProperty("notApplied", on);
    setProperty("appliedValue", appliedValue);
    updateMarks();
    // The style sheet's property selector is matched at polish time.
    style()->unpolish(this);
    style()->polish(this);
    update();
}

bool SpinEdit::NotApplied() const { return property("notApplied").toBool(); }

int SpinEdit::Value() const { return planner::ClampedValue(spec_, cleanText().toStdString()); }

int SpinEdit::Commit()
{
    interpretText();
    return value();
}

// Every keystroke is taken: a value beyond a limit is legitimate while it is
// being typed ("4" on the way to "40"), and refusing keys would silently
// turn "4000" into "400".
QValidator::State SpinEdit::validate(QString &input, int &) const
{
    const std::optional<long long> v = planner::ParseWhole(input.trimmed().toStdString());
    if (v && *v >= minimum() && *v <= maximum()) return QValidator::Acceptable;
    return QValidator::Intermediate;
}

int SpinEdit::valueFromText(const QString &text) const { return planner::ClampedValue(spec_, text.toStdString()); }

void SpinEdit::fixup(QString &input) const
{
    if (!planner::ParseWhole(input.trimmed().toStdString())) return; // kept, and marked
    input = QString::number(planner::ClampedValue(spec_, input.toStdString()));
}

void SpinEdit::wheelEvent(QWheelEvent *e)
{
    if (!hasFocus()) {
        // The window's, to zoom the view: handed over directly, as the
        // toolkit passes only some wheel events on to the parents.
        const QPointF at = window()->mapFromGlobal(e->globalPosition());
        QWheelEvent copy(at, e->globalPosition(), e->pixelDelta(), e->angleDelta(), e->buttons(), e->modifiers(),
                         e->phase(), e->inverted(), e->source());
        QCoreApplication::sendEvent(window(), &copy);
        e->accept();
        return;
    }
    QSpinBox::wheelEvent(e);
}
