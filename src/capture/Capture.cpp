#include "capture/Capture.h"

#include <algorithm>
#include <cmath>
#include <exception>
#include <limits>
#include <mutex>
#include <functional>
#include <new>
#include <stdexcept>

#include "nuk/Parallel.h"

#if defined(__SSE__)
#include <xmmintrin.h>
#endif

namespace capture
{
namespace
{

// Pixels per work item of the passes over the lights: a multiple of 64, so
// that the items of one light write disjoint words of its bits whatever the
// samples; at most kBand (the band's samples stay in the processor's cache
// while every light is traced over it), and small images still cut into
// enough items for the threads and the progress.
constexpr std::size_t kBand = 4096;
std::size_t BandPixels(std::size_t pixels)
{
    const std::size_t aim = (pixels / 128 + 63) / 64 * 64;
    return std::clamp<std::size_t>(aim, 64, kBand);
}
// Finished images held at once per thread before they go to the sink, and
// at most in all.
constexpr std::size_t kImagesPerThread = 2;
constexpr std::size_t kMaxInFlight = 64;

std::uint64_t Mix(std::uint64_t x)
{
    x += 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}

double Uniform(std::uint64_t h) { return double(h >> 11) * (1.0 / 9007199254740992.0); }

float Dot(const nuk::Point3f &a, const nuk::Point3f &b) { return a.x * b.x + a.y * b.y + a.z * b.z; }

Renderer::Sample Encode(const nuk::Point3f &origin, const nuk::Point3f &normal, const nuk::Point3f &albedo)
{
    Renderer::Sample s;
    s.origin = origin;
    for (int k = 0; k < 3; ++k) {
        s.normal[k] =
            static_cast<std::int16_t>(std::lround(std::clamp(normal[k], -1.0f, 1.0f) * Renderer::kNormalUnit));
        s.albedo[k] =
            static_cast<std::uint16_t>(std::lround(std::clamp(albedo[k], 0.0f, 1.0f) * Renderer::kAlbedoUnit));
    }
    return s;
}

// What a sample's value takes of its 16-bit normal and albedo back to 1.
constexpr float kUnits = 1.0f / (Renderer::kNormalUnit * Renderer::kAlbedoUnit);

int ThreadCount(int asked) { return static_cast<int>(nuk::ThreadsOr(asked > 0 ? unsigned(asked) : 0u)); }

template <class Work> bool RunItems(std::size_t count, int threads, std::string &error, Work work)
{
    return nuk::RunItems(count, static_cast<unsigned>(threads), error, "not enough memory for the capture", work);
}

// Serialises the progress calls of the workers and remembers a cancel.
class ProgressGate
{
public:
    ProgressGate(const Progress &p, std::size_t total) : progress_(p), total_(total) {}
    bool step()
    {
        std::lock_guard<std::mutex> g(lock_);
        ++done_;
        if (progress_ && !progress_(done_, total_)) cancelled_ = true;
        return !cancelled_;
    }
    bool cancelled() const { return cancelled_.load(); }

private:
    const Progress &progress_;
    std::size_t total_, done_ = 0;
    std::atomic<bool> cancelled_{false};
    std::mutex lock_;
};

} // namespace

Renderer::Renderer(const CaptureScene &scene, const Camera &camera, const CaptureOptions &options)
    : scene_(scene), camera_(camera), options_(options)
{
    options_.samples = std::clamp(options_.samples, 1, kMaxSamples);
    if (options_.packet != 1) options_.packet = 16;
}

void Renderer::SamplePoint(int x, int y, int s, double &u, double &v) const
{
    const int n = options_.samples;
    if (n == 1) {
        u = x + 0.5;
        v = y + 0.5;
        return;
    }
    // Strata of a near-square grid, one sample jittered in each.
    const int cols = static_cast<int>(std::ceil(std::sqrt(double(n))));
    const int rows = (n + cols - 1) / cols;
    const std::uint64_t pixel = std::uint64_t(y) * std::uint64_t(camera_.width) + std::uint64_t(x);
    const std::uint64_t h = Mix(Mix(options_.seed) ^ Mix(pixel * 64 + std::uint64_t(s)));
    u = x + ((s % cols) + Uniform(h)) / cols;
    v = y + ((s / cols) + Uniform(Mix(h))) / rows;
}

bool Renderer::TracePrimary(const Progress &progress, std::string &error)
{
    const int w = camera_.width, h = camera_.height, n = options_.samples;
    if (w <= 0 || h <= 0) {
        error = "the image has no pixels";
        return false;
    }
    const std::size_t pixels = std::size_t(w) * std::size_t(h);
    try {
        maps_ = Maps();
        maps_.width = w;
        maps_.height = h;
        maps_.normal.assign(3 * pixels, 0.0f);
        maps_.depth.assign(pixels, 0.0f);
        maps_.object.assign(pixels, 0.0f);
        samples_.assign(pixels * std::size_t(n), Sample{});
        hit_.assign(pixels * std::size_t(n), 0);
    } catch (const std::bad_alloc &) {
        error = "not enough memory for an image of " + std::to_string(w) + " x " + std::to_string(h) + " pixels";
        return false;
    }
    const float offset = scene_.surfaceOffset();
    const nuk::Point3<double> o = camera_.origin();
    ProgressGate gate(progress, std::size_t(h));
    const bool done = RunItems(std::size_t(h), ThreadCount(options_.threads), error, [&](std::size_t row, int) {
        RTCIntersectContext context;
        rtcInitIntersectContext(&context);
        const int y = static_cast<int>(row);
        for (int x = 0; x < w; ++x) {
            const std::size_t p = row * std::size_t(w) + std::size_t(x);
            nuk::Point3f nsum(0, 0, 0);
            double dsum = 0;
            int hits = 0, onModel = 0;
            for (int s = 0; s < n; ++s) {
                double u, v;
                SamplePoint(x, y, s, u, v);
                const nuk::Point3<double> d = camera_.Ray(u, v);
                RTCRayHit rh;
                rh.ray.org_x = float(o.x);
                rh.ray.org_y = float(o.y);
                rh.ray.org_z = float(o.z);
                rh.ray.dir_x = float(d.x);
                rh.ray.dir_y = float(d.y);
                rh.ray.dir_z = float(d.z);
                rh.ray.tnear = 0.0f;
                rh.ray.tfar = std::numeric_limits<float>::infinity();
                rh.ray.time = 0.0f;
                rh.ray.mask = 0xFFFFFFFFu;
                rh.ray.id = 0;
                rh.ray.flags = 0;
                rh.hit.geomID = RTC_INVALID_GEOMETRY_ID;
                rh.hit.instID[0] = RTC_INVALID_GEOMETRY_ID;
                rtcIntersect1(scene_.handle(), &context, &rh);
                if (rh.hit.geomID == RTC_INVALID_GEOMETRY_ID) continue;
                const nuk::Point3f dir(float(d.x), float(d.y), float(d.z));
                const CaptureScene::Hit hit = scene_.SurfaceAt(rh.hit.geomID, rh.hit.primID, rh.hit.u, rh.hit.v, dir);
                if (hit.surface == Surface::None) continue;
                const double t = rh.ray.tfar;
                const nuk::Point3f at(float(o.x + t * d.x), float(o.y + t * d.y), float(o.z + t * d.z));
                const std::size_t i = p * std::size_t(n) + std::size_t(s);
                hit_[i] = static_cast<std::uint8_t>(hit.surface);
                samples_[i] = Encode(at + hit.geometric * offset, hit.normal, hit.albedo);
                nsum += hit.normal;
                dsum += camera_.distance - double(at.z);
                ++hits;
                if (hit.surface == Surface::Model) ++onModel;
            }
            if (hits > 0) {
                const float len = nsum.Norm();
                if (len > 0) {
                    maps_.normal[3 * p] = nsum.x / len;
                    maps_.normal[3 * p + 1] = nsum.y / len;
                    maps_.normal[3 * p + 2] = nsum.z / len;
                }
                maps_.depth[p] = static_cast<float>(dsum / hits);
            }
            maps_.object[p] = float(onModel) / float(n);
        }
        return gate.step();
    });
    if (!done) {
        if (error.empty()) error = "cancelled";
        return false;
    }
    for (std::size_t p = 0; p < pixels; ++p)
        if (maps_.masked(p)) ++maps_.objectPixels;
    return true;
}

namespace
{

// Where a light comes from at a sample: the vector toward the lamp, or its
// unit direction for a light at infinity.
struct Toward {
    nuk::Point3f at;
    bool directional;
    explicit Toward(const nuk::Point3f &light, bool dir) : at(light), directional(dir)
    {
        if (!dir) return;
        const float len = light.Norm();
        at = len > 0 ? light / len : nuk::Point3f(0, 0, 1);
    }
    nuk::Point3f from(const nuk::Point3f &origin) const { return directional ? at : at - origin; }
};

// cos(incidence) / r^2 (no 1/r^2 for a light at infinity) times the
// sample's weight, from |d|^2 and n.d of the vector d toward the light: the
// sample's value is its albedo times this.
float Irradiance(float len2, float dot, float weight, bool directional)
{
    const float cosine = dot / std::sqrt(len2);
    return directional ? cosine * weight : cosine * weight / len2;
}

} // namespace

std::size_t Renderer::traceBand(const nuk::Point3f &light, std::size_t p0, std::size_t p1, std::uint64_t *bits,
                                float *out, std::size_t &rays) const
{
    const std::size_t n = std::size_t(options_.samples);
    const float weight = kUnits / float(n);
    const Toward toward(light, options_.directional);

    RTCIntersectContext context;
    rtcInitIntersectContext(&context);
    // No coherent hint: with the scene's compact and robust structure the
    // ray library's coherent packet path does not return.
    alignas(64) RTCRay16 packet;
    alignas(64) int valid[16];
    std::size_t pendingIndex[16], pendingPixel[16];
    float pendingValue[16];
    int pending = 0;
    std::size_t traced = 0; // counted here: the callers' counters of the threads share a cache line
    const float far = toward.directional ? std::numeric_limits<float>::infinity() : 1.0f;

    // An unshadowed sample: its bit, and, in the object's pixels (the only
    // ones the exposure looks at), its value into its pixel.
    std::size_t values = 0;
    auto accept = [&](std::size_t i, std::size_t p, float irradiance) {
        bits[i / 64] |= std::uint64_t(1) << (i % 64);
        if (!(irradiance > 0)) return;
        const std::uint16_t *a = samples_[i].albedo;
        if (n == 1) {
            // The pixel is its sample: no sum to wait for.
            const float v = float(std::max({a[0], a[1], a[2]})) * irradiance;
            if (v > 0) out[values++] = v;
            return;
        }
        float *o = out + 3 * (p - p0);
        o[0] += float(a[0]) * irradiance;
        o[1] += float(a[1]) * irradiance;
        o[2] += float(a[2]) * irradiance;
    };
    auto flush = [&]() {
        if (pending == 0) return;
        for (int k = pending; k < 16; ++k)
            valid[k] = 0;
        rtcOccluded16(valid, scene_.handle(), &context, &packet);
        for (int k = 0; k < pending; ++k)
            if (packet.tfar[k] >= 0.0f) accept(pendingIndex[k], pendingPixel[k], pendingValue[k]);
        traced += std::size_t(pending);
        pending = 0;
    };

    for (std::size_t p = p0; p < p1; ++p) {
        const bool object = maps_.masked(p);
        for (std::size_t i = p * n, end = i + n; i < end; ++i) {
            if (!hit_[i]) continue;
            const Sample &sm = samples_[i];
            const nuk::Point3f d = toward.from(sm.origin);
            const float len2 = Dot(d, d);
            const float dot = float(sm.normal[0]) * d.x + float(sm.normal[1]) * d.y + float(sm.normal[2]) * d.z;
            if (!(len2 > 0) || !(dot > 0)) continue;
            // Worked out while the rays before it are traced; 0 off the object.
            const float irradiance = object ? Irradiance(len2, dot, weight, toward.directional) : 0.0f;
            if (options_.packet == 1) {
                RTCRay r;
                r.org_x = sm.origin.x;
                r.org_y = sm.origin.y;
                r.org_z = sm.origin.z;
                r.dir_x = d.x;
                r.dir_y = d.y;
                r.dir_z = d.z;
                r.tnear = 0.0f;
                r.tfar = far;
                r.time = 0.0f;
                r.mask = 0xFFFFFFFFu;
                r.id = 0;
                r.flags = 0;
                rtcOccluded1(scene_.handle(), &context, &r);
                ++traced;
                if (r.tfar >= 0.0f) accept(i, p, irradiance);
                continue;
            }
            const int k = pending++;
            packet.org_x[k] = sm.origin.x;
            packet.org_y[k] = sm.origin.y;
            packet.org_z[k] = sm.origin.z;
            packet.dir_x[k] = d.x;
            packet.dir_y[k] = d.y;
            packet.dir_z[k] = d.z;
            packet.tnear[k] = 0.0f;
            packet.tfar[k] = far;
            packet.time[k] = 0.0f;
            packet.mask[k] = 0xFFFFFFFFu;
            packet.id[k] = 0;
            packet.flags[k] = 0;
            valid[k] = -1;
            pendingIndex[k] = i;
            pendingPixel[k] = p;
            pendingValue[k] = irradiance;
            if (pending == 16) flush();
        }
    }
    flush();
    rays += traced;
    return values;
}

namespace
{

// Four lights at once in pass 2: a value per light in the lanes.
using F4 = float __attribute__((vector_size(16)));
using I4 = std::int32_t __attribute__((vector_size(16)));
constexpr std::size_t kLanes = 4;

F4 Sqrt(F4 x)
{
#if defined(__SSE__)
    return F4(_mm_sqrt_ps(__m128(x)));
#else
    return F4{std::sqrt(x[0]), std::sqrt(x[1]), std::sqrt(x[2]), std::sqrt(x[3])};
#endif
}

} // namespace

void Renderer::shadeBand(const nuk::Point3f *lights, std::size_t count, const std::uint64_t *const *bits,
                         std::size_t p0, std::size_t p1, float scale, float *const *out) const
{
    const std::size_t n = std::size_t(options_.samples);
    const float weight = scale * kUnits / float(n);
    const bool directional = options_.directional;
    std::vector<float> spare; // where the lanes past the last light write
    for (std::size_t l0 = 0; l0 < count; l0 += kLanes) {
        const std::size_t lanes = std::min(kLanes, count - l0);
        // Lanes past the last light repeat it and stay dark.
        F4 lx, ly, lz;
        const std::uint64_t *laneBits[kLanes];
        float *laneOut[kLanes];
        I4 laneOn;
        if (lanes < kLanes) spare.resize(3 * (p1 - p0));
        for (std::size_t k = 0; k < kLanes; ++k) {
            const std::size_t l = l0 + std::min(k, lanes - 1);
            const Toward toward(lights[l], directional);
            lx[k] = toward.at.x;
            ly[k] = toward.at.y;
            lz[k] = toward.at.z;
            laneBits[k] = bits[l];
            laneOut[k] = k < lanes ? out[l] : spare.data();
            laneOn[k] = k < lanes ? -1 : 0;
        }
        // The samples word by word of the bits (a band starts on a word), the
        // pixel and the sample in it counted along.
        F4 r = {0, 0, 0, 0}, g = r, b = r;
        std::size_t p = p0, s = 0;
        for (std::size_t i = p0 * n, end = p1 * n; i < end;) {
            const std::size_t w = i / 64, wordEnd = std::min(end, (w + 1) * 64);
            const std::uint64_t w0 = laneBits[0][w], w1 = laneBits[1][w], w2 = laneBits[2][w], w3 = laneBits[3][w];
            for (; i < wordEnd; ++i) {
                const unsigned bit = unsigned(i % 64);
                const I4 lit = I4{-std::int32_t(w0 >> bit & 1u), -std::int32_t(w1 >> bit & 1u),
                                  -std::int32_t(w2 >> bit & 1u), -std::int32_t(w3 >> bit & 1u)} &
                               laneOn;
                if (lit[0] | lit[1] | lit[2] | lit[3]) {
                    // As Irradiance() works it out, lane by lane.
                    const Sample &sm = samples_[i];
                    const F4 dx = directional ? lx : lx - sm.origin.x;
                    const F4 dy = directional ? ly : ly - sm.origin.y;
                    const F4 dz = directional ? lz : lz - sm.origin.z;
                    const F4 len2 = dx * dx + dy * dy + dz * dz;
                    const F4 dot = float(sm.normal[0]) * dx + float(sm.normal[1]) * dy + float(sm.normal[2]) * dz;
                    const F4 cosine = dot / Sqrt(len2);
                    F4 irradiance = directional ? cosine * weight : cosine * weight / len2;
                    irradiance = F4(I4(irradiance) & lit);
                    r += float(sm.albedo[0]) * irradiance;
                    g += float(sm.albedo[1]) * irradiance;
                    b += float(sm.albedo[2]) * irradiance;
                }
                if (++s < n) continue;
                const std::size_t q = 3 * (p - p0);
                laneOut[0][q] = r[0], laneOut[0][q + 1] = g[0], laneOut[0][q + 2] = b[0];
                laneOut[1][q] = r[1], laneOut[1][q + 1] = g[1], laneOut[1][q + 2] = b[1];
                laneOut[2][q] = r[2], laneOut[2][q + 1] = g[2], laneOut[2][q + 2] = b[2];
                laneOut[3][q] = r[3], laneOut[3][q + 1] = g[3], laneOut[3][q + 2] = b[3];
                r = g = b = F4{0, 0, 0, 0};
                s = 0;
                ++p;
            }
        }
    }
}

std::size_t Renderer::bytes() const
{
    return samples_.capacity() * sizeof(Sample) + hit_.capacity() + bitsBytes_ +
           (maps_.normal.capacity() + maps_.depth.capacity() + maps_.object.capacity()) * sizeof(float) + imageBytes();
}

std::size_t Renderer::imageBytes() const
{
    std::size_t b = 0;
    for (const std::vector<float> &image : images_)
        b += image.capacity() * sizeof(float);
    return b;
}

CaptureResult Renderer::Render(const std::vector<nuk::Point3f> &lights, const ImageSink &sink, const Progress &progress)
{
    CaptureResult r;
    const std::size_t pixels = std::size_t(maps_.width) * std::size_t(maps_.height);
    if (pixels == 0 || hit_.empty()) {
        r.error = "the camera's rays are not traced";
        return r;
    }
    if (lights.empty()) {
        r.error = "there is no light to render";
        return r;
    }
    const std::size_t n = std::size_t(options_.samples);
    const std::size_t words = (pixels * n + 63) / 64;
    const std::size_t band = BandPixels(pixels);
    const std::size_t bands = (pixels + band - 1) / band;
    const int threads = ThreadCount(options_.threads);
    const std::size_t inFlight = std::min(
        {lights.size(), (kImagesPerThread * std::size_t(threads) + kLanes - 1) / kLanes * kLanes, kMaxInFlight});
    const std::size_t groups = (lights.size() + inFlight - 1) / inFlight;
    std::vector<std::uint64_t> bits;
    std::vector<std::vector<float>> candidates(static_cast<std::size_t>(threads));
    std::vector<float> floor(static_cast<std::size_t>(threads), 0.0f); // below this a value cannot be a candidate
    std::vector<std::size_t> lit(static_cast<std::size_t>(threads), 0), rays(static_cast<std::size_t>(threads), 0);
    const std::size_t keep =
        static_cast<std::size_t>(std::ceil(kExposureShare * double(maps_.objectPixels) * double(lights.size()))) + 1;
    try {
        bits.assign(words * lights.size(), 0);
        bitsBytes_ = bits.capacity() * sizeof(std::uint64_t);
    } catch (const std::bad_alloc &) {
        r.error = "not enough memory for the shadows of " + std::to_string(lights.size()) + " lights";
        return r;
    }

    ProgressGate gate(progress, bands + groups * bands + lights.size());
    // Pass 1, band by band, every light over the band: shadow rays, the
    // bits, the exposure's candidates.
    bool done = RunItems(bands, threads, r.error, [&](std::size_t b, int t) {
        const std::size_t p0 = b * band, p1 = std::min(pixels, p0 + band);
        thread_local std::vector<float> out;
        out.assign(3 * band, 0.0f); // read and cleared again after every light
        std::vector<float> &c = candidates[std::size_t(t)];
        float &least = floor[std::size_t(t)];
        std::size_t bandRays = 0, bandLit = 0;
        auto offer = [&](float v) { // a lit object pixel's largest channel
            ++bandLit;
            if (v >= least) c.push_back(v);
        };
        for (std::size_t l = 0; l < lights.size(); ++l) {
            const std::size_t values = traceBand(lights[l], p0, p1, bits.data() + l * words, out.data(), bandRays);
            if (n == 1)
                for (std::size_t k = 0; k < values; ++k)
                    offer(out[k]);
            else
                for (std::size_t p = p0; p < p1; ++p) {
                    float *o = out.data() + 3 * (p - p0);
                    const float v = std::max({o[0], o[1], o[2]});
                    o[0] = o[1] = o[2] = 0.0f;
                    if (v > 0) offer(v); // 0: off the object, or not lit
                }
            if (c.size() > 2 * keep) {
                std::nth_element(c.begin(), c.begin() + std::ptrdiff_t(keep), c.end(), std::greater<float>());
                c.resize(keep);
                least = *std::min_element(c.begin(), c.end());
            }
            if (gate.cancelled()) return false;
        }
        rays[std::size_t(t)] += bandRays;
        lit[std::size_t(t)] += bandLit;
        return gate.step();
    });
    for (std::size_t t = 0; t < lit.size(); ++t) {
        r.litPixels += lit[t];
        r.shadowRays += rays[t];
    }
    if (!done) {
        r.cancelled = gate.cancelled();
        if (r.error.empty()) r.error = "cancelled";
        return r;
    }
    if (r.litPixels == 0) {
        r.error = maps_.objectPixels == 0 ? "the model is not in the picture"
                                          : "no light reaches the part of the model the camera sees";
        return r;
    }
    if (options_.exposure > 0) {
        r.exposure = options_.exposure;
        r.brightest = kExposureWhite / options_.exposure;
        candidates.clear();
    }
    std::vector<float> all;
    for (std::vector<float> &c : candidates) {
        all.insert(all.end(), c.begin(), c.end());
        std::vector<float>().swap(c);
    }
    if (!(options_.exposure > 0)) {
        const std::size_t top =
            std::max<std::size_t>(1, static_cast<std::size_t>(std::ceil(kExposureShare * double(r.litPixels))));
        std::nth_element(all.begin(), all.begin() + std::ptrdiff_t(top - 1), all.end(), std::greater<float>());
        r.brightest = all[top - 1];
        r.exposure = kExposureWhite / r.brightest;
    }
    std::vector<float>().swap(all);

    // Pass 2, a few lights at a time: their images shaded again from the
    // bits band by band, the exposure applied, then handed over one per
    // thread.
    const float scale = static_cast<float>(r.exposure);
    std::vector<std::vector<float>> &images = images_;
    try {
        images.resize(inFlight);
        for (std::vector<float> &image : images)
            image.resize(3 * pixels);
    } catch (const std::bad_alloc &) {
        r.error =
            "not enough memory for " + std::to_string(inFlight) + " images of " + std::to_string(pixels) + " pixels";
        return r;
    }
    for (std::size_t g = 0; g < groups && done; ++g) {
        const std::size_t l0 = g * inFlight, count = std::min(inFlight, lights.size() - l0);
        done = RunItems(bands, threads, r.error, [&](std::size_t b, int) {
            const std::size_t p0 = b * band, p1 = std::min(pixels, p0 + band);
            const std::uint64_t *lightBits[kMaxInFlight];
            float *bandOut[kMaxInFlight];
            for (std::size_t k = 0; k < count; ++k) {
                lightBits[k] = bits.data() + (l0 + k) * words;
                bandOut[k] = images[k].data() + 3 * p0;
            }
            shadeBand(lights.data() + l0, count, lightBits, p0, p1, scale, bandOut);
            return gate.step();
        });
        if (!done) break;
        done = RunItems(count, threads, r.error, [&](std::size_t k, int) {
            std::string message;
            if (sink && !sink(l0 + k, images[k], message))
                throw std::runtime_error(message.empty() ? "stopped" : message);
            return gate.step();
        });
    }
    if (!done) {
        r.cancelled = gate.cancelled();
        if (r.error.empty()) r.error = "cancelled";
        return r;
    }
    r.ok = true;
    return r;
}

} // namespace capture
