#pragma once
// The window's light coverage: the toolbar toggles "Light coverage" and
// "Fit model to object", the analysis on a worker thread, and its results
// as the model's colours and the legend over the view.
//
// It reads the document: the positions generated last, which of them the
// plan report leaves usable (the same count as the report, framing and
// grazing limit included), the applied camera distance and where the model
// stands; the colours go back to the document's arrays.
//
// The mesh is only read on the window thread: a run starts from a copy of
// its faces (once per model) or from the ray-query scene already built from
// that copy, and the worker (a Job) never sees the window's state. Results
// come back on the window thread and are dropped when the model changed in
// the meantime. A new request while a run is going cancels it and starts
// over once it has stopped.

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>

#include <QObject>
#include <QString>

#include "coverage/Coverage.h"
#include "coverage/CoverageScene.h"
#include "coverage/Placement.h"

class QTimer;
class QToolButton;
class CoverageLegend;
class Job;
class PlanDocument;
class WindowHost;

class LightCoverage : public QObject
{
    Q_OBJECT
public:
    // Adds the two toggles to the host's toolbar and the legend over its view.
    LightCoverage(PlanDocument *document, WindowHost *host, QObject *parent);
    ~LightCoverage() override;

    QToolButton *CoverageButton() const { return coverageButton_; }
    QToolButton *FitButton() const { return fitButton_; }
    CoverageLegend *Legend() const { return legend_; }

    bool Running() const { return run_ != nullptr; }
    // The figures shown now, if any.
    const std::optional<coverage::CoverageResult> &Result() const { return result_; }
    // Runs that finished (whatever their outcome), for tests.
    int FinishedRuns() const { return finishedRuns_; }

    // What the toolbar toggles do.
    void SetEnabled(bool on);
    void SetFit(bool on);
    void Cancel();

signals:
    // A run ended and its outcome is shown.
    void finished();

private:
    struct Run;

    void modelChanged();
    void planChanged(unsigned parts);
    void inputsChanged();
    void request();
    void launch();
    void done(std::shared_ptr<Run> run, bool failed);
    void pollProgress();
    void clearColours();

    PlanDocument *document_;
    WindowHost *host_;
    QToolButton *coverageButton_ = nullptr;
    QToolButton *fitButton_ = nullptr;
    CoverageLegend *legend_ = nullptr;
    QTimer *progressTimer_ = nullptr;

    bool enabled_ = false;
    bool fit_ = false;
    bool pending_ = false; // run again once the current run stops
    std::uint64_t modelSerial_ = 0;
    std::shared_ptr<const coverage::CoverageScene> scene_; // of the current model, once built
    std::shared_ptr<Run> run_;
    std::optional<coverage::CoverageResult> result_;
    int finishedRuns_ = 0;
};
