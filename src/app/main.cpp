// Quorvel: the window that plans PTM image acquisition.

#include <exception>
#include <optional>

#include <QApplication>
#include <QMessageBox>
#include <QSurfaceFormat>

#include "Version.h"
#include "app/AppCommandLine.h"
#include "app/AppIcons.h"
#include "app/GLView.h"
#include "app/Mainform.h"

int main(int argc, char **argv)
{
    if (const std::optional<int> rc = HandleInfoArguments(argc, argv)) return *rc;
    // The view's legacy context shares with the window's own; ask for the
    // same kind everywhere.
    QSurfaceFormat::setDefaultFormat(GLView::ViewFormat());
    QApplication app(argc, argv);
    // QSettings: ~/.config/Quorvel/Quorvel.conf.
    QApplication::setOrganizationName(QStringLiteral("Quorvel"));
    QApplication::setApplicationName(QStringLiteral("Quorvel"));
    QApplication::setApplicationVersion(QStringLiteral(QUORVEL_VERSION));
    // Lets the desktop match the window to its launcher and icon.
    QGuiApplication::setDesktopFileName(QStringLiteral(QUORVEL_APP_ID));
    QApplication::setWindowIcon(ApplicationIcon());
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
