// The generator with the densest pattern the window allows (1-degree steps,
// about 32 thousand points), building the text only and writing it too.

#include <benchmark/benchmark.h>

#include "planner/Pattern.h"

static void BM_BuildPattern(benchmark::State &state)
{
    planner::PatternInput in;
    in.horizontalStep = in.verticalStep = static_cast<int>(state.range(0));
    planner::PatternLists lists;
    for (auto _ : state) {
        std::string text = planner::BuildPattern(in, lists);
        benchmark::DoNotOptimize(text.data());
    }
    state.counters["points"] = static_cast<double>(lists.positions.size());
}
BENCHMARK(BM_BuildPattern)->Arg(15)->Arg(1);

static void BM_GenerateToFile(benchmark::State &state)
{
    planner::PatternInput in;
    in.horizontalStep = in.verticalStep = static_cast<int>(state.range(0));
    planner::PatternLists lists;
    for (auto _ : state) {
        planner::WriteResult r = planner::Generate(in, lists, "/tmp/quorvel-bench-acquisition.txt");
        if (!r.ok) state.SkipWithError(r.message().c_str());
    }
}
BENCHMARK(BM_GenerateToFile)->Arg(15)->Arg(1);

BENCHMARK_MAIN();
