#include "suggest/Suggest.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <limits>
#include <memory>
#include <thread>

#include <embree3/rtcore.h>

#include "nuk/Parallel.h"

namespace suggest
{

namespace
{

bool Finite(const nuk::Point3f &p) { return std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z); }

double Dot(const nuk::Point3d &a, const nuk::Point3d &b) { return a.x * b.x + a.y * b.y + a.z * b.z; }

// Samples a worker takes at a time: neighbouring vertices, so that one
// candidate's segments from them run side by side and go as packets.
constexpr std::size_t kChunk = 64;
constexpr int kPacket = 16;
// Gains this close to the best count as equal, and evenness decides.
constexpr double kTie = 1e-3;
constexpr int kSwapPasses = 4;
constexpr std::size_t kNear = 12;

// Sixteen segments to one end point at a time.
class Packets
{
public:
    Packets(RTCScene scene, bool packets)
        : scene_(scene), single_(packets ? nullptr : new coverage::SegmentQuery(scene))
    {
        rtcInitIntersectContext(&context_);
        // Not the coherent mode: the ray library's coherent packet
        // traversal never returns on some scenes of walls meeting a floor.
        context_.flags = RTC_INTERSECT_CONTEXT_FLAG_INCOHERENT;
    }

    // Queues the segment from..to; done(k) is told later whether it is clear.
    template <class Done> void add(const nuk::Point3f &from, const nuk::Point3f &to, std::size_t tag, Done &&done)
    {
        if (single_) {
            ++segments;
            if (!single_->Occluded(from, to)) done(tag);
            return;
        }
        const int k = pending_++;
        packet_.org_x[k] = from.x;
        packet_.org_y[k] = from.y;
        packet_.org_z[k] = from.z;
        packet_.dir_x[k] = to.x - from.x;
        packet_.dir_y[k] = to.y - from.y;
        packet_.dir_z[k] = to.z - from.z;
        packet_.tnear[k] = 0.0f;
        packet_.tfar[k] = 1.0f;
        packet_.time[k] = 0.0f;
        packet_.mask[k] = 0xFFFFFFFFu;
        packet_.id[k] = 0;
        packet_.flags[k] = 0;
        tags_[k] = tag;
        if (pending_ == kPacket) flush(done);
    }

    template <class Done> void flush(Done &&done)
    {
        if (pending_ == 0) return;
        for (int k = 0; k < kPacket; ++k)
            valid_[k] = k < pending_ ? -1 : 0;
        rtcOccluded16(valid_, scene_, &context_, &packet_);
        for (int k = 0; k < pending_; ++k)
            if (packet_.tfar[k] >= 0.0f) done(tags_[k]);
        segments += std::uint64_t(pending_);
        pending_ = 0;
    }

    std::uint64_t segments = 0;

private:
    RTCScene scene_;
    std::unique_ptr<coverage::SegmentQuery> single_;
    RTCIntersectContext context_;
    alignas(64) RTCRay16 packet_;
    alignas(64) int valid_[kPacket];
    std::size_t tags_[kPacket];
    int pending_ = 0;
};

} // namespace

