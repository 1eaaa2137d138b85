#include "app/ModelDrawing.h"

#include <QTimer>

#include "app/GLView.h"
#include "app/Job.h"
#include "app/StandIn.h"

ModelDrawing::ModelDrawing(GLView *view, const AMesh &mesh, QObject *parent)
    : QObject(parent), view_(view), mesh_(mesh), budget_(standin::kDefaultBudget)
{
    restTimer_ = new QTimer(this);
    restTimer_->setSingleShot(true);
    connect(restTimer_, &QTimer::timeout, this, [this] { Rested(); });
    if (view) connect(view, &GLView::contextAboutToGo, this, [this] { ReleaseGL(); });
    notice = [this](const QString &text) {
        if (view_) view_->ShowNotice(text);
    };
}

ModelDrawing::~ModelDrawing()
{
    cancelBuild();
    reapWorkers(true);
}

void ModelDrawing::ModelAboutToChange()
{
    rebuildIfLoadFails_ = build_ != nullptr;
    cancelBuild();
}

void ModelDrawing::ModelChanged(bool loaded)
{
    if (loaded) {
        standIn_.clear();
        standInBuffers_.Stale();
        fullBuffers_.Stale();
        startBuild();
    } else if (rebuildIfLoadFails_ && standIn_.empty()) {
        // The previous model stays, and still wants its stand-in.
        startBuild();
    }
    rebuildIfLoadFails_ = false;
}

void ModelDrawing::ViewMoved()
{
    moving_ = true;
    restTimer_->start(restMs_);
}

void ModelDrawing::Rested()
{
    restTimer_->stop();
    moving_ = false;
    // One more frame, only if the last one showed the stand-in: a view at
    // rest draws nothing.
    if (lastStandIn_ && view_) view_->RequestFrame();
}

void ModelDrawing::PrepareFrame(scene::SceneInput &in, const ModelArrays &full)
{
    // The coverage colours belong to the full model's corners: while they
    // are shown, the full model is drawn throughout.
    const bool standIn = standInEnabled_ && moving_ && !standIn_.empty() && !full.has_colors();
    // Fitted to the object or not, the stand-in stands where the model does.
    if (standIn) standIn_.placement = full.placement;
    const ModelArrays &arrays = standIn ? standIn_ : full;
    ModelBuffers &buffers = standIn ? standInBuffers_ : fullBuffers_;
    in.model = &arrays;
    in.modelBuffers = nullptr;
    if (arrays.empty()) return;
    if (!buffersAllowed_)
        ReleaseGL();
    else if (buffers.Upload(arrays))
        in.modelBuffers = &buffers;
    lastStandIn_ = standIn;
    lastFromBuffers_ = in.modelBuffers != nullptr;
    ++(standIn ? standInFrames_ : fullFrames_);
}

void ModelDrawing::ReleaseGL()
{
    fullBuffers_.Release();
    standInBuffers_.Release();
}

void ModelDrawing::SetBudget(std::size_t triangles)
{
    if (triangles == budget_) return;
    budget_ = triangles;
    cancelBuild();
    standIn_.clear();
    standInBuffers_.Stale();
    startBuild();
}

void ModelDrawing::SetStandInEnabled(bool on) { standInEnabled_ = on; }

void ModelDrawing::SetBufferObjectsAllowed(bool on)
{
    // Freed at the next frame, with the context current.
    buffersAllowed_ = on;
}

void ModelDrawing::SetRestMs(int ms) { restMs_ = ms; }

void ModelDrawing::startBuild()
{
    cancelBuild();
    reapWorkers(false);
    if (mesh_.faces.size() <= budget_) return; // its own stand-in
    auto build = std::make_shared<Build>();
    build_ = build;
    const AMesh *mesh = &mesh_;
    const std::size_t budget = budget_;
    Build *b = build.get();
    build->job = Job::Start(
        this, QStringLiteral("The simplified model for moving the view"),
        [b, mesh, budget](Job &job) {
            standin::Input input;
            bool ok;
            {
                std::lock_guard<std::mutex> lock(b->readingMesh);
                ok = !job.Cancelled() && standin::CopyInput(*mesh, input, &job.CancelFlag());
            }
            ok = ok && standin::Simplify(std::move(input), budget, b->result, &job.CancelFlag());
            b->ok = ok && !job.Cancelled();
        },
        [this, weak = std::weak_ptr<Build>(build)](bool failed) {
            const std::shared_ptr<Build> done = weak.lock();
            if (done && !failed && done->ok) accept(done);
            reapWorkers(false);
        },
        [this](const QString &text) {
            if (notice) notice(text + QStringLiteral("; the full model is drawn instead."));
        });
    workers_.push_back(build);
}

void ModelDrawing::cancelBuild()
{
    if (!build_) return;
    build_->job->Cancel();
    // Once the lock is had, the worker no longer reads the mesh.
    std::lock_guard<std::mutex> wait(build_->readingMesh);
    build_.reset();
}

void ModelDrawing::reapWorkers(bool all)
{
    for (auto it = workers_.begin(); it != workers_.end();) {
        if (all || (*it)->job->Ended()) {
            (*it)->job->Wait();
            it = workers_.erase(it);
        } else {
            ++it;
        }
    }
}

void ModelDrawing::accept(const std::shared_ptr<Build> &build)
{
    if (build != build_) return; // a build that was dropped
    build_.reset();
    std::swap(standIn_, build->result);
    standInBuffers_.Stale();
    emit standInReady();
}
