#pragma once
// Reads an acquisition file back: the parameters from its header, the view
// distance from its rows, and the exact positions recomputed by the
// generator (the file itself holds only truncated integers). A file is
// accepted only when the generator, given what was read, writes it again
// line for line; anything else is answered with the number of the first
// line that does not fit.

#include <cstddef>
#include <string>
#include <string_view>

#include "planner/Pattern.h"

namespace planner
{

struct AcquisitionError {
    int line = 0; // 1-based; 0 when the file could not be read at all
    std::string message;
    // "line 12: expected ...", or "PATH, line 12: ..." with a path.
    std::string text(const std::string &path = {}) const;
};

struct AcquisitionRead {
    bool ok = false;
    PatternInput input; // as read, with the recovered view distance
    PatternLists lists; // the generator's exact output for input
    AcquisitionError error;
};

// No acquisition file is larger than this (steps of 1 degree give about 1 MB).
inline constexpr std::size_t kMaxAcquisitionFileSize = 8u << 20;

AcquisitionRead ReadAcquisition(std::string_view text);
AcquisitionRead ReadAcquisitionFile(const std::string &path);

} // namespace planner
