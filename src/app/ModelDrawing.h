#pragma once
// What the view draws for the reference model, and from where. At rest, the
// full model; while the view moves (a drag, a spin, wheel steps, a resize)
// a simplified stand-in, and the full model again once the view has rested
// for a moment. Each comes from buffer objects when the context has them.
//
// The stand-in is built on a worker thread (a Job) after every load, so the
// load itself takes no longer; until it is ready, and for a model within the
// budget, the full model is drawn throughout. A new load drops a stand-in
// still being built. The worker copies what it needs from the mesh first and
// then leaves it alone; ModelAboutToChange() waits only for that copy to
// notice it is cancelled, a matter of microseconds. A worker that fails says
// so in a notice; the full model is then drawn while moving too.

#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

#include <QObject>
#include <QPointer>

#include "app/ModelArrays.h"
#include "app/ModelBuffers.h"
#include "app/SceneRenderer.h"
#include "nuk/Mesh/AMesh.h"

class GLView;
class Job;
class QTimer;

class ModelDrawing : public QObject
{
    Q_OBJECT
public:
    // mesh is the window's; it must outlive this object.
    ModelDrawing(GLView *view, const AMesh &mesh, QObject *parent = nullptr);
    ~ModelDrawing() override;

    // Around a load of the mesh: before it may change, and after, with
    // whether it did.
    void ModelAboutToChange();
    void ModelChanged(bool loaded);

    // The view moved: the stand-in for the frames to come, the full model
    // again after restMs without another move.
    void ViewMoved();
    // The view has rested: the full model again, one more frame if the last
    // one showed the stand-in. The rest timer calls it.
    void Rested();

    // Puts the model of this frame into in (the full arrays, or the
    // stand-in) with its buffers. The view's context is current.
    void PrepareFrame(scene::SceneInput &in, const ModelArrays &full);

    // The view's context is current and about to go: its buffers with it.
    void ReleaseGL();

    // Triangles a stand-in may have; a model with more gets one. Changing
    // it builds the stand-in again.
    void SetBudget(std::size_t triangles);
    std::size_t Budget() const { return budget_; }
    // Off: the full model in every frame, as if there were no stand-in.
    void SetStandInEnabled(bool on);
    // Off: client arrays even where buffer objects are offered.
    void SetBufferObjectsAllowed(bool on);
    void SetRestMs(int ms);
    int RestMs() const { return restMs_; }

    bool StandInReady() const { return !standIn_.empty(); }
    const ModelArrays &StandIn() const { return standIn_; }
    bool Building() const { return build_ != nullptr; }
    bool Moving() const { return moving_; }
    // Whether the last frame with a model drew it from buffer objects.
    bool LastFrameFromBuffers() const { return lastFromBuffers_; }

    // Frames that drew the stand-in and frames that drew the full model,
    // since this object was made (for tests and benchmarks).
    quint64 StandInFrames() const { return standInFrames_; }
    quint64 FullFrames() const { return fullFrames_; }

    // Where a failed build is reported; by default the view's notice.
    std::function<void(const QString &)> notice;

    static constexpr int kDefaultRestMs = 150;

signals:
    void standInReady();

private:
    // One build: the lock held while the worker copies the mesh, the result
    // once it is whole, and the worker (last, so that it is waited for
    // before the rest goes).
    struct Build {
        std::mutex readingMesh;
        ModelArrays result;
        bool ok = false;
        std::shared_ptr<Job> job;
    };

    void startBuild();
    void cancelBuild();
    void reapWorkers(bool all);
    void accept(const std::shared_ptr<Build> &build);

    QPointer<GLView> view_;
    const AMesh &mesh_;
    QTimer *restTimer_ = nullptr;
    std::size_t budget_;
    int restMs_ = kDefaultRestMs;
    bool standInEnabled_ = true;
    bool buffersAllowed_ = true;
    bool moving_ = false;
    bool lastStandIn_ = false;
    bool lastFromBuffers_ = false;
    bool rebuildIfLoadFails_ = false;

    ModelArrays standIn_;
    ModelBuffers fullBuffers_;
    ModelBuffers standInBuffers_;
    std::shared_ptr<Build> build_; // the build whose result is wanted
    std::vector<std::shared_ptr<Build>> workers_;

    quint64 standInFrames_ = 0;
    quint64 fullFrames_ = 0;
};
