#include "app/PredictDialog.h"

#include <cmath>

#include <QComboBox>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QTimer>
#include <QVBoxLayout>

#include "app/Job.h"
#include "app/PlanDocument.h"
#include "capture/Camera.h"
#include "capture/CaptureScene.h"
#include "planner/Stage.h"
#include "plot/ErrorMap.h"

namespace
{

enum MapKind { kNormals, kPtm, kHsh2, kHsh3, kLights };

QString Cell(const predict::Prediction *p, double value, bool fitted = true)
{
    if (!p) return QStringLiteral("-");
    if (!fitted) return QStringLiteral("cannot fit");
    return QString::number(value, 'f', 2);
}

} // namespace

PredictDialog::PredictDialog(PlanDocument *document, QWidget *parent) : QDialog(parent), document_(document)
{
    setObjectName("PredictDialog");
    setWindowTitle(QStringLiteral("Predicted result"));
    setModal(false);

    status = new QLabel(this);
    status->setObjectName("status");
    status->setWordWrap(true);
    mapChoice = new QComboBox(this);
    mapChoice->setObjectName("mapChoice");
    mapChoice->addItems({QStringLiteral("Normal error"), QStringLiteral("PTM relighting error"),
                         QStringLiteral("HSH order 2 relighting error"), QStringLiteral("HSH order 3 relighting error"),
                         QStringLiteral("Lights reaching each pixel")});
    mapView = new QLabel(this);
    mapView->setObjectName("mapView");
    mapView->setMinimumSize(480, 320);
    mapView->setAlignment(Qt::AlignCenter);
    figures = new QPlainTextEdit(this);
    figures->setObjectName("figures");
    figures->setReadOnly(true);
    figures->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    figures->setMinimumWidth(440);

    auto *left = new QVBoxLayout;
    left->addWidget(mapChoice);
    left->addWidget(mapView, 1);
    auto *right = new QVBoxLayout;
    right->addWidget(status);
    right->addWidget(figures, 1);
    auto *layout = new QHBoxLayout(this);
    layout->addLayout(left, 1);
    layout->addLayout(right);
    resize(1200, 560);

    poll_ = new QTimer(this);
    poll_->setInterval(200);
    connect(poll_, &QTimer::timeout, this, [this] {
        if (run_) status->setText(QStringLiteral("Working it out: %1 %").arg(run_->permille.load() / 10));
    });
    connect(mapChoice, &QComboBox::currentIndexChanged, this, [this] { showMap(); });
    connect(document, &PlanDocument::patternGenerated, this, [this] { Recompute(); });
    connect(document, &PlanDocument::modelChanged, this, [this](bool replaced) {
        if (replaced) Recompute();
    });
    connect(document, &PlanDocument::planChanged, this, [this](unsigned parts) {
        if (parts & (PlanDocument::SetUp | PlanDocument::Report | PlanDocument::Model)) Recompute();
    });
    showFigures();
    Recompute();
}

PredictDialog::~PredictDialog()
{
    if (job_) job_->Cancel();
    job_.reset(); // waits for the worker
}

PredictDialog *PredictDialog::Open(PlanDocument *document, QWidget *parent)
{
    auto *d = parent->findChild<PredictDialog *>(QStringLiteral("PredictDialog"), Qt::FindDirectChildrenOnly);
    if (!d) d = new PredictDialog(document, parent);
    d->show();
    d->raise();
    d->activateWindow();
    return d;
}

