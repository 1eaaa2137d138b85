// quorvel-cli report: judges a plan before the first photograph. Flagged
// positions are findings, not errors: the exit status is 0 whatever the plan.

#include <charconv>
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
#include "cli/PatternSource.h"
#include "planner/PlanReport.h"
#include "plot/PlanPlot.h"

namespace cli
{
namespace
{

using Json = nlohmann::ordered_json;

struct ReportOptions {
    PatternSource source; // the pattern options or --from
    std::string sensor;
    std::string focal;
    std::string grazing;
    bool json = false;
    std::string plot;
    CLI::Option *sensorOption = nullptr;
    CLI::Option *focalOption = nullptr;
    CLI::Option *grazingOption = nullptr;
    CLI::Option *plotOption = nullptr;
};

// A plain decimal number, in the C locale whatever the user's.
std::optional<double> ParseNumber(const std::string &text)
{
    double v = 0;
    const char *end = text.data() + text.size();
    const auto r = std::from_chars(text.data(), end, v, std::chars_format::fixed);
    if (text.empty() || r.ec != std::errc() || r.ptr != end || !std::isfinite(v)) return std::nullopt;
    return v;
}

std::optional<double> InRange(const std::string &text, double lo, double hi)
{
    const std::optional<double> v = ParseNumber(text);
    if (!v || *v < lo || *v > hi) return std::nullopt;
    return v;
}

Json Number(double v)
{
    // Figures to a sensible precision; the JSON is for people's scripts.
    return std::round(v * 1e6) / 1e6;
}

Json Vec(const nuk::Point3d &p) { return Json::array({Number(p.x), Number(p.y), Number(p.z)}); }

Json Flags(unsigned f)
{
    Json a = Json::array();
    if (f & planner::kBelowFloor) a.push_back("below_floor");
    if (f & planner::kBlockedByCamera) a.push_back("blocked_by_camera");
    if (f & planner::kInPicture) a.push_back("in_picture");
    if (f & planner::kGrazing) a.push_back("grazing");
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
    j["below_floor"] = r.belowFloor;
    j["blocked_by_camera"] = r.blockedByCamera;
    j["in_picture"] = r.options.framing ? Json(r.inPicture) : Json(nullptr);
    j["grazing"] = r.grazing;
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

bool Usage(const char *message, const std::string &got)
{
    std::fprintf(stderr, "quorvel-cli report: %s, got '%s'\n", message, got.c_str());
    return false;
}

bool ResolveReportOptions(const ReportOptions &opt, planner::ReportOptions &out)
{
    if (opt.grazingOption->count() > 0) {
        const std::optional<double> g = InRange(opt.grazing, planner::kMinGrazing, planner::kMaxGrazing);
        if (!g) return Usage("--grazing must be a number of degrees from 0 to 89", opt.grazing);
        out.grazingBelow = *g;
    }
    const bool sensor = opt.sensorOption->count() > 0, focal = opt.focalOption->count() > 0;
    if (sensor != focal) {
        std::fprintf(stderr, "quorvel-cli report: --sensor and --focal go together\n");
        return false;
    }
    if (!sensor) return true;
    planner::Framing f;
    const std::size_t x = opt.sensor.find_first_of("xX");
    const std::optional<double> w =
        x == std::string::npos ? std::nullopt
                               : InRange(opt.sensor.substr(0, x), planner::kMinSensorSide, planner::kMaxSensorSide);
    const std::optional<double> h =
        x == std::string::npos ? std::nullopt
                               : InRange(opt.sensor.substr(x + 1), planner::kMinSensorSide, planner::kMaxSensorSide);
    if (!w || !h) return Usage("--sensor must be WIDTHxHEIGHT in mm, each from 1 to 200", opt.sensor);
    const std::optional<double> fl = InRange(opt.focal, planner::kMinFocal, planner::kMaxFocal);
    if (!fl) return Usage("--focal must be a focal length in mm from 1 to 2000", opt.focal);
    f.sensorWidth = *w;
    f.sensorHeight = *h;
    f.focalLength = *fl;
    out.framing = f;
    return true;
}

int RunReport(const ReportOptions &opt)
{
    planner::ReportOptions ro;
    if (!ResolveReportOptions(opt, ro)) return kUsage;
    const bool plotting = opt.plotOption->count() > 0;
    if (plotting && !plot::FormatOf(opt.plot)) {
        Usage("--plot must name a .png or .svg file", opt.plot);
        return kUsage;
    }

    planner::PatternInput in;
    planner::PatternLists lists;
    planner::LayoutInput layout;
    const int loaded = opt.source.load("report", in, lists, opt.json ? nullptr : stdout, &layout);
    if (loaded != kOk) return loaded;
    const planner::PlanReport report = planner::ComputePlanReport(in, lists, ro);

    if (plotting) {
        // Only a plot needs the GUI library's fonts and painting.
        const plot::OffscreenGui gui;
        const planner::WriteResult w = plot::Save(opt.plot, report);
        if (!w.ok) {
            std::fprintf(stderr, "quorvel-cli report: %s\n", w.message().c_str());
            return kFailure;
        }
    }
    if (opt.json)
        std::printf("%s\n", ToJson(report, layout).dump().c_str());
    else
        std::fputs(planner::ReportText(report).c_str(), stdout);
    if (plotting && !opt.json) std::printf("\nplot written to %s\n", opt.plot.c_str());
    return kOk;
}

} // namespace

Action addReportCommand(CLI::App &app)
{
    auto opt = std::make_shared<ReportOptions>();
    CLI::App *cmd = app.add_subcommand("report", "Judge a plan: flagged positions, spread of the light directions, "
                                                 "fitting conditions, framing, and a polar plot");
    cmd->footer("Lengths are millimetres, angles degrees. Flagged positions are findings, not errors: the exit "
                "status is 0 whatever the plan. Without --sensor and --focal the framing and the \"in the picture\" "
                "flag are left out.");
    opt->source.add(cmd);
    opt->sensorOption =
        cmd->add_option("--sensor", opt->sensor, "sensor width x height in mm, e.g. 36x24")->type_name("WxH");
    opt->focalOption = cmd->add_option("--focal", opt->focal, "focal length of the lens in mm")->type_name("MM");
    opt->grazingOption =
        cmd->add_option("--grazing", opt->grazing, "elevation in degrees below which a light grazes (default 10)")
            ->type_name("DEG");
    cmd->add_flag("--json", opt->json, "print every figure, and each position, as one JSON object");
    opt->plotOption = cmd->add_option("--plot", opt->plot, "also draw the plan seen from the camera, PNG or SVG")
                          ->type_name("PATH.png|PATH.svg");
    return [cmd, opt]() -> int {
        if (!cmd->parsed()) return -1;
        return RunReport(*opt);
    };
}

} // namespace cli
