#pragma once
// "Suggest a plan…": the number of photographs, the candidates (a spiral of
// directions at the VIEW distance, or the positions of the plan generated
// last) and, when a model is loaded, whether to choose for the model's
// light coverage. The choice runs on a worker thread with a progress bar
// and Cancel; "Use this plan" makes the suggestion the document's layout,
// which the next "Generate -->" writes. The figures of the plan before and
// of the suggestion are shown side by side.

#include <memory>
#include <optional>

#include <QDialog>

#include "planner/Plan.h"

class QCheckBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QSpinBox;
class QTimer;
class Job;
class PlanDocument;

class SuggestDialog : public QDialog
{
    Q_OBJECT
public:
    SuggestDialog(QWidget *parent, PlanDocument *document);
    ~SuggestDialog() override;

    static SuggestDialog *Open(PlanDocument *document, QWidget *parent);

    QSpinBox *SE_count;
    QRadioButton *RB_spiral;    // a spiral of SE_candidates directions
    QRadioButton *RB_generated; // the positions generated last
    QSpinBox *SE_candidates;
    QCheckBox *CB_model; // model-aware, only with a model
    QSpinBox *SE_lights;
    QProgressBar *progress;
    QLabel *figures;
    QPushButton *PB_suggest, *PB_cancel, *PB_use, *PB_close;

    // The suggestion once made; none before, or after a cancel.
    const std::optional<planner::Plan> &suggestion() const { return suggestion_; }

private:
    struct Run;
    void start();
    // On the worker: the predicted normal error before and of the suggestion.
    static void predictBoth(Run &run, Job &job);
    void finish(bool failed);
    void updateEnabled();

    PlanDocument *document_;
    std::shared_ptr<Run> run_;
    std::shared_ptr<Job> job_;
    QTimer *poll_;
    std::optional<planner::Plan> suggestion_;
};
