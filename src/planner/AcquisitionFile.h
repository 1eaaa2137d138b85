#pragma once
// The acquisition file, the one place that knows its grammar: the writer
// that the grid and every layout write through, and the reader that takes
// any file they write back to its parameters, its layout and its exact
// positions. The capture rig reads the file, so its grammar never changes:
//
//   PTM ACQUISITION PATTERN
//   (empty line), separator (51 hyphens)
//   object size, object height, camera distance            "%6i"
//   horizontal angle, vertical angle                       "%6.2f", any locale
//   parallels (rows), meridiens (points of the widest row) "%6i"
//   (empty), separator, (empty)
//   rows from bottom to top. points from left to right
//   (empty), (empty)
//   per row: separator, "row # %6i", (empty), "height %6i", "distance %6i",
//            (empty), one "%3i]  % 6i  % 6i  % 6i" per point, (empty),
//            (empty), separator
//   Total points   %4i
//
// Every integer is the value truncated toward zero.
//
// The file does not name its layout. The reader tells the grid by its
// header (its counts follow from its two angles, which no layout's do),
// and a layout by its nominal spacing on the angle lines, its counts and
// its points, which also give the view distance; a file is accepted only
// when the generator, given what was read, writes it again line for line.
// Anything else is answered with the number of the first line that does
// not fit.

#include <cstddef>
#include <string>
#include <string_view>

#include "nuk/Point3.h"
#include "planner/Layout.h"
#include "planner/Pattern.h"

namespace planner
{

// Writes the file a line at a time.
class AcquisitionWriter
{
public:
    // Title, separators, the eleven header lines and the order line.
    void header(const PatternInput &in, double horizontalAngle, double verticalAngle, int parallels, int meridiens);
    // A row's first lines; height above the floor, distance as the layout
    // means it.
    void beginRow(int number, double height, double distance);
    void point(int number, const nuk::Point3f &position);
    void endRow();
    void total(std::size_t points);

    std::string take() { return std::move(text_); }

private:
    std::string text_;
};

// An angle as the angle lines show it: "%6.2f" with a decimal point
// whatever the locale, " 15.00".
std::string AcquisitionAngle(double degrees);
// A point line without its line end: "  3]    -274    1448     274".
std::string AcquisitionPointLine(int number, const nuk::Point3f &position);

struct AcquisitionError {
    int line = 0; // 1-based; 0 when the file could not be read at all
    std::string message;
    // "line 12: expected ...", or "PATH, line 12: ..." with a path.
    std::string text(const std::string &path = {}) const;
};

struct AcquisitionRead {
    bool ok = false;
    PatternInput input; // as read, with the recovered view distance
    LayoutInput layout; // as recovered; kind Grid for a grid file
    PatternLists lists; // the generator's exact output for input and layout
    AcquisitionError error;
};

// No acquisition file is larger than this (steps of 1 degree give about
// 1 MB, a spiral of 10000 directions about 2 MB).
inline constexpr std::size_t kMaxAcquisitionFileSize = 8u << 20;

AcquisitionRead ReadAcquisition(std::string_view text);
AcquisitionRead ReadAcquisitionFile(const std::string &path);

} // namespace planner
