#include "app/PlanReportDialog.h"

#include <QCheckBox>
#include <QDoubleSpinBox>
#include <QFontDatabase>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPlainTextEdit>
#include <QVBoxLayout>

#include "app/Mainform.h"
#include "plot/PlanPlot.h"

PlanPlotView::PlanPlotView(QWidget *parent) : QWidget(parent) { setMinimumSize(480, 360); }

void PlanPlotView::setReport(const planner::PlanReport *report)
{
    report_ = report;
    update();
}

void PlanPlotView::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    if (report_) {
        plot::Draw(p, QSizeF(size()), *report_);
        return;
    }
    p.fillRect(rect(), plot::kBackground);
    p.drawText(rect(), Qt::AlignCenter, QStringLiteral("No plan yet: press \"Generate -->\"."));
}

namespace
{

QDoubleSpinBox *MakeField(QWidget *parent, const char *name, double lo, double hi, double value, const QString &suffix)
{
    auto *s = new QDoubleSpinBox(parent);
    s->setObjectName(name);
    s->setDecimals(1);
    s->setRange(lo, hi);
    s->setValue(value);
    s->setSuffix(suffix);
    s->setKeyboardTracking(false); // one refresh per finished value, not per key
    return s;
}

} // namespace

PlanReportDialog::PlanReportDialog(TForm1 *form) : QDialog(form), form_(form)
{
    setObjectName("PlanReportDialog");
    setWindowTitle(QStringLiteral("Plan report"));
    setModal(false);

    const planner::Framing lens;
    framingKnown = new QCheckBox(QStringLiteral("Sensor and lens known"), this);
    framingKnown->setObjectName("framingKnown");
    const QString mm = QStringLiteral(" mm");
    sensorWidth =
        MakeField(this, "sensorWidth", planner::kMinSensorSide, planner::kMaxSensorSide, lens.sensorWidth, mm);
    sensorHeight =
        MakeField(this, "sensorHeight", planner::kMinSensorSide, planner::kMaxSensorSide, lens.sensorHeight, mm);
    focalLength = MakeField(this, "focalLength", planner::kMinFocal, planner::kMaxFocal, lens.focalLength, mm);
    grazingBelow = MakeField(this, "grazingBelow", planner::kMinGrazing, planner::kMaxGrazing,
                             planner::ReportOptions().grazingBelow, QStringLiteral("\u00B0"));

    auto *inputs = new QFormLayout;
    inputs->addRow(framingKnown);
    inputs->addRow(QStringLiteral("Sensor width (mm)"), sensorWidth);
    inputs->addRow(QStringLiteral("Sensor height (mm)"), sensorHeight);
    inputs->addRow(QStringLiteral("Focal length (mm)"), focalLength);
    inputs->addRow(QStringLiteral("Grazing below (degrees)"), grazingBelow);

    figures = new QPlainTextEdit(this);
    figures->setObjectName("figures");
    figures->setReadOnly(true);
    figures->setLineWrapMode(QPlainTextEdit::NoWrap);
    figures->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    figures->setMinimumWidth(560);

    auto *right = new QVBoxLayout;
    right->addLayout(inputs);
    auto *units = new QLabel(QStringLiteral("Lengths in millimetres, angles in degrees. The set-up is the one last "
                                            "applied, the positions those last generated."),
                             this);
    units->setWordWrap(true);
    right->addWidget(units);
    right->addWidget(figures, 1);

    plotView = new PlanPlotView(this);
    plotView->setObjectName("plotView");
    auto *layout = new QHBoxLayout(this);
    layout->addWidget(plotView, 1);
    layout->addLayout(right);
    resize(1280, 720);

    const auto refresh = [this] { Refresh(); };
    connect(form, &TForm1::patternGenerated, this, refresh);
    connect(form, &TForm1::parametersApplied, this, refresh);
    for (QDoubleSpinBox *s : {sensorWidth, sensorHeight, focalLength, grazingBelow})
        connect(s, &QDoubleSpinBox::valueChanged, this, refresh);
    connect(framingKnown, &QCheckBox::toggled, this, [this](bool on) {
        for (QDoubleSpinBox *s : {sensorWidth, sensorHeight, focalLength})
            s->setEnabled(on);
        Refresh();
    });
    for (QDoubleSpinBox *s : {sensorWidth, sensorHeight, focalLength})
        s->setEnabled(false);
    Refresh();
}

PlanReportDialog *PlanReportDialog::Open(TForm1 *form)
{
    auto *d = form->findChild<PlanReportDialog *>(QStringLiteral("PlanReportDialog"), Qt::FindDirectChildrenOnly);
    if (!d) d = new PlanReportDialog(form);
    d->show();
    d->raise();
    d->activateWindow();
    return d;
}

void PlanReportDialog::Refresh()
{
    plotView->setReport(nullptr);
    report_.reset();
    if (!form_->lastGenerated) {
        figures->setPlainText(QStringLiteral("No plan yet: press \"Generate -->\"."));
        return;
    }
    // The positions of the last "Generate -->", judged against the object
    // and camera of the last "Apply ->".
    const planner::PatternInput in = *form_->PlanInput();
    planner::ReportOptions options;
    options.grazingBelow = grazingBelow->value();
    if (framingKnown->isChecked())
        options.framing = planner::Framing{sensorWidth->value(), sensorHeight->value(), focalLength->value()};
    report_ = planner::ComputePlanReport(in, form_->pattern, options);
    figures->setPlainText(QString::fromStdString(planner::ReportText(*report_)));
    plotView->setReport(&*report_);
}
