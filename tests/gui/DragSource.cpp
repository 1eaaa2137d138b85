// A drag source in a process of its own, for dropping files on the window
// through the X server's drag-and-drop protocol (XDND), as a file manager
// does: a drop within one program never goes through the protocol. Shows a
// small window at the top-left corner of the screen and prints "ready"; a
// press on it drags the files named on the command line. Ends a few
// seconds after the drop (the target reads the data after it), with 0
// when the files were dropped (the drop's action was a copy), 1 when not.

#include <cstdio>

#include <QApplication>
#include <QDrag>
#include <QMimeData>
#include <QTimer>
#include <QUrl>
#include <QWidget>

namespace
{

class Source : public QWidget
{
public:
    explicit Source(QList<QUrl> urls) : urls_(std::move(urls)) {}

protected:
    void mousePressEvent(QMouseEvent *) override
    {
        auto *drag = new QDrag(this);
        auto *data = new QMimeData;
        data->setUrls(urls_);
        drag->setMimeData(data);
        const Qt::DropAction done = drag->exec(Qt::CopyAction);
        std::printf("dropped %d\n", int(done));
        std::fflush(stdout);
        // The target asks for the data after the drop: stay to answer.
        QTimer::singleShot(3000, [done] { QCoreApplication::exit(done == Qt::CopyAction ? 0 : 1); });
    }
    void showEvent(QShowEvent *) override
    {
        QTimer::singleShot(200, [] {
            std::printf("ready\n");
            std::fflush(stdout);
        });
    }

private:
    QList<QUrl> urls_;
};

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QList<QUrl> urls;
    for (int i = 1; i < argc; ++i)
        urls << QUrl::fromLocalFile(QString::fromLocal8Bit(argv[i]));
    Source source(urls);
    source.setWindowFlags(Qt::FramelessWindowHint);
    source.setGeometry(0, 0, 120, 120);
    source.show();
    QTimer::singleShot(30000, [] { QCoreApplication::exit(2); }); // never left hanging
    return app.exec();
}
