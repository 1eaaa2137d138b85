#pragma once
// What quorvel-cli capture and predict both read before they render: the
// samples per pixel and the image size checked, the plan with its framing
// and its model, and the model loaded, placed and built into the capture's
// scene. Failures are said on stderr under the command's name.

#include <memory>
#include <string>

#include "capture/CaptureScene.h"
#include "cli/PlanOptions.h"
#include "coverage/Placement.h"
#include "nuk/Mesh/AMesh.h"
#include "nuk/Mesh/ModelLoad.h"
#include "planner/Plan.h"

namespace cli
{

// quorvel-cli predict's default image width (and suggest --predict's): a
// quarter of the capture's pixels; the figures are shares and percentiles
// over the object, which settle long before the full size.
inline constexpr int kPredictWidth = 512;

struct RenderInput {
    planner::Plan plan;
    planner::PatternLists lists;
    int width = 0, height = 0; // pixels; 0 when --resolution is not given
};

// kOk, or the exit status after saying why.
int LoadRenderInput(const char *command, const PlanOptions &options, const std::string &model, int samples,
                    const std::string &resolution, RenderInput &in);

// The plan's model in the capture's scene, with where it stands; null after
// saying why (exit status 1).
std::unique_ptr<capture::CaptureScene> LoadRenderScene(const char *command, const planner::Plan &plan,
                                                       coverage::Placement &placement);

// Whether the loaded model's vertex colours are its albedo.
bool HasVertexColours(const nuk::ModelLoadResult &load);

// The same from a model already loaded (colours: its vertex colours are
// the albedo).
std::unique_ptr<capture::CaptureScene> BuildRenderScene(const char *command, const planner::Plan &plan,
                                                        const AMesh &mesh, bool colours,
                                                        coverage::Placement &placement);

} // namespace cli
