#include "app/LightCoverage.h"

#include <new>
#include <utility>

#include <QKeySequence>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>

#include "app/CoverageColours.h"
#include "app/CoverageLegend.h"
#include "app/GLView.h"
#include "app/Job.h"
#include "app/PlanDocument.h"
#include "app/WindowHost.h"

// One run of the analysis. The worker writes progress and the outcome;
// the window thread reads them once the job has ended.
struct LightCoverage::Run {
    std::uint64_t serial = 0;
    std::atomic<int> percent{0};
    // Filled by the worker.
    std::shared_ptr<const coverage::CoverageScene> scene;
    coverage::CoverageResult result;
    QString error;
    std::shared_ptr<Job> job; // last: waited for before the rest goes
};

LightCoverage::LightCoverage(PlanDocument *document, WindowHost *host, QObject *parent)
    : QObject(parent), document_(document), host_(host)
{
    setObjectName("LightCoverage");
    coverageButton_ = host->AddToolButton(
        "TB_coverage", QStringLiteral("Light coverage"),
        QStringLiteral("Light coverage: colour the model by how many positions of the plan light each part the "
                       "camera sees, shadows included (red: fewer than 6 lights, too few for a PTM; green: 9 or "
                       "more). Only the positions the plan report leaves usable count. Recomputed after "
                       "\"Generate -->\", \"Apply ->\" and for a new model. (Ctrl+Shift+L)"));
    coverageButton_->setCheckable(true);
    coverageButton_->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_L));
    fitButton_ = host->AddToolButton(
        "TB_fitmodel", QStringLiteral("Fit model to object"),
        QStringLiteral("Fit model to object: centre the model on the dome axis with its back on the object plate "
                       "and scale it so its larger side across X and Y equals the object size (OBJ size, mm). "
                       "Off: the model's own coordinates, read as millimetres."));
    fitButton_->setCheckable(true);
    connect(coverageButton_, &QToolButton::toggled, this, [this](bool on) { SetEnabled(on); });
    connect(fitButton_, &QToolButton::toggled, this, [this](bool on) { SetFit(on); });

    legend_ = new CoverageLegend(host->View());
    connect(legend_, &CoverageLegend::cancelRequested, this, [this] { Cancel(); });
    progressTimer_ = new QTimer(this);
    progressTimer_->setInterval(100);
    connect(progressTimer_, &QTimer::timeout, this, [this] { pollProgress(); });

    connect(document, &PlanDocument::modelChanged, this, [this](bool replaced) {
        if (replaced) modelChanged();
    });
    connect(document, &PlanDocument::patternGenerated, this, [this] { inputsChanged(); });
    connect(document, &PlanDocument::planChanged, this, [this](unsigned parts) { planChanged(parts); });
    fit_ = document->plan().fitModel;
    fitButton_->setChecked(fit_);
}

LightCoverage::~LightCoverage()
{
    if (run_) run_->job->Cancel();
}

void LightCoverage::SetEnabled(bool on)
{
    if (coverageButton_->isChecked() != on) coverageButton_->setChecked(on); // comes back here
    if (enabled_ == on) return;
    enabled_ = on;
    if (on) {
        request();
        return;
    }
    // Off: the model as it always was; a run still going is told to stop
    // and its outcome dropped.
    pending_ = false;
    if (run_) run_->job->Cancel();
    progressTimer_->stop();
    result_.reset();
    clearColours();
    legend_->hide();
}

// The toggle is the plan's "fit model to object"; the document places the
// model, and the coverage follows through planChanged.
void LightCoverage::SetFit(bool on)
{
    if (fitButton_->isChecked() != on) fitButton_->setChecked(on);
    document_->setFitModel(on);
}

void LightCoverage::Cancel()
{
    pending_ = false;
    if (!run_) return;
    run_->job->Cancel();
    legend_->ShowMessage(QStringLiteral("Cancelled. Press \"Generate -->\" or turn \"Light coverage\" off and on "
                                        "to compute it again."));
}

void LightCoverage::clearColours() { document_->setModelColours({}); }

void LightCoverage::modelChanged()
{
    // A new model: new arrays (without colours), a scene to build anew.
    ++modelSerial_;
    scene_.reset();
    result_.reset();
    inputsChanged();
}

