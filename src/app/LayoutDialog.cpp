#include "app/LayoutDialog.h"

#include <algorithm>
#include <string>

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

#include "app/PlanDocument.h"
#include "app/SpinEdit.h"

namespace
{

QString Describe(planner::LayoutKind k)
{
    switch (k) {
    case planner::LayoutKind::Grid:
        return QStringLiteral("Grid: rows of the window's HORIZONTAL and VERTICAL angle steps, from the top pole "
                              "down; its two exclusions apply.");
    case planner::LayoutKind::Rings:
        return QStringLiteral("Rings around the camera axis from the minimum elevation to near the top, with more "
                              "lights in the lower rings (in proportion to the cosine of the elevation), each ring "
                              "turned against the one below.");
    case planner::LayoutKind::Spiral:
        return QStringLiteral("Golden-angle spiral: the directions spread evenly over the cap above the minimum "
                              "elevation.");
    case planner::LayoutKind::Geodesic:
        return QStringLiteral("Geodesic dome: the vertices of an icosahedron with each edge divided, one on the "
                              "camera axis, at or above the minimum elevation.");
    case planner::LayoutKind::Suggested:
        return QStringLiteral("Suggested: positions chosen from the rig's reachable positions (Plan > Suggest a "
                              "plan); they stay where they were chosen.");
    }
    return {};
}

// A field with its unit beside it.
QWidget *WithUnit(QWidget *parent, QWidget *field, const char *unit)
{
    auto *w = new QWidget(parent);
    auto *row = new QHBoxLayout(w);
    row->setContentsMargins(0, 0, 0, 0);
    row->addWidget(field);
    row->addWidget(new QLabel(QString::fromUtf8(unit), w));
    row->addStretch(1);
    return w;
}

SpinEdit *MakeSpin(QWidget *parent, const char *name, planner::LayoutParam p, int value)
{
    auto *s = new SpinEdit(parent, planner::LayoutSpec(p));
    s->setObjectName(name);
    s->setValue(value);
    return s;
}

} // namespace

