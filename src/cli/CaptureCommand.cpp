// quorvel-cli capture: the photographs a plan will take of the reference
// model, rendered with shadows, written as a folder an RTI fitter takes:
// the images in shooting order, their .lp and .dome, the normal map, the
// mask, the depth map and capture.json. The folder is written beside its
// place under a temporary name and renamed into place when complete.

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "capture/Camera.h"
#include "capture/Capture.h"
#include "capture/CaptureScene.h"
#include "capture/ImageFiles.h"
#include "capture/ImageSet.h"
#include "cli/Commands.h"
#include "cli/PlanOptions.h"
#include "cli/RenderInput.h"
#include "coverage/Placement.h"
#include "planner/LightExport.h"
#include "planner/Plan.h"

namespace cli
{
namespace
{

struct CaptureCommandOptions {
    std::string model;
    PlanOptions plan;
    std::string output;
    std::string resolution;
    int samples = capture::kDefaultSamples;
    std::string format = "png16";
    bool directional = false;
};

int Fail(const std::string &m) { return Complain("capture", m, kFailure); }

int RunCapture(const CaptureCommandOptions &opt)
{
    const std::optional<capture::ImageFormat> format = capture::ParseImageFormat(opt.format);
    if (!format) return Complain("capture", BadValue("--format", "must be png16, png8 or jpg", opt.format));
    RenderInput in;
    const int read = LoadRenderInput("capture", opt.plan, opt.model, opt.samples, opt.resolution, in);
    if (read != kOk) return read;
    const planner::Plan &plan = in.plan;
    const planner::PatternLists &lists = in.lists;
    // The lights first: a plan without a usable one is said before the model is read.
    std::string error;
    if (!capture::PlanSetUp(plan, lists, coverage::Placement{}, 1, 1, *format, error))
        return error == capture::kNoUsableLight ? Fail(error) : Complain("capture", error);

    coverage::Placement placement;
    const std::unique_ptr<capture::CaptureScene> scene = LoadRenderScene("capture", plan, placement);
    if (!scene) return kFailure;

    const std::optional<capture::SetUp> setUp =
        capture::PlanSetUp(plan, lists, placement, in.width, in.height, *format, error);
    if (!setUp) return Fail(error);
    capture::CaptureOptions co;
    co.samples = opt.samples;
    co.directional = opt.directional;
    capture::Renderer renderer(*scene, setUp->camera, co);
    if (!renderer.TracePrimary(nullptr, error)) return Fail(error);
    if (renderer.maps().objectPixels == 0) return Fail("the model is not in the picture: the camera sees none of it");
    capture::CaptureResult r;
    if (!capture::WriteImageSet(opt.output, plan, *setUp, renderer, co, *format, nullptr, r, error)) return Fail(error);
    std::printf("wrote %zu images of %d x %d pixels to %s (exposure scale %g)\n", setUp->lights.lights.size(),
                setUp->camera.width, setUp->camera.height, opt.output.c_str(), r.exposure);
    return kOk;
}

} // namespace

Action addCaptureCommand(CLI::App &app)
{
    auto opt = std::make_shared<CaptureCommandOptions>();
    CLI::App *cmd = app.add_subcommand("capture", "Render the photographs the plan will take of a reference model");
    cmd->footer(
        "Renders one image per usable light of the plan: a pinhole camera at (0, 0, camera distance) with the "
        "framing's sensor and focal length, the model (fitted to the object with --fit) in front of a matte grey "
        "backdrop, a point lamp at each light's position (1/r2 falloff; --directional: no falloff), shadows "
        "included. Writes DIR with the images in shooting order (the plan's image names, the format's extension), "
        "lights.lp and lights.dome, normals.png (16-bit, camera frame), mask.png, depth.png (16-bit, tenths of a "
        "millimetre from the camera) and capture.json. Lengths are millimetres. Exit status 0 on success, 1 when "
        "the model cannot be loaded or nothing can be rendered or written, 2 for a usage error.");
    cmd->add_option("MODEL", opt->model, "reference model (.ply, .obj or .stl); default: the plan file's model")
        ->type_name("PATH");
    opt->plan.add(cmd, PlanOptions::kFraming | PlanOptions::kReport | PlanOptions::kFrom | PlanOptions::kFit |
                           PlanOptions::kNaming);
    cmd->add_option("--output", opt->output, "folder to write (must not exist, or be empty)")
        ->type_name("DIR")
        ->required();
    cmd->add_option("--resolution", opt->resolution, "image size in pixels (default: 1024 wide, the sensor's aspect)")
        ->type_name("WxH");
    cmd->add_option("--samples", opt->samples,
                    "jittered samples per pixel, 1 to " + std::to_string(capture::kMaxSamples) + " (default " +
                        std::to_string(capture::kDefaultSamples) + ")")
        ->type_name("N");
    cmd->add_option("--format", opt->format, "png16 (linear, default), png8 (sRGB) or jpg (sRGB)")->type_name("FORMAT");
    cmd->add_flag("--directional", opt->directional, "lights at infinity in their directions, no falloff");
    return [cmd, opt]() -> int {
        if (!cmd->parsed()) return -1;
        return RunCapture(*opt);
    };
}

} // namespace cli
