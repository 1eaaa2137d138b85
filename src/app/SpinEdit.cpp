#include "app/SpinEdit.h"

#include <QCoreApplication>
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
    connect(lineEdit(), &QLineEdit::textChanged, this, [this] { emit textEdited(); });
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
    const QString unit = QString::fromLatin1(spec_.unit);
    setToolTip(on ? baseToolTip() + QStringLiteral("\nNot applied: the plan still uses %1 %2. Press \"Apply ->\" to "
                                                   "take the value typed here.")
                                        .arg(appliedValue)
                                        .arg(unit)
                  : baseToolTip());
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
