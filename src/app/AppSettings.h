#pragma once
// What the window remembers between runs (QSettings): its size and place,
// the folders of the last model and plan, the recent plans, the plan
// report's sensor, lens and grazing limit, and the export dialog's choices.
// The planner's own parameters are not among them: every start has their
// defaults. Whatever is read back is checked, since the file may have been
// edited by hand; a value out of its limits is dropped for the default.

#include <QByteArray>
#include <QString>
#include <QStringList>

#include "app/ExportLightsDialog.h"
#include "planner/PlanReport.h"

namespace settings
{

inline constexpr int kMaxRecentPlans = 8;

QByteArray WindowGeometry();
void SetWindowGeometry(const QByteArray &geometry);

// Empty when none was remembered or the folder is gone.
QString ModelFolder();
void SetModelFolder(const QString &folder);
QString PlanFolder();
void SetPlanFolder(const QString &folder);

// Newest first, at most kMaxRecentPlans.
QStringList RecentPlans();
void AddRecentPlan(const QString &path);
void RemoveRecentPlan(const QString &path);
void ClearRecentPlans();

// The report's own inputs: the sensor and lens stay remembered while the
// framing is switched off.
struct ReportChoice {
    bool framingKnown = false;
    planner::Framing framing;
    double grazingBelow = planner::ReportOptions{}.grazingBelow;
};
ReportChoice Report();
void SetReport(const ReportChoice &choice);

// The export dialog's fields; a file whose folder is gone is not offered.
LightExportChoice Export();
void SetExport(const LightExportChoice &choice);

} // namespace settings
