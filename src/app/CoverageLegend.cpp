#include "app/CoverageLegend.h"

#include <QEvent>
#include <QGridLayout>
#include <QLabel>
#include <QPixmap>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/CoverageColours.h"

namespace
{

QLabel *Swatch(QWidget *parent, const QColor &c)
{
    QPixmap pm(14, 14);
    pm.fill(c);
    auto *l = new QLabel(parent);
    l->setPixmap(pm);
    return l;
}

QString Percent(double share) { return QString::number(100.0 * share, 'f', 1) + QStringLiteral(" %"); }

// Bands from the best down, as the eye reads a legend.
constexpr coverage::Band kRows[] = {coverage::kBandHsh, coverage::kBandPtm, coverage::kBandFew, coverage::kBandNone};

const char *RowLabel(coverage::Band b)
{
    switch (b) {
    case coverage::kBandHsh:
        return "\u2265 9 lights";
    case coverage::kBandPtm:
        return "6\u20138 lights (PTM only)";
    case coverage::kBandFew:
        return "1\u20135 lights (too few)";
    default:
        return "no light";
    }
}

} // namespace

CoverageLegend::CoverageLegend(QWidget *view) : QFrame(view)
{
    setObjectName("CoverageLegend");
    setAutoFillBackground(true);
    setStyleSheet(QStringLiteral("CoverageLegend { background: rgba(250, 250, 250, 235); border: 1px solid #556;"
                                 " border-radius: 3px; } QLabel { background: transparent; color: #101020; }"));
    auto *box = new QVBoxLayout(this);
    box->setContentsMargins(8, 6, 8, 6);
    box->setSpacing(4);

    auto *title = new QLabel(QStringLiteral("Light coverage"), this);
    QFont f = title->font();
    f.setBold(true);
    title->setFont(f);
    box->addWidget(title);

    message_ = new QLabel(this);
    message_->setObjectName("CoverageMessage");
    message_->setWordWrap(true);
    message_->setTextFormat(Qt::PlainText);
    box->addWidget(message_);

    progress_ = new QProgressBar(this);
    progress_->setObjectName("CoverageProgress");
    progress_->setRange(0, 100);
    box->addWidget(progress_);
    cancel_ = new QPushButton(QStringLiteral("Cancel"), this);
    cancel_->setObjectName("CoverageCancel");
    connect(cancel_, &QPushButton::clicked, this, &CoverageLegend::cancelRequested);
    box->addWidget(cancel_);

    scale_ = new QWidget(this);
    auto *grid = new QGridLayout(scale_);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setHorizontalSpacing(6);
    grid->setVerticalSpacing(2);
    grid->setColumnStretch(1, 1);
    int row = 0;
    for (coverage::Band b : kRows) {
        grid->addWidget(Swatch(scale_, BandColour(b)), row, 0);
        bandText_[b] = new QLabel(scale_);
        bandText_[b]->setObjectName(QStringLiteral("CoverageBand%1").arg(int(b)));
        grid->addWidget(bandText_[b], row++, 1);
    }
    grid->addWidget(Swatch(scale_, NotSeenColour()), row, 0);
    notSeenText_ = new QLabel(QStringLiteral("not seen by the camera"), scale_);
    grid->addWidget(notSeenText_, row, 1);
    box->addWidget(scale_);

    summary_ = new QLabel(this);
    summary_->setObjectName("CoverageSummary");
    summary_->setWordWrap(true);
    box->addWidget(summary_);

    view->installEventFilter(this);
    hide();
}

QString CoverageLegend::MessageText() const { return message_->text(); }

QString CoverageLegend::BandText(coverage::Band band) const
{
    return band >= 0 && band < coverage::kBandCount ? bandText_[band]->text() : QString();
}

void CoverageLegend::ShowMessage(const QString &text)
{
    message_->setText(text);
    message_->show();
    progress_->hide();
    cancel_->hide();
    scale_->hide();
    summary_->hide();
    place();
}

void CoverageLegend::ShowProgress(int percent)
{
    message_->setText(QStringLiteral("Computing\u2026"));
    message_->show();
    progress_->setValue(percent);
    progress_->show();
    cancel_->show();
    scale_->hide();
    summary_->hide();
    place();
}

void CoverageLegend::ShowResult(const coverage::CoverageResult &r)
{
    message_->hide();
    progress_->hide();
    cancel_->hide();
    for (coverage::Band b : kRows)
        bandText_[b]->setText(QString::fromUtf8(RowLabel(b)) + QStringLiteral("  ") + Percent(r.bandShare[b]));
    QString s = QStringLiteral("Shares of the visible area, %1 mm\u00b2.").arg(r.visibleArea, 0, 'f', 0);
    s += QStringLiteral("\n%1 of %2 positions used").arg(r.usablePositions).arg(r.positions.size());
    if (!r.weakPositions.empty())
        s += QStringLiteral("; %1 light less than %2 % of it")
                 .arg(r.weakPositions.size())
                 .arg(100.0 * coverage::CoverageInput().weakShare);
    summary_->setText(s);
    summary_->show();
    scale_->show();
    place();
}

void CoverageLegend::place()
{
    adjustSize();
    const QWidget *view = parentWidget();
    if (view) move(qMax(0, view->width() - width() - 8), 8);
    show();
    raise();
}

bool CoverageLegend::eventFilter(QObject *watched, QEvent *e)
{
    if (watched == parentWidget() && e->type() == QEvent::Resize && isVisible()) place();
    return QFrame::eventFilter(watched, e);
}
