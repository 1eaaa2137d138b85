#pragma once
// The toolbar's "Export light positions…": writes the light positions of
// the last generated pattern for RTI software, after a dialog that asks for
// the file, the format and the image names. The files describe the plan as
// the report judges it: the applied set-up with the current positions.
// Enabled from the first "Generate -->" on.

#include <functional>

#include <QObject>

#include "planner/Plan.h"

#include "app/ExportLightsDialog.h"

class QToolButton;
class PlanDocument;
class WindowHost;

class LightExportAction : public QObject
{
    Q_OBJECT
public:
    // Adds the button to the host's toolbar.
    LightExportAction(PlanDocument *document, WindowHost *host, QObject *parent);

    // The dialog, then the export; failures reach the operator through the
    // host's message box and leave the dialog open, success is a notice
    // over the view and a line in the status bar. An existing file is
    // replaced only when the operator says so.
    void Run();

    QToolButton *Button() const { return button_; }
    // What the dialog showed last time, offered again next time (and in the
    // next run: it is remembered). The image names are the plan's.
    const LightExportChoice &LastChoice() const { return last_; }

    // Replaceable for tests: shows the dialog, true when accepted.
    std::function<bool(ExportLightsDialog &)> runDialog;

    static const char *const kText;

private:
    // Writes the file for this choice; false, with the operator told why,
    // when nothing was written.
    bool write(const LightExportChoice &choice, const planner::Plan &plan, double plannedImageWidth);

    PlanDocument *document_;
    WindowHost *host_;
    QToolButton *button_;
    LightExportChoice last_;
};
