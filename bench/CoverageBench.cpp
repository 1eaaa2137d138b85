// The light coverage analysis on a generated relief of about one million
// faces (ReliefModel.h, 707 x 707 cells) against the default plan (145
// positions, camera at 1000 mm, the model fitted to the 250 mm object):
//   scene build  the geometry copied out of the mesh and the ray-query
//                scene built over it
//   analysis     Analyse(): facing tests, segments, counts, shares
//   floor        a bare loop of occlusion queries over exactly the segments
//                the analysis traced (from the same start points, on the
//                same number of threads, in the same chunks)
//   peak         growth of the peak resident size over scene build and
//                analysis, against the mesh's own size (its two sequences)
// Times are best of the iterations (on a shared machine other programs only
// ever add time), both as wall clock and as the processor time of all the
// process's threads; the ratio is taken on the latter, which other programs
// on a busy machine disturb far less.

#include <malloc.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <ctime>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "BenchSupport.h"
#include "nuk/Parallel.h"
#include "ReliefModel.h"
#include "coverage/Coverage.h"
#include "coverage/CoverageScene.h"
#include "planner/Pattern.h"

namespace
{

constexpr int kCells = 707;

using benchsupport::Best;
using benchsupport::MiB;
using benchsupport::ResetPeak;
using benchsupport::StatusKiB;

double now() { return benchsupport::WallSeconds(); }
double cpuNow() { return benchsupport::CpuSeconds(CLOCK_PROCESS_CPUTIME_ID); }

// Wall and processor time of one timed section.
struct Timer {
    Best wall, cpu;
    double w0 = 0, c0 = 0;
    void start()
    {
        w0 = now();
        c0 = cpuNow();
    }
    void stop()
    {
        cpu.add(cpuNow() - c0);
        wall.add(now() - w0);
    }
};

struct Fixture {
    AMesh mesh;
    std::unique_ptr<coverage::CoverageScene> scene;
    coverage::CoverageInput input;
    coverage::CoverageResult result;
    double peakMiB = 0, meshMiB = 0;
};

Fixture &fixture()
{
    static Fixture *f = [] {
        auto *fx = new Fixture;
        benchdata::MakeRelief(fx->mesh, kCells);
        fx->meshMiB = MiB(benchdata::MeshBytes(fx->mesh));
        planner::PatternLists lists;
        planner::BuildPattern(planner::PatternInput(), lists);
        fx->input.positions = lists.positions;
        fx->input.cameraDistance = 1000;
        fx->input.placement = coverage::FitToObject(fx->mesh.box, 250);

        // The peak of one whole run, scene and analysis, from a trimmed heap.
        malloc_trim(0);
        ResetPeak();
        const long base = StatusKiB("VmRSS:");
        std::string error;
        fx->scene = coverage::CoverageScene::Build(coverage::ModelGeometry::FromMesh(fx->mesh), error);
        if (!fx->scene) {
            std::fprintf(stderr, "scene: %s\n", error.c_str());
            std::exit(1);
        }
        fx->result = coverage::Analyse(*fx->scene, fx->input);
        fx->peakMiB = double(StatusKiB("VmHWM:") - base) / 1024.0;
        return fx;
    }();
    return *f;
}

std::map<std::string, Timer> g_times;

void BM_SceneBuild(benchmark::State &state)
{
    Fixture &fx = fixture();
    Timer t;
    for (auto _ : state) {
        t.start();
        std::string error;
        auto scene = coverage::CoverageScene::Build(coverage::ModelGeometry::FromMesh(fx.mesh), error);
        t.stop();
        benchmark::DoNotOptimize(scene.get());
    }
    g_times["scene build"] = t;
    state.counters["faces"] = double(fx.mesh.faces.size());
}

void BM_Analysis(benchmark::State &state)
{
    Fixture &fx = fixture();
    Timer t;
    std::uint64_t segments = 0;
    for (auto _ : state) {
        t.start();
        const coverage::CoverageResult r = coverage::Analyse(*fx.scene, fx.input);
        t.stop();
        segments = r.segments;
    }
    g_times["analysis"] = t;
    state.counters["segments"] = double(segments);
    state.counters["segments_per_s"] = double(segments) / t.wall.best;
}

// The segments the analysis traced, laid out flat: per sample its start
// point and a list of ends (0 the camera, j + 1 light j).
struct Segments {
    std::vector<nuk::Point3f> from;
    std::vector<nuk::Point3f> ends;
    std::vector<std::uint64_t> first; // per sample, into target
    std::vector<std::uint16_t> target;
};

Segments collect(const Fixture &fx)
{
    const coverage::CoverageScene &s = *fx.scene;
    const auto &g = s.geometry();
    const coverage::Placement &pl = fx.input.placement;
    Segments seg;
    seg.ends.push_back(pl.ToModel(nuk::Point3f(0, 0, fx.input.cameraDistance)));
    for (const nuk::Point3f &p : fx.input.positions)
        seg.ends.push_back(pl.ToModel(p));
    const std::size_t nv = g.positions.size();
    seg.from.resize(nv);
    seg.first.assign(nv + 1, 0);
    for (std::size_t i = 0; i < nv; ++i) {
        seg.first[i] = seg.target.size();
        const nuk::Point3f &p = g.positions[i], &n = s.normals()[i];
        seg.from[i] = p + n * s.surfaceOffset();
        if (!(s.areas()[i] > 0) || !(n * (seg.ends[0] - p) > 0)) continue;
        seg.target.push_back(0);
        if (fx.result.lights[i] == coverage::kNotSeen) continue;
        for (std::size_t j = 1; j < seg.ends.size(); ++j)
            if (n * (seg.ends[j] - p) > 0) seg.target.push_back(static_cast<std::uint16_t>(j));
    }
    seg.first[nv] = seg.target.size();
    return seg;
}

void BM_OcclusionFloor(benchmark::State &state)
{
    Fixture &fx = fixture();
    const Segments seg = collect(fx);
    const std::size_t nv = seg.from.size();
    const unsigned threads = nuk::ThreadsOr(0);
    const std::size_t chunk = std::clamp<std::size_t>(200000 / seg.ends.size(), 16, 4096);
    const RTCScene scene = fx.scene->handle();
    Timer t;
    std::uint64_t blocked = 0;
    for (auto _ : state) {
        std::atomic<std::size_t> next{0};
        std::atomic<std::uint64_t> hits{0};
        auto work = [&] {
            coverage::SegmentQuery query(scene);
            std::uint64_t local = 0;
            for (;;) {
                const std::size_t begin = next.fetch_add(chunk);
                if (begin >= nv) break;
                const std::size_t end = std::min(nv, begin + chunk);
                for (std::size_t i = begin; i < end; ++i) {
                    const nuk::Point3f &o = seg.from[i];
                    for (std::uint64_t k = seg.first[i]; k < seg.first[i + 1]; ++k) {
                        const nuk::Point3f &e = seg.ends[seg.target[k]];
                        local += query.Occluded(o, e);
                    }
                }
            }
            hits += local;
        };
        t.start();
        nuk::RunOnThreads(threads, [&](unsigned) { work(); });
        t.stop();
        blocked = hits.load();
    }
    g_times["floor"] = t;
    state.counters["segments"] = double(seg.target.size());
    state.counters["blocked"] = double(blocked);
    state.counters["segments_per_s"] = double(seg.target.size()) / t.wall.best;
}

void summary()
{
    const Fixture &fx = fixture();
    const coverage::CoverageResult &r = fx.result;
    const Timer &a = g_times["analysis"], &fl = g_times["floor"], &b = g_times["scene build"];
    std::printf("\nRelief of %zu faces, %zu samples (%zu seen by the camera), %zu positions, %u threads\n",
                fx.mesh.faces.size(), r.samples, r.visibleSamples, fx.input.positions.size(),
                nuk::ThreadsOr(0));
    std::printf("visible area lit by 0 / 1-5 / 6-8 / >= 9 positions: %.1f %% / %.1f %% / %.1f %% / %.1f %%\n",
                100 * r.bandShare[0], 100 * r.bandShare[1], 100 * r.bandShare[2], 100 * r.bandShare[3]);
    std::printf("scene build %.3f s wall, %.3f s processor\n", b.wall.best, b.cpu.best);
    std::printf("analysis %.3f s wall, %.3f s processor; floor %.3f s wall, %.3f s processor\n", a.wall.best,
                a.cpu.best, fl.wall.best, fl.cpu.best);
    std::printf("analysis / floor: %.3f (processor time), %.3f (wall)\n", a.cpu.best / fl.cpu.best,
                a.wall.best / fl.wall.best);
    std::printf("segments %llu: %.2f M/s wall in the analysis (%.2f M/s per processor second), %.2f M/s wall in "
                "the floor\n",
                static_cast<unsigned long long>(r.segments), double(r.segments) / a.wall.best / 1e6,
                double(r.segments) / a.cpu.best / 1e6, double(r.segments) / fl.wall.best / 1e6);
    std::printf("peak growth %.1f MiB (scene %.1f MiB), mesh %.1f MiB: peak / mesh %.3f\n", fx.peakMiB,
                MiB(fx.scene->bytes()), fx.meshMiB, fx.peakMiB / fx.meshMiB);
}

} // namespace

BENCHMARK(BM_SceneBuild)->Iterations(3)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Analysis)->Iterations(3)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_OcclusionFloor)->Iterations(3)->Unit(benchmark::kMillisecond)->UseRealTime();

int main(int argc, char **argv)
{
    // Every large block a fresh mapping, returned when freed, so the peak
    // measures this run alone.
    mallopt(M_MMAP_THRESHOLD, 1 << 20);
    mallopt(M_TRIM_THRESHOLD, 1 << 20);
    fixture();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    summary();
    return 0;
}
