// A large scanned model in the view: a generated relief of 4M faces
// (LargeReliefModel.h), everything in one run and summarised as ratios.
//
//   bare        a frame of the scene without a model (stage, camera, the
//               default 145 positions)
//   raw         the stand-in's triangles alone: a clear, then one draw from
//               buffer objects
//   moving      the window's frame while the view moves: ModelDrawing hands
//               the stand-in, from buffer objects
//   rest        the window's frame at rest, the full model from buffer
//               objects, and the same from client arrays
//   budget/N    the raw draw of a stand-in of N triangles: how the default
//               budget was chosen
//   load        a load as the window does it before the first frame: the
//               PLY import, box, normals (nuk::LoadModel) and the draw arrays
//   stand-in    the stand-in build on the loaded mesh (copy, simplify, draw
//               arrays), which the window runs on a worker thread after the
//               load
//   peak        growth of the peak resident size through a load and the
//               stand-in build after it
//
// "The mesh's own size" is what the window keeps for a loaded model when
// there is no stand-in: the mesh's vertex and face records plus the draw
// arrays the view reads (three corners and three normals per face).
// The summary also gives the peak against the records alone.
//
// Frame times are wall time (the software renderer draws on threads of its
// own), with the processor time of the whole process beside them; frames
// compared with each other are taken in turn within each iteration. Load and
// build times are this thread's processor time. Each figure is the best of
// its iterations: on a shared machine other programs only ever add.
//
// Needs an X display: xvfb-run -a bench/bench_largemodel

#include <malloc.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <map>
#include <memory>
#include <string>

#include <benchmark/benchmark.h>

#include <GL/gl.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QOpenGLFramebufferObject>

#include "BenchSupport.h"
#include "LargeReliefModel.h"
#include "OffscreenView.h"
#include "app/GLView.h"
#include "app/ModelBuffers.h"
#include "app/ModelDrawing.h"
#include "app/ModelMesh.h"
#include "app/SceneRenderer.h"
#include "app/StandIn.h"
#include "nuk/Mesh/ModelLoad.h"
#include "planner/Pattern.h"