Visibility ComputeVisibility(const coverage::CoverageScene &scene, const SuggestInput &input,
                             const coverage::Progress &progress)
{
    Visibility v;
    const coverage::ModelGeometry &g = scene.geometry();
    const std::vector<nuk::Point3f> &normals = scene.normals();
    const std::vector<float> &areas = scene.areas();
    const std::size_t nv = g.positions.size();
    const coverage::Placement place = input.placement.IsValid() ? input.placement : coverage::Placement();
    const double areaScale = double(place.scale) * double(place.scale);

    const std::size_t nc = input.positions.size();
    v.candidates = nc;
    v.words = (nc + 63) / 64;
    std::vector<nuk::Point3f> lights(nc);
    std::vector<char> lightOk(nc, 0);
    for (std::size_t j = 0; j < nc; ++j) {
        lights[j] = place.ToModel(input.positions[j]);
        lightOk[j] = Finite(input.positions[j]) && Finite(lights[j]);
    }
    const nuk::Point3f camera = place.ToModel(nuk::Point3f(0, 0, input.cameraDistance));
    if (!Finite(camera)) return v;

    // Per chunk of vertices, its visible samples' rows; joined in vertex
    // order at the end, so the result does not depend on the threads.
    const std::size_t chunks = (nv + kChunk - 1) / kChunk;
    struct ChunkRows {
        std::vector<std::uint32_t> vertex;
        std::vector<double> area;
        std::vector<std::uint64_t> bits;
    };
    std::vector<ChunkRows> rows(chunks);
    unsigned threads = nuk::ThreadsOr(input.threads);
    threads = std::max(1u, std::min<unsigned>(threads, static_cast<unsigned>(std::max<std::size_t>(1, chunks))));
    std::atomic<std::size_t> next{0}, finished{0};
    std::atomic<std::uint64_t> segments{0};
    std::atomic<bool> stop{false};
    const float offset = scene.surfaceOffset();

    auto work = [&](unsigned t) {
        Packets packets(scene.handle(), input.packets);
        std::vector<nuk::Point3f> from;
        for (;;) {
            if (stop.load(std::memory_order_relaxed)) break;
            const std::size_t c = next.fetch_add(1);
            if (c >= chunks) break;
            const std::size_t begin = c * kChunk, end = std::min(nv, begin + kChunk);
            ChunkRows &out = rows[c];
            // The camera's segments first: only what it sees counts.
            std::vector<char> seen(end - begin, 0);
            for (std::size_t i = begin; i < end; ++i) {
                const nuk::Point3f &p = g.positions[i], &n = normals[i];
                if (!(areas[i] > 0) || !(n * (camera - p) > 0)) continue;
                packets.add(p + n * offset, camera, i - begin, [&](std::size_t k) { seen[k] = 1; });
            }
            packets.flush([&](std::size_t k) { seen[k] = 1; });
            from.clear();
            std::vector<std::size_t> local;
            for (std::size_t i = begin; i < end; ++i)
                if (seen[i - begin]) {
                    local.push_back(i);
                    out.vertex.push_back(static_cast<std::uint32_t>(i));
                    out.area.push_back(double(areas[i]) * areaScale);
                    from.push_back(g.positions[i] + normals[i] * offset);
                }
            out.bits.assign(local.size() * v.words, 0);
            // One candidate at a time over the chunk's samples: coherent packets.
            for (std::size_t j = 0; j < nc; ++j) {
                if (!lightOk[j]) continue;
                auto done = [&](std::size_t k) { out.bits[k * v.words + j / 64] |= std::uint64_t(1) << (j % 64); };
                for (std::size_t k = 0; k < local.size(); ++k) {
                    const std::size_t i = local[k];
                    if (!(normals[i] * (lights[j] - g.positions[i]) > 0)) continue;
                    packets.add(from[k], lights[j], k, done);
                }
                packets.flush(done);
            }
            const std::size_t done = finished.fetch_add(end - begin) + (end - begin);
            if (t == 0 && progress && !progress(double(done) / double(nv))) stop.store(true);
        }
        segments.fetch_add(packets.segments);
    };
    nuk::RunOnThreads(threads, work); // thread 0, this one, reports the progress
    v.cancelled = stop.load();
    v.segments = segments.load();

    for (ChunkRows &r : rows) {
        v.vertex.insert(v.vertex.end(), r.vertex.begin(), r.vertex.end());
        v.area.insert(v.area.end(), r.area.begin(), r.area.end());
        v.bits.insert(v.bits.end(), r.bits.begin(), r.bits.end());
        std::vector<std::uint64_t>().swap(r.bits);
    }
    for (double a : v.area)
        v.visibleArea += a;
    return v;
}

Figures FiguresOf(const Visibility &v, const std::vector<nuk::Point3d> &directions,
                  const std::vector<std::size_t> &chosen, int minLights)
{
    Figures f;
    f.positions = chosen.size();
    std::vector<nuk::Point3d> d;
    for (std::size_t c : chosen)
        d.push_back(directions[c]);
    f.evenness = planner::EvennessOf(d);
    if (!(v.visibleArea > 0)) return f;
    std::array<double, coverage::kBandCount> area{};
    double reached = 0;
    for (std::size_t s = 0; s < v.samples(); ++s) {
        int n = 0;
        for (std::size_t c : chosen)
            n += v.lit(s, c);
        area[coverage::BandOf(n)] += v.area[s];
        if (n >= minLights) reached += v.area[s];
    }
    for (int b = 0; b < coverage::kBandCount; ++b)
        f.bandShare[b] = area[b] / v.visibleArea;
    f.reached = reached / v.visibleArea;
    return f;
}

