#pragma once
// The reference model as the coverage analysis sees it: its drawable faces,
// one sample per used vertex, and a ray-query scene (Intel Embree 3) over
// the faces. Built once per loaded model and reused for every plan; never
// changed after it is built, so any number of threads may query it.
//
// The geometry is copied out of the mesh first (ModelGeometry::FromMesh), on
// the thread that owns the mesh; the scene is then built from the copy,
// anywhere, and never touches the mesh again.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <embree3/rtcore.h>

#include "nuk/Box3.h"
#include "nuk/Mesh/AMesh.h"
#include "nuk/Point3.h"

namespace coverage
{

struct ModelGeometry {
    // The corners of the faces below, each vertex once, in mesh order.
    std::vector<nuk::Point3f> positions;
    // Three indices into positions per face. The faces are the mesh's live
    // faces whose corners are live, readable and writable, in face order:
    // the faces, and the order, of the view's arrays (BuildModelArrays), so
    // corner k of those arrays is positions[triangles[k]].
    std::vector<std::uint32_t> triangles;
    // Index of each mesh vertex in positions, or kUnused.
    std::vector<std::uint32_t> vertexIndex;
    nuk::Box3f box; // of positions

    static constexpr std::uint32_t kUnused = 0xFFFFFFFFu;

    std::size_t faceCount() const { return triangles.size() / 3; }
    std::size_t bytes() const;

    // Faces that a file could have left unfit (deleted, locked, on a
    // deleted corner, pointing outside the vertices) are left out.
    static ModelGeometry FromMesh(const AMesh &mesh);
};

// What a device of the ray library holds, as it reports its allocations.
class DeviceBytes
{
public:
    void Watch(RTCDevice device);
    std::size_t bytes() const;

private:
    std::atomic<std::int64_t> count_{0};
};

// Occlusion queries from one thread: the ray library's context for it and
// the segment test, shared by the analysis, CoverageScene::Occluded and the
// benchmark's floor, which traces the same segments itself.
class SegmentQuery
{
public:
    explicit SegmentQuery(RTCScene scene) : scene_(scene) { rtcInitIntersectContext(&context_); }

    // True when a face of the scene lies on the segment from..to, the end
    // points excluded.
    bool Occluded(const nuk::Point3f &from, const nuk::Point3f &to)
    {
        RTCRay r;
        r.org_x = from.x;
        r.org_y = from.y;
        r.org_z = from.z;
        r.dir_x = to.x - from.x;
        r.dir_y = to.y - from.y;
        r.dir_z = to.z - from.z;
        r.tnear = 0.0f;
        r.tfar = 1.0f;
        r.time = 0.0f;
        r.mask = 0xFFFFFFFFu;
        r.id = 0;
        r.flags = 0;
        rtcOccluded1(scene_, &context_, &r);
        return r.tfar < 0.0f; // set to -inf on a hit
    }

private:
    RTCScene scene_;
    RTCIntersectContext context_;
};

class CoverageScene
{
public:
    // Builds the samples and the query scene, taking the geometry over.
    // Returns null when it cannot (the ray library does not start, not
    // enough memory, more vertices or faces than 32-bit indices hold) and
    // says why in error.
    static std::unique_ptr<CoverageScene> Build(ModelGeometry geometry, std::string &error);
    ~CoverageScene();
    CoverageScene(const CoverageScene &) = delete;
    CoverageScene &operator=(const CoverageScene &) = delete;

    const ModelGeometry &geometry() const { return geometry_; }
    // Per vertex of the geometry: the unit area-weighted normal (zero for
    // a vertex whose faces cancel out or have no area) and a third of the
    // area of its faces, in model units.
    const std::vector<nuk::Point3f> &normals() const { return normals_; }
    const std::vector<float> &areas() const { return areas_; }
    // Vertices with an area: the samples of the analysis.
    std::size_t sampleCount() const { return samples_; }
    double totalArea() const { return totalArea_; }

    // How far off the surface a segment starts, along the sample's normal:
    // small against the model's size, large against float rounding at its
    // coordinates.
    float surfaceOffset() const { return offset_; }

    // True when a face of the model lies on the segment from..to (model
    // coordinates), the end points excluded.
    bool Occluded(const nuk::Point3f &from, const nuk::Point3f &to) const;

    // The query scene, for whoever traces the same segments itself (the
    // benchmark's floor).
    RTCScene handle() const { return scene_; }
    // Memory held by the scene's acceleration structure and buffers, as
    // the ray library reports it, plus the samples.
    std::size_t bytes() const;

private:
    CoverageScene() = default;

    ModelGeometry geometry_;
    std::vector<nuk::Point3f> normals_;
    std::vector<float> areas_;
    std::size_t samples_ = 0;
    double totalArea_ = 0;
    float offset_ = 0;
    RTCDevice device_ = nullptr;
    RTCScene scene_ = nullptr;
    DeviceBytes deviceBytes_;
};

} // namespace coverage
