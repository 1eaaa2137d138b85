#include "app/SuggestDialog.h"

#include <atomic>
#include <cmath>

#include <QCheckBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTimer>
#include <QVBoxLayout>

#include "app/Job.h"
#include "app/PlanDocument.h"
#include "app/PredictDialog.h"
#include "capture/Camera.h"
#include "capture/CaptureScene.h"
#include "coverage/Coverage.h"
#include "coverage/CoverageScene.h"
#include "planner/PlanReport.h"
#include "planner/Stage.h"
#include "predict/Predict.h"
#include "planner/Suggestion.h"
#include "suggest/Suggest.h"

// What the worker is given and hands back; shared so that it outlives
// whichever of the dialog and the worker ends first.
struct SuggestDialog::Run {
    planner::Plan plan; // the candidates' plan
    planner::Candidates candidates;
    std::size_t count = 0;
    int minLights = suggest::kDefaultMinLights;
    std::unique_ptr<coverage::ModelGeometry> geometry; // model-aware when set
    coverage::Placement placement;
    std::vector<nuk::Point3f> before; // the usable positions of the plan generated last
    std::atomic<int> percent{0};
    // Results, written by the worker before it ends.
    std::vector<std::size_t> chosen;
    suggest::SuggestResult result;
    std::optional<double> beforeReached; // share of the visible area the plan before reaches
    // The predicted normal error (median, degrees) before and of the
    // suggestion, when the framing is known: the model copied for the
    // capture's scene.
    std::unique_ptr<capture::SceneModel> sceneModel;
    std::optional<double> beforeNormal, afterNormal;
    QString predictError;
    bool cancelled = false;
    QString error;
};

namespace
{

QString Degrees(const std::optional<double> &d)
{
    return d ? QStringLiteral("%1°").arg(*d, 0, 'f', 2) : QStringLiteral("-");
}

QString Angles(const std::optional<planner::NeighbourAngles> &a)
{
    if (!a) return QStringLiteral("-");
    return QStringLiteral("%1 / %2 / %3 (evenness %4)")
        .arg(a->min, 0, 'f', 1)
        .arg(a->median, 0, 'f', 1)
        .arg(a->max, 0, 'f', 1)
        .arg(a->evenness(), 0, 'f', 2);
}

QString Condition(const planner::FitCondition &f)
{
    return f.canFit ? QString::number(f.condition, 'f', 2) : QStringLiteral("cannot fit");
}

QString Share(const std::optional<double> &s)
{
    return s ? QStringLiteral("%1 %").arg(100.0 * *s, 0, 'f', 1) : QStringLiteral("-");
}

} // namespace

