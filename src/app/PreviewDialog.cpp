#include "app/PreviewDialog.h"

#include <atomic>
#include <functional>
#include <stdexcept>
#include <string>
#include <utility>

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QPixmap>
#include <QProgressBar>
#include <QPushButton>
#include <QSlider>
#include <QTimer>
#include <QVBoxLayout>

#include "app/Job.h"
#include "app/PlanDocument.h"
#include "capture/Camera.h"
#include "capture/Capture.h"
#include "capture/CaptureScene.h"
#include "capture/ImageFiles.h"
#include "capture/ImageSet.h"
#include "planner/Stage.h"

namespace
{

constexpr int kThumbWidth = 128;

// Posts the share done to the dialog's progress bar when it changes by a
// percent or more; the renderer calls from its workers, one at a time.
class ProgressPost
{
public:
    ProgressPost(QProgressBar *bar, const Job &job, int from, int to) : bar_(bar), job_(job), from_(from), to_(to) {}
    bool operator()(std::size_t done, std::size_t total)
    {
        const int value = from_ + int((to_ - from_) * (total ? double(done) / double(total) : 1.0));
        if (value != last_.exchange(value)) {
            QPointer<QProgressBar> bar(bar_);
            QMetaObject::invokeMethod(
                bar_,
                [bar, value] {
                    if (bar) bar->setValue(value);
                },
                Qt::QueuedConnection);
        }
        return !job_.Cancelled();
    }

private:
    QProgressBar *bar_;
    const Job &job_;
    int from_, to_;
    std::atomic<int> last_{-1};
};

struct SceneInputs {
    capture::SceneModel model;
    planner::Stage stage;
};

SceneInputs ScenePartsOf(const PlanDocument &d, const planner::Plan &plan)
{
    return {capture::SceneModel::FromMesh(d.mesh(), d.placement(), d.modelColoured()),
            planner::StageOf(plan.input.objectSize, plan.input.objectHeight, plan.input.cameraDistance)};
}

std::unique_ptr<capture::CaptureScene> BuildScene(SceneInputs &in)
{
    std::string error;
    auto scene = capture::CaptureScene::Build(std::move(in.model), in.stage, error);
    if (!scene) throw std::runtime_error(error);
    return scene;
}

} // namespace

PreviewDialog::PreviewDialog(PlanDocument *document, QWidget *parent) : QDialog(parent), document_(document)
{
    setObjectName("PreviewDialog");
    setWindowTitle(QStringLiteral("Preview photographs"));
    setModal(false);

    large = new QLabel(this);
    large->setObjectName("large");
    large->setAlignment(Qt::AlignCenter);
    large->setMinimumSize(480, 320);
    large->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
    large->setStyleSheet(QStringLiteral("QLabel { background: #202020; color: #d0d0d0; }"));

    caption = new QLabel(this);
    caption->setObjectName("caption");
    caption->setTextInteractionFlags(Qt::TextSelectableByMouse);

    slider = new QSlider(Qt::Horizontal, this);
    slider->setObjectName("slider");
    slider->setRange(0, 0);
    slider->setToolTip(QStringLiteral("The lights in shooting order (arrow keys: the previous or next light)"));

    strip = new QListWidget(this);
    strip->setObjectName("strip");
    strip->setViewMode(QListView::IconMode);
    strip->setFlow(QListView::LeftToRight);
    strip->setWrapping(false);
    strip->setMovement(QListView::Static);
    strip->setIconSize(QSize(kThumbWidth, kThumbWidth));
    strip->setFixedHeight(kThumbWidth * 3 / 4 + 44); // a row of thumbnails of the usual sensors' aspects
    strip->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);

    state = new QLabel(this);
    state->setObjectName("state");
    state->setWordWrap(true);
    progress = new QProgressBar(this);
    progress->setObjectName("progress");
    progress->setRange(0, 100);
    progress->hide();
    saveButton = new QPushButton(QStringLiteral("Save image set\u2026"), this);
    saveButton->setObjectName("saveButton");
    saveButton->setToolTip(
        QStringLiteral(
            "Write the photographs of every usable light at %1 pixels across (16-bit PNG), their .lp and .dome, "
            "the normal map, the mask, the depth map (tenths of a millimetre) and capture.json to a new folder")
            .arg(capture::kDefaultWidth));
    saveButton->setEnabled(false);

    auto *bottom = new QHBoxLayout;
    bottom->addWidget(state, 1);
    bottom->addWidget(progress);
    bottom->addWidget(saveButton);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(large, 1);
    layout->addWidget(caption);
    layout->addWidget(slider);
    layout->addWidget(strip);
    layout->addLayout(bottom);
    resize(1000, 800);

    connect(slider, &QSlider::valueChanged, this, [this](int i) {
        if (strip->currentRow() != i) strip->setCurrentRow(i);
        showLarge();
    });
    connect(strip, &QListWidget::currentRowChanged, this, [this](int i) {
        if (i >= 0) slider->setValue(i);
    });
    connect(saveButton, &QPushButton::clicked, this, [this] { saveSet(); });

    chooseFolder = [this](const QString &suggested) {
        return QFileDialog::getSaveFileName(this, QStringLiteral("Save image set (a new folder)"), suggested, QString(),
                                            nullptr, QFileDialog::ShowDirsOnly);
    };
    showMessage = [this](const QString &text) {
        QMessageBox box(QMessageBox::Warning, windowTitle(), text, QMessageBox::Ok, this);
        box.exec();
    };

    // A change of the plan or of the model renders again; several in a row
    // (a "Generate -->" changes the plan and the positions) once.
    auto *again = new QTimer(this);
    again->setSingleShot(true);
    again->setInterval(0);
    connect(again, &QTimer::timeout, this, [this] { Restart(); });
    const auto schedule = [again] { again->start(); };
    connect(document, &PlanDocument::patternGenerated, this, schedule);
    connect(document, &PlanDocument::planChanged, this, schedule);
    connect(document, &PlanDocument::modelChanged, this, schedule);
    connect(document, &PlanDocument::modelArraysChanged, this, [this, schedule] {
        // The coverage's colours change the arrays too, but not the scene.
        if (document_ && document_->placement().scale != placement_.scale)
            schedule();
        else if (document_ && !(document_->placement().offset == placement_.offset))
            schedule();
    });
    Restart();
}

