// PLY reader speed against two floors, side by side in one run:
//   FloorB        the file read into a freshly allocated buffer of its size;
//   PageCacheRead the same bytes through one reused buffer (for scale);
//   FloorA        every number of the ASCII data parsed into a flat array;
//   Read*         Open, AddToRead of every property, SelectElement and
//                 ReadRecord over every record into a reused record.
// Compare Read/BinaryLE with FloorB, Read/BinaryBE with Read/BinaryLE and
// Read/Ascii with FloorA.

#include <benchmark/benchmark.h>

#include <cstddef>
#include <cstdint>

#include "PlyBenchData.h"
#include "nuk/tools/plylib.h"

using namespace nuk;

namespace
{

struct VertexRec {
    float x, y, z;
    uint8_t red, green, blue;
};

struct FaceRec {
    uint8_t count;
    int32_t indices[255];
};

// Reads the whole file; returns a checksum so nothing is optimised away.
long long ReadAll(const char *path)
{
    PlyFile f;
    if (f.Open(path, 0) != 0) return -1;
    const PropDescriptor vd[] = {
        {"vertex", "x", T_FLOAT, T_FLOAT, offsetof(VertexRec, x), 0, 0, 0, 0, 0, 0},
        {"vertex", "y", T_FLOAT, T_FLOAT, offsetof(VertexRec, y), 0, 0, 0, 0, 0, 0},
        {"vertex", "z", T_FLOAT, T_FLOAT, offsetof(VertexRec, z), 0, 0, 0, 0, 0, 0},
        {"vertex", "red", T_UCHAR, T_UCHAR, offsetof(VertexRec, red), 0, 0, 0, 0, 0, 0},
        {"vertex", "green", T_UCHAR, T_UCHAR, offsetof(VertexRec, green), 0, 0, 0, 0, 0, 0},
        {"vertex", "blue", T_UCHAR, T_UCHAR, offsetof(VertexRec, blue), 0, 0, 0, 0, 0, 0},
        {"face", "vertex_indices", T_INT, T_INT, offsetof(FaceRec, indices), 1, 0, T_UCHAR, T_UCHAR,
         offsetof(FaceRec, count), 0},
    };
    for (const PropDescriptor &d : vd)
        if (f.AddToRead(d) != 0) return -1;
    long long sum = 0;
    VertexRec v{};
    FaceRec face{};
    for (int i = 0; i < f.ElementCount(); ++i) {
        f.SelectElement(i);
        const int n = f.ElementNumber(i);
        const bool isVertex = f.elements[size_t(i)].name == "vertex";
        void *rec = isVertex ? static_cast<void *>(&v) : static_cast<void *>(&face);
        for (int r = 0; r < n; ++r)
            if (f.ReadRecord(rec) != 0) return -1;
        sum += isVertex ? static_cast<long long>(v.x) + v.red : face.indices[face.count ? face.count - 1 : 0];
    }
    return sum;
}

void Bytes(benchmark::State &state, long long size) { state.SetBytesProcessed(int64_t(state.iterations()) * size); }

void FloorB_BinaryLE(benchmark::State &state)
{
    const auto &files = plybench::Generate();
    for (auto _ : state)
        benchmark::DoNotOptimize(plybench::FloorB(files.le));
    Bytes(state, plybench::FileSize(files.le));
}

void PageCacheRead_BinaryLE(benchmark::State &state)
{
    const auto &files = plybench::Generate();
    for (auto _ : state)
        benchmark::DoNotOptimize(plybench::PageCacheRead(files.le));
    Bytes(state, plybench::FileSize(files.le));
}

void Read_BinaryLE(benchmark::State &state)
{
    const auto &files = plybench::Generate();
    for (auto _ : state) {
        const long long s = ReadAll(files.le.c_str());
        if (s < 0) state.SkipWithError("read failed");
        benchmark::DoNotOptimize(s);
    }
    Bytes(state, plybench::FileSize(files.le));
}

void Read_BinaryBE(benchmark::State &state)
{
    const auto &files = plybench::Generate();
    for (auto _ : state) {
        const long long s = ReadAll(files.be.c_str());
        if (s < 0) state.SkipWithError("read failed");
        benchmark::DoNotOptimize(s);
    }
    Bytes(state, plybench::FileSize(files.be));
}

void FloorA_Ascii(benchmark::State &state)
{
    const auto &files = plybench::Generate();
    const std::string text = plybench::ReadWhole(files.ascii);
    plybench::FlatAscii flat;
    for (auto _ : state) {
        if (!plybench::FloorA(text, files.asciiVertices, files.asciiFaces, flat)) state.SkipWithError("parse failed");
        benchmark::DoNotOptimize(flat.ints.data());
    }
    Bytes(state, (long long)text.size());
}

void Read_Ascii(benchmark::State &state)
{
    const auto &files = plybench::Generate();
    for (auto _ : state) {
        const long long s = ReadAll(files.ascii.c_str());
        if (s < 0) state.SkipWithError("read failed");
        benchmark::DoNotOptimize(s);
    }
    Bytes(state, plybench::FileSize(files.ascii));
}

} // namespace

BENCHMARK(FloorB_BinaryLE)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(PageCacheRead_BinaryLE)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(Read_BinaryLE)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(Read_BinaryBE)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(FloorA_Ascii)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(Read_Ascii)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);

BENCHMARK_MAIN();