SuggestDialog::SuggestDialog(QWidget *parent, PlanDocument *document) : QDialog(parent), document_(document)
{
    setObjectName("SuggestDialog");
    setWindowTitle(QStringLiteral("Suggest a plan"));

    SE_count = new QSpinBox(this);
    SE_count->setObjectName("SE_count");
    SE_count->setRange(1, static_cast<int>(planner::kMaxSuggestedPositions));
    SE_count->setValue(60);
    SE_count->setToolTip(QStringLiteral("How many photographs the plan takes"));

    RB_spiral = new QRadioButton(QStringLiteral("A spiral of"), this);
    RB_spiral->setObjectName("RB_spiral");
    RB_spiral->setChecked(true);
    SE_candidates = new QSpinBox(this);
    SE_candidates->setObjectName("SE_candidates");
    SE_candidates->setRange(1, 10000);
    SE_candidates->setValue(planner::kDefaultCandidates);
    RB_generated = new QRadioButton(QStringLiteral("The positions generated last"), this);
    RB_generated->setObjectName("RB_generated");
    RB_generated->setEnabled(document_->hasPattern());

    CB_model = new QCheckBox(QStringLiteral("Light the model: at least"), this);
    CB_model->setObjectName("CB_model");
    CB_model->setEnabled(document_->hasModel());
    CB_model->setChecked(document_->hasModel());
    SE_lights = new QSpinBox(this);
    SE_lights->setObjectName("SE_lights");
    SE_lights->setRange(1, suggest::kMaxMinLights);
    SE_lights->setValue(suggest::kDefaultMinLights);
    SE_lights->setToolTip(QStringLiteral("Lights each visible part of the model should have, unshadowed: 9 for "
                                         "order-3 hemispherical harmonics, 6 for a PTM"));

    auto *spiral = new QHBoxLayout;
    spiral->addWidget(RB_spiral);
    spiral->addWidget(SE_candidates);
    spiral->addWidget(new QLabel(QStringLiteral("directions at the VIEW distance (mm)"), this));
    spiral->addStretch(1);
    auto *lights = new QHBoxLayout;
    lights->addWidget(CB_model);
    lights->addWidget(SE_lights);
    lights->addWidget(new QLabel(QStringLiteral("lights on every visible part"), this));
    lights->addStretch(1);

    auto *form = new QFormLayout;
    form->addRow(QStringLiteral("Photographs"), SE_count);
    form->addRow(QStringLiteral("Candidates"), spiral);
    form->addRow(QString(), RB_generated);
    form->addRow(QStringLiteral("Model"), lights);
    auto *note = new QLabel(QStringLiteral("Positions the plan report flags (below the floor, blocked by the camera, "
                                           "in the picture, grazing) are never chosen."),
                            this);
    note->setWordWrap(true);

    progress = new QProgressBar(this);
    progress->setObjectName("progress");
    progress->setRange(0, 100);
    progress->setValue(0);
    figures = new QLabel(this);
    figures->setObjectName("figures");
    figures->setWordWrap(true);
    figures->setTextFormat(Qt::RichText);
    figures->setMinimumWidth(460);

    PB_suggest = new QPushButton(QStringLiteral("Suggest"), this);
    PB_suggest->setObjectName("PB_suggest");
    PB_cancel = new QPushButton(QStringLiteral("Cancel"), this);
    PB_cancel->setObjectName("PB_cancel");
    PB_use = new QPushButton(QStringLiteral("Use this plan"), this);
    PB_use->setObjectName("PB_use");
    PB_use->setToolTip(QStringLiteral("Makes the suggestion the plan: \"Generate -->\" then writes it"));
    PB_close = new QPushButton(QStringLiteral("Close"), this);
    PB_close->setObjectName("PB_close");
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(PB_suggest);
    buttons->addWidget(PB_cancel);
    buttons->addStretch(1);
    buttons->addWidget(PB_use);
    buttons->addWidget(PB_close);

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(note);
    layout->addWidget(progress);
    layout->addWidget(figures);
    layout->addLayout(buttons);

    poll_ = new QTimer(this);
    poll_->setInterval(100);
    connect(poll_, &QTimer::timeout, this, [this] {
        if (run_) progress->setValue(run_->percent.load());
    });
    connect(PB_suggest, &QPushButton::clicked, this, [this] { start(); });
    connect(PB_cancel, &QPushButton::clicked, this, [this] {
        if (job_) job_->Cancel();
    });
    connect(PB_use, &QPushButton::clicked, this, [this] {
        if (!suggestion_) return;
        document_->setLayout(suggestion_->layout);
        accept();
    });
    connect(PB_close, &QPushButton::clicked, this, &QDialog::reject);
    connect(CB_model, &QCheckBox::toggled, this, [this] { updateEnabled(); });
    connect(RB_spiral, &QRadioButton::toggled, this, [this] { updateEnabled(); });
    updateEnabled();
}

SuggestDialog::~SuggestDialog()
{
    if (job_) job_->Cancel();
    job_.reset(); // waits for the worker
}

SuggestDialog *SuggestDialog::Open(PlanDocument *document, QWidget *parent)
{
    auto *d = new SuggestDialog(parent, document);
    d->setAttribute(Qt::WA_DeleteOnClose);
    d->open();
    return d;
}

void SuggestDialog::updateEnabled()
{
    const bool running = job_ && !job_->Ended();
    PB_suggest->setEnabled(!running);
    PB_cancel->setEnabled(running);
    PB_use->setEnabled(!running && suggestion_.has_value());
    SE_candidates->setEnabled(!running && RB_spiral->isChecked());
    SE_lights->setEnabled(!running && CB_model->isChecked() && CB_model->isEnabled());
}

