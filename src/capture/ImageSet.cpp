#include "capture/ImageSet.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include <nlohmann/json.hpp>

#include "nuk/tools/AtomicFile.h"

namespace capture
{
namespace
{

using Json = nlohmann::ordered_json;

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

Json Description(const planner::Plan &plan, const SetUp &s, const CaptureOptions &co, ImageFormat format,
                 const CaptureResult &r)
{
    const Camera &camera = s.camera;
    Json j;
    j["model"] = plan.modelPath;
    j["fit"] = plan.fitModel;
    j["placement"] = {{"scale", s.placement.scale},
                      {"offset", {s.placement.offset.x, s.placement.offset.y, s.placement.offset.z}}};
    j["camera"] = {{"position", {0.0, 0.0, camera.distance}},
                   {"looking_at", {0.0, 0.0, 0.0}},
                   {"sensor", {plan.framing->sensorWidth, plan.framing->sensorHeight}},
                   {"focal_length", camera.focal},
                   {"pixel_pitch", camera.pitch}};
    j["image_size"] = {camera.width, camera.height};
    j["samples"] = co.samples;
    j["lights_kind"] = co.directional ? "directional" : "point";
    j["format"] = ImageFormatName(format);
    j["exposure"] = {{"scale", r.exposure},
                     {"brightest", r.brightest},
                     {"rule", "the brightest 0.5 % of lit object pixels reach 0.95"},
                     {"value", co.directional ? "scale * albedo * cos(incidence)"
                                              : "scale * albedo * cos(incidence) / r^2, r in mm"}};
    j["frame"] = "mm; x right, y up, z toward the camera; origin at the object's centre on the backdrop";
    Json lights = Json::array();
    for (const planner::Light &l : s.lights.lights)
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
                  {"depth",
                   {{"file", "depth.png"},
                    {"encoding", "16-bit, distance from the camera along its axis"},
                    {"units_per_mm", kDepthUnitsPerMm},
                    {"none", 0}}}};
    return j;
}

} // namespace

std::vector<nuk::Point3f> SetUp::positions() const
{
    std::vector<nuk::Point3f> p;
    p.reserve(lights.lights.size());
    for (const planner::Light &l : lights.lights)
        p.push_back(l.position);
    return p;
}

std::string WithExtension(const std::string &name, ImageFormat format)
{
    const std::size_t slash = name.find_last_of('/');
    const std::size_t dot = name.find_last_of('.');
    const bool has = dot != std::string::npos && (slash == std::string::npos || dot > slash) && dot > 0;
    return (has ? name.substr(0, dot) : name) + ImageExtension(format);
}

std::optional<SetUp> PlanSetUp(const planner::Plan &plan, const planner::PatternLists &lists,
                               const coverage::Placement &placement, int width, int height, ImageFormat format,
                               std::string &error)
{
    if (!plan.framing) {
        error = "the camera's framing is needed: the sensor's size and the focal length (mm)";
        return std::nullopt;
    }
    if (width <= 0 || height <= 0) {
        width = kDefaultWidth;
        height = DefaultHeight(*plan.framing, width);
    }
    SetUp s;
    s.exportOptions = plan.exportOptions();
    std::optional<planner::LightTable> table = planner::MakeLightTable(plan.input, lists, s.exportOptions, error);
    if (!table) return std::nullopt;
    const std::vector<bool> usable = planner::UsablePositions(plan, lists);
    std::vector<planner::Light> kept;
    for (std::size_t k = 0; k < table->lights.size(); ++k)
        if (k < usable.size() && usable[k]) {
            planner::Light l = table->lights[k];
            l.image = WithExtension(l.image, format);
            kept.push_back(l);
        }
    if (kept.empty()) {
        error = kNoUsableLight;
        return std::nullopt;
    }
    table->lights = std::move(kept);
    s.lights = std::move(*table);
    s.placement = placement;
    s.camera = MakeCamera(*plan.framing, plan.input.cameraDistance, width, height);
    return s;
}

bool WriteImageSet(const std::string &output, const planner::Plan &plan, const SetUp &s, Renderer &renderer,
                   const CaptureOptions &options, ImageFormat format, const Progress &progress, CaptureResult &result,
                   std::string &error)
{
    const std::filesystem::path target(output);
    std::filesystem::path parent = target.parent_path();
    if (parent.empty()) parent = ".";
    std::string pattern = (parent / ".capture-XXXXXX").string();
    std::vector<char> buf(pattern.begin(), pattern.end());
    buf.push_back('\0');
    if (!::mkdtemp(buf.data())) {
        error = "cannot write " + output + ": " + std::strerror(errno);
        return false;
    }
    TempFolder temp{buf.data()};
    const std::string dir = temp.path + "/";
    const int width = s.camera.width, height = s.camera.height;

    result = renderer.Render(
        s.positions(),
        [&](std::size_t l, std::vector<float> &rgb, std::string &message) {
            return WritePhoto(dir + s.lights.lights[l].image, width, height, rgb.data(), format, message);
        },
        progress);
    if (!result.ok) {
        error = result.cancelled ? "cancelled" : result.error;
        return false;
    }
    const Maps &m = renderer.maps();
    if (!WriteNormalMap(dir + "normals.png", width, height, m.normal.data(), error) ||
        !WriteMask(dir + "mask.png", width, height, m.object.data(), error) ||
        !WriteDepthMap(dir + "depth.png", width, height, m.depth.data(), kDepthUnitsPerMm, error))
        return false;
    for (planner::LightFormat f : {planner::LightFormat::Lp, planner::LightFormat::Dome}) {
        const planner::ExportText text = planner::FormatLights(f, s.lights, s.exportOptions);
        if (!text.ok) {
            error = text.error;
            return false;
        }
        const nuk::WriteResult w = nuk::WriteFileAtomically(dir + "lights" + planner::FormatExtension(f), text.text);
        if (!w.ok) {
            error = w.message();
            return false;
        }
    }
    const nuk::WriteResult w =
        nuk::WriteFileAtomically(dir + "capture.json", Description(plan, s, options, format, result).dump(2) + "\n");
    if (!w.ok) {
        error = w.message();
        return false;
    }
    if (std::rename(temp.path.c_str(), output.c_str()) != 0) {
        error = "cannot write " + output + ": " + std::strerror(errno);
        return false;
    }
    temp.path.clear();
    return true;
}

} // namespace capture