namespace
{

// Calls f(candidate) for every bit set in a sample's row.
template <class F> void ForEachLit(const Visibility &v, std::size_t s, F &&f)
{
    const std::uint64_t *row = &v.bits[s * v.words];
    for (std::size_t w = 0; w < v.words; ++w)
        for (std::uint64_t b = row[w]; b; b &= b - 1)
            f(w * 64 + static_cast<std::size_t>(__builtin_ctzll(b)));
}

// The largest cosine to the chosen: smaller is farther, more even.
double Crowding(const std::vector<nuk::Point3d> &dirs, const std::vector<std::size_t> &chosen, std::size_t c,
                std::size_t except = std::numeric_limits<std::size_t>::max())
{
    double m = -2.0;
    for (std::size_t o : chosen)
        if (o != except && o != c) m = std::max(m, Dot(dirs[c], dirs[o]));
    return m;
}

} // namespace

std::vector<std::size_t> Choose(const Visibility &v, const std::vector<nuk::Point3d> &dirs, std::size_t count,
                                int minLights, const coverage::Progress &progress)
{
    const std::size_t nc = dirs.size();
    std::vector<std::size_t> chosen;
    if (count >= nc) {
        for (std::size_t c = 0; c < nc; ++c)
            chosen.push_back(c);
        return chosen;
    }
    const std::size_t ns = v.samples();
    const int k = std::max(1, minLights);
    std::vector<int> counts(ns, 0);
    std::vector<char> taken(nc, 0);

    // Greedy on the counts capped at k: a candidate is worth the area it
    // lights that has fewer than k lights yet. The worth only falls as
    // samples fill up, so it is kept up to date as they do.
    std::vector<double> gain(nc, 0.0);
    for (std::size_t s = 0; s < ns; ++s)
        ForEachLit(v, s, [&](std::size_t c) { gain[c] += v.area[s]; });
    while (chosen.size() < count) {
        double best = -1;
        for (std::size_t c = 0; c < nc; ++c)
            if (!taken[c]) best = std::max(best, gain[c]);
        // Among the (nearly) best, the one farthest from those chosen; the
        // first of all, the one nearest the camera axis.
        std::size_t pick = nc;
        double pickCrowd = 0;
        for (std::size_t c = 0; c < nc; ++c) {
            if (taken[c] || gain[c] < best - kTie * std::max(best, 1e-300)) continue;
            const double crowd = chosen.empty() ? -dirs[c].z : Crowding(dirs, chosen, c);
            if (pick == nc || crowd < pickCrowd) pick = c, pickCrowd = crowd;
        }
        chosen.push_back(pick);
        taken[pick] = 1;
        for (std::size_t s = 0; s < ns; ++s)
            if (v.lit(s, pick) && ++counts[s] == k) ForEachLit(v, s, [&](std::size_t c) { gain[c] -= v.area[s]; });
        if (progress && !progress(0.5 * double(chosen.size()) / double(count))) break;
    }

    // Swaps on the share itself: a chosen candidate out, the one that then
    // brings most area to k in; ties for evenness.
    const std::vector<std::vector<std::size_t>> near = planner::NearCandidates(dirs, kNear);
    auto reachedArea = [&] {
        double r = 0;
        for (std::size_t s = 0; s < ns; ++s)
            if (counts[s] >= k) r += v.area[s];
        return r;
    };
    double reached = reachedArea();
    std::vector<double> into(nc);
    std::vector<nuk::Point3d> trial;
    for (int pass = 0; pass < kSwapPasses && chosen.size() == count; ++pass) {
        bool changed = false;
        for (std::size_t slot = 0; slot < chosen.size(); ++slot) {
            if (progress && !progress(0.5 + 0.5 * (pass + double(slot) / double(chosen.size())) / kSwapPasses))
                return std::sort(chosen.begin(), chosen.end()), chosen;
            const std::size_t out = chosen[slot];
            std::fill(into.begin(), into.end(), 0.0);
            double without = 0;
            for (std::size_t s = 0; s < ns; ++s) {
                const int c = counts[s] - (v.lit(s, out) ? 1 : 0);
                if (c >= k)
                    without += v.area[s];
                else if (c == k - 1)
                    ForEachLit(v, s, [&](std::size_t b) { into[b] += v.area[s]; });
            }
            double bestValue = reached;
            std::size_t in = out;
            // The evenness of the choice with the slot's candidate, worked
            // out only when a tie asks for it.
            double inScore = std::numeric_limits<double>::quiet_NaN();
            auto scoreWith = [&](std::size_t b) {
                trial.clear();
                for (std::size_t o : chosen)
                    trial.push_back(dirs[o == out ? b : o]);
                return planner::EvenScore(trial);
            };
            const double tol = 1e-9 * std::max(reached, 1e-300);
            for (std::size_t b = 0; b < nc; ++b) {
                if (taken[b]) continue;
                const double value = without + into[b];
                if (value < bestValue - tol) continue;
                if (value > bestValue + tol) {
                    bestValue = value;
                    in = b;
                    inScore = std::numeric_limits<double>::quiet_NaN();
                    continue;
                }
                // An equal share: only a near candidate, and only if the
                // choice gets more even with it.
                if (std::find(near[out].begin(), near[out].end(), b) == near[out].end()) continue;
                if (std::isnan(inScore)) inScore = scoreWith(in);
                const double score = scoreWith(b);
                if (score > inScore + 1e-12) {
                    in = b;
                    inScore = score;
                }
            }
            if (in == out) continue;
            for (std::size_t s = 0; s < ns; ++s)
                counts[s] += (v.lit(s, in) ? 1 : 0) - (v.lit(s, out) ? 1 : 0);
            taken[out] = 0;
            taken[in] = 1;
            chosen[slot] = in;
            reached = reachedArea();
            changed = true;
        }
        if (!changed) break;
    }
    std::sort(chosen.begin(), chosen.end());
    return chosen;
}

