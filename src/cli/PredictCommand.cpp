// quorvel-cli predict: how good the RTI fit of the plan will be on the
// reference model, from the virtual capture's images (rendered in memory):
// the photometric-stereo normals against the true ones, PTM and HSH
// relighting against held-out renders, and how many lights reach each
// pixel. Optionally the maps of those figures as PNG files.

#include <sys/stat.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include "capture/Camera.h"
#include "capture/CaptureScene.h"
#include "cli/Commands.h"
#include "cli/PlanOptions.h"
#include "cli/RenderInput.h"
#include "coverage/Placement.h"
#include "planner/Plan.h"
#include "plot/ErrorMap.h"
#include "plot/PlanPlot.h"
#include "predict/Predict.h"

namespace cli
{
namespace
{

using Json = nlohmann::ordered_json;

struct PredictCommandOptions {
    std::string model;
    PlanOptions plan;
    std::string resolution;
    int samples = capture::kDefaultSamples;
    bool directional = false;
    bool json = false;
    std::string maps;
};

int Fail(const std::string &m) { return Complain("predict", m, kFailure); }

std::string Percent(double share)
{
    char b[32];
    std::snprintf(b, sizeof b, "%.1f %%", 100.0 * share);
    return b;
}

std::string Number(double v, int decimals)
{
    char b[32];
    std::snprintf(b, sizeof b, "%.*f", decimals, v);
    return b;
}

Json FiguresJson(const predict::ErrorFigures &f, double labelFactor, const char *median, const char *p95,
                 const char *threshold)
{
    Json j;
    j["fitted"] = f.fitted;
    j["pixels"] = f.pixels;
    if (!f.fitted) return j;
    j[median] = f.median * labelFactor;
    j[p95] = f.p95 * labelFactor;
    Json above = Json::array();
    for (std::size_t i = 0; i < f.thresholds.size(); ++i)
        above.push_back({{threshold, f.thresholds[i] * labelFactor}, {"share", f.above[i]}});
    j["above"] = above;
    return j;
}

std::string Row(const char *name, const predict::ErrorFigures &f, double factor)
{
    char b[200];
    if (!f.fitted) {
        std::snprintf(b, sizeof b, "  %-22s cannot fit on these lights\n", name);
        return b;
    }
    std::snprintf(b, sizeof b, "  %-22s%8.2f%8.2f", name, f.median * factor, f.p95 * factor);
    std::string s = b;
    for (double a : f.above) {
        std::snprintf(b, sizeof b, "%9s", Percent(a).c_str());
        s += b;
    }
    return s + "\n";
}

std::string Text(const predict::Prediction &r, const std::string &model, int samples, bool directional)
{
    std::string s = "Predicted result of " + std::to_string(r.lights) + " lights on " + model + "\n";
    s += "  " + std::to_string(r.width) + " x " + std::to_string(r.height) + " pixels, " + std::to_string(samples) +
         (samples == 1 ? " sample, " : " samples, ") +
         (directional ? "directional lights" : "point lamps at the plan's positions (1/r2)") + "\n";
    s += "  object pixels " + std::to_string(r.objectPixels) + "\n";
    s += "Lights reaching a pixel unshadowed (share of the object's pixels)\n";
    for (std::size_t i = 0; i < predict::kLightCounts.size(); ++i) {
        char b[64];
        std::snprintf(b, sizeof b, "  %d or more%21s\n", predict::kLightCounts[i], Percent(r.litShare[i]).c_str());
        s += b;
    }
    s += "Normals (photometric stereo), angle to the true normal in degrees\n";
    s += "                          median    95 %      > 2      > 5     > 10\n";
    s += Row("normals", r.normals, 1.0);
    s += "Relighting at " + std::to_string(r.heldOut.size()) + " held-out directions from " +
         Number(r.minElevation, 1) + " degrees up, RMS error over mean brightness in %\n";
    s += "                          median    95 %    > 5 %   > 10 %\n";
    for (int m = 0; m < predict::kModels; ++m)
        s += Row(predict::kModelNames[m], r.relight[std::size_t(m)], 100.0);
    if (r.darkPixels)
        s += "  " + std::to_string(r.darkPixels) +
             " object pixels dark under every held-out light: no relighting error\n";
    return s;
}

Json JsonOf(const predict::Prediction &r, const std::string &model, int samples, bool directional)
{
    Json j;
    j["model"] = model;
    j["lights"] = r.lights;
    j["image_size"] = {r.width, r.height};
    j["samples"] = samples;
    j["lights_kind"] = directional ? "directional" : "point";
    j["light_distance_mm"] = r.lightDistance;
    j["exposure"] = r.exposure;
    j["object_pixels"] = r.objectPixels;
    Json lit = Json::array();
    for (std::size_t i = 0; i < predict::kLightCounts.size(); ++i)
        lit.push_back({{"lights", predict::kLightCounts[i]}, {"share", r.litShare[i]}});
    j["lit_share"] = lit;
    j["normals"] = FiguresJson(r.normals, 1.0, "median_deg", "p95_deg", "threshold_deg");
    Json relight;
    for (int m = 0; m < predict::kModels; ++m) {
        Json f = FiguresJson(r.relight[std::size_t(m)], 1.0, "median", "p95", "threshold");
        f["terms"] = predict::kModelTerms[m];
        relight[predict::kModelKeys[m]] = f;
    }
    j["relight"] = relight;
    Json dirs = Json::array();
    for (const nuk::Point3d &d : r.heldOut)
        dirs.push_back({d.x, d.y, d.z});
    j["held_out"] = {{"count", r.heldOut.size()}, {"min_elevation_deg", r.minElevation}, {"directions", dirs}};
    j["dark_pixels"] = r.darkPixels;
    j["light_sets"] = r.lightSets;
    j["seconds"] = {
        {"trace", r.traceSeconds}, {"render", r.renderSeconds}, {"fit", r.fitSeconds}, {"held_out", r.heldOutSeconds}};
    return j;
}

// The maps of the prediction; error names what failed.
bool WriteMaps(const std::string &dir, const predict::Prediction &r, Json &files, std::string &error)
{
    if (::mkdir(dir.c_str(), 0777) != 0 && errno != EEXIST) {
        error = "cannot write " + dir + ": " + std::strerror(errno);
        return false;
    }
    plot::OffscreenGui gui;
    const std::vector<float> &mask = r.normalError; // NaN off the object, a number on it
    auto save = [&](const char *name, const QImage &image) {
        const planner::WriteResult w = plot::SaveMap(dir + "/" + name, image);
        if (!w.ok) error = w.message();
        files.push_back(name);
        return w.ok;
    };
    const QString deg = QStringLiteral("\u00B0");
    plot::ColourScale angles{20.0, 1.0, deg, {0, 2, 5, 10, 20}};
    auto figures = [](const predict::ErrorFigures &f, double factor, const QString &unit) {
        return QStringList{QStringLiteral("median %1%2").arg(f.median * factor, 0, 'f', 2).arg(unit),
                           QStringLiteral("95th percentile %1%2").arg(f.p95 * factor, 0, 'f', 2).arg(unit)};
    };
    QStringList lines{QStringLiteral("photometric stereo, angle to"), QStringLiteral("the true normal")};
    lines += figures(r.normals, 1.0, deg);
    if (!save("normal-error.png", plot::DrawValueMap(r.width, r.height, r.normalError.data(), mask.data(), angles,
                                                     QStringLiteral("Normal error"), lines)))
        return false;
    const char *names[predict::kModels] = {"relight-ptm.png", "relight-hsh2.png", "relight-hsh3.png"};
    const char *titles[predict::kModels] = {"PTM relighting error", "HSH 2 relighting error", "HSH 3 relighting error"};
    plot::ColourScale shares{0.20, 100.0, QStringLiteral(" %"), {0, 0.05, 0.10, 0.20}};
    for (int m = 0; m < predict::kModels; ++m) {
        const predict::ErrorFigures &f = r.relight[std::size_t(m)];
        QStringList l{QStringLiteral("RMS over %1 held-out lights").arg(r.heldOut.size()),
                      QStringLiteral("over the mean brightness")};
        if (f.fitted)
            l += figures(f, 100.0, QStringLiteral(" %"));
        else
            l += QStringLiteral("cannot fit on these lights");
        if (!save(names[m], plot::DrawValueMap(r.width, r.height, r.relightError[std::size_t(m)].data(), mask.data(),
                                               shares, QString::fromUtf8(titles[m]), l)))
            return false;
    }
    // The coverage's bands, in image space.
    std::vector<int> band(r.litCount.size(), -1);
    for (std::size_t p = 0; p < band.size(); ++p) {
        if (std::isnan(mask[p])) continue;
        const int n = r.litCount[p];
        band[p] = n >= 9 ? 3 : n >= 6 ? 2 : n >= 1 ? 1 : 0;
    }
    const std::vector<plot::Band> bands = {{QColor(110, 0, 0), QStringLiteral("no light")},
                                           {QColor(230, 40, 30), QStringLiteral("1 to 5 lights: too few")},
                                           {QColor(250, 180, 0), QStringLiteral("6 to 8: a PTM only")},
                                           {QColor(40, 170, 60), QStringLiteral("9 or more: PTM and HSH 3")}};
    QStringList l{QStringLiteral("lights reaching the pixel"), QStringLiteral("unshadowed")};
    for (std::size_t i = 0; i < predict::kLightCounts.size(); ++i)
        l += QStringLiteral("%1 or more: %2 %").arg(predict::kLightCounts[i]).arg(100.0 * r.litShare[i], 0, 'f', 1);
    return save("lights.png", plot::DrawBandMap(r.width, r.height, band, bands, QStringLiteral("Lit lights"), l));
}

int RunPredict(const PredictCommandOptions &opt)
{
    RenderInput in;
    const int read = LoadRenderInput("predict", opt.plan, opt.model, opt.samples, opt.resolution, in);
    if (read != kOk) return read;
    const planner::Plan &plan = in.plan;
    const planner::PatternLists &lists = in.lists;
    int width = in.width, height = in.height;
    if (opt.resolution.empty()) {
        width = kPredictWidth;
        height = capture::DefaultHeight(*plan.framing, width);
    }

    const std::vector<bool> usable = planner::UsablePositions(plan, lists);
    std::vector<nuk::Point3f> lights;
    for (std::size_t k = 0; k < lists.positions.size(); ++k)
        if (k < usable.size() && usable[k]) lights.push_back(lists.positions[k]);
    if (lights.empty()) return Fail("the plan has no usable light");

    coverage::Placement placement;
    const std::unique_ptr<capture::CaptureScene> scene = LoadRenderScene("predict", plan, placement);
    if (!scene) return kFailure;
    std::string error;

    const capture::Camera camera = capture::MakeCamera(*plan.framing, plan.input.cameraDistance, width, height);
    predict::PredictOptions po;
    po.capture.samples = opt.samples;
    po.capture.directional = opt.directional;
    po.heldOutFrom = plan.grazingBelow;
    const predict::Prediction r = predict::Predict(*scene, camera, lights, po);
    if (!r.ok) return Fail(r.error);

    Json files = Json::array();
    if (!opt.maps.empty() && !WriteMaps(opt.maps, r, files, error)) return Fail(error);
    if (opt.json) {
        Json j = JsonOf(r, plan.modelPath, opt.samples, opt.directional);
        if (!opt.maps.empty()) j["maps"] = {{"folder", opt.maps}, {"files", files}};
        std::printf("%s\n", j.dump().c_str());
    } else {
        std::fputs(Text(r, plan.modelPath, opt.samples, opt.directional).c_str(), stdout);
        if (!opt.maps.empty()) std::printf("wrote %zu maps to %s\n", files.size(), opt.maps.c_str());
    }
    return kOk;
}

} // namespace

Action addPredictCommand(CLI::App &app)
{
    auto opt = std::make_shared<PredictCommandOptions>();
    CLI::App *cmd =
        app.add_subcommand("predict", "Predict how well RTI fits of the plan will reproduce a reference model");
    cmd->footer(
        "Renders the plan's usable lights on the model as 'capture' does (in memory, nothing is written but the "
        "maps), fits per pixel the photometric-stereo normal (dark samples left out) and PTM, HSH order 2 and "
        "order 3 over the lights' directions from the object's centre, and compares them with the truth: the "
        "angle to the rendered normal, and the RMS relighting error at 64 held-out directions over the usable cap "
        "relative to the pixel's mean brightness (the cap from the grazing limit up). Prints the median, the 95th "
        "percentile and the shares above 2, "
        "5 and 10 degrees or 5 and 10 %, and the share of pixels reached unshadowed by 3, 6 and 9 lights. Lengths "
        "are millimetres. --maps DIR writes normal-error.png, relight-ptm.png, relight-hsh2.png, "
        "relight-hsh3.png and lights.png. Exit status 0 on success, 1 when the model cannot be loaded, the plan "
        "has no usable light, the camera sees none of the model or a map cannot be written, 2 for a usage "
        "error.");
    cmd->add_option("MODEL", opt->model, "reference model (.ply, .obj or .stl); default: the plan file's model")
        ->type_name("PATH");
    opt->plan.add(cmd, PlanOptions::kFraming | PlanOptions::kReport | PlanOptions::kFrom | PlanOptions::kFit);
    cmd->add_option("--resolution", opt->resolution, "image size in pixels (default: 512 wide, the sensor's aspect)")
        ->type_name("WxH");
    cmd->add_option("--samples", opt->samples, "jittered samples per pixel, 1 to 64 (default 4)")->type_name("N");
    cmd->add_flag("--directional", opt->directional, "lights at infinity in their directions, no falloff");
    cmd->add_flag("--json", opt->json, "every figure as one JSON object");
    cmd->add_option("--maps", opt->maps, "folder for the maps (made when missing)")->type_name("DIR");
    return [cmd, opt]() -> int {
        if (!cmd->parsed()) return -1;
        return RunPredict(*opt);
    };
}

} // namespace cli
