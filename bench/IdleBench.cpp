// CPU time the window spends while nothing happens: the window shown, no
// input, for a few seconds, with the empty stage and with a model of one
// million faces. "on_demand" is the window as it is; "continuous" adds back
// a frame after every frame (what the view did before it drew on demand),
// so both are measured side by side in one run. The figure is the window
// thread's CPU time over the wall time (1.0 = one core kept busy), and the
// same for the whole process, renderer threads included.
//
// Needs an X display: xvfb-run -a bench/bench_idle

#include <ctime>
#include <utility>

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QSurfaceFormat>
#include <QTest>

#include "BenchSupport.h"
#include "SphereModel.h"
#include "app/GLView.h"
#include "app/Mainform.h"
#include "app/ModelMesh.h"
#include "app/PlanDocument.h"

namespace
{

constexpr int kIdleMs = 3000;

using benchsupport::CpuSeconds;

void Idle(benchmark::State &state, bool continuous, bool model)
{
    TForm1 form;
    if (model) {
        AMesh mesh;
        ModelArrays arrays;
        benchdata::MakeSphere(mesh, 500, 1000); // 1,000,000 faces
        BuildModelArrays(mesh, arrays);
        form.document->adoptModel(std::move(mesh), std::move(arrays), QStringLiteral("sphere"));
    }
    if (continuous)
        QObject::connect(form.PanelOGL, &QOpenGLWidget::frameSwapped, form.PanelOGL,
                         [&form] { form.PanelOGL->ContinueAnimation(); });
    form.show();
    if (!QTest::qWaitForWindowExposed(&form) || !QTest::qWaitFor([&] { return form.PanelOGL->Usable(); }, 5000))
        return state.SkipWithError("no window or no OpenGL context");
    QTest::qWait(300); // start-up frames
    double cpu = 0, process = 0, wall = 0;
    quint64 frames = 0;
    for (auto _ : state) {
        const quint64 f0 = form.PanelOGL->FrameCount();
        const double c0 = CpuSeconds(CLOCK_THREAD_CPUTIME_ID);
        const double p0 = CpuSeconds(CLOCK_PROCESS_CPUTIME_ID);
        QElapsedTimer clock;
        clock.start();
        QTest::qWait(kIdleMs);
        cpu += CpuSeconds(CLOCK_THREAD_CPUTIME_ID) - c0;
        process += CpuSeconds(CLOCK_PROCESS_CPUTIME_ID) - p0;
        wall += clock.elapsed() / 1000.0;
        frames += form.PanelOGL->FrameCount() - f0;
    }
    state.counters["cpu_share"] = cpu / wall;
    // With a software renderer most of a frame is drawn on its own threads.
    state.counters["process_cpu_share"] = process / wall;
    state.counters["frames_per_s"] = double(frames) / wall;
}

void BM_IdleEmptyStage_Continuous(benchmark::State &s) { Idle(s, true, false); }
void BM_IdleEmptyStage_OnDemand(benchmark::State &s) { Idle(s, false, false); }
void BM_IdleModel1M_Continuous(benchmark::State &s) { Idle(s, true, true); }
void BM_IdleModel1M_OnDemand(benchmark::State &s) { Idle(s, false, true); }

BENCHMARK(BM_IdleEmptyStage_Continuous)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_IdleEmptyStage_OnDemand)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_IdleModel1M_Continuous)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_IdleModel1M_OnDemand)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

int main(int argc, char **argv)
{
    QSurfaceFormat::setDefaultFormat(GLView::ViewFormat());
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
