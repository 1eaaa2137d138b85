#pragma once
// "Preview photographs…": what each light of the plan will show of the
// reference model, shadows included, before the first real photograph. The
// photographs are rendered on a worker thread, small first (one sample per
// pixel) and then refined, in shooting order: a strip of thumbnails, one
// large image, a slider (or the arrow keys) over the lights, each image
// labelled with its number, elevation, azimuth and the report's flags. A
// flagged light is rendered all the same, to show why it is flagged; the
// image set keeps the usable ones only.
//
// "Save image set…" writes the folder the command line's capture writes
// (full size, every usable light). Any change of the plan or the model
// renders again.

#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include <QDialog>
#include <QImage>
#include <QPointer>
#include <QString>

#include "coverage/Placement.h"
#include "planner/PlanReport.h"

class QLabel;
class QListWidget;
class QProgressBar;
class QPushButton;
class QSlider;
class Job;
class PlanDocument;

class PreviewDialog : public QDialog
{
    Q_OBJECT
public:
    // Sizes of the two passes, in pixels across; the height follows the
    // sensor's aspect.
    static constexpr int kPreviewWidth = 256;
    static constexpr int kRefinedWidth = 768;

    PreviewDialog(PlanDocument *document, QWidget *parent);
    ~PreviewDialog() override;

    // The window's one preview, made on first use, shown and raised.
    static PreviewDialog *Open(PlanDocument *document, QWidget *parent);

    // Renders again from the document (cancelling a rendering under way).
    void Restart();
    bool Rendering() const;
    // The pass shown: 0 nothing yet, 1 the small images, 2 the refined ones.
    int Pass() const { return pass_; }
    int Count() const { return static_cast<int>(images_.size()); }
    int Current() const;
    void SetCurrent(int index);
    const QImage &Image(int index) const { return images_[static_cast<std::size_t>(index)]; }
    // What the image of the light at index is labelled with.
    QString Caption(int index) const;

    // Replaceable for tests: the folder to write (it must not exist yet),
    // empty when cancelled.
    std::function<QString(const QString &suggested)> chooseFolder;
    // Replaceable for tests: a message box.
    std::function<void(const QString &text)> showMessage;

    QListWidget *strip;
    QLabel *large;
    QSlider *slider;
    QLabel *caption;
    QLabel *state; // what is being done, or why there is nothing to show
    QProgressBar *progress;
    QPushButton *saveButton;

signals:
    // A pass has been shown (1, 2), or the rendering stopped without one (0).
    void passShown(int pass);
    // "Save image set…" has ended; ok when the folder was written.
    void saveEnded(bool ok);

protected:
    void keyPressEvent(QKeyEvent *e) override;
    void resizeEvent(QResizeEvent *e) override;
    // Hidden, it renders nothing; shown again, it renders what changed.
    void showEvent(QShowEvent *e) override;
    void hideEvent(QHideEvent *e) override;

private:
    struct Pass;
    // Why nothing can be rendered now, or empty.
    QString missing() const;
    void showPass(int pass, std::vector<QImage> images);
    void showLarge();
    void saveSet();

    QPointer<PlanDocument> document_;
    std::shared_ptr<Job> job_;
    std::shared_ptr<Job> saveJob_;
    unsigned generation_ = 0; // of the rendering whose results are shown
    int pass_ = 0;
    std::optional<planner::PlanReport> report_;
    coverage::Placement placement_; // of the model rendered
    bool stale_ = true;             // the images do not show the plan as it is
    std::vector<QImage> images_;
};
