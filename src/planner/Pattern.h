#pragma once
// The acquisition pattern: a half dome of positions around the object, in
// rows (parallels) from the top pole down and points (meridians) along each
// row, written with a header of the parameters to the file the capture rig
// reads. No Qt in here: the window and quorvel-cli both call it.

#include <cstdint>
#include <string>
#include <vector>

#include "nuk/Point3.h"
#include "nuk/tools/AtomicFile.h"

namespace planner
{

struct PatternInput {
    int horizontalStep = 15; // degrees, 1..90
    int verticalStep = 15;   // degrees, 1..90
    int viewDistance = 1500; // 10..3500
    bool excludeCentralPoint = false;
    bool excludeBasePlane = false;
    std::int32_t objectSize = 250;
    std::int32_t objectHeight = 1000;
    std::int32_t cameraDistance = 1000;
};

// The generator's five outputs. positions, point_vangles and point_hangles
// correspond by index; row_heights and row_distances hold one entry per
// written row.
struct PatternLists {
    std::vector<nuk::Point3f> positions;
    std::vector<float> row_heights;
    std::vector<float> row_distances;
    std::vector<float> point_vangles;
    std::vector<float> point_hangles;

    // Filled by the layouts other than the grid (see Layout.h): each point's
    // row and point number as its file shows them, and what the layout is,
    // for labels and reports. Empty for the grid, whose numbers follow from
    // its angles and steps.
    std::vector<int> point_rows;
    std::vector<int> point_numbers;
    std::string layout;

    void clear();
};

// Where the window's "Generate -->" writes.
inline const char *const kAcquisitionFile = "./acquisition.txt";

// Clears and refills the lists and returns the whole text of the file.
std::string BuildPattern(const PatternInput &in, PatternLists &out);

// Every file is written whole or not at all (nuk/tools/AtomicFile.h); the
// planner's callers name it from here.
using WriteResult = nuk::WriteResult;
using nuk::WriteFileAtomically;

// One run of the generator: the lists are filled even when the file cannot
// be written; the result tells whether it was.
WriteResult Generate(const PatternInput &in, PatternLists &out, const std::string &path = kAcquisitionFile);

} // namespace planner