void PredictDialog::Recompute()
{
    if (job_) {
        job_->Cancel();
        job_.reset();
    }
    run_.reset();
    poll_->stop();
    const std::optional<planner::Plan> plan = document_->judgedPlan();
    if (!plan) {
        status->setText(QStringLiteral("No plan yet: press \"Generate -->\"."));
        return;
    }
    if (!document_->hasModel()) {
        status->setText(QStringLiteral("No reference model: load one to predict the result on it."));
        return;
    }
    if (!plan->framing) {
        status->setText(QStringLiteral("The framing is not known: give the sensor and the lens in the plan report."));
        return;
    }
    const std::vector<bool> usable = document_->usable();
    std::vector<nuk::Point3f> lights;
    const std::vector<nuk::Point3f> &positions = document_->pattern().positions;
    for (std::size_t k = 0; k < positions.size() && k < usable.size(); ++k)
        if (usable[k]) lights.push_back(positions[k]);
    const capture::Camera camera = capture::MakeCamera(*plan->framing, plan->input.cameraDistance, kWidth,
                                                       capture::DefaultHeight(*plan->framing, kWidth));
    const planner::Stage stage =
        planner::StageOf(plan->input.objectSize, plan->input.objectHeight, plan->input.cameraDistance);
    // The model is copied here: the document may load another meanwhile.
    auto model = std::make_shared<capture::SceneModel>(
        capture::SceneModel::FromMesh(document_->mesh(), document_->placement(), document_->modelColoured()));

    auto run = std::make_shared<Run>();
    run_ = run;
    status->setText(QStringLiteral("Working it out: 0 %"));
    poll_->start();
    Run *r = run.get();
    job_ = Job::Start(
        this, QStringLiteral("The predicted result"),
        [r, model, stage, camera, lights, from = plan->grazingBelow](Job &job) {
            std::string error;
            auto scene = capture::CaptureScene::Build(std::move(*model), stage, error);
            if (!scene) {
                r->error = QString::fromStdString(error);
                return;
            }
            predict::PredictOptions opt;
            opt.capture.samples = kSamples;
            opt.heldOutFrom = from;
            auto result = std::make_shared<predict::Prediction>(
                predict::Predict(*scene, camera, lights, opt, [r, &job](std::size_t done, std::size_t total) {
                    r->permille = total ? int(1000 * done / total) : 0;
                    return !job.Cancelled();
                }));
            if (!result->ok) r->error = QString::fromStdString(result->error);
            r->result = std::move(result);
        },
        [this, weak = std::weak_ptr<Run>(run)](bool failed) {
            const std::shared_ptr<Run> done = weak.lock();
            if (done && done == run_) ended(done, failed);
        },
        [this](const QString &text) { status->setText(text); });
}

void PredictDialog::ended(const std::shared_ptr<Run> &run, bool failed)
{
    poll_->stop();
    job_.reset();
    run_.reset();
    if (!failed) {
        if (run->result && run->result->ok) {
            previous_ = current_;
            current_ = run->result;
            status->setText(QStringLiteral("%1 lights, %2 x %3 pixels, %4 samples, point lamps; lengths in mm.")
                                .arg(current_->lights)
                                .arg(current_->width)
                                .arg(current_->height)
                                .arg(kSamples));
        } else {
            status->setText(QStringLiteral("No prediction: %1").arg(run->error));
        }
    }
    showFigures();
    showMap();
    emit finished();
}

