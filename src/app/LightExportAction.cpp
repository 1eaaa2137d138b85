#include "app/LightExportAction.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QToolButton>

#include "app/GLView.h"
#include "app/Mainform.h"
#include "planner/LightExport.h"

const char *const LightExportAction::kText = "Export light positions\u2026";

LightExportAction::LightExportAction(TForm1 *form) : QObject(form), form_(form)
{
    button_ = form->AddToolButton("TB_exportlights", QString::fromUtf8(kText),
                                  QStringLiteral("Write the light positions of the last generated pattern for RTI "
                                                 "software (.lp, .dome or CSV)"));
    // Nothing to export before the first "Generate -->".
    button_->setEnabled(form->lastGenerated.has_value());
    connect(form, &TForm1::patternGenerated, this, [this] { button_->setEnabled(true); });
    connect(button_, &QToolButton::clicked, this, [this] { Run(); });
    runDialog = [](ExportLightsDialog &d) { return d.exec() == QDialog::Accepted; };
}

void LightExportAction::Run()
{
    if (!form_->lastGenerated) return;
    ExportLightsDialog dialog(form_, form_->pattern.positions.size(), last_);
    if (!runDialog(dialog)) return;
    last_ = dialog.choice();

    // The file's name in the system's own encoding, as QFile would open it.
    const std::string path = QFile::encodeName(last_.path).toStdString();
    const planner::ExportResult r =
        planner::ExportLights(last_.format, *form_->lastGenerated, form_->pattern, last_.options, path);
    if (!r.ok) {
        form_->showMessage(QMessageBox::Warning, QStringLiteral("The light positions could not be exported:\n%1")
                                                     .arg(QString::fromLocal8Bit(r.message.c_str())));
        return;
    }
    if (form_->PanelOGL)
        form_->PanelOGL->ShowNotice(QStringLiteral("Exported %1 light positions to %2")
                                        .arg(r.count)
                                        .arg(QDir::toNativeSeparators(QFileInfo(last_.path).fileName())),
                                    form_->noticeDurationMs);
}
