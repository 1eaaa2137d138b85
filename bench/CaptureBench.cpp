// The virtual capture on the generated relief of about one million faces
// (ReliefModel.h) fitted to the 250 mm object, with the default plan's
// usable lights, a 36 x 24 mm sensor behind a 50 mm lens, 1024 x 683
// pixels, 1 sample:
//   capture        the camera's rays, both passes over the lights, the
//                  images handed to a sink that drops them
//   capture single the same with one shadow ray per query instead of 16
//   all            every position of the plan (145), at 1 and 4 samples
//   floor          a bare loop of the same primary rays and the same shadow
//                  rays (packets of 16, band by band as the capture orders
//                  them) on as many threads; capture and floor run in turn,
//                  four times each, the best of each taken
// Times are best of the iterations, wall clock and processor time of the
// whole process; the ratios are taken on processor time.

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <limits>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "BenchSupport.h"
#include "nuk/Parallel.h"
#include "ReliefScene.h"
#include "capture/Capture.h"
#include "capture/CaptureScene.h"
#include "coverage/Placement.h"
#include "planner/Pattern.h"
#include "planner/Plan.h"
#include "planner/Stage.h"

namespace
{

using namespace benchsupport;

constexpr int kCells = 707;

struct Timer {
    Best wall, cpu;
    double w0 = 0, c0 = 0;
    void start()
    {
        w0 = WallSeconds();
        c0 = CpuSeconds(CLOCK_PROCESS_CPUTIME_ID);
    }
    void stop()
    {
        cpu.add(CpuSeconds(CLOCK_PROCESS_CPUTIME_ID) - c0);
        wall.add(WallSeconds() - w0);
    }
};
std::map<std::string, Timer> g_times;
std::map<std::string, std::size_t> g_rays;
// Memory of the last capture at a number of samples and lights: the
// renderer's, of which the images in flight.
std::map<std::pair<int, std::size_t>, std::pair<std::size_t, std::size_t>> g_bytes;

using Fixture = benchdata::ReliefScene;

const Fixture &fixture()
{
    static Fixture *fx = benchdata::MakeReliefScene(kCells);
    return *fx;
}

capture::CaptureOptions Options(int packet, int samples = 1)
{
    capture::CaptureOptions o;
    o.samples = samples;
    o.packet = packet;
    return o;
}

// One capture of the lights; false (error says why) when it fails.
bool CaptureOnce(const std::vector<nuk::Point3f> &lights, int packet, int samples, Timer &t, Timer &primary,
                 std::size_t &rays, std::string &error)
{
    const Fixture &fx = fixture();
    t.start();
    primary.start();
    capture::Renderer r(*fx.scene, fx.camera, Options(packet, samples));
    if (!r.TracePrimary(nullptr, error)) return false;
    primary.stop();
    const capture::CaptureResult res = r.Render(
        lights, [](std::size_t, const std::vector<float> &, std::string &) { return true; }, nullptr);
    t.stop();
    g_bytes[{samples, lights.size()}] = {r.bytes(), r.imageBytes()};
    error = res.error;
    rays = res.shadowRays;
    return res.ok;
}

void Capture(benchmark::State &state, int packet, const char *name, bool all = false, int samples = 1)
{
    const Fixture &fx = fixture();
    Timer t, primary;
    std::size_t rays = 0;
    for (auto _ : state) {
        std::string error;
        if (!CaptureOnce(all ? fx.all : fx.lights, packet, samples, t, primary, rays, error))
            state.SkipWithError(error.c_str());
    }
    g_times[name] = t;
    g_rays[name] = rays;
    state.counters["shadow_rays"] = double(rays);
}

void BM_CaptureSingleRays(benchmark::State &state) { Capture(state, 1, "capture single"); }
// Every position of the plan (145), the flagged ones too: the whole set's time.
void BM_CaptureAll(benchmark::State &state) { Capture(state, 16, "all 1", true, 1); }
void BM_CaptureAll4(benchmark::State &state) { Capture(state, 16, "all 4", true, 4); }

// The bare loop: the camera's rays, then the shadow rays in packets of 16.
std::size_t FloorOnce(Timer &t, Timer &primaryTime)
{
    const Fixture &fx = fixture();
    // The renderer's own hits give the same shadow rays' starts; the floor
    // traces the primary rays again itself.
    capture::Renderer ref(*fx.scene, fx.camera, Options(16));
    std::string error;
    ref.TracePrimary(nullptr, error);
    const auto &samples = ref.samples();
    const auto &hit = ref.hit();
    const capture::Camera &cam = fx.camera;
    const unsigned threads = nuk::ThreadsOr(0);
    const RTCScene scene = fx.scene->handle();
    std::size_t rays = 0;
    {
        std::atomic<std::size_t> nextRow{0}, nextBand{0}, total{0};
        auto primary = [&] {
            RTCIntersectContext ctx;
            rtcInitIntersectContext(&ctx);
            for (;;) {
                const std::size_t y = nextRow.fetch_add(1);
                if (y >= std::size_t(cam.height)) break;
                for (int x = 0; x < cam.width; ++x) {
                    const nuk::Point3<double> d = cam.Ray(x + 0.5, double(y) + 0.5);
                    RTCRayHit rh{};
                    rh.ray.org_z = float(cam.distance);
                    rh.ray.dir_x = float(d.x);
                    rh.ray.dir_y = float(d.y);
                    rh.ray.dir_z = float(d.z);
                    rh.ray.tfar = std::numeric_limits<float>::infinity();
                    rh.ray.mask = 0xFFFFFFFFu;
                    rh.hit.geomID = RTC_INVALID_GEOMETRY_ID;
                    rtcIntersect1(scene, &ctx, &rh);
                    benchmark::DoNotOptimize(rh.hit.geomID);
                }
            }
        };
        // Shadow rays band by band, every light over a band, as the capture
        // orders them.
        auto shadows = [&] {
            RTCIntersectContext ctx;
            rtcInitIntersectContext(&ctx); // no coherent hint, as the capture
            alignas(64) RTCRay16 p;
            alignas(64) int valid[16];
            std::size_t local = 0;
            constexpr std::size_t kBandPixels = 4096;
            const std::size_t pixels = samples.size();
            for (;;) {
                const std::size_t b = nextBand.fetch_add(1);
                if (b * kBandPixels >= pixels) break;
                const std::size_t p0 = b * kBandPixels, p1 = std::min(pixels, p0 + kBandPixels);
                for (const nuk::Point3f &light : fx.lights) {
                    int n = 0;
                    auto flush = [&] {
                        for (int k = n; k < 16; ++k)
                            valid[k] = 0;
                        rtcOccluded16(valid, scene, &ctx, &p);
                        benchmark::DoNotOptimize(p.tfar[0]);
                        local += std::size_t(n);
                        n = 0;
                    };
                    for (std::size_t i = p0; i < p1; ++i) {
                        if (!hit[i]) continue;
                        const nuk::Point3f d = light - samples[i].origin;
                        const std::int16_t *nn = samples[i].normal;
                        if (!(float(nn[0]) * d.x + float(nn[1]) * d.y + float(nn[2]) * d.z > 0)) continue;
                        p.org_x[n] = samples[i].origin.x;
                        p.org_y[n] = samples[i].origin.y;
                        p.org_z[n] = samples[i].origin.z;
                        p.dir_x[n] = d.x;
                        p.dir_y[n] = d.y;
                        p.dir_z[n] = d.z;
                        p.tnear[n] = 0;
                        p.tfar[n] = 1;
                        p.time[n] = 0;
                        p.mask[n] = 0xFFFFFFFFu;
                        p.id[n] = 0;
                        p.flags[n] = 0;
                        valid[n] = -1;
                        if (++n == 16) flush();
                    }
                    if (n) flush();
                }
            }
            total += local;
        };
        t.start();
        primaryTime.start();
        nuk::RunOnThreads(threads, [&](unsigned) { primary(); });
        primaryTime.stop();
        nuk::RunOnThreads(threads, [&](unsigned) { shadows(); });
        t.stop();
        rays = total.load();
    }
    return rays;
}

// The capture and the floor in turn, so that both see the machine alike;
// the best of the turns of each.
void BM_CaptureBesideFloor(benchmark::State &state)
{
    const Fixture &fx = fixture();
    Timer c, cp, f, fp;
    std::size_t rays = 0, floorRays = 0;
    for (auto _ : state) {
        std::string error;
        if (!CaptureOnce(fx.lights, 16, 1, c, cp, rays, error)) state.SkipWithError(error.c_str());
        floorRays = FloorOnce(f, fp);
    }
    g_times["capture"] = c;
    g_times["capture primary"] = cp;
    g_times["floor"] = f;
    g_times["floor primary"] = fp;
    g_rays["capture"] = rays;
    g_rays["floor"] = floorRays;
    state.counters["shadow_rays"] = double(rays);
}

void summary()
{
    const Fixture &fx = fixture();
    const Timer &c = g_times["capture"], &s = g_times["capture single"], &f = g_times["floor"];
    std::printf("\nRelief of %zu faces, %zu lights, %d x %d pixels, 1 sample, %u threads\n", fx.faces, fx.lights.size(),
                fx.camera.width, fx.camera.height, nuk::ThreadsOr(0));
    std::printf("capture %.3f s wall, %.3f s processor (%.3f s wall per image); floor %.3f s wall, %.3f s processor\n",
                c.wall.best, c.cpu.best, c.wall.best / double(fx.lights.size()), f.wall.best, f.cpu.best);
    std::printf("capture / floor: %.3f (processor time), %.3f (wall)\n", c.cpu.best / f.cpu.best,
                c.wall.best / f.wall.best);
    const Timer &cp = g_times["capture primary"], &fp = g_times["floor primary"];
    std::printf("  camera rays: capture %.3f s processor, floor %.3f s; the rest: capture %.3f s, floor %.3f s\n",
                cp.cpu.best, fp.cpu.best, c.cpu.best - cp.cpu.best, f.cpu.best - fp.cpu.best);
    std::printf("shadow rays %zu (floor %zu): packets %.2f M per processor second in the capture, single rays %.2f M "
                "(capture single %.3f s processor; packets / single speed %.3f)\n",
                g_rays["capture"], g_rays["floor"], double(g_rays["capture"]) / c.cpu.best / 1e6,
                double(g_rays["capture single"]) / s.cpu.best / 1e6, s.cpu.best, s.cpu.best / c.cpu.best);
    const Timer &a1 = g_times["all 1"], &a4 = g_times["all 4"];
    std::printf("all %zu positions: %.3f s wall at 1 sample (%.3f s per image), %.3f s wall at 4 samples (%.3f s per "
                "image)\n",
                fx.all.size(), a1.wall.best, a1.wall.best / double(fx.all.size()), a4.wall.best,
                a4.wall.best / double(fx.all.size()));
    // Against the goal: at most twice the model as loaded plus the images in
    // flight.
    const double mb = 1e6, mesh = double(fx.meshBytes) / mb, scene = double(fx.scene->bytes()) / mb;
    for (const auto &[key, b] : g_bytes) {
        const auto [samples, lights] = key;
        const double renderer = double(b.first) / mb, images = double(b.second) / mb;
        std::printf(
            "memory, %zu lights at %d sample%s: scene %.1f MB + renderer %.1f MB (images in flight %.1f MB) = %.1f MB; "
            "mesh %.1f MB, goal 2 x mesh + images %.1f MB: %.2f of it\n",
            lights, samples, samples == 1 ? "" : "s", scene, renderer, images, scene + renderer, mesh,
            2 * mesh + images, (scene + renderer) / (2 * mesh + images));
    }
}

} // namespace

BENCHMARK(BM_CaptureBesideFloor)->Iterations(4)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_CaptureSingleRays)->Iterations(2)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_CaptureAll)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_CaptureAll4)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

int main(int argc, char **argv)
{
    fixture();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    summary();
    return 0;
}
