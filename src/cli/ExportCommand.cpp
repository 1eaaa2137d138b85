// quorvel-cli export: the light positions of a pattern for RTI software,
// from the pattern options or from an acquisition file written earlier.

#include <charconv>
#include <cmath>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>

#include <CLI/CLI.hpp>

#include "cli/Commands.h"
#include "cli/PatternSource.h"
#include "planner/AcquisitionFile.h"
#include "planner/Layout.h"
#include "planner/LightExport.h"
#include "planner/Parameters.h"

namespace cli
{
namespace
{

struct ExportCommandOptions {
    PatternSource source; // the pattern options or --from
    std::string format;
    std::string output;
    std::string images = planner::ExportOptions{}.imagePattern;
    std::string first = "1";
    std::string imageWidth = "0";
    std::string verticalOffset = "0";
    std::string label;
};

int usage(const std::string &message)
{
    std::fprintf(stderr, "quorvel-cli export: %s\n", message.c_str());
    return kUsage;
}

// A decimal number with a point, read the same in every locale.
std::optional<double> ParseLength(const std::string &text)
{
    double v = 0;
    const char *end = text.data() + text.size();
    const char *begin = text.data() + (!text.empty() && text[0] == '+' ? 1 : 0);
    if (begin != text.data() && begin != end && *begin == '-') return std::nullopt;
    const std::from_chars_result r = std::from_chars(begin, end, v, std::chars_format::fixed);
    if (text.empty() || r.ec != std::errc() || r.ptr != end || !std::isfinite(v)) return std::nullopt;
    return v;
}

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

    planner::ExportOptions ex;
    ex.imagePattern = opt.images;
    ex.label = opt.label;
    const std::optional<long long> first = planner::ParseWhole(opt.first);
    if (!first || *first < 0 || *first > planner::ImageNamePattern::kMaxNumber)
        return usage("--first must be a whole number from 0 to " +
                     std::to_string(planner::ImageNamePattern::kMaxNumber) + ", got '" + opt.first + "'");
    ex.firstNumber = *first;
    const std::optional<double> width = ParseLength(opt.imageWidth);
    if (!width || *width < 0)
        return usage("--image-width must be a length in mm of 0 or more, such as 120 or 85.5, got '" + opt.imageWidth +
                     "'");
    ex.imageWidth = *width;
    const std::optional<double> offset = ParseLength(opt.verticalOffset);
    if (!offset)
        return usage("--vertical-offset must be a length in mm, such as 0, 12.5 or -40, got '" + opt.verticalOffset +
                     "'");
    ex.verticalOffset = *offset;

    planner::PatternInput in;
    planner::PatternLists lists;
    const int loaded = opt.source.load("export", in, lists, stdout);
    if (loaded != kOk) return loaded;

    std::string error;
    const std::optional<planner::LightTable> table = planner::MakeLightTable(in, lists, ex, error);
    if (!table) return usage(error);
    if (table->lights.empty()) {
        std::fprintf(stderr, "quorvel-cli export: the pattern has no positions to export\n");
        return kFailure;
    }
    const planner::ExportText text = planner::FormatLights(*format, *table, ex);
    if (!text.ok) return usage(text.error);
    const planner::WriteResult w = planner::WriteFileAtomically(opt.output, text.text);
    if (!w.ok) {
        std::fprintf(stderr, "quorvel-cli export: %s\n", w.message().c_str());
        return kFailure;
    }
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
        "per position, for spreadsheets and robot controllers). Lengths are millimetres.");
    opt->source.add(cmd);
    cmd->add_option("--format", opt->format, "lp, dome or csv (default: from the extension of --output)")
        ->type_name("FORMAT");
    cmd->add_option("--output", opt->output, "file to write")->type_name("PATH")->required();
    cmd->add_option("--images", opt->images,
                    "image file names, with one integer conversion for the number (default IMG_%04d.JPG)")
        ->type_name("PATTERN");
    cmd->add_option("--first", opt->first, "number of the first image (default 1)")->type_name("N");
    cmd->add_option("--image-width", opt->imageWidth,
                    "width in mm that the image spans on the object, for .dome (default 0: unknown)")
        ->type_name("MM");
    cmd->add_option("--vertical-offset", opt->verticalOffset, "vertical offset in mm, for .dome (default 0)")
        ->type_name("MM");
    cmd->add_option("--label", opt->label, "name of the dome, for .dome (default: made from the parameters)")
        ->type_name("TEXT");
    return [cmd, opt]() -> int {
        if (!cmd->parsed()) return -1;
        return runExport(*opt);
    };
}

} // namespace cli
