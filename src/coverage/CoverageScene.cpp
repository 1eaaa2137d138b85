#include "coverage/CoverageScene.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <new>

namespace coverage
{
namespace
{

bool UsableVertex(const AVertex &v) { return !v.IsDeleted() && v.IsReadable() && v.IsWritable(); }

// The view's test for a drawable face (ModelMesh.cpp), plus a check that the
// corners point into the vertices at all.
bool FitFace(const AMesh &mesh, const AFace &f)
{
    if (f.IsDeleted() || !f.IsReadable() || !f.IsWritable()) return false;
    const AVertex *first = mesh.vertices.data();
    const AVertex *end = first + mesh.vertices.size();
    for (const AVertex *v : f.v)
        if (!v || v < first || v >= end || !UsableVertex(*v)) return false;
    return true;
}

const char *ErrorText(RTCError e)
{
    switch (e) {
    case RTC_ERROR_NONE:
        return "no error";
    case RTC_ERROR_INVALID_ARGUMENT:
        return "invalid argument";
    case RTC_ERROR_INVALID_OPERATION:
        return "invalid operation";
    case RTC_ERROR_OUT_OF_MEMORY:
        return "not enough memory";
    case RTC_ERROR_UNSUPPORTED_CPU:
        return "this processor is not supported";
    case RTC_ERROR_CANCELLED:
        return "cancelled";
    default:
        return "unknown error";
    }
}

} // namespace

void DeviceBytes::Watch(RTCDevice device)
{
    rtcSetDeviceMemoryMonitorFunction(
        device,
        [](void *user, ssize_t bytes, bool) {
            static_cast<std::atomic<std::int64_t> *>(user)->fetch_add(bytes, std::memory_order_relaxed);
            return true;
        },
        &count_);
}

std::size_t DeviceBytes::bytes() const
{
    const std::int64_t n = count_.load();
    return static_cast<std::size_t>(n > 0 ? n : 0);
}

std::size_t ModelGeometry::bytes() const
{
    return positions.capacity() * sizeof(nuk::Point3f) + triangles.capacity() * sizeof(std::uint32_t) +
           vertexIndex.capacity() * sizeof(std::uint32_t);
}

ModelGeometry ModelGeometry::FromMesh(const AMesh &mesh)
{
    ModelGeometry g;
    const AVertex *first = mesh.vertices.data();
    g.vertexIndex.assign(mesh.vertices.size(), kUnused);
    g.triangles.reserve(3 * mesh.faces.size());
    for (const AFace &f : mesh.faces) {
        if (!FitFace(mesh, f)) continue;
        for (const AVertex *v : f.v) {
            std::uint32_t &k = g.vertexIndex[static_cast<std::size_t>(v - first)];
            if (k == kUnused) {
                k = static_cast<std::uint32_t>(g.positions.size());
                g.positions.push_back(v->position);
                g.box.Add(v->position);
            }
            g.triangles.push_back(k);
        }
    }
    g.triangles.shrink_to_fit();
    return g;
}

std::unique_ptr<CoverageScene> CoverageScene::Build(ModelGeometry geometry, std::string &error)
{
    constexpr std::size_t kMaxIndex = std::numeric_limits<std::uint32_t>::max() - 1;
    if (geometry.positions.size() > kMaxIndex || geometry.faceCount() > kMaxIndex) {
        error = "the model has more vertices or faces than the coverage analysis can index";
        return nullptr;
    }
    std::unique_ptr<CoverageScene> s(new (std::nothrow) CoverageScene);
    if (!s) {
        error = "not enough memory for the coverage analysis";
        return nullptr;
    }
    try {
        s->geometry_ = std::move(geometry);
        const ModelGeometry &g = s->geometry_;
        const std::size_t nv = g.positions.size();
        s->normals_.assign(nv, nuk::Point3f(0, 0, 0));
        s->areas_.assign(nv, 0.0f);
        // Each face gives its corners its raw normal (twice its area long,
        // so the sum is area-weighted) and a third of its area.
        for (std::size_t t = 0; t < g.triangles.size(); t += 3) {
            const std::uint32_t a = g.triangles[t], b = g.triangles[t + 1], c = g.triangles[t + 2];
            const nuk::Point3f n = nuk::Normal(g.positions[a], g.positions[b], g.positions[c]);
            const double area = 0.5 * std::sqrt(double(n.x) * n.x + double(n.y) * n.y + double(n.z) * n.z);
            if (!(area > 0) || !std::isfinite(area)) continue;
            s->totalArea_ += area;
            for (std::uint32_t k : {a, b, c}) {
                s->normals_[k] += n;
                s->areas_[k] += static_cast<float>(area / 3.0);
            }
        }
        for (std::size_t i = 0; i < nv; ++i) {
            nuk::Point3f &n = s->normals_[i];
            if (s->areas_[i] > 0 && n.Norm() > 0 && std::isfinite(n.Norm())) {
                n.Normalize();
                ++s->samples_;
            } else {
                n = nuk::Point3f(0, 0, 0);
                s->areas_[i] = 0;
            }
        }

        // Far enough off the surface to clear float rounding at the model's
        // coordinates, near enough not to skip over thin parts.
        float extent = 0;
        if (!g.box.IsNull())
            for (int k = 0; k < 3; ++k)
                extent = std::max({extent, std::fabs(g.box.min[k]), std::fabs(g.box.max[k])});
        const float diag = g.box.IsNull() ? 0.0f : g.box.Diag();
        s->offset_ = std::max(1e-4f * diag, 64 * std::numeric_limits<float>::epsilon() * extent);

        s->device_ = rtcNewDevice(nullptr);
        if (!s->device_) {
            error = std::string("the ray library could not start: ") + ErrorText(rtcGetDeviceError(nullptr));
            return nullptr;
        }
        s->deviceBytes_.Watch(s->device_);
        s->scene_ = rtcNewScene(s->device_);
        // Compact: the structure refers to the shared buffers instead of
        // copying the triangles. Robust: no shortcuts that let a segment
        // slip between two faces sharing an edge.
        rtcSetSceneFlags(s->scene_, RTC_SCENE_FLAG_COMPACT | RTC_SCENE_FLAG_ROBUST);
        rtcSetSceneBuildQuality(s->scene_, RTC_BUILD_QUALITY_MEDIUM);
        if (g.faceCount() > 0) {
            RTCGeometry geom = rtcNewGeometry(s->device_, RTC_GEOMETRY_TYPE_TRIANGLE);
            // The vertex buffer is the library's own: it must be padded for
            // a 16-byte read past the last vertex.
            auto *vb = static_cast<float *>(
                rtcSetNewGeometryBuffer(geom, RTC_BUFFER_TYPE_VERTEX, 0, RTC_FORMAT_FLOAT3, sizeof(nuk::Point3f), nv));
            if (vb)
                for (std::size_t i = 0; i < nv; ++i) {
                    vb[3 * i] = g.positions[i].x;
                    vb[3 * i + 1] = g.positions[i].y;
                    vb[3 * i + 2] = g.positions[i].z;
                }
            rtcSetSharedGeometryBuffer(geom, RTC_BUFFER_TYPE_INDEX, 0, RTC_FORMAT_UINT3, g.triangles.data(), 0,
                                       3 * sizeof(std::uint32_t), g.faceCount());
            rtcCommitGeometry(geom);
            rtcAttachGeometry(s->scene_, geom);
            rtcReleaseGeometry(geom);
        }
        rtcCommitScene(s->scene_);
        const RTCError e = rtcGetDeviceError(s->device_);
        if (e != RTC_ERROR_NONE) {
            error = std::string("the ray-query scene could not be built: ") + ErrorText(e);
            return nullptr;
        }
    } catch (const std::bad_alloc &) {
        error = "not enough memory for the coverage analysis";
        return nullptr;
    }
    return s;
}

CoverageScene::~CoverageScene()
{
    if (scene_) rtcReleaseScene(scene_);
    if (device_) rtcReleaseDevice(device_);
}

bool CoverageScene::Occluded(const nuk::Point3f &from, const nuk::Point3f &to) const
{
    return SegmentQuery(scene_).Occluded(from, to);
}

std::size_t CoverageScene::bytes() const
{
    return geometry_.bytes() + normals_.capacity() * sizeof(nuk::Point3f) + areas_.capacity() * sizeof(float) +
           deviceBytes_.bytes();
}

} // namespace coverage
