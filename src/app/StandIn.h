#pragma once
// A simplified copy of a large model, drawn in its place while the view
// moves: the same silhouette and colour in a fraction of the triangles, so
// turning a scan of millions of faces stays as fluid as turning the empty
// stage. Made with meshoptimizer's sloppy simplifier, which clusters the
// vertices on a grid and keeps whatever triangles still span three cells;
// it ignores topology, which is fine for a picture that is gone as soon as
// the view rests. Plain C++, so it runs on a worker thread.

#include <atomic>
#include <cstddef>
#include <vector>

#include "app/ModelArrays.h"
#include "nuk/Mesh/AMesh.h"

namespace standin
{

// Triangles a stand-in may have. Under the software renderer on 2 cores a
// stand-in costs about 0.12 ms a frame per thousand triangles (measured by
// bench_largemodel at 62.5k, 125k, 250k, 500k and 1M): 250k is the largest
// of those that keeps a moving frame near 30 ms there, and it is light work
// for any graphics card.
constexpr std::size_t kDefaultBudget = 250000;

// What the simplifier reads: the drawable faces as indices into compact
// vertex positions, copied out of the mesh so that it may change afterwards.
struct Input {
    std::vector<unsigned int> indices; // three per face
    std::vector<float> positions;      // x, y, z per vertex used by a face
    std::size_t face_count() const { return indices.size() / 3; }
};

// Copies the faces the view draws (see BuildModelArrays), leaving out any
// with a corner that is not a finite point. False when cancel was set (it
// is checked now and then) or memory ran out.
bool CopyInput(const AMesh &mesh, Input &in, const std::atomic<bool> *cancel = nullptr);

// Simplifies to at most budget triangles and makes the draw arrays, each
// new face with its raw normal as the mesh's own faces have. Consumes in.
// False when cancelled, when memory ran out, or when the model has no more
// than budget faces: then it is its own stand-in and out stays empty.
bool Simplify(Input &&in, std::size_t budget, ModelArrays &out, const std::atomic<bool> *cancel = nullptr);

// Both steps, for a caller that runs them in one go.
bool Build(const AMesh &mesh, std::size_t budget, ModelArrays &out);

} // namespace standin
