#include "mainwindow.h"

#include <QApplication>
#include <QIcon>

#ifdef Q_OS_WIN
#include <qt_windows.h>
#endif

int main(int argc, char *argv[])
{
#ifdef Q_OS_WIN
    // A flash keeps the window busy for as long as it runs; Windows would swap
    // a window silent for 5 s for a frozen "Not Responding" copy that hides
    // the moving progress bar.
    DisableProcessWindowsGhosting();
    // Scaled displays: the form's fixed geometry grows with its text, which
    // would otherwise be cut off; read before the application object exists.
    QCoreApplication::setAttribute(Qt::AA_EnableHighDpiScaling);
#if QT_VERSION >= QT_VERSION_CHECK(5, 14, 0)
    // 125 % and 150 % scale as such, not rounded to 100 % and 200 %.
    QGuiApplication::setHighDpiScaleFactorRoundingPolicy(Qt::HighDpiScaleFactorRoundingPolicy::PassThrough);
#endif
#endif
    QApplication app(argc, argv);
    // Set before any settings object exists: they name the per-user settings store.
    app.setApplicationName(QStringLiteral("quoril"));
    app.setOrganizationName(QStringLiteral("lumbo"));
    app.setOrganizationDomain(QStringLiteral("lumbo.example"));
    // Ties the window to the desktop entry the package installs.
    app.setDesktopFileName(QStringLiteral("example.lumbo.quoril"));

    MainWindow window;
    window.setWindowIcon(QIcon(QStringLiteral(":icons/logo1.png")));
    window.show();
    return app.exec();
}
