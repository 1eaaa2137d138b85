#include "app/AppSettings.h"

#include <string>

#include <QDir>
#include <QFileInfo>
#include <QSettings>

#include "planner/LightExport.h"
#include "planner/Parameters.h"

namespace settings
{
namespace
{

// A remembered number, or the default when it is missing, not a number or
// out of the value's limits.
double Number(const QSettings &s, const char *key, planner::Value id)
{
    const planner::ValueSpec &spec = planner::Spec(id);
    bool ok = false;
    const double v = s.value(QLatin1String(key)).toDouble(&ok);
    return ok && planner::WithinLimits(spec, v) ? v : spec.defaultValue;
}

QString Folder(const char *key)
{
    const QString f = QSettings().value(QLatin1String(key)).toString();
    return !f.isEmpty() && QFileInfo(f).isDir() ? f : QString();
}

} // namespace

QByteArray WindowGeometry() { return QSettings().value(QStringLiteral("window/geometry")).toByteArray(); }

void SetWindowGeometry(const QByteArray &geometry)
{
    QSettings().setValue(QStringLiteral("window/geometry"), geometry);
}

QString ModelFolder() { return Folder("folders/model"); }
void SetModelFolder(const QString &folder) { QSettings().setValue(QStringLiteral("folders/model"), folder); }
QString PlanFolder() { return Folder("folders/plan"); }
void SetPlanFolder(const QString &folder) { QSettings().setValue(QStringLiteral("folders/plan"), folder); }

QStringList RecentPlans()
{
    QStringList list;
    for (const QString &p : QSettings().value(QStringLiteral("recent/plans")).toStringList())
        if (!p.isEmpty() && !list.contains(p) && list.size() < kMaxRecentPlans) list << p;
    return list;
}

static void SetRecentPlans(const QStringList &list)
{
    QSettings().setValue(QStringLiteral("recent/plans"), list.mid(0, kMaxRecentPlans));
}

void AddRecentPlan(const QString &path)
{
    const QString p = QFileInfo(path).absoluteFilePath();
    QStringList list = RecentPlans();
    list.removeAll(p);
    list.prepend(p);
    SetRecentPlans(list);
}

void RemoveRecentPlan(const QString &path)
{
    QStringList list = RecentPlans();
    list.removeAll(path);
    SetRecentPlans(list);
}

void ClearRecentPlans() { SetRecentPlans({}); }

ReportChoice Report()
{
    const QSettings s;
    ReportChoice c;
    c.framingKnown = s.value(QStringLiteral("report/framingKnown"), false).toBool();
    c.framing.sensorWidth = Number(s, "report/sensorWidth", planner::Value::SensorWidth);
    c.framing.sensorHeight = Number(s, "report/sensorHeight", planner::Value::SensorHeight);
    c.framing.focalLength = Number(s, "report/focalLength", planner::Value::FocalLength);
    c.grazingBelow = Number(s, "report/grazingBelow", planner::Value::GrazingBelow);
    return c;
}

void SetReport(const ReportChoice &c)
{
    QSettings s;
    s.setValue(QStringLiteral("report/framingKnown"), c.framingKnown);
    s.setValue(QStringLiteral("report/sensorWidth"), c.framing.sensorWidth);
    s.setValue(QStringLiteral("report/sensorHeight"), c.framing.sensorHeight);
    s.setValue(QStringLiteral("report/focalLength"), c.framing.focalLength);
    s.setValue(QStringLiteral("report/grazingBelow"), c.grazingBelow);
}

LightExportChoice Export()
{
    const QSettings s;
    LightExportChoice c;
    if (const std::optional<planner::LightFormat> f =
            planner::ParseLightFormat(s.value(QStringLiteral("export/format")).toString().toStdString()))
        c.format = *f;
    const QString path = s.value(QStringLiteral("export/path")).toString();
    if (!path.isEmpty() && QFileInfo(path).absoluteDir().exists()) c.path = path;
    const std::string names = s.value(QStringLiteral("export/imagePattern")).toString().toStdString();
    std::string error;
    if (!names.empty() && planner::ImageNamePattern::Parse(names, error)) c.options.imagePattern = names;
    c.options.firstNumber = static_cast<long long>(Number(s, "export/firstNumber", planner::Value::FirstNumber));
    c.options.imageWidth = Number(s, "export/imageWidth", planner::Value::ImageWidth);
    c.options.verticalOffset = Number(s, "export/verticalOffset", planner::Value::VerticalOffset);
    c.options.label = s.value(QStringLiteral("export/label")).toString().toStdString();
    return c;
}

void SetExport(const LightExportChoice &c)
{
    QSettings s;
    s.setValue(QStringLiteral("export/format"), QString::fromLatin1(planner::FormatName(c.format)));
    s.setValue(QStringLiteral("export/path"), c.path);
    s.setValue(QStringLiteral("export/imagePattern"), QString::fromStdString(c.options.imagePattern));
    s.setValue(QStringLiteral("export/firstNumber"), c.options.firstNumber);
    s.setValue(QStringLiteral("export/imageWidth"), c.options.imageWidth);
    s.setValue(QStringLiteral("export/verticalOffset"), c.options.verticalOffset);
    s.setValue(QStringLiteral("export/label"), QString::fromStdString(c.options.label));
}

} // namespace settings