PreviewDialog::~PreviewDialog()
{
    // The workers post to this dialog: they end first.
    if (job_) job_->Cancel();
    if (saveJob_) saveJob_->Cancel();
    job_.reset();
    saveJob_.reset();
}

PreviewDialog *PreviewDialog::Open(PlanDocument *document, QWidget *parent)
{
    auto *d = parent->findChild<PreviewDialog *>(QStringLiteral("PreviewDialog"), Qt::FindDirectChildrenOnly);
    if (!d) d = new PreviewDialog(document, parent);
    d->show();
    d->raise();
    d->activateWindow();
    return d;
}

bool PreviewDialog::Rendering() const { return job_ && !job_->Ended(); }

int PreviewDialog::Current() const { return images_.empty() ? -1 : slider->value(); }

void PreviewDialog::SetCurrent(int index)
{
    if (images_.empty()) return;
    slider->setValue(std::clamp(index, 0, Count() - 1));
}

QString PreviewDialog::missing() const
{
    if (!document_) return QStringLiteral("The window is closing.");
    if (!document_->hasModel())
        return QStringLiteral("Load a reference model to preview its photographs (File, Open model\u2026).");
    if (!document_->hasPattern()) return QStringLiteral("Press \"Generate -->\" to make the plan to preview.");
    const std::optional<planner::Plan> plan = document_->judgedPlan();
    if (!plan || !plan->framing)
        return QStringLiteral("The camera's sensor and lens are needed: tick \"Sensor and lens known\" in the plan "
                              "report and give them in millimetres.");
    return {};
}

void PreviewDialog::showEvent(QShowEvent *e)
{
    QDialog::showEvent(e);
    if (stale_) Restart();
}

void PreviewDialog::hideEvent(QHideEvent *e)
{
    QDialog::hideEvent(e);
    if (Rendering()) {
        job_->Cancel();
        stale_ = true;
    }
}

