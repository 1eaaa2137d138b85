// The suggestion on the generated relief of about one million faces
// (ReliefModel.h, 707 x 707 cells, fitted to the 250 mm object, camera at
// 1000 mm): choosing 60 of about 1,000 usable candidates (a spiral from
// the base plane up at 1500 mm, less what the report flags) against one
// coverage analysis of all the candidates, side by side in one run:
//   analysis   coverage::Analyse() of every candidate
//   suggest    suggest::Suggest(): the visibility bits, the greedy choice,
//              the swaps and the even choice of the same size
// Times are best of the iterations, processor time of all threads (the
// ratio is taken on it) and wall clock.
//
// After the timings, the comparison for 60 photographs: the suggestion, the
// even choice, and the grid, rings, spiral and geodesic plans whose usable
// positions come nearest to 60, each analysed by coverage::Analyse (share
// of the visible area lit by at least 9, nearest-neighbour evenness).

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include <benchmark/benchmark.h>

#include "BenchSupport.h"
#include "nuk/Parallel.h"
#include "ReliefModel.h"
#include "coverage/Coverage.h"
#include "coverage/CoverageScene.h"
#include "planner/Plan.h"
#include "planner/Suggestion.h"
#include "suggest/Suggest.h"

namespace
{

constexpr int kCells = 707;
constexpr std::size_t kPhotographs = 60;
constexpr int kSpiral = 1420; // about 1,000 of them usable

using benchsupport::Best;

struct Timer {
    Best wall, cpu;
    double w0 = 0, c0 = 0;
    void start()
    {
        w0 = benchsupport::WallSeconds();
        c0 = benchsupport::CpuSeconds(CLOCK_PROCESS_CPUTIME_ID);
    }
    void stop()
    {
        cpu.add(benchsupport::CpuSeconds(CLOCK_PROCESS_CPUTIME_ID) - c0);
        wall.add(benchsupport::WallSeconds() - w0);
    }
};

struct Fixture {
    AMesh mesh;
    std::unique_ptr<coverage::CoverageScene> scene;
    planner::Plan plan;
    planner::Candidates candidates;
    coverage::Placement placement;
    suggest::SuggestResult result;
};

Fixture &fixture()
{
    static Fixture *f = [] {
        auto *fx = new Fixture;
        benchdata::MakeRelief(fx->mesh, kCells);
        std::string error;
        fx->scene = coverage::CoverageScene::Build(coverage::ModelGeometry::FromMesh(fx->mesh), error);
        if (!fx->scene) {
            std::fprintf(stderr, "scene: %s\n", error.c_str());
            std::exit(1);
        }
        fx->plan.layout = planner::DefaultCandidateLayout();
        fx->plan.layout.count = kSpiral;
        fx->plan.fitModel = true;
        planner::PatternLists lists;
        planner::BuildPlan(fx->plan, lists);
        fx->candidates = planner::UsableCandidates(fx->plan, lists);
        fx->placement = coverage::FitToObject(fx->mesh.box, float(fx->plan.input.objectSize));
        return fx;
    }();
    return *f;
}

std::map<std::string, Timer> g_times;

coverage::CoverageInput CoverageOf(const std::vector<nuk::Point3f> &positions, const std::vector<bool> &usable = {})
{
    const Fixture &fx = fixture();
    coverage::CoverageInput in;
    in.positions = positions;
    in.usable = usable;
    in.cameraDistance = float(fx.plan.input.cameraDistance);
    in.placement = fx.placement;
    return in;
}

void BM_AnalysisOfAllCandidates(benchmark::State &state)
{
    const Fixture &fx = fixture();
    const coverage::CoverageInput in = CoverageOf(fx.candidates.positions);
    Timer t;
    for (auto _ : state) {
        t.start();
        const coverage::CoverageResult r = coverage::Analyse(*fx.scene, in);
        t.stop();
        state.counters["segments"] = double(r.segments);
    }
    g_times["analysis"] = t;
    state.counters["candidates"] = double(fx.candidates.positions.size());
}

void BM_Suggest(benchmark::State &state)
{
    Fixture &fx = fixture();
    suggest::SuggestInput in;
    in.positions = fx.candidates.positions;
    in.directions = fx.candidates.directions;
    in.count = kPhotographs;
    in.cameraDistance = float(fx.plan.input.cameraDistance);
    in.placement = fx.placement;
    in.packets = state.range(0) != 0;
    Timer t;
    for (auto _ : state) {
        t.start();
        fx.result = suggest::Suggest(*fx.scene, in);
        t.stop();
        state.counters["segments"] = double(fx.result.segments);
    }
    g_times[in.packets ? "suggest" : "suggest, single segments"] = t;
}

struct Row {
    std::string name;
    std::size_t positions = 0, usable = 0;
    double reached = 0, evenness = 0;
};

Row Judge(const std::string &name, const planner::Plan &plan)
{
    const Fixture &fx = fixture();
    planner::PatternLists lists;
    planner::BuildPlan(plan, lists);
    const std::vector<bool> usable = planner::UsablePositions(plan, lists);
    const coverage::CoverageResult r = coverage::Analyse(*fx.scene, CoverageOf(lists.positions, usable));
    std::vector<nuk::Point3d> d;
    for (std::size_t i = 0; i < lists.positions.size(); ++i)
        if (usable[i]) {
            const nuk::Point3f &p = lists.positions[i];
            const double n = std::sqrt(double(p.x) * p.x + double(p.y) * p.y + double(p.z) * p.z);
            d.emplace_back(p.x / n, p.y / n, p.z / n);
        }
    Row row{name, lists.positions.size(), r.usablePositions, r.bandShare[coverage::kBandHsh], 0};
    if (const auto a = planner::NearestNeighbourAngles(d)) row.evenness = a->evenness();
    return row;
}

std::size_t UsableCount(const planner::Plan &plan)
{
    planner::PatternLists lists;
    planner::BuildPlan(plan, lists);
    const std::vector<bool> u = planner::UsablePositions(plan, lists);
    return std::size_t(std::count(u.begin(), u.end(), true));
}

// The plan of this kind, over its one size parameter, whose usable
// positions come nearest to the photographs.
template <class Set> planner::Plan Nearest(planner::Plan plan, int from, int to, Set set)
{
    planner::Plan best = plan;
    long bestGap = -1;
    for (int v = from; v <= to; ++v) {
        set(plan, v);
        const long gap = std::labs(long(UsableCount(plan)) - long(kPhotographs));
        if (bestGap < 0 || gap < bestGap) bestGap = gap, best = plan;
    }
    return best;
}

void summary()
{
    const Fixture &fx = fixture();
    const Timer &a = g_times["analysis"], &s = g_times["suggest"], &one = g_times["suggest, single segments"];
    std::printf("\nRelief of %zu faces; %zu of %zu candidates usable, %zu photographs, %u threads\n",
                fx.mesh.faces.size(), fx.candidates.positions.size(), fx.candidates.considered, kPhotographs,
                nuk::ThreadsOr(0));
    std::printf("analysis of all candidates %.2f s processor (%.2f s wall)\n", a.cpu.best, a.wall.best);
    std::printf("suggest %.2f s processor (%.2f s wall); with single segments %.2f s processor\n", s.cpu.best,
                s.wall.best, one.cpu.best);
    std::printf("suggest / analysis: %.3f (processor time), %.3f (wall); single / packets %.3f\n",
                s.cpu.best / a.cpu.best, s.wall.best / a.wall.best, one.cpu.best / s.cpu.best);

    std::vector<Row> rows;
    std::vector<nuk::Point3f> chosen, even;
    for (std::size_t i : fx.result.chosen)
        chosen.push_back(fx.candidates.positions[i]);
    for (std::size_t i : fx.result.even)
        even.push_back(fx.candidates.positions[i]);
    rows.push_back(Judge("suggested (k = 9)", planner::SuggestedPlan(fx.plan, chosen)));
    rows.push_back(Judge("even choice of the candidates", planner::SuggestedPlan(fx.plan, even)));
    planner::Plan base = fx.plan;
    base.layout = planner::LayoutInput{};
    rows.push_back(Judge("grid", Nearest(base, 10, 45, [](planner::Plan &p, int v) {
                             p.input.horizontalStep = p.input.verticalStep = v;
                         })));
    base.layout.kind = planner::LayoutKind::Rings;
    rows.push_back(Judge("rings", Nearest(base, 1, 12, [](planner::Plan &p, int v) { p.layout.rings = v; })));
    base.layout.kind = planner::LayoutKind::Spiral;
    rows.push_back(Judge("spiral", Nearest(base, 40, 120, [](planner::Plan &p, int v) { p.layout.count = v; })));
    base.layout.kind = planner::LayoutKind::Geodesic;
    rows.push_back(Judge("geodesic", Nearest(base, 1, 8, [](planner::Plan &p, int v) { p.layout.frequency = v; })));

    std::printf("\n| plan | positions | usable | visible area lit by >= 9 | evenness (max / min NN angle) |\n");
    std::printf("|---|---:|---:|---:|---:|\n");
    for (const Row &r : rows)
        std::printf("| %s | %zu | %zu | %.1f %% | %.2f |\n", r.name.c_str(), r.positions, r.usable, 100 * r.reached,
                    r.evenness);
}

} // namespace

BENCHMARK(BM_AnalysisOfAllCandidates)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Suggest)->Arg(1)->Arg(0)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

int main(int argc, char **argv)
{
    fixture();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    summary();
    return 0;
}
