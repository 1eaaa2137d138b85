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

namespace capture
{
namespace
{

// Pixels per work item of the shadow pass: a multiple of 64, so that the
// items of one light write disjoint words of its bits whatever the samples.
constexpr std::size_t kBand = 4096;

std::uint64_t Mix(std::uint64_t x)
{
    x += 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}

double Uniform(std::uint64_t h) { return double(h >> 11) * (1.0 / 9007199254740992.0); }

float Dot(const nuk::Point3f &a, const nuk::Point3f &b) { return a.x * b.x + a.y * b.y + a.z * b.z; }

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
    bool cancelled() const { return cancelled_; }

private:
    const Progress &progress_;
    std::size_t total_, done_ = 0;
    bool cancelled_ = false;
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
                samples_[i] = Sample{at + hit.geometric * offset, hit.normal, hit.albedo};
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

void Renderer::shadeBand(const nuk::Point3f &light, std::size_t p0, std::size_t p1, const std::uint64_t *bitsIn,
                         std::uint64_t *bitsOut, float *out, std::size_t &rays) const
{
    const std::size_t n = std::size_t(options_.samples);
    const float weight = 1.0f / float(n);
    const bool directional = options_.directional;
    nuk::Point3f toward = light;
    if (directional) {
        const float len = light.Norm();
        toward = len > 0 ? light / len : nuk::Point3f(0, 0, 1);
    }
    std::fill(out, out + 3 * (p1 - p0), 0.0f);

    RTCIntersectContext context;
    rtcInitIntersectContext(&context);
    context.flags = RTC_INTERSECT_CONTEXT_FLAG_COHERENT;
    alignas(64) RTCRay16 packet;
    alignas(64) int valid[16];
    std::size_t pendingIndex[16], pendingPixel[16];
    nuk::Point3f pendingValue[16];
    int pending = 0;
    const float far = directional ? std::numeric_limits<float>::infinity() : 1.0f;

    auto accept = [&](std::size_t i, std::size_t p, const nuk::Point3f &value) {
        float *o = out + 3 * (p - p0);
        o[0] += value.x;
        o[1] += value.y;
        o[2] += value.z;
        if (bitsOut) bitsOut[i / 64] |= std::uint64_t(1) << (i % 64);
    };
    auto flush = [&]() {
        if (pending == 0) return;
        for (int k = pending; k < 16; ++k)
            valid[k] = 0;
        rtcOccluded16(valid, scene_.handle(), &context, &packet);
        for (int k = 0; k < pending; ++k)
            if (packet.tfar[k] >= 0.0f) accept(pendingIndex[k], pendingPixel[k], pendingValue[k]);
        rays += std::size_t(pending);
        pending = 0;
    };

    for (std::size_t p = p0; p < p1; ++p)
        for (std::size_t s = 0; s < n; ++s) {
            const std::size_t i = p * n + s;
            if (!hit_[i]) continue;
            const Sample &sm = samples_[i];
            const nuk::Point3f d = directional ? toward : light - sm.origin;
            const float len2 = Dot(d, d);
            if (!(len2 > 0)) continue;
            const float len = std::sqrt(len2);
            const float cosine = Dot(sm.normal, d) / len;
            if (!(cosine > 0)) continue;
            const nuk::Point3f value = sm.albedo * (directional ? cosine * weight : cosine * weight / len2);
            if (bitsIn) {
                if (bitsIn[i / 64] >> (i % 64) & 1u) accept(i, p, value);
                continue;
            }
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
                ++rays;
                if (r.tfar >= 0.0f) accept(i, p, value);
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
            pendingValue[k] = value;
            if (pending == 16) flush();
        }
    flush();
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
    const std::size_t bands = (pixels + kBand - 1) / kBand;
    const int threads = ThreadCount(options_.threads);
    std::vector<std::uint64_t> bits;
    std::vector<std::vector<float>> candidates(static_cast<std::size_t>(threads));
    std::vector<std::size_t> lit(static_cast<std::size_t>(threads), 0), rays(static_cast<std::size_t>(threads), 0);
    const std::size_t keep =
        static_cast<std::size_t>(std::ceil(kExposureShare * double(maps_.objectPixels) * double(lights.size()))) + 1;
    try {
        bits.assign(words * lights.size(), 0);
    } catch (const std::bad_alloc &) {
        r.error = "not enough memory for the shadows of " + std::to_string(lights.size()) + " lights";
        return r;
    }

    ProgressGate gate(progress, lights.size() * bands + lights.size());
    // Pass 1: shadow rays, the bits, the exposure's candidates.
    bool done = RunItems(lights.size() * bands, threads, r.error, [&](std::size_t item, int t) {
        const std::size_t l = item / bands, b = item % bands;
        const std::size_t p0 = b * kBand, p1 = std::min(pixels, p0 + kBand);
        thread_local std::vector<float> out;
        out.resize(3 * kBand);
        shadeBand(lights[l], p0, p1, nullptr, bits.data() + l * words, out.data(), rays[std::size_t(t)]);
        std::vector<float> &c = candidates[std::size_t(t)];
        for (std::size_t p = p0; p < p1; ++p) {
            if (!maps_.masked(p)) continue;
            const float *o = out.data() + 3 * (p - p0);
            const float v = std::max({o[0], o[1], o[2]});
            if (!(v > 0)) continue;
            ++lit[std::size_t(t)];
            c.push_back(v);
        }
        if (c.size() > 2 * keep) {
            std::nth_element(c.begin(), c.begin() + std::ptrdiff_t(keep), c.end(), std::greater<float>());
            c.resize(keep);
        }
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

    // Pass 2: the images, shaded again from the bits.
    const float scale = static_cast<float>(r.exposure);
    done = RunItems(lights.size(), threads, r.error, [&](std::size_t l, int) {
        std::vector<float> image(3 * pixels);
        std::size_t none = 0;
        shadeBand(lights[l], 0, pixels, bits.data() + l * words, nullptr, image.data(), none);
        for (float &v : image)
            v *= scale;
        std::string message;
        if (sink && !sink(l, image, message)) throw std::runtime_error(message.empty() ? "stopped" : message);
        return gate.step();
    });
    if (!done) {
        r.cancelled = gate.cancelled();
        if (r.error.empty()) r.error = "cancelled";
        return r;
    }
    r.ok = true;
    return r;
}

} // namespace capture
