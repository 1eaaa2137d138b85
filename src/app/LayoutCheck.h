#pragma once
// The left panel's controls sit at fixed pixel positions made for a narrow
// face; with a wider one a label runs into its field or a unit out of its
// group. This measures that in the fonts the system really has, for a test
// and for the package check (QUORVEL_LAYOUT_REPORT=1 prints it and exits).

#include <QString>
#include <QStringList>

#include <QList>

class QFrame;

struct LayoutReport {
    QStringList lines;    // the face in use, then every control's box
    QStringList problems; // a text cut short, boxes that overlap or leave their group
};

// The groups of controls to check; the first line names the face of the
// first group's font.
LayoutReport CheckPanelLayout(const QList<const QFrame *> &groups);

// The environment variable that makes the window print the report and exit
// (status 1 when it found a problem).
inline constexpr const char *kLayoutReportVariable = "QUORVEL_LAYOUT_REPORT";