void PredictDialog::showFigures()
{
    const predict::Prediction *now = current_.get(), *before = previous_.get();
    QString t = QStringLiteral("%1%2%3\n")
                    .arg(QString(), -30)
                    .arg(QStringLiteral("this plan"), 12)
                    .arg(QStringLiteral("previous"), 12);
    auto row = [&](const QString &name, auto value, auto fitted) {
        t += QStringLiteral("%1%2%3\n")
                 .arg(name, -30)
                 .arg(Cell(now, now ? value(*now) : 0, now ? fitted(*now) : true), 12)
                 .arg(Cell(before, before ? value(*before) : 0, before ? fitted(*before) : true), 12);
    };
    const auto always = [](const predict::Prediction &) { return true; };
    row(
        QStringLiteral("lights"), [](const predict::Prediction &p) { return double(p.lights); }, always);
    for (std::size_t i = 0; i < predict::kLightCounts.size(); ++i)
        row(
            QStringLiteral("%1 or more lights (%)").arg(predict::kLightCounts[i]),
            [i](const predict::Prediction &p) { return 100 * p.litShare[i]; }, always);
    row(
        QStringLiteral("normals, median (deg)"), [](const predict::Prediction &p) { return p.normals.median; }, always);
    row(
        QStringLiteral("normals, 95 % (deg)"), [](const predict::Prediction &p) { return p.normals.p95; }, always);
    for (std::size_t i = 0; i < predict::kNormalThresholds.size(); ++i)
        row(
            QStringLiteral("normals above %1 deg (%)").arg(predict::kNormalThresholds[i]),
            [i](const predict::Prediction &p) { return 100 * p.normals.above[i]; }, always);
    const char *names[predict::kModels] = {"PTM", "HSH 2", "HSH 3"};
    for (int m = 0; m < predict::kModels; ++m) {
        const auto fitted = [m](const predict::Prediction &p) { return p.relight[std::size_t(m)].fitted; };
        row(
            QStringLiteral("%1 relighting, median (%)").arg(names[m]),
            [m](const predict::Prediction &p) { return 100 * p.relight[std::size_t(m)].median; }, fitted);
        row(
            QStringLiteral("%1 relighting, 95 % (%)").arg(names[m]),
            [m](const predict::Prediction &p) { return 100 * p.relight[std::size_t(m)].p95; }, fitted);
        row(
            QStringLiteral("%1 above 10 % (%)").arg(names[m]),
            [m](const predict::Prediction &p) {
                const predict::ErrorFigures &f = p.relight[std::size_t(m)];
                return f.above.size() > 1 ? 100 * f.above[1] : 0.0;
            },
            fitted);
    }
    figures->setPlainText(t);
}

void PredictDialog::showMap()
{
    const predict::Prediction *p = current_.get();
    if (!p) {
        map_ = QImage();
        mapView->setText(QStringLiteral("No prediction yet."));
        return;
    }
    const std::vector<float> &mask = p->normalError;
    const int kind = mapChoice->currentIndex();
    if (kind == kLights) {
        std::vector<int> band(p->litCount.size(), -1);
        for (std::size_t i = 0; i < band.size(); ++i)
            if (!std::isnan(mask[i])) {
                const int n = p->litCount[i];
                band[i] = n >= 9 ? 3 : n >= 6 ? 2 : n >= 1 ? 1 : 0;
            }
        map_ = plot::DrawBandMap(p->width, p->height, band,
                                 {{QColor(110, 0, 0), QStringLiteral("no light")},
                                  {QColor(230, 40, 30), QStringLiteral("1 to 5 lights")},
                                  {QColor(250, 180, 0), QStringLiteral("6 to 8 lights")},
                                  {QColor(40, 170, 60), QStringLiteral("9 or more")}},
                                 QStringLiteral("Lights reaching each pixel"), {});
    } else if (kind == kNormals) {
        map_ =
            plot::DrawValueMap(p->width, p->height, p->normalError.data(), mask.data(),
                               {20.0, 1.0, QStringLiteral("\u00B0"), {0, 2, 5, 10, 20}}, QStringLiteral("Normal error"),
                               {QStringLiteral("median %1\u00B0").arg(p->normals.median, 0, 'f', 2)});
    } else {
        const std::size_t m = std::size_t(kind - kPtm);
        map_ = plot::DrawValueMap(p->width, p->height, p->relightError[m].data(), mask.data(),
                                  {0.2, 100.0, QStringLiteral(" %"), {0, 0.05, 0.1, 0.2}}, mapChoice->currentText(),
                                  {QStringLiteral("median %1 %").arg(100 * p->relight[m].median, 0, 'f', 2)});
    }
    mapView->setPixmap(QPixmap::fromImage(map_).scaled(mapView->size(), Qt::KeepAspectRatio, Qt::SmoothTransformation));
}

void PredictDialog::resizeEvent(QResizeEvent *e)
{
    QDialog::resizeEvent(e);
    if (!map_.isNull())
        mapView->setPixmap(
            QPixmap::fromImage(map_).scaled(mapView->size(), Qt::KeepAspectRatio, Qt::SmoothTransformation));
}
