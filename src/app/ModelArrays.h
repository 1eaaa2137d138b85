#pragma once
// The reference model as flat client arrays for glDrawArrays: three corners
// per face, each carrying its face's normal, built once per load so a frame
// is one draw call however large the scan.

#include <cstddef>
#include <vector>

struct ModelArrays {
    std::vector<float> vertices; // x, y, z per corner
    std::vector<float> normals;  // the face normal, repeated for its corners

    std::size_t corner_count() const { return vertices.size() / 3; }
    bool empty() const { return vertices.empty(); }
    void clear()
    {
        vertices.clear();
        vertices.shrink_to_fit();
        normals.clear();
        normals.shrink_to_fit();
    }
};
