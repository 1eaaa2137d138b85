#pragma once
// What the capture's camera sees: the reference model where the view draws
// it (its placement applied, so the scene is in the plan's frame, mm) in
// front of the backdrop, a matte grey plane at z = 0 spanning the stage's
// backdrop. Built once per model and placement; never changed afterwards,
// so any number of threads may query it.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <embree3/rtcore.h>

#include "coverage/CoverageScene.h"
#include "coverage/Placement.h"
#include "nuk/Mesh/AMesh.h"
#include "nuk/Point3.h"
#include "planner/Stage.h"

namespace capture
{

// Reflectances (albedo, linear) of the surfaces without a colour of their own.
inline constexpr float kModelGrey = 0.6f;
inline constexpr float kBackdropGrey = 0.18f;

// The model's drawable faces in the plan's frame, with a linear albedo per
// vertex (empty: the neutral grey).
struct SceneModel {
    std::vector<nuk::Point3f> positions;
    std::vector<std::uint32_t> triangles;
    std::vector<nuk::Point3f> albedo;

    // The faces the view draws (coverage::ModelGeometry), moved by the
    // placement; with colours set, the vertices' colours read as sRGB.
    static SceneModel FromMesh(const AMesh &mesh, const coverage::Placement &placement, bool colours);
};

enum class Surface : std::uint8_t { None = 0, Model = 1, Backdrop = 2 };

class CaptureScene
{
public:
    // Null when the scene cannot be built, with the reason in error.
    static std::unique_ptr<CaptureScene> Build(SceneModel model, const planner::Stage &stage, std::string &error);
    ~CaptureScene();
    CaptureScene(const CaptureScene &) = delete;
    CaptureScene &operator=(const CaptureScene &) = delete;

    RTCScene handle() const { return scene_; }
    // How far off a surface a shadow ray starts: small against the scene,
    // large against float rounding at its coordinates.
    float surfaceOffset() const { return offset_; }
    const SceneModel &model() const { return model_; }
    // Memory held: the model's buffers (shared with the ray library), its
    // normals, and the ray library's own structure.
    std::size_t bytes() const;

    struct Hit {
        Surface surface = Surface::None;
        nuk::Point3f normal{0, 0, 1};    // shading normal, unit, facing the ray's origin
        nuk::Point3f geometric{0, 0, 1}; // unit, facing the ray's origin
        nuk::Point3f albedo{0, 0, 0};
    };
    // The surface at a hit of the ray library (geometry, face, barycentrics)
    // seen along dir.
    Hit SurfaceAt(unsigned geomID, unsigned primID, float u, float v, const nuk::Point3f &dir) const;

private:
    CaptureScene() = default;
    SceneModel model_;
    std::vector<nuk::Point3f> normals_; // per vertex, area-weighted
    unsigned modelID_ = RTC_INVALID_GEOMETRY_ID, backdropID_ = RTC_INVALID_GEOMETRY_ID;
    float offset_ = 0;
    coverage::DeviceBytes deviceBytes_;
    RTCDevice device_ = nullptr;
    RTCScene scene_ = nullptr;
};

} // namespace capture