namespace
{

// The view's size in the window at its start size.
constexpr int kWidth = 580;
constexpr int kHeight = 587;
constexpr int kCols = 1001, kRows = 2001; // 4,000,000 faces

struct Scene {
    benchsupport::OffscreenView view;
    planner::PatternLists pattern;
    std::string plyPath;
    AMesh mesh;
    ModelArrays arrays;
    std::unique_ptr<ModelDrawing> drawing;
};

Scene *g = nullptr;
std::map<std::string, double> g_best; // seconds, best iteration
std::map<std::string, double> g_value;

using benchsupport::Best;
using benchsupport::MiB;
using benchsupport::ResetPeak;
using benchsupport::StatusKiB;

double Wall() { return benchsupport::WallSeconds(); }
double Cpu() { return benchsupport::CpuSeconds(CLOCK_THREAD_CPUTIME_ID); }
std::size_t ArrayBytes(const ModelArrays &a) { return (a.vertices.capacity() + a.normals.capacity()) * sizeof(float); }

scene::SceneInput Input()
{
    scene::SceneInput in;
    in.positions = &g->pattern.positions;
    return in;
}

// One frame as the window draws it, with the model ModelDrawing picks.
void WindowFrame(bool moving)
{
    if (moving)
        g->drawing->ViewMoved();
    else
        g->drawing->Rested();
    scene::BeginFrame();
    scene::SceneInput in = Input();
    g->drawing->PrepareFrame(in, g->arrays);
    scene::DrawScene(in);
    glFinish(); // the frame is done, not just queued
}

double ProcessCpu() { return benchsupport::CpuSeconds(CLOCK_PROCESS_CPUTIME_ID); }

// A frame drawn to the end, timed: wall time and the processor time of the
// whole process (the renderer's threads included).
struct FrameTimes {
    Best wall, cpu;
    template <class F> void run(F frame)
    {
        const double w0 = Wall(), c0 = ProcessCpu();
        frame();
        wall.add(Wall() - w0);
        cpu.add(ProcessCpu() - c0);
    }
    void store(const std::string &name, benchmark::State &state)
    {
        g_best[name] = wall.best;
        g_best[name + " cpu"] = cpu.best;
        state.counters[name + "_ms"] = 1e3 * wall.best;
    }
};

void BareFrame()
{
    scene::BeginFrame();
    scene::DrawScene(Input());
    glFinish();
}

// The stand-in's triangles alone, lit as the model is, from buffer objects.
void RawFrame(const ModelArrays &standIn, ModelBuffers &buffers)
{
    scene::BeginFrame();
    const float s = 1.0f / 1500.0f;
    glScalef(s, s, s);
    buffers.Upload(standIn);
    scene::DrawModel(standIn, &buffers);
    glFinish();
}

// The three frames taken in turn within each iteration, so that a change in
// the machine's load during the run touches them alike and the ratio holds.
void BM_FrameMoving(benchmark::State &state)
{
    if (!g->view.ok) return state.SkipWithError("no OpenGL context");
    const ModelArrays &standIn = g->drawing->StandIn();
    ModelBuffers buffers;
    BareFrame();
    RawFrame(standIn, buffers);
    WindowFrame(true);
    const quint64 before = g->drawing->StandInFrames();
    FrameTimes bare, raw, moving;
    for (auto _ : state) {
        bare.run(BareFrame);
        raw.run([&] { RawFrame(standIn, buffers); });
        moving.run([] { WindowFrame(true); });
    }
    buffers.Release();
    if (g->drawing->StandInFrames() == before || !g->drawing->LastFrameFromBuffers())
        return state.SkipWithError("the stand-in was not drawn from buffer objects");
    bare.store("bare", state);
    raw.store("raw", state);
    moving.store("moving", state);
    state.counters["triangles"] = double(standIn.corner_count() / 3);
}

// The full model at rest, from buffer objects and from client arrays in turn.
void BM_FrameRest(benchmark::State &state)
{
    if (!g->view.ok) return state.SkipWithError("no OpenGL context");
    const quint64 before = g->drawing->FullFrames();
    WindowFrame(false); // uploads
    FrameTimes buffers, client;
    bool fromBuffers = true;
    for (auto _ : state) {
        g->drawing->SetBufferObjectsAllowed(true);
        buffers.run([] { WindowFrame(false); });
        fromBuffers = fromBuffers && g->drawing->LastFrameFromBuffers();
        g->drawing->SetBufferObjectsAllowed(false);
        client.run([] { WindowFrame(false); });
    }
    g->drawing->SetBufferObjectsAllowed(true);
    if (g->drawing->FullFrames() == before || !fromBuffers)
        return state.SkipWithError("the full model was not drawn from buffer objects");
    buffers.store("rest buffers", state);
    client.store("rest client arrays", state);
}

// The default budget's choice: the raw draw at a few budgets.
void BM_RawDrawAtBudget(benchmark::State &state)
{
    if (!g->view.ok) return state.SkipWithError("no OpenGL context");
    const std::size_t budget = std::size_t(state.range(0));
    ModelArrays standIn;
    if (!standin::Build(g->mesh, budget, standIn)) return state.SkipWithError("no stand-in");
    ModelBuffers buffers;
    RawFrame(standIn, buffers);
    FrameTimes raw;
    for (auto _ : state)
        raw.run([&] { RawFrame(standIn, buffers); });
    buffers.Release();
    raw.store("budget/" + std::to_string(budget), state);
    state.counters["triangles"] = double(standIn.corner_count() / 3);
}

// A load as the window does it: import, box, normals, draw arrays. The peak
// of the first iteration also covers the stand-in build that follows it.
void BM_Load(benchmark::State &state)
{
    Best t;
    bool first = true;
    for (auto _ : state) {
        state.PauseTiming();
        auto mesh = std::make_unique<AMesh>();
        auto arrays = std::make_unique<ModelArrays>();
        malloc_trim(0);
        ResetPeak();
        const long base = StatusKiB("VmRSS:");
        state.ResumeTiming();
        const double t0 = Cpu();
        if (!nuk::LoadModel(*mesh, g->plyPath.c_str()).ok()) return state.SkipWithError("load failed");
        BuildModelArrays(*mesh, *arrays);
        t.add(Cpu() - t0);
        state.PauseTiming();
        if (first) {
            first = false;
            g_value["peak without"] = double(StatusKiB("VmHWM:") - base) / 1024.0;
            ModelArrays standIn;
            standin::Build(*mesh, g->drawing->Budget(), standIn);
            g_value["peak with"] = double(StatusKiB("VmHWM:") - base) / 1024.0;
            g_value["records"] = MiB(benchdata::MeshBytes(*mesh));
            g_value["arrays"] = MiB(ArrayBytes(*arrays));
            g_value["load faces"] = double(mesh->faces.size());
        }
        mesh.reset();
        arrays.reset();
        state.ResumeTiming();
    }
    g_best["load"] = t.best;
    state.counters["peak_with_standin_MiB"] = g_value["peak with"];
    state.counters["own_MiB"] = g_value["records"] + g_value["arrays"];
}

void BM_BuildStandIn(benchmark::State &state)
{
    Best t;
    std::size_t triangles = 0;
    for (auto _ : state) {
        ModelArrays standIn;
        const double t0 = Cpu();
        standin::Build(g->mesh, g->drawing->Budget(), standIn);
        t.add(Cpu() - t0);
        triangles = standIn.corner_count() / 3;
    }
    g_best["stand-in"] = t.best;
    state.counters["triangles"] = double(triangles);
    state.counters["ms_per_Mface"] = 1e3 * t.best / (double(g->mesh.faces.size()) / 1e6);
}

void Summary()
{
    auto s = [](const std::string &k) { return g_best.count(k) ? g_best[k] : 0.0; };
    auto ms = [&](const std::string &k) { return 1e3 * s(k); };
    std::printf("\nSummary (one run, best iteration of each; 4M-face relief, %dx%d view; "
                "wall ms [process cpu ms]):\n",
                kWidth, kHeight);
    if (s("moving") > 0) {
        std::printf("  moving frame %.1f [%.1f]; bare scene %.1f [%.1f] + raw stand-in %.1f [%.1f] = %.1f [%.1f]\n",
                    ms("moving"), ms("moving cpu"), ms("bare"), ms("bare cpu"), ms("raw"), ms("raw cpu"),
                    ms("bare") + ms("raw"), ms("bare cpu") + ms("raw cpu"));
        std::printf("  moving / (bare + raw) = %.2f [%.2f]\n", s("moving") / (s("bare") + s("raw")),
                    s("moving cpu") / (s("bare cpu") + s("raw cpu")));
    }
    if (s("rest buffers") > 0) {
        std::printf("  rest frame: buffer objects %.1f [%.1f], client arrays %.1f [%.1f]; buffers / client = %.2f "
                    "[%.2f]\n",
                    ms("rest buffers"), ms("rest buffers cpu"), ms("rest client arrays"), ms("rest client arrays cpu"),
                    s("rest buffers") / s("rest client arrays"), s("rest buffers cpu") / s("rest client arrays cpu"));
        if (s("moving") > 0)
            std::printf("  rest / moving = %.1f [%.1f]\n", s("rest buffers") / s("moving"),
                        s("rest buffers cpu") / s("moving cpu"));
    }
    for (std::size_t budget : {62500, 125000, 250000, 500000, 1000000}) {
        const std::string k = "budget/" + std::to_string(budget);
        if (s(k) > 0)
            std::printf("  raw draw of a %zu-triangle stand-in %.1f [%.1f]; with the bare scene %.1f\n", budget, ms(k),
                        ms(k + " cpu"), ms(k) + ms("bare"));
    }
    if (s("load") > 0 && s("stand-in") > 0) {
        const double mfaces = g_value["load faces"] / 1e6;
        std::printf("  load %.0f ms; stand-in build %.0f ms = %.0f ms per million faces, %.0f %% of the load\n",
                    ms("load"), ms("stand-in"), ms("stand-in") / mfaces, 100.0 * s("stand-in") / s("load"));
    }
    if (g_value.count("peak with")) {
        const double own = g_value["records"] + g_value["arrays"];
        std::printf("  own size %.0f MiB (records %.0f + draw arrays %.0f); peak growth: load %.0f MiB, "
                    "load + stand-in %.0f MiB\n",
                    own, g_value["records"], g_value["arrays"], g_value["peak without"], g_value["peak with"]);
        std::printf("  peak with stand-in / (1.25 x own + 64 MiB) = %.2f; peak / own = %.2f; "
                    "peak / records = %.2f; the stand-in adds %.0f MiB to the peak\n",
                    g_value["peak with"] / (1.25 * own + 64), g_value["peak with"] / own,
                    g_value["peak with"] / g_value["records"], g_value["peak with"] - g_value["peak without"]);
    }
}

} // namespace

