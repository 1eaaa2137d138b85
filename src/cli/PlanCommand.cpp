// quorvel-cli plan: writes a plan file (.qplan) from the options, or from
// another plan with some of its values changed.

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

#include <CLI/CLI.hpp>

#include "cli/Commands.h"
#include "cli/PlanOptions.h"
#include "planner/Plan.h"
#include "planner/PlanFile.h"

namespace cli
{
namespace
{

struct PlanCommandOptions {
    PlanOptions plan;
    std::string output;
};

int runPlan(const PlanCommandOptions &opt)
{
    if (opt.output.empty()) return Complain("plan", "--output must name a file");
    planner::Plan plan;
    if (const int rc = opt.plan.resolve("plan", plan); rc != kOk) return rc;
    // A model in the plan's folder (or below it) is named from there, so that
    // the two can move together; any other by its whole path.
    if (!plan.modelPath.empty()) {
        namespace fs = std::filesystem;
        const fs::path model = fs::absolute(plan.modelPath).lexically_normal();
        const fs::path folder = fs::absolute(opt.output).lexically_normal().parent_path();
        const fs::path relative = model.lexically_relative(folder);
        const bool inside = !relative.empty() && *relative.begin() != "..";
        plan.modelPath = inside ? relative.string() : model.string();
    }
    if (const std::optional<planner::PlanProblem> problem = planner::ValidatePlan(plan))
        return Complain("plan", problem->text());
    const planner::WriteResult w = planner::WritePlanFile(opt.output, plan);
    if (!w.ok) return Complain("plan", w.message(), kFailure);
    std::printf("wrote the plan to %s\n", opt.output.c_str());
    return kOk;
}

} // namespace

Action addPlanCommand(CLI::App &app)
{
    auto opt = std::make_shared<PlanCommandOptions>();
    CLI::App *cmd = app.add_subcommand("plan", "Write a plan file (.qplan) that the window and every subcommand open");
    cmd->footer("A plan holds the set-up, the pattern or layout, the framing, the report's grazing limit, the image "
                "naming and the reference model. Every subcommand that computes a pattern takes it with --plan, and "
                "options given beside --plan override its values; the window opens it with File > Open plan. "
                "Lengths are millimetres, angles degrees.");
    opt->plan.add(cmd, PlanOptions::kFraming | PlanOptions::kReport | PlanOptions::kNaming | PlanOptions::kModel);
    cmd->add_option("--output", opt->output, "plan file to write")->type_name("FILE.qplan")->required();
    return [cmd, opt]() -> int {
        if (!cmd->parsed()) return -1;
        return runPlan(*opt);
    };
}

} // namespace cli
