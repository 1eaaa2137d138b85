#pragma once
// The photographs of a plan, rendered: for every light a point lamp at its
// position lighting a Lambertian scene (CaptureScene), shadows cast by the
// model and the backdrop, seen through the capture's pinhole camera.
//
// The camera's rays are traced once (a fixed number of jittered samples per
// pixel, the same pattern on every run) and their hits reused for every
// light. A light's value at a sample is albedo * cos(incidence) / r^2, with
// r in mm (directional lights: albedo * cos(incidence)); the constant 1/pi
// of the Lambertian surface and the lamp's intensity go into the exposure.
// One exposure scale for the whole set: the brightest 0.5 % of the lit
// object pixels (their largest channel) over all images reach 0.95.
//
// Rendering runs in two passes on all processors, each over bands of
// pixels with every light in turn over a band (its samples stay in the
// cache): the first traces the shadow rays (in packets of 16), keeps one
// bit per sample and light, and finds the exposure; the second shades
// again from the bits, a few lights at a time, and hands every finished
// image over. Qt-free.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "capture/Camera.h"
#include "capture/CaptureScene.h"
#include "nuk/Point3.h"

namespace capture
{

inline constexpr int kDefaultSamples = 4;
inline constexpr int kMaxSamples = 64;
inline constexpr double kExposureShare = 0.005; // the brightest share of lit object pixels ...
inline constexpr double kExposureWhite = 0.95;  // ... reaches this value

struct CaptureOptions {
    int samples = kDefaultSamples; // per pixel, 1..kMaxSamples
    bool directional = false;      // lights at infinity in their direction, no falloff
    std::uint64_t seed = 1;        // of the jitter pattern
    int threads = 0;               // 0: every processor
    int packet = 16;               // shadow rays per query: 16, or 1 (single rays, for comparison)
    // > 0: this scale instead of the set's own, so that a second set of
    // lights is comparable with the first.
    double exposure = 0;
};

// Per pixel, what the camera sees, from its samples.
struct Maps {
    int width = 0, height = 0;
    std::vector<float> normal;    // 3 per pixel: mean unit shading normal, camera frame; 0 where nothing is hit
    std::vector<float> depth;     // mm from the camera along its axis, mean of the hits; 0 where nothing is hit
    std::vector<float> object;    // share of the samples on the model, 0..1
    std::size_t objectPixels = 0; // pixels with object >= 0.5 (the mask)
    bool masked(std::size_t pixel) const { return object[pixel] >= 0.5f; }
};

// Progress: work done out of total; returning false cancels. Called from
// the worker threads, one call at a time.
using Progress = std::function<bool(std::size_t done, std::size_t total)>;
// A finished image: 3 floats per pixel, row by row from the top, the
// exposure applied (not clipped). Called from the worker threads, in any
// order of the lights and concurrently (one image per thread: encoding and
// writing run in parallel); the sink may use the buffer as it likes (it is
// shaded afresh for the next light); returning false stops the rendering
// (error then says the sink's message).
using ImageSink = std::function<bool(std::size_t light, std::vector<float> &rgb, std::string &error)>;

struct CaptureResult {
    bool ok = false;
    bool cancelled = false;
    std::string error;
    double exposure = 1;       // scale applied to every value
    double brightest = 0;      // the unscaled value that reaches kExposureWhite
    std::size_t litPixels = 0; // lit object pixels over the set
    std::size_t shadowRays = 0;
};

class Renderer
{
public:
    Renderer(const CaptureScene &scene, const Camera &camera, const CaptureOptions &options);

    // The camera's rays. False when cancelled or out of memory (error).
    bool TracePrimary(const Progress &progress, std::string &error);
    const Maps &maps() const { return maps_; }
    // The scale of the next sets (see CaptureOptions::exposure).
    void setExposure(double scale) { options_.exposure = scale; }

    // Every light's image, lights in the plan's frame (mm).
    CaptureResult Render(const std::vector<nuk::Point3f> &lights, const ImageSink &sink, const Progress &progress);

    // The sample's position (u, v) in pixels, for whoever traces the same
    // rays (the benchmark's floor).
    void SamplePoint(int x, int y, int s, double &u, double &v) const;
    // Per sample of the camera's rays: the start of its shadow rays (the hit
    // moved off the surface), or nothing. The normal and the albedo in 16
    // bits each (24 bytes a sample: these are the capture's largest array).
    static constexpr float kNormalUnit = 32767.0f; // a unit component
    static constexpr float kAlbedoUnit = 65535.0f; // albedo 1
    struct Sample {
        nuk::Point3f origin;
        std::int16_t normal[3];  // unit shading normal times kNormalUnit
        std::uint16_t albedo[3]; // linear, times kAlbedoUnit
    };
    const std::vector<Sample> &samples() const { return samples_; }
    const std::vector<std::uint8_t> &hit() const { return hit_; }
    // Memory held: the camera's hits, the maps, the images kept in flight
    // and the last set's shadow bits (while it rendered).
    std::size_t bytes() const;
    std::size_t imageBytes() const; // of those, the images in flight

private:
    // Pass 1 over pixels [p0, p1) for one light: the shadow rays, the bits
    // of the unshadowed samples, and for the exposure the values in the
    // object's pixels: added per pixel into out (the caller clears it), or
    // with one sample a pixel the lit pixels' largest channels one after
    // the other, as many as it returns.
    std::size_t traceBand(const nuk::Point3f &light, std::size_t p0, std::size_t p1, std::uint64_t *bits, float *out,
                          std::size_t &rays) const;
    // Pass 2 for count lights: the same values again from their bits alone,
    // times scale, into every pixel of the band of each light's out.
    void shadeBand(const nuk::Point3f *lights, std::size_t count, const std::uint64_t *const *bits, std::size_t p0,
                   std::size_t p1, float scale, float *const *out) const;

    const CaptureScene &scene_;
    Camera camera_;
    CaptureOptions options_;
    Maps maps_;
    std::vector<Sample> samples_;
    std::vector<std::uint8_t> hit_;          // Surface per sample
    std::vector<std::vector<float>> images_; // the images in flight, kept for the next set
    std::size_t bitsBytes_ = 0;
};

} // namespace capture
