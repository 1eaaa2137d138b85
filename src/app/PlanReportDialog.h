#pragma once
// "Plan report…": the polar plot of the plan and its figures beside it, in a
// window of its own that stays open while the operator works on. It shows
// the document's report (the applied set-up with the positions generated
// last) and follows every change of it. Its own inputs, the sensor and the
// lens (for the framing and the lights in the picture) and the grazing
// limit, are the plan's report options: the coverage and the exports count
// the same usable positions. When the plan is not the one ./acquisition.txt
// was generated with, it says so above the figures.

#include <optional>

#include <QDialog>
#include <QPointer>
#include <QWidget>

#include "app/DecimalEdit.h"
#include "planner/PlanReport.h"

class QCheckBox;

class QLabel;
class QPlainTextEdit;
class PlanDocument;

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
    PlanReportDialog(PlanDocument *document, QWidget *parent);

    // The window's one report dialog, made on first use, shown and raised.
    static PlanReportDialog *Open(PlanDocument *document, QWidget *parent);

    // The document's report as it is now.
    void Refresh();

    const std::optional<planner::PlanReport> &report() const { return report_; }

    QCheckBox *framingKnown;
    DecimalEdit *sensorWidth;  // mm
    DecimalEdit *sensorHeight; // mm
    DecimalEdit *focalLength;  // mm
    DecimalEdit *grazingBelow; // degrees
    QLabel *fieldNote;         // what became of the number typed last
    QLabel *mismatch;          // shown while the plan is not the file's
    PlanPlotView *plotView;
    QPlainTextEdit *figures;

private:
    // The fields from the plan's options, without handing them back.
    void showOptions();
    // The plan's options from the fields.
    void takeOptions();

    // Guarded: while the window closes, a field that loses the focus may
    // still hand in a value after the document is gone.
    QPointer<PlanDocument> document_;
    std::optional<planner::PlanReport> report_;
};
