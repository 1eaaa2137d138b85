// quorvel-cli coverage: which parts of a reference model a plan lights,
// shadows included, before the capture. Loads the model as the window does,
// computes the plan's positions (the pattern's options, nothing written),
// and reports the coverage as text or as one JSON object.

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include "cli/Commands.h"
#include "cli/PatternSource.h"
#include "planner/PlanReport.h"
#include "coverage/Coverage.h"
#include "coverage/CoverageScene.h"
#include "coverage/Placement.h"
#include "nuk/Mesh/AMesh.h"
#include "nuk/Mesh/ModelLoad.h"
#include "planner/Pattern.h"

namespace cli
{
namespace
{

using Json = nlohmann::ordered_json;

struct CoverageOptions {
    std::string model;
    PatternSource source; // the pattern options or --from
    bool allPositions = false;
    bool fit = false;
    bool json = false;
    bool perLight = false;
};

double Percent(double share) { return 100.0 * share; }

Json ToJson(const CoverageOptions &opt, const AMesh &mesh, const coverage::CoverageScene &scene,
            const planner::PatternInput &in, const planner::PatternLists &plan, const coverage::CoverageInput &ci,
            const coverage::CoverageResult &r)
{
    Json j;
    j["model"] = opt.model;
    j["vertices"] = mesh.vertex_count;
    j["faces"] = scene.geometry().faceCount();
    j["samples"] = r.samples;
    j["fit"] = opt.fit;
    j["scale"] = ci.placement.scale;
    j["offset"] = {ci.placement.offset.x, ci.placement.offset.y, ci.placement.offset.z};
    j["camera_distance"] = in.cameraDistance;
    j["positions"] = plan.positions.size();
    j["usable_positions"] = r.usablePositions;
    j["model_area"] = r.modelArea;
    j["visible_area"] = r.visibleArea;
    j["visible_samples"] = r.visibleSamples;
    Json bands = Json::array();
    for (int b = 0; b < coverage::kBandCount; ++b)
        bands.push_back(
            {{"lights", coverage::BandLabel(coverage::Band(b))}, {"area", r.bandArea[b]}, {"share", r.bandShare[b]}});
    j["bands"] = bands;
    j["weak_share"] = ci.weakShare;
    j["weak_positions"] = r.weakPositions;
    if (opt.perLight) {
        Json per = Json::array();
        for (std::size_t i = 0; i < plan.positions.size(); ++i) {
            const nuk::Point3f &p = plan.positions[i];
            per.push_back({{"index", i},
                           {"position", {p.x, p.y, p.z}},
                           {"vertical_angle", plan.point_vangles[i]},
                           {"horizontal_angle", plan.point_hangles[i]},
                           {"usable", r.positions[i].usable},
                           {"lit_area", r.positions[i].litArea},
                           {"lit_share", r.positions[i].litShare}});
        }
        j["per_light"] = per;
    }
    return j;
}

void PrintText(const CoverageOptions &opt, const AMesh &mesh, const coverage::CoverageScene &scene,
               const planner::PatternInput &in, const planner::PatternLists &plan, const coverage::CoverageInput &ci,
               const coverage::CoverageResult &r)
{
    std::printf("model: %s, %d vertices, %zu faces, %zu samples\n", opt.model.c_str(), mesh.vertex_count,
                scene.geometry().faceCount(), r.samples);
    if (opt.fit) {
        const nuk::Point3f &o = ci.placement.offset;
        std::printf("placement: fitted to the %d mm object, scale %g, then shifted by (%g, %g, %g) mm\n", in.objectSize,
                    double(ci.placement.scale), double(o.x), double(o.y), double(o.z));
    } else {
        std::printf("placement: the model's own coordinates, in mm\n");
    }
    std::printf("plan: %zu positions, %zu usable; camera at %d mm\n", plan.positions.size(), r.usablePositions,
                in.cameraDistance);
    std::printf("visible area: %.1f mm2 of %.1f mm2 (%zu of %zu samples)\n", r.visibleArea, r.modelArea,
                r.visibleSamples, r.samples);
    for (int b = 0; b < coverage::kBandCount; ++b)
        std::printf("lit by %-4s positions: %5.1f %%\n", coverage::BandLabel(coverage::Band(b)),
                    Percent(r.bandShare[b]));
    std::printf("positions lighting less than %g %% of the visible area: %zu", Percent(ci.weakShare),
                r.weakPositions.size());
    for (std::size_t k = 0; k < r.weakPositions.size(); ++k)
        std::printf("%s%zu", k == 0 ? ": " : " ", r.weakPositions[k]);
    std::printf("\n");
    if (!opt.perLight) return;
    std::printf("\nposition  vertical  horizontal        x        y        z    lit\n");
    for (std::size_t i = 0; i < plan.positions.size(); ++i) {
        const nuk::Point3f &p = plan.positions[i];
        std::printf("%8zu  %8.2f  %10.2f  %7.1f  %7.1f  %7.1f  ", i, double(plan.point_vangles[i]),
                    double(plan.point_hangles[i]), double(p.x), double(p.y), double(p.z));
        if (r.positions[i].usable)
            std::printf("%5.1f %%\n", Percent(r.positions[i].litShare));
        else
            std::printf("unused\n");
    }
}

int RunCoverage(const CoverageOptions &opt)
{
    planner::PatternInput in;
    planner::PatternLists plan;
    const int loaded = opt.source.load("coverage", in, plan, nullptr);
    if (loaded != kOk) return loaded;

    auto mesh = std::make_unique<AMesh>();
    const nuk::ModelLoadResult load = nuk::LoadModel(*mesh, opt.model.c_str());
    if (!load.ok()) {
        std::fprintf(stderr, "quorvel-cli coverage: cannot load %s: %s\n", opt.model.c_str(), load.reason.c_str());
        return kFailure;
    }

    std::string error;
    const auto scene = coverage::CoverageScene::Build(coverage::ModelGeometry::FromMesh(*mesh), error);
    if (!scene) {
        std::fprintf(stderr, "quorvel-cli coverage: %s\n", error.c_str());
        return kFailure;
    }
    coverage::CoverageInput ci;
    ci.positions = plan.positions;
    // What the plan report flags does not count, unless asked.
    if (!opt.allPositions) ci.usable = planner::UsableMask(planner::ComputePlanReport(in, plan.positions, {}));
    ci.cameraDistance = static_cast<float>(in.cameraDistance);
    if (opt.fit) ci.placement = coverage::FitToObject(mesh->box, static_cast<float>(in.objectSize));
    const coverage::CoverageResult r = coverage::Analyse(*scene, ci);

    if (opt.json)
        std::printf("%s\n", ToJson(opt, *mesh, *scene, in, plan, ci, r).dump().c_str());
    else
        PrintText(opt, *mesh, *scene, in, plan, ci, r);
    return kOk;
}

} // namespace

Action addCoverageCommand(CLI::App &app)
{
    auto opt = std::make_shared<CoverageOptions>();
    CLI::App *cmd =
        app.add_subcommand("coverage", "Tell which parts of a reference model the plan lights, shadows included");
    cmd->footer(
        "Loads MODEL as the window's \"LOAD PLY REFERENCE MODEL\" does and computes the plan's positions from the "
        "pattern's options (nothing is written). The camera stands at (0, 0, camera distance). A vertex of the "
        "model counts when the camera sees it; a position lights it when it faces the position and no part of the "
        "model lies between. Reports the visible area (mm2) and the shares of it lit by 0, 1-5, 6-8 and 9 or more "
        "positions (a PTM needs 6 lights, order-3 hemispherical harmonics 9), and the positions that light less "
        "than 1 % of it. Lengths are millimetres; the model's coordinates are read as millimetres too. Exit "
        "status 0 on success, 1 when the model cannot be loaded, 2 for a usage error.");
    cmd->add_option("MODEL", opt->model, "reference model to load (.ply, .obj or .stl)")->required()->type_name("PATH");
    opt->source.add(cmd);
    cmd->add_flag("--all-positions", opt->allPositions,
                  "count every position, also those the plan report flags (below the floor, blocked by the camera, "
                  "grazing)");
    cmd->add_flag("--fit", opt->fit,
                  "fit the model to the object: centre its box on the dome axis with its back on the object plate "
                  "(10 mm in front of the backdrop) and scale it so its larger side across X and Y equals the "
                  "object size (mm)");
    cmd->add_flag("--json", opt->json, "print one JSON object instead of text (areas in mm2)");
    cmd->add_flag("--per-light", opt->perLight,
                  "also list every position with the share of the visible area it lights");
    return [cmd, opt]() -> int {
        if (!cmd->parsed()) return -1;
        return RunCoverage(*opt);
    };
}

} // namespace cli
