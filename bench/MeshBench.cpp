// Model import speed and memory, on the PLY reader's generated files
// (PlyBenchData.h: 2M vertices / 4M faces binary in both byte orders, 200k /
// 400k ASCII), side by side in one run and summarised as ratios:
//   page cache  the file's bytes read through a reused buffer
//   floor B     the file's bytes read into a freshly allocated buffer
//   floor A     (ASCII) every number of the data, already in memory, parsed
//               into flat arrays with fast_float and from_chars
//   LoadPly     the import alone, into an empty mesh
//   +ops        LoadPly, ComputeBoundingBox, ComputeFaceNormals(false),
//               ComputeVertexNormals(false): the window's model loading
//   peak        growth of the peak resident size during LoadPly, against the
//               mesh's own size (its two sequences)
// Times are this thread's processor time, user and system (page faults and
// copies from the page cache included).

#include <fcntl.h>
#include <malloc.h>
#include <unistd.h>

#include <charconv>
#include <ctime>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>
#include <fast_float/fast_float.h>

#include "BenchMesh.h"
#include "BenchSupport.h"
#include "nuk/Mesh/AMesh.h"
#include "PlyBenchData.h"
#include "nuk/Mesh/MeshPly.h"

namespace
{

enum Kind { kLittle, kBig, kAscii };
const char *kKindName[] = {"binary_le", "binary_be", "ascii"};

// The PLY reader's benchmark files.
std::string makeFile(Kind kind)
{
    const plybench::Files &f = plybench::Generate();
    return kind == kLittle ? f.le : kind == kBig ? f.be : f.ascii;
}

using benchsupport::Best;
using benchsupport::MiB;
using benchsupport::ResetPeak;
using benchsupport::StatusKiB;

// Seconds per iteration of each measurement (best of its iterations), for
// the summary.
std::map<std::string, double> g_seconds;
std::map<std::string, double> g_peakMiB, g_meshMiB;

std::string key(const char *what, Kind k) { return std::string(what) + "/" + kKindName[k]; }

// Processor time of this thread, user and system (page faults, copies from the
// page cache): other programs on a shared machine disturb it far less than
// wall time.
double now() { return benchsupport::CpuSeconds(CLOCK_THREAD_CPUTIME_ID); }

void BM_PageCacheRead(benchmark::State &state)
{
    const Kind kind = Kind(state.range(0));
    const std::string path = makeFile(kind);
    Best t;
    for (auto _ : state) {
        const double t0 = now();
        benchmark::DoNotOptimize(plybench::PageCacheRead(path));
        t.add(now() - t0);
    }
    g_seconds[key("page cache", kind)] = t.best;
}

void BM_FloorB(benchmark::State &state)
{
    const Kind kind = Kind(state.range(0));
    const std::string path = makeFile(kind);
    Best t;
    for (auto _ : state) {
        const double t0 = now();
        benchmark::DoNotOptimize(plybench::FloorB(path));
        t.add(now() - t0);
    }
    g_seconds[key("floor B", kind)] = t.best;
}

void BM_FloorA(benchmark::State &state)
{
    const plybench::Files &f = plybench::Generate();
    const std::string text = plybench::ReadWhole(f.ascii);
    Best t;
    for (auto _ : state) {
        plybench::FlatAscii flat;
        const double t0 = now();
        if (!plybench::FloorA(text, f.asciiVertices, f.asciiFaces, flat)) state.SkipWithError("parse failed");
        t.add(now() - t0);
        benchmark::DoNotOptimize(flat.ints.data());
    }
    g_seconds[key("floor A", kAscii)] = t.best;
}

void runLoad(benchmark::State &state, bool withOps)
{
    const Kind kind = Kind(state.range(0));
    const std::string path = makeFile(kind);
    Best t;
    double peak = 0, own = 0;
    for (auto _ : state) {
        state.PauseTiming();
        auto mesh = std::make_unique<AMesh>();
        malloc_trim(0);
        ResetPeak();
        const long base = StatusKiB("VmRSS:");
        state.ResumeTiming();
        const double t0 = now();
        if (nuk::LoadPly(*mesh, path.c_str()) != 0) state.SkipWithError("LoadPly failed");
        if (withOps) {
            nuk::ComputeBoundingBox(*mesh);
            nuk::ComputeFaceNormals(*mesh, false);
            nuk::ComputeVertexNormals(*mesh, false);
        }
        t.add(now() - t0);
        state.PauseTiming();
        peak = double(StatusKiB("VmHWM:") - base) / 1024.0;
        own = MiB(benchdata::MeshBytes(*mesh));
        state.counters["faces"] = double(mesh->face_count);
        mesh.reset();
        state.ResumeTiming();
    }
    g_seconds[key(withOps ? "LoadPly+ops" : "LoadPly", kind)] = t.best;
    if (!withOps) {
        g_peakMiB[kKindName[kind]] = peak;
        g_meshMiB[kKindName[kind]] = own;
        state.counters["peak_MiB"] = peak;
        state.counters["mesh_MiB"] = own;
    }
}

void BM_LoadPly(benchmark::State &state) { runLoad(state, false); }
void BM_LoadPlyAndOps(benchmark::State &state) { runLoad(state, true); }

// Each file's measurements run back to back.
void registerAll()
{
    for (int k : {kLittle, kBig, kAscii}) {
        const int n = 5;
        benchmark::RegisterBenchmark("PageCacheRead", BM_PageCacheRead)
            ->Arg(k)
            ->Iterations(n)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark("FloorB", BM_FloorB)->Arg(k)->Iterations(n)->Unit(benchmark::kMillisecond);
        if (k == kAscii)
            benchmark::RegisterBenchmark("FloorA", BM_FloorA)->Arg(k)->Iterations(n)->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark("LoadPly", BM_LoadPly)->Arg(k)->Iterations(n)->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark("LoadPlyAndOps", BM_LoadPlyAndOps)
            ->Arg(k)
            ->Iterations(n)
            ->Unit(benchmark::kMillisecond);
    }
}

void summary()
{
    std::printf("\nRatios (same run, best iteration of each):\n");
    for (int k : {kLittle, kBig, kAscii}) {
        const Kind kind = Kind(k);
        const auto s = [&](const char *w) { return g_seconds[key(w, kind)]; };
        if (s("LoadPly") <= 0) continue;
        std::printf("%-10s  floor B / page cache %.2f   LoadPly / floor B %.2f   LoadPly+ops / floor B %.2f   "
                    "LoadPly / page cache %.2f",
                    kKindName[k], s("floor B") / s("page cache"), s("LoadPly") / s("floor B"),
                    s("LoadPly+ops") / s("floor B"), s("LoadPly") / s("page cache"));
        if (kind == kAscii)
            std::printf("   LoadPly / floor A %.2f   LoadPly+ops / floor A %.2f", s("LoadPly") / s("floor A"),
                        s("LoadPly+ops") / s("floor A"));
        if (kind == kBig) std::printf("   big / little %.2f", s("LoadPly") / g_seconds[key("LoadPly", kLittle)]);
        const double mesh = g_meshMiB[kKindName[k]], peak = g_peakMiB[kKindName[k]];
        std::printf(
            "\n            peak growth %.1f MiB, mesh %.1f MiB: peak / mesh %.3f, (peak - 64 MiB) / mesh %.3f\n", peak,
            mesh, peak / mesh, (peak - 64) / mesh);
    }
}

} // namespace

int main(int argc, char **argv)
{
    // Every large block is a fresh mapping, returned when freed: each load
    // starts from the same state and the peak measures this load alone.
    mallopt(M_MMAP_THRESHOLD, 1 << 20);
    mallopt(M_TRIM_THRESHOLD, 1 << 20);
    // One load first, not measured: the first huge pages of a run may need
    // the kernel to compact memory.
    {
        AMesh warm;
        nuk::LoadPly(warm, makeFile(kLittle).c_str());
    }
    registerAll();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    summary();
    return 0;
}
