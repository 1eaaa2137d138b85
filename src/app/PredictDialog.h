#pragma once
// "Predicted result…": how well RTI fits of the plan will reproduce the
// reference model (see predict/Predict.h), in a window of its own: the
// figures of the plan beside those of the plan before it, so that the
// operator sees whether a change helped, and the maps in the camera's view.
// It is worked out on a worker thread whenever the positions, the set-up,
// the framing or the model change, once a model is loaded and the framing
// is known; a new change cancels the run under way.

#include <atomic>
#include <memory>

#include <QDialog>
#include <QImage>

#include "predict/Predict.h"

class Job;
class PlanDocument;
class QComboBox;
class QLabel;
class QPlainTextEdit;
class QTimer;

class PredictDialog : public QDialog
{
    Q_OBJECT
public:
    // The window's images are smaller than the command line's: a prediction
    // follows every "Generate -->".
    static constexpr int kWidth = 320;
    static constexpr int kSamples = 2;

    PredictDialog(PlanDocument *document, QWidget *parent);
    ~PredictDialog() override;

    // The window's one dialog, made on first use, shown and raised.
    static PredictDialog *Open(PlanDocument *document, QWidget *parent);

    // Starts over on the document as it is now, or says what is missing.
    void Recompute();
    bool busy() const { return job_ != nullptr; }
    const std::shared_ptr<const predict::Prediction> &current() const { return current_; }
    const std::shared_ptr<const predict::Prediction> &previous() const { return previous_; }

    QLabel *status;
    QComboBox *mapChoice;
    QLabel *mapView;
    QPlainTextEdit *figures;

signals:
    // A run has ended, with a result or a reason in the status line.
    void finished();

protected:
    void resizeEvent(QResizeEvent *e) override;

private:
    struct Run {
        std::atomic<int> permille{0};
        std::shared_ptr<predict::Prediction> result;
        QString error;
    };
    void ended(const std::shared_ptr<Run> &run, bool failed);
    void showFigures();
    void showMap();

    PlanDocument *document_;
    std::shared_ptr<Job> job_;
    std::shared_ptr<Run> run_;
    std::shared_ptr<const predict::Prediction> current_, previous_;
    QImage map_;
    QTimer *poll_;
};
