// Quorvel: the window that plans PTM image acquisition.

#include <cstdio>
#include <exception>
#include <optional>
#include <string>

#include <QApplication>
#include <QMessageBox>
#include <QSurfaceFormat>
#include <QTimer>
#include <QToolBar>

#include "Version.h"
#include "app/AppCommandLine.h"
#include "app/AppIcons.h"
#include "app/DisplayCheck.h"
#include "app/GLView.h"
#include "app/LayoutCheck.h"
#include "app/Mainform.h"
#include "app/WindowCommands.h"

namespace
{

// Prints the panel's layout report once the window is up, and ends the
// program: 0 when every text fits, 1 otherwise.
void ReportLayoutAndQuit(TForm1 &form)
{
    QTimer::singleShot(0, &form, [&form] {
        const LayoutReport r = CheckPanelLayout({form.Panel3, form.Panel4});
        for (const QString &l : r.lines)
            std::printf("%s\n", qPrintable(l));
        for (const QString &p : r.problems)
            std::printf("problem: %s\n", qPrintable(p));
        std::printf("layout: %lld problems\n", static_cast<long long>(r.problems.size()));
        std::fflush(stdout);
        QCoreApplication::exit(r.problems.isEmpty() ? 0 : 1);
    });
}

// The window made but never shown, on Qt's offscreen platform: its
// commands need no display.
int PrintCommands(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    TForm1 form;
    for (const QString &line : WindowCommands(form, *form.ToolBar1))
        std::printf("%s\n", line.toUtf8().constData());
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    if (const std::optional<int> rc = HandleInfoArguments(argc, argv)) return *rc;
    if (WantsCommandList(argc, argv)) return PrintCommands(argc, argv);
    if (const std::string problem = DisplayProblem(argc, argv); !problem.empty()) {
        std::fputs(problem.c_str(), stderr);
        return 1;
    }
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
    if (!GLView::CanMakeContext()) {
        // Said on the terminal, and in a box for a start from the menu
        // (not where no one could see or close it).
        const QString text = QStringLiteral(
            "No OpenGL on this display: Qt could not make an OpenGL context, so the 3D view cannot be drawn.\n"
            "Install an OpenGL driver (Mesa's is libgl1-mesa-dri), or start Quorvel on a display that has one.");
        std::fprintf(stderr, "quorvel: %s\n", qPrintable(text));
        const QString platform = QGuiApplication::platformName();
        if (platform != QLatin1String("offscreen") && platform != QLatin1String("minimal"))
            QMessageBox::critical(nullptr, QStringLiteral("Quorvel"), text);
        return 1;
    }
    try {
        TForm1 form;
        form.show();
        if (qEnvironmentVariableIsSet(kLayoutReportVariable)) ReportLayoutAndQuit(form);
        return app.exec();
    } catch (const std::exception &e) {
        QMessageBox::critical(nullptr, QStringLiteral("Quorvel"), QString::fromLocal8Bit(e.what()));
    } catch (...) {
        QMessageBox::critical(nullptr, QStringLiteral("Quorvel"), QStringLiteral("Unknown error"));
    }
    return 1;
}
