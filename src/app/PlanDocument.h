#pragma once
// The window's document: the plan the operator works on, the positions of
// the last "Generate -->" and the plan they were generated with (what
// ./acquisition.txt holds), the reference model with its draw arrays, and
// the plan file it came from. The window's controls edit it; the view, the
// report, the coverage and the exports read it, and follow its signals.
// One plan under the whole window: every view of it judges the applied
// set-up with the current positions, and "usable" is decided in one place
// (planner::ReportOf) for all of them.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <QObject>
#include <QString>
#include <QStringList>

#include "app/ModelArrays.h"
#include "app/ModelLoader.h"
#include "coverage/Placement.h"
#include "nuk/Mesh/AMesh.h"
#include "planner/Plan.h"

class QWidget;

class PlanDocument : public QObject
{
    Q_OBJECT
public:
    // The parts of the plan, for planChanged.
    enum Part : unsigned {
        SetUp = 1u << 0,         // object size, object height, camera distance ("Apply ->")
        PatternFields = 1u << 1, // view distance, the grid's steps and exclusions
        Layout = 1u << 2,
        Report = 1u << 3, // framing, grazing limit
        Naming = 1u << 4, // image names of the exports
        Model = 1u << 5,  // model path, "Fit model to object"
        AllParts = (1u << 6) - 1,
    };

    explicit PlanDocument(QObject *parent = nullptr);

    // The set-up last applied, the pattern fields as last taken (by
    // "Generate -->" or a save), and the rest as chosen.
    const planner::Plan &plan() const { return plan_; }

    // Each replaces one part and signals when it changed.
    void applySetUp(int objectSize, int objectHeight, int cameraDistance);
    // Takes the view distance, steps and exclusions of fields, nothing else.
    void setPatternFields(const planner::PatternInput &fields);
    void setLayout(const planner::LayoutInput &layout);
    void setReportOptions(const std::optional<planner::Framing> &framing, double grazingBelow);
    void setNaming(const std::string &imagePattern, long long firstNumber);
    void setFitModel(bool on);
    // Everything at once, as when a plan is opened; the model path is taken
    // as it is, loading the model is the caller's.
    void setPlan(const planner::Plan &plan);

    // "Generate -->": the positions of the plan, written to path. The
    // positions are new even when the file could not be written.
    planner::WriteResult generate(const std::string &path = planner::kAcquisitionFile);
    bool hasPattern() const { return generated_.has_value(); }
    const planner::PatternLists &pattern() const { return lists_; }
    // The plan of the last "Generate -->": what ./acquisition.txt holds.
    const std::optional<planner::Plan> &generated() const { return generated_; }
    // What the report, the coverage and the exports judge: the plan with the
    // pattern and layout the positions were generated with. None before the
    // first "Generate -->".
    std::optional<planner::Plan> judgedPlan() const;
    std::optional<planner::PlanReport> report() const;
    // Per position, whether the report leaves it unflagged; empty before the
    // first "Generate -->".
    std::vector<bool> usable() const;
    // Where the plan differs from what ./acquisition.txt was generated with,
    // one line a field: "OBJ height 1500 mm (the file: 1000 mm)". Empty when
    // they agree or nothing was generated.
    QStringList differencesFromFile() const;
    // Those differences said plainly for a dialog, with what the dialog
    // shows (shown: "This report judges ..."), naming "Generate -->" as the
    // way to bring file and plan together. Empty when they agree.
    QString mismatchText(const QString &shown) const;

    // The reference model.
    const AMesh &mesh() const { return mesh_; }
    const ModelArrays &modelArrays() const { return arrays_; }
    bool hasModel() const { return !arrays_.empty(); }
    // The model's vertices carry colours of their own (a PLY with colours).
    bool modelColoured() const { return modelColoured_; }
    // Where the model stands: its own coordinates, or fitted to the object.
    coverage::Placement placement() const;
    // The load sequence into the document's mesh; on failure the previous
    // model stays. owner parents the progress dialog.
    ModelLoadOutcome loadModel(QWidget *owner, int delayMs, const QString &fileName);
    // A model made elsewhere (benchmarks, tests).
    void adoptModel(AMesh &&mesh, ModelArrays &&arrays, const QString &path);
    void clearModel();
    // The coverage's colours per corner; empty for none.
    void setModelColours(std::vector<std::uint8_t> colours);

    // The plan file: its path (empty before the first open or save) and the
    // text it was read from or saved as, so that a save keeps the keys this
    // version does not know.
    const QString &filePath() const { return filePath_; }
    const std::string &fileText() const { return fileText_; }
    void setFile(const QString &path, const std::string &text);

signals:
    void planChanged(unsigned parts);
    void patternGenerated();
    // Around a change of the mesh: before it may change, and after, with
    // whether it did (false: a load failed and the previous model stays).
    void modelAboutToChange();
    void modelChanged(bool replaced);
    // The arrays' colours or placement changed: the view draws again.
    void modelArraysChanged();
    void fileChanged();

private:
    void changed(unsigned parts);
    void updatePlacement();

    planner::Plan plan_;
    planner::PatternLists lists_;
    std::optional<planner::Plan> generated_;
    AMesh mesh_;
    ModelArrays arrays_;
    bool modelColoured_ = false;
    QString filePath_;
    std::string fileText_;
};
