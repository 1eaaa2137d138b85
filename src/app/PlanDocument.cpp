#include "app/PlanDocument.h"

#include <utility>

#include <QFile>

#include "nuk/Mesh/ModelLoad.h"
#include "planner/Layout.h"
#include "planner/Parameters.h"

PlanDocument::PlanDocument(QObject *parent) : QObject(parent) { setObjectName("PlanDocument"); }

void PlanDocument::changed(unsigned parts)
{
    if (parts & (SetUp | Model)) updatePlacement();
    emit planChanged(parts);
}

void PlanDocument::applySetUp(int objectSize, int objectHeight, int cameraDistance)
{
    planner::PatternInput &in = plan_.input;
    if (in.objectSize == objectSize && in.objectHeight == objectHeight && in.cameraDistance == cameraDistance) return;
    in.objectSize = objectSize;
    in.objectHeight = objectHeight;
    in.cameraDistance = cameraDistance;
    changed(SetUp);
}

void PlanDocument::setPatternFields(const planner::PatternInput &f)
{
    planner::PatternInput &in = plan_.input;
    if (in.viewDistance == f.viewDistance && in.horizontalStep == f.horizontalStep &&
        in.verticalStep == f.verticalStep && in.excludeCentralPoint == f.excludeCentralPoint &&
        in.excludeBasePlane == f.excludeBasePlane)
        return;
    in.viewDistance = f.viewDistance;
    in.horizontalStep = f.horizontalStep;
    in.verticalStep = f.verticalStep;
    in.excludeCentralPoint = f.excludeCentralPoint;
    in.excludeBasePlane = f.excludeBasePlane;
    changed(PatternFields);
}

void PlanDocument::setLayout(const planner::LayoutInput &layout)
{
    planner::Plan next = plan_;
    next.layout = layout;
    if (next == plan_) return;
    plan_.layout = layout;
    changed(Layout);
}

void PlanDocument::setReportOptions(const std::optional<planner::Framing> &framing, double grazingBelow)
{
    planner::Plan next = plan_;
    next.framing = framing;
    next.grazingBelow = grazingBelow;
    if (next == plan_) return;
    plan_ = std::move(next);
    changed(Report);
}

void PlanDocument::setNaming(const std::string &imagePattern, long long firstNumber)
{
    if (plan_.imagePattern == imagePattern && plan_.firstNumber == firstNumber) return;
    plan_.imagePattern = imagePattern;
    plan_.firstNumber = firstNumber;
    changed(Naming);
}

void PlanDocument::setFitModel(bool on)
{
    if (plan_.fitModel == on) return;
    plan_.fitModel = on;
    changed(Model);
}

void PlanDocument::setPlan(const planner::Plan &plan)
{
    plan_ = plan;
    changed(AllParts);
}

planner::WriteResult PlanDocument::generate(const std::string &path)
{
    planner::PatternLists lists;
    // The grid's file through the grid's own generator, byte for byte.
    const planner::WriteResult r = planner::GenerateLayout(plan_.input, plan_.layout, lists, path);
    lists_ = std::move(lists);
    generated_ = plan_;
    emit patternGenerated();
    return r;
}

std::optional<planner::Plan> PlanDocument::judgedPlan() const
{
    if (!generated_) return std::nullopt;
    planner::Plan p = plan_;
    const planner::PatternInput &g = generated_->input;
    p.input.viewDistance = g.viewDistance;
    p.input.horizontalStep = g.horizontalStep;
    p.input.verticalStep = g.verticalStep;
    p.input.excludeCentralPoint = g.excludeCentralPoint;
    p.input.excludeBasePlane = g.excludeBasePlane;
    p.layout = generated_->layout;
    return p;
}

std::optional<planner::PlanReport> PlanDocument::report() const
{
    const std::optional<planner::Plan> p = judgedPlan();
    if (!p) return std::nullopt;
    return planner::ReportOf(*p, lists_);
}

std::vector<bool> PlanDocument::usable() const
{
    const std::optional<planner::Plan> p = judgedPlan();
    if (!p) return {};
    return planner::UsablePositions(*p, lists_);
}

namespace
{

QString WithUnit(const planner::ParameterSpec &spec, int v)
{
    return QStringLiteral("%1 %2").arg(v).arg(QString::fromLatin1(spec.unit));
}

QString OnOff(bool on) { return on ? QStringLiteral("on") : QStringLiteral("off"); }

QString LayoutText(const planner::LayoutInput &l)
{
    const std::string d = planner::LayoutDescription(l);
    return QString::fromStdString(d.empty() ? std::string(planner::LayoutName(l.kind)) : d);
}

// The options that change the file of this kind of layout.
bool SameFileLayout(const planner::LayoutInput &a, const planner::LayoutInput &b)
{
    using planner::LayoutOption;
    if (a.kind != b.kind) return false;
    const auto takes = [&a](LayoutOption o) { return planner::LayoutTakes(a.kind, o); };
    return (!takes(LayoutOption::Rings) || a.rings == b.rings) &&
           (!takes(LayoutOption::TopLight) || a.topLight == b.topLight) &&
           (!takes(LayoutOption::Count) || a.count == b.count) &&
           (!takes(LayoutOption::Frequency) || a.frequency == b.frequency) &&
           (!takes(LayoutOption::MinElevation) || a.minElevation == b.minElevation) &&
           (!takes(LayoutOption::SkipFlagged) || a.skipFlagged == b.skipFlagged);
}

} // namespace