BENCHMARK(BM_Load)->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BuildStandIn)->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FrameMoving)->Iterations(60)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_FrameRest)->Iterations(8)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_RawDrawAtBudget)
    ->Arg(62500)
    ->Arg(125000)
    ->Arg(250000)
    ->Arg(500000)
    ->Arg(1000000)
    ->Iterations(10)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

int main(int argc, char **argv)
{
    if (!std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY")) {
        std::fprintf(stderr, "bench_largemodel needs a display: run it under xvfb-run -a\n");
        return 1;
    }
    // Every large block a fresh mapping, returned when freed, so each load's
    // peak measures that load alone.
    mallopt(M_MMAP_THRESHOLD, 1 << 20);
    mallopt(M_TRIM_THRESHOLD, 1 << 20);

    QSurfaceFormat::setDefaultFormat(GLView::ViewFormat());
    QGuiApplication app(argc, argv);

    Scene s;
    g = &s;
    char dir[] = "/tmp/quorvel-relief-XXXXXX";
    if (!mkdtemp(dir)) return 1;
    s.plyPath = std::string(dir) + "/relief.ply";
    if (!benchdata::WriteReliefPly(s.plyPath, kCols, kRows)) {
        std::fprintf(stderr, "could not write %s\n", s.plyPath.c_str());
        return 1;
    }

    if (s.view.Open(kWidth, kHeight)) {
        std::fprintf(stderr, "OpenGL: %s, %s; buffer objects %s\n",
                     reinterpret_cast<const char *>(glGetString(GL_RENDERER)),
                     reinterpret_cast<const char *>(glGetString(GL_VERSION)),
                     ModelBuffers::Offered() ? "offered" : "not offered");
    }

    planner::PatternInput in;
    planner::BuildPattern(in, s.pattern); // the default 145 positions
    benchdata::MakeRelief(s.mesh, kCols, kRows);
    BuildModelArrays(s.mesh, s.arrays);

    // The window's own stand-in, built on its worker thread.
    s.drawing = std::make_unique<ModelDrawing>(nullptr, s.mesh);
    s.drawing->ModelAboutToChange();
    s.drawing->ModelChanged(true);
    QElapsedTimer clock;
    clock.start();
    while (!s.drawing->StandInReady() && clock.elapsed() < 120000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    if (!s.drawing->StandInReady()) {
        std::fprintf(stderr, "the stand-in was not built\n");
        return 1;
    }

    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    Summary();

    if (s.view.ok) {
        s.view.context.makeCurrent(&s.view.surface);
        s.drawing->ReleaseGL();
        s.view.fbo.reset();
    }
    s.drawing.reset();
    std::remove(s.plyPath.c_str());
    rmdir(dir);
    return 0;
}
