#include "app/LightCoverage.h"

#include <new>
#include <utility>

#include <QKeySequence>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>

#include "app/CoverageColours.h"
#include "app/CoverageLegend.h"
#include "planner/PlanReport.h"
#include "app/GLView.h"
#include "app/Mainform.h"

// One run of the analysis. The worker writes progress and the outcome;
// the window thread reads them once the worker has posted that it is done.
struct LightCoverage::Job {
    std::uint64_t serial = 0;
    std::thread thread;
    std::atomic<bool> cancel{false};
    std::atomic<int> percent{0};
    // Filled by the worker.
    std::shared_ptr<const coverage::CoverageScene> scene;
    coverage::CoverageResult result;
    QString error;
};

LightCoverage::LightCoverage(TForm1 *form) : QObject(form), form_(form)
{
    setObjectName("LightCoverage");
    coverageButton_ = form->AddToolButton(
        "TB_coverage", QStringLiteral("Light coverage"),
        QStringLiteral("Light coverage: colour the model by how many positions of the plan light each part the "
                       "camera sees, shadows included (red: fewer than 6 lights, too few for a PTM; green: 9 or "
                       "more). Recomputed after \"Generate -->\" and for a new model. (Ctrl+L)"));
    coverageButton_->setCheckable(true);
    coverageButton_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_L));
    fitButton_ = form->AddToolButton(
        "TB_fitmodel", QStringLiteral("Fit model to object"),
        QStringLiteral("Fit model to object: centre the model on the dome axis with its back on the object plate "
                       "and scale it so its larger side across X and Y equals the object size (OBJ size, mm). "
                       "Off: the model's own coordinates, read as millimetres."));
    fitButton_->setCheckable(true);
    connect(coverageButton_, &QToolButton::toggled, this, [this](bool on) { SetEnabled(on); });
    connect(fitButton_, &QToolButton::toggled, this, [this](bool on) { SetFit(on); });

    legend_ = new CoverageLegend(form->PanelOGL);
    connect(legend_, &CoverageLegend::cancelRequested, this, [this] { Cancel(); });
    progressTimer_ = new QTimer(this);
    progressTimer_->setInterval(100);
    connect(progressTimer_, &QTimer::timeout, this, [this] { pollProgress(); });

    connect(form, &TForm1::modelLoaded, this, [this] { modelChanged(); });
    connect(form, &TForm1::patternGenerated, this, [this] { inputsChanged(); });
    // The camera distance decides what is seen, the object size the fit.
    connect(form, &TForm1::parametersApplied, this, [this] {
        applyPlacement();
        inputsChanged();
    });
}

LightCoverage::~LightCoverage()
{
    if (job_) {
        job_->cancel = true;
        if (job_->thread.joinable()) job_->thread.join();
    }
}

coverage::Placement LightCoverage::CurrentPlacement() const
{
    if (!fit_) return coverage::Placement();
    return coverage::FitToObject(form_->mesh.box, static_cast<float>(form_->obj_size));
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
    if (job_) job_->cancel = true;
    progressTimer_->stop();
    result_.reset();
    form_->model_arrays.colors.clear();
    legend_->hide();
    form_->AppIdle();
}

void LightCoverage::SetFit(bool on)
{
    if (fitButton_->isChecked() != on) fitButton_->setChecked(on);
    if (fit_ == on) return;
    fit_ = on;
    applyPlacement();
    inputsChanged();
}

void LightCoverage::Cancel()
{
    pending_ = false;
    if (!job_) return;
    job_->cancel = true;
    legend_->ShowMessage(QStringLiteral("Cancelled. Press \"Generate -->\" or turn \"Light coverage\" off and on "
                                        "to compute it again."));
}

void LightCoverage::applyPlacement()
{
    form_->model_arrays.placement = CurrentPlacement();
    form_->AppIdle();
}

void LightCoverage::modelChanged()
{
    // A new model: new arrays (without colours), a scene to build anew.
    ++modelSerial_;
    scene_.reset();
    result_.reset();
    applyPlacement();
    inputsChanged();
}

