// quorvel-cli export: the light positions of a pattern for RTI software,
// from the pattern options or from an acquisition file written earlier.

#include <cmath>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>

#include <CLI/CLI.hpp>

#include "cli/Commands.h"
#include "cli/PlanOptions.h"
#include "planner/AcquisitionFile.h"
#include "planner/Layout.h"
#include "planner/LightExport.h"
#include "planner/Parameters.h"
#include "planner/Plan.h"

namespace cli
{
namespace
{

struct ExportCommandOptions {
    PlanOptions plan; // the plan's options, --plan or --from
    std::string format;
    std::string output;
    std::string imageWidth = "0"; // 0: the framing's field, when known
    std::string verticalOffset = "0";
    std::string label;
};

int usage(const std::string &message) { return Complain("export", message); }

int runExport(const ExportCommandOptions &opt)
{
    if (opt.output.empty()) return usage("--output must name a file");
    std::optional<planner::LightFormat> format;
    if (!opt.format.empty()) {
        format = planner::ParseLightFormat(opt.format);
        if (!format) return usage("--format must be lp, dome or csv, got '" + opt.format + "'");
    } else {
        format = planner::FormatFromPath(opt.output);
        if (!format)
            return usage("--format is needed: the name '" + opt.output + "' does not end in .lp, .dome or .csv");
    }

    using planner::Spec;
    using planner::Value;
    const std::optional<double> width = planner::CheckedValue(Spec(Value::ImageWidth), opt.imageWidth);
    if (!width) return usage(BadValue("--image-width", MustText(Spec(Value::ImageWidth)), opt.imageWidth));
    const std::optional<double> offset = planner::CheckedValue(Spec(Value::VerticalOffset), opt.verticalOffset);
    if (!offset) return usage(BadValue("--vertical-offset", MustText(Spec(Value::VerticalOffset)), opt.verticalOffset));

    planner::Plan plan;
    planner::PatternLists lists;
    const int loaded = opt.plan.load("export", plan, lists, stdout);
    if (loaded != kOk) return loaded;

    // The image width given wins over the framing's field.
    planner::ExportOptions ex = plan.exportOptions();
    ex.label = opt.label;
    if (*width > 0) ex.imageWidth = *width;
    ex.verticalOffset = *offset;
    std::string error;
    const std::optional<planner::LightTable> table = planner::MakeLightTable(plan.input, lists, ex, error);
    if (!table) return usage(error);
    if (table->lights.empty()) return Complain("export", "the pattern has no positions to export", kFailure);
    const planner::ExportText text = planner::FormatLights(*format, *table, ex);
    if (!text.ok) return usage(text.error);
    const planner::WriteResult w = planner::WriteFileAtomically(opt.output, text.text);
    if (!w.ok) return Complain("export", w.message(), kFailure);
    if (const std::string warning = planner::LightCountWarning(table->lights.size()); !warning.empty())
        Complain("export", "warning: " + warning, kOk);
    std::printf("wrote %zu light positions to %s\n", table->lights.size(), opt.output.c_str());
    return kOk;
}

} // namespace

Action addExportCommand(CLI::App &app)
{
    auto opt = std::make_shared<ExportCommandOptions>();
    CLI::App *cmd = app.add_subcommand("export", "Write the light positions of a pattern for RTI software");
    cmd->footer(
        "The pattern comes from the pattern and layout options (as for 'quorvel-cli pattern') or from an acquisition "
        "file with --from; its layout and view distance are recovered from the file. Lights are listed "
        "in shooting order, the order of the acquisition file, with image names numbered from --first.\n"
        "Formats: lp (light directions for RTI fitting and viewing), dome (JSON dome description), csv (one row "
        "per position, for spreadsheets and robot controllers). Lengths are millimetres.\n"
        "A .dome places its lights by the image width: --image-width, or else the field of --sensor and --focal at "
        "the camera distance; with neither it holds directions only.");
    opt->plan.add(cmd, PlanOptions::kFraming | PlanOptions::kNaming | PlanOptions::kFrom);
    cmd->add_option("--format", opt->format, "lp, dome or csv (default: from the extension of --output)")
        ->type_name("FORMAT");
    cmd->add_option("--output", opt->output, "file to write")->type_name("PATH")->required();
    using planner::Spec;
    using planner::Value;
    cmd->add_option("--image-width", opt->imageWidth, HelpText(Spec(Value::ImageWidth)) + ", for .dome")
        ->type_name("MM");
    cmd->add_option("--vertical-offset", opt->verticalOffset, HelpText(Spec(Value::VerticalOffset)) + ", for .dome")
        ->type_name("MM");
    cmd->add_option("--label", opt->label, "name of the dome, for .dome (default: made from the parameters)")
        ->type_name("TEXT");
    return [cmd, opt]() -> int {
        if (!cmd->parsed()) return -1;
        return runExport(*opt);
    };
}

} // namespace cli