void PreviewDialog::Restart()
{
    if (job_) job_->Cancel();
    job_.reset(); // waits for the worker, which stops at its next look at the flag
    stale_ = !isVisible();
    if (stale_) return;
    ++generation_;
    pass_ = 0;
    images_.clear();
    strip->clear();
    slider->setRange(0, 0);
    large->clear();
    caption->clear();
    progress->hide();

    const QString why = missing();
    saveButton->setEnabled(why.isEmpty() && !saveJob_);
    if (!why.isEmpty()) {
        report_.reset();
        large->setText(why);
        state->setText(why);
        emit passShown(0);
        return;
    }
    report_ = document_->report();
    const planner::Plan plan = *document_->judgedPlan();
    placement_ = document_->placement();
    std::vector<nuk::Point3f> lights;
    for (const planner::PositionReport &p : report_->positions)
        lights.push_back(nuk::Point3f(float(p.position.x), float(p.position.y), float(p.position.z)));
    if (lights.empty()) {
        state->setText(QStringLiteral("The plan has no positions to preview."));
        emit passShown(0);
        return;
    }

    auto parts = std::make_shared<SceneInputs>(ScenePartsOf(*document_, plan));
    const planner::Framing framing = *plan.framing;
    const double cameraDistance = plan.input.cameraDistance;
    const unsigned generation = generation_;
    state->setText(QStringLiteral("Rendering %1 photographs\u2026").arg(lights.size()));
    progress->setValue(0);
    progress->show();
    job_ = Job::Start(
        this, QStringLiteral("The preview"),
        [this, parts, lights, framing, cameraDistance, generation](Job &job) {
            const std::unique_ptr<capture::CaptureScene> scene = BuildScene(*parts);
            for (int pass = 1; pass <= 2; ++pass) {
                const int width = pass == 1 ? kPreviewWidth : kRefinedWidth;
                const int height = capture::DefaultHeight(framing, width);
                capture::CaptureOptions options;
                options.samples = pass == 1 ? 1 : capture::kDefaultSamples;
                capture::Renderer renderer(*scene, capture::MakeCamera(framing, cameraDistance, width, height),
                                           options);
                ProgressPost primary(progress, job, 0, 10);
                std::string error;
                if (!renderer.TracePrimary(std::ref(primary), error)) {
                    if (job.Cancelled()) return;
                    throw std::runtime_error(error);
                }
                std::vector<QImage> images(lights.size());
                ProgressPost shading(progress, job, 10, 100);
                const capture::CaptureResult r = renderer.Render(
                    lights,
                    [&](std::size_t l, const std::vector<float> &rgb, std::string &) {
                        images[l] = capture::SrgbImage(width, height, rgb.data()); // one light per call
                        return !job.Cancelled();
                    },
                    std::ref(shading));
                if (!r.ok) {
                    if (job.Cancelled() || r.cancelled) return;
                    throw std::runtime_error(r.error);
                }
                QMetaObject::invokeMethod(
                    this,
                    [this, generation, pass, images = std::move(images)]() mutable {
                        if (generation == generation_) showPass(pass, std::move(images));
                    },
                    Qt::QueuedConnection);
            }
        },
        [this, generation](bool failed) {
            if (generation != generation_) return;
            progress->hide();
            if (failed && pass_ == 0) emit passShown(0);
        },
        [this](const QString &text) { state->setText(text); });
}

void PreviewDialog::showPass(int pass, std::vector<QImage> images)
{
    const int keep = Current();
    images_ = std::move(images);
    pass_ = pass;
    const int n = Count();
    if (strip->count() != n) {
        strip->clear();
        for (int i = 0; i < n; ++i)
            strip->addItem(new QListWidgetItem(QString::number(i + 1)));
    }
    for (int i = 0; i < n; ++i) {
        QListWidgetItem *item = strip->item(i);
        item->setIcon(QPixmap::fromImage(images_[std::size_t(i)].scaledToWidth(kThumbWidth, Qt::SmoothTransformation)));
        item->setToolTip(Caption(i));
    }
    slider->setRange(0, n - 1);
    SetCurrent(keep < 0 ? 0 : keep);
    showLarge();
    const QSize size = n ? images_.front().size() : QSize();
    state->setText(
        pass == 1
            ? QStringLiteral("Small images (%1 \u00d7 %2 pixels); refining\u2026").arg(size.width()).arg(size.height())
            : QStringLiteral("%1 photographs of %2 \u00d7 %3 pixels, %4 samples per pixel")
                  .arg(n)
                  .arg(size.width())
                  .arg(size.height())
                  .arg(capture::kDefaultSamples));
    emit passShown(pass);
}

QString PreviewDialog::Caption(int index) const
{
    if (!report_ || index < 0 || index >= int(report_->positions.size())) return {};
    const planner::PositionReport &p = report_->positions[std::size_t(index)];
    QStringList flags;
    for (const planner::FlagInfo &f : planner::kPositionFlags)
        if (p.flags & unsigned(f.flag)) flags << QString::fromUtf8(f.label);
    return QStringLiteral("Light %1 of %2: elevation %3\u00b0, azimuth %4\u00b0 \u2014 %5")
        .arg(p.number)
        .arg(report_->positions.size())
        .arg(p.elevation, 0, 'f', 1)
        .arg(p.azimuth, 0, 'f', 1)
        .arg(flags.isEmpty() ? QStringLiteral("usable")
                             : flags.join(QStringLiteral(", ")) + QStringLiteral(" (not in the image set)"));
}