LayoutDialog::LayoutDialog(QWidget *parent, const planner::LayoutInput &initial, const planner::PatternInput &setUp)
    : QDialog(parent), setUp_(setUp)
{
    setObjectName("LayoutDialog");
    setWindowTitle(QStringLiteral("Layout of the positions"));

    CB_layout = new QComboBox(this);
    CB_layout->setObjectName("CB_layout");
    for (planner::LayoutKind k : planner::kLayoutKinds)
        CB_layout->addItem(QString::fromLatin1(planner::LayoutName(k)), static_cast<int>(k));
    // A suggested plan is offered only as what it is: it is chosen, not made from options.
    if (initial.kind == planner::LayoutKind::Suggested) {
        CB_layout->addItem(QString::fromLatin1(planner::LayoutName(initial.kind)), static_cast<int>(initial.kind));
        suggested_ = initial.positions;
    }
    CB_layout->setCurrentIndex(CB_layout->findData(static_cast<int>(initial.kind)));

    using planner::LayoutParam;
    CSE_rings = MakeSpin(this, "CSE_rings", LayoutParam::Rings, initial.rings);
    CB_toplight = new QCheckBox(QStringLiteral("Top light (on the camera axis)"), this);
    CB_toplight->setObjectName("CB_toplight");
    CB_toplight->setChecked(initial.topLight);
    CSE_count = MakeSpin(this, "CSE_count", LayoutParam::Count, initial.count);
    CSE_frequency = MakeSpin(this, "CSE_frequency", LayoutParam::Frequency, initial.frequency);
    CSE_minelevation = MakeSpin(this, "CSE_minelevation", LayoutParam::MinElevation, initial.minElevation);
    CB_skipflagged = new QCheckBox(QStringLiteral("Leave out lights below the floor or blocked by the camera"), this);
    CB_skipflagged->setObjectName("CB_skipflagged");
    CB_skipflagged->setChecked(initial.skipFlagged);
    CB_skipflagged->setToolTip(QStringLiteral("By the plan report's rules, for the object and camera last applied "
                                              "and the VIEW distance (mm) in the window"));

    auto *form = new QFormLayout;
    form->addRow(QStringLiteral("Layout"), CB_layout);
    form->addRow(QStringLiteral("Rings"), WithUnit(this, CSE_rings, "around the camera axis"));
    form->addRow(QString(), CB_toplight);
    form->addRow(QStringLiteral("Directions"), WithUnit(this, CSE_count, "on the spiral"));
    form->addRow(QStringLiteral("Frequency"), WithUnit(this, CSE_frequency, "divisions of an edge"));
    form->addRow(QStringLiteral("Minimum elevation"), WithUnit(this, CSE_minelevation, "degrees above the base plane"));
    form->addRow(QString(), CB_skipflagged);

    summary = new QLabel(this);
    summary->setObjectName("summary");
    summary->setWordWrap(true);
    summary->setMinimumWidth(360);
    auto *units = new QLabel(QStringLiteral("Angles in degrees. Every layout is placed at the window's VIEW "
                                            "distance (mm) from the object's centre."),
                             this);
    units->setWordWrap(true);

    Buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    Buttons->setObjectName("Buttons");
    connect(Buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(Buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(summary);
    layout->addWidget(units);
    layout->addWidget(Buttons);

    connect(CB_layout, &QComboBox::currentIndexChanged, this, [this] { update(); });
    for (SpinEdit *s : {CSE_rings, CSE_count, CSE_frequency, CSE_minelevation})
        connect(s, &QSpinBox::valueChanged, this, [this] { update(); });
    connect(CB_toplight, &QCheckBox::toggled, this, [this] { update(); });
    connect(CB_skipflagged, &QCheckBox::toggled, this, [this] { update(); });
    reserveSummaryHeight();
    update();
}

void LayoutDialog::reserveSummaryHeight()
{
    int height = 0;
    for (planner::LayoutKind k : planner::kLayoutKinds) {
        // The description and the two lines of the counts at their longest.
        summary->setText(Describe(k) + QStringLiteral("\n0000 directions; with the lights below the floor or "
                                                      "blocked by the camera left out, the file holds 0000."));
        height = std::max(height, summary->heightForWidth(summary->minimumWidth()));
    }
    summary->setMinimumHeight(height);
}

planner::LayoutInput LayoutDialog::choice() const
{
    planner::LayoutInput l;
    l.kind = static_cast<planner::LayoutKind>(CB_layout->currentData().toInt());
    l.rings = CSE_rings->Value();
    l.topLight = CB_toplight->isChecked();
    l.count = CSE_count->Value();
    l.frequency = CSE_frequency->Value();
    l.minElevation = CSE_minelevation->Value();
    l.skipFlagged = CB_skipflagged->isChecked();
    if (l.kind == planner::LayoutKind::Suggested) l.positions = suggested_;
    return l;
}

void LayoutDialog::update()
{
    const planner::LayoutInput l = choice();
    using planner::LayoutOption;
    CSE_rings->setEnabled(planner::LayoutTakes(l.kind, LayoutOption::Rings));
    CB_toplight->setEnabled(planner::LayoutTakes(l.kind, LayoutOption::TopLight));
    CSE_count->setEnabled(planner::LayoutTakes(l.kind, LayoutOption::Count));
    CSE_frequency->setEnabled(planner::LayoutTakes(l.kind, LayoutOption::Frequency));
    CSE_minelevation->setEnabled(planner::LayoutTakes(l.kind, LayoutOption::MinElevation));
    CB_skipflagged->setEnabled(planner::LayoutTakes(l.kind, LayoutOption::SkipFlagged));
    QString text = Describe(l.kind);
    if (l.kind != planner::LayoutKind::Grid) {
        const std::size_t directions = planner::LayoutDirections(l).size();
        if (!l.skipFlagged) {
            text += QStringLiteral("\n%1 directions, all of them in the file.").arg(directions);
        } else {
            planner::PatternLists lists;
            planner::BuildLayout(setUp_, l, lists);
            text += QStringLiteral("\n%1 directions; with the lights below the floor or blocked by the camera left "
                                   "out, the file holds %2.")
                        .arg(directions)
                        .arg(lists.positions.size());
        }
    }
    summary->setText(text);
}

LayoutDialog *LayoutDialog::Open(PlanDocument *document, QWidget *parent, int viewDistance)
{
    planner::PatternInput setUp = document->plan().input;
    setUp.viewDistance = viewDistance;
    auto *d = new LayoutDialog(parent, document->plan().layout, setUp);
    d->setAttribute(Qt::WA_DeleteOnClose);
    connect(d, &QDialog::accepted, document, [document, d] { document->setLayout(d->choice()); });
    d->open();
    return d;
}
