#pragma once
// The toolbar's "Export light positions…": writes the last generated
// pattern's light positions for RTI software, after a dialog that asks for
// the file, the format and the image names. Enabled from the first
// "Generate -->" on.

#include <functional>

#include <QObject>

#include "app/ExportLightsDialog.h"

class QToolButton;
class TForm1;

class LightExportAction : public QObject
{
    Q_OBJECT
public:
    // Adds the button to the form's toolbar.
    explicit LightExportAction(TForm1 *form);

    // The dialog, then the export; failures reach the operator through the
    // form's message box, success as a notice over the view.
    void Run();

    QToolButton *Button() const { return button_; }
    // What the dialog showed last time, offered again next time.
    const LightExportChoice &LastChoice() const { return last_; }

    // Replaceable for tests: shows the dialog, true when accepted.
    std::function<bool(ExportLightsDialog &)> runDialog;

    static const char *const kText;

private:
    TForm1 *form_;
    QToolButton *button_;
    LightExportChoice last_;
};
