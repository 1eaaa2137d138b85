#pragma once
// "Plan report…": the polar plot of the plan and its figures beside it, in a
// window of its own that stays open while the operator works on. It follows
// every "Generate -->" and "Apply ->", and its own inputs: the sensor and the
// lens (for the framing and the lights in the picture) and the grazing limit.

#include <optional>

#include <QDialog>
#include <QWidget>

#include "planner/PlanReport.h"

class QCheckBox;
class QDoubleSpinBox;
class QLabel;
class QPlainTextEdit;
class TForm1;

// Paints the plot at whatever size it is given.
class PlanPlotView : public QWidget
{
    Q_OBJECT
public:
    explicit PlanPlotView(QWidget *parent = nullptr);
    void setReport(const planner::PlanReport *report); // null: nothing to show
    QSize sizeHint() const override { return {640, 480}; }

protected:
    void paintEvent(QPaintEvent *e) override;

private:
    const planner::PlanReport *report_ = nullptr;
};

class PlanReportDialog : public QDialog
{
    Q_OBJECT
public:
    explicit PlanReportDialog(TForm1 *form);

    // The window's one report dialog, made on first use, shown and raised.
    static PlanReportDialog *Open(TForm1 *form);

    // Judges the last generated positions against the last applied set-up.
    void Refresh();

    const std::optional<planner::PlanReport> &report() const { return report_; }

    QCheckBox *framingKnown;
    QDoubleSpinBox *sensorWidth;  // mm
    QDoubleSpinBox *sensorHeight; // mm
    QDoubleSpinBox *focalLength;  // mm
    QDoubleSpinBox *grazingBelow; // degrees
    PlanPlotView *plotView;
    QPlainTextEdit *figures;

private:
    TForm1 *form_;
    std::optional<planner::PlanReport> report_;
};
