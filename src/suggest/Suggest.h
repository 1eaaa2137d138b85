#pragma once
// The model-aware suggestion: which of the candidate positions to take so
// that as much of the visible surface as possible is lit, unshadowed, by at
// least k of them (k = 6 for a PTM, 9 for order-3 hemispherical harmonics),
// ties broken by evenness. The visibility of every visible sample from
// every candidate is traced once, into one bit set per sample, through the
// coverage scene (segments as coverage/Coverage.h defines them); the choice
// then works on those bits alone: a greedy choice on the light counts
// capped at k, then swaps that raise the share reaching k, or keep it and
// raise the evenness score of the even choice (planner::EvenScore).
//
// Deterministic: the same scene, candidates and count give the same choice
// on any number of threads. Lengths are mm, areas mm², in the plan's frame.
// Qt-free; the window runs it on a worker thread.

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "coverage/Coverage.h"
#include "coverage/CoverageScene.h"
#include "coverage/Placement.h"
#include "nuk/Point3.h"
#include "planner/Suggestion.h"

namespace suggest
{

inline constexpr int kDefaultMinLights = coverage::kHshLights;
inline constexpr int kMaxMinLights = 64;

struct SuggestInput {
    // The usable candidates (planner::UsableCandidates): positions in the
    // plan's frame (mm) and their unit directions.
    std::vector<nuk::Point3f> positions;
    std::vector<nuk::Point3d> directions;
    std::size_t count = 0; // photographs to choose
    int minLights = kDefaultMinLights;
    float cameraDistance = 1000; // mm; the camera at (0, 0, this)
    coverage::Placement placement;
    unsigned threads = 0; // 0: one per core
    bool packets = true;  // segments in packets of 16; false: one at a time
};

// Which candidates light each visible sample unshadowed.
struct Visibility {
    std::size_t candidates = 0;
    std::size_t words = 0;             // 64-bit words per sample
    std::vector<std::uint32_t> vertex; // per visible sample, its vertex in the scene's geometry
    std::vector<double> area;          // per visible sample, mm²
    std::vector<std::uint64_t> bits;   // per visible sample, `words` words: bit c for candidate c
    double visibleArea = 0;            // mm²
    std::uint64_t segments = 0;        // segments traced
    bool cancelled = false;

    std::size_t samples() const { return area.size(); }
    bool lit(std::size_t sample, std::size_t candidate) const
    {
        return (bits[sample * words + candidate / 64] >> (candidate % 64)) & 1u;
    }
};

Visibility ComputeVisibility(const coverage::CoverageScene &scene, const SuggestInput &input,
                             const coverage::Progress &progress = {});

// What a choice reaches on the visible area, and how even it is.
struct Figures {
    std::size_t positions = 0;
    double reached = 0; // share of the visible area lit by at least minLights of the chosen
    std::array<double, coverage::kBandCount> bandShare{};
    planner::Evenness evenness;
};
Figures FiguresOf(const Visibility &v, const std::vector<nuk::Point3d> &directions,
                  const std::vector<std::size_t> &chosen, int minLights);

// The choice on traced visibility: count candidates, as increasing indices.
std::vector<std::size_t> Choose(const Visibility &v, const std::vector<nuk::Point3d> &directions, std::size_t count,
                                int minLights, const coverage::Progress &progress = {});

struct SuggestResult {
    bool cancelled = false;
    std::vector<std::size_t> chosen; // into the candidates, increasing
    std::vector<std::size_t> even;   // the candidates' even choice of the same size
    Figures suggested, evenFigures;
    double visibleArea = 0; // mm²
    std::size_t visibleSamples = 0;
    std::uint64_t segments = 0;
};

// Visibility, the choice, and the even choice to compare it with; when the
// even choice reaches as large a share, it is taken instead. Progress
// runs from 0 to 1 over all three; a false answer stops the work and the
// result is marked cancelled.
SuggestResult Suggest(const coverage::CoverageScene &scene, const SuggestInput &input,
                      const coverage::Progress &progress = {});

} // namespace suggest
