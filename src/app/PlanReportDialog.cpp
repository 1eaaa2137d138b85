#include "app/PlanReportDialog.h"

#include <utility>

#include <QCheckBox>
#include <QFontDatabase>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPlainTextEdit>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include "app/AppSettings.h"
#include "app/DecimalEdit.h"
#include "app/PlanDocument.h"
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

PlanReportDialog::PlanReportDialog(PlanDocument *document, QWidget *parent) : QDialog(parent), document_(document)
{
    setObjectName("PlanReportDialog");
    setWindowTitle(QStringLiteral("Plan report"));
    setModal(false);

    const planner::Framing lens;
    framingKnown = new QCheckBox(QStringLiteral("Sensor and lens known"), this);
    framingKnown->setObjectName("framingKnown");
    const QString mm = QStringLiteral("mm");
    sensorWidth =
        new DecimalEdit(this, QStringLiteral("Sensor width"), mm, planner::kMinSensorSide, planner::kMaxSensorSide, 2);
    sensorHeight =
        new DecimalEdit(this, QStringLiteral("Sensor height"), mm, planner::kMinSensorSide, planner::kMaxSensorSide, 2);
    focalLength = new DecimalEdit(this, QStringLiteral("Focal length"), mm, planner::kMinFocal, planner::kMaxFocal, 2);
    grazingBelow = new DecimalEdit(this, QStringLiteral("Grazing below"), QStringLiteral("\u00B0"),
                                   planner::kMinGrazing, planner::kMaxGrazing, 1);
    const std::pair<DecimalEdit *, const char *> names[] = {{sensorWidth, "sensorWidth"},
                                                            {sensorHeight, "sensorHeight"},
                                                            {focalLength, "focalLength"},
                                                            {grazingBelow, "grazingBelow"}};
    fieldNote = new QLabel(this);
    fieldNote->setObjectName("fieldNote");
    fieldNote->setWordWrap(true);
    for (const auto &[field, name] : names) {
        field->setObjectName(name);
        field->setStyleSheet(QStringLiteral("DecimalEdit[notANumber=\"true\"] { background-color: #f6c1bb; }"));
        connect(field, &DecimalEdit::noted, fieldNote, &QLabel::setText);
    }
    sensorWidth->setValue(lens.sensorWidth);
    sensorHeight->setValue(lens.sensorHeight);
    focalLength->setValue(lens.focalLength);
    grazingBelow->setValue(planner::ReportOptions().grazingBelow);

    auto *inputs = new QFormLayout;
    inputs->addRow(framingKnown);
    inputs->addRow(QStringLiteral("Sensor width (mm)"), sensorWidth);
    inputs->addRow(QStringLiteral("Sensor height (mm)"), sensorHeight);
    inputs->addRow(QStringLiteral("Focal length (mm)"), focalLength);
    inputs->addRow(QStringLiteral("Grazing below (degrees)"), grazingBelow);
    inputs->addRow(fieldNote);

    figures = new QPlainTextEdit(this);
    figures->setObjectName("figures");
    figures->setReadOnly(true);
    // Wrapped at the edge: a long line (the numbers of the positions of a
    // flag) stays readable without scrolling sideways.
    figures->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    figures->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    figures->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    figures->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    figures->setMinimumWidth(420);

    mismatch = new QLabel(this);
    mismatch->setObjectName("mismatch");
    mismatch->setWordWrap(true);
    mismatch->setTextInteractionFlags(Qt::TextSelectableByMouse);
    mismatch->setStyleSheet(QStringLiteral("QLabel { background: #fff1c4; color: #5a3a00; padding: 6px; }"));
    mismatch->hide();

    auto *right = new QVBoxLayout;
    right->addLayout(inputs);
    auto *units = new QLabel(QStringLiteral("Lengths in millimetres, angles in degrees. The set-up is the one last "
                                            "applied, the positions those last generated."),
                             this);
    units->setWordWrap(true);
    right->addWidget(units);
    right->addWidget(mismatch);
    right->addWidget(figures, 1);

    plotView = new PlanPlotView(this);
    plotView->setObjectName("plotView");
    auto *layout = new QHBoxLayout(this);
    layout->addWidget(plotView, 1);
    layout->addLayout(right);
    resize(1280, 720);

    showOptions();
    const auto refresh = [this] { Refresh(); };
    connect(document, &PlanDocument::patternGenerated, this, refresh);
    connect(document, &PlanDocument::planChanged, this, [this](unsigned parts) {
        if (parts & PlanDocument::Report) showOptions();
        Refresh();
    });
    for (DecimalEdit *s : {sensorWidth, sensorHeight, focalLength, grazingBelow})
        connect(s, &QDoubleSpinBox::valueChanged, this, [this] { takeOptions(); });
    connect(framingKnown, &QCheckBox::toggled, this, [this](bool on) {
        for (DecimalEdit *s : {sensorWidth, sensorHeight, focalLength})
            s->setEnabled(on);
        takeOptions();
    });
    Refresh();
}

void PlanReportDialog::showOptions()
{
    if (!document_) return;
    const planner::Plan &plan = document_->plan();
    // Unknown in the plan, the sensor and lens last used stay in the fields.
    const planner::Framing f = plan.framing ? *plan.framing : settings::Report().framing;
    const QSignalBlocker b1(framingKnown), b2(sensorWidth), b3(sensorHeight), b4(focalLength), b5(grazingBelow);
    framingKnown->setChecked(plan.framing.has_value());
    sensorWidth->setValue(f.sensorWidth);
    sensorHeight->setValue(f.sensorHeight);
    focalLength->setValue(f.focalLength);
    grazingBelow->setValue(plan.grazingBelow);
    for (DecimalEdit *s : {sensorWidth, sensorHeight, focalLength})
        s->setEnabled(plan.framing.has_value());
}

void PlanReportDialog::takeOptions()
{
    if (!document_) return;
    const planner::Framing f{sensorWidth->value(), sensorHeight->value(), focalLength->value()};
    settings::ReportChoice remembered;
    remembered.framingKnown = framingKnown->isChecked();
    remembered.framing = f;
    remembered.grazingBelow = grazingBelow->value();
    settings::SetReport(remembered);
    document_->setReportOptions(framingKnown->isChecked() ? std::optional<planner::Framing>(f) : std::nullopt,
                                grazingBelow->value());
}

PlanReportDialog *PlanReportDialog::Open(PlanDocument *document, QWidget *parent)
{
    auto *d = parent->findChild<PlanReportDialog *>(QStringLiteral("PlanReportDialog"), Qt::FindDirectChildrenOnly);
    if (!d) d = new PlanReportDialog(document, parent);
    d->show();
    d->raise();
    d->activateWindow();
    return d;
}

void PlanReportDialog::Refresh()
{
    plotView->setReport(nullptr);
    report_ = document_->report();
    const QString note =
        document_->mismatchText(QStringLiteral("This report judges the positions against the set-up applied now."));
    mismatch->setText(note);
    mismatch->setVisible(!note.isEmpty());
    if (!report_) {
        figures->setPlainText(QStringLiteral("No plan yet: press \"Generate -->\"."));
        return;
    }
    figures->setPlainText(QString::fromStdString(planner::ReportText(*report_)));
    plotView->setReport(&*report_);
}
