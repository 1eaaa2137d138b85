#pragma once
// How good the RTI fit of a plan will be on the reference model, pixel by
// pixel, before the capture: the fitters' own models run on the rendered
// set and compared with the truth the renderer knows.
//
//   normals     the least-squares Lambertian solution per pixel over the
//               lights that light it (photometric stereo, as fitters make
//               normal maps), dark samples left out; the angle to the
//               rendered normal.
//   relighting  PTM (6 terms) and hemispherical harmonics of order 2 and 3
//               fitted per pixel over all the plan's lights, relit at
//               held-out directions spread evenly over the usable cap and
//               compared with the renderer's images for them: the RMS
//               error over the held-out directions relative to the pixel's
//               mean brightness under them.
//
// The fits use each light's direction from the object's centre, as fitters
// do with a light file, whatever the rendering: with point lamps (the
// capture's default) the near-field error of that habit is in the figures.
// Values are the luminance of the images as a 16-bit linear PNG holds them
// (clipped at white); the held-out truth is not clipped.
//
// Least squares through the normal equations: one Cholesky factorisation
// per distinct set of lights (a pixel's set is its unshadowed lights; the
// sets repeat, so they are cached by their bits). Memory per object pixel:
// 2 bytes per light, plus about 100 bytes. Qt-free.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "capture/Camera.h"
#include "capture/Capture.h"
#include "capture/CaptureScene.h"
#include "nuk/Point3.h"

namespace predict
{

inline constexpr int kDefaultHeldOut = 64;
// A sample darker than this share of the pixel's brightest is shadowed.
inline constexpr double kDefaultDarkShare = 0.05;
// A pixel that gets no normal (fewer than 3 lights, or all in one plane)
// counts with this error, in degrees.
inline constexpr double kNoNormal = 90.0;

enum Model { kPtm = 0, kHsh2 = 1, kHsh3 = 2 };
inline constexpr int kModels = 3;
inline constexpr const char *kModelKeys[kModels] = {"ptm", "hsh2", "hsh3"};
inline constexpr const char *kModelNames[kModels] = {"PTM, 6 terms", "HSH order 2, 4 terms", "HSH order 3, 9 terms"};
inline constexpr int kModelTerms[kModels] = {6, 4, 9};

// Thresholds of the shares: degrees for the normals, fractions for relighting.
inline constexpr std::array<double, 3> kNormalThresholds = {2.0, 5.0, 10.0};
inline constexpr std::array<double, 2> kRelightThresholds = {0.05, 0.10};
inline constexpr std::array<int, 3> kLightCounts = {3, 6, 9};

struct PredictOptions {
    capture::CaptureOptions capture; // samples, directional, threads
    int heldOut = kDefaultHeldOut;
    double darkShare = kDefaultDarkShare;
    // Degrees above the base plane where the held-out cap starts; below 0:
    // at the lowest light. Plans judged from one grazing limit share a cap
    // when it is that limit.
    double heldOutFrom = -1;
};

// Median, 95th percentile and the shares above the thresholds of one error
// over the pixels it is defined on.
struct ErrorFigures {
    bool fitted = false;    // false: the model cannot be fitted on these lights
    std::size_t pixels = 0; // the pixels counted
    double median = 0, p95 = 0;
    std::vector<double> thresholds, above; // above[i]: share of the pixels above thresholds[i]
};

// Progress: work done out of total; returning false cancels. Called from
// worker threads, one call at a time.
using Progress = capture::Progress;

struct Prediction {
    bool ok = false;
    bool cancelled = false;
    std::string error;

    int width = 0, height = 0;
    std::size_t objectPixels = 0; // the mask
    std::size_t lights = 0;
    std::vector<nuk::Point3d> heldOut; // unit directions
    double lightDistance = 0;          // mm, the lights' mean distance from the object's centre: the held-out lamps'
    double minElevation = 0;           // degrees: where the held-out cap starts
    double exposure = 0;

    ErrorFigures normals;                      // degrees
    std::array<ErrorFigures, kModels> relight; // fractions of the mean brightness
    std::size_t darkPixels = 0;                // object pixels no held-out light reaches: no relighting error
    std::array<double, 3> litShare{};          // share of object pixels lit by at least kLightCounts[i] lights
    std::size_t lightSets = 0;                 // distinct sets of lights factorised

    // Per pixel, row by row from the top; NaN off the object (and where a
    // model cannot be fitted or no held-out light reaches the pixel).
    std::vector<float> normalError;                       // degrees
    std::array<std::vector<float>, kModels> relightError; // fractions
    std::vector<std::uint16_t> litCount;                  // lights reaching the pixel unshadowed; 0 off the object

    // Wall-clock seconds of the steps, and the time spent in the image sinks.
    double traceSeconds = 0, renderSeconds = 0, fitSeconds = 0, heldOutSeconds = 0;
    double storeSeconds = 0, compareSeconds = 0; // summed over the threads
};

// The held-out directions: n points of a Fibonacci spiral, even by area over
// the cap from minElevation (degrees) up to the camera's axis, turned about
// the axis so as to stay as far as possible from the plan's directions.
std::vector<nuk::Point3d> HeldOutDirections(int n, double minElevation, const std::vector<nuk::Point3d> &plan);

// Renders the set of the lights (mm, in the plan's frame) and the held-out
// directions at the lights' mean distance, fits and compares. Runs on every
// processor unless options.capture.threads says otherwise.
Prediction Predict(const capture::CaptureScene &scene, const capture::Camera &camera,
                   const std::vector<nuk::Point3f> &lights, const PredictOptions &options,
                   const Progress &progress = nullptr);

// The figures of one error over the defined (not NaN) values.
ErrorFigures Figures(const std::vector<float> &values, const std::vector<double> &thresholds);

// Solves A x = b for a symmetric positive definite n x n matrix (n <= 9),
// row-major, through its Cholesky factor; false when A is not positive
// definite to working precision.
class Cholesky
{
public:
    static constexpr int kMax = 9;
    bool Factor(const double *a, int n);
    void Solve(const double *b, double *x) const;

private:
    int n_ = 0;
    double l_[kMax * kMax] = {};
};

} // namespace predict