void LightCoverage::planChanged(unsigned parts)
{
    const bool fit = document_->plan().fitModel;
    const bool fitChanged = fit != fit_;
    if (fitChanged) {
        fit_ = fit;
        fitButton_->setChecked(fit);
    }
    // The set-up decides what is usable and seen (and the fit's size), the
    // report's options what is usable; the names and the layout to come
    // change nothing here.
    if (fitChanged || (parts & (PlanDocument::SetUp | PlanDocument::Report))) inputsChanged();
}

void LightCoverage::inputsChanged()
{
    if (enabled_) request();
}

void LightCoverage::request()
{
    if (run_) {
        // The run going is for inputs that are no longer current.
        run_->job->Cancel();
        pending_ = true;
        return;
    }
    launch();
}

void LightCoverage::launch()
{
    pending_ = false;
    if (!document_->hasModel()) {
        clearColours();
        legend_->ShowMessage(QStringLiteral("Load a reference model to see which parts of it the plan lights."));
        return;
    }
    // Without positions every part of the model would read "no light".
    if (document_->pattern().positions.empty()) {
        clearColours();
        legend_->ShowMessage(QStringLiteral("Generate a plan to see the coverage: press \"Generate -->\"."));
        return;
    }

    auto run = std::make_shared<Run>();
    run->serial = modelSerial_;
    coverage::CoverageInput input;
    input.positions = document_->pattern().positions;
    // Only what the plan report leaves unflagged counts, by the report's own
    // options: the same positions as the report counts.
    input.usable = document_->usable();
    input.cameraDistance = static_cast<float>(document_->plan().input.cameraDistance);
    input.placement = document_->placement();
    // The faces are copied here, on the window thread, the first time
    // only; the worker builds the scene from the copy.
    std::shared_ptr<const coverage::CoverageScene> scene = scene_;
    std::optional<coverage::ModelGeometry> geometry;
    try {
        if (!scene) geometry = coverage::ModelGeometry::FromMesh(document_->mesh());
    } catch (const std::bad_alloc &) {
        legend_->ShowMessage(QStringLiteral("Not enough memory for the light coverage of this model."));
        return;
    }

    run_ = run;
    legend_->ShowProgress(0);
    progressTimer_->start();

    Run *r = run.get();
    run->job = Job::Start(
        this, QStringLiteral("The light coverage"),
        [r, scene, input = std::move(input), geometry = std::move(geometry)](Job &job) mutable {
            if (!scene) {
                std::string error;
                std::unique_ptr<coverage::CoverageScene> built =
                    coverage::CoverageScene::Build(std::move(*geometry), error);
                if (!built) r->error = QString::fromStdString(error);
                scene = std::move(built);
            }
            r->scene = scene;
            if (scene && !job.Cancelled()) {
                r->result = coverage::Analyse(*scene, input, [r, &job](double share) {
                    r->percent = static_cast<int>(100.0 * share);
                    return !job.Cancelled();
                });
            }
        },
        [this, weak = std::weak_ptr<Run>(run)](bool failed) {
            const std::shared_ptr<Run> ended = weak.lock();
            if (ended && ended == run_) done(ended, failed);
        },
        [this](const QString &text) { host_->ShowNotice(text); });
}

void LightCoverage::pollProgress()
{
    if (run_ && !run_->job->Cancelled()) legend_->ShowProgress(run_->percent.load());
}

void LightCoverage::done(std::shared_ptr<Run> run, bool failed)
{
    run_.reset();
    progressTimer_->stop();
    ++finishedRuns_;
    const bool current = run->serial == modelSerial_;
    if (current && run->scene && !failed) scene_ = run->scene; // kept for the next plan

    if (pending_ && enabled_) {
        launch();
        return;
    }
    if (!enabled_ || !current) {
        emit finished();
        return;
    }
    if (failed) {
        // The notice over the view says why.
        clearColours();
        result_.reset();
        legend_->ShowMessage(QStringLiteral("The light coverage stopped. Press \"Generate -->\" or turn \"Light "
                                            "coverage\" off and on to try again."));
    } else if (!run->error.isEmpty()) {
        legend_->ShowMessage(QStringLiteral("The light coverage could not be computed: ") + run->error);
    } else if (run->job->Cancelled() || run->result.cancelled) {
        // Cancel() has said so already; no stale colours or figures stay.
        clearColours();
        result_.reset();
    } else {
        std::vector<std::uint8_t> colours;
        if (!BuildCoverageColours(run->scene->geometry(), run->result.lights, colours) ||
            colours.size() != document_->modelArrays().vertices.size())
            colours.clear();
        document_->setModelColours(std::move(colours));
        result_ = std::move(run->result);
        legend_->ShowResult(*result_);
    }
    emit finished();
}
