// quorvel-cli report: judges a plan before the first photograph. Flagged
// positions are findings, not errors: the exit status is 0 whatever the plan.

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include "cli/Commands.h"
#include "cli/PlanOptions.h"
#include "planner/Plan.h"
#include "planner/PlanReport.h"
#include "plot/PlanPlot.h"

namespace cli
{
namespace
{

using Json = nlohmann::ordered_json;

struct ReportCommandOptions {
    PlanOptions plan; // the plan's options, --plan or --from
    bool json = false;
    std::string plot;
    CLI::Option *plotOption = nullptr;
};

Json Number(double v)
{
    // Figures to a sensible precision; the JSON is for people's scripts.
    return std::round(v * 1e6) / 1e6;
}

Json Vec(const nuk::Point3d &p) { return Json::array({Number(p.x), Number(p.y), Number(p.z)}); }

Json Flags(unsigned f)
{
    Json a = Json::array();
    for (const planner::FlagInfo &info : planner::kPositionFlags)
        if (f & info.flag) a.push_back(info.key);
    return a;
}

Json LayoutJson(const planner::LayoutInput &l)
{
    Json j;
    j["kind"] = planner::LayoutName(l.kind);
    using planner::LayoutOption;
    if (planner::LayoutTakes(l.kind, LayoutOption::Rings)) j["rings"] = l.rings;
    if (planner::LayoutTakes(l.kind, LayoutOption::TopLight)) j["top_light"] = l.topLight;
    if (planner::LayoutTakes(l.kind, LayoutOption::Count)) j["count"] = l.count;
    if (planner::LayoutTakes(l.kind, LayoutOption::Frequency)) j["frequency"] = l.frequency;
    if (planner::LayoutTakes(l.kind, LayoutOption::MinElevation)) j["min_elevation"] = l.minElevation;
    if (planner::LayoutTakes(l.kind, LayoutOption::SkipFlagged)) j["skip_flagged"] = l.skipFlagged;
    if (l.kind == planner::LayoutKind::Suggested) j["positions"] = l.positions.size();
    return j;
}

Json ToJson(const planner::PlanReport &r, const planner::LayoutInput &layout)
{
    const planner::PatternInput &in = r.input;
    Json j;
    j["units"] = {{"length", "mm"}, {"angle", "degrees"}};
    j["plan"] = {{"object_size", in.objectSize},
                 {"object_height", in.objectHeight},
                 {"camera_distance", in.cameraDistance},
                 {"view_distance", in.viewDistance},
                 {"horizontal_step", in.horizontalStep},
                 {"vertical_step", in.verticalStep},
                 {"exclude_central_point", in.excludeCentralPoint},
                 {"exclude_base_plane", in.excludeBasePlane},
                 {"layout", LayoutJson(layout)}};
    j["grazing_below"] = r.options.grazingBelow;
    j["positions"] = r.positions.size();
    j["usable"] = r.usable;
    for (const planner::FlagInfo &f : planner::kPositionFlags)
        j[f.key] = f.needsFraming && !r.options.framing ? Json(nullptr) : Json(r.count(f.flag));
    if (r.neighbours) {
        const double even = r.neighbours->evenness();
        j["nearest_neighbour"] = {{"min", Number(r.neighbours->min)},
                                  {"median", Number(r.neighbours->median)},
                                  {"max", Number(r.neighbours->max)},
                                  {"evenness", std::isfinite(even) ? Number(even) : Json(nullptr)}};
    } else {
        j["nearest_neighbour"] = nullptr;
    }
    j["largest_empty_cap"] = r.largestEmptyCap ? Json(*r.largestEmptyCap) : Json(nullptr);
    Json bands = Json::array();
    for (const planner::ElevationBand &b : r.bands)
        bands.push_back({{"from", b.from}, {"to", b.to}, {"positions", b.positions}, {"usable", b.usable}});
    j["elevation_bands"] = bands;
    Json fits = Json::array();
    for (const planner::FitCondition &f : r.fits)
        fits.push_back({{"name", f.name},
                        {"terms", f.terms},
                        {"can_fit", f.canFit},
                        {"condition", f.canFit ? Number(f.condition) : Json(nullptr)}});
    j["fits"] = fits;
    if (r.framing) {
        const planner::FramingReport &f = *r.framing;
        j["framing"] = {{"sensor_width", f.framing.sensorWidth}, {"sensor_height", f.framing.sensorHeight},
                        {"focal_length", f.framing.focalLength}, {"field_width", Number(f.fieldWidth)},
                        {"field_height", Number(f.fieldHeight)}, {"width_share", Number(f.widthShare)},
                        {"height_share", Number(f.heightShare)}, {"focal_for_80_percent", Number(f.focalFor80)}};
    } else {
        j["framing"] = nullptr;
    }
    Json points = Json::array();
    for (const planner::PositionReport &p : r.positions)
        points.push_back({{"number", p.number},
                          {"position", Vec(p.position)},
                          {"direction", Vec(p.direction)},
                          {"elevation", Number(p.elevation)},
                          {"azimuth", Number(p.azimuth)},
                          {"height", Number(p.height)},
                          {"flags", Flags(p.flags)}});
    j["points"] = points;
    return j;
}

int RunReport(const ReportCommandOptions &opt)
{
    const bool plotting = opt.plotOption->count() > 0;
    if (plotting && !plot::FormatOf(opt.plot))
        return Complain("report", BadValue("--plot", "must name a .png or .svg file", opt.plot));

    planner::Plan plan;
    planner::PatternLists lists;
    const int loaded = opt.plan.load("report", plan, lists, opt.json ? nullptr : stdout);
    if (loaded != kOk) return loaded;
    const planner::PlanReport report = planner::ReportOf(plan, lists);

    if (plotting) {
        // Only a plot needs the GUI library's fonts and painting.
        const plot::OffscreenGui gui;
        const planner::WriteResult w = plot::Save(opt.plot, report);
        if (!w.ok) return Complain("report", w.message(), kFailure);
    }
    if (opt.json)
        std::printf("%s\n", ToJson(report, plan.layout).dump().c_str());
    else
        std::fputs(planner::ReportText(report).c_str(), stdout);
    if (plotting && !opt.json) std::printf("\nplot written to %s\n", opt.plot.c_str());
    return kOk;
}

} // namespace

Action addReportCommand(CLI::App &app)
{
    auto opt = std::make_shared<ReportCommandOptions>();
    CLI::App *cmd = app.add_subcommand("report", "Judge a plan: flagged positions, spread of the light directions, "
                                                 "fitting conditions, framing, and a polar plot");
    cmd->footer("Lengths are millimetres, angles degrees. Flagged positions are findings, not errors: the exit "
                "status is 0 whatever the plan. Without --sensor and --focal the framing and the \"in the picture\" "
                "flag are left out.");
    opt->plan.add(cmd, PlanOptions::kFraming | PlanOptions::kReport | PlanOptions::kFrom);
    cmd->add_flag("--json", opt->json, "print every figure, and each position, as one JSON object");
    opt->plotOption = cmd->add_option("--plot", opt->plot, "also draw the plan seen from the camera, PNG or SVG")
                          ->type_name("PATH.png|PATH.svg");
    return [cmd, opt]() -> int {
        if (!cmd->parsed()) return -1;
        return RunReport(*opt);
    };
}

} // namespace cli
