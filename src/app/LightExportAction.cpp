#include "app/LightExportAction.h"

#include <optional>
#include <string>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QToolButton>

#include "app/AppSettings.h"
#include "app/PlanDocument.h"
#include "app/WindowHost.h"
#include "planner/LightExport.h"

const char *const LightExportAction::kText = "Export light positions\u2026";

LightExportAction::LightExportAction(PlanDocument *document, WindowHost *host, QObject *parent)
    : QObject(parent), document_(document), host_(host), last_(settings::Export())
{
    button_ = host->AddToolButton("TB_exportlights", QString::fromUtf8(kText),
                                  QStringLiteral("Write the light positions of the last generated pattern for RTI "
                                                 "software (.lp, .dome or CSV), for the set-up last applied"));
    // Nothing to export before the first "Generate -->".
    button_->setEnabled(document->hasPattern());
    connect(document, &PlanDocument::patternGenerated, this, [this] { button_->setEnabled(true); });
    connect(button_, &QToolButton::clicked, this, [this] { Run(); });
    runDialog = [](ExportLightsDialog &d) { return d.exec() == QDialog::Accepted; };
}

void LightExportAction::Run()
{
    const std::optional<planner::Plan> plan = document_->judgedPlan();
    if (!plan) return;
    // The names are the plan's; the rest is the dialog's own.
    LightExportChoice offered = last_;
    offered.options.imagePattern = plan->imagePattern;
    offered.options.firstNumber = plan->firstNumber;
    // The framing's field is the .dome's image width unless one is typed.
    const planner::ExportOptions planned = plan->exportOptions();
    const std::optional<double> field = plan->framing ? std::optional<double>(planned.imageWidth) : std::nullopt;
    ExportLightsDialog dialog(host_->DialogParent(), document_->pattern().positions.size(), offered, field);
    const std::optional<planner::PlanReport> report = document_->report();
    dialog.SetPlanNote(report ? report->usable : 0,
                       document_->mismatchText(QStringLiteral("The exported file describes the set-up applied now.")));
    bool written = false;
    dialog.commit = [&](const LightExportChoice &c) { return written = write(c, *plan, planned.imageWidth); };
    if (!runDialog(dialog)) return;
    // A dialog accepted without its OK button (a stand-in) exports here.
    if (!written) write(dialog.choice(), *plan, planned.imageWidth);
}

bool LightExportAction::write(const LightExportChoice &choice, const planner::Plan &plan, double plannedImageWidth)
{
    last_ = choice;
    settings::SetExport(last_);
    document_->setNaming(last_.options.imagePattern, last_.options.firstNumber);

    const QFileInfo target(last_.path);
    if (target.exists() &&
        !host_->Confirm(QStringLiteral("%1 already exists. Replace it?").arg(QDir::toNativeSeparators(last_.path)))) {
        host_->ShowStatus(QStringLiteral("Not exported: %1 was kept as it was").arg(target.fileName()));
        return false;
    }
    // The file's name in the system's own encoding, as QFile would open it.
    const std::string path = QFile::encodeName(last_.path).toStdString();
    planner::ExportOptions options = last_.options;
    if (options.imageWidth <= 0) options.imageWidth = plannedImageWidth;
    const planner::ExportResult r =
        planner::ExportLights(last_.format, plan.input, document_->pattern(), options, path);
    if (!r.ok) {
        host_->ShowMessage(QMessageBox::Warning, QStringLiteral("The light positions could not be exported:\n%1")
                                                     .arg(QString::fromLocal8Bit(r.message.c_str())));
        return false;
    }
    QString notice = QStringLiteral("Exported %1 light positions to %2")
                         .arg(r.count)
                         .arg(QDir::toNativeSeparators(target.fileName()));
    if (const std::string warning = planner::LightCountWarning(r.count); !warning.empty())
        notice += QStringLiteral(" (%1)").arg(QString::fromStdString(warning));
    host_->ShowNotice(notice);
    host_->ShowStatus(notice);
    return true;
}
