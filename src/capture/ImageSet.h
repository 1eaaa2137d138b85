#pragma once
// A plan's capture as a folder an RTI fitter takes: the photographs in
// shooting order under the plan's image names, lights.lp and lights.dome of
// the same lights, normals.png, mask.png, depth.png and capture.json. The
// command line's capture and the window's "Save image set…" both write it
// through here. The folder is made beside its place under a temporary name
// and renamed into place when complete: a failure leaves nothing behind.

#include <optional>
#include <string>
#include <vector>

#include "capture/Camera.h"
#include "capture/Capture.h"
#include "capture/ImageFiles.h"
#include "coverage/Placement.h"
#include "planner/LightExport.h"
#include "planner/Plan.h"

namespace capture
{

// Depth map units: tenths of a millimetre (65535 is 6553.5 mm).
inline constexpr double kDepthUnitsPerMm = 10.0;

// PlanSetUp's error when the plan has lights but none is usable.
inline constexpr const char *kNoUsableLight = "the plan has no usable light";

// What a plan's capture photographs, and how.
struct SetUp {
    planner::ExportOptions exportOptions;
    planner::LightTable lights; // the usable lights in shooting order, named with the format's extension
    coverage::Placement placement;
    Camera camera;

    std::vector<nuk::Point3f> positions() const;
};

// The plan's usable lights and its camera at width x height pixels (0 x 0:
// kDefaultWidth wide at the sensor's aspect). Nothing, with error, when the
// plan has no framing or no usable light.
std::optional<SetUp> PlanSetUp(const planner::Plan &plan, const planner::PatternLists &lists,
                               const coverage::Placement &placement, int width, int height, ImageFormat format,
                               std::string &error);

// The image name with the format's extension in place of its own.
std::string WithExtension(const std::string &name, ImageFormat format);

// Renders the set with renderer (its camera's rays traced) and writes the
// folder at output. False, with error, when anything could not be written
// or the rendering was cancelled (cancelled then set); nothing is left.
bool WriteImageSet(const std::string &output, const planner::Plan &plan, const SetUp &setUp, Renderer &renderer,
                   const CaptureOptions &options, ImageFormat format, const Progress &progress, CaptureResult &result,
                   std::string &error);

} // namespace capture
