#include "app/ModelLoader.h"

#include <new>
#include <utility>

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProgressDialog>

#include "app/ModelMesh.h"

namespace
{

// Shows a progress dialog only for a load that runs longer than the delay,
// and keeps the window painting while it runs.
class LoadProgress
{
public:
    LoadProgress(QWidget *owner, int delayMs) : owner_(owner), delayMs_(delayMs) { clock_.start(); }
    ~LoadProgress() { delete dialog_; }

    void operator()(int percent, const char *what)
    {
        percent_ = percent;
        text_ = QString::fromUtf8(what);
        if (!dialog_) {
            if (clock_.elapsed() < delayMs_) return;
            dialog_ = new QProgressDialog(owner_);
            dialog_->setObjectName("LoadProgress");
            dialog_->setWindowTitle(owner_->windowTitle());
            dialog_->setWindowModality(Qt::WindowModal);
            dialog_->setCancelButton(nullptr);
            dialog_->setMinimumDuration(0);
            dialog_->setRange(0, 100);
            dialog_->show();
        }
        if (pumped_.isValid() && pumped_.elapsed() < kPumpEveryMs) return;
        pumped_.start();
        dialog_->setLabelText(text_);
        dialog_->setValue(percent_);
        // Input stays blocked; painting goes on.
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    }

    bool shown() const { return dialog_ != nullptr; }

private:
    static constexpr qint64 kPumpEveryMs = 30;
    QWidget *owner_;
    qint64 delayMs_;
    QProgressDialog *dialog_ = nullptr;
    QElapsedTimer clock_;
    QElapsedTimer pumped_;
    int percent_ = 0;
    QString text_;
};

} // namespace

ModelLoadOutcome LoadModelFile(QWidget *owner, int delayMs, const QString &fileName, AMesh &mesh, ModelArrays &arrays)
{
    ModelLoadOutcome out;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    {
        LoadProgress progress(owner, delayMs);
        const QByteArray path = QFile::encodeName(fileName);
        out.load = nuk::LoadModel(mesh, path.constData(), [&progress](int p, const char *t) { progress(p, t); });
        if (out.load.ok()) {
            try {
                ModelArrays fresh;
                BuildModelArrays(mesh, fresh, [&progress](int p) { progress(p, "Preparing the view"); });
                std::swap(arrays, fresh);
            } catch (const std::bad_alloc &) {
                // The mesh is in, but the view cannot draw it: say so, and
                // draw nothing rather than the previous model's arrays.
                arrays.clear();
                out.load.result = -1;
                out.load.outOfMemory = true;
                out.load.reason = "Not enough memory to draw this model";
            }
        }
        out.showedProgress = progress.shown();
    }
    QApplication::restoreOverrideCursor();
    return out;
}
