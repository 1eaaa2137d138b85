// Quorvel: the window that plans PTM image acquisition.

#include <exception>

#include <QApplication>
#include <QMessageBox>
#include <QSurfaceFormat>

#include "app/GLView.h"
#include "app/Mainform.h"

int main(int argc, char **argv)
{
    // The view's legacy context shares with the window's own; ask for the
    // same kind everywhere.
    QSurfaceFormat::setDefaultFormat(GLView::ViewFormat());
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quorvel"));
    try {
        TForm1 form;
        form.show();
        return app.exec();
    } catch (const std::exception &e) {
        QMessageBox::critical(nullptr, QStringLiteral("Quorvel"), QString::fromLocal8Bit(e.what()));
    } catch (...) {
        QMessageBox::critical(nullptr, QStringLiteral("Quorvel"), QStringLiteral("Unknown error"));
    }
    return 1;
}
