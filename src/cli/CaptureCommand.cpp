// quorvel-cli capture: the photographs a plan will take of the reference
// model, rendered with shadows, written as a folder an RTI fitter takes:
// the images in shooting order, their .lp and .dome, the normal map, the
// mask, the depth map and capture.json. The folder is written beside its
// place under a temporary name and renamed into place when complete.

#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include "capture/Camera.h"
#include "capture/Capture.h"
#include "capture/CaptureScene.h"
#include "capture/ImageFiles.h"
#include "cli/Commands.h"
#include "cli/PlanOptions.h"
#include "coverage/Placement.h"
#include "nuk/Mesh/ModelLoad.h"
#include "nuk/tools/AtomicFile.h"
#include "planner/LightExport.h"
#include "planner/Plan.h"
#include "planner/Stage.h"

namespace cli
{
namespace
{

using Json = nlohmann::ordered_json;

// Depth map units: tenths of a millimetre (65535 is 6553.5 mm).
constexpr double kDepthUnitsPerMm = 10.0;

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

// A temporary folder removed unless released.
struct TempFolder {
    std::string path;
    ~TempFolder()
    {
        if (!path.empty()) {
            std::error_code ec;
            std::filesystem::remove_all(path, ec);
        }
    }
};

std::string ReplaceExtension(const std::string &name, const char *ext)
{
    const std::size_t slash = name.find_last_of('/');
    const std::size_t dot = name.find_last_of('.');
    const bool has = dot != std::string::npos && (slash == std::string::npos || dot > slash) && dot > 0;
    return (has ? name.substr(0, dot) : name) + ext;
}

int RunCapture(const CaptureCommandOptions &opt)
{
    const std::optional<capture::ImageFormat> format = capture::ParseImageFormat(opt.format);
    if (!format) return Complain("capture", BadValue("--format", "must be png16, png8 or jpg", opt.format));
    if (opt.samples < 1 || opt.samples > capture::kMaxSamples)
        return Complain("capture", BadValue("--samples", "must be a whole number from 1 to 64", std::to_string(opt.samples)));
    int width = 0, height = 0;
    if (!opt.resolution.empty()) {
        char x = 0;
        char rest = 0;
        if (std::sscanf(opt.resolution.c_str(), "%d%c%d%c", &width, &x, &height, &rest) != 3 || (x != 'x' && x != 'X') ||
            width < 1 || height < 1 || width > 16384 || height > 16384)
            return Complain("capture", BadValue("--resolution", "must be WIDTHxHEIGHT in pixels, 1 to 16384 each", opt.resolution));
    }

    planner::Plan plan;
    planner::PatternLists lists;
    const int loaded = opt.plan.load("capture", plan, lists, nullptr);
    if (loaded != kOk) return loaded;
    if (!plan.framing)
        return Complain("capture", "the camera's framing is needed: give --sensor and --focal, or a plan with them");
    if (!opt.model.empty()) plan.modelPath = opt.model;
    if (plan.modelPath.empty()) return Complain("capture", "MODEL is needed: name the model, or a plan with a model");
    if (opt.resolution.empty()) {
        width = capture::kDefaultWidth;
        height = capture::DefaultHeight(*plan.framing, width);
    }

    // The usable lights, with the plan's image names and numbers.
    planner::ExportOptions ex = plan.exportOptions();
    std::string error;
    std::optional<planner::LightTable> table = planner::MakeLightTable(plan.input, lists, ex, error);
    if (!table) return Complain("capture", error);
    const std::vector<bool> usable = planner::UsablePositions(plan, lists);
    std::vector<planner::Light> kept;
    for (std::size_t k = 0; k < table->lights.size(); ++k)
        if (k < usable.size() && usable[k]) {
            planner::Light l = table->lights[k];
            l.image = ReplaceExtension(l.image, capture::ImageExtension(*format));
            kept.push_back(l);
        }
    if (kept.empty()) return Fail("the plan has no usable light");
    table->lights = kept;

    auto mesh = std::make_unique<AMesh>();
    const nuk::ModelLoadResult load = nuk::LoadModel(*mesh, plan.modelPath.c_str());
    if (!load.ok()) return Fail("cannot load " + plan.modelPath + ": " + load.reason);
    coverage::Placement placement;
    if (plan.fitModel) placement = coverage::FitToObject(mesh->box, static_cast<float>(plan.input.objectSize));
    const bool colours = load.format == nuk::ModelFormat::Ply && (load.mask & nuk::PLYMASK_VERTCOLOR) != 0;
    const planner::Stage stage = planner::StageOf(plan.input.objectSize, plan.input.objectHeight, plan.input.cameraDistance);
    auto scene = capture::CaptureScene::Build(capture::SceneModel::FromMesh(*mesh, placement, colours), stage, error);
    mesh.reset();
    if (!scene) return Fail(error);

    const capture::Camera camera = capture::MakeCamera(*plan.framing, plan.input.cameraDistance, width, height);
    capture::CaptureOptions co;
    co.samples = opt.samples;
    co.directional = opt.directional;
    capture::Renderer renderer(*scene, camera, co);
    if (!renderer.TracePrimary(nullptr, error)) return Fail(error);
    if (renderer.maps().objectPixels == 0) return Fail("the model is not in the picture: the camera sees none of it");

    // The folder, beside its place.
    const std::filesystem::path target(opt.output);
    std::filesystem::path parent = target.parent_path();
    if (parent.empty()) parent = ".";
    std::string pattern = (parent / (".capture-XXXXXX")).string();
    std::vector<char> buf(pattern.begin(), pattern.end());
    buf.push_back('\0');
    if (!::mkdtemp(buf.data()))
        return Fail("cannot write " + opt.output + ": " + std::strerror(errno));
    TempFolder temp{buf.data()};
    const std::string dir = temp.path + "/";

    std::vector<nuk::Point3f> positions;
    for (const planner::Light &l : table->lights)
        positions.push_back(l.position);
    const capture::CaptureResult r = renderer.Render(
        positions,
        [&](std::size_t l, const std::vector<float> &rgb, std::string &message) {
            return capture::WritePhoto(dir + table->lights[l].image, width, height, rgb.data(), *format, message);
        },
        nullptr);
    if (!r.ok) return Fail(r.error);

    const capture::Maps &m = renderer.maps();
    if (!capture::WriteNormalMap(dir + "normals.png", width, height, m.normal.data(), error) ||
        !capture::WriteMask(dir + "mask.png", width, height, m.object.data(), error) ||
        !capture::WriteDepthMap(dir + "depth.png", width, height, m.depth.data(), kDepthUnitsPerMm, error))
        return Fail(error);
    for (planner::LightFormat f : {planner::LightFormat::Lp, planner::LightFormat::Dome}) {
        const planner::ExportText text = planner::FormatLights(f, *table, ex);
        if (!text.ok) return Fail(text.error);
        const nuk::WriteResult w =
            nuk::WriteFileAtomically(dir + "lights" + planner::FormatExtension(f), text.text);
        if (!w.ok) return Fail(w.message());
    }

    Json j;
    j["model"] = plan.modelPath;
    j["fit"] = plan.fitModel;
    j["placement"] = {{"scale", placement.scale}, {"offset", {placement.offset.x, placement.offset.y, placement.offset.z}}};
    j["camera"] = {{"position", {0.0, 0.0, camera.distance}},
                   {"looking_at", {0.0, 0.0, 0.0}},
                   {"sensor", {plan.framing->sensorWidth, plan.framing->sensorHeight}},
                   {"focal_length", camera.focal},
                   {"pixel_pitch", camera.pitch}};
    j["image_size"] = {width, height};
    j["samples"] = co.samples;
    j["lights_kind"] = co.directional ? "directional" : "point";
    j["format"] = capture::ImageFormatName(*format);
    j["exposure"] = {{"scale", r.exposure},
                     {"brightest", r.brightest},
                     {"rule", "the brightest 0.5 % of lit object pixels reach 0.95"},
                     {"value", co.directional ? "scale * albedo * cos(incidence)"
                                              : "scale * albedo * cos(incidence) / r^2, r in mm"}};
    j["frame"] = "mm; x right, y up, z toward the camera; origin at the object's centre on the backdrop";
    Json lights = Json::array();
    for (const planner::Light &l : table->lights)
        lights.push_back({{"sequence", l.sequence},
                          {"image", l.image},
                          {"position", {l.position.x, l.position.y, l.position.z}},
                          {"direction", {l.direction.x, l.direction.y, l.direction.z}},
                          {"elevation", l.elevation},
                          {"azimuth", l.azimuth}});
    j["lights"] = lights;
    j["files"] = {{"lp", "lights.lp"},
                  {"dome", "lights.dome"},
                  {"normals", {{"file", "normals.png"}, {"encoding", "16-bit RGB, (n + 1) / 2, camera frame"}}},
                  {"mask", {{"file", "mask.png"}, {"encoding", "8-bit, 255 on the model"}}},
                  {"depth", {{"file", "depth.png"},
                             {"encoding", "16-bit, distance from the camera along its axis"},
                             {"units_per_mm", kDepthUnitsPerMm},
                             {"none", 0}}}};
    const nuk::WriteResult w = nuk::WriteFileAtomically(dir + "capture.json", j.dump(2) + "\n");
    if (!w.ok) return Fail(w.message());

    if (std::rename(temp.path.c_str(), opt.output.c_str()) != 0)
        return Fail("cannot write " + opt.output + ": " + std::strerror(errno));
    temp.path.clear();
    std::printf("wrote %zu images of %d x %d pixels to %s (exposure scale %g)\n", table->lights.size(), width, height,
                opt.output.c_str(), r.exposure);
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
    cmd->add_option("--samples", opt->samples, "jittered samples per pixel, 1 to 64 (default 4)")->type_name("N");
    cmd->add_option("--format", opt->format, "png16 (linear, default), png8 (sRGB) or jpg (sRGB)")
        ->type_name("FORMAT");
    cmd->add_flag("--directional", opt->directional, "lights at infinity in their directions, no falloff");
    return [cmd, opt]() -> int {
        if (!cmd->parsed()) return -1;
        return RunCapture(*opt);
    };
}

} // namespace cli
