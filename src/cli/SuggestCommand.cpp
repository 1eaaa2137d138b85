// quorvel-cli suggest: a plan of N photographs chosen from the positions the
// rig can reach. Without a model, spread evenly; with one, so that as much
// of the visible surface as possible is lit by at least K of them. Writes
// the acquisition file (and a plan file when asked) and reports the figures
// of the choice beside those of the even choice of the same size.

#include <charconv>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include "capture/Camera.h"
#include "cli/Commands.h"
#include "cli/PlanOptions.h"
#include "cli/RenderInput.h"
#include "coverage/CoverageScene.h"
#include "coverage/Placement.h"
#include "nuk/Mesh/AMesh.h"
#include "nuk/Mesh/ModelLoad.h"
#include "planner/Plan.h"
#include "planner/PlanFile.h"
#include "planner/Suggestion.h"
#include "predict/Predict.h"
#include "suggest/Suggest.h"

namespace cli
{
namespace
{

using Json = nlohmann::ordered_json;
const char *const kCommand = "suggest";

struct SuggestOptions {
    std::string model;
    PlanOptions plan;
    std::string count;
    std::string minLights;
    std::string output = planner::kAcquisitionFile;
    std::string planOutput;
    bool json = false;
    bool predict = false;
    CLI::Option *minLightsOption = nullptr;
};

// The predicted normal error of one choice: the plan's lights rendered on
// the model and fitted as quorvel-cli predict does.
struct Predicted {
    bool ok = false;
    std::string error;
    predict::ErrorFigures normals;
    predict::ErrorFigures ptm, hsh3;
};

Predicted PredictChoice(const capture::CaptureScene &scene, const planner::Plan &plan,
                        const std::vector<nuk::Point3f> &lights)
{
    Predicted p;
    const int height = capture::DefaultHeight(*plan.framing, kPredictWidth);
    const capture::Camera camera = capture::MakeCamera(*plan.framing, plan.input.cameraDistance, kPredictWidth, height);
    predict::PredictOptions po;
    po.heldOutFrom = plan.grazingBelow;
    const predict::Prediction r = predict::Predict(scene, camera, lights, po);
    p.ok = r.ok;
    p.error = r.error;
    p.normals = r.normals;
    p.ptm = r.relight[predict::kPtm];
    p.hsh3 = r.relight[predict::kHsh3];
    return p;
}

Json PredictedJson(const Predicted &p)
{
    Json j;
    // The median, the 95th percentile and the share above the largest
    // threshold (10 degrees, 10 %).
    auto figures = [](const predict::ErrorFigures &f, const char *above) {
        if (!f.fitted) return Json(nullptr);
        return Json{{"median", f.median}, {"p95", f.p95}, {above, f.above.empty() ? 0.0 : f.above.back()}};
    };
    j["normal_error_deg"] = figures(p.normals, "share_above_10_deg");
    j["relight_ptm"] = figures(p.ptm, "share_above_10_percent");
    j["relight_hsh3"] = figures(p.hsh3, "share_above_10_percent");
    return j;
}

void PrintPredicted(const Predicted &p)
{
    const predict::ErrorFigures &n = p.normals;
    if (!n.fitted) {
        std::printf("  predicted normals: cannot fit on these lights\n");
        return;
    }
    std::printf("  predicted normal error: median %.2f, 95th percentile %.2f degrees, %.1f %% of the object above "
                "%.0f degrees\n",
                n.median, n.p95, 100.0 * (n.above.empty() ? 0.0 : n.above.back()),
                n.thresholds.empty() ? 0.0 : n.thresholds.back());
    if (p.ptm.fitted && p.hsh3.fitted)
        std::printf("  predicted relighting error (median): PTM %.1f %%, HSH order 3 %.1f %%\n", 100.0 * p.ptm.median,
                    100.0 * p.hsh3.median);
}

// A whole number from low to high, or none.
std::optional<long long> WholeIn(const std::string &text, long long low, long long high)
{
    long long v = 0;
    const char *end = text.data() + text.size();
    const auto r = std::from_chars(text.data(), end, v);
    if (r.ec != std::errc() || r.ptr != end || v < low || v > high) return std::nullopt;
    return v;
}

Json Optional(const std::optional<double> &v) { return v ? Json(*v) : Json(nullptr); }

Json FiguresJson(const suggest::Figures &f, bool withModel)
{
    Json j;
    j["positions"] = f.positions;
    if (withModel) {
        j["reached_share"] = f.reached;
        Json bands = Json::array();
        for (int b = 0; b < coverage::kBandCount; ++b)
            bands.push_back({{"lights", coverage::BandLabel(coverage::Band(b))}, {"share", f.bandShare[b]}});
        j["bands"] = bands;
    }
    const auto &n = f.evenness.neighbours;
    j["nearest_neighbour_deg"] =
        n ? Json{{"min", n->min}, {"median", n->median}, {"max", n->max}, {"evenness", n->evenness()}} : Json(nullptr);
    j["ptm_condition"] = Optional(f.evenness.ptm);
    j["hsh3_condition"] = Optional(f.evenness.hsh3);
    return j;
}

std::string Cond(const std::optional<double> &c)
{
    if (!c) return "cannot fit";
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.2f", *c);
    return buf;
}

void PrintFigures(const char *name, const suggest::Figures &f, bool withModel, int k)
{
    std::printf("%s: %zu positions\n", name, f.positions);
    if (withModel) {
        std::printf("  lit by at least %d: %5.1f %% of the visible area\n", k, 100.0 * f.reached);
        for (int b = 0; b < coverage::kBandCount; ++b)
            std::printf("  lit by %-4s: %5.1f %%\n", coverage::BandLabel(coverage::Band(b)), 100.0 * f.bandShare[b]);
    }
    if (const auto &n = f.evenness.neighbours)
        std::printf("  nearest neighbours: %.2f / %.2f / %.2f degrees (min / median / max), evenness %.2f\n", n->min,
                    n->median, n->max, n->evenness());
    std::printf("  condition: PTM %s, HSH order 3 %s\n", Cond(f.evenness.ptm).c_str(), Cond(f.evenness.hsh3).c_str());
}

int RunSuggest(const SuggestOptions &opt)
{
    const long long most = static_cast<long long>(planner::kMaxSuggestedPositions);
    const std::optional<long long> count = WholeIn(opt.count, 1, most);
    if (!count)
        return Complain(kCommand,
                        BadValue("--count", "must be a whole number from 1 to " + std::to_string(most), opt.count));
    int minLights = suggest::kDefaultMinLights;
    if (opt.minLightsOption && opt.minLightsOption->count() > 0) {
        const std::optional<long long> k = WholeIn(opt.minLights, 1, suggest::kMaxMinLights);
        if (!k)
            return Complain(kCommand,
                            BadValue("--min-lights",
                                     "must be a whole number from 1 to " + std::to_string(suggest::kMaxMinLights),
                                     opt.minLights));
        minLights = static_cast<int>(*k);
    }
    if (opt.output.empty()) return Complain(kCommand, "--output must name a file");

    planner::Plan plan;
    planner::PatternLists lists;
    if (const int rc = opt.plan.load(kCommand, plan, lists); rc != kOk) return rc;
    const planner::Candidates candidates = planner::UsableCandidates(plan, lists);
    if (candidates.positions.empty())
        return Complain(kCommand,
                        "none of the " + std::to_string(candidates.considered) +
                            " candidate positions is usable (all are flagged by the plan report)",
                        kFailure);
    const std::size_t n = static_cast<std::size_t>(*count);

    if (!opt.model.empty()) plan.modelPath = opt.model;
    const bool withModel = !plan.modelPath.empty();
    if (opt.predict && !withModel) return Complain(kCommand, "--predict needs a model: name it, or a plan with one");
    if (opt.predict && !plan.framing)
        return Complain(kCommand,
                        "--predict needs the camera's framing: give --sensor and --focal, or a plan with them");
    std::vector<std::size_t> chosen;
    suggest::SuggestResult result;
    std::unique_ptr<AMesh> mesh;
    Predicted predicted, predictedEven;
    if (withModel) {
        mesh = std::make_unique<AMesh>();
        const nuk::ModelLoadResult load = nuk::LoadModel(*mesh, plan.modelPath.c_str());
        if (!load.ok()) return Complain(kCommand, "cannot load " + plan.modelPath + ": " + load.reason, kFailure);
        std::string error;
        const auto scene = coverage::CoverageScene::Build(coverage::ModelGeometry::FromMesh(*mesh), error);
        if (!scene) return Complain(kCommand, error, kFailure);
        suggest::SuggestInput in;
        in.positions = candidates.positions;
        in.directions = candidates.directions;
        in.count = n;
        in.minLights = minLights;
        in.cameraDistance = static_cast<float>(plan.input.cameraDistance);
        if (plan.fitModel) in.placement = coverage::FitToObject(mesh->box, static_cast<float>(plan.input.objectSize));
        result = suggest::Suggest(*scene, in);
        chosen = result.chosen;
        if (opt.predict) {
            coverage::Placement placement;
            const auto render = BuildRenderScene(kCommand, plan, *mesh, HasVertexColours(load), placement);
            if (!render) return kFailure;
            mesh.reset();
            auto lightsOf = [&](const std::vector<std::size_t> &picked) {
                std::vector<nuk::Point3f> l;
                for (std::size_t c : picked)
                    l.push_back(candidates.positions[c]);
                return l;
            };
            predicted = PredictChoice(*render, plan, lightsOf(chosen));
            // When the even choice was taken, it is the same plan.
            if (predicted.ok)
                predictedEven = result.even == chosen ? predicted : PredictChoice(*render, plan, lightsOf(result.even));
            if (!predicted.ok) return Complain(kCommand, "cannot predict the result: " + predicted.error, kFailure);
            if (!predictedEven.ok)
                return Complain(kCommand, "cannot predict the result: " + predictedEven.error, kFailure);
        }
    } else {
        chosen = planner::SelectEven(candidates.directions, n);
        std::vector<nuk::Point3d> d;
        for (std::size_t c : chosen)
            d.push_back(candidates.directions[c]);
        result.suggested.positions = chosen.size();
        result.suggested.evenness = planner::EvennessOf(d);
    }

    std::vector<nuk::Point3f> positions;
    for (std::size_t c : chosen)
        positions.push_back(candidates.positions[c]);
    planner::Plan suggested = planner::SuggestedPlan(plan, positions);
    planner::PatternLists written;
    const planner::WriteResult w = planner::WriteFileAtomically(opt.output, planner::BuildPlan(suggested, written));
    if (!w.ok) return Complain(kCommand, w.message(), kFailure);
    if (!opt.planOutput.empty()) {
        planner::Plan saved = suggested;
        // A model in the plan's folder (or below it) is named from there.
        if (!saved.modelPath.empty()) {
            namespace fs = std::filesystem;
            const fs::path model = fs::absolute(saved.modelPath).lexically_normal();
            const fs::path folder = fs::absolute(opt.planOutput).lexically_normal().parent_path();
            const fs::path relative = model.lexically_relative(folder);
            const bool inside = !relative.empty() && *relative.begin() != "..";
            saved.modelPath = inside ? relative.string() : model.string();
        }
        const planner::WriteResult pw = planner::WritePlanFile(opt.planOutput, saved);
        if (!pw.ok) return Complain(kCommand, pw.message(), kFailure);
    }

    if (opt.json) {
        Json j;
        j["candidates"] = {{"considered", candidates.considered},
                           {"usable", candidates.positions.size()},
                           {"layout", lists.layout.empty() ? "grid" : lists.layout}};
        j["count"] = chosen.size();
        j["min_lights"] = minLights;
        j["model"] = withModel ? Json(plan.modelPath) : Json(nullptr);
        j["output"] = opt.output;
        j["plan_output"] = opt.planOutput.empty() ? Json(nullptr) : Json(opt.planOutput);
        if (withModel) {
            j["visible_area_mm2"] = result.visibleArea;
            j["visible_samples"] = result.visibleSamples;
        }
        j["suggested"] = FiguresJson(result.suggested, withModel);
        if (withModel) j["even"] = FiguresJson(result.evenFigures, withModel);
        if (opt.predict) {
            j["suggested"]["predicted"] = PredictedJson(predicted);
            j["even"]["predicted"] = PredictedJson(predictedEven);
        }
        Json p = Json::array();
        for (const nuk::Point3f &q : written.positions)
            p.push_back({q.x, q.y, q.z});
        j["positions_mm"] = p;
        std::printf("%s\n", j.dump().c_str());
        return kOk;
    }
    std::printf("candidates: %zu of %zu positions usable (%s)\n", candidates.positions.size(), candidates.considered,
                lists.layout.empty() ? "grid" : lists.layout.c_str());
    if (n > candidates.positions.size())
        std::printf("only %zu usable candidates: all of them taken\n", candidates.positions.size());
    if (withModel)
        std::printf("model: %s, visible area %.1f mm2 (%zu samples)\n", plan.modelPath.c_str(), result.visibleArea,
                    result.visibleSamples);
    PrintFigures("suggested", result.suggested, withModel, minLights);
    if (opt.predict) PrintPredicted(predicted);
    if (withModel) PrintFigures("even choice", result.evenFigures, withModel, minLights);
    if (opt.predict) PrintPredicted(predictedEven);
    std::printf("wrote %zu points to %s\n", written.positions.size(), opt.output.c_str());
    if (!opt.planOutput.empty()) std::printf("wrote the plan to %s\n", opt.planOutput.c_str());
    return kOk;
}

} // namespace

Action addSuggestCommand(CLI::App &app)
{
    auto opt = std::make_shared<SuggestOptions>();
    CLI::App *cmd = app.add_subcommand("suggest", "Suggest a plan: N photographs chosen from the positions the rig "
                                                  "can reach");
    cmd->footer(
        "The candidates are the positions of the plan's pattern or layout (--plan, the pattern and layout options, "
        "or --from) that the plan report does not flag (below the floor, blocked by the camera, in the picture, "
        "grazing); without a plan file the layout is a spiral of 1000 directions (--candidates) from the base "
        "plane up, at the view distance (mm), and '--layout grid' gives the grid of the two steps. Without a model the "
        "choice spreads evenly over the directions (nearest neighbours about equally far apart, well conditioned "
        "PTM and HSH fits). With MODEL (or the plan's model) it lights as much of the visible surface as it can, "
        "unshadowed, by at least --min-lights of the photographs, and reports that share beside the even choice's; "
        "with --predict also the predicted normal error (degrees) and relighting error of both, as 'predict' "
        "reports them. "
        "Writes the positions in the acquisition file's format, one row each, in shooting order (from the top "
        "down); 'quorvel-cli report --from' and the other subcommands read it back. Lengths are millimetres "
        "(positions, distances, areas in mm2), angles degrees. Exit status 0 on success, 1 when a file cannot be "
        "read or written, 2 for a usage error.");
    cmd->add_option("MODEL", opt->model, "reference model (.ply, .obj or .stl); default: the plan file's model")
        ->type_name("PATH");
    cmd->add_option("--count", opt->count, "number of photographs to choose")->type_name("N")->required();
    opt->plan.add(cmd, PlanOptions::kFraming | PlanOptions::kReport | PlanOptions::kFrom | PlanOptions::kFit,
                  "--candidates");
    // Without a plan file, the candidates are a dense spiral at the view distance.
    opt->plan.setDefaultLayout(planner::DefaultCandidateLayout());
    opt->minLightsOption =
        cmd->add_option("--min-lights", opt->minLights,
                        "lights each visible point should have, unshadowed (default 9, for order-3 hemispherical "
                        "harmonics; 6 for a PTM)")
            ->type_name("K");
    cmd->add_option("--output", opt->output, "acquisition file to write (default ./acquisition.txt)")
        ->type_name("FILE");
    cmd->add_option("--plan-output", opt->planOutput, "also write the suggested plan as a plan file")
        ->type_name("FILE.qplan");
    cmd->add_flag("--predict", opt->predict,
                  "with a model: also predict the fitted result of the suggestion and of the even choice (needs "
                  "--sensor and --focal; renders both sets 512 pixels wide, 4 samples, as 'predict' does)");
    cmd->add_flag("--json", opt->json,
                  "print one JSON object instead of text (positions_mm in mm, visible_area_mm2 in mm2)");
    return [cmd, opt]() -> int {
        if (!cmd->parsed()) return -1;
        return RunSuggest(*opt);
    };
}

} // namespace cli