void SuggestDialog::start()
{
    auto run = std::make_shared<Run>();
    planner::PatternLists lists;
    if (RB_generated->isChecked() && document_->judgedPlan()) {
        run->plan = *document_->judgedPlan();
        lists = document_->pattern();
    } else {
        run->plan = document_->plan();
        run->plan.layout = planner::DefaultCandidateLayout();
        run->plan.layout.count = SE_candidates->value();
        planner::BuildPlan(run->plan, lists);
    }
    run->candidates = planner::UsableCandidates(run->plan, lists);
    if (run->candidates.positions.empty()) {
        figures->setText(QStringLiteral("None of the %1 candidates is usable: the plan report flags them all.")
                             .arg(run->candidates.considered));
        return;
    }
    run->count = static_cast<std::size_t>(SE_count->value());
    run->minLights = SE_lights->value();
    if (CB_model->isChecked() && document_->hasModel()) {
        // Copied here, on the thread that owns the mesh.
        run->geometry = std::make_unique<coverage::ModelGeometry>(coverage::ModelGeometry::FromMesh(document_->mesh()));
        run->placement = document_->placement();
        if (run->plan.framing)
            run->sceneModel = std::make_unique<capture::SceneModel>(
                capture::SceneModel::FromMesh(document_->mesh(), run->placement, document_->modelColoured()));
        if (document_->hasPattern()) {
            const std::vector<bool> usable = document_->usable();
            for (std::size_t i = 0; i < document_->pattern().positions.size(); ++i)
                if (i < usable.size() && usable[i]) run->before.push_back(document_->pattern().positions[i]);
        }
    }
    suggestion_.reset();
    run_ = run;
    progress->setValue(0);
    figures->setText(
        QStringLiteral("Choosing %1 of %2 usable candidates…").arg(run->count).arg(run->candidates.positions.size()));
    Run *r = run.get();
    job_ = Job::Start(
        this, QStringLiteral("The suggestion"),
        [r](Job &job) {
            // With a prediction to follow, the suggestion is the first 70 %.
            const double part = r->sceneModel ? 0.7 : 1.0;
            const auto told = [r, &job, part](double share) {
                r->percent = static_cast<int>(100.0 * part * share);
                return !job.Cancelled();
            };
            if (!r->geometry) {
                r->chosen = planner::SelectEven(r->candidates.directions, r->count, told);
                r->cancelled = job.Cancelled();
                return;
            }
            std::string error;
            const auto scene = coverage::CoverageScene::Build(std::move(*r->geometry), error);
            if (!scene) {
                r->error = QString::fromStdString(error);
                return;
            }
            suggest::SuggestInput in;
            in.positions = r->candidates.positions;
            in.directions = r->candidates.directions;
            in.count = r->count;
            in.minLights = r->minLights;
            in.cameraDistance = static_cast<float>(r->plan.input.cameraDistance);
            in.placement = r->placement;
            r->result = suggest::Suggest(*scene, in, told);
            r->chosen = r->result.chosen;
            r->cancelled = r->result.cancelled || job.Cancelled();
            if (!r->cancelled && !r->before.empty()) {
                coverage::CoverageInput ci;
                ci.positions = r->before;
                ci.cameraDistance = in.cameraDistance;
                ci.placement = r->placement;
                const coverage::CoverageResult c = coverage::Analyse(*scene, ci);
                double reached = 0;
                for (std::size_t i = 0; i < c.lights.size(); ++i)
                    if (c.lights[i] >= r->minLights) reached += scene->areas()[i];
                const double scale = double(ci.placement.scale) * ci.placement.scale;
                if (c.visibleArea > 0) r->beforeReached = reached * scale / c.visibleArea;
            }
            if (!r->cancelled && r->sceneModel) predictBoth(*r, job);
        },
        [this, weak = std::weak_ptr<Run>(run)](bool failed) {
            if (weak.lock() == run_) finish(failed);
        },
        [this](const QString &text) { figures->setText(text); });
    poll_->start();
    updateEnabled();
}