void PreviewDialog::showLarge()
{
    const int i = Current();
    if (i < 0 || i >= Count()) return;
    const QImage &img = images_[std::size_t(i)];
    large->setPixmap(QPixmap::fromImage(img.scaled(large->size(), Qt::KeepAspectRatio, Qt::SmoothTransformation)));
    caption->setText(Caption(i));
}

void PreviewDialog::keyPressEvent(QKeyEvent *e)
{
    switch (e->key()) {
    case Qt::Key_Left:
    case Qt::Key_Up:
        SetCurrent(Current() - 1);
        return;
    case Qt::Key_Right:
    case Qt::Key_Down:
        SetCurrent(Current() + 1);
        return;
    case Qt::Key_Home:
        SetCurrent(0);
        return;
    case Qt::Key_End:
        SetCurrent(Count() - 1);
        return;
    default:
        QDialog::keyPressEvent(e);
    }
}

void PreviewDialog::resizeEvent(QResizeEvent *e)
{
    QDialog::resizeEvent(e);
    showLarge();
}

void PreviewDialog::saveSet()
{
    if (!missing().isEmpty() || saveJob_) return;
    const planner::Plan plan = *document_->judgedPlan();
    QString suggested = QDir::current().filePath(QStringLiteral("capture"));
    const QString folder = chooseFolder(suggested);
    if (folder.isEmpty()) return;
    const QFileInfo info(folder);
    if (info.exists() && !(info.isDir() && QDir(folder).isEmpty())) {
        showMessage(QStringLiteral("%1 already exists: the image set goes to a new (or empty) folder.")
                        .arg(QDir::toNativeSeparators(folder)));
        emit saveEnded(false);
        return;
    }
    std::string error;
    const std::optional<capture::SetUp> setUp = capture::PlanSetUp(plan, document_->pattern(), document_->placement(),
                                                                   0, 0, capture::ImageFormat::Png16, error);
    if (!setUp) {
        showMessage(QStringLiteral("The image set cannot be made: %1.").arg(QString::fromStdString(error)));
        emit saveEnded(false);
        return;
    }
    auto parts = std::make_shared<SceneInputs>(ScenePartsOf(*document_, plan));
    const std::string output = QFile::encodeName(folder).toStdString();
    auto written = std::make_shared<bool>(false);
    saveButton->setEnabled(false);
    state->setText(QStringLiteral("Writing the image set to %1\u2026").arg(QDir::toNativeSeparators(folder)));
    progress->setValue(0);
    progress->show();
    saveJob_ = Job::Start(
        this, QStringLiteral("Saving the image set"),
        [this, parts, plan, setUp = *setUp, output, written](Job &job) {
            const std::unique_ptr<capture::CaptureScene> scene = BuildScene(*parts);
            const capture::CaptureOptions options;
            capture::Renderer renderer(*scene, setUp.camera, options);
            std::string error;
            ProgressPost primary(progress, job, 0, 10);
            if (!renderer.TracePrimary(std::ref(primary), error)) {
                if (job.Cancelled()) return;
                throw std::runtime_error(error);
            }
            if (renderer.maps().objectPixels == 0)
                throw std::runtime_error("the model is not in the picture: the camera sees none of it");
            ProgressPost shading(progress, job, 10, 100);
            capture::CaptureResult r;
            if (!capture::WriteImageSet(output, plan, setUp, renderer, options, capture::ImageFormat::Png16,
                                        std::ref(shading), r, error)) {
                if (job.Cancelled()) return;
                throw std::runtime_error(error);
            }
            *written = true;
        },
        [this, folder, count = setUp->lights.lights.size(), written](bool) {
            saveJob_.reset();
            progress->hide();
            saveButton->setEnabled(missing().isEmpty());
            if (*written)
                state->setText(
                    QStringLiteral("Wrote %1 photographs to %2").arg(count).arg(QDir::toNativeSeparators(folder)));
            emit saveEnded(*written);
        },
        [this](const QString &text) {
            state->setText(text);
            showMessage(text);
        });
}
