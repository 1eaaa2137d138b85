#include "capture/CaptureScene.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <new>

#include "coverage/CoverageScene.h"

namespace capture
{
namespace
{

float SrgbToLinear(unsigned char c)
{
    const float s = c / 255.0f;
    return s <= 0.04045f ? s / 12.92f : std::pow((s + 0.055f) / 1.055f, 2.4f);
}

nuk::Point3f Unit(nuk::Point3f n)
{
    const float len = n.Norm();
    if (!(len > 0) || !std::isfinite(len)) return nuk::Point3f(0, 0, 0);
    return n / len;
}

float Dot(const nuk::Point3f &a, const nuk::Point3f &b) { return a.x * b.x + a.y * b.y + a.z * b.z; }

} // namespace

SceneModel SceneModel::FromMesh(const AMesh &mesh, const coverage::Placement &placement, bool colours)
{
    coverage::ModelGeometry g = coverage::ModelGeometry::FromMesh(mesh);
    SceneModel m;
    m.positions = std::move(g.positions);
    for (nuk::Point3f &p : m.positions)
        p = placement.ToPlan(p);
    m.triangles = std::move(g.triangles);
    if (colours) {
        m.albedo.resize(m.positions.size());
        for (std::size_t i = 0; i < g.vertexIndex.size(); ++i) {
            const std::uint32_t k = g.vertexIndex[i];
            if (k == coverage::ModelGeometry::kUnused) continue;
            const auto &c = mesh.vertices[i].color;
            m.albedo[k] = nuk::Point3f(SrgbToLinear(c[0]), SrgbToLinear(c[1]), SrgbToLinear(c[2]));
        }
    }
    return m;
}

std::unique_ptr<CaptureScene> CaptureScene::Build(SceneModel model, const planner::Stage &stage, std::string &error)
{
    constexpr std::size_t kMaxIndex = std::numeric_limits<std::uint32_t>::max() - 1;
    const std::size_t faces = model.triangles.size() / 3;
    if (model.positions.size() > kMaxIndex || faces > kMaxIndex) {
        error = "the model has more vertices or faces than the capture can index";
        return nullptr;
    }
    std::unique_ptr<CaptureScene> s(new (std::nothrow) CaptureScene);
    if (!s) {
        error = "not enough memory for the capture";
        return nullptr;
    }
    try {
        s->model_ = std::move(model);
        const SceneModel &m = s->model_;
        const std::size_t nv = m.positions.size();
        // The ray library reads 16 bytes at a vertex: room for one more
        // behind the last, before anything else takes memory.
        s->model_.positions.reserve(nv + 1);
        for (std::uint32_t k : m.triangles)
            if (k >= nv) {
                error = "the model's faces point outside its vertices";
                return nullptr;
            }
        s->normals_.assign(nv, nuk::Point3f(0, 0, 0));
        float extent = 0;
        for (std::size_t t = 0; t + 2 < m.triangles.size(); t += 3) {
            const std::uint32_t a = m.triangles[t], b = m.triangles[t + 1], c = m.triangles[t + 2];
            const nuk::Point3f n = nuk::Normal(m.positions[a], m.positions[b], m.positions[c]);
            if (!std::isfinite(n.Norm())) continue;
            for (std::uint32_t k : {a, b, c})
                s->normals_[k] += n;
        }
        for (nuk::Point3f &n : s->normals_)
            n = Unit(n);
        for (const nuk::Point3f &p : m.positions)
            extent = std::max({extent, std::fabs(p.x), std::fabs(p.y), std::fabs(p.z)});
        const float half = static_cast<float>(stage.backdropHalf);
        extent = std::max(extent, half);
        // The model's scale sets the offset; the stage's coordinates set the
        // floor against rounding.
        float diag = 0;
        if (nv > 0) {
            nuk::Point3f lo = m.positions[0], hi = m.positions[0];
            for (const nuk::Point3f &p : m.positions)
                for (int k = 0; k < 3; ++k) {
                    lo[k] = std::min(lo[k], p[k]);
                    hi[k] = std::max(hi[k], p[k]);
                }
            diag = (hi - lo).Norm();
        }
        s->offset_ = std::max(1e-4f * diag, 64 * std::numeric_limits<float>::epsilon() * extent);

        s->device_ = rtcNewDevice(nullptr);
        if (!s->device_) {
            error = "the ray library could not start";
            return nullptr;
        }
        s->deviceBytes_.Watch(s->device_);
        s->scene_ = rtcNewScene(s->device_);
        // Compact: the structure refers to the model's own buffers instead of
        // copying its triangles. Robust: no shortcuts that let a ray slip
        // between two faces sharing an edge.
        rtcSetSceneFlags(s->scene_, RTC_SCENE_FLAG_COMPACT | RTC_SCENE_FLAG_ROBUST);
        rtcSetSceneBuildQuality(s->scene_, RTC_BUILD_QUALITY_MEDIUM);
        if (faces > 0) {
            // Shared with the ray library, not copied (room for its 16-byte
            // reads made above).
            RTCGeometry geom = rtcNewGeometry(s->device_, RTC_GEOMETRY_TYPE_TRIANGLE);
            rtcSetSharedGeometryBuffer(geom, RTC_BUFFER_TYPE_VERTEX, 0, RTC_FORMAT_FLOAT3, m.positions.data(), 0,
                                       sizeof(nuk::Point3f), nv);
            rtcSetSharedGeometryBuffer(geom, RTC_BUFFER_TYPE_INDEX, 0, RTC_FORMAT_UINT3, m.triangles.data(), 0,
                                       3 * sizeof(std::uint32_t), faces);
            rtcCommitGeometry(geom);
            s->modelID_ = rtcAttachGeometry(s->scene_, geom);
            rtcReleaseGeometry(geom);
        }
        if (half > 0) {
            const float bottom = static_cast<float>(stage.floorY);
            RTCGeometry geom = rtcNewGeometry(s->device_, RTC_GEOMETRY_TYPE_TRIANGLE);
            auto *vb = static_cast<float *>(
                rtcSetNewGeometryBuffer(geom, RTC_BUFFER_TYPE_VERTEX, 0, RTC_FORMAT_FLOAT3, 3 * sizeof(float), 4));
            auto *ib = static_cast<std::uint32_t *>(rtcSetNewGeometryBuffer(
                geom, RTC_BUFFER_TYPE_INDEX, 0, RTC_FORMAT_UINT3, 3 * sizeof(std::uint32_t), 2));
            if (vb && ib) {
                const float quad[12] = {-half, bottom, 0, half, bottom, 0, half, half, 0, -half, half, 0};
                const std::uint32_t tri[6] = {0, 1, 2, 0, 2, 3};
                std::copy(quad, quad + 12, vb);
                std::copy(tri, tri + 6, ib);
            }
            rtcCommitGeometry(geom);
            s->backdropID_ = rtcAttachGeometry(s->scene_, geom);
            rtcReleaseGeometry(geom);
        }
        rtcCommitScene(s->scene_);
        if (rtcGetDeviceError(s->device_) != RTC_ERROR_NONE) {
            error = "the ray-query scene could not be built";
            return nullptr;
        }
    } catch (const std::bad_alloc &) {
        error = "not enough memory for the capture";
        return nullptr;
    }
    return s;
}

std::size_t CaptureScene::bytes() const
{
    return model_.positions.capacity() * sizeof(nuk::Point3f) + model_.triangles.capacity() * sizeof(std::uint32_t) +
           model_.albedo.capacity() * sizeof(nuk::Point3f) + normals_.capacity() * sizeof(nuk::Point3f) +
           deviceBytes_.bytes();
}

CaptureScene::~CaptureScene()
{
    if (scene_) rtcReleaseScene(scene_);
    if (device_) rtcReleaseDevice(device_);
}

CaptureScene::Hit CaptureScene::SurfaceAt(unsigned geomID, unsigned primID, float u, float v,
                                          const nuk::Point3f &dir) const
{
    Hit h;
    if (geomID == backdropID_) {
        h.surface = Surface::Backdrop;
        h.normal = h.geometric = nuk::Point3f(0, 0, dir.z > 0 ? -1.0f : 1.0f);
        h.albedo = nuk::Point3f(kBackdropGrey, kBackdropGrey, kBackdropGrey);
        return h;
    }
    if (geomID != modelID_ || 3 * std::size_t(primID) + 2 >= model_.triangles.size()) return h;
    h.surface = Surface::Model;
    const std::uint32_t *t = &model_.triangles[3 * std::size_t(primID)];
    const float w = 1.0f - u - v;
    nuk::Point3f g = Unit(nuk::Normal(model_.positions[t[0]], model_.positions[t[1]], model_.positions[t[2]]));
    nuk::Point3f n = Unit(normals_[t[0]] * w + normals_[t[1]] * u + normals_[t[2]] * v);
    if (n.Norm() == 0) n = g;
    // The side the camera sees, for both normals alike.
    if (Dot(g, dir) > 0) {
        g = g * -1.0f;
        n = n * -1.0f;
    }
    h.geometric = g;
    // Normals interpolated across a fold can still turn away from the
    // viewer: the face's own normal then stands in.
    if (Dot(n, dir) > 0) n = g;
    h.normal = n;
    if (model_.albedo.empty())
        h.albedo = nuk::Point3f(kModelGrey, kModelGrey, kModelGrey);
    else
        h.albedo = model_.albedo[t[0]] * w + model_.albedo[t[1]] * u + model_.albedo[t[2]] * v;
    return h;
}

} // namespace capture
