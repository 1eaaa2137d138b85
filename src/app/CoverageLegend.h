#pragma once
// The light coverage's panel over the view, in its top-right corner: the
// progress of a running analysis with its Cancel button, then the colour
// scale with the share of the visible area in each band. A child widget
// composed over the GL frame by the toolkit, like the load notice, so the
// scene's GL state is never touched for it.

#include <array>
#include <cstddef>

#include <QFrame>

#include "coverage/Coverage.h"

class QLabel;
class QProgressBar;
class QPushButton;

class CoverageLegend : public QFrame
{
    Q_OBJECT
public:
    explicit CoverageLegend(QWidget *view);

    // A line of text alone (no model, an error, cancelled).
    void ShowMessage(const QString &text);
    // An analysis running: the share done and the Cancel button.
    void ShowProgress(int percent);
    // The colour scale with the figures of a finished analysis.
    void ShowResult(const coverage::CoverageResult &r);

    QPushButton *CancelButton() const { return cancel_; }
    QProgressBar *ProgressBar() const { return progress_; }
    QString MessageText() const;
    // The text of a band's row, for tests: "≥ 9 lights  100.0 %".
    QString BandText(coverage::Band band) const;

signals:
    void cancelRequested();

protected:
    bool eventFilter(QObject *watched, QEvent *e) override;

private:
    void place();

    QLabel *message_ = nullptr;
    QProgressBar *progress_ = nullptr;
    QPushButton *cancel_ = nullptr;
    QWidget *scale_ = nullptr;
    std::array<QLabel *, coverage::kBandCount> bandText_{};
    QLabel *notSeenText_ = nullptr;
    QLabel *summary_ = nullptr;
};