SuggestResult Suggest(const coverage::CoverageScene &scene, const SuggestInput &input,
                      const coverage::Progress &progress)
{
    SuggestResult r;
    // Tracing is by far the largest part of the work.
    constexpr double kTrace = 0.9;
    auto part = [&progress](double from, double to) -> coverage::Progress {
        if (!progress) return {};
        return [&progress, from, to](double done) { return progress(from + (to - from) * done); };
    };
    const Visibility v = ComputeVisibility(scene, input, part(0.0, kTrace));
    r.visibleArea = v.visibleArea;
    r.visibleSamples = v.samples();
    r.segments = v.segments;
    if (v.cancelled) {
        r.cancelled = true;
        return r;
    }
    bool stopped = false;
    const coverage::Progress choosing = part(kTrace, 0.98);
    r.chosen = Choose(v, input.directions, input.count, input.minLights, [&](double d) {
        if (choosing && !choosing(d)) stopped = true;
        return !stopped;
    });
    if (stopped) {
        r.cancelled = true;
        return r;
    }
    r.even = planner::SelectEven(input.directions, input.count, [&](double d) {
        if (progress && !progress(0.98 + 0.02 * d)) stopped = true;
        return !stopped;
    });
    r.cancelled = stopped;
    r.suggested = FiguresOf(v, input.directions, r.chosen, input.minLights);
    r.evenFigures = FiguresOf(v, input.directions, r.even, input.minLights);
    // Ties go to evenness: when the even choice reaches as much, it is the one.
    if (!r.cancelled && r.even.size() == r.chosen.size() && r.evenFigures.reached >= r.suggested.reached - 1e-12 &&
        r.chosen != r.even) {
        r.chosen = r.even;
        r.suggested = r.evenFigures;
    }
    if (progress && !r.cancelled) progress(1.0);
    return r;
}

} // namespace suggest