void LightCoverage::inputsChanged()
{
    if (enabled_) request();
}

void LightCoverage::request()
{
    if (job_) {
        // The run going is for inputs that are no longer current.
        job_->cancel = true;
        pending_ = true;
        return;
    }
    launch();
}

void LightCoverage::launch()
{
    pending_ = false;
    if (form_->model_arrays.empty()) {
        form_->model_arrays.colors.clear();
        legend_->ShowMessage(QStringLiteral("Load a reference model to see which parts of it the plan lights."));
        form_->AppIdle();
        return;
    }

    auto job = std::make_shared<Job>();
    job->serial = modelSerial_;
    coverage::CoverageInput input;
    input.positions = form_->positions;
    // Positions the plan report flags (below the floor, behind the camera,
    // in the picture, grazing) do not count.
    if (const std::optional<planner::PatternInput> plan = form_->PlanInput())
        input.usable = planner::UsableMask(planner::ComputePlanReport(*plan, form_->positions, {}));
    input.cameraDistance = static_cast<float>(form_->cam_dist);
    input.placement = CurrentPlacement();
    // The faces are copied here, on the window thread, the first time
    // only; the worker builds the scene from the copy.
    std::shared_ptr<const coverage::CoverageScene> scene = scene_;
    std::optional<coverage::ModelGeometry> geometry;
    try {
        if (!scene) geometry = coverage::ModelGeometry::FromMesh(form_->mesh);
    } catch (const std::bad_alloc &) {
        legend_->ShowMessage(QStringLiteral("Not enough memory for the light coverage of this model."));
        return;
    }

    job_ = job;
    legend_->ShowProgress(0);
    progressTimer_->start();

    Job *j = job.get();
    job->thread = std::thread([this, j, scene, input = std::move(input), geometry = std::move(geometry)]() mutable {
        if (!scene) {
            std::string error;
            std::unique_ptr<coverage::CoverageScene> built =
                coverage::CoverageScene::Build(std::move(*geometry), error);
            if (!built) j->error = QString::fromStdString(error);
            scene = std::move(built);
        }
        j->scene = scene;
        if (scene && !j->cancel) {
            j->result = coverage::Analyse(*scene, input, [j](double share) {
                j->percent = static_cast<int>(100.0 * share);
                return !j->cancel.load();
            });
        }
        // Back on the window thread; dropped if this object is gone.
        QMetaObject::invokeMethod(
            this,
            [this, j] {
                if (job_ && job_.get() == j) done(job_);
            },
            Qt::QueuedConnection);
    });
}

void LightCoverage::pollProgress()
{
    if (job_ && !job_->cancel) legend_->ShowProgress(job_->percent.load());
}

void LightCoverage::done(std::shared_ptr<Job> job)
{
    if (job->thread.joinable()) job->thread.join();
    job_.reset();
    progressTimer_->stop();
    ++finishedRuns_;
    const bool current = job->serial == modelSerial_;
    if (current && job->scene) scene_ = job->scene; // kept for the next plan

    if (pending_ && enabled_) {
        launch();
        return;
    }
    if (!enabled_ || !current) {
        emit finished();
        return;
    }
    if (!job->error.isEmpty()) {
        legend_->ShowMessage(QStringLiteral("The light coverage could not be computed: ") + job->error);
    } else if (job->cancel || job->result.cancelled) {
        // Cancel() has said so already; no stale colours or figures stay.
        form_->model_arrays.colors.clear();
        result_.reset();
    } else {
        if (BuildCoverageColours(job->scene->geometry(), job->result.lights, form_->model_arrays.colors) &&
            form_->model_arrays.colors.size() != form_->model_arrays.vertices.size())
            form_->model_arrays.colors.clear();
        result_ = std::move(job->result);
        legend_->ShowResult(*result_);
    }
    form_->AppIdle();
    emit finished();
}
