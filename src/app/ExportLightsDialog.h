#pragma once
// "Export light positions": where to write the last generated pattern's
// light positions for RTI software, in which format, and how the
// photographs are named. Lengths are millimetres.

#include <cstddef>
#include <functional>
#include <optional>

#include <QDialog>
#include <QString>

#include "planner/LightExport.h"

class QComboBox;
class QDialogButtonBox;
class QDoubleSpinBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;

struct LightExportChoice {
    planner::LightFormat format = planner::LightFormat::Lp;
    QString path; // empty: a name in the current folder
    planner::ExportOptions options;
};

class ExportLightsDialog : public QDialog
{
    Q_OBJECT
public:
    // lightCount: photographs in the pattern, for the names shown.
    // fieldWidth: the width of the camera's field at the object when the
    // plan's framing gives it, the .dome's image width unless one is typed.
    ExportLightsDialog(QWidget *parent, std::size_t lightCount, const LightExportChoice &initial,
                       std::optional<double> fieldWidth = std::nullopt);

    LightExportChoice choice() const;
    // What the plan report makes of the positions and, when the plan is not
    // the one ./acquisition.txt was generated with, a text that says so.
    void SetPlanNote(int usable, const QString &mismatch);
    // Why the export cannot go ahead as filled in; empty when it can.
    QString problem() const;

    // Replaceable for tests: the file chosen with "Browse…" (empty when
    // cancelled), starting from the current one.
    std::function<QString(const QString &current, planner::LightFormat format)> chooseFile;
    // What OK does with the choice: the dialog closes only when it returns
    // true, so a failed export leaves it open as it was filled in. Unset,
    // OK just closes it.
    std::function<bool(const LightExportChoice &choice)> commit;

    QComboBox *CB_format;
    QLineEdit *ED_file;
    QPushButton *BT_browse;
    QLineEdit *ED_images;
    QSpinBox *SE_first;
    QDoubleSpinBox *SE_imagewidth;
    QDoubleSpinBox *SE_voffset;
    QLineEdit *ED_label;
    QLabel *LB_names; // the first and last image names, or what is wrong
    QLabel *LB_plan;  // usable positions; a plan that is not the file's
    QLabel *LB_limit; // more lights than some fitters take: a warning, shown only then
    QDialogButtonBox *Buttons;

private:
    planner::LightFormat format() const;
    void formatChanged();
    void browse();
    void refresh();

    std::size_t lightCount_;
    std::optional<double> fieldWidth_;
};
