#pragma once
// "Layout…": how the next "Generate -->" lays out the positions, the grid of
// the window's two steps or the rings, spiral and geodesic layouts with
// their own options. OK makes the choice the plan's layout (the window then
// enables the grid's fields only while the grid is chosen).

#include <QDialog>

#include "planner/Layout.h"

class QCheckBox;
class QComboBox;
class QDialogButtonBox;
class QLabel;
class SpinEdit;
class PlanDocument;

class LayoutDialog : public QDialog
{
    Q_OBJECT
public:
    // setUp: the object, camera and view distance the next "Generate -->"
    // uses, for the count of the positions the file will hold.
    LayoutDialog(QWidget *parent, const planner::LayoutInput &initial, const planner::PatternInput &setUp = {});

    // The layout as the fields show it now.
    planner::LayoutInput choice() const;

    // Opens the dialog over parent and returns at once (it is modal to the
    // window); OK makes the choice the document's layout, which the next
    // "Generate -->" uses.
    // viewDistance: the window's, in mm.
    static LayoutDialog *Open(PlanDocument *document, QWidget *parent, int viewDistance);

    QComboBox *CB_layout;
    SpinEdit *CSE_rings;
    QCheckBox *CB_toplight;
    SpinEdit *CSE_count;
    SpinEdit *CSE_frequency;
    SpinEdit *CSE_minelevation;
    QCheckBox *CB_skipflagged;
    QLabel *summary; // what the layout is, how many directions it has and how many go into the file
    QDialogButtonBox *Buttons;

private:
    // A suggested plan's positions, kept while it stays the choice.
    std::vector<nuk::Point3f> suggested_;
    void update();
    // The summary keeps one height whatever the layout, so that the
    // dialog does not jump as the choice changes.
    void reserveSummaryHeight();

    planner::PatternInput setUp_;
};
