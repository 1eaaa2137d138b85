#include "app/ModelLoader.h"

#include <new>
#include <string>
#include <utility>

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProgressDialog>

#include "app/ModelMesh.h"
#include "nuk/tools/plylib.h"

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

QString PlainLoadReason(const std::string &reason)
{
    struct Words {
        int code;
        const char *plain;
    };
    static const Words kPlain[] = {
        {nuk::E_CANTOPEN, "the file cannot be opened"},
        {nuk::E_NOTHEADER, "this is not a PLY file: it does not begin with \"ply\""},
        {nuk::E_UNEXPEOF, "the file ends inside its header"},
        {nuk::E_NOFORMAT, "the header does not say whether the data is text or binary"},
        {nuk::E_SYNTAX, "a line of the header is not PLY"},
        {nuk::E_PROPOUTOFELEMENT, "the header names a property before any element"},
        {nuk::E_BADTYPENAME, "the header names a number type that PLY does not have"},
        {nuk::E_ELEMNOTFOUND, "the file lacks an element the model needs"},
        {nuk::E_PROPNOTFOUND, "the file lacks a property the model needs"},
        {nuk::E_BADTYPE, "a property has a number type that cannot be read as needed"},
        {nuk::E_INCOMPATIBLETYPE, "a property has a number type that cannot be read as needed"},
        {nuk::E_BADCAST, "a property has a number type that cannot be read as needed"},
        {nuk::E_NOVERTEXFIELD, "the file has no vertex positions (x, y, z)"},
        {nuk::E_NOFACEFIELD, "the file has no faces (vertex_indices)"},
        {nuk::E_UNESPEOF, "the file ends before its data is complete"},
        {nuk::E_FACEMORETHAN3, "a face has more than three corners"},
        {nuk::E_BADVERTINDEX, "a face names a vertex that the file does not have"},
        {nuk::E_NO6TCOORD, "a face's texture coordinates are not six numbers"},
        {nuk::E_DIFFERENTCOLOR, "the file has not as many colours as vertices"},
    };
    for (const Words &w : kPlain) {
        const std::string own = nuk::PlyFile::ErrorMessage(w.code);
        const std::size_t at = reason.find(own);
        if (at == std::string::npos) continue;
        std::string said = reason;
        said.replace(at, own.size(), std::string(w.plain) + " (" + own + ")");
        return QString::fromStdString(said);
    }
    return QString::fromStdString(reason);
}
