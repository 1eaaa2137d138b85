// Time per frame of the view with a generated model of one million faces,
// against the same scene without the model, in one run. The model is drawn
// from the arrays the window builds once per load; for comparison, the same
// model through one call per vertex and normal, as in immediate mode.
//
// Needs an X display: xvfb-run -a bench/bench_frame

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include <benchmark/benchmark.h>

#include <GL/gl.h>

#include <QGuiApplication>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QOpenGLFramebufferObject>

#include "app/GLView.h"
#include "app/ModelMesh.h"
#include "app/SceneRenderer.h"
#include "OffscreenView.h"
#include "SphereModel.h"
#include "planner/Pattern.h"

namespace
{

// The view's size in the window at its start size.
constexpr int kWidth = 580;
constexpr int kHeight = 587;

struct Scene {
    benchsupport::OffscreenView view;
    planner::PatternLists pattern;
    AMesh mesh;
    ModelArrays arrays;
};

Scene *g_scene = nullptr;

scene::SceneInput Input(const ModelArrays *model)
{
    scene::SceneInput in;
    in.positions = &g_scene->pattern.positions;
    in.model = model;
    return in;
}

void Frame(const scene::SceneInput &in)
{
    scene::BeginFrame();
    scene::DrawScene(in);
    glFinish(); // the frame is done, not just queued
}

void BM_FrameWithoutModel(benchmark::State &state)
{
    if (!g_scene->view.ok) return state.SkipWithError("no OpenGL context");
    const ModelArrays none;
    const scene::SceneInput in = Input(&none);
    for (auto _ : state)
        Frame(in);
}

void BM_FrameWithModel(benchmark::State &state)
{
    if (!g_scene->view.ok) return state.SkipWithError("no OpenGL context");
    const scene::SceneInput in = Input(&g_scene->arrays);
    for (auto _ : state)
        Frame(in);
    state.counters["faces"] = double(g_scene->arrays.corner_count() / 3);
}

// One glNormal and three glVertex calls per face, every frame.
void BM_FrameWithModelPerVertexCalls(benchmark::State &state)
{
    if (!g_scene->view.ok) return state.SkipWithError("no OpenGL context");
    const ModelArrays none;
    const scene::SceneInput in = Input(&none);
    const ModelArrays &a = g_scene->arrays;
    for (auto _ : state) {
        scene::BeginFrame();
        scene::DrawScene(in);
        glEnable(GL_LIGHTING);
        glEnable(GL_LIGHT0);
        glColorMaterial(GL_FRONT_AND_BACK, GL_AMBIENT_AND_DIFFUSE);
        glEnable(GL_COLOR_MATERIAL);
        glBegin(GL_TRIANGLES);
        for (std::size_t i = 0; i < a.corner_count(); i += 3) {
            glNormal3fv(&a.normals[3 * i]);
            glVertex3fv(&a.vertices[3 * i]);
            glVertex3fv(&a.vertices[3 * i + 3]);
            glVertex3fv(&a.vertices[3 * i + 6]);
        }
        glEnd();
        glDisable(GL_LIGHT0);
        glDisable(GL_LIGHTING);
        glFinish();
    }
    state.counters["faces"] = double(a.corner_count() / 3);
}

// Building the arrays, which the window does once per load.
void BM_BuildModelArrays(benchmark::State &state)
{
    ModelArrays a;
    for (auto _ : state) {
        BuildModelArrays(g_scene->mesh, a);
        benchmark::DoNotOptimize(a.vertices.data());
    }
}

} // namespace

BENCHMARK(BM_FrameWithoutModel)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_FrameWithModel)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_FrameWithModelPerVertexCalls)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_BuildModelArrays)->Unit(benchmark::kMillisecond);

int main(int argc, char **argv)
{
    if (!std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY")) {
        std::fprintf(stderr, "bench_frame needs a display: run it under xvfb-run -a\n");
        return 1;
    }
    QSurfaceFormat::setDefaultFormat(GLView::ViewFormat());
    QGuiApplication app(argc, argv);

    Scene s;
    g_scene = &s;
    if (s.view.Open(kWidth, kHeight)) {
        std::fprintf(stderr, "OpenGL: %s, %s\n", reinterpret_cast<const char *>(glGetString(GL_RENDERER)),
                     reinterpret_cast<const char *>(glGetString(GL_VERSION)));
    }

    planner::PatternInput in;
    planner::BuildPattern(in, s.pattern);     // the default 145 positions
    benchdata::MakeSphere(s.mesh, 500, 1000); // 1,000,000 faces
    BuildModelArrays(s.mesh, s.arrays);

    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
