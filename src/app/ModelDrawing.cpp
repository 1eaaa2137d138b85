#include "app/ModelDrawing.h"

#include <QTimer>

#include "app/GLView.h"
#include "app/StandIn.h"

ModelDrawing::ModelDrawing(GLView *view, const AMesh &mesh, QObject *parent)
    : QObject(parent), view_(view), mesh_(mesh), budget_(standin::kDefaultBudget)
{
    restTimer_ = new QTimer(this);
    restTimer_->setSingleShot(true);
    connect(restTimer_, &QTimer::timeout, this, [this] { Rested(); });
    if (view) connect(view, &GLView::contextAboutToGo, this, [this] { ReleaseGL(); });
}

ModelDrawing::~ModelDrawing()
{
    cancelBuild();
    reapWorkers(true);
}

void ModelDrawing::ModelAboutToChange()
{
    rebuildIfLoadFails_ = job_ != nullptr;
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
    auto job = std::make_shared<Job>();
    job_ = job;
    const AMesh *mesh = &mesh_;
    const std::size_t budget = budget_;
    std::thread t([this, job, mesh, budget] {
        try {
            standin::Input input;
            bool ok;
            {
                std::lock_guard<std::mutex> lock(job->readingMesh);
                ok = !job->cancelled && standin::CopyInput(*mesh, input, &job->cancelled);
            }
            auto result = std::make_shared<ModelArrays>();
            ok = ok && standin::Simplify(std::move(input), budget, *result, &job->cancelled);
            if (ok && !job->cancelled)
                QMetaObject::invokeMethod(
                    this, [this, job, result] { accept(job, result); }, Qt::QueuedConnection);
        } catch (...) {
            // No stand-in: the full model is drawn while moving too.
        }
        job->done = true;
    });
    workers_.push_back({job, std::move(t)});
}

void ModelDrawing::cancelBuild()
{
    if (!job_) return;
    job_->cancelled = true;
    // Once the lock is had, the worker no longer reads the mesh.
    std::lock_guard<std::mutex> wait(job_->readingMesh);
    job_.reset();
}

void ModelDrawing::reapWorkers(bool all)
{
    for (auto it = workers_.begin(); it != workers_.end();) {
        if (all || it->job->done) {
            it->thread.join();
            it = workers_.erase(it);
        } else {
            ++it;
        }
    }
}

void ModelDrawing::accept(const std::shared_ptr<Job> &job, std::shared_ptr<ModelArrays> result)
{
    if (job != job_) return; // a build that was dropped
    job_.reset();
    std::swap(standIn_, *result);
    standInBuffers_.Stale();
    reapWorkers(false);
    emit standInReady();
}
