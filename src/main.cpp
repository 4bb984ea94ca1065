#include "mainwindow.h"

#include <QApplication>
#include <QIcon>

int main(int argc, char *argv[])
{
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