QStringList PlanDocument::differencesFromFile() const
{
    QStringList lines;
    if (!generated_) return lines;
    const planner::PatternInput &now = plan_.input, &file = generated_->input;
    const bool grid = plan_.layout.kind == planner::LayoutKind::Grid;
    using planner::Param;
    const struct {
        Param id;
        int now, file;
        bool gridOnly;
    } values[] = {
        {Param::ObjectSize, now.objectSize, file.objectSize, false},
        {Param::ObjectHeight, now.objectHeight, file.objectHeight, false},
        {Param::CameraDistance, now.cameraDistance, file.cameraDistance, false},
        {Param::ViewDistance, now.viewDistance, file.viewDistance, false},
        {Param::HorizontalStep, now.horizontalStep, file.horizontalStep, true},
        {Param::VerticalStep, now.verticalStep, file.verticalStep, true},
    };
    for (const auto &v : values) {
        if (v.now == v.file || (v.gridOnly && !grid)) continue;
        const planner::ParameterSpec &spec = planner::Spec(v.id);
        lines << QStringLiteral("%1 %2 (the file: %3)")
                     .arg(QString::fromLatin1(spec.label), WithUnit(spec, v.now), WithUnit(spec, v.file));
    }
    if (grid && now.excludeCentralPoint != file.excludeCentralPoint)
        lines << QStringLiteral("Exclude central point %1 (the file: %2)")
                     .arg(OnOff(now.excludeCentralPoint), OnOff(file.excludeCentralPoint));
    if (grid && now.excludeBasePlane != file.excludeBasePlane)
        lines << QStringLiteral("Exclude point on base plane %1 (the file: %2)")
                     .arg(OnOff(now.excludeBasePlane), OnOff(file.excludeBasePlane));
    if (!SameFileLayout(plan_.layout, generated_->layout))
        lines
            << QStringLiteral("Layout %1 (the file: %2)").arg(LayoutText(plan_.layout), LayoutText(generated_->layout));
    return lines;
}

QString PlanDocument::mismatchText(const QString &shown) const
{
    const QStringList lines = differencesFromFile();
    if (lines.isEmpty()) return {};
    return QStringLiteral("Not what ./acquisition.txt holds: the rig's file was generated for another plan.\n"
                          "    %1\n%2 Press \"Generate -->\" to write ./acquisition.txt for this plan.")
        .arg(lines.join(QStringLiteral("\n    ")), shown);
}

coverage::Placement PlanDocument::placement() const
{
    if (!plan_.fitModel) return coverage::Placement();
    return coverage::FitToObject(mesh_.box, static_cast<float>(plan_.input.objectSize));
}

void PlanDocument::updatePlacement()
{
    const coverage::Placement p = placement();
    if (p.scale == arrays_.placement.scale && p.offset == arrays_.placement.offset) return;
    arrays_.placement = p;
    emit modelArraysChanged();
}

ModelLoadOutcome PlanDocument::loadModel(QWidget *owner, int delayMs, const QString &fileName)
{
    emit modelAboutToChange();
    ModelLoadOutcome out = LoadModelFile(owner, delayMs, fileName, mesh_, arrays_);
    if (out.load.ok()) {
        plan_.modelPath = QFile::encodeName(fileName).toStdString();
        modelColoured_ = out.load.format == nuk::ModelFormat::Ply && (out.load.mask & nuk::PLYMASK_VERTCOLOR) != 0;
    }
    // Fresh arrays stand where the plan puts the model.
    arrays_.placement = placement();
    emit modelChanged(out.load.ok());
    if (out.load.ok()) changed(Model);
    emit modelArraysChanged();
    return out;
}

void PlanDocument::adoptModel(AMesh &&mesh, ModelArrays &&arrays, const QString &path)
{
    emit modelAboutToChange();
    mesh_ = std::move(mesh);
    arrays_ = std::move(arrays);
    modelColoured_ = false;
    plan_.modelPath = QFile::encodeName(path).toStdString();
    arrays_.placement = placement();
    emit modelChanged(true);
    changed(Model);
    emit modelArraysChanged();
}

void PlanDocument::clearModel() { adoptModel(AMesh(), ModelArrays(), QString()); }

void PlanDocument::setModelColours(std::vector<std::uint8_t> colours)
{
    if (colours.empty() && arrays_.colors.empty()) return;
    arrays_.colors = std::move(colours);
    emit modelArraysChanged();
}

void PlanDocument::setFile(const QString &path, const std::string &text)
{
    filePath_ = path;
    fileText_ = text;
    emit fileChanged();
}
