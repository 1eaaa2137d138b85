#include "predict/Predict.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <exception>
#include <limits>
#include <mutex>
#include <new>
#include <thread>
#include <unordered_map>

#include "nuk/Parallel.h"
#include "nuk/Pi.h"
#include "planner/PlanReport.h"

namespace predict
{
namespace
{

using nuk::kPi;
using nuk::Point3d;
constexpr double kDeg = kPi / 180.0;
constexpr int kTerms = 6 + 4 + 9; // every model's coefficients, side by side
constexpr int kTermOffset[kModels] = {0, 6, 10};
constexpr std::size_t kChunk = 1024; // pixels per work item of the fits
// A thread's cache of factorised light sets is emptied past this size, so
// that a plan of many lights on a noisy model cannot fill the memory.
constexpr std::size_t kMaxCached = 1u << 17;

double Seconds() { return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count(); }

int ThreadCount(int asked) { return static_cast<int>(nuk::ThreadsOr(asked > 0 ? unsigned(asked) : 0u)); }

template <class Work> bool RunItems(std::size_t count, int threads, std::string &error, Work work)
{
    return nuk::RunItems(count, static_cast<unsigned>(threads), error, "not enough memory for the prediction", work);
}

// The steps' shares of the progress, out of kUnits.
constexpr std::size_t kUnits = 1000;
struct Stage {
    std::size_t from, share;
};
constexpr Stage kTrace{0, 100}, kPlanRender{100, 450}, kFit{550, 100}, kHeldOutRender{650, 350};

// One progress for the whole prediction over the steps' own.
class Steps
{
public:
    explicit Steps(const Progress &p) : progress_(p) {}
    Progress stage(Stage s)
    {
        if (!progress_) return nullptr;
        return [this, s](std::size_t done, std::size_t total) {
            std::lock_guard<std::mutex> g(lock_);
            const std::size_t at = s.from + (total ? s.share * std::min(done, total) / total : 0);
            if (!progress_(at, kUnits)) cancelled_ = true;
            return !cancelled_;
        };
    }
    bool cancelled() const { return cancelled_; }

private:
    const Progress &progress_;
    std::mutex lock_;
    bool cancelled_ = false;
};

float Luminance(const float *rgb) { return 0.2126f * rgb[0] + 0.7152f * rgb[1] + 0.0722f * rgb[2]; }

// As a 16-bit linear PNG of the capture holds the value.
std::uint16_t To16(float v) { return static_cast<std::uint16_t>(std::lround(std::clamp(v, 0.0f, 1.0f) * 65535.0f)); }

// The rows of every model's system for a direction, side by side.
std::array<double, kTerms> Rows(const Point3d &d)
{
    std::array<double, kTerms> r{};
    const std::array<double, 6> p = planner::PtmRow(d);
    std::copy(p.begin(), p.end(), r.begin());
    const std::vector<double> h2 = planner::HshRow(d, 2), h3 = planner::HshRow(d, 3);
    std::copy(h2.begin(), h2.end(), r.begin() + kTermOffset[kHsh2]);
    std::copy(h3.begin(), h3.end(), r.begin() + kTermOffset[kHsh3]);
    return r;
}

struct LightSet {
    bool solvable = false;
    Cholesky factor;
};

} // namespace

bool Cholesky::Factor(const double *a, int n)
{
    if (n < 1 || n > kMax) return false;
    n_ = n;
    double largest = 0;
    for (int i = 0; i < n; ++i)
        largest = std::max(largest, std::fabs(a[i * n + i]));
    // A pivot this small against the diagonal is a condition above about a
    // million in the system's own terms: the plan report's "cannot fit".
    const double floor = 1e-12 * largest;
    for (int j = 0; j < n; ++j) {
        double d = a[j * n + j];
        for (int k = 0; k < j; ++k)
            d -= l_[j * kMax + k] * l_[j * kMax + k];
        if (!(d > floor)) return false;
        const double s = std::sqrt(d);
        l_[j * kMax + j] = s;
        for (int i = j + 1; i < n; ++i) {
            double v = a[i * n + j];
            for (int k = 0; k < j; ++k)
                v -= l_[i * kMax + k] * l_[j * kMax + k];
            l_[i * kMax + j] = v / s;
        }
    }
    return true;
}

void Cholesky::Solve(const double *b, double *x) const
{
    double y[kMax];
    for (int i = 0; i < n_; ++i) {
        double v = b[i];
        for (int k = 0; k < i; ++k)
            v -= l_[i * kMax + k] * y[k];
        y[i] = v / l_[i * kMax + i];
    }
    for (int i = n_ - 1; i >= 0; --i) {
        double v = y[i];
        for (int k = i + 1; k < n_; ++k)
            v -= l_[k * kMax + i] * x[k];
        x[i] = v / l_[i * kMax + i];
    }
}

std::vector<Point3d> HeldOutDirections(int n, double minElevation, const std::vector<Point3d> &plan)
{
    std::vector<Point3d> best;
    if (n <= 0) return best;
    const double z0 = std::sin(std::clamp(minElevation, 0.0, 90.0) * kDeg);
    const double golden = kPi * (3.0 - std::sqrt(5.0));
    double bestNearest = -1;
    // Turns of the whole spiral: the one whose closest approach to a plan
    // light is the widest.
    constexpr int kTurns = 64;
    for (int t = 0; t < kTurns; ++t) {
        std::vector<Point3d> dirs;
        double nearest = kPi;
        for (int i = 0; i < n; ++i) {
            const double z = z0 + (1.0 - z0) * (i + 0.5) / n;
            const double r = std::sqrt(std::max(0.0, 1.0 - z * z));
            const double a = i * golden + 2.0 * kPi * t / kTurns;
            const Point3d d(r * std::cos(a), r * std::sin(a), z);
            for (const Point3d &p : plan)
                nearest = std::min(nearest, std::acos(std::clamp(d.x * p.x + d.y * p.y + d.z * p.z, -1.0, 1.0)));
            dirs.push_back(d);
        }
        if (nearest > bestNearest) {
            bestNearest = nearest;
            best = std::move(dirs);
        }
    }
    return best;
}

ErrorFigures Figures(const std::vector<float> &values, const std::vector<double> &thresholds)
{
    ErrorFigures f;
    f.fitted = true;
    f.thresholds = thresholds;
    std::vector<float> v;
    v.reserve(values.size());
    for (float x : values)
        if (!std::isnan(x)) v.push_back(x);
    f.pixels = v.size();
    f.above.assign(thresholds.size(), 0.0);
    if (v.empty()) return f;
    auto rank = [&](double q) {
        const std::size_t k =
            std::min(v.size() - 1, static_cast<std::size_t>(std::floor(q * double(v.size() - 1) + 0.5)));
        std::nth_element(v.begin(), v.begin() + std::ptrdiff_t(k), v.end());
        return double(v[k]);
    };
    f.median = rank(0.5);
    f.p95 = rank(0.95);
    for (std::size_t i = 0; i < thresholds.size(); ++i) {
        std::size_t n = 0;
        for (float x : v)
            if (x > thresholds[i]) ++n;
        f.above[i] = double(n) / double(v.size());
    }
    return f;
}

Prediction Predict(const capture::CaptureScene &scene, const capture::Camera &camera,
                   const std::vector<nuk::Point3f> &lights, const PredictOptions &options, const Progress &progress)
{
    Prediction r;
    r.lights = lights.size();
    if (lights.empty()) {
        r.error = "the plan has no usable light";
        return r;
    }
    const int threads = ThreadCount(options.capture.threads);
    Steps steps(progress);
    auto stopped = [&](const std::string &why) {
        r.cancelled = steps.cancelled();
        r.error = why.empty() || r.cancelled ? "cancelled" : why;
        return r;
    };

    // The fits' directions: from the object's centre, as in a light file.
    const std::size_t L = lights.size();
    std::vector<Point3d> dirs(L);
    double meanDistance = 0;
    r.minElevation = 90;
    for (std::size_t k = 0; k < L; ++k) {
        const Point3d p(lights[k].x, lights[k].y, lights[k].z);
        const double len = std::sqrt(p.x * p.x + p.y * p.y + p.z * p.z);
        if (!(len > 0)) {
            r.error = "light " + std::to_string(k + 1) + " stands at the object's centre";
            return r;
        }
        dirs[k] = Point3d(p.x / len, p.y / len, p.z / len);
        meanDistance += len / double(L);
        r.minElevation = std::min(r.minElevation, std::asin(std::clamp(dirs[k].z, -1.0, 1.0)) / kDeg);
    }
    r.minElevation = options.heldOutFrom >= 0 ? std::min(options.heldOutFrom, 89.0) : std::max(0.0, r.minElevation);
    r.lightDistance = meanDistance;
    r.heldOut = HeldOutDirections(std::max(1, options.heldOut), r.minElevation, dirs);

    capture::CaptureOptions co = options.capture;
    co.exposure = 0;
    capture::Renderer renderer(scene, camera, co);
    double t0 = Seconds();
    std::string error;
    if (!renderer.TracePrimary(steps.stage(kTrace), error)) return stopped(error);
    r.traceSeconds = Seconds() - t0;
    const capture::Maps &maps = renderer.maps();
    r.width = maps.width;
    r.height = maps.height;
    r.objectPixels = maps.objectPixels;
    if (maps.objectPixels == 0) {
        r.error = "the model is not in the picture: the camera sees none of it";
        return r;
    }
    const std::size_t pixels = std::size_t(maps.width) * std::size_t(maps.height);
    std::vector<std::uint32_t> onObject;
    std::vector<std::uint16_t> values; // per object pixel, every light's value
    const std::size_t M = maps.objectPixels;
    try {
        onObject.reserve(M);
        for (std::size_t p = 0; p < pixels; ++p)
            if (maps.masked(p)) onObject.push_back(std::uint32_t(p));
        values.assign(M * L, 0);
    } catch (const std::bad_alloc &) {
        r.error = "not enough memory for " + std::to_string(L) + " lights at " + std::to_string(maps.width) + " x " +
                  std::to_string(maps.height) + " pixels: lower the resolution";
        return r;
    }

    // The plan's set, kept as the files would hold it.
    std::atomic<double> storeTotal{0};
    t0 = Seconds();
    const capture::CaptureResult plan = renderer.Render(
        lights,
        [&](std::size_t l, const std::vector<float> &rgb, std::string &) {
            const double s0 = Seconds();
            std::uint16_t *out = values.data() + l;
            for (std::size_t m = 0; m < M; ++m)
                out[m * L] = To16(Luminance(rgb.data() + 3 * std::size_t(onObject[m])));
            double expected = storeTotal.load();
            const double spent = Seconds() - s0;
            while (!storeTotal.compare_exchange_weak(expected, expected + spent)) {
            }
            return true;
        },
        steps.stage(kPlanRender));
    r.renderSeconds = Seconds() - t0;
    r.storeSeconds = storeTotal.load();
    if (!plan.ok) return stopped(plan.error);
    r.exposure = plan.exposure;

    // The models' systems over all the plan's lights: one factorisation each,
    // the pseudo-inverse's rows side by side.
    std::array<bool, kModels> fitted{};
    std::vector<float> pinv(std::size_t(kTerms) * L, 0.0f);
    {
        std::vector<std::array<double, kTerms>> rows(L);
        for (std::size_t k = 0; k < L; ++k)
            rows[k] = Rows(dirs[k]);
        for (int m = 0; m < kModels; ++m) {
            const int n = kModelTerms[m], o = kTermOffset[m];
            double a[Cholesky::kMax * Cholesky::kMax] = {};
            for (std::size_t k = 0; k < L; ++k)
                for (int i = 0; i < n; ++i)
                    for (int j = 0; j < n; ++j)
                        a[i * n + j] += rows[k][std::size_t(o + i)] * rows[k][std::size_t(o + j)];
            Cholesky c;
            fitted[std::size_t(m)] = std::size_t(n) <= L && c.Factor(a, n);
            if (!fitted[std::size_t(m)]) continue;
            for (std::size_t k = 0; k < L; ++k) {
                double x[Cholesky::kMax];
                c.Solve(rows[k].data() + o, x);
                for (int i = 0; i < n; ++i)
                    pinv[std::size_t(o + i) * L + k] = static_cast<float>(x[i]);
            }
            ++r.lightSets;
        }
    }

    // Per object pixel: the normal and its error, the lit count, the coefficients.
    std::vector<float> coef;
    try {
        coef.assign(M * kTerms, 0.0f);
        r.normalError.assign(pixels, std::numeric_limits<float>::quiet_NaN());
        r.litCount.assign(pixels, 0);
    } catch (const std::bad_alloc &) {
        r.error = "not enough memory for the fits: lower the resolution";
        return r;
    }
    const std::size_t words = (L + 63) / 64;
    const float dark = static_cast<float>(options.darkShare);
    std::vector<std::unordered_map<std::string, LightSet>> caches(std::size_t(threads) + 1);
    std::atomic<std::size_t> factorised{0};
    const std::size_t items = (M + kChunk - 1) / kChunk;
    const Progress fitProgress = steps.stage(kFit);
    std::mutex gateLock;
    std::size_t itemsDone = 0;
    t0 = Seconds();
    const bool fitsDone = RunItems(items, threads, error, [&](std::size_t item, int t) {
        std::vector<float> I(L);
        std::string key(words * sizeof(std::uint64_t), '\0');
        std::unordered_map<std::string, LightSet> &cache = caches[std::size_t(t)];
        const std::size_t m1 = std::min(M, (item + 1) * kChunk);
        for (std::size_t m = item * kChunk; m < m1; ++m) {
            const std::uint16_t *v = values.data() + m * L;
            float brightest = 0;
            for (std::size_t k = 0; k < L; ++k) {
                I[k] = float(v[k]) * (1.0f / 65535.0f);
                brightest = std::max(brightest, I[k]);
            }
            const float below = dark * brightest;
            std::fill(key.begin(), key.end(), '\0');
            int lit = 0;
            double rhs[3] = {0, 0, 0};
            for (std::size_t k = 0; k < L; ++k) {
                if (!(I[k] > below)) continue;
                ++lit;
                key[k / 8] = char(static_cast<unsigned char>(key[k / 8]) | (1u << (k % 8)));
                rhs[0] += I[k] * dirs[k].x;
                rhs[1] += I[k] * dirs[k].y;
                rhs[2] += I[k] * dirs[k].z;
            }
            const std::size_t p = onObject[m];
            r.litCount[p] = static_cast<std::uint16_t>(std::min(lit, 65535));
            double angle = kNoNormal;
            if (lit >= 3) {
                auto found = cache.find(key);
                if (found == cache.end()) {
                    if (cache.size() >= kMaxCached) cache.clear();
                    LightSet s;
                    double a[9] = {};
                    for (std::size_t k = 0; k < L; ++k) {
                        if (!(I[k] > below)) continue;
                        const double d[3] = {dirs[k].x, dirs[k].y, dirs[k].z};
                        for (int i = 0; i < 3; ++i)
                            for (int j = 0; j < 3; ++j)
                                a[i * 3 + j] += d[i] * d[j];
                    }
                    s.solvable = s.factor.Factor(a, 3);
                    ++factorised;
                    found = cache.emplace(key, s).first;
                }
                if (found->second.solvable) {
                    double g[3];
                    found->second.factor.Solve(rhs, g);
                    const double len = std::sqrt(g[0] * g[0] + g[1] * g[1] + g[2] * g[2]);
                    if (len > 0) {
                        const float *n = maps.normal.data() + 3 * p;
                        const double c = (g[0] * n[0] + g[1] * n[1] + g[2] * n[2]) / len;
                        angle = std::acos(std::clamp(c, -1.0, 1.0)) / kDeg;
                    }
                }
            }
            r.normalError[p] = static_cast<float>(angle);
            float *c = coef.data() + m * kTerms;
            for (int i = 0; i < kTerms; ++i) {
                const float *row = pinv.data() + std::size_t(i) * L;
                float s = 0;
                for (std::size_t k = 0; k < L; ++k)
                    s += row[k] * I[k];
                c[i] = s;
            }
        }
        if (!fitProgress) return true;
        std::lock_guard<std::mutex> g(gateLock);
        return fitProgress(++itemsDone, items);
    });
    r.fitSeconds = Seconds() - t0;
    if (!fitsDone) return stopped(error);
    r.lightSets += factorised.load();
    std::vector<std::uint16_t>().swap(values);

    // The held-out directions, lit as the plan's lights are, in the plan's
    // exposure, against the relit fits.
    std::vector<nuk::Point3f> held;
    std::vector<std::array<float, kTerms>> heldRows;
    for (const Point3d &d : r.heldOut) {
        held.emplace_back(float(d.x * meanDistance), float(d.y * meanDistance), float(d.z * meanDistance));
        const std::array<double, kTerms> row = Rows(d);
        std::array<float, kTerms> f{};
        for (int i = 0; i < kTerms; ++i)
            f[std::size_t(i)] = static_cast<float>(row[std::size_t(i)]);
        heldRows.push_back(f);
    }
    std::vector<float> sum(M, 0.0f), squares(M * kModels, 0.0f);
    std::mutex compareLock;
    double compareTime = 0;
    renderer.setExposure(plan.exposure);
    t0 = Seconds();
    const capture::CaptureResult truth = renderer.Render(
        held,
        [&](std::size_t j, const std::vector<float> &rgb, std::string &) {
            std::lock_guard<std::mutex> g(compareLock);
            const double s0 = Seconds();
            const std::array<float, kTerms> &row = heldRows[j];
            for (std::size_t m = 0; m < M; ++m) {
                const float t = Luminance(rgb.data() + 3 * std::size_t(onObject[m]));
                sum[m] += t;
                const float *c = coef.data() + m * kTerms;
                for (int model = 0; model < kModels; ++model) {
                    if (!fitted[std::size_t(model)]) continue;
                    float relit = 0;
                    for (int i = kTermOffset[model]; i < kTermOffset[model] + kModelTerms[model]; ++i)
                        relit += row[std::size_t(i)] * c[i];
                    const float e = relit - t;
                    squares[m * kModels + std::size_t(model)] += e * e;
                }
            }
            compareTime += Seconds() - s0;
            return true;
        },
        steps.stage(kHeldOutRender));
    r.heldOutSeconds = Seconds() - t0;
    r.compareSeconds = compareTime;
    if (!truth.ok) {
        // A held-out set the object never sees lit still leaves the normals.
        if (truth.cancelled || truth.error.find("no light reaches") == std::string::npos) return stopped(truth.error);
        std::fill(sum.begin(), sum.end(), 0.0f);
    }

    const double H = double(r.heldOut.size());
    for (int model = 0; model < kModels; ++model)
        r.relightError[std::size_t(model)].assign(pixels, std::numeric_limits<float>::quiet_NaN());
    for (std::size_t m = 0; m < M; ++m) {
        const double mean = sum[m] / H;
        // Darker than a 16-bit file's step under every held-out light.
        if (!(mean > 1.0 / 65535.0)) {
            ++r.darkPixels;
            continue;
        }
        for (int model = 0; model < kModels; ++model)
            if (fitted[std::size_t(model)])
                r.relightError[std::size_t(model)][onObject[m]] =
                    static_cast<float>(std::sqrt(squares[m * kModels + std::size_t(model)] / H) / mean);
    }

    r.normals = Figures(r.normalError, {kNormalThresholds.begin(), kNormalThresholds.end()});
    for (int model = 0; model < kModels; ++model) {
        if (fitted[std::size_t(model)])
            r.relight[std::size_t(model)] =
                Figures(r.relightError[std::size_t(model)], {kRelightThresholds.begin(), kRelightThresholds.end()});
        else
            r.relight[std::size_t(model)].thresholds.assign(kRelightThresholds.begin(), kRelightThresholds.end());
    }
    for (std::size_t i = 0; i < kLightCounts.size(); ++i) {
        std::size_t n = 0;
        for (std::uint32_t p : onObject)
            if (r.litCount[p] >= kLightCounts[i]) ++n;
        r.litShare[i] = double(n) / double(M);
    }
    r.ok = true;
    return r;
}

} // namespace predict
