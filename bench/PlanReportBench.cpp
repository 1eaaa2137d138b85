// The plan report on the default plan and on the densest the window allows
// (1-degree steps, about 32 thousand positions, 18 thousand usable): the
// window recomputes it at every "Generate -->" and "Apply ->", so it has to
// stay well under a second.

#include <benchmark/benchmark.h>

#include "planner/PlanReport.h"

static void BM_PlanReport(benchmark::State &state)
{
    planner::PatternInput in;
    in.horizontalStep = in.verticalStep = static_cast<int>(state.range(0));
    planner::PatternLists lists;
    planner::BuildPattern(in, lists);
    int usable = 0;
    for (auto _ : state) {
        const planner::PlanReport r = planner::ComputePlanReport(in, lists.positions);
        usable = r.usable;
        benchmark::DoNotOptimize(r.largestEmptyCap);
    }
    state.counters["positions"] = static_cast<double>(lists.positions.size());
    state.counters["usable"] = usable;
}
BENCHMARK(BM_PlanReport)->Arg(15)->Arg(5)->Arg(1)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
