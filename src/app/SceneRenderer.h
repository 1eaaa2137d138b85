#pragma once
// The fixed-function drawing of the set-up: stage, camera, acquisition
// positions and the reference model. Plain OpenGL 1.1 and GLU, called with
// the view's context current; the window and the frame benchmark share it.

#include <cstdint>
#include <vector>

#include "app/ModelArrays.h"
#include "app/ModelBuffers.h"
#include "nuk/Point3.h"

namespace scene
{

// What one frame draws, read from the window's fields at the frame.
struct SceneInput {
    std::int32_t obj_size = 250;
    std::int32_t obj_height = 1000;
    std::int32_t cam_dist = 1000;
    float zoom = 1.0f;
    float zoom_ref = 1500.0f;
    // The point the view turns about and looks at, in mm: the object's
    // centre, or the model's after "Frame model".
    nuk::Point3f centre{0, 0, 0};
    // Device pixels per logical pixel: points and lines keep their size on
    // a high-density screen.
    float pixelRatio = 1.0f;
    const std::vector<nuk::Point3f> *positions = nullptr;
    const ModelArrays *model = nullptr;
    // When set and holding model, the model is drawn from these buffers.
    const ModelBuffers *modelBuffers = nullptr;
};

// Lights, material, depth test, culling, normalisation and blending; set
// once when the context is made.
void SetupFixedState();

// Viewport and projection for a view of width x height device pixels.
// The aspect is the larger side over the smaller, so never below 1.
void Resize(double width, double height);
double AspectOf(double width, double height);

// Clears and loads the camera; the caller applies the trackball next.
void BeginFrame();

// The zoom scale, then stage, camera, positions and model, then a flush.
void DrawScene(const SceneInput &in);

void DrawStage(std::int32_t obj_size, std::int32_t obj_height);
void DrawCamera(std::int32_t cam_dist);
// Points of size logical pixels across.
void DrawPositions(const std::vector<nuk::Point3f> &positions, float size = 4.0f);
// From buffers when they hold model, else from the client arrays: the same
// corners in the same order, so the same picture.
void DrawModel(const ModelArrays &model, const ModelBuffers *buffers = nullptr);

// Camera eye and projection constants of the view, for whoever must
// reproduce where the scene lands on screen.
constexpr double kFieldOfView = 30.0;
constexpr double kNear = 0.01;
constexpr double kFar = 195000.0;
// The camera's distance from the point it looks at (BeginFrame's eye at
// (3, 3, 3)), in the scene's scaled units.
inline const double kEyeDistance = 5.196152422706632;

} // namespace scene