void SuggestDialog::predictBoth(Run &r, Job &job)
{
    const planner::Plan &plan = r.plan;
    const planner::Stage stage =
        planner::StageOf(plan.input.objectSize, plan.input.objectHeight, plan.input.cameraDistance);
    std::string error;
    const auto scene = capture::CaptureScene::Build(std::move(*r.sceneModel), stage, error);
    r.sceneModel.reset();
    if (!scene) {
        r.predictError = QString::fromStdString(error);
        return;
    }
    const capture::Camera camera = capture::MakeCamera(*plan.framing, plan.input.cameraDistance, PredictDialog::kWidth,
                                                       capture::DefaultHeight(*plan.framing, PredictDialog::kWidth));
    std::vector<nuk::Point3f> chosen;
    for (std::size_t i : r.chosen)
        chosen.push_back(r.candidates.positions[i]);
    const std::vector<nuk::Point3f> *sets[2] = {&chosen, &r.before};
    std::optional<double> *into[2] = {&r.afterNormal, &r.beforeNormal};
    for (int k = 0; k < 2; ++k) {
        if (sets[k]->empty()) continue;
        predict::PredictOptions opt;
        opt.capture.samples = PredictDialog::kSamples;
        opt.heldOutFrom = plan.grazingBelow;
        const predict::Prediction p =
            predict::Predict(*scene, camera, *sets[k], opt, [&r, &job, k](std::size_t done, std::size_t total) {
                r.percent = static_cast<int>(70 + 15 * k + (total ? 15 * done / total : 0));
                return !job.Cancelled();
            });
        if (job.Cancelled()) {
            r.cancelled = true;
            return;
        }
        if (!p.ok) {
            r.predictError = QString::fromStdString(p.error);
            return;
        }
        if (p.normals.fitted) *into[k] = p.normals.median;
    }
}

void SuggestDialog::finish(bool failed)
{
    poll_->stop();
    const std::shared_ptr<Run> r = run_;
    job_.reset();
    updateEnabled();
    if (failed || !r) return; // the notice has said why
    if (!r->error.isEmpty()) {
        figures->setText(QStringLiteral("The model cannot be used: %1").arg(r->error));
        return;
    }
    if (r->cancelled) {
        progress->setValue(0);
        figures->setText(QStringLiteral("Cancelled: the plan is unchanged."));
        return;
    }
    progress->setValue(100);
    std::vector<nuk::Point3f> chosen;
    for (std::size_t i : r->chosen)
        chosen.push_back(r->candidates.positions[i]);
    suggestion_ = planner::SuggestedPlan(r->plan, chosen);
    updateEnabled();
    planner::PatternLists lists;
    planner::BuildPlan(*suggestion_, lists);
    const planner::PlanReport after = planner::ReportOf(*suggestion_, lists);
    const std::optional<planner::PlanReport> before = document_->report();

    auto row = [](const QString &name, const QString &b, const QString &a) {
        return QStringLiteral("<tr><td>%1</td><td>%2</td><td>%3</td></tr>").arg(name, b, a);
    };
    QString t = QStringLiteral("<table cellspacing=\"4\"><tr><th></th><th align=\"left\">before</th>"
                               "<th align=\"left\">suggested</th></tr>");
    t += row(QStringLiteral("usable positions"), before ? QString::number(before->usable) : QStringLiteral("-"),
             QString::number(after.usable));
    t += row(QStringLiteral("nearest neighbours (°)"), before ? Angles(before->neighbours) : QStringLiteral("-"),
             Angles(after.neighbours));
    t += row(QStringLiteral("PTM condition"), before ? Condition(before->fits[0]) : QStringLiteral("-"),
             Condition(after.fits[0]));
    t += row(QStringLiteral("HSH order 3 condition"), before ? Condition(before->fits[2]) : QStringLiteral("-"),
             Condition(after.fits[2]));
    if (r->geometry) {
        t += row(QStringLiteral("visible area lit by %1 or more").arg(r->minLights), Share(r->beforeReached),
                 Share(r->result.suggested.reached));
        t += row(QStringLiteral("(even choice of as many: %1)").arg(Share(r->result.evenFigures.reached)), QString(),
                 QString());
        if (r->afterNormal)
            t += row(QStringLiteral("predicted normal error, median"), Degrees(r->beforeNormal),
                     Degrees(r->afterNormal));
    }
    t += QStringLiteral("</table>");
    if (r->geometry && !r->sceneModel)
        t += QStringLiteral("<p>Give the sensor and the lens (mm) in the plan report to see the predicted normal "
                            "error too.</p>");
    else if (!r->predictError.isEmpty())
        t += QStringLiteral("<p>No predicted normal error: %1</p>").arg(r->predictError.toHtmlEscaped());
    figures->setText(t);
    // The figures came after the dialog took its size: grow to show them all.
    adjustSize();
}
