#include "coverage/Coverage.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <vector>

#include "nuk/Parallel.h"

namespace coverage
{

Band BandOf(int lights)
{
    if (lights <= 0) return kBandNone;
    if (lights < kPtmLights) return kBandFew;
    if (lights < kHshLights) return kBandPtm;
    return kBandHsh;
}

const char *BandLabel(Band b)
{
    static const char *const labels[kBandCount] = {"0", "1-5", "6-8", ">= 9"};
    return b >= 0 && b < kBandCount ? labels[b] : "?";
}

namespace
{

bool Finite(const nuk::Point3f &p) { return std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z); }

// What one thread adds up over its samples; merged at the end.
struct Partial {
    std::vector<double> litArea; // per light, model units
    std::array<double, kBandCount> bandArea{};
    double visibleArea = 0;
    std::size_t visibleSamples = 0;
    std::uint64_t segments = 0;
};

} // namespace

CoverageResult Analyse(const CoverageScene &scene, const CoverageInput &input, const Progress &progress)
{
    CoverageResult out;
    const ModelGeometry &g = scene.geometry();
    const std::vector<nuk::Point3f> &normals = scene.normals();
    const std::vector<float> &areas = scene.areas();
    const std::size_t nv = g.positions.size();
    const Placement place = input.placement.IsValid() ? input.placement : Placement();
    const double areaScale = double(place.scale) * double(place.scale);

    // The plan moved into model coordinates; only the usable positions.
    out.positions.resize(input.positions.size());
    std::vector<nuk::Point3f> lights;
    std::vector<std::size_t> lightPosition;
    for (std::size_t i = 0; i < input.positions.size(); ++i) {
        const bool wanted = input.usable.empty() || (i < input.usable.size() && input.usable[i]);
        if (!wanted || !Finite(input.positions[i])) continue;
        const nuk::Point3f m = place.ToModel(input.positions[i]);
        if (!Finite(m)) continue;
        out.positions[i].usable = true;
        lights.push_back(m);
        lightPosition.push_back(i);
    }
    out.usablePositions = lights.size();
    const nuk::Point3f camera = place.ToModel(nuk::Point3f(0, 0, input.cameraDistance));
    const bool cameraOk = Finite(camera);

    out.samples = scene.sampleCount();
    out.modelArea = scene.totalArea() * areaScale;
    out.lights.assign(nv, kNotSeen);

    unsigned threads = nuk::ThreadsOr(input.threads);
    // Chunks of about the same number of segments, small enough that a
    // cancel is heard within a fraction of a second.
    const std::size_t perSample = lights.size() + 1;
    const std::size_t chunk = std::clamp<std::size_t>(200000 / perSample, 16, 4096);
    threads = static_cast<unsigned>(std::min<std::size_t>(threads, (nv + chunk - 1) / chunk));
    threads = std::max(1u, threads);

    std::atomic<std::size_t> next{0};
    std::atomic<std::size_t> finished{0};
    std::atomic<bool> stop{false};
    std::vector<Partial> partials(threads);
    const float offset = scene.surfaceOffset();
    std::int32_t *counts = out.lights.data();

    auto work = [&](unsigned t) {
        Partial &part = partials[t];
        part.litArea.assign(lights.size(), 0.0);
        SegmentQuery query(scene.handle());
        for (;;) {
            if (stop.load(std::memory_order_relaxed)) return;
            const std::size_t begin = next.fetch_add(chunk);
            if (begin >= nv) return;
            const std::size_t end = std::min(nv, begin + chunk);
            for (std::size_t i = begin; i < end; ++i) {
                const float area = areas[i];
                if (!(area > 0) || !cameraOk) continue;
                const nuk::Point3f &p = g.positions[i];
                const nuk::Point3f &n = normals[i];
                const nuk::Point3f from = p + n * offset;
                if (!(n * (camera - p) > 0)) continue;
                ++part.segments;
                if (query.Occluded(from, camera)) continue;
                int count = 0;
                for (std::size_t j = 0; j < lights.size(); ++j) {
                    const nuk::Point3f &l = lights[j];
                    if (!(n * (l - p) > 0)) continue;
                    ++part.segments;
                    if (query.Occluded(from, l)) continue;
                    ++count;
                    part.litArea[j] += area;
                }
                counts[i] = count;
                ++part.visibleSamples;
                part.visibleArea += area;
                part.bandArea[BandOf(count)] += area;
            }
            const std::size_t done = finished.fetch_add(end - begin) + (end - begin);
            if (t == 0 && progress && !progress(double(done) / double(nv))) stop.store(true);
        }
    };

    nuk::RunOnThreads(threads, work); // thread 0, this one, reports the progress
    out.cancelled = stop.load();

    std::vector<double> litArea(lights.size(), 0.0);
    for (const Partial &part : partials) {
        for (std::size_t j = 0; j < part.litArea.size(); ++j)
            litArea[j] += part.litArea[j];
        for (int b = 0; b < kBandCount; ++b)
            out.bandArea[b] += part.bandArea[b];
        out.visibleArea += part.visibleArea;
        out.visibleSamples += part.visibleSamples;
        out.segments += part.segments;
    }
    out.visibleArea *= areaScale;
    for (int b = 0; b < kBandCount; ++b) {
        out.bandArea[b] *= areaScale;
        out.bandShare[b] = out.visibleArea > 0 ? out.bandArea[b] / out.visibleArea : 0.0;
    }
    for (std::size_t j = 0; j < lights.size(); ++j) {
        PositionCoverage &pc = out.positions[lightPosition[j]];
        pc.litArea = litArea[j] * areaScale;
        pc.litShare = out.visibleArea > 0 ? pc.litArea / out.visibleArea : 0.0;
        if (pc.litShare < input.weakShare) out.weakPositions.push_back(lightPosition[j]);
    }
    if (progress && !out.cancelled) progress(1.0);
    return out;
}

} // namespace coverage
