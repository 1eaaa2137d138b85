// The predicted result on the generated relief of about one million faces
// (ReliefModel.h) fitted to the 250 mm object, with the default plan's 81
// usable lights, a 36 x 24 mm sensor behind a 50 mm lens, 1024 x 683
// pixels, 1 sample, point lamps:
//   capture   the capture's own time of the same set: the camera's rays and
//             both passes over the lights, the images handed to a sink that
//             drops them
//   predict   the whole prediction: the same set rendered and kept, the
//             fits, the 64 held-out directions rendered and compared
// The prediction's own work is what it adds to rendering: keeping the
// images (the plan's sink), the fits, and the comparison (the held-out
// sink). Its ratio to the capture is the figure to watch (goal 0.5 or
// less); the held-out renders are a second capture of 64 images and are
// given apart. Times are the best of the iterations, wall clock.
//
// `bench_predict --relief-ply PATH` writes the relief as a binary PLY and
// exits, for running quorvel-cli predict on the same model.

#include <cstdio>
#include <cstring>
#include <ctime>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <benchmark/benchmark.h>

#include "BenchSupport.h"
#include "ReliefScene.h"
#include "capture/Capture.h"
#include "capture/CaptureScene.h"
#include "coverage/Placement.h"
#include "planner/Plan.h"
#include "planner/Stage.h"
#include "predict/Predict.h"

namespace
{

using namespace benchsupport;

constexpr int kCells = 707;

using Fixture = benchdata::ReliefScene;

const Fixture &fixture()
{
    static Fixture *fx = benchdata::MakeReliefScene(kCells);
    return *fx;
}

capture::CaptureOptions Options()
{
    capture::CaptureOptions o;
    o.samples = 1;
    return o;
}

Best g_capture;
Best g_total, g_own, g_fit, g_store, g_compare, g_heldOut, g_render;
predict::Prediction g_last;

void BM_Capture(benchmark::State &state)
{
    const Fixture &fx = fixture();
    for (auto _ : state) {
        const double t0 = WallSeconds();
        capture::Renderer r(*fx.scene, fx.camera, Options());
        std::string error;
        if (!r.TracePrimary(nullptr, error)) state.SkipWithError(error.c_str());
        const capture::CaptureResult res = r.Render(
            fx.lights, [](std::size_t, const std::vector<float> &, std::string &) { return true; }, nullptr);
        g_capture.add(WallSeconds() - t0);
        if (!res.ok) state.SkipWithError(res.error.c_str());
    }
}

void BM_Predict(benchmark::State &state)
{
    const Fixture &fx = fixture();
    predict::PredictOptions opt;
    opt.capture = Options();
    const int threads = int(std::max(1u, std::thread::hardware_concurrency()));
    for (auto _ : state) {
        const double t0 = WallSeconds();
        predict::Prediction p = predict::Predict(*fx.scene, fx.camera, fx.lights, opt);
        g_total.add(WallSeconds() - t0);
        if (!p.ok) state.SkipWithError(p.error.c_str());
        // The sinks run on the renderer's threads: the plan's in parallel,
        // the comparison one image at a time.
        const double own = p.storeSeconds / threads + p.fitSeconds + p.compareSeconds;
        g_own.add(own);
        g_fit.add(p.fitSeconds);
        g_store.add(p.storeSeconds / threads);
        g_compare.add(p.compareSeconds);
        g_heldOut.add(p.heldOutSeconds);
        g_render.add(p.traceSeconds + p.renderSeconds);
        g_last = std::move(p);
    }
}

void summary()
{
    const Fixture &fx = fixture();
    const predict::Prediction &p = g_last;
    std::printf("\nRelief of %zu faces, %zu lights, %d x %d pixels (%zu on the object), 1 sample, %u threads\n",
                fx.faces, fx.lights.size(), fx.camera.width, fx.camera.height, p.objectPixels,
                std::max(1u, std::thread::hardware_concurrency()));
    std::printf("capture of the set %.3f s; prediction %.3f s in all (%.3f s rendering the set and keeping it, "
                "%.3f s the %zu held-out renders and their comparison)\n",
                g_capture.best, g_total.best, g_render.best, g_heldOut.best, p.heldOut.size());
    std::printf("the prediction's own work %.3f s: keeping the images %.3f s, fits %.3f s (%zu light sets "
                "factorised), comparison %.3f s\n",
                g_own.best, g_store.best, g_fit.best, p.lightSets, g_compare.best);
    std::printf("own work / capture: %.3f (goal 0.5 or less); whole prediction / capture: %.3f\n",
                g_own.best / g_capture.best, g_total.best / g_capture.best);
    std::printf("median normal error %.2f deg, 9 or more lights %.1f %%, PTM relighting median %.2f %%\n",
                p.normals.median, 100 * p.litShare[2], 100 * p.relight[predict::kPtm].median);
}

// The relief as a binary little-endian PLY.
int WriteRelief(const char *path)
{
    AMesh mesh;
    benchdata::MakeRelief(mesh, kCells);
    std::ofstream out(path, std::ios::binary);
    out << "ply\nformat binary_little_endian 1.0\ncomment generated relief of the benchmarks\nelement vertex "
        << mesh.vertices.size() << "\nproperty float x\nproperty float y\nproperty float z\nelement face "
        << mesh.faces.size() << "\nproperty list uchar int vertex_indices\nend_header\n";
    for (const AVertex &v : mesh.vertices) {
        const float xyz[3] = {v.position.x, v.position.y, v.position.z};
        out.write(reinterpret_cast<const char *>(xyz), sizeof xyz);
    }
    for (const AFace &f : mesh.faces) {
        const unsigned char three = 3;
        out.write(reinterpret_cast<const char *>(&three), 1);
        for (int j = 0; j < 3; ++j) {
            const std::int32_t i = std::int32_t(f.v[j] - mesh.vertices.data());
            out.write(reinterpret_cast<const char *>(&i), sizeof i);
        }
    }
    out.close();
    if (!out) {
        std::fprintf(stderr, "cannot write %s\n", path);
        return 1;
    }
    std::printf("wrote %zu faces to %s\n", mesh.faces.size(), path);
    return 0;
}

} // namespace

BENCHMARK(BM_Capture)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Predict)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

int main(int argc, char **argv)
{
    for (int i = 1; i + 1 < argc; ++i)
        if (std::strcmp(argv[i], "--relief-ply") == 0) return WriteRelief(argv[i + 1]);
    fixture();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    summary();
    return 0;
}
