#include "cli/PlanOptions.h"

#include <utility>

#include <CLI/CLI.hpp>

#include "cli/Commands.h"
#include "planner/AcquisitionFile.h"
#include "planner/Layout.h"
#include "planner/Parameters.h"
#include "planner/PlanFile.h"

namespace cli
{

void PlanOptions::add(CLI::App *cmd, unsigned groups, const char *countName)
{
    groups_ = groups;
    planOption_ = cmd->add_option("--plan", planPath_,
                                  "plan file (.qplan) to start from; options given beside it override its values")
                      ->type_name("PLAN_FILE");
    pattern_.add(cmd);
    layout_.add(cmd, countName);
    if (groups & kFrom)
        fromOption_ =
            cmd->add_option("--from", from_, "acquisition file to take the pattern from, instead of the options")
                ->type_name("ACQUISITION_FILE");
    using planner::Spec;
    using planner::Value;
    if (groups & kFraming) {
        sensorOption_ =
            cmd->add_option("--sensor", sensor_, "sensor width x height in mm, e.g. 36x24")->type_name("WxH");
        focalOption_ = cmd->add_option("--focal", focal_, "focal length of the lens in mm")->type_name("MM");
    }
    if (groups & kReport)
        grazingOption_ = cmd->add_option("--grazing", grazing_, HelpText(Spec(Value::GrazingBelow)))->type_name("DEG");
    if (groups & kNaming) {
        imagesOption_ = cmd->add_option("--images", images_,
                                        "image file names, with one integer conversion for the number "
                                        "(default " +
                                            planner::ExportOptions{}.imagePattern + ")")
                            ->type_name("PATTERN");
        firstOption_ = cmd->add_option("--first", first_, HelpText(Spec(Value::FirstNumber)))->type_name("N");
    }
    if (groups & kModel)
        modelOption_ =
            cmd->add_option("--model", model_, "reference model of the object (.ply, .obj or .stl)")->type_name("PATH");
    if (groups & (kModel | kFit))
        fitOption_ = cmd->add_flag("--fit", fit_,
                                   "fit the model to the object: centre its box on the dome axis with its back on "
                                   "the object plate and scale it so its larger side across X and Y equals the "
                                   "object size (mm)");
}

bool PlanOptions::given(const CLI::Option *o) const { return o && o->count() > 0; }
bool PlanOptions::fromGiven() const { return given(fromOption_); }
bool PlanOptions::planGiven() const { return given(planOption_); }
bool PlanOptions::fitGiven() const { return given(fitOption_); }

int PlanOptions::resolve(const char *command, planner::Plan &plan) const
{
    using planner::Spec;
    using planner::Value;
    planner::Plan p;
    if (planGiven()) {
        if (fromGiven()) return Complain(command, "--plan and --from both give the pattern: give one of them");
        const planner::PlanFileRead read = planner::ReadPlanFile(planPath_);
        if (!read.ok) return Complain(command, read.message(planPath_), kFailure);
        p = read.plan;
        p.modelPath = planner::ResolveModelPath(planPath_, p.modelPath);
    } else if (defaultLayout_) {
        p.layout = *defaultLayout_;
    }
    if (!pattern_.resolve(command, p.input)) return kUsage;
    if (!layout_.resolve(command, pattern_, p.layout)) return kUsage;

    if (given(sensorOption_) || given(focalOption_)) {
        if (!p.framing && given(sensorOption_) != given(focalOption_))
            return Complain(command, "--sensor and --focal go together");
        planner::Framing f = p.framing.value_or(planner::Framing{});
        if (given(sensorOption_)) {
            const std::size_t x = sensor_.find_first_of("xX");
            const std::optional<double> w = x == std::string::npos
                                                ? std::nullopt
                                                : planner::CheckedValue(Spec(Value::SensorWidth), sensor_.substr(0, x));
            const std::optional<double> h =
                x == std::string::npos ? std::nullopt
                                       : planner::CheckedValue(Spec(Value::SensorHeight), sensor_.substr(x + 1));
            if (!w || !h)
                return Complain(command, BadValue("--sensor",
                                                  "must be WIDTHxHEIGHT in mm, each from " +
                                                      planner::NumberText(Spec(Value::SensorWidth).minimum) + " to " +
                                                      planner::NumberText(Spec(Value::SensorWidth).maximum),
                                                  sensor_));
            f.sensorWidth = *w;
            f.sensorHeight = *h;
        }
        if (given(focalOption_)) {
            const std::optional<double> fl = planner::CheckedValue(Spec(Value::FocalLength), focal_);
            if (!fl) return Complain(command, BadValue("--focal", MustText(Spec(Value::FocalLength)), focal_));
            f.focalLength = *fl;
        }
        p.framing = f;
    }
    if (given(grazingOption_)) {
        const std::optional<double> g = planner::CheckedValue(Spec(Value::GrazingBelow), grazing_);
        if (!g) return Complain(command, BadValue("--grazing", MustText(Spec(Value::GrazingBelow)), grazing_));
        p.grazingBelow = *g;
    }
    if (given(imagesOption_)) p.imagePattern = images_;
    if (given(firstOption_)) {
        const std::optional<double> first = planner::CheckedValue(Spec(Value::FirstNumber), first_);
        if (!first) return Complain(command, BadValue("--first", MustText(Spec(Value::FirstNumber)), first_));
        p.firstNumber = static_cast<long long>(*first);
    }
    if (given(modelOption_)) p.modelPath = model_;
    if (given(fitOption_)) p.fitModel = true;

    // The image pattern is checked where it is used, with the plan's size.
    if (const std::optional<planner::PlanProblem> problem = planner::ValidatePlan(p);
        problem && problem->key != "images.pattern")
        return Complain(command, problem->text());
    plan = std::move(p);
    return kOk;
}

int PlanOptions::load(const char *command, planner::Plan &plan, planner::PatternLists &lists, std::FILE *announce) const
{
    if (!fromGiven()) {
        if (const int rc = resolve(command, plan); rc != kOk) return rc;
        planner::BuildPlan(plan, lists);
        return kOk;
    }
    if (pattern_.anyGiven() || layout_.anyGiven())
        return Complain(command, std::string("--from takes the parameters from the file; leave out the pattern "
                                             "options (see 'quorvel-cli ") +
                                     command + " --help')");
    if (const int rc = resolve(command, plan); rc != kOk) return rc;
    planner::AcquisitionRead read = planner::ReadAcquisitionFile(from_);
    if (!read.ok) return Complain(command, read.error.text(from_), kFailure);
    plan.input = read.input;
    plan.layout = read.layout;
    lists = std::move(read.lists);
    if (announce)
        std::fprintf(announce, "read %zu points from %s (view distance %d mm, recovered from its rows)\n",
                     lists.positions.size(), from_.c_str(), plan.input.viewDistance);
    return kOk;
}

} // namespace cli
