#pragma once
// The reference model as flat client arrays for glDrawArrays: three corners
// per face, each carrying its face's normal, built once per load so a frame
// is one draw call however large the scan.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "coverage/Placement.h"

struct ModelArrays {
    std::vector<float> vertices; // x, y, z per corner
    std::vector<float> normals;  // the face normal, repeated for its corners
    // Optional: red, green, blue per corner (the light coverage). Empty, the
    // model takes the current colour as it always has.
    std::vector<std::uint8_t> colors;
    // Where the model is drawn: its own coordinates unless "Fit model to
    // object" is on.
    coverage::Placement placement;

    std::size_t corner_count() const { return vertices.size() / 3; }
    bool empty() const { return vertices.empty(); }
    bool has_colors() const { return !colors.empty() && colors.size() == vertices.size(); }
    void clear()
    {
        vertices.clear();
        vertices.shrink_to_fit();
        normals.clear();
        normals.shrink_to_fit();
        colors.clear();
        colors.shrink_to_fit();
    }
};
